#include "files/ledger.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <map>

#include "files/digest.h"
#include "logger/cp1252.h"

namespace {

const std::string kNoPreviousLine(SHA256_HEX_SIZE, '0');

std::string ErrnoText(const char* what) {
    return std::string(what) + ": " + std::strerror(errno);
}

// The login name of the effective user, the one whose files the archive holds.
std::string LoginName() {
    char buffer[4096];
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(geteuid(), &entry, buffer, sizeof buffer, &found) == 0 && found != nullptr) {
        return found->pw_name;
    }
    const char* logname = std::getenv("LOGNAME");
    return logname != nullptr ? logname : std::to_string(geteuid());
}

std::string HostName() {
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0) {
        return "";
    }
    return name;
}

std::string UtcNowText() {
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t wrote = ::write(fd, bytes.data(), bytes.size());
        if (wrote < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(wrote));
    }
    return true;
}

std::optional<std::string> ReadAll(int fd) {
    std::string text;
    char buffer[65536];
    for (off_t offset = 0;;) {
        const ssize_t got = ::pread(fd, buffer, sizeof buffer, offset);
        if (got == 0) {
            return text;
        }
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return std::nullopt;
        }
        text.append(buffer, static_cast<std::size_t>(got));
        offset += got;
    }
}

// Makes a new ledger's name in its folder survive a power cut.
void SyncFolder(const std::string& dir) {
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

// The members of one ledger line that the checks read; nested values are stepped over.
class LineReader {
  public:
    explicit LineReader(std::string_view text) : text_(text) {}

    bool ReadObject(std::map<std::string, std::string>* strings, std::optional<long long>* seq) {
        SkipSpace();
        if (!Take('{')) {
            return false;
        }
        SkipSpace();
        if (Take('}')) {
            return AtEnd();
        }
        for (;;) {
            std::string key;
            SkipSpace();
            if (!ReadString(&key)) {
                return false;
            }
            SkipSpace();
            if (!Take(':')) {
                return false;
            }
            SkipSpace();
            if (Peek() == '"') {
                std::string value;
                if (!ReadString(&value)) {
                    return false;
                }
                (*strings)[key] = value;
            } else if (key == "seq") {
                long long number = 0;
                const auto [end, error] =
                    std::from_chars(Rest(), text_.data() + text_.size(), number);
                if (error != std::errc()) {
                    return false;
                }
                at_ = static_cast<std::size_t>(end - text_.data());
                *seq = number;
            } else if (!SkipValue(0)) {
                return false;
            }
            SkipSpace();
            if (Take('}')) {
                return AtEnd();
            }
            if (!Take(',')) {
                return false;
            }
        }
    }

  private:
    static constexpr int kDeepest = 32;

    char Peek() const { return at_ < text_.size() ? text_[at_] : '\0'; }
    const char* Rest() const { return text_.data() + at_; }
    bool Take(char c) {
        if (Peek() != c) {
            return false;
        }
        ++at_;
        return true;
    }
    void SkipSpace() {
        while (at_ < text_.size() &&
               (text_[at_] == ' ' || text_[at_] == '\t' || text_[at_] == '\r')) {
            ++at_;
        }
    }
    bool AtEnd() {
        SkipSpace();
        return at_ == text_.size();
    }

    // Keeps escapes other than \" and \\ as written: the members compared are ASCII.
    bool ReadString(std::string* out) {
        if (!Take('"')) {
            return false;
        }
        while (at_ < text_.size()) {
            const char c = text_[at_++];
            if (c == '"') {
                return true;
            }
            if (c == '\\') {
                if (at_ == text_.size()) {
                    return false;
                }
                const char escaped = text_[at_++];
                if (escaped != '"' && escaped != '\\') {
                    *out += '\\';
                }
                *out += escaped;
                continue;
            }
            *out += c;
        }
        return false;
    }

    bool SkipValue(int depth) {
        if (depth > kDeepest) {
            return false;
        }
        SkipSpace();
        const char c = Peek();
        if (c == '"') {
            std::string ignored;
            return ReadString(&ignored);
        }
        if (c == '{' || c == '[') {
            const char close = c == '{' ? '}' : ']';
            ++at_;
            SkipSpace();
            if (Take(close)) {
                return true;
            }
            for (;;) {
                SkipSpace();
                if (c == '{') {
                    std::string ignored;
                    if (!ReadString(&ignored)) {
                        return false;
                    }
                    SkipSpace();
                    if (!Take(':')) {
                        return false;
                    }
                }
                if (!SkipValue(depth + 1)) {
                    return false;
                }
                SkipSpace();
                if (Take(close)) {
                    return true;
                }
                if (!Take(',')) {
                    return false;
                }
            }
        }
        const std::size_t start = at_;
        while (at_ < text_.size() &&
               std::strchr("+-.0123456789eEtruefalsn", text_[at_]) != nullptr) {
            ++at_;
        }
        return at_ > start;
    }

    std::string_view text_;
    std::size_t at_ = 0;
};

}  // namespace

void JsonObject::Key(std::string_view key) {
    if (!members_.empty()) {
        members_ += ',';
    }
    members_ += JsonString(key) + ":";
}

JsonObject& JsonObject::Add(std::string_view key, std::string_view text) {
    Key(key);
    members_ += JsonString(text);
    return *this;
}

JsonObject& JsonObject::Add(std::string_view key, long long number) {
    Key(key);
    members_ += std::to_string(number);
    return *this;
}

JsonObject& JsonObject::Add(std::string_view key, bool value) {
    Key(key);
    members_ += value ? "true" : "false";
    return *this;
}

JsonObject& JsonObject::Add(std::string_view key, const JsonObject& nested) {
    Key(key);
    members_ += nested.Text();
    return *this;
}

JsonObject ConfigurationDetails(const ConfigValues& v) {
    JsonObject fields;
    fields.Add("sample_points", v.sample_points)
        .Add("sample_rate", v.sample_rate)
        .Add("led_cycle", v.led_cycle)
        .Add("flash_alarm", v.flash_alarm ? 1 : 0)
        .Add("temp_unit", v.temp_unit)
        .Add("t_low_alarm", v.t_low_alarm)
        .Add("t_high_alarm", v.t_high_alarm)
        .Add("start_delay", v.start_delay)
        .Add("alarm_delay", v.alarm_delay)
        .Add("descricao", Cp1252ToUtf8(DescriptionBytes(v.descricao.data())))
        .Add("modo_nuvem", v.modo_nuvem ? 1 : 0);
    return fields;
}

bool AppendLedgerLine(const std::string& dir, const LedgerEvent& event, std::string* reason) {
    std::string file_sha256;
    if (!event.file.empty()) {
        std::string why;
        const std::optional<std::string> digest = FileSha256(dir + "/" + event.file, &why);
        if (!digest) {
            *reason = event.file + ": " + why;
            return false;
        }
        file_sha256 = *digest;
    }
    const std::string path = dir + "/" + std::string(LEDGER_FILE_NAME);
    const bool existed = ::access(path.c_str(), F_OK) == 0;
    const int fd = ::open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        *reason = ErrnoText(path.c_str());
        return false;
    }
    // The lock is the file's, so it ends with the process however the process ends.
    while (::flock(fd, LOCK_EX) != 0) {
        if (errno != EINTR) {
            *reason = ErrnoText(path.c_str());
            ::close(fd);
            return false;
        }
    }
    const auto fail = [&](const char* what) {
        *reason = ErrnoText(what);
        ::close(fd);
        return false;
    };
    std::optional<std::string> text = ReadAll(fd);
    if (!text) {
        return fail(path.c_str());
    }
    const std::size_t whole = text->rfind('\n') == std::string::npos ? 0 : text->rfind('\n') + 1;
    if (whole < text->size()) {
        // A cut-off append that never returned: it recorded nothing, so nothing chains on it.
        if (::ftruncate(fd, static_cast<off_t>(whole)) != 0) {
            return fail(path.c_str());
        }
        text->resize(whole);
    }
    std::string prev = kNoPreviousLine;
    long long seq = 1;
    if (whole > 0) {
        const std::size_t start = text->rfind('\n', whole - 2);
        const std::size_t from = start == std::string::npos ? 0 : start + 1;
        prev = Sha256Hex(std::string_view(*text).substr(from, whole - 1 - from));
        for (const char c : *text) {
            seq += c == '\n' ? 1 : 0;
        }
    }
    std::string line =
        "{\"seq\":" + std::to_string(seq) + ",\"time\":" + JsonString(UtcNowText()) +
        ",\"user\":" + JsonString(LoginName()) + ",\"host\":" + JsonString(HostName()) +
        ",\"action\":" + JsonString(event.action) + ",\"serial\":" + std::to_string(event.serial);
    if (!event.file.empty()) {
        line += ",\"file\":" + JsonString(event.file) + ",\"sha256\":" + JsonString(file_sha256);
    }
    line += ",\"details\":" + event.details.Text() + ",\"prev\":" + JsonString(prev) + "}\n";
    if (!WriteAll(fd, line) || ::fsync(fd) != 0) {
        return fail(path.c_str());
    }
    ::close(fd);
    if (!existed) {
        SyncFolder(dir);
    }
    return true;
}

bool RecordInLedger(const std::string& archive, std::string_view action, long serial,
                    const std::string& path, const JsonObject& details, std::string* reason) {
    LedgerEvent event;
    event.action = action;
    event.serial = serial;
    if (!path.empty()) {
        event.file = std::filesystem::path(path).lexically_relative(archive).generic_string();
    }
    event.details = details;
    std::error_code ignored;  // a folder that cannot be made fails the append, which says why
    std::filesystem::create_directories(archive, ignored);
    if (!AppendLedgerLine(archive, event, reason)) {
        *reason = archive + "/" + std::string(LEDGER_FILE_NAME) + ": " + *reason;
        return false;
    }
    return true;
}

LedgerCheck CheckLedgerText(std::string_view text) {
    LedgerCheck check;
    std::string expected_prev = kNoPreviousLine;
    int number = 0;
    for (std::size_t from = 0; from < text.size();) {
        const std::size_t end = text.find('\n', from);
        if (end == std::string_view::npos) {
            break;  // cut off while it was appended
        }
        const std::string_view line = text.substr(from, end - from);
        from = end + 1;
        ++number;
        std::map<std::string, std::string> strings;
        std::optional<long long> seq;
        const bool read = LineReader(line).ReadObject(&strings, &seq);
        if (!check.broken_line) {
            if (!read || seq != number || !strings.count("prev")) {
                check.broken_line = number;
            } else if (strings["prev"] != expected_prev) {
                // The line before changed after this one chained onto it.
                check.broken_line = number == 1 ? 1 : number - 1;
            }
        }
        expected_prev = Sha256Hex(line);
        if (read) {
            check.records.push_back(
                {number, strings["action"], strings["file"], strings["sha256"]});
        }
    }
    return check;
}
