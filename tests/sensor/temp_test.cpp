#include "sensor/temp.h"

#include <gtest/gtest.h>

#include "sensor/rh.h"
#include "sensor/temp_table.h"

TEST(TempTable, HasTheDocumentedShape) {
    EXPECT_EQ(temp001000000[0], 1937);
    EXPECT_EQ(temp001000000[624], 250);
    EXPECT_EQ(temp001000000[836], 0);
    EXPECT_EQ(temp001000000[837], -2);
    EXPECT_EQ(temp001000000[1023], -463);
    int equal_pairs = 0;
    for (int n = 1; n < TEMP_TABLE_SIZE; ++n) {
        ASSERT_LE(temp001000000[n], temp001000000[n - 1]) << "at " << n;
        equal_pairs += temp001000000[n] == temp001000000[n - 1];
    }
    EXPECT_EQ(equal_pairs, 26);
}

TEST(TempConversion, ReadsTheTableAndClampsOutOfRangeValues) {
    EXPECT_FLOAT_EQ(ADToTemp(624), 25.0f);
    EXPECT_FLOAT_EQ(ADToTemp(0), 193.7f);
    EXPECT_FLOAT_EQ(ADToTemp(1023), -46.3f);
    EXPECT_EQ(ADToTemp_x10(836), 0);
    // A corrupt image can hold any 16-bit value: never index past the table.
    EXPECT_FLOAT_EQ(ADToTemp(65535), -46.3f);
    EXPECT_FLOAT_EQ(ADToTemp(-5), 193.7f);
    EXPECT_EQ(ADToTemp_x10(1024), -463);
}

TEST(TempConversion, RefusesOnlyAKnownFirmwareThatIsNot10x) {
    FirmwareVersion v103{{'1', '0', '3'}};
    FirmwareVersion v203{{'2', '0', '3'}};
    FirmwareVersion v113{{'1', '1', '3'}};
    FirmwareVersion unknown{};
    EXPECT_FLOAT_EQ(ADToTemp(624, v103), 25.0f);
    EXPECT_FLOAT_EQ(ADToTemp(624, unknown), 25.0f);
    EXPECT_FLOAT_EQ(ADToTemp(624, v203), TEMP_REFUSED);
    EXPECT_EQ(ADToTemp_x10(624, v113), TEMP_X10_REFUSED);
}

TEST(TempConversion, ReverseLookupsRoundTripAndStayInRange) {
    EXPECT_EQ(HiTempToAD(250), 624);
    EXPECT_EQ(LoTempToAD(250), 624);
    EXPECT_EQ(HiTempToAD(0), 836);
    EXPECT_EQ(LoTempToAD(0), 836);
    EXPECT_EQ(HiTempToAD(-100), 898);
    EXPECT_EQ(LoTempToAD(-100), 898);
    EXPECT_EQ(HiTempToAD(2000), -1);
    EXPECT_EQ(LoTempToAD(-500), 1024);
    for (int n = 0; n < TEMP_TABLE_SIZE; ++n) {
        const int t = temp001000000[n];
        // The high lookup gives the last of a run of equal entries, the low one the first.
        EXPECT_EQ(temp001000000[HiTempToAD(t)], t);
        EXPECT_EQ(temp001000000[LoTempToAD(t)], t);
        EXPECT_GE(HiTempToAD(t), n);
        EXPECT_LE(LoTempToAD(t), n);
    }
    // Thresholds typed by the user are bounded to valid A/D values.
    EXPECT_EQ(ThresholdTextToAD("25.0", true), 624);
    EXPECT_EQ(ThresholdTextToAD("25,0", false), 624);
    EXPECT_EQ(ThresholdTextToAD("-10.0", false), 898);
    EXPECT_EQ(ThresholdTextToAD("500", true), 0);
    EXPECT_EQ(ThresholdTextToAD("-50", false), 1023);
    EXPECT_EQ(ThresholdTextToAD("-99999999999", true), 1023);
    EXPECT_EQ(ThresholdTextToAD("abc", true), 836);
}

TEST(UnitAndHumidityConversion, MatchTheirFormulas) {
    EXPECT_FLOAT_EQ(CelsiustoFahrenheit2(25.0f, 'C'), 25.0f);
    EXPECT_FLOAT_EQ(CelsiustoFahrenheit2(25.0f, 'F'), 77.0f);
    EXPECT_NEAR(FahrenheittoCelsius(77.0f), 25.0f, 1e-5);
    // 25.0 C at 50 % relative humidity: dew point about 13.9 C.
    EXPECT_NEAR(CalculateDewPoint(500, 250), 138, 1);
    EXPECT_NEAR(ADToRh(512), 54.0f, 20.0f);

    const int anchors[][2] = {{0, 0},     {1, 44},     {2, 104},    {64, 358},  {128, 413},
                              {256, 474}, {512, 574},  {640, 629},  {768, 705}, {896, 815},
                              {960, 915}, {990, 1000}, {1023, 1000}};
    for (const auto& anchor : anchors) {
        EXPECT_EQ(rh[anchor[0]], anchor[1]) << "at " << anchor[0];
    }
    for (int n = 1; n < RH_TABLE_SIZE; ++n) {
        ASSERT_GE(rh[n], rh[n - 1]) << "at " << n;
    }
    EXPECT_EQ(rh[HiRhToAD(574)], 574);
    EXPECT_EQ(rh[LoRhToAD(574)], 574);
}
