#include "logger/reading_list.h"

#include "base/number_text.h"
#include "base/window_layer.h"
#include "logger/cp1252.h"
#include "logger/readings.h"

// Room for the longest line: "32640\t23:59:59\t31.12.99\t-99999999.0\t..." fits.
constexpr std::size_t LINE_CAPACITY = 64;

std::vector<std::string> ReadingListLines(const MemoryImage& image, TimeBase base) {
    TemperatureTexts temps(image, '.');
    const std::string thresholds = temps.ThresholdFields(image);
    std::vector<std::string> lines;
    lines.reserve(ImageReadingCount(image));
    ForEachReading(image, base, [&](int i, int ad) {
        std::string line;
        line.reserve(LINE_CAPACITY);  // one allocation a line, not three as it grows
        AppendReadingRow(line, i + 1, cal, temps.ForAD(ad), thresholds);
        lines.push_back(std::move(line));
    });
    return lines;
}

bool WeatherStationViewData(const MemoryImage& dado_in, TimeBase base) {
    CheckImageFirmware(dado_in, WindowId::Data);
    Windows().AddListLines(WindowId::Data, LIST1, ReadingListLines(dado_in, base));
    return true;
}

std::string ThresholdText(int ad) {
    return FixedText(ADToTemp(ad), 1);
}

static void SelectIfListed(int control_id, int position) {
    if (position >= 0) {
        Windows().SelectPosition(WindowId::Config, control_id, position);
    }
}

bool WeatherStationViewPar() {
    const ConfigValues& v = config_values;
    WindowLayer& w = Windows();
    SelectIfListed(CFG_SAMPLE_POINTS, ListPosition(SAMPLE_POINTS_LIST, v.sample_points));
    SelectIfListed(CFG_SAMPLE_RATE, ListPosition(SAMPLE_RATE_LIST, v.sample_rate));
    SelectIfListed(CFG_LED_CYCLE, ListPosition(LED_CYCLE_LIST, v.led_cycle));
    w.SetChecked(WindowId::Config, CFG_FLASH_ALARM, v.flash_alarm);
    w.SetChecked(WindowId::Config, CFG_NUVEM, v.modo_nuvem);
    if (v.temp_unit <= 1) {
        w.SelectPosition(WindowId::Config, CFG_TEMP_UNIT, v.temp_unit);
    }
    w.SetControlText(WindowId::Config, CFG_TEMP_LOW, ThresholdText(v.t_low_alarm));
    w.SetControlText(WindowId::Config, CFG_TEMP_HIGH, ThresholdText(v.t_high_alarm));
    w.SetControlText(WindowId::Config, CFG_START_DELAY, std::to_string(v.start_delay));
    w.SetControlText(WindowId::Config, CFG_ALARM_DELAY, std::to_string(v.alarm_delay));
    w.SetControlText(WindowId::Config, CFG_DESCRICAO,
                     Cp1252ToUtf8(DescriptionBytes(v.descricao.data())));
    w.SetControlText(WindowId::Config, CFG_SERIAL, std::to_string(v.serial));
    return true;
}

void CalcRecTime() {
    const int points = Windows().SelectedPosition(WindowId::Config, CFG_SAMPLE_POINTS);
    const int rate = Windows().SelectedPosition(WindowId::Config, CFG_SAMPLE_RATE);
    if (points >= 0 && points < static_cast<int>(SAMPLE_POINTS_LIST.size())) {
        config_values.sample_points = SAMPLE_POINTS_LIST[points];
    }
    if (rate >= 0 && rate < static_cast<int>(SAMPLE_RATE_LIST.size())) {
        config_values.sample_rate = SAMPLE_RATE_LIST[rate];
    }
    Windows().SetControlText(
        WindowId::Config, CFG_REC_TIME,
        RecordingTimeText(config_values.sample_points, config_values.sample_rate));
}
