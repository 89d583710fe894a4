#include "sensor/rh.h"

#include <cmath>

namespace {

struct RhAnchor {
    int ad;
    int tenths;
};

// Only these rows of the humidity table are fixed; every entry between two of them is
// filled by linear interpolation (truncated), which keeps the table non-decreasing.
constexpr RhAnchor kAnchors[] = {{0, 0},     {1, 44},     {2, 104},    {64, 358},  {128, 413},
                                 {256, 474}, {512, 574},  {640, 629},  {768, 705}, {896, 815},
                                 {960, 915}, {990, 1000}, {1023, 1000}};

constexpr std::array<int, RH_TABLE_SIZE> InterpolatedRhTable() {
    std::array<int, RH_TABLE_SIZE> table{};
    for (std::size_t k = 0; k + 1 < std::size(kAnchors); ++k) {
        const RhAnchor lo = kAnchors[k];
        const RhAnchor hi = kAnchors[k + 1];
        for (int n = lo.ad; n <= hi.ad; ++n) {
            table[n] = lo.tenths + (hi.tenths - lo.tenths) * (n - lo.ad) / (hi.ad - lo.ad);
        }
    }
    return table;
}

}  // namespace

const std::array<int, RH_TABLE_SIZE> rh = InterpolatedRhTable();

float ADToRh(int n_ad) {
    if (n_ad <= 0) {
        return 0.0f;  // the sensor model has no resistance for 0
    }
    const float r = 39200.0f * static_cast<float>(1023 - n_ad) / static_cast<float>(n_ad) / 1000.0f;
    float a = 84412.0f;
    float b = -0.1386f;
    if (r < 30.0f) {
        a = 2970.64f;
        b = -0.0769f;
    } else if (r < 300.0f) {
        a = 18394.6f;
        b = -0.1071f;
    }
    return std::log(r / a) / b;
}

int HiRhToAD(int hi_rh) {
    for (int n = RH_TABLE_SIZE - 1; n >= 1; --n) {
        if (rh[n] < hi_rh) {
            return n + 1;
        }
    }
    return 1;
}

int LoRhToAD(int lo_rh) {
    for (int n = 0; n < RH_TABLE_SIZE; ++n) {
        if (rh[n] > lo_rh) {
            return n - 1;
        }
    }
    return RH_TABLE_SIZE - 1;
}
