#include "pg_connection.h"

#include <libpq-fe.h>

#include <charconv>

void PgResult::Clear::operator()(pg_result* result) const {
    PQclear(result);
}

bool PgResult::Ok() const {
    const ExecStatusType status = PQresultStatus(result_.get());
    return status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK;
}

int PgResult::Rows() const {
    return Ok() ? PQntuples(result_.get()) : 0;
}

long long PgResult::Int(int row, int column) const {
    const char* text = PQgetvalue(result_.get(), row, column);
    long long value = 0;
    std::from_chars(text, text + PQgetlength(result_.get(), row, column), value);
    return value;
}

std::string PgResult::Text(int row, int column) const {
    return {PQgetvalue(result_.get(), row, column),
            static_cast<std::size_t>(PQgetlength(result_.get(), row, column))};
}

PgConnection::~PgConnection() {
    PQfinish(conn_);
}

bool PgConnection::Ready(std::string* why) {
    if (conn_ != nullptr && PQstatus(conn_) == CONNECTION_OK) {
        return true;
    }
    PQfinish(conn_);
    // A database that does not answer must not hold the uploads waiting for ever; a
    // connect_timeout in the URI itself wins over this one.
    const char* const keywords[] = {"connect_timeout", "dbname", nullptr};
    const char* const values[] = {"10", uri_.c_str(), nullptr};
    conn_ = PQconnectdbParams(keywords, values, 1);
    if (conn_ == nullptr || PQstatus(conn_) != CONNECTION_OK) {
        *why = Error();
        return false;
    }
    PQsetClientEncoding(conn_, "UTF8");
    // Notices ("already exists, skipping") would go to standard error, between the lines
    // of `--list` and the server's log; failures are reported from their results.
    PQsetNoticeProcessor(
        conn_, [](void*, const char*) {}, nullptr);
    if (!session_sql_.empty() && !Run(session_sql_.c_str()).Ok()) {
        *why = Error();
        return false;
    }
    return true;
}

PgResult PgConnection::Run(const char* sql, const std::vector<PgParam>& params,
                           bool binary_result) {
    std::vector<const char*> values;
    std::vector<int> lengths;
    std::vector<int> formats;
    for (const PgParam& p : params) {
        values.push_back(p.value.c_str());
        lengths.push_back(static_cast<int>(p.value.size()));
        formats.push_back(p.binary ? 1 : 0);
    }
    return PgResult(PQexecParams(conn_, sql, static_cast<int>(params.size()), nullptr,
                                 values.data(), lengths.data(), formats.data(),
                                 binary_result ? 1 : 0));
}

PgResult PgConnection::RunReconnecting(const char* sql, const std::vector<PgParam>& params,
                                       bool binary_result, std::string* why) {
    std::string reason;
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!Ready(&reason)) {
            break;
        }
        PgResult result = Run(sql, params, binary_result);
        if (result.Ok() || !Broken()) {
            if (!result.Ok() && why != nullptr) {
                *why = Error();
            }
            return result;
        }
        reason = Error();
    }
    if (why != nullptr) {
        *why = reason;
    }
    return PgResult(nullptr);
}

bool PgConnection::Begin(std::string* why) {
    return RunReconnecting("BEGIN", {}, false, why).Ok();
}

bool PgConnection::Broken() const {
    return conn_ == nullptr || PQstatus(conn_) != CONNECTION_OK;
}

std::string PgConnection::Error() const {
    if (conn_ == nullptr) {
        return "out of memory";
    }
    std::string message = PQerrorMessage(conn_);
    while (!message.empty() && (message.back() == '\n' || message.back() == ' ')) {
        message.pop_back();
    }
    return message;
}

bool PgUriHasPassword(const std::string& uri) {
    PQconninfoOption* options = PQconninfoParse(uri.c_str(), nullptr);
    if (options == nullptr) {
        return false;  // not a connection string: connecting says why
    }
    bool has = false;
    for (const PQconninfoOption* o = options; o->keyword != nullptr; ++o) {
        has = has || (std::string(o->keyword) == "password" && o->val != nullptr);
    }
    PQconninfoFree(options);
    return has;
}

bool IsPgKeywordConnectionString(const std::string& text) {
    if (text.find('=') == std::string::npos) {
        return false;
    }
    PQconninfoOption* options = PQconninfoParse(text.c_str(), nullptr);
    if (options == nullptr) {
        return false;
    }
    PQconninfoFree(options);
    return true;
}
