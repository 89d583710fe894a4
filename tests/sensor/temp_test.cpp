#include "sensor/temp.h"

#include <gtest/gtest.h>

#include "sensor/temp_table.h"

TEST(TempConversion, ClampRefusalReverseLookupsAndBoundedThresholdText) {
    EXPECT_FLOAT_EQ(ADToTemp(624), 25.0f);
    // A corrupt image can hold any 16-bit value: never index past the table.
    EXPECT_FLOAT_EQ(ADToTemp(65535), -46.3f);
    EXPECT_FLOAT_EQ(ADToTemp(-5), 193.7f);
    // Only a known version that is not 1.0x is refused.
    EXPECT_FLOAT_EQ(ADToTemp(624, FirmwareVersion{}), 25.0f);
    EXPECT_FLOAT_EQ(ADToTemp(624, FirmwareVersion{{'2', '0', '3'}}), TEMP_REFUSED);
    EXPECT_EQ(ADToTemp_x10(624, FirmwareVersion{{'1', '1', '3'}}), TEMP_X10_REFUSED);

    EXPECT_EQ(HiTempToAD(2000), -1);
    EXPECT_EQ(LoTempToAD(-500), 1024);
    for (int n = 0; n < TEMP_TABLE_SIZE; ++n) {
        // The high lookup gives the last of a run of equal entries, the low one the first.
        const int t = temp001000000[n];
        ASSERT_EQ(temp001000000[HiTempToAD(t)], t);
        ASSERT_EQ(temp001000000[LoTempToAD(t)], t);
        ASSERT_GE(HiTempToAD(t), n);
        ASSERT_LE(LoTempToAD(t), n);
    }
    EXPECT_EQ(ThresholdTextToAD("25,0", false), 624);
    EXPECT_EQ(ThresholdTextToAD("500", true), 0);
    EXPECT_EQ(ThresholdTextToAD("-99999999999", false), 1023);
    EXPECT_FALSE(ThresholdTextToAD("2.55", true).has_value());
}
