#pragma once
// The last serial number given out and the log of configurations written, two small
// text files in the working directory.

#include "logger/calendar.h"
#include "logger/config_values.h"

inline constexpr const char* SERIAL_FILE_NAME = "UltimoSerial.txt";
inline constexpr const char* CONFIG_LOG_FILE_NAME = "log_configurados.txt";

// When true every configuration write gives the card a new serial number. Nothing sets it
// yet: no control asks for a new serial number.
extern bool forcar_novo_serial;

// The last serial number given out, or SERIAL_NONE (after a warning) when there is none.
long BuscaUltimoSerial();
// 0 on success; on failure the user has been told.
int SalvaUltimoSerial(long serial);
// A card without a serial number (or any card, when forced) gets the next one down.
void AssignSerialIfNeeded(ConfigValues& values);

// "MM/DD/YY, HH:MM:SS , serial, low, high, start alarm, points, rate, flash, unit, cloud, text\r"
std::string ConfigLogLine(const ConfigValues& values, const CALENDAR& now);
// Appends the line; false (after telling the user) when the log cannot be written.
bool SalvaGravacao(const ConfigValues& values, const CALENDAR& now);
