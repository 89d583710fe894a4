#include "files/integrity.h"

#include <filesystem>
#include <set>

#include "files/digest.h"
#include "files/file.h"
#include "files/ledger.h"

namespace fs = std::filesystem;

namespace {

// A ledger read from its folder.
struct FoundLedger {
    fs::path dir;
    LedgerCheck check;
};

// A ledger is small beside the files it records; this bounds what a stray file can cost.
constexpr std::size_t kLedgerLimit = 256u << 20;
// The report's Info dictionary stands at its start.
constexpr std::size_t kReportHeadLimit = 4096;

fs::path Absolute(const fs::path& path) {
    std::error_code error;
    const fs::path canonical = fs::weakly_canonical(fs::absolute(path, error), error);
    return error ? fs::absolute(path).lexically_normal() : canonical;
}

void AddLedgerIn(const fs::path& dir, std::vector<FoundLedger>& ledgers) {
    for (const FoundLedger& known : ledgers) {
        if (known.dir == dir) {
            return;
        }
    }
    std::string reason;
    const std::optional<std::string> text =
        ReadWholeFile((dir / LEDGER_FILE_NAME).string(), &reason, kLedgerLimit);
    if (text) {
        ledgers.push_back({dir, CheckLedgerText(*text)});
    }
}

// The ledgers in `start` and every folder above it, then the one in `archive_dir`.
std::vector<FoundLedger> FindLedgers(const fs::path& start, const std::string& archive_dir) {
    std::vector<FoundLedger> ledgers;
    for (fs::path dir = start;; dir = dir.parent_path()) {
        AddLedgerIn(dir, ledgers);
        if (dir == dir.parent_path()) {
            break;
        }
    }
    if (!archive_dir.empty()) {
        AddLedgerIn(Absolute(archive_dir), ledgers);
    }
    return ledgers;
}

// `path` relative to `dir` when it lies under it.
std::optional<std::string> RelativeUnder(const fs::path& path, const fs::path& dir) {
    const fs::path relative = path.lexically_relative(dir);
    if (relative.empty() || *relative.begin() == "..") {
        return std::nullopt;
    }
    return relative.generic_string();
}

bool DigestRecorded(const std::vector<FoundLedger>& ledgers, std::string_view sha256) {
    for (const FoundLedger& ledger : ledgers) {
        for (const LedgerRecord& record : ledger.check.records) {
            if (record.sha256 == sha256) {
                return true;
            }
        }
    }
    return false;
}

// The digest the last record of the file at `absolute` holds, if any ledger records it.
std::optional<std::string> RecordedDigest(const std::vector<FoundLedger>& ledgers,
                                          const fs::path& absolute) {
    for (const FoundLedger& ledger : ledgers) {
        const std::optional<std::string> relative = RelativeUnder(absolute, ledger.dir);
        std::optional<std::string> digest;
        for (const LedgerRecord& record : ledger.check.records) {
            if (relative && record.file == *relative) {
                digest = record.sha256;  // a later record supersedes an earlier one
            }
        }
        if (digest) {
            return digest;
        }
    }
    return std::nullopt;
}

Integrity VerifyFile(const fs::path& absolute, const std::vector<FoundLedger>& ledgers) {
    std::string reason;
    const std::optional<std::string> digest = FileSha256(absolute.string(), &reason);
    const std::optional<std::string> recorded = RecordedDigest(ledgers, absolute);
    if (!digest) {
        // A recorded file that is gone or unreadable no longer has the recorded bytes.
        return recorded ? Integrity::Altered : Integrity::Unknown;
    }
    Integrity verdict = Integrity::Unknown;
    if (recorded) {
        verdict = *recorded == *digest ? Integrity::Ok : Integrity::Altered;
    } else if (DigestRecorded(ledgers, *digest)) {
        verdict = Integrity::Ok;  // a copy of a recorded file, away from its archive
    }
    if (verdict != Integrity::Ok) {
        return verdict;
    }
    const std::optional<std::string> head =
        ReadWholeFile(absolute.string(), &reason, kReportHeadLimit);
    const std::optional<std::string> data_sha256 =
        head ? ReportDataSha256(*head) : std::optional<std::string>();
    if (data_sha256 && !DigestRecorded(ledgers, *data_sha256)) {
        return Integrity::Altered;  // a report whose data is not the recorded data
    }
    return Integrity::Ok;
}

void AddBrokenChains(const std::vector<FoundLedger>& ledgers, std::vector<IntegrityItem>& items) {
    for (const FoundLedger& ledger : ledgers) {
        if (ledger.check.broken_line) {
            items.push_back({Integrity::BrokenChain, std::to_string(*ledger.check.broken_line)});
        }
    }
}

}  // namespace

std::string IntegrityLineText(const IntegrityItem& item) {
    switch (item.verdict) {
        case Integrity::Ok:
            return "ok " + item.subject;
        case Integrity::Altered:
            return "alterado " + item.subject;
        case Integrity::Unknown:
            return "desconhecido " + item.subject;
        case Integrity::BrokenChain:
            return "cadeia-quebrada " + item.subject;
    }
    return item.subject;
}

std::optional<std::string> ReportDataSha256(std::string_view pdf_bytes) {
    constexpr std::string_view kKey = "/Keywords (sha256:";
    const std::size_t at = pdf_bytes.find(kKey);
    if (at == std::string_view::npos) {
        return std::nullopt;
    }
    const std::string_view digest = pdf_bytes.substr(at + kKey.size(), SHA256_HEX_SIZE + 1);
    if (digest.size() != SHA256_HEX_SIZE + 1 || digest.back() != ')' ||
        !IsSha256Hex(digest.substr(0, SHA256_HEX_SIZE))) {
        return std::nullopt;
    }
    return std::string(digest.substr(0, SHA256_HEX_SIZE));
}

std::optional<std::vector<IntegrityItem>> VerifyIntegrity(const std::string& path,
                                                          const std::string& archive_dir,
                                                          std::string* reason) {
    std::error_code error;
    const fs::file_status status = fs::status(path, error);
    if (error) {
        *reason = path + ": " + error.message();
        return std::nullopt;
    }
    const fs::path absolute = Absolute(path);
    std::vector<IntegrityItem> items;
    if (!fs::is_directory(status)) {
        const std::vector<FoundLedger> ledgers = FindLedgers(absolute.parent_path(), archive_dir);
        AddBrokenChains(ledgers, items);
        items.push_back({VerifyFile(absolute, ledgers), path});
        return items;
    }
    const std::vector<FoundLedger> ledgers = FindLedgers(absolute, archive_dir);
    if (ledgers.empty()) {
        items.push_back({Integrity::Unknown, path});
        return items;
    }
    AddBrokenChains(ledgers, items);
    std::set<fs::path> checked;
    for (const FoundLedger& ledger : ledgers) {
        for (const LedgerRecord& record : ledger.check.records) {
            if (record.file.empty()) {
                continue;
            }
            const fs::path file = (ledger.dir / record.file).lexically_normal();
            const std::optional<std::string> below = RelativeUnder(file, absolute);
            if (!below || !checked.insert(file).second) {
                continue;
            }
            items.push_back({VerifyFile(file, ledgers), (fs::path(path) / *below).string()});
        }
    }
    if (items.empty()) {
        items.push_back({Integrity::Ok, path});  // a whole chain that records no file here
    }
    return items;
}

bool RecordVerification(const std::string& folder, const std::vector<IntegrityItem>& items,
                        std::string* reason) {
    std::error_code error;
    if (!fs::is_directory(folder, error) ||
        !fs::exists(fs::path(folder) / LEDGER_FILE_NAME, error)) {
        return true;
    }
    int counts[4] = {};
    for (const IntegrityItem& item : items) {
        ++counts[static_cast<int>(item.verdict)];
    }
    LedgerEvent event;
    event.action = "verify";
    event.details.Add("ok", counts[static_cast<int>(Integrity::Ok)])
        .Add("alterado", counts[static_cast<int>(Integrity::Altered)])
        .Add("desconhecido", counts[static_cast<int>(Integrity::Unknown)])
        .Add("cadeia-quebrada", counts[static_cast<int>(Integrity::BrokenChain)]);
    return AppendLedgerLine(folder, event, reason);
}
