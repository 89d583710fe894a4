#pragma once
// Builds memory images for tests.

#include <vector>

#include "logger/memory_image.h"

struct ImageSpec {
    CALENDAR start{0, 0, 10, 5, 3, 2014};
    int sample_rate = 60;
    int sample_points = 1000;
    int t_low_ad = 898;   // -10.0 C
    int t_high_ad = 624;  // 25.0 C
    const char* firmware = "103";
    long serial = 1234;
    const char* description = "Camara fria 01";
    std::vector<int> readings{};
};

MemoryImage BuildImage(const ImageSpec& spec);
