#include "base/number_text.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "support/locales.h"

TEST(NumberText, FixedTextRoundsAsPrintfInTheCLocale) {
    for (double value : {0.0, -0.04, 0.05, 0.15, 2.25, -2.35, 25.0, 193.75, -1e8, 1e300}) {
        for (int decimals : {1, 2}) {
            char expected[400];
            std::snprintf(expected, sizeof expected, "%.*f", decimals, value);
            EXPECT_EQ(FixedText(value, decimals), expected) << value;
        }
    }
}

TEST(NumberText, ParsesCommaOrPointAndRefusesAnythingElse) {
    EXPECT_EQ(ParseDecimal("2,5", 1), 2.5);
    EXPECT_EQ(ParseDecimal(" -10 ", 1), -10.0);
    for (const char* text : {"", "-", "xyz", "2.55", "2,", ",5", "2.5.1", "1e5", "+2", "2 5",
                             "2.5x", "0x10", "--1", "nan", "inf"}) {
        EXPECT_FALSE(ParseDecimal(text, 1).has_value()) << text;
    }
    EXPECT_EQ(ParseWholeNumber("65535", 5), 65535);
    for (const char* text : {"", "-5", "123456", "1a", "1.0", "+3"}) {
        EXPECT_FALSE(ParseWholeNumber(text, 5).has_value()) << text;
    }
}

// What a Qt program does from the user's environment must not change a number.
TEST(NumberText, TheSameInTheUsersLocales) {
    for (const char* name : kUsersLocales) {
        ScopedLocale locale(name);
        ASSERT_TRUE(locale.Active()) << locale.WhyNot();
        char printed[16];
        std::snprintf(printed, sizeof printed, "%.1f", 2.5);
        EXPECT_STREQ(printed, "2,5") << "the locale is not in effect";
        EXPECT_EQ(FixedText(2.5, 1), "2.5") << name;
        EXPECT_EQ(ParseDecimal("2.5", 1), 2.5) << name;
    }
}
