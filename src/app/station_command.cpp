#include "app/station_command.h"

#include <unistd.h>

#include "app/shown_time.h"
#include "base/number_text.h"
#include "files/file.h"
#include "logger/cp1252.h"
#include "logger/readings.h"

std::vector<std::string> StationArguments(const StationChoices& choices) {
    std::vector<std::string> arguments = {"station", "--archive", choices.archive, "--progress"};
    if (choices.reports) {
        arguments.push_back("--reports");
    }
    if (choices.upload) {
        arguments.insert(arguments.end(), {"--upload", "--host", choices.host, "--tcp-port",
                                           std::to_string(choices.tcp_port)});
    }
    if (!choices.profile.empty()) {
        arguments.push_back("--profile");
        arguments.push_back(choices.profile);
    }
    return arguments;
}

namespace {

bool IsProgram(const std::string& path) {
    return access(path.c_str(), X_OK) == 0;
}

// The value after `key` up to `end` (npos: the end of the line).
std::string_view Between(std::string_view line, std::size_t key_end, std::size_t end) {
    return line.substr(key_end, end == std::string_view::npos ? end : end - key_end);
}

template <typename Number>
bool ParseNumber(std::string_view text, Number& number) {
    const std::optional<long> value = ParseWholeNumber(text, 9);
    if (value) {
        number = static_cast<Number>(*value);
    }
    return value.has_value();
}

// Finds each key after the one before, in order, and hands out the values between them.
class FieldCursor {
  public:
    explicit FieldCursor(std::string_view line) : line_(line) {}
    bool Next(std::string_view key, std::string_view& value) {
        const std::size_t at = line_.find(key, position_);
        if (at == std::string_view::npos) {
            return false;
        }
        if (has_value_) {
            *pending_ = Between(line_, position_, at);
        }
        position_ = at + key.size();
        pending_ = &value;
        has_value_ = true;
        return true;
    }
    // The last value runs to the end of the line.
    void Finish() {
        if (has_value_) {
            *pending_ = line_.substr(position_);
        }
    }

  private:
    std::string_view line_;
    std::size_t position_ = 0;
    std::string_view* pending_ = nullptr;
    bool has_value_ = false;
};

std::optional<StationEvent> ParseReadingLine(std::string_view line) {
    std::string_view port, serial, percent;
    FieldCursor cursor(line);
    if (!cursor.Next("reading port=", port) || !cursor.Next(" serial=", serial) ||
        !cursor.Next(" percent=", percent)) {
        return std::nullopt;
    }
    cursor.Finish();
    StationEvent event;
    event.kind = StationEventKind::Reading;
    event.port = port;
    if (!ParseNumber(serial, event.serial) || !ParseNumber(percent, event.percent)) {
        return std::nullopt;
    }
    return event;
}

std::optional<StationEvent> ParseCardLine(std::string_view line) {
    std::string_view port, serial, readings, file, state;
    FieldCursor cursor(line);
    if (!cursor.Next("card port=", port) || !cursor.Next(" serial=", serial) ||
        !cursor.Next(" readings=", readings) || !cursor.Next(" file=", file) ||
        !cursor.Next(" state=", state)) {
        return std::nullopt;
    }
    cursor.Finish();
    StationEvent event;
    event.port = port;
    event.file = file;
    if (!ParseNumber(serial, event.serial) || !ParseNumber(readings, event.readings)) {
        return std::nullopt;
    }
    // The reason is free text: the fields that may follow it are taken from the end.
    std::string_view rest = state;
    if (const std::size_t at = rest.rfind(" verdict="); at != std::string_view::npos) {
        event.verdict = rest.substr(at + 9);
        rest = rest.substr(0, at);
    }
    if (const std::size_t at = rest.rfind(" upload="); at != std::string_view::npos) {
        event.upload = rest.substr(at + 8);
        rest = rest.substr(0, at);
    }
    if (const std::size_t at = rest.find(" reason="); at != std::string_view::npos) {
        event.reason = rest.substr(at + 8);
        rest = rest.substr(0, at);
    }
    event.state = rest;
    if (event.state != "archived" && event.state != "rearmed" && event.state != "failed") {
        return std::nullopt;
    }
    return event;
}

}  // namespace

std::string FindCompanion(const std::string& program_dir, const char* search_path) {
    const std::string beside = program_dir + "/" + COMPANION_PROGRAM;
    if (!program_dir.empty() && IsProgram(beside)) {
        return beside;
    }
    std::string_view folders = search_path != nullptr ? search_path : "";
    while (!folders.empty()) {
        const std::size_t colon = folders.find(':');
        const std::string_view folder = folders.substr(0, colon);
        if (!folder.empty()) {
            const std::string candidate = std::string(folder) + "/" + COMPANION_PROGRAM;
            if (IsProgram(candidate)) {
                return candidate;
            }
        }
        folders = colon == std::string_view::npos ? std::string_view() : folders.substr(colon + 1);
    }
    return {};
}

std::string MissingCompanionText() {
    return std::string("O programa ") + COMPANION_PROGRAM +
           " não foi encontrado ao lado deste programa nem no PATH: a estação de leitura "
           "precisa dele.";
}

std::optional<StationEvent> ParseStationLine(std::string_view line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
        line.remove_suffix(1);
    }
    if (line.starts_with("reading ")) {
        return ParseReadingLine(line);
    }
    if (line.starts_with("card ")) {
        return ParseCardLine(line);
    }
    return std::nullopt;
}

std::string StationStateText(const StationEvent& event) {
    if (event.kind == StationEventKind::Reading) {
        return "Lendo " + std::to_string(event.percent) + " %";
    }
    if (event.state == "archived") {
        return "Arquivado";
    }
    if (event.state == "rearmed") {
        return "Reprogramado — pode retirar";
    }
    return event.reason;
}

namespace {

// "DD.MM.YY HH:MM:SS" of a reading, as the data window lists it.
std::string ListedTime(const MemoryImage& image, int index) {
    const CALENDAR time = ReadingTime(image, DataWindowTimeBase(), index);
    std::string text;
    AppendDateText(text, time);
    text += ' ';
    AppendTimeText(text, time);
    return text;
}

void FillFromArchivedFile(StationRow& row, const std::string& path) {
    MemoryImage image{};
    std::string reason;
    if (path.empty() || ReadDataFile(path, image, &reason) != FileLoad::Loaded) {
        return;
    }
    row.description =
        Cp1252ToUtf8(DescriptionBytes(ConfigFromHeader(image.data()).descricao.data()));
    const int count = ImageReadingCount(image);
    if (count > 0) {
        row.first_reading = ListedTime(image, 0);
        row.last_reading = ListedTime(image, count - 1);
    }
}

}  // namespace

std::size_t StationTable::Take(const StationEvent& event) {
    std::size_t index = 0;
    while (index < rows_.size()) {
        const StationRow& row = rows_[index];
        if (event.serial != 0 ? row.serial == event.serial
                              : row.serial == 0 && row.port == event.port) {
            break;
        }
        ++index;
    }
    if (index == rows_.size()) {
        rows_.emplace_back();
    }
    StationRow& row = rows_[index];
    row.port = event.port;
    row.serial = event.serial;
    row.state = StationStateText(event);
    row.failed = event.kind == StationEventKind::Done && event.state == "failed";
    if (event.kind == StationEventKind::Done) {
        row.readings = event.readings;
        row.verdict = event.verdict;
        FillFromArchivedFile(row, event.file);
    }
    return index;
}
