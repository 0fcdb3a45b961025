// ole_date: the text cascade, validity, refinement and canonical text.
#include "OLE/ole_date.h"

#include <gtest/gtest.h>

#include "OLE/ole_check.h"

namespace {
std::string canonical(const char* text) {
    return ole_date(text).to_string();
}
}  // namespace

TEST(ole_date, Timestamps) {
    ole_date a("20120105103000");
    EXPECT_EQ(a.kind(), ole_date::k_date_time);
    EXPECT_EQ(a.value(), make_st(2012, 1, 5, 10, 30, 0));
    EXPECT_EQ(a.to_string(), "2012-01-05 10:30:00");
    ole_date b("20120105");
    EXPECT_EQ(b.kind(), ole_date::k_date);
    EXPECT_EQ(b.to_string(), "2012-01-05");
    EXPECT_EQ(canonical("  20120105  "), "2012-01-05");  // blanks trimmed first
    EXPECT_EQ(canonical("20121305"), "");                // month 13
    EXPECT_EQ(canonical("20120105106100"), "");          // minute 61
    // Hour, minute and second are only held to 60, and this form does no
    // carrying.
    EXPECT_EQ(canonical("20120105256000"), "2012-01-05 25:60:00");
}

TEST(ole_date, PureTimesAndMilliseconds) {
    ole_date t("10:30:15.7");
    EXPECT_EQ(t.kind(), ole_date::k_time);
    EXPECT_EQ(t.value().wHour, 10);
    EXPECT_EQ(t.value().wMinute, 30);
    EXPECT_EQ(t.value().wSecond, 16);  // .7 rounds the second up
    EXPECT_GE(t.value().wMilliseconds, 699);
    EXPECT_LE(t.value().wMilliseconds, 700);  // the field keeps its value
    EXPECT_EQ(t.to_string(), "0000-00-00 10:30:16");
    EXPECT_EQ(canonical("10:30:15.4"), "0000-00-00 10:30:15");
    EXPECT_EQ(canonical("10:30:15.5"), "0000-00-00 10:30:16");
    // The carry runs through minutes and hours and wraps at midnight.
    ole_date m("23:59:59.6");
    EXPECT_EQ(m.kind(), ole_date::k_time);
    EXPECT_EQ(m.to_string(), "0000-00-00 00:00:00");
    EXPECT_EQ(canonical("1:2:3"), "0000-00-00 01:02:03");
    // Hours up to 60 pass the check; 24:60 carries to 01:00.
    EXPECT_EQ(canonical("24:60:00"), "0000-00-00 01:00:00");
    ole_date bad("24:61:00");
    EXPECT_EQ(bad.kind(), ole_date::k_invalid);
    EXPECT_EQ(bad.to_string(), "");
}

TEST(ole_date, DelimitedDates) {
    EXPECT_EQ(canonical("2012-01-05"), "2012-01-05");
    EXPECT_EQ(canonical("2012/01/05"), "2012-01-05");
    EXPECT_EQ(canonical("2012.1.5"), "2012-01-05");
    EXPECT_EQ(canonical("2012-01-05 10:30:15"), "2012-01-05 10:30:15");
    EXPECT_EQ(canonical("2012/01/05 10:30:15"), "2012-01-05 10:30:15");
    EXPECT_EQ(canonical("2012-01-05 10:30:59.5"), "2012-01-05 10:31:00");
    // The carry never reaches the day; midnight then makes it a date.
    ole_date late("2012-01-05 23:59:59.9");
    EXPECT_EQ(late.kind(), ole_date::k_date);
    EXPECT_EQ(late.to_string(), "2012-01-05");
    // Two-digit years stay as they are.
    EXPECT_EQ(canonical("12-01-05"), "0012-01-05");
    // Day checks go no further than 31.
    EXPECT_EQ(canonical("2012-02-30"), "2012-02-30");
    // Five numbers are no format.
    EXPECT_EQ(canonical("2012-01-05 10:30"), "");
}

TEST(ole_date, MidnightIsWrittenAsDate) {
    ole_date d("2012-01-05 00:00:00");
    EXPECT_EQ(d.kind(), ole_date::k_date);
    EXPECT_EQ(d.to_string(), "2012-01-05");
    // The 14-digit form is not refined, so omit_midnight decides.
    ole_date t("20120105000000");
    EXPECT_EQ(t.kind(), ole_date::k_date_time);
    EXPECT_TRUE(t.omit_midnight());
    EXPECT_EQ(t.to_string(), "2012-01-05");
    t.set_omit_midnight(false);
    EXPECT_EQ(t.to_string(), "2012-01-05 00:00:00");
    EXPECT_EQ(t.to_wstring(), u"2012-01-05 00:00:00");
}

TEST(ole_date, DayFirstTextsAreSwapped) {
    ole_date d("05.01.2012 10:00:00");
    EXPECT_EQ(d.kind(), ole_date::k_date_time);
    EXPECT_EQ(d.value(), make_st(2012, 1, 5, 10, 0, 0));
    EXPECT_EQ(d.to_string(), "2012-01-05 10:00:00");
    EXPECT_EQ(canonical("05-01-2012"), "2012-01-05");
    EXPECT_EQ(canonical("31/12/2012"), "2012-12-31");
    // Day and year both above 31: invalid.
    EXPECT_EQ(canonical("32-12-2012"), "");
    // The swap only looks at day > 31 with year < 32.
    EXPECT_EQ(canonical("2012-01-31"), "2012-01-31");
}

TEST(ole_date, AmPm) {
    EXPECT_EQ(canonical("03:15:00 PM"), "0000-00-00 15:15:00");
    EXPECT_EQ(canonical("03:15:00 pm"), "0000-00-00 15:15:00");
    EXPECT_EQ(canonical("12:15:00 PM"), "0000-00-00 12:15:00");
    EXPECT_EQ(canonical("12:15:00 AM"), "0000-00-00 12:15:00");
    EXPECT_EQ(canonical("03:15:00 AM"), "0000-00-00 03:15:00");
    EXPECT_EQ(canonical("2012-01-05 03:15:00 PM"), "2012-01-05 15:15:00");
    // Cut to four characters: invalid.
    ole_date s("3:15 PM");
    EXPECT_EQ(s.kind(), ole_date::k_invalid);
    EXPECT_EQ(s.to_string(), "");
}

TEST(ole_date, InvalidTexts) {
    EXPECT_EQ(ole_date("2012-13-01").kind(), ole_date::k_invalid);
    EXPECT_EQ(ole_date("2012-00-01").kind(), ole_date::k_invalid);
    EXPECT_EQ(ole_date("2012-01-00").kind(), ole_date::k_invalid);
    EXPECT_EQ(ole_date("0-01-05").kind(), ole_date::k_invalid);  // year 0
    EXPECT_EQ(ole_date("1999").kind(), ole_date::k_invalid);
    EXPECT_EQ(ole_date("").kind(), ole_date::k_invalid);
    EXPECT_EQ(ole_date(static_cast<const char*>(nullptr)).kind(), ole_date::k_invalid);
    EXPECT_EQ(ole_date("hello world").kind(), ole_date::k_invalid);
    EXPECT_EQ(ole_date("2012-01-05 61:00:00").kind(), ole_date::k_invalid);
}

TEST(ole_date, WideText) {
    ole_date d(std::u16string_view(u"2012-01-05 10:30:00"));
    EXPECT_EQ(d.value(), make_st(2012, 1, 5, 10, 30, 0));
    EXPECT_EQ(d.to_wstring(), u"2012-01-05 10:30:00");
}

TEST(ole_date, FromSystemtime) {
    EXPECT_EQ(ole_date(make_st(2012, 1, 5, 10, 30, 0)).kind(), ole_date::k_date_time);
    EXPECT_EQ(ole_date(make_st(2012, 1, 5)).kind(), ole_date::k_date);
    EXPECT_EQ(ole_date(make_st(0, 0, 0, 1, 0, 0)).kind(), ole_date::k_time);
    EXPECT_EQ(ole_date(make_st(0, 0, 0)).kind(), ole_date::k_time);
    // A date with a month but no day stays date-and-time.
    EXPECT_EQ(ole_date(make_st(2012, 1, 0)).kind(), ole_date::k_date_time);
}

TEST(ole_date, Validity) {
    ole_date d(make_st(5, 1, 2012));  // day 2012, year 5: passes, parsing would swap
    EXPECT_TRUE(d.is_valid());
    ole_date both(make_st(40, 1, 40));
    EXPECT_FALSE(both.is_valid());
    ole_date time(make_st(0, 0, 0, 60, 60, 60));
    EXPECT_TRUE(time.is_valid());
    ole_date over(make_st(0, 0, 0, 0, 0, 61));
    EXPECT_FALSE(over.is_valid());
    ole_date month(make_st(2012, 13, 1));
    EXPECT_FALSE(month.is_valid());
}

TEST(ole_date, NullSecondsIsAnInternalError) {
    ole_date d(make_st(2012, 1, 5));
    // "ole_date\356" as hex codes.
    expect_assertion([&] { d.process_milliseconds(nullptr); }, "6f6c655f646174655c333536");
}

TEST(ole_date, ProcessMilliseconds) {
    ole_date d(make_st(2012, 1, 5, 22, 59, 0));
    d.process_milliseconds("59.5");
    EXPECT_EQ(d.value().wHour, 23);
    EXPECT_EQ(d.value().wMinute, 0);
    EXPECT_EQ(d.value().wSecond, 0);
    EXPECT_EQ(d.value().wMilliseconds, 500);
    EXPECT_EQ(d.value().wDay, 5);
    d.process_milliseconds("abc");
    EXPECT_EQ(d.value().wSecond, 0);
    EXPECT_EQ(d.value().wMilliseconds, 0);
    d.process_milliseconds("7.25xyz");
    EXPECT_EQ(d.value().wSecond, 7);
    EXPECT_EQ(d.value().wMilliseconds, 250);
}
