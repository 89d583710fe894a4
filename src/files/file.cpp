#include "files/file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "base/atomic_file.h"

const FileFilter& DataFileFilter() {
    static const FileFilter filter{"Arquivos Morvelta(*.mvta)", "*.mvta", "mvta"};
    return filter;
}
const FileFilter& ConfigFileFilter() {
    static const FileFilter filter{"Arquivos de Config(*.mcfg)", "*.mcfg", "mcfg"};
    return filter;
}
const FileFilter& DataOrConfigFileFilter() {
    static const FileFilter filter{"Arquivos Morvelta(*.mvta);;Arquivos de Config(*.mcfg)",
                                   "*.mvta", "mvta"};
    return filter;
}
const FileFilter& ExcelFileFilter() {
    static const FileFilter filter{"Arquivos do Excel(*.xls)", "*.xls", "xls"};
    return filter;
}
const FileFilter& PdfFileFilter() {
    static const FileFilter filter{"Arquivos Adobe PDF(*.pdf)", "*.pdf", "pdf"};
    return filter;
}

static char LowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
}

static bool CheckExtension(std::string_view path, std::string_view extension) {
    const std::size_t dot = path.rfind('.');
    if (dot == std::string_view::npos || path.size() - dot - 1 < extension.size()) {
        return false;
    }
    for (std::size_t k = 0; k < extension.size(); ++k) {
        if (LowerAscii(path[dot + 1 + k]) != extension[k]) {
            return false;
        }
    }
    return true;
}

bool CheckDataExtension(std::string_view path) {
    return CheckExtension(path, "mvta");
}
bool CheckCfgExtension(std::string_view path) {
    return CheckExtension(path, "mcfg");
}

std::uint8_t CharToNum(char x) {
    if (x >= '0' && x <= '9') {
        return static_cast<std::uint8_t>(x - '0');
    }
    if (x >= 'A' && x <= 'F') {
        return static_cast<std::uint8_t>(x - 'A' + 10);
    }
    return 0;
}

std::string DataFileText(const MemoryImage& image) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string text(DATA_FILE_SIZE, '0');
    for (int i = 0; i < MEMORY_SIZE; ++i) {
        text[2 * i] = kDigits[image[i] >> 4];
        text[2 * i + 1] = kDigits[image[i] & 0x0F];
    }
    return text;
}

static bool IsUpperHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
}

bool ParseDataFileText(std::string_view text, MemoryImage& image, std::string* reason) {
    if (text.size() != DATA_FILE_SIZE) {
        *reason = "o arquivo tem " + std::to_string(text.size()) + " caracteres em vez de " +
                  std::to_string(DATA_FILE_SIZE);
        return false;
    }
    for (std::size_t k = 0; k < text.size(); ++k) {
        if (!IsUpperHexDigit(text[k])) {
            *reason = "caractere inválido na posição " + std::to_string(k + 1);
            return false;
        }
    }
    for (int i = 0; i < MEMORY_SIZE; ++i) {
        image[i] =
            static_cast<std::uint8_t>(CharToNum(text[2 * i]) * 16 + CharToNum(text[2 * i + 1]));
    }
    return true;
}

std::array<std::uint8_t, CONFIG_FILE_SIZE> ConfigFileBytes(const ConfigValues& v) {
    std::array<std::uint8_t, CONFIG_FILE_SIZE> b{};
    PutBigEndian16(&b[0], v.sample_points);
    PutBigEndian16(&b[2], v.sample_rate);
    b[4] = v.led_cycle;
    b[5] = (v.flash_alarm ? FLAG_FLASH_ALARM : 0) | (v.temp_unit != 0 ? FLAG_FAHRENHEIT : 0) |
           (v.modo_nuvem ? FLAG_CLOUD : 0);
    PutBigEndian16(&b[6], v.t_low_alarm);
    PutBigEndian16(&b[8], v.t_high_alarm);
    PutBigEndian16(&b[10], v.start_delay);
    PutBigEndian16(&b[12], v.alarm_delay);
    std::memcpy(&b[14], v.descricao.data(), DESCRIPTION_SIZE);
    return b;
}

bool ParseConfigFileBytes(std::string_view bytes, ConfigValues& v) {
    if (bytes.size() < CONFIG_FILE_SIZE) {
        return false;
    }
    const auto* b = reinterpret_cast<const std::uint8_t*>(bytes.data());
    v.sample_points = BigEndian16(&b[0]);
    v.sample_rate = BigEndian16(&b[2]);
    v.led_cycle = b[4];
    v.flash_alarm = (b[5] & FLAG_FLASH_ALARM) != 0;
    v.temp_unit = (b[5] & FLAG_FAHRENHEIT) != 0 ? 1 : 0;
    v.modo_nuvem = (b[5] & FLAG_CLOUD) != 0;
    v.t_low_alarm = BigEndian16(&b[6]);
    v.t_high_alarm = BigEndian16(&b[8]);
    v.start_delay = BigEndian16(&b[10]);
    v.alarm_delay = BigEndian16(&b[12]);
    std::memcpy(v.descricao.data(), &b[14], DESCRIPTION_SIZE);
    v.descricao[DESCRIPTION_SIZE - 1] = 0;  // a damaged file must not lose the terminator
    return true;
}

std::optional<std::string> ReadWholeFile(const std::string& path, std::string* reason,
                                         std::size_t limit) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        *reason = std::strerror(errno);
        return std::nullopt;
    }
    std::string bytes;
    char chunk[65536];
    while (bytes.size() <= limit) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            *reason = std::strerror(errno);
            ::close(fd);
            return std::nullopt;
        }
        if (n == 0) {
            break;
        }
        bytes.append(chunk, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return bytes;
}

bool WriteWholeFile(const std::string& path, std::string_view bytes, std::string* reason) {
    std::string ignored;
    return ReplaceFileContent(path, bytes, reason != nullptr ? reason : &ignored);
}

bool WeatherStationExport(const std::string& path, const MemoryImage& dado_in,
                          std::string* reason) {
    return WriteWholeFile(path, DataFileText(dado_in), reason);
}

FileLoad ReadDataFile(const std::string& path, MemoryImage& image, std::string* reason) {
    reason->clear();
    if (!CheckDataExtension(path)) {
        return FileLoad::Refused;
    }
    const std::optional<std::string> text = ReadWholeFile(path, reason, DATA_FILE_SIZE);
    MemoryImage loaded;
    if (!text || !ParseDataFileText(*text, loaded, reason)) {
        return FileLoad::Refused;
    }
    if (FirmwareNumber(ImageFirmware(loaded)) != ACCEPTED_FIRMWARE) {
        return FileLoad::FirmwareRejected;
    }
    image = loaded;
    return FileLoad::Loaded;
}

FileLoad ReadConfigFile(const std::string& path, ConfigValues& values, std::string* reason) {
    reason->clear();
    if (!CheckCfgExtension(path)) {
        return FileLoad::Refused;
    }
    const std::optional<std::string> bytes = ReadWholeFile(path, reason, CONFIG_FILE_SIZE);
    if (bytes && bytes->size() < CONFIG_FILE_SIZE) {
        *reason = "o arquivo tem " + std::to_string(bytes->size()) + " bytes em vez de " +
                  std::to_string(CONFIG_FILE_SIZE);
    }
    if (!bytes || !ParseConfigFileBytes(*bytes, values)) {
        return FileLoad::Refused;
    }
    return FileLoad::Loaded;
}

bool SaveConfigFile(const std::string& path, const ConfigValues& values, std::string* reason) {
    const auto bytes = ConfigFileBytes(values);
    return WriteWholeFile(
        path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), reason);
}
