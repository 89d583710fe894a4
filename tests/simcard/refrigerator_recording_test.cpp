// The simulated card's default recording: a week of cold-room readings with two excursions.

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "simcard/refrigerator_recording.h"

namespace {

// Runs of consecutive readings whose temperature satisfies `outside`: first index, length.
template <typename Outside>
std::vector<std::pair<int, int>> Runs(const MemoryImage& memory, Outside outside) {
    std::vector<std::pair<int, int>> runs;
    for (int i = 0; i < ImageReadingCount(memory); ++i) {
        if (!outside(ADToTemp_x10(ReadingAD(memory, i)))) {
            continue;
        }
        if (!runs.empty() && runs.back().first + runs.back().second == i) {
            ++runs.back().second;
        } else {
            runs.push_back({i, 1});
        }
    }
    return runs;
}

}  // namespace

TEST(RefrigeratorRecording, WeekAtFiveMinutesWithOneWarmHourAndOneShortDip) {
    const MemoryImage memory = BuildDefaultRecording(DEFAULT_READINGS, DEFAULT_INTERVAL_S);
    ASSERT_EQ(ImageReadingCount(memory), 2016);
    EXPECT_EQ(ImageSampleRate(memory), 300);
    // The excursions are the alarms of the 2.0/8.0 thresholds.
    const ConfigValues config = ConfigFromHeader(memory.data());
    EXPECT_EQ(ADToTemp_x10(config.t_low_alarm), 20);
    EXPECT_EQ(ADToTemp_x10(config.t_high_alarm), 80);

    // About an hour warm, a quarter of an hour cold, well inside the band in between.
    const auto warm = Runs(memory, [](int t) { return t > 80; });
    ASSERT_EQ(warm.size(), 1u);
    EXPECT_EQ(warm[0].second * 300, 3600);
    EXPECT_EQ((warm[0].first + 1) * 300L, WARM_EXCURSION_START_S);
    const auto cold = Runs(memory, [](int t) { return t < 20; });
    ASSERT_EQ(cold.size(), 1u);
    EXPECT_EQ(cold[0].second, 3);
    EXPECT_EQ((cold[0].first + 1) * 300L, COLD_DIP_START_S);
    EXPECT_TRUE(
        Runs(memory, [](int t) { return (t >= 20 && t < 30) || (t > 70 && t <= 80); }).empty());

    EXPECT_EQ(memory, BuildDefaultRecording(DEFAULT_READINGS, DEFAULT_INTERVAL_S));  // the same
}

TEST(RefrigeratorRecording, CountsAndIntervalsAtTheEdgesOfTheMemory) {
    const MemoryImage empty = BuildDefaultRecording(0, 60);
    EXPECT_EQ(ImageReadingCount(empty), 0);
    EXPECT_EQ(BigEndian16(&empty[OFF_SAMPLE_POINTS]), 50);
    EXPECT_EQ(empty[HEADER_SIZE], 0xFF);  // erased, not readings

    const MemoryImage full = BuildDefaultRecording(MAX_IMAGE_READINGS, 2);
    EXPECT_EQ(ImageReadingCount(full), MAX_IMAGE_READINGS);
    EXPECT_NE(ReadingAD(full, MAX_IMAGE_READINGS - 1), 0xFFFF);

    // A count beyond what the memory holds stays in the header as the card reports it.
    const MemoryImage beyond = BuildDefaultRecording(40000, 2);
    EXPECT_EQ(BigEndian16(&beyond[OFF_LOG_COUNT]), 40000);
    EXPECT_EQ(BigEndian16(&beyond[OFF_SAMPLE_POINTS]), 32000);
    EXPECT_EQ(ImageReadingCount(beyond), MAX_IMAGE_READINGS);
    EXPECT_EQ(BigEndian16(&BuildDefaultRecording(70000, 2)[OFF_LOG_COUNT]), 0xFFFF);
}
