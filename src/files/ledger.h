#pragma once
// The archive's ledger, DIR/registro.jsonl: one JSON object a line for every read,
// archive, configuration write, upload, report and verification, each line carrying the
// SHA-256 of the line before it ("prev"; 64 zeros on the first), so that a line edited or
// removed breaks the chain from there on.
//
//   {"seq":1,"time":"2026-12-07T01:10:00Z","user":"ana","host":"lab","action":"archive",
//    "serial":4711,"file":"4711/20261207-011000.mvta","sha256":"9f86...","details":{},
//    "prev":"0000...0000"}
//
// A line is appended, flushed and synced under an exclusive flock of the file, never
// rewritten. "prev" hashes the previous line's bytes without its newline. A line without
// its newline is an append that was cut off (the writer was killed): it was never
// recorded, so the next append cuts it away before chaining onto the last whole line,
// and a reader leaves it out.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/json_text.h"
#include "logger/config_values.h"

inline constexpr std::string_view LEDGER_FILE_NAME = "registro.jsonl";

// A JSON object built member by member, its numbers in every locale alike.
class JsonObject {
  public:
    JsonObject& Add(std::string_view key, std::string_view text);
    JsonObject& Add(std::string_view key, const char* text) {
        return Add(key, std::string_view(text));
    }
    JsonObject& Add(std::string_view key, long long number);
    JsonObject& Add(std::string_view key, int number) {
        return Add(key, static_cast<long long>(number));
    }
    JsonObject& Add(std::string_view key, bool value);
    JsonObject& Add(std::string_view key, const JsonObject& nested);
    std::string Text() const { return "{" + members_ + "}"; }

  private:
    void Key(std::string_view key);
    std::string members_;
};

// The card's configuration as `show-config` names its fields: what a configure line's
// details hold as "before" and "after".
JsonObject ConfigurationDetails(const ConfigValues& values);

struct LedgerEvent {
    std::string action;  // read, archive, configure, upload, report, verify
    long serial = 0;
    std::string file;    // relative to the archive folder; empty where no file is concerned
    JsonObject details;  // for configure: the card's configuration before and after
};

// Appends the event's line to DIR/registro.jsonl, with the SHA-256 of DIR/file, the time
// now in UTC, the login name and the machine's name. False, with `reason`, when the file
// cannot be read or the line cannot be written whole and synced.
bool AppendLedgerLine(const std::string& dir, const LedgerEvent& event, std::string* reason);

// AppendLedgerLine for `path`, a file under `archive` (or empty), the folder made where it
// is missing; `reason` names the ledger.
bool RecordInLedger(const std::string& archive, std::string_view action, long serial,
                    const std::string& path, const JsonObject& details, std::string* reason);

// One whole line of a ledger, as the reader needs it.
struct LedgerRecord {
    int line = 0;  // from 1
    std::string action;
    std::string file;
    std::string sha256;
};

struct LedgerCheck {
    std::vector<LedgerRecord> records;  // every line that could be read
    // The first line the chain no longer vouches for: one that is no ledger line, stands
    // out of its place (a line before it was removed), or whose bytes are not those the
    // next line chained onto (it was edited).
    std::optional<int> broken_line;
};

// Reads and checks the text of a ledger; a last line without its newline is left out.
LedgerCheck CheckLedgerText(std::string_view text);
