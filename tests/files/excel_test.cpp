#include "files/excel.h"

#include <gtest/gtest.h>

#include "support/image_builder.h"
#include "support/temp_dir.h"

TEST(Spreadsheet, WritesTheExactBytes) {
    TempWorkingDir dir;
    ImageSpec spec;
    spec.start = CALENDAR{0, 0, 10, 3, 3, 2025};
    spec.t_low_ad = HiTempToAD(20);
    spec.t_high_ad = HiTempToAD(80);
    spec.readings = {HiTempToAD(45), LoTempToAD(-5)};
    std::string reason;
    ASSERT_TRUE(WriteExcelFile(dir.File("out.xls"), BuildImage(spec), TimeBase::Adjusted, &reason));
    EXPECT_EQ(ReadFileBytes(dir.File("out.xls")),
              "0\t07:01:00\t03.03.25\t4,5\t2,0\t8,0\t\n"
              "1\t07:02:00\t03.03.25\t-0,5\t2,0\t8,0\t\n");
    EXPECT_FALSE(
        WriteExcelFile(dir.File("gone/out.xls"), BuildImage(spec), TimeBase::Gmt, &reason));
    EXPECT_NE(reason, "");

    MemoryImage full = BuildImage(spec);
    PutBigEndian16(&full[OFF_LOG_COUNT], 32640);
    const std::string text = ExcelText(full, TimeBase::Adjusted);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 32640);
    EXPECT_EQ(text.substr(text.rfind('\n', text.size() - 2) + 1, 6), "32639\t");
}
