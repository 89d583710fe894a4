// The graph's series and the calendar they leave, with and without a window.

#include "logger/graph_series.h"

#include <gtest/gtest.h>

#include "support/image_builder.h"
#include "support/recording_window_layer.h"

namespace {

MemoryImage Ramp(int count, ImageSpec spec = {}) {
    for (int i = 0; i < count; ++i) {
        spec.readings.push_back(500 + i % 400);
    }
    return BuildImage(spec);
}

}  // namespace

TEST(GraphSeries, ScalesFollowTheWindow) {
    RecordingWindowLayer windows;
    GraphData(Ramp(100), 1024, 780);
    EXPECT_EQ(graph_series.scalex, 9);
    EXPECT_EQ(graph_series.scaley, 5);
    EXPECT_EQ(graph_series.datashow1, graph_series.data1);

    GraphData(Ramp(1000), 1820, 800);
    EXPECT_EQ(graph_series.scalex, 5);
    EXPECT_EQ(graph_series.decimation, 3);
    ASSERT_EQ(graph_series.datashow1.size(), 333u);
    const std::vector<int>& t = graph_series.data1;
    EXPECT_EQ(graph_series.datashow1[5], (t[15] + t[16] + t[17]) / 3);
    EXPECT_EQ(graph_series.data2, std::vector<int>(1000, -100));
    EXPECT_EQ(graph_series.datashow3, std::vector<int>(333, 250));
}

TEST(GraphSeries, LeavesTheCalendarOneIntervalAfterTheLastReading) {
    RecordingWindowLayer windows;
    ImageSpec spec;
    // 01.01.2024 02:00 GMT is 31.12.2023 23:00 in Brasília.
    spec.start = {0, 0, 2, 1, 1, 2024};
    spec.sample_rate = 1800;
    GraphData(Ramp(3, spec));
    EXPECT_EQ(graph_series.hour[0], 23 << 16 | 30 << 8);
    EXPECT_EQ(graph_series.date[0], 31 << 16 | 12 << 8 | 23);
    EXPECT_EQ(graph_series.date[1], 1 << 16 | 1 << 8 | 24);
    EXPECT_EQ(cal, (CALENDAR{0, 0, 1, 1, 1, 24}));

    // Without readings the year is two-digit all the same.
    GraphData(BuildImage(spec));
    EXPECT_EQ(cal, (CALENDAR{0, 30, 23, 31, 12, 23}));
    EXPECT_TRUE(graph_series.datashow1.empty());
}

TEST(GraphSeries, WithoutAWindowTheDisplayStaysBounded) {
    RecordingWindowLayer windows;
    ImageSpec spec;
    spec.firmware = "203";  // every temperature refused: sums must not overflow
    MemoryImage image = Ramp(MAX_IMAGE_READINGS, spec);
    image[0] = 0xFF;  // a count past what the image holds
    image[1] = 0xFF;
    GraphData(image);
    EXPECT_EQ(graph_series.graph_points, MAX_IMAGE_READINGS);
    EXPECT_LE(graph_series.datashow1.size(), static_cast<std::size_t>(GRAPH_DISPLAY_MAX));
    ASSERT_FALSE(graph_series.datashow1.empty());
    EXPECT_EQ(graph_series.datashow1[0], TEMP_X10_REFUSED);

    for (const int width : {0, 150, 20000}) {
        GraphData(Ramp(32000), width, 0);
        EXPECT_LE(graph_series.datashow1.size(), static_cast<std::size_t>(GRAPH_DISPLAY_MAX))
            << width;
        EXPECT_GE(graph_series.scaley, 1);
    }
}
