#pragma once
// Whether a data file, a report or an archive folder is what the ledgers recorded: the
// checks behind `razurozavi-cli verify` and "Verificar integridade...".
//
// A file is ok when its bytes hash to what the ledger recorded for its path (or, away
// from the archive, for any file); a report is ok when it is recorded and the data hash
// its Info dictionary carries is too; a folder is ok when each ledger's chain holds and
// every file recorded under the folder is ok.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

enum class Integrity { Ok, Altered, Unknown, BrokenChain };

struct IntegrityItem {
    Integrity verdict = Integrity::Unknown;
    std::string subject;  // the path as given and below it; the line for a broken chain
};

// "ok PATH", "alterado PATH", "desconhecido PATH", "cadeia-quebrada LINE".
std::string IntegrityLineText(const IntegrityItem& item);

// The data file's SHA-256 that a report carries as "/Keywords (sha256:HEX)".
std::optional<std::string> ReportDataSha256(std::string_view pdf_bytes);

// Checks `path` against the ledgers beside it and in the folders above, and in
// `archive_dir` when it is not empty. Nothing when `path` cannot be read (`reason` says why).
std::optional<std::vector<IntegrityItem>> VerifyIntegrity(const std::string& path,
                                                          const std::string& archive_dir,
                                                          std::string* reason);

// A whole archive checked is an event of that archive: a "verify" line in the folder's own
// ledger counting each outcome. True, doing nothing, for a folder without a ledger.
bool RecordVerification(const std::string& folder, const std::vector<IntegrityItem>& items,
                        std::string* reason);
