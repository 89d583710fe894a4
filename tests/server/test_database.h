#pragma once
// The database a store test runs against: the PostgreSQL one that RAZUROZAVI_TEST_POSTGRESQL
// names (a libpq URI; `postgresql://` takes the PG* variables that pg_virtualenv sets),
// emptied first, or else the SQLite file `file` in the test's directory.

#include <libpq-fe.h>

#include <cstdlib>
#include <optional>
#include <string>

inline bool TestingOnPostgres() {
    return std::getenv("RAZUROZAVI_TEST_POSTGRESQL") != nullptr;
}

// Runs `sql` on the test's PostgreSQL database: its first row's first column, "" when it
// has none, or nothing when it failed.
inline std::optional<std::string> QueryOnTestPostgres(const std::string& sql) {
    PGconn* conn = PQconnectdb(std::getenv("RAZUROZAVI_TEST_POSTGRESQL"));
    PQsetNoticeProcessor(
        conn, [](void*, const char*) {}, nullptr);
    PGresult* result = PQexec(conn, sql.c_str());
    const ExecStatusType status = PQresultStatus(result);
    std::optional<std::string> answer;
    if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK) {
        answer = PQntuples(result) > 0 ? PQgetvalue(result, 0, 0) : "";
    }
    PQclear(result);
    PQfinish(conn);
    return answer;
}

inline bool RunOnTestPostgres(const std::string& sql) {
    return QueryOnTestPostgres(sql).has_value();
}

inline std::string FreshTestDatabase(const std::string& file) {
    if (!TestingOnPostgres()) {
        return file;
    }
    RunOnTestPostgres(
        "DROP TABLE IF EXISTS cards, upload_tenths, uploads, web_logins, alerts, alert_state, "
        "razurozavi_schema CASCADE;"
        "DROP FUNCTION IF EXISTS razurozavi_month_partition");
    return std::getenv("RAZUROZAVI_TEST_POSTGRESQL");
}
