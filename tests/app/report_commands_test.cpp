#include "app/report_commands.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>

#include "support/image_builder.h"
#include "support/pdf_check.h"
#include "support/recording_window_layer.h"
#include "support/temp_dir.h"

namespace {

// One reading at 4.5 °C, then an hour at -0.5 °C, a minute apart from 10:00 GMT-0.
MemoryImage FrozenHour() {
    ImageSpec spec;
    spec.start = CALENDAR{0, 0, 10, 3, 3, 2025};
    spec.t_low_ad = HiTempToAD(20);
    spec.t_high_ad = HiTempToAD(80);
    spec.readings = {HiTempToAD(45)};
    spec.readings.insert(spec.readings.end(), 60, LoTempToAD(-5));
    return BuildImage(spec);
}

}  // namespace

// "Resumo (PDF)": the chosen profile judges, the window's check box chooses the times.
TEST(ReportCommands, TheResumoIsJudgedByTheChosenProfileWithTheWindowsTimes) {
    TempWorkingDir dir;
    RecordingWindowLayer windows;
    windows.dialog_path = dir.File("resumo.pdf");
    ASSERT_TRUE(PdfSummary(WindowId::Data, FrozenHour(), "oms-30dtr"));
    std::string page = ReadFileBytes(dir.File("resumo.pdf"));
    EXPECT_TRUE(Has(page, "perfil oms-30dtr")) << page;
    EXPECT_TRUE(Has(page, "03/03/2025 07:01:00"));

    windows.open_windows.push_back(WindowId::Data);
    windows.SetChecked(WindowId::Data, CB_CONVERTER_HORARIO_LOCAL, true);
    ASSERT_TRUE(PdfSummary(WindowId::Data, FrozenHour(), "usp-crt"));
    page = ReadFileBytes(dir.File("resumo.pdf"));
    EXPECT_FALSE(Has(page, "REPROVAD"));
    EXPECT_TRUE(Has(page, "03/03/2025 10:01:00"));
}

TEST(ReportCommands, AResumoWithoutItsProfileOrFileWritesNothing) {
    TempWorkingDir dir;
    setenv("XDG_CONFIG_HOME", dir.File("config").c_str(), 1);
    RecordingWindowLayer windows;
    windows.dialog_path = dir.File("resumo.pdf");
    EXPECT_FALSE(PdfSummary(WindowId::Data, FrozenHour(), "sumido"));
    EXPECT_EQ(windows.Messages().size(), 1u);
    EXPECT_FALSE(std::filesystem::exists(dir.File("resumo.pdf")));
    unsetenv("XDG_CONFIG_HOME");
}
