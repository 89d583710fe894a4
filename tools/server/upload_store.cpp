#include "upload_store.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "files/digest.h"
#include "logger/cp1252.h"
#include "pg_connection.h"
#include "upload_store_pg.h"
#include "upload_store_sqlite.h"

StoredUpload UploadFromColumns(const std::function<long long()>& number,
                               const std::function<std::string()>& text) {
    const auto byte = [&] { return static_cast<unsigned char>(number()); };
    StoredUpload u;
    u.id = number();
    u.received = text();
    u.peer = text();
    u.serial = static_cast<long>(number());
    u.description = text();
    u.low_alarm_x10 = static_cast<int>(number());
    u.high_alarm_x10 = static_cast<int>(number());
    u.start_delay = static_cast<int>(number());
    u.alarm_delay = static_cast<int>(number());
    u.sample_points = static_cast<int>(number());
    u.sample_rate = static_cast<int>(number());
    u.stamp.h = byte();
    u.stamp.m = byte();
    u.stamp.s = byte();
    u.stamp.day = byte();
    u.stamp.month = byte();
    u.stamp.year = static_cast<unsigned>(number());
    u.firmware = text();
    u.software = text();
    u.temp_unit = static_cast<int>(number());
    u.readings = static_cast<int>(number());
    u.sha256 = text();
    u.chain = text();
    return u;
}

bool IsPostgresDatabase(const std::string& db) {
    return db.rfind("postgresql://", 0) == 0 || db.rfind("postgres://", 0) == 0 ||
           IsPgKeywordConnectionString(db);
}

std::unique_ptr<UploadStore> UploadStore::Open(const std::string& db, std::string* error) {
    if (IsPostgresDatabase(db)) {
        return PgUploadStore::Open(db, error);
    }
    return SqliteUploadStore::Open(db, error);
}

bool UploadStore::Store(const std::string& peer, const UploadHeader& header,
                        const std::vector<int>& readings, std::string* why) {
    const std::vector<StoreOutcome> outcome = StoreAll({{peer, header, readings}});
    if (why != nullptr) {
        *why = outcome[0].why;
    }
    return outcome[0].stored;
}

std::string VersionText(const std::array<std::uint8_t, 3>& version) {
    return std::to_string(version[0]) + "." + std::to_string(version[1]) + "." +
           std::to_string(version[2]);
}

std::string DescriptionText(const std::array<std::uint8_t, DESCRIPTION_SIZE>& field) {
    std::string bytes(field.begin(), field.end());
    const std::size_t last = bytes.find_last_not_of(std::string(" \0", 2));
    bytes.erase(last == std::string::npos ? 0 : last + 1);
    return Cp1252ToUtf8(bytes);
}

std::string PackTenths(const std::vector<int>& tenths) {
    std::string blob;
    blob.reserve(2 * tenths.size());
    for (const int t : tenths) {
        const auto bits = static_cast<std::uint16_t>(static_cast<std::int16_t>(t));
        blob += static_cast<char>(bits & 0xFF);
        blob += static_cast<char>(bits >> 8);
    }
    return blob;
}

std::vector<int> UnpackTenths(const void* blob, std::size_t bytes) {
    const auto* b = static_cast<const std::uint8_t*>(blob);
    std::vector<int> tenths(bytes / 2);
    for (std::size_t i = 0; i < tenths.size(); ++i) {
        tenths[i] = static_cast<std::int16_t>(b[2 * i] | (b[2 * i + 1] << 8));
    }
    return tenths;
}

StoredUpload StoredFields(const UploadHeader& header) {
    StoredUpload u;
    u.serial = header.serial;
    u.description = DescriptionText(header.descricao);
    u.low_alarm_x10 = header.low_alarm_x10;
    u.high_alarm_x10 = header.high_alarm_x10;
    u.start_delay = header.start_delay;
    u.alarm_delay = header.alarm_delay;
    u.sample_points = header.sample_points;
    u.sample_rate = header.sample_rate;
    u.stamp = header.stamp;
    u.firmware = VersionText(header.firmware);
    u.software = VersionText(header.software);
    u.temp_unit = header.temp_unit;
    return u;
}

namespace {

void PutLittleEndian(std::string& out, std::uint64_t value, int bytes) {
    for (int k = 0; k < bytes; ++k) {
        out += static_cast<char>((value >> (8 * k)) & 0xFF);
    }
}

void PutNumber(std::string& out, long long value) {
    PutLittleEndian(out, static_cast<std::uint64_t>(value), 8);
}

void PutText(std::string& out, const std::string& text) {
    PutLittleEndian(out, text.size(), 4);
    out += text;
}

// 64 hex digits to their 32 bytes; 32 zero bytes for anything else.
std::string DigestBytes(const std::string& hex) {
    std::string bytes(32, '\0');
    if (!IsSha256Hex(hex)) {
        return bytes;
    }
    const auto nibble = [](char c) { return c <= '9' ? c - '0' : c - 'a' + 10; };
    for (std::size_t k = 0; k < bytes.size(); ++k) {
        bytes[k] = static_cast<char>(nibble(hex[2 * k]) << 4 | nibble(hex[2 * k + 1]));
    }
    return bytes;
}

}  // namespace

std::string UploadCanonicalBytes(const StoredUpload& u, const std::vector<int>& readings) {
    std::string out = "RZU1";
    PutNumber(out, u.serial);
    PutText(out, u.description);
    for (const long long field :
         {static_cast<long long>(u.low_alarm_x10), static_cast<long long>(u.high_alarm_x10),
          static_cast<long long>(u.start_delay), static_cast<long long>(u.alarm_delay),
          static_cast<long long>(u.sample_points), static_cast<long long>(u.sample_rate),
          static_cast<long long>(u.stamp.year), static_cast<long long>(u.stamp.month),
          static_cast<long long>(u.stamp.day), static_cast<long long>(u.stamp.h),
          static_cast<long long>(u.stamp.m), static_cast<long long>(u.stamp.s)}) {
        PutNumber(out, field);
    }
    PutText(out, u.firmware);
    PutText(out, u.software);
    PutNumber(out, u.temp_unit);
    PutNumber(out, static_cast<long long>(readings.size()));
    out += PackTenths(readings);
    return out;
}

std::string UploadSha256(const StoredUpload& fields, const std::vector<int>& readings) {
    return Sha256Hex(UploadCanonicalBytes(fields, readings));
}

std::string NextChainLink(const std::string& previous, const std::string& sha256) {
    return Sha256Hex(DigestBytes(previous) + DigestBytes(sha256));
}

bool UploadHolds(const StoredUpload& upload, const std::vector<int>& readings,
                 const std::string& previous) {
    return IsSha256Hex(upload.sha256) && UploadSha256(upload, readings) == upload.sha256 &&
           NextChainLink(previous, upload.sha256) == upload.chain;
}

std::vector<UploadFault> VerifyUploads(UploadStore& store, long long* checked) {
    std::vector<UploadFault> faults;
    std::string previous;
    *checked = 0;
    for (const StoredUpload& u : store.List()) {
        ++*checked;
        const auto fault = [&](const char* what) { faults.push_back({u.id, u.serial, what}); };
        if (!IsSha256Hex(u.sha256)) {
            fault("no digest stored");
        } else if (UploadSha256(u, store.Readings(u.id)) != u.sha256) {
            fault("readings or fields changed");
        }
        // The stored digest, right or wrong, is what the link was made from: a changed
        // upload is told apart from a chain edited around it.
        if (NextChainLink(previous, u.sha256) != u.chain) {
            fault("chain broken");
        }
        previous = u.chain;
    }
    return faults;
}

static std::string Tenths(int tenths) {
    char text[32];
    std::snprintf(text, sizeof text, "%s%d.%d", tenths < 0 ? "-" : "", std::abs(tenths) / 10,
                  std::abs(tenths) % 10);
    return text;
}

static std::string UnitText(int temp_unit) {
    return temp_unit == 0 ? "C" : temp_unit == 1 ? "F" : std::to_string(temp_unit);
}

// A stored text on one line of `--list`, between quotes: the quote, the backslash, line
// breaks and other control characters (C1 ones too) escaped, so that no description can
// forge a line of its own or move the terminal's cursor.
static std::string ListText(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        const auto next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0;
        char hex[8];
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c < 0x20 || c == 0x7F) {
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        } else if (c == 0xC2 && next >= 0x80 && next <= 0x9F) {
            std::snprintf(hex, sizeof hex, "\\u%04X", next);
            out += hex;
            ++i;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

std::string UploadLine(const StoredUpload& u) {
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "%02d.%02d.%02u %02d:%02d:%02d", u.stamp.day, u.stamp.month,
                  u.stamp.year, u.stamp.h, u.stamp.m, u.stamp.s);
    return std::to_string(u.id) + " received=" + u.received + " peer=" + u.peer +
           " serial=" + std::to_string(u.serial) + " descricao=\"" + ListText(u.description) +
           "\"" + " readings=" + std::to_string(u.readings) +
           " sample_points=" + std::to_string(u.sample_points) +
           " sample_rate=" + std::to_string(u.sample_rate) + " low=" + Tenths(u.low_alarm_x10) +
           " high=" + Tenths(u.high_alarm_x10) + " start_delay=" + std::to_string(u.start_delay) +
           " alarm_delay=" + std::to_string(u.alarm_delay) + " end=\"" + stamp + "\"" +
           " unit=" + UnitText(u.temp_unit) + " firmware=" + u.firmware + " software=" + u.software;
}
