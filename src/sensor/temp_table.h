#pragma once

constexpr int TEMP_TABLE_SIZE = 1024;
constexpr int AD_MAX = TEMP_TABLE_SIZE - 1;

// Entry n: temperature in tenths of a degree Celsius for A/D value n; non-increasing.
extern const int temp001000000[TEMP_TABLE_SIZE];
