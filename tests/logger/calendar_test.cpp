#include "logger/calendar.h"

#include <gtest/gtest.h>

#include <random>

#include "logger/time_zone.h"
#include "support/recording_window_layer.h"

namespace {

CALENDAR At(unsigned year, int month, int day, int h, int m, int s) {
    CALENDAR c;
    c.year = year;
    c.month = static_cast<unsigned char>(month);
    c.day = static_cast<unsigned char>(day);
    c.h = static_cast<unsigned char>(h);
    c.m = static_cast<unsigned char>(m);
    c.s = static_cast<unsigned char>(s);
    return c;
}

CALENDAR After(CALENDAR start, int seconds) {
    cal = start;
    CalcDate(0, seconds);
    return cal;
}

}  // namespace

TEST(Calendar, RollsOverMonthsYearsAndLeapDays) {
    EXPECT_EQ(After(At(2015, 2, 28, 23, 59, 50), 10), At(2015, 3, 1, 0, 0, 0));
    EXPECT_EQ(After(At(2016, 2, 28, 23, 59, 50), 10), At(2016, 2, 29, 0, 0, 0));
    EXPECT_EQ(After(At(2000, 2, 28, 23, 59, 50), 10), At(2000, 2, 29, 0, 0, 0));
    EXPECT_EQ(After(At(2100, 2, 28, 23, 59, 50), 10), At(2100, 3, 1, 0, 0, 0));
    EXPECT_EQ(After(At(2014, 12, 31, 23, 59, 59), 2), At(2015, 1, 1, 0, 0, 1));
    EXPECT_EQ(diasDoMes(2, 1900), 28);
}

TEST(Calendar, WholeIntervalsMatchOneSecondSteps) {
    std::mt19937 random(20261206);
    const int rates[] = {2, 5, 10, 30, 60, 300, 600, 1800, 3600, 7200, 10800, 21600, 43200, 65535};
    for (int trial = 0; trial < 300; ++trial) {
        CALENDAR start = At(1999 + random() % 203, 1 + random() % 12, 1, random() % 24,
                            random() % 60, random() % 60);
        start.day = static_cast<unsigned char>(1 + random() % diasDoMes(start.month, start.year));
        if (trial % 10 == 0) {
            start.s = static_cast<unsigned char>(random() % 256);  // a corrupt image
            start.month = static_cast<unsigned char>(random() % 256);
        }
        const int rate = rates[random() % std::size(rates)];
        CALENDAR stepped = start;
        cal = start;
        for (int reading = 0; reading < 5; ++reading) {
            for (int k = 0; k < rate; ++k) {
                StepCalendarOneSecond(stepped);
            }
            CalcDate(reading, rate);
            ASSERT_EQ(cal, stepped) << "trial " << trial << " rate " << rate;
        }
    }
}

TEST(Calendar, RecordingTimeText) {
    EXPECT_EQ(RecordingTimeText(32000, 43200), "16000d");
    EXPECT_EQ(RecordingTimeText(50, 2), "01min 40s");
    EXPECT_EQ(RecordingTimeText(2000, 3600), "83d 08h");
    EXPECT_EQ(RecordingTimeText(1, 86405), "01d 05s");
    EXPECT_EQ(RecordingTimeText(0, 600), "");
}

TEST(TimeZone, ShiftsToBrasiliaUnlessTheCardsOwnTimeIsKept) {
    const auto shifted = [](CALENDAR start, bool keep_card_time) {
        cal = start;
        ajustaHoraBrasilia(keep_card_time);
        return cal;
    };
    EXPECT_EQ(shifted(At(2016, 3, 1, 1, 30, 0), false), At(2016, 2, 29, 22, 30, 0));
    EXPECT_EQ(ajuste_hora, -3);
    EXPECT_EQ(shifted(At(2014, 1, 1, 0, 0, 0), false), At(2013, 12, 31, 21, 0, 0));
    EXPECT_EQ(shifted(At(2014, 1, 1, 0, 0, 0), true), At(2014, 1, 1, 0, 0, 0));
    EXPECT_EQ(ajuste_hora, 0);

    cal = At(2016, 2, 28, 23, 15, 0);
    ajustaHoraCalcula(25);
    EXPECT_EQ(cal, At(2016, 3, 1, 0, 15, 0));
}
