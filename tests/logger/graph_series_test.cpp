// The graph's series and the calendar they leave, with and without a window.

#include "logger/graph_series.h"

#include <gtest/gtest.h>

#include "support/image_builder.h"
#include "support/recording_window_layer.h"

TEST(GraphSeries, LeavesATwoDigitYearAndStaysBoundedWithoutAWindow) {
    RecordingWindowLayer windows;
    // 01.01.2024 02:00 GMT is 31.12.2023 23:00 in Brasília; cal ends an interval on.
    ImageSpec spec{.start = {0, 0, 2, 1, 1, 2024}, .sample_rate = 1800};
    GraphData(BuildImage(spec));
    EXPECT_EQ(cal, (CALENDAR{0, 30, 23, 31, 12, 23}));
    spec.readings = {500, 600, 700};
    GraphData(BuildImage(spec));
    EXPECT_EQ(cal, (CALENDAR{0, 0, 1, 1, 1, 24}));

    spec.firmware = "203";  // every temperature refused: sums must not overflow
    spec.readings.assign(MAX_IMAGE_READINGS, 500);
    MemoryImage image = BuildImage(spec);
    PutBigEndian16(&image[OFF_LOG_COUNT], 0xFFFF);  // a count past what the image holds
    for (const int width : {150, 20000, 0}) {
        GraphData(image, width, 0);
        EXPECT_LE(graph_series.datashow1.size(), static_cast<std::size_t>(GRAPH_DISPLAY_MAX))
            << width;
        EXPECT_GE(graph_series.scaley, 1);
    }
    EXPECT_EQ(graph_series.graph_points, MAX_IMAGE_READINGS);
    EXPECT_EQ(graph_series.datashow1.at(0), TEMP_X10_REFUSED);
}
