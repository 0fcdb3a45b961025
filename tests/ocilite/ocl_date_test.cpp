#include "ocilite/ocl_date.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>

namespace {

int parse(const std::string& s, ocl_datetime* d) {
    return ocl_date_parse(s.data(), s.size(), d);
}

std::array<int, 7> bytes_of(const std::string& s) {
    ocl_datetime d;
    EXPECT_EQ(parse(s, &d), 0) << s;
    unsigned char b[7];
    ocl_date_encode(d, b);
    return {b[0], b[1], b[2], b[3], b[4], b[5], b[6]};
}

}  // namespace

TEST(ocl_date, EncodesTheSevenByteLayout) {
    // 15 March 2012 13:45:30: century 20+100, year 12+100, hour/minute/second + 1
    EXPECT_EQ(bytes_of("2012-03-15 13:45:30"), (std::array<int, 7>{120, 112, 3, 15, 14, 46, 31}));
    // Midnight stores ones, not zeros.
    EXPECT_EQ(bytes_of("2000-01-01 00:00:00"), (std::array<int, 7>{120, 100, 1, 1, 1, 1, 1}));
    EXPECT_EQ(bytes_of("9999-12-31 23:59:59"), (std::array<int, 7>{199, 199, 12, 31, 24, 60, 60}));
}

TEST(ocl_date, YearsBefore1900AndBeforeTheEra) {
    EXPECT_EQ(bytes_of("1812-09-07 10:00:00"), (std::array<int, 7>{118, 112, 9, 7, 11, 1, 1}));
    EXPECT_EQ(bytes_of("0001-01-01 00:00:00"), (std::array<int, 7>{100, 101, 1, 1, 1, 1, 1}));
    // The year 0000 is taken and stored with both year bytes at 100.
    EXPECT_EQ(bytes_of("0000-06-15 12:00:00"), (std::array<int, 7>{100, 100, 6, 15, 13, 1, 1}));
    // 44 BC: the century and year bytes count down from 100.
    EXPECT_EQ(bytes_of("-0044-03-15 12:00:00"), (std::array<int, 7>{100, 56, 3, 15, 13, 1, 1}));
    // 4712 BC is the first year the server has.
    EXPECT_EQ(bytes_of("-4712-01-01"), (std::array<int, 7>{53, 88, 1, 1, 1, 1, 1}));
    ocl_datetime d;
    EXPECT_EQ(parse("-4713-01-01", &d), 1841);
}

TEST(ocl_date, AcceptsTheShapesSQLiteWrites) {
    ocl_datetime d;
    ASSERT_EQ(parse("2012-03-15", &d), 0);
    EXPECT_EQ(d.hour, 0);
    ASSERT_EQ(parse("2012-03-15T13:45", &d), 0);
    EXPECT_EQ(d.minute, 45);
    EXPECT_EQ(d.second, 0);
    ASSERT_EQ(parse("2012-03-15 13:45:30.250", &d), 0);
    EXPECT_EQ(d.nanos, 250000000);
    ASSERT_EQ(parse("2012-03-15 13:45:30.123456789Z", &d), 0);
    EXPECT_EQ(d.nanos, 123456789);
    ASSERT_EQ(parse("  2012-03-15 13:45:30 +02:00 ", &d), 0);
    EXPECT_EQ(d.hour, 13);  // the zone is ignored, not applied
    ASSERT_EQ(parse("2012-03-15 13:45:30-0500", &d), 0);
    EXPECT_EQ(d.second, 30);
}

TEST(ocl_date, RejectsWithTheServersErrorNumbers) {
    ocl_datetime d;
    EXPECT_EQ(parse("15-MAR-12", &d), 1861);
    EXPECT_EQ(parse("2012/03/15", &d), 1861);
    EXPECT_EQ(parse("2012-03-15 13", &d), 1861);
    EXPECT_EQ(parse("2012-03-15 13:45:30.", &d), 1861);
    EXPECT_EQ(parse("2012-03-15 junk", &d), 1861);
    EXPECT_EQ(parse("", &d), 1861);
    EXPECT_EQ(parse("2012-13-01", &d), 1843);
    EXPECT_EQ(parse("2012-00-01", &d), 1843);
    EXPECT_EQ(parse("2011-02-29", &d), 1847);
    EXPECT_EQ(parse("2012-04-31", &d), 1847);
    EXPECT_EQ(parse("2012-03-15 24:00:00", &d), 1850);
    EXPECT_EQ(parse("2012-03-15 23:60:00", &d), 1851);
    EXPECT_EQ(parse("2012-03-15 23:59:60", &d), 1852);
}

TEST(ocl_date, LeapYearsFollowTheServersCalendars) {
    ocl_datetime d;
    EXPECT_EQ(parse("2000-02-29", &d), 0);
    EXPECT_EQ(parse("1900-02-29", &d), 1847);  // Gregorian: not a leap year
    EXPECT_EQ(parse("1500-02-29", &d), 0);     // Julian before 1583: a leap year
}
