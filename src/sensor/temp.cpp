#include "sensor/temp.h"

#include <algorithm>
#include <cmath>

#include "base/number_text.h"
#include "sensor/temp_table.h"

bool FirmwareUsesTempTable(const FirmwareVersion& version) {
    if (version.digits[0] == 0) {
        return true;
    }
    return version.digits[0] == '1' && version.digits[1] == '0';
}

int ClampAD(int n_ad) {
    return std::clamp(n_ad, 0, AD_MAX);
}

float ADToTemp(int n_ad) {
    return static_cast<float>(temp001000000[ClampAD(n_ad)]) / 10.0f;
}

int ADToTemp_x10(int n_ad) {
    return temp001000000[ClampAD(n_ad)];
}

float ADToTemp(int n_ad, const FirmwareVersion& version) {
    return FirmwareUsesTempTable(version) ? ADToTemp(n_ad) : TEMP_REFUSED;
}

int ADToTemp_x10(int n_ad, const FirmwareVersion& version) {
    return FirmwareUsesTempTable(version) ? ADToTemp_x10(n_ad) : TEMP_X10_REFUSED;
}

static int WithoutOffset(int tenths) {
    return static_cast<int>(static_cast<float>(tenths) - offsetTemp * 10.0f);
}

int HiTempToAD(int hi_temp) {
    const int x = WithoutOffset(hi_temp);
    for (int n = 0; n < TEMP_TABLE_SIZE; ++n) {
        if (temp001000000[n] < x) {
            return n - 1;
        }
    }
    return AD_MAX;
}

int LoTempToAD(int lo_temp) {
    const int x = WithoutOffset(lo_temp);
    for (int n = AD_MAX; n >= 0; --n) {
        if (temp001000000[n] > x) {
            return n + 1;
        }
    }
    return 0;
}

std::optional<int> ThresholdTextToAD(std::string_view text, bool high) {
    const std::optional<double> value = ParseDecimal(text, 1);
    if (!value) {
        return std::nullopt;
    }
    // Bound before the cast: a huge entry must not overflow the int.
    const double bounded = std::clamp(*value, -100000.0, 100000.0);
    const int tenths = static_cast<int>(std::lround(bounded * 10.0));
    const int ad = high ? HiTempToAD(tenths) : LoTempToAD(tenths);
    return ClampAD(ad);
}

float CelsiustoFahrenheit2(float temperature, char unidade) {
    return unidade == 'F' ? temperature * 1.8f + 32.0f : temperature;
}

float FahrenheittoCelsius(float temperature) {
    return (temperature - 32.0f) / 1.8f;
}

int CalculateDewPoint(int humidity, int temperature) {
    const float a = 17.271f;
    const float b = 237.7f;
    const double first = (temperature * a / 10.0f) / (temperature / 10 + b);
    const float gamma = static_cast<float>(first + std::log(humidity / 1000.0));
    const float dew = b * gamma / (a - gamma);
    return static_cast<int>(dew * 10.0f);
}
