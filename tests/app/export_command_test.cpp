#include "app/export_command.h"

#include <gtest/gtest.h>

#include "app/report_commands.h"
#include "support/image_builder.h"
#include "support/recording_window_layer.h"
#include "support/temp_dir.h"

namespace {

MemoryImage TwoReadings() {
    ImageSpec spec;
    spec.start = CALENDAR{0, 0, 10, 3, 3, 2025};
    spec.t_low_ad = HiTempToAD(20);
    spec.t_high_ad = HiTempToAD(80);
    spec.readings = {HiTempToAD(45), LoTempToAD(-5)};
    return BuildImage(spec);
}

}  // namespace

// The data window's GMT-0 check box chooses the times; without the window, Brasília's.
TEST(ExportCommands, TheDataWindowsCheckBoxChoosesTheTimes) {
    TempWorkingDir dir;
    RecordingWindowLayer windows;
    windows.dialog_path = dir.File("out.xls");
    ASSERT_TRUE(ExcelData(WindowId::Data, TwoReadings()));
    EXPECT_EQ(ReadFileBytes(dir.File("out.xls")).substr(0, 11), "0\t07:01:00\t");

    windows.open_windows.push_back(WindowId::Data);
    windows.SetChecked(WindowId::Data, CB_CONVERTER_HORARIO_LOCAL, true);
    ASSERT_TRUE(ExcelData(WindowId::Data, TwoReadings()));
    EXPECT_EQ(ReadFileBytes(dir.File("out.xls")).substr(0, 11), "0\t10:01:00\t");
    windows.dialog_path = dir.File("g.pdf");
    ASSERT_TRUE(PdfData_g(WindowId::Data, TwoReadings()));
    EXPECT_NE(ReadFileBytes(dir.File("g.pdf")).find("Data/hora (GMT-0)"), std::string::npos);
}
