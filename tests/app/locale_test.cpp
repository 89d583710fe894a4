// Under the user's locale every number and date comes out as in the C locale.

#include <gtest/gtest.h>

#include <functional>

#include "app/config_file_commands.h"
#include "app/export_command.h"
#include "app/report_commands.h"
#include "logger/clock.h"
#include "logger/reading_list.h"
#include "support/image_builder.h"
#include "support/locales.h"
#include "support/recording_window_layer.h"
#include "support/temp_dir.h"

namespace {

// Everything the data and configuration windows show and write of one recording.
struct Written {
    std::vector<std::string> list;
    std::string spreadsheet, table, graph, limits, config_file;

    bool operator==(const Written&) const = default;
};

Written WriteEverything(const std::string& folder) {
    RecordingWindowLayer windows;
    windows.open_windows.push_back(WindowId::Data);
    ImageSpec spec;
    spec.start = CALENDAR{5, 4, 10, 3, 3, 2025};
    spec.t_low_ad = HiTempToAD(25);
    spec.t_high_ad = HiTempToAD(85);
    for (int k = 0; k < 600; ++k) {
        spec.readings.push_back(HiTempToAD(k % 120) + (k % 7));
    }
    const MemoryImage image = BuildImage(spec);
    Written out;
    WeatherStationViewData(image, TimeBase::Adjusted);
    out.list = windows.ListLines(WindowId::Data, LIST1);
    const auto saved = [&](const char* name, const std::function<bool()>& save) {
        windows.dialog_path = folder + name;
        EXPECT_TRUE(save()) << name;
        return ReadFileBytes(*windows.dialog_path);
    };
    out.spreadsheet = saved("/planilha.xls", [&] { return ExcelData(WindowId::Data, image); });
    out.table = saved("/tabela.pdf", [&] { return PdfData(WindowId::Data, image); });
    out.graph = saved("/grafico.pdf", [&] { return PdfData_g(WindowId::Data, image); });

    config_values = ConfigFromHeader(image.data());
    WeatherStationViewPar();
    out.limits = windows.ControlText(WindowId::Config, CFG_TEMP_LOW) + " " +
                 windows.ControlText(WindowId::Config, CFG_TEMP_HIGH);
    windows.SetControlText(WindowId::Config, CFG_TEMP_LOW, "2,5");
    windows.SetControlText(WindowId::Config, CFG_TEMP_HIGH, "8.5");
    out.config_file = saved("/config.mcfg", SaveConfigFromConfigWindow);
    return out;
}

}  // namespace

TEST(Locales, EveryWindowReportAndFileIsTheSameAsInTheCLocale) {
    TempWorkingDir dir;
    SetFixedLocalTime(CALENDAR{7, 9, 5, 5, 12, 2026});
    const Written in_c = WriteEverything(dir.path());
    ASSERT_EQ(in_c.list[0], "1\t07:05:05\t03.03.25\t0.0\t2.5\t8.5\t");
    ASSERT_EQ(in_c.limits, "2.5 8.5");
    ASSERT_NE(in_c.spreadsheet.find("\t2,5\t8,5\t"), std::string::npos);
    for (const char* name : kUsersLocales) {
        ScopedLocale locale(name);
        ASSERT_TRUE(locale.Active()) << locale.WhyNot();
        EXPECT_TRUE(WriteEverything(dir.path()) == in_c) << name;
    }
    SetFixedLocalTime(std::nullopt);
}
