#include "logger/calendar.h"

#include <gtest/gtest.h>

#include "logger/time_zone.h"
#include "support/recording_window_layer.h"

namespace {

CALENDAR After(CALENDAR start, int seconds) {
    cal = start;
    CalcDate(0, seconds);
    return cal;
}

}  // namespace

// CALENDAR is {s, m, h, day, month, year}.
TEST(Calendar, RollsOverMonthsYearsAndLeapDaysAndShiftsToBrasilia) {
    EXPECT_EQ(After({50, 59, 23, 28, 2, 2015}, 10), (CALENDAR{0, 0, 0, 1, 3, 2015}));
    EXPECT_EQ(After({50, 59, 23, 28, 2, 2016}, 10), (CALENDAR{0, 0, 0, 29, 2, 2016}));
    EXPECT_EQ(After({50, 59, 23, 28, 2, 2000}, 10), (CALENDAR{0, 0, 0, 29, 2, 2000}));
    EXPECT_EQ(After({50, 59, 23, 28, 2, 2100}, 10), (CALENDAR{0, 0, 0, 1, 3, 2100}));
    EXPECT_EQ(After({59, 59, 23, 31, 12, 2014}, 2), (CALENDAR{1, 0, 0, 1, 1, 2015}));

    const auto shifted = [](CALENDAR start, bool keep_card_time) {
        cal = start;
        ajustaHoraBrasilia(keep_card_time);
        return cal;
    };
    EXPECT_EQ(shifted({0, 30, 1, 1, 3, 2016}, false), (CALENDAR{0, 30, 22, 29, 2, 2016}));
    EXPECT_EQ(shifted({0, 0, 0, 1, 1, 2014}, false), (CALENDAR{0, 0, 21, 31, 12, 2013}));
    EXPECT_EQ(shifted({0, 0, 0, 1, 1, 2014}, true), (CALENDAR{0, 0, 0, 1, 1, 2014}));
    EXPECT_EQ(ajuste_hora, 0);
    cal = CALENDAR{0, 15, 23, 28, 2, 2016};
    ajustaHoraCalcula(25);
    EXPECT_EQ(cal, (CALENDAR{0, 15, 0, 1, 3, 2016}));
}
