#include "logger/reading_list.h"

#include <gtest/gtest.h>

#include "logger/readings.h"
#include "sensor/temp.h"
#include "support/image_builder.h"
#include "support/recording_window_layer.h"

TEST(ReadingList, FormatsEachReadingAsTheListShowsIt) {
    RecordingWindowLayer windows;
    windows.open_windows.push_back(WindowId::Data);
    ImageSpec spec;
    spec.start = CALENDAR{0, 0, 10, 5, 3, 2014};
    spec.readings = {624, 898, 0};
    EXPECT_TRUE(WeatherStationViewData(BuildImage(spec), TimeBase::Gmt));
    EXPECT_EQ(windows.ListLines(WindowId::Data, LIST1),
              (std::vector<std::string>{"1\t10:01:00\t05.03.14\t25.0\t-10.0\t25.0\t",
                                        "2\t10:02:00\t05.03.14\t-10.0\t-10.0\t25.0\t",
                                        "3\t10:03:00\t05.03.14\t193.7\t-10.0\t25.0\t"}));
    EXPECT_EQ(ReadingListLines(BuildImage(spec))[0], "1\t07:01:00\t05.03.14\t25.0\t-10.0\t25.0\t");
}

TEST(ReadingList, AnotherFirmwareIsReportedOnceAndTheCountIsClamped) {
    RecordingWindowLayer windows;
    MemoryImage image = BuildImage({.firmware = "203"});
    PutBigEndian16(&image[OFF_LOG_COUNT], 0xFFFF);  // more readings than the image holds
    WeatherStationViewData(image, TimeBase::Adjusted);
    ASSERT_EQ(windows.Messages().size(), 1u);
    EXPECT_EQ(windows.Messages()[0].text, MSG_FIRMWARE_NOT_SUPPORTED);
    const auto lines = windows.ListLines(WindowId::Data, LIST1);
    ASSERT_EQ(lines.size(), 32640u);
    EXPECT_NE(lines[0].find("\t-100000000.0\t"), std::string::npos);
}

TEST(ConfigView, ShowsTheValuesAndTakesTheTwoListsBack) {
    RecordingWindowLayer windows;
    config_values = ConfigValues{
        .sample_points = 1000, .sample_rate = 600, .led_cycle = 25, .t_low_alarm = 898};
    SetDescription(config_values.descricao, "C\xE2mara");
    windows.SelectPosition(WindowId::Config, CFG_LED_CYCLE, 1);
    WeatherStationViewPar();
    EXPECT_EQ(windows.SelectedPosition(WindowId::Config, CFG_SAMPLE_POINTS), 3);
    EXPECT_EQ(windows.SelectedPosition(WindowId::Config, CFG_LED_CYCLE), 1);  // 25 is not listed
    EXPECT_EQ(windows.ControlText(WindowId::Config, CFG_TEMP_LOW), "-10.0");
    EXPECT_EQ(windows.ControlText(WindowId::Config, CFG_DESCRICAO), "Câmara");

    windows.SelectPosition(WindowId::Config, CFG_SAMPLE_POINTS, 0);
    windows.SelectPosition(WindowId::Config, CFG_SAMPLE_RATE, 13);  // outside: value stays
    CalcRecTime();
    EXPECT_EQ(config_values.sample_points, 50);
    EXPECT_EQ(config_values.sample_rate, 600);
    EXPECT_EQ(windows.ControlText(WindowId::Config, CFG_REC_TIME), "08h 20min");
}

// A limit shown comes back the same through "Salvar" and "Abrir", by way of its A/D value.
TEST(ReadingList, EveryLimitTheWindowShowsRoundTripsThroughItsADValue) {
    for (int ad = 0; ad <= AD_MAX; ++ad) {
        const std::string shown = ThresholdText(ad);
        for (bool high : {false, true}) {
            ASSERT_EQ(ThresholdText(ThresholdTextToAD(shown, high).value()), shown) << ad;
        }
    }
}
