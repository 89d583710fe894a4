#pragma once
// The desktop program's reading station: the companion's `station` runs as a child process,
// and its lines fill one row per card seen since the station window opened.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

inline constexpr const char* COMPANION_PROGRAM = "razurozavi-cli";

// What the station does with each card besides archiving it.
struct StationChoices {
    std::string archive{};
    bool reports = false;  // both PDF reports and the spreadsheet beside the archived file
    bool upload = false;
    // Where the upload goes: the main window's own server.
    std::string host{};
    int tcp_port = 0;
    std::string profile{};  // a configuration file written into each card; empty: none
};

// The companion's arguments after its own name, progress lines included.
std::vector<std::string> StationArguments(const StationChoices& choices);

// The companion beside the program's own executable, else the first on PATH; empty when
// there is none.
std::string FindCompanion(const std::string& program_dir, const char* search_path);
// Said when FindCompanion found nothing.
std::string MissingCompanionText();

enum class StationEventKind { Reading, Done };

// One line of the companion: a card being read, or a card done.
struct StationEvent {
    StationEventKind kind = StationEventKind::Done;
    std::string port{};
    long serial = 0;
    int percent = 0;  // Reading
    int readings = 0;
    std::string file{};
    std::string state{};  // archived, rearmed or failed
    std::string reason{};
    std::string upload{};  // sent, queued, or empty
    std::string verdict{};
};

// The companion's line of an event, newline included; ParseStationLine reads it back. A
// failed card's reason is kept on the line.
std::string StationLineText(const StationEvent& event);
// Nothing for a line of another shape.
std::optional<StationEvent> ParseStationLine(std::string_view line);

// A row of the window's table.
struct StationRow {
    std::string port;
    long serial = 0;
    std::string description;
    int readings = 0;
    std::string first_reading;  // as the data window lists it: "DD.MM.YY HH:MM:SS"
    std::string last_reading;
    std::string verdict;
    std::string state;  // "Lendo 43 %", "Arquivado", "Reprogramado — pode retirar", a reason
    bool failed = false;
};

// "Lendo N %", "Arquivado", "Reprogramado — pode retirar", or the reason of a failure.
std::string StationStateText(const StationEvent& event);

// The rows of one session: a card is known by its serial number, or by its port while
// it has none, so that a card plugged in again keeps its row.
class StationTable {
  public:
    // The index of the row the event changed. A card done fills its description, readings
    // and first and last reading from its archived file.
    std::size_t Take(const StationEvent& event);
    const std::vector<StationRow>& Rows() const { return rows_; }
    void Clear() { rows_.clear(); }

  private:
    std::vector<StationRow> rows_;
};
