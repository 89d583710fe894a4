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
    EXPECT_EQ(image[22], 0x07);
    EXPECT_EQ(ImageStartTime(image), spec.start);
    EXPECT_EQ(ReadingAD(image, 1), 836);

    ConfigValues v = ConfigFromHeader(image.data());
    EXPECT_TRUE(v.flash_alarm);
    EXPECT_EQ(v.temp_unit, 1);
    EXPECT_TRUE(v.modo_nuvem);
    EXPECT_EQ(v.serial, 1234);
    EXPECT_EQ(DescriptionBytes(v.descricao.data()), "Camara fria 01");
    image[OFF_CLOUD] = 2;  // only 1 means on, whatever the flags say
    image[OFF_FLAGS] = FLAG_CLOUD;
    EXPECT_FALSE(ConfigFromHeader(image.data()).modo_nuvem);

    image[21] = 0xDD;  // 2013: never started
    EXPECT_TRUE(ImageNeverStarted(image));
    image[0] = 0xFF;
    image[1] = 0xFF;
    EXPECT_EQ(ImageReadingCount(image), 32640);

    image[9] = 0x34;  // BCD count and the sensor's record length
    image[10] = 0x12;
    image[12] = 0x03;
    int length = 0;
    int count = 0;
    WeatherStationInfo(image.data(), &length, &count);
    EXPECT_EQ(length, 15);
    EXPECT_EQ(count, 1234);
}

TEST(ConfigRecord, CarriesEveryValueAtItsPayloadOffsetAndParsesBack) {
    ConfigValues v;
    v.sample_points = 16000;
    v.sample_rate = 300;
    v.led_cycle = 20;
    v.flash_alarm = true;
    v.temp_unit = 1;
    v.modo_nuvem = true;
    v.t_low_alarm = 0x0382;
    v.t_high_alarm = 0x0270;
    v.start_delay = 0x1234;
    v.alarm_delay = 600;
    v.serial = 0xFFFFFE;
    SetDescription(v.descricao, "12345678901234567890");  // exactly 20 characters
    const auto p = BuildConfigRecord(v, CALENDAR{1, 2, 3, 4, 5, 2026});
    const std::uint8_t expected_head[] = {1,    2,  3,    4,    5,    0x07, 0xEA, 0x3E, 0x80, 0x01,
                                          0x2C, 20, 0x07, 0x03, 0x82, 0x02, 0x70, 0x12, 0x34};
    for (std::size_t k = 0; k < std::size(expected_head); ++k) {
        EXPECT_EQ(p[k], expected_head[k]) << "payload byte " << k;
    }
    for (int k = 21; k <= 27; ++k) {
        EXPECT_EQ(p[k], 0) << k;  // the card fills in the start time itself
    }
    EXPECT_EQ(p[28], 0xFF);
    EXPECT_EQ(p[30], 0xFE);
    EXPECT_EQ(p[50], '0');
    EXPECT_EQ(p[51], 0);
    EXPECT_EQ(p[52], 1);

    // Image byte k sits at payload byte k + 5: the record parses back as a header.
    std::uint8_t header[48] = {};
    std::copy(p.begin() + 7, p.end(), header + 2);
    EXPECT_EQ(ConfigFromHeader(header), v);
}

TEST(Description, KeepsWindows1252BytesAndConvertsAtTheEdge) {
    EXPECT_EQ(Cp1252ToUtf8("C\xE2mara"), "Câmara");
    EXPECT_EQ(Utf8ToCp1252("Câmara € –"), "C\xE2mara \x80 \x96");
    EXPECT_EQ(Utf8ToCp1252("日\xC3"), "??");  // unmappable, then a truncated sequence
    std::array<unsigned char, DESCRIPTION_SIZE> field;
    field.fill('x');  // no terminator at all: still 20 characters at most
    EXPECT_EQ(DescriptionBytes(field.data()).size(), 20u);
    SetDescription(field, "123456789012345678901234");
    EXPECT_EQ(field[20], 0);
}
