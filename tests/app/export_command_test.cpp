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

// The data window's check box "converter para horário GMT-0" chooses the times of what
// it exports; without the window, Brasília's.
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
    windows.dialog_path = dir.File("t.pdf");
    ASSERT_TRUE(PdfData(WindowId::Data, TwoReadings()));
    EXPECT_NE(ReadFileBytes(dir.File("t.pdf")).find("[(10:01:00)]"), std::string::npos);
    windows.dialog_path = dir.File("g.pdf");
    ASSERT_TRUE(PdfData_g(WindowId::Data, TwoReadings()));
    EXPECT_NE(ReadFileBytes(dir.File("g.pdf")).find("Data/hora (GMT-0)"), std::string::npos);

    windows.SetChecked(WindowId::Data, CB_CONVERTER_HORARIO_LOCAL, false);
    ASSERT_TRUE(PdfData_g(WindowId::Data, TwoReadings()));
    EXPECT_NE(ReadFileBytes(dir.File("g.pdf")).find("Data/hora (GMT -3)"), std::string::npos);
    EXPECT_TRUE(windows.Messages().empty());
}

TEST(ExportCommands, AnotherFirmwareIsToldOnceAndACancelSaysNothing) {
    TempWorkingDir dir;
    RecordingWindowLayer windows;
    ImageSpec spec;
    spec.firmware = "203";
    spec.readings = {600};
    windows.dialog_path = dir.File("t.pdf");
    ASSERT_TRUE(PdfData(WindowId::Data, BuildImage(spec)));
    ASSERT_EQ(windows.Messages().size(), 1u);
    EXPECT_EQ(windows.Messages()[0].text, MSG_FIRMWARE_NOT_SUPPORTED);

    windows.dialog_path.reset();
    EXPECT_FALSE(PdfData_g(WindowId::Data, TwoReadings()));  // cancelled: nothing written or said
    EXPECT_EQ(windows.Messages().size(), 1u);
}
