#include "logger/serial_log.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "base/atomic_file.h"
#include "base/window_layer.h"

bool forcar_novo_serial = false;

long BuscaUltimoSerial() {
    std::FILE* file = std::fopen(SERIAL_FILE_NAME, "a+");
    if (file == nullptr) {
        ShowMessage(WindowId::Config,
                    "Ocorreu um erro ao buscar último serial, na abertura do arquivo "
                    "UltimoSerial.txt, contagam será reiniciada.",
                    "Busca serial", MsgIcon::None);
        return SERIAL_NONE;
    }
    std::rewind(file);
    char line[10] = {};
    const bool has_line = std::fgets(line, sizeof line, file) != nullptr;
    std::fclose(file);
    if (!has_line) {
        ShowMessage(WindowId::Config,
                    "Ocorreu um erro ao buscar último serial, contagam será reiniciada.",
                    "Busca serial", MsgIcon::None);
        return SERIAL_NONE;
    }
    const long serial = std::strtol(line, nullptr, 10);
    // Anything outside the 24-bit range cannot be counted down from: start again.
    return (serial <= 0 || serial > SERIAL_NONE) ? SERIAL_NONE : serial;
}

int SalvaUltimoSerial(long serial) {
    std::string reason;
    // Replaced whole, so that a failed save cannot lose the count and repeat serials.
    errno = 0;
    if (ReplaceFileContent(SERIAL_FILE_NAME, std::to_string(static_cast<unsigned>(serial)),
                           &reason)) {
        return 0;
    }
    const int result = errno != 0 ? errno : EIO;
    ShowMessage(WindowId::Config,
                std::string("Erro ao salvar arquivo ") + SERIAL_FILE_NAME + ": " + reason, "Erro",
                MsgIcon::Stop);
    return result;
}

void AssignSerialIfNeeded(ConfigValues& values) {
    if (values.serial == SERIAL_NONE || forcar_novo_serial) {
        values.serial = BuscaUltimoSerial() - 1;
        SalvaUltimoSerial(values.serial);
    }
}

std::string ConfigLogLine(const ConfigValues& v, const CALENDAR& now) {
    char date[16];
    char time[16];
    std::snprintf(date, sizeof date, "%02d/%02d/%02d", now.month, now.day, now.year % 100);
    std::snprintf(time, sizeof time, "%02d:%02d:%02d", now.h, now.m, now.s);
    const std::string text = DescriptionBytes(v.descricao.data());
    char line[256];
    std::snprintf(line, sizeof line, "%s, %s , %u, %u, %u %u, %u, %u, %u, %u, %u, %u, %s\r", date,
                  time, static_cast<unsigned>(v.serial), static_cast<unsigned>(v.t_low_alarm),
                  static_cast<unsigned>(v.t_high_alarm), static_cast<unsigned>(v.start_delay),
                  static_cast<unsigned>(v.alarm_delay), static_cast<unsigned>(v.sample_points),
                  static_cast<unsigned>(v.sample_rate), v.flash_alarm ? 1U : 0U,
                  v.temp_unit != 0 ? 1U : 0U, v.modo_nuvem ? 1U : 0U, text.c_str());
    return line;
}

bool SalvaGravacao(const ConfigValues& values, const CALENDAR& now) {
    const std::string line = ConfigLogLine(values, now);
    std::FILE* file = std::fopen(CONFIG_LOG_FILE_NAME, "a+");
    bool written = false;
    if (file != nullptr) {
        written = std::fwrite(line.data(), 1, line.size(), file) == line.size();
        written = std::fclose(file) == 0 && written;
    }
    if (!written) {
        ShowMessage(WindowId::Config,
                    "A configuração foi gravada no KELTRIX, mas não foi possível registrá-la no "
                    "arquivo log_configurados.txt.",
                    "Erro", MsgIcon::Warning);
    }
    return written;
}
