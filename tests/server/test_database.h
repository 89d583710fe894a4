#pragma once
// A store test's database: RAZUROZAVI_TEST_POSTGRESQL's (emptied first), or SQLite's `file`.

#include <libpq-fe.h>

#include <cstdlib>
#include <optional>
#include <string>

inline bool TestingOnPostgres() {
    return std::getenv("RAZUROZAVI_TEST_POSTGRESQL") != nullptr;
}

// The first row's first column of `sql` on the test's PostgreSQL, nothing when it failed.
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

inline std::string FreshTestDatabase(const std::string& file) {
    if (!TestingOnPostgres()) {
        return file;
    }
    QueryOnTestPostgres(
        "DROP TABLE IF EXISTS cards, upload_tenths, uploads, web_logins, alerts, alert_state, "
        "razurozavi_schema CASCADE;"
        "DROP FUNCTION IF EXISTS razurozavi_month_partition");
    return std::getenv("RAZUROZAVI_TEST_POSTGRESQL");
}
