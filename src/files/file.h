#pragma once
// The data file (the memory image as 131072 uppercase hexadecimal digits), the
// configuration file (35 bytes), their extension tests, and their readers and writers.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/window_layer.h"  // FileFilter
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
// Both kinds, data files first: what "Abrir" of the main window opens.
const FileFilter& DataOrConfigFileFilter();
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

// Whole-file helpers; `reason` is set on failure. A write replaces the file only once the
// new content is whole on the disk.
std::optional<std::string> ReadWholeFile(const std::string& path, std::string* reason,
                                         std::size_t limit);
bool WriteWholeFile(const std::string& path, std::string_view bytes, std::string* reason = nullptr);

// Writes the image as a data file in one write; false when it cannot be written.
bool WeatherStationExport(const std::string& path, const MemoryImage& dado_in,
                          std::string* reason = nullptr);

enum class FileLoad { Loaded, Refused, FirmwareRejected };

// Reads a data file into `image` with every check of "Abrir": extension, size, digits,
// and the firmware (103). A refused file leaves `image` as it was; `reason` then says why
// the file is invalid (empty for a wrong extension); a rejected firmware has no reason.
FileLoad ReadDataFile(const std::string& path, MemoryImage& image, std::string* reason);
// Reads a configuration file into `values` (keeping `serial`), refused likewise.
FileLoad ReadConfigFile(const std::string& path, ConfigValues& values, std::string* reason);
bool SaveConfigFile(const std::string& path, const ConfigValues& values,
                    std::string* reason = nullptr);
