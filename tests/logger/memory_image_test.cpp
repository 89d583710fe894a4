#include "logger/memory_image.h"

#include <gtest/gtest.h>

#include "logger/cp1252.h"
#include "support/image_builder.h"

TEST(MemoryImage, DecodesTheHeaderAndClampsTheCount) {
    ImageSpec spec;
    spec.start = CALENDAR{5, 6, 7, 8, 9, 2014};
    spec.readings = {624, 836};
    MemoryImage image = BuildImage(spec);
    image[OFF_FLAGS] = 0x03;  // flash and Fahrenheit; cloud is offset 47's alone
    image[OFF_CLOUD] = 1;
    EXPECT_EQ(image[21], 0xDE);  // the year is little-endian in the image
    EXPECT_EQ(ImageStartTime(image), spec.start);
    const ConfigValues v = ConfigFromHeader(image.data());
    EXPECT_TRUE(v.flash_alarm && v.temp_unit == 1 && v.modo_nuvem);
    image[OFF_CLOUD] = 2;  // only 1 means on, whatever the flags say
    image[OFF_FLAGS] = FLAG_CLOUD;
    EXPECT_FALSE(ConfigFromHeader(image.data()).modo_nuvem);
    PutBigEndian16(&image[OFF_LOG_COUNT], 0xFFFF);
    EXPECT_EQ(ImageReadingCount(image), 32640);

    image[9] = 0x34;  // BCD count and the sensor's record length
    image[10] = 0x12;
    image[12] = 0x03;
    int length = 0, count = 0;
    WeatherStationInfo(image.data(), &length, &count);
    EXPECT_EQ(length, 15);
    EXPECT_EQ(count, 1234);
}

TEST(ConfigRecord, CarriesEveryValueAndAWindows1252DescriptionOf20BytesAtMost) {
    ConfigValues v{.sample_points = 16000,
                   .sample_rate = 300,
                   .led_cycle = 20,
                   .flash_alarm = true,
                   .temp_unit = 1,
                   .t_low_alarm = 0x0382,
                   .t_high_alarm = 0x0270,
                   .start_delay = 0x1234,
                   .alarm_delay = 600,
                   .serial = 0xFFFFFE,
                   .modo_nuvem = true};
    SetDescription(v.descricao, "12345678901234567890");  // exactly 20 characters
    const auto p = BuildConfigRecord(v, CALENDAR{1, 2, 3, 4, 5, 2026});
    EXPECT_EQ(std::vector<std::uint8_t>(p.begin(), p.begin() + 7),
              (std::vector<std::uint8_t>{1, 2, 3, 4, 5, 0x07, 0xEA}));
    EXPECT_EQ(p[52], 1);
    // Image byte k sits at payload byte k + 5: the record parses back as a header.
    std::uint8_t header[48] = {};
    std::copy(p.begin() + 7, p.end(), header + 2);
    EXPECT_EQ(ConfigFromHeader(header), v);
    // The description: Windows-1252 bytes, 20 at most.
    EXPECT_EQ(Utf8ToCp1252("Câmara € –"), "C\xE2mara \x80 \x96");
    EXPECT_EQ(Utf8ToCp1252("日\xC3"), "??");  // unmappable, then a truncated sequence
    std::array<unsigned char, DESCRIPTION_SIZE> field;
    field.fill('x');  // no terminator at all: still 20 characters at most
    EXPECT_EQ(DescriptionBytes(field.data()).size(), 20u);
    SetDescription(field, "123456789012345678901234");
    EXPECT_EQ(field[20], 0);
}
