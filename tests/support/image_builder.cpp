#include "support/image_builder.h"

#include <cstring>

MemoryImage BuildImage(const ImageSpec& spec) {
    MemoryImage image{};
    auto put16 = [&](int offset, int value) {
        image[offset] = static_cast<std::uint8_t>(value >> 8);
        image[offset + 1] = static_cast<std::uint8_t>(value);
    };
    put16(OFF_LOG_COUNT, static_cast<int>(spec.readings.size()));
    put16(OFF_SAMPLE_POINTS, spec.sample_points);
    put16(OFF_SAMPLE_RATE, spec.sample_rate);
    image[OFF_LED_CYCLE] = 10;
    put16(OFF_T_LOW, spec.t_low_ad);
    put16(OFF_T_HIGH, spec.t_high_ad);
    image[OFF_START_TIME + 0] = spec.start.s;
    image[OFF_START_TIME + 1] = spec.start.m;
    image[OFF_START_TIME + 2] = spec.start.h;
    image[OFF_START_TIME + 3] = spec.start.day;
    image[OFF_START_TIME + 4] = spec.start.month;
    image[OFF_START_TIME + 5] = static_cast<std::uint8_t>(spec.start.year & 0xFF);
    image[OFF_START_TIME + 6] = static_cast<std::uint8_t>(spec.start.year >> 8);
    image[OFF_SERIAL] = static_cast<std::uint8_t>(spec.serial >> 16);
    image[OFF_SERIAL + 1] = static_cast<std::uint8_t>(spec.serial >> 8);
    image[OFF_SERIAL + 2] = static_cast<std::uint8_t>(spec.serial);
    std::memcpy(&image[OFF_DESCRICAO], spec.description, std::strlen(spec.description));
    std::memcpy(&image[OFF_FIRMWARE], spec.firmware, 3);
    for (std::size_t i = 0; i < spec.readings.size() && i < MAX_IMAGE_READINGS; ++i) {
        put16(HEADER_SIZE + 2 * static_cast<int>(i), spec.readings[i]);
    }
    return image;
}
