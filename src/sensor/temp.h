#pragma once
// Temperature conversion between the card's 10-bit A/D values and degrees.

#include <optional>
#include <string_view>

#include "base/card_layout.h"

constexpr float offsetTemp = 0.0f;

// What a refused conversion yields; the callers print it as it is.
constexpr float TEMP_REFUSED = -100000000.0f;
constexpr int TEMP_X10_REFUSED = -99999999;

// Text shown (caption " ") when the firmware cannot use the table.
inline constexpr std::string_view MSG_FIRMWARE_NOT_SUPPORTED =
    "Esta versão do software não suporta a versão deste Keltrix, atualize o software.";

// The table holds for firmware 1.0x. An unknown version is not refused: a data file
// or a read image always carries its own version, which is what decoders check.
bool FirmwareUsesTempTable(const FirmwareVersion& version);

// Clamps n_ad to 0..1023 so a corrupt value never indexes past the table.
int ClampAD(int n_ad);

float ADToTemp(int n_ad);
int ADToTemp_x10(int n_ad);
// The same, refusing (TEMP_REFUSED / TEMP_X10_REFUSED) when `version` cannot use the table.
float ADToTemp(int n_ad, const FirmwareVersion& version);
int ADToTemp_x10(int n_ad, const FirmwareVersion& version);

// Last A/D value whose temperature is at or above hi_temp (tenths); -1 above the table.
int HiTempToAD(int hi_temp);
// First A/D value whose temperature is at or below lo_temp (tenths); 1024 below the table.
int LoTempToAD(int lo_temp);

// Threshold text of the configuration window ("8.5", "-2,0": at most one decimal after
// "," or ".") to an A/D value, bounded to 0..1023 so that only valid values are ever
// stored or sent; nothing when the text is not such a number.
std::optional<int> ThresholdTextToAD(std::string_view text, bool high);

// Nothing calls these yet: the reports convert with their own rounding (recording_stats).
float CelsiustoFahrenheit2(float temperature, char unidade);
float FahrenheittoCelsius(float temperature);
// Nothing calls it yet: it needs the humidity variant.
int CalculateDewPoint(int humidity, int temperature);
