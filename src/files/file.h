#pragma once
// The data file (the memory image as 131072 uppercase hexadecimal digits), the
// configuration file (35 bytes), their extension tests, and the commands that open
// and save them.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/window_layer.h"
#include "logger/config_values.h"
#include "logger/memory_image.h"

constexpr std::size_t DATA_FILE_SIZE = 2 * MEMORY_SIZE;
constexpr std::size_t CONFIG_FILE_SIZE = 35;

inline constexpr std::string_view MSG_INVALID_FILE = "Arquivo Inválido";
inline constexpr std::string_view MSG_FIRMWARE_INCOMPATIBLE =
    "Não é possível utilizar este software: Versão de firmware, do Keltrix, incompativel !";
inline constexpr std::string_view CAPTION_ATTENTION = "Atenção !";

const FileFilter& DataFileFilter();
const FileFilter& ConfigFileFilter();
const FileFilter& ExcelFileFilter();
const FileFilter& PdfFileFilter();

// Case-insensitive test of the four characters after the last "."; a path without
// any "." fails.
bool CheckDataExtension(std::string_view path);
bool CheckCfgExtension(std::string_view path);
// '0'-'9' and 'A'-'F' to 0-15; anything else to 0 (callers validate first).
std::uint8_t CharToNum(char x);

std::string DataFileText(const MemoryImage& image);
// Decodes the text of a data file; on refusal `image` is untouched and `reason` says why.
bool ParseDataFileText(std::string_view text, MemoryImage& image, std::string* reason);

std::array<std::uint8_t, CONFIG_FILE_SIZE> ConfigFileBytes(const ConfigValues& values);
// Fills every field but `serial` from the 35 bytes; false when fewer bytes are given.
bool ParseConfigFileBytes(std::string_view bytes, ConfigValues& values);

// Tells the user that `path` could not be written, and why when `reason` is given.
void ShowWriteError(WindowId owner, const std::string& path, const std::string& reason = "");

// Whole-file helpers; `reason` is set on failure. A write replaces the file only once the
// new content is whole on the disk.
std::optional<std::string> ReadWholeFile(const std::string& path, std::string* reason,
                                         std::size_t limit);
bool WriteWholeFile(const std::string& path, std::string_view bytes, std::string* reason = nullptr);

// Writes the image as a data file in one write; false when it cannot be written.
bool WeatherStationExport(const std::string& path, const MemoryImage& dado_in,
                          std::string* reason = nullptr);

enum class FileLoad { Loaded, Refused, FirmwareRejected };

// Reads a data file into `image` with every check of "Abrir": extension, size,
// digits, and the firmware (103). Refusals are shown through the window layer with
// `owner`; a rejected firmware shows the "Atenção !" message (the caller ends the
// process). A refused file leaves `image` as it was.
FileLoad LoadDataFile(const std::string& path, MemoryImage& image, WindowId owner);
// Reads a configuration file into `values` (keeping `serial`); refusals shown likewise.
FileLoad LoadConfigFile(const std::string& path, ConfigValues& values, WindowId owner);
bool SaveConfigFile(const std::string& path, const ConfigValues& values,
                    std::string* reason = nullptr);

// What the main window's "Abrir" loaded.
enum class OpenedKind { Nothing, DataFile, ConfigFile };
struct OpenedFile {
    OpenedKind kind = OpenedKind::Nothing;
    std::string path;
};

// "Abrir": dialog, then a data file into data_in or a configuration file into
// config_values; a data file of another firmware ends the process.
OpenedFile OpenFromMainWindow();
// "Salvar" of the data window.
bool SaveDataFromDataWindow(const MemoryImage& image);
// The configuration window's commands 500 and 503.
bool OpenConfigInConfigWindow();
bool SaveConfigFromConfigWindow();
