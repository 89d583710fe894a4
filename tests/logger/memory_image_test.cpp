#include "logger/memory_image.h"

#include <gtest/gtest.h>

#include "logger/cp1252.h"
#include "support/image_builder.h"

TEST(MemoryImage, DecodesTheHeaderFields) {
    ImageSpec spec;
    spec.start = CALENDAR{5, 6, 7, 8, 9, 2014};
    spec.readings = {624, 836};
    MemoryImage image = BuildImage(spec);
    image[OFF_FLAGS] = 0x03;  // flash and Fahrenheit; cloud is offset 47's alone
    image[OFF_CLOUD] = 1;

    EXPECT_EQ(image[21], 0xDE);
    EXPECT_EQ(image[22], 0x07);
    EXPECT_EQ(ImageStartTime(image), (CALENDAR{5, 6, 7, 8, 9, 2014}));
    EXPECT_FALSE(ImageNeverStarted(image));
    EXPECT_EQ(ImageReadingCount(image), 2);
    EXPECT_EQ(ReadingAD(image, 0), 624);
    EXPECT_EQ(ImageSampleRate(image), 60);

    const ConfigValues v = ConfigFromHeader(image.data());
    EXPECT_EQ(v.sample_points, 1000);
    EXPECT_EQ(v.sample_rate, 60);
    EXPECT_EQ(v.led_cycle, 10);
    EXPECT_TRUE(v.flash_alarm);
    EXPECT_EQ(v.temp_unit, 1);
    EXPECT_TRUE(v.modo_nuvem);
    EXPECT_EQ(v.t_low_alarm, 898);
    EXPECT_EQ(v.t_high_alarm, 624);
    EXPECT_EQ(v.serial, 1234);
    EXPECT_EQ(DescriptionBytes(v.descricao.data()), "Camara fria 01");

    image[OFF_CLOUD] = 2;  // only 1 means on
    image[OFF_FLAGS] = FLAG_CLOUD;
    EXPECT_FALSE(ConfigFromHeader(image.data()).modo_nuvem);

    image[21] = 0xDD;  // 2013: never started
    EXPECT_TRUE(ImageNeverStarted(image));
}

TEST(MemoryImage, ClampsReadingCountsBeyondTheImage) {
    MemoryImage image{};
    image[0] = 0xFF;
    image[1] = 0xFF;
    EXPECT_EQ(ImageReadingCount(image), 32640);
    EXPECT_EQ(ReadingAD(image, ImageReadingCount(image) - 1), 0);  // last two bytes, in bounds
}

TEST(ConfigRecord, CarriesEveryValueAtItsPayloadOffset) {
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

    EXPECT_EQ(p[0], 1);
    EXPECT_EQ(p[4], 5);
    EXPECT_EQ(p[5], 0x07);  // the year is big-endian here
    EXPECT_EQ(p[6], 0xEA);
    EXPECT_EQ(p[7], 16000 >> 8);
    EXPECT_EQ(p[8], 16000 & 0xFF);
    EXPECT_EQ(p[9], 0x01);
    EXPECT_EQ(p[10], 0x2C);
    EXPECT_EQ(p[11], 20);
    EXPECT_EQ(p[12], 0x07);
    EXPECT_EQ(p[13], 0x03);
    EXPECT_EQ(p[14], 0x82);
    EXPECT_EQ(p[17], 0x12);
    EXPECT_EQ(p[18], 0x34);
    for (int k = 21; k <= 27; ++k) {
        EXPECT_EQ(p[k], 0) << k;
    }
    EXPECT_EQ(p[28], 0xFF);
    EXPECT_EQ(p[30], 0xFE);
    EXPECT_EQ(p[31], '1');
    EXPECT_EQ(p[50], '0');
    EXPECT_EQ(p[51], 0);
    EXPECT_EQ(p[52], 1);

    // Image byte k sits at payload byte k + 5: the record parses back as a header.
    std::uint8_t header[48] = {};
    std::copy(p.begin() + 7, p.end(), header + 2);
    ConfigValues back = ConfigFromHeader(header);
    EXPECT_EQ(back, v);
}

TEST(Description, KeepsWindows1252BytesAndConvertsAtTheEdge) {
    const std::string camara = "C\xE2mara";  // as a Windows program writes "Câmara"
    EXPECT_EQ(Cp1252ToUtf8(camara), "Câmara");
    EXPECT_EQ(Utf8ToCp1252("Câmara"), camara);
    EXPECT_EQ(Utf8ToCp1252("€ – ºC"),
              "\x80 \x96 \xBA"
              "C");
    EXPECT_EQ(Cp1252ToUtf8("\x80\x96"), "€–");
    EXPECT_EQ(Utf8ToCp1252("日本"), "??");
    EXPECT_EQ(Utf8ToCp1252("\xC3"), "?");  // truncated sequence

    std::array<unsigned char, DESCRIPTION_SIZE> field;
    field.fill('x');
    SetDescription(field, "123456789012345678901234");
    EXPECT_EQ(DescriptionBytes(field.data()), "12345678901234567890");
    EXPECT_EQ(field[20], 0);
    field.fill('x');  // no terminator at all: still 20 characters at most
    EXPECT_EQ(DescriptionBytes(field.data()).size(), 20u);
}

TEST(MemoryImage, WeatherStationInfoReadsBcdCountAndRecordLength) {
    MemoryImage image{};
    image[9] = 0x34;
    image[10] = 0x12;
    image[11] = 0x04;
    image[12] = 0x03;
    int length = 0;
    int count = 0;
    EXPECT_TRUE(WeatherStationInfo(image.data(), &length, &count));
    EXPECT_EQ(length, 15);
    EXPECT_EQ(count, 1234);
    EXPECT_TRUE(overflow);
    image[12] = 0x09;
    length = 7;
    WeatherStationInfo(image.data(), &length, &count);
    EXPECT_EQ(length, 7);
}
