#pragma once
// The recording configuration as the program holds it, and the allowed values.

#include <array>
#include <string>

#include "base/card_layout.h"

constexpr long SERIAL_NONE = 0xFFFFFF;

struct ConfigValues {
    int sample_points = 0;
    int sample_rate = 0;  // seconds
    unsigned char led_cycle = 0;
    bool flash_alarm = false;
    unsigned char temp_unit = 0;  // 0 Celsius, 1 Fahrenheit
    int t_low_alarm = 0;          // A/D values
    int t_high_alarm = 0;
    int start_delay = 0;  // seconds
    int alarm_delay = 0;  // seconds
    long serial = SERIAL_NONE;
    // Windows-1252 bytes as the card and the files hold them, NUL-terminated.
    std::array<unsigned char, DESCRIPTION_SIZE> descricao{};
    bool modo_nuvem = false;

    bool operator==(const ConfigValues&) const = default;
};

// The process-wide configuration: filled by a configuration read or a configuration
// file, shown and edited by the configuration window, sent by the configuration write.
extern ConfigValues config_values;

inline constexpr std::array<int, 13> SAMPLE_POINTS_LIST = {
    50, 100, 500, 1000, 2000, 4000, 6000, 8000, 10000, 12000, 14000, 16000, 32000};
inline constexpr std::array<int, 13> SAMPLE_RATE_LIST = {2,    5,    10,   30,    60,    300,  600,
                                                         1800, 3600, 7200, 10800, 21600, 43200};
inline constexpr std::array<int, 3> LED_CYCLE_LIST = {10, 20, 30};

// Position of `value` in `list`, or -1.
template <std::size_t N>
constexpr int ListPosition(const std::array<int, N>& list, int value) {
    for (std::size_t i = 0; i < N; ++i) {
        if (list[i] == value) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

// The description bytes up to the NUL (at most 20), still Windows-1252.
std::string DescriptionBytes(const unsigned char* field);
// Stores at most 20 bytes and the NUL, zero-filling the rest.
void SetDescription(std::array<unsigned char, DESCRIPTION_SIZE>& field, std::string_view bytes);
