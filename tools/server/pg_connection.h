#pragma once
// One connection to a PostgreSQL database, made again when it broke (the database
// restarted, the network went away): each use first makes sure it is there.

#include <memory>
#include <string>
#include <vector>

struct pg_conn;
struct pg_result;

struct PgParam {
    std::string value;
    bool binary = false;  // bytea as its bytes
};

// A number as a text parameter.
inline PgParam PgNumber(long long value) {
    return {std::to_string(value), false};
}

class PgResult {
  public:
    explicit PgResult(pg_result* result) : result_(result) {}
    bool Ok() const;  // a command done, or rows
    int Rows() const;
    long long Int(int row, int column) const;
    // Also the bytes of a bytea asked for in binary.
    std::string Text(int row, int column) const;

  private:
    struct Clear {
        void operator()(pg_result* result) const;
    };
    std::unique_ptr<pg_result, Clear> result_;
};

class PgConnection {
  public:
    explicit PgConnection(std::string uri) : uri_(std::move(uri)) {}
    ~PgConnection();
    PgConnection(const PgConnection&) = delete;
    PgConnection& operator=(const PgConnection&) = delete;

    // Connects when there is no connection or it broke; false, with `why`, when it cannot.
    bool Ready(std::string* why);
    PgResult Run(const char* sql, const std::vector<PgParam>& params = {},
                 bool binary_result = false);
    // A statement on its own, outside any transaction: on a connection broken since the
    // last use it is made again and the statement tried once more. No rows when the
    // database cannot be reached.
    PgResult RunReconnecting(const char* sql, const std::vector<PgParam>& params = {},
                             bool binary_result = false, std::string* why = nullptr);
    // BEGIN as RunReconnecting sends it: a connection that broke while idle (the database
    // restarted) is noticed only here, and nothing was sent yet, so it is safe to connect
    // again and begin anew. False, with `why`, when no transaction could begin.
    bool Begin(std::string* why);
    // Whether the last failure lost the connection (nothing can be known of its transaction).
    bool Broken() const;
    std::string Error() const;
    // Run on every new connection, after it is made.
    void SetSessionSql(std::string sql) { session_sql_ = std::move(sql); }

  private:
    std::string uri_;
    std::string session_sql_;
    pg_conn* conn_ = nullptr;
};

// Whether the libpq connection string `uri` carries a password.
bool PgUriHasPassword(const std::string& uri);
// "host=db1 dbname=coleta": keywords libpq knows, each with "=". A file name never parses
// as one, as its words are no libpq keywords.
bool IsPgKeywordConnectionString(const std::string& text);
