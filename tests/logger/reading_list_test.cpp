#include "logger/reading_list.h"

#include <gtest/gtest.h>

#include "logger/readings.h"
#include "support/image_builder.h"
#include "support/recording_window_layer.h"

TEST(ReadingList, FormatsEachReadingAsTheListShowsIt) {
    RecordingWindowLayer windows;
    windows.open_windows.push_back(WindowId::Data);
    windows.SetChecked(WindowId::Data, CB_CONVERTER_HORARIO_LOCAL, true);  // GMT-0
    ImageSpec spec;
    spec.start = CALENDAR{0, 0, 10, 5, 3, 2014};
    spec.readings = {624, 836, 898, 0};
    EXPECT_TRUE(WeatherStationViewData(BuildImage(spec)));
    const auto lines = windows.ListLines(WindowId::Data, LIST1);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], "1\t10:01:00\t05.03.14\t25.0\t-10.0\t25.0\t");
    EXPECT_EQ(lines[1], "2\t10:02:00\t05.03.14\t0.0\t-10.0\t25.0\t");
    EXPECT_EQ(lines[2], "3\t10:03:00\t05.03.14\t-10.0\t-10.0\t25.0\t");
    EXPECT_EQ(lines[3], "4\t10:04:00\t05.03.14\t193.7\t-10.0\t25.0\t");
    EXPECT_TRUE(windows.Messages().empty());

    windows.SetChecked(WindowId::Data, CB_CONVERTER_HORARIO_LOCAL, false);  // Brasília
    EXPECT_EQ(ReadingListLines(BuildImage(spec))[0], "1\t07:01:00\t05.03.14\t25.0\t-10.0\t25.0\t");

    spec.readings.clear();
    EXPECT_TRUE(ReadingListLines(BuildImage(spec)).empty());
}

TEST(ReadingList, AnotherFirmwareIsReportedOnceNotPerReading) {
    RecordingWindowLayer windows;
    ImageSpec spec;
    spec.firmware = "203";
    spec.readings.assign(50, 624);
    WeatherStationViewData(BuildImage(spec));
    const auto messages = windows.Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, MSG_FIRMWARE_NOT_SUPPORTED);
    EXPECT_EQ(messages[0].caption, " ");
    const auto lines = windows.ListLines(WindowId::Data, LIST1);
    ASSERT_EQ(lines.size(), 50u);
    EXPECT_NE(lines[0].find("\t-100000000.0\t"), std::string::npos);
}

TEST(ReadingList, CountBeyondTheImageIsClampedToThe32640ItHolds) {
    RecordingWindowLayer windows;
    MemoryImage image = BuildImage(ImageSpec{});
    image[0] = 0xFF;
    image[1] = 0xFF;
    const auto lines = ReadingListLines(image);
    ASSERT_EQ(lines.size(), 32640u);
    EXPECT_EQ(lines.back().substr(0, 6), "32640\t");
}

TEST(ConfigView, ShowsTheValuesAndTakesTheTwoListsBack) {
    RecordingWindowLayer windows;
    config_values = ConfigValues{};
    config_values.sample_points = 1000;
    config_values.sample_rate = 600;
    config_values.led_cycle = 20;
    config_values.temp_unit = 1;
    config_values.t_low_alarm = 898;
    config_values.t_high_alarm = 624;
    config_values.start_delay = 30;
    config_values.alarm_delay = 600;
    config_values.serial = 1234;
    config_values.flash_alarm = true;
    SetDescription(config_values.descricao, "C\xE2mara");
    windows.SelectPosition(WindowId::Config, CFG_LED_CYCLE, 0);
    WeatherStationViewPar();
    EXPECT_EQ(windows.SelectedPosition(WindowId::Config, CFG_SAMPLE_POINTS), 3);
    EXPECT_EQ(windows.SelectedPosition(WindowId::Config, CFG_SAMPLE_RATE), 6);
    EXPECT_EQ(windows.SelectedPosition(WindowId::Config, CFG_LED_CYCLE), 1);
    EXPECT_EQ(windows.SelectedPosition(WindowId::Config, CFG_TEMP_UNIT), 1);
    EXPECT_TRUE(windows.IsChecked(WindowId::Config, CFG_FLASH_ALARM));
    EXPECT_FALSE(windows.IsChecked(WindowId::Config, CFG_NUVEM));
    EXPECT_EQ(windows.ControlText(WindowId::Config, CFG_TEMP_LOW), "-10.0");
    EXPECT_EQ(windows.ControlText(WindowId::Config, CFG_TEMP_HIGH), "25.0");
    EXPECT_EQ(windows.ControlText(WindowId::Config, CFG_START_DELAY), "30");
    EXPECT_EQ(windows.ControlText(WindowId::Config, CFG_DESCRICAO), "Câmara");
    EXPECT_EQ(windows.ControlText(WindowId::Config, CFG_SERIAL), "1234");

    config_values.led_cycle = 25;  // not listed: the selection stays
    WeatherStationViewPar();
    EXPECT_EQ(windows.SelectedPosition(WindowId::Config, CFG_LED_CYCLE), 1);

    CalcRecTime();
    EXPECT_EQ(windows.ControlText(WindowId::Config, CFG_REC_TIME), "06d 22h 40min");
    windows.SelectPosition(WindowId::Config, CFG_SAMPLE_POINTS, 0);
    windows.SelectPosition(WindowId::Config, CFG_SAMPLE_RATE, 13);  // outside: value stays
    CalcRecTime();
    EXPECT_EQ(config_values.sample_points, 50);
    EXPECT_EQ(config_values.sample_rate, 600);
    EXPECT_EQ(windows.ControlText(WindowId::Config, CFG_REC_TIME), "08h 20min");
}
