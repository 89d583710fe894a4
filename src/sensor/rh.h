#pragma once
// Relative humidity conversions of the humidity sensor variant.

#include <array>

constexpr int RH_TABLE_SIZE = 1024;

// Entry n: relative humidity in tenths of a percent for A/D value n; non-decreasing.
extern const std::array<int, RH_TABLE_SIZE> rh;

// Nothing calls these yet: no card of the humidity variant is supported.
float ADToRh(int n_ad);
int HiRhToAD(int hi_rh);
int LoRhToAD(int lo_rh);
