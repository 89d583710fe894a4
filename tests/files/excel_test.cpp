#include "files/excel.h"

#include <gtest/gtest.h>

#include "support/image_builder.h"
#include "support/recording_window_layer.h"
#include "support/temp_dir.h"

TEST(Spreadsheet, WritesTheExactBytes) {
    TempWorkingDir dir;
    RecordingWindowLayer windows;  // no data window: Brasília time
    ImageSpec spec;
    spec.start = CALENDAR{0, 0, 10, 3, 3, 2025};
    spec.sample_rate = 60;
    spec.t_low_ad = HiTempToAD(20);
    spec.t_high_ad = HiTempToAD(80);
    spec.readings = {HiTempToAD(45), LoTempToAD(-5), HiTempToAD(50)};
    windows.dialog_path = dir.File("out.xls");
    ASSERT_TRUE(ExcelData(WindowId::Data, BuildImage(spec)));
    EXPECT_EQ(windows.dialog_filters.back().default_extension, "xls");
    EXPECT_EQ(ReadFileBytes(dir.File("out.xls")),
              "0\t07:01:00\t03.03.25\t4,5\t2,0\t8,0\t\n"
              "1\t07:02:00\t03.03.25\t-0,5\t2,0\t8,0\t\n"
              "2\t07:03:00\t03.03.25\t5,0\t2,0\t8,0\t\n");
    EXPECT_TRUE(windows.Messages().empty());

    windows.dialog_path.reset();
    EXPECT_FALSE(ExcelData(WindowId::Data, BuildImage(spec)));

    spec.readings.clear();
    EXPECT_EQ(ExcelText(BuildImage(spec)), "");
}

TEST(Spreadsheet, FullImageHasOneLinePerReading) {
    RecordingWindowLayer windows;
    MemoryImage image = BuildImage(ImageSpec{});
    image[0] = 0x7F;
    image[1] = 0x80;  // 32640
    const std::string text = ExcelText(image);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 32640);
    EXPECT_EQ(text.find('\r'), std::string::npos);
    EXPECT_EQ(text.substr(text.rfind('\n', text.size() - 2) + 1, 6), "32639\t");
}
