#include "support/image_builder.h"

#include <cstring>

MemoryImage BuildImage(const ImageSpec& spec) {
    MemoryImage image{};
    PutBigEndian16(&image[OFF_LOG_COUNT], static_cast<long>(spec.readings.size()));
    PutBigEndian16(&image[OFF_SAMPLE_POINTS], spec.sample_points);
    PutBigEndian16(&image[OFF_SAMPLE_RATE], spec.sample_rate);
    image[OFF_LED_CYCLE] = 10;
    PutBigEndian16(&image[OFF_T_LOW], spec.t_low_ad);
    PutBigEndian16(&image[OFF_T_HIGH], spec.t_high_ad);
    SetImageStartTime(image, spec.start);
    image[OFF_SERIAL] = static_cast<std::uint8_t>(spec.serial >> 16);
    PutBigEndian16(&image[OFF_SERIAL + 1], spec.serial);
    std::memcpy(&image[OFF_DESCRICAO], spec.description, std::strlen(spec.description));
    std::memcpy(&image[OFF_FIRMWARE], spec.firmware, 3);
    for (std::size_t i = 0; i < spec.readings.size() && i < MAX_IMAGE_READINGS; ++i) {
        PutBigEndian16(&image[HEADER_SIZE + READING_SIZE * i], spec.readings[i]);
    }
    return image;
}
