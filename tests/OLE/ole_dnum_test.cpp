// Automation date numbers: days since 1899-12-30, time as the fraction.
#include "OLE/ole_dnum.h"

#include <gtest/gtest.h>

#include <cmath>

#include "OLE/ole_check.h"

namespace {
double number_of(const SYSTEMTIME& st) {
    double n = -99999999;
    EXPECT_TRUE(ole_systemtime_to_variant_time(st, &n));
    return n;
}
// The broken-down form of a date number, day of week cleared (checked on
// its own).
SYSTEMTIME time_of(double n) {
    SYSTEMTIME st{};
    EXPECT_TRUE(ole_variant_time_to_systemtime(n, &st)) << n;
    st.wDayOfWeek = 0;
    return st;
}
int weekday_of(double n) {
    SYSTEMTIME st{};
    EXPECT_TRUE(ole_variant_time_to_systemtime(n, &st)) << n;
    return st.wDayOfWeek;
}
}  // namespace

TEST(ole_dnum, KnownDays) {
    EXPECT_EQ(number_of(make_st(1899, 12, 30)), 0.0);
    EXPECT_EQ(number_of(make_st(1899, 12, 31)), 1.0);
    EXPECT_EQ(number_of(make_st(1900, 1, 1)), 2.0);
    EXPECT_EQ(number_of(make_st(1900, 3, 1)), 61.0);  // 1900 is no leap year
    // 2000-01-01: 100 years of 365 days plus 24 leap days (1904..1996; 1900
    // is none), from 1900-01-01 (2): 36524 + 2.
    EXPECT_EQ(number_of(make_st(2000, 1, 1)), 36526.0);
    // 2012-01-05: 12 years with 3 leap days (2000, 2004, 2008), then 4 days.
    EXPECT_EQ(number_of(make_st(2012, 1, 5)), 40913.0);
    EXPECT_EQ(number_of(make_st(2012, 3, 1)), 40969.0);  // 2012 is a leap year: +31+29-4
}

TEST(ole_dnum, TimeIsTheFraction) {
    EXPECT_EQ(number_of(make_st(1899, 12, 30, 12, 0, 0)), 0.5);
    EXPECT_EQ(number_of(make_st(2012, 1, 5, 18, 0, 0)), 40913.75);
    EXPECT_DOUBLE_EQ(number_of(make_st(2012, 1, 5, 0, 0, 1)), 40913.0 + 1.0 / 86400);
    // Milliseconds are ignored.
    EXPECT_EQ(number_of(make_st(2012, 1, 5, 6, 0, 0, 999)), 40913.25);
}

TEST(ole_dnum, BeforeTheEpoch) {
    // The whole part counts backwards, the fraction still adds the time.
    EXPECT_EQ(number_of(make_st(1899, 12, 29)), -1.0);
    EXPECT_EQ(number_of(make_st(1899, 12, 29, 6, 0, 0)), -1.25);
    EXPECT_EQ(number_of(make_st(1899, 12, 28, 18, 0, 0)), -2.75);
    // 1800-01-01 to 1900-01-01: 100 years with 24 leap days = 36524 days,
    // and 1900-01-01 is day 2.
    EXPECT_EQ(number_of(make_st(1800, 1, 1)), -36522.0);
    EXPECT_EQ(number_of(make_st(1800, 1, 1, 12, 0, 0)), -36522.5);
    EXPECT_EQ(time_of(-1.25), make_st(1899, 12, 29, 6, 0, 0));
    EXPECT_EQ(time_of(-36522.5).wHour, 12);
    EXPECT_EQ(time_of(-36522.5).wYear, 1800);
    // -0.5 is the same moment as 0.5 (the epoch day at noon).
    EXPECT_EQ(time_of(-0.5).wDay, 30);
    EXPECT_EQ(time_of(-0.5).wHour, 12);
}

TEST(ole_dnum, RangeAndCarry) {
    EXPECT_EQ(number_of(make_st(100, 1, 1)), -657434.0);
    EXPECT_EQ(number_of(make_st(9999, 12, 31)), 2958465.0);
    double n = 0;
    EXPECT_FALSE(ole_systemtime_to_variant_time(make_st(99, 12, 31), &n));
    EXPECT_FALSE(ole_systemtime_to_variant_time(make_st(10000, 1, 1), &n));
    EXPECT_FALSE(ole_systemtime_to_variant_time(make_st(2012, 13, 1), &n));
    EXPECT_FALSE(ole_systemtime_to_variant_time(make_st(2012, 0, 1), &n));
    EXPECT_FALSE(ole_systemtime_to_variant_time(make_st(2012, 1, 0), &n));
    EXPECT_FALSE(ole_systemtime_to_variant_time(make_st(2012, 1, 32), &n));
    EXPECT_FALSE(ole_systemtime_to_variant_time(make_st(0, 0, 0, 10, 0, 0), &n));
    // Days past the month's end and hours past the day carry over.
    EXPECT_EQ(number_of(make_st(2012, 2, 30)), number_of(make_st(2012, 3, 1)));
    EXPECT_EQ(number_of(make_st(2012, 1, 5, 24, 0, 0)), 40914.0);
    EXPECT_EQ(number_of(make_st(2012, 1, 5, 10, 60, 0)), number_of(make_st(2012, 1, 5, 11, 0, 0)));
    SYSTEMTIME st{};
    EXPECT_FALSE(ole_variant_time_to_systemtime(-657435.0, &st));
    EXPECT_FALSE(ole_variant_time_to_systemtime(2958466.0, &st));
    EXPECT_FALSE(ole_variant_time_to_systemtime(std::nan(""), &st));
}

TEST(ole_dnum, BackToBrokenDown) {
    SYSTEMTIME st = time_of(40913.75);
    EXPECT_EQ(st, make_st(2012, 1, 5, 18, 0, 0));
    // 2012-01-05 was a Thursday; 1899-12-30 a Saturday.
    EXPECT_EQ(weekday_of(40913.75), 4);
    EXPECT_EQ(weekday_of(0), 6);
    EXPECT_EQ(weekday_of(2), 1);   // 1900-01-01, a Monday
    EXPECT_EQ(weekday_of(-1), 5);  // 1899-12-29, a Friday
    // A fraction a hair below midnight rounds to the next day.
    EXPECT_EQ(time_of(0.9999999999), make_st(1899, 12, 31));
    EXPECT_EQ(time_of(2958465.0), make_st(9999, 12, 31));
    // Round trip through every month's first day of a leap year.
    for (int m = 1; m <= 12; ++m) {
        SYSTEMTIME in = make_st(2000, m, 1, 13, 14, 15);
        SYSTEMTIME out = time_of(number_of(in));
        EXPECT_EQ(out, in) << m;
    }
}
