// The simulated card's default recording: a week of cold-room readings with two excursions.

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "simcard/refrigerator_recording.h"

namespace {

struct Excursion {
    int first;   // reading index
    int length;  // readings
};

// Runs of consecutive readings whose temperature satisfies `outside`.
template <typename Outside>
std::vector<Excursion> ExcursionsWhere(const MemoryImage& memory, Outside outside) {
    std::vector<Excursion> runs;
    for (int i = 0; i < ImageReadingCount(memory); ++i) {
        if (!outside(ADToTemp_x10(ReadingAD(memory, i)))) {
            continue;
        }
        if (!runs.empty() && runs.back().first + runs.back().length == i) {
            ++runs.back().length;
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
    EXPECT_EQ(BigEndian16(&memory[OFF_SAMPLE_POINTS]), 4000);

    const ConfigValues config = ConfigFromHeader(memory.data());
    EXPECT_EQ(ADToTemp_x10(config.t_low_alarm), 20);
    EXPECT_EQ(ADToTemp_x10(config.t_high_alarm), 80);
    EXPECT_EQ(config.alarm_delay, 600);
    EXPECT_EQ(config.serial, 1234);
    EXPECT_EQ(DescriptionBytes(config.descricao.data()), "Camara fria 01");
    EXPECT_FALSE(config.modo_nuvem);
    EXPECT_EQ(ImageStartTime(memory), (CALENDAR{0, 0, 8, 2, 6, 2025}));
    EXPECT_FALSE(ImageNeverStarted(memory));
    EXPECT_EQ(std::memcmp(&memory[OFF_FIRMWARE], "103", 3), 0);

    const std::vector<Excursion> warm = ExcursionsWhere(memory, [](int t) { return t > 80; });
    ASSERT_EQ(warm.size(), 1u);
    EXPECT_EQ(warm[0].length * 300, 3600);  // about an hour
    EXPECT_EQ((warm[0].first + 1) * 300L, WARM_EXCURSION_START_S);

    const std::vector<Excursion> cold = ExcursionsWhere(memory, [](int t) { return t < 20; });
    ASSERT_EQ(cold.size(), 1u);
    EXPECT_EQ(cold[0].length, 3);  // a quarter of an hour
    EXPECT_EQ((cold[0].first + 1) * 300L, COLD_DIP_START_S);

    // Between the excursions the room stays well inside its band.
    const std::vector<Excursion> near_edges =
        ExcursionsWhere(memory, [](int t) { return (t >= 20 && t < 30) || (t > 70 && t <= 80); });
    EXPECT_TRUE(near_edges.empty());

    // The same every time.
    EXPECT_EQ(memory, BuildDefaultRecording(DEFAULT_READINGS, DEFAULT_INTERVAL_S));
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
