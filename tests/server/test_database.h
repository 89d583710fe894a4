#pragma once
// The database a store test runs against: the PostgreSQL one that RAZUROZAVI_TEST_POSTGRESQL
// names (a libpq URI; `postgresql://` takes the PG* variables that pg_virtualenv sets),
// emptied first, or else the SQLite file `file` in the test's directory.

#include <libpq-fe.h>

#include <cstdlib>
#include <string>

inline bool TestingOnPostgres() {
    return std::getenv("RAZUROZAVI_TEST_POSTGRESQL") != nullptr;
}

// Runs `sql` on the test's PostgreSQL database; false when it could not.
inline bool RunOnTestPostgres(const std::string& sql) {
    PGconn* conn = PQconnectdb(std::getenv("RAZUROZAVI_TEST_POSTGRESQL"));
    PQsetNoticeProcessor(
        conn, [](void*, const char*) {}, nullptr);
    PGresult* result = PQexec(conn, sql.c_str());
    const ExecStatusType status = PQresultStatus(result);
    PQclear(result);
    PQfinish(conn);
    return status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK;
}

inline std::string FreshTestDatabase(const std::string& file) {
    if (!TestingOnPostgres()) {
        return file;
    }
    RunOnTestPostgres(
        "DROP TABLE IF EXISTS cards, upload_tenths, uploads, razurozavi_schema, alerts, "
        "alert_state "
        "CASCADE");
    return std::getenv("RAZUROZAVI_TEST_POSTGRESQL");
}
