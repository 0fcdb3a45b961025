#include "ocilite/ocl_num.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>

#include "support/de_locale.h"

namespace {

std::string real(double v) {
    char buf[ocl_num_max];
    size_t n = ocl_num_format_real(v, buf);
    EXPECT_EQ(n, std::string(buf).size());
    return buf;
}

std::string integer(long long v) {
    char buf[ocl_num_max];
    size_t n = ocl_num_format_int(v, buf);
    EXPECT_EQ(n, std::string(buf).size());
    return buf;
}

}  // namespace

TEST(ocl_num, FormatsLikeTheServersDefaultConversion) {
    EXPECT_EQ(real(0.5), ".5");
    EXPECT_EQ(real(-0.5), "-.5");
    EXPECT_EQ(real(1234.5), "1234.5");
    EXPECT_EQ(real(12345678.9), "12345678.9");
    EXPECT_EQ(real(3.0), "3");
    EXPECT_EQ(real(0.0), "0");
    EXPECT_EQ(real(-0.0), "0");
    EXPECT_EQ(real(0.1), ".1");  // the shortest text that reads back, not .1000000000000000055
    EXPECT_EQ(real(-1.5e-7), "-.00000015");
    EXPECT_EQ(real(1e20), "100000000000000000000");
    EXPECT_EQ(integer(-9223372036854775807LL - 1), "-9223372036854775808");
    EXPECT_EQ(integer(5000000000LL), "5000000000");
}

TEST(ocl_num, SwitchesToAnExponentPast64Characters) {
    EXPECT_EQ(real(1e100), "1E+100");
    EXPECT_EQ(real(-2.5e-100), "-2.5E-100");
    // 1e63 still fits the plain form (64 digits).
    EXPECT_EQ(real(1e63).size(), 64u);
    EXPECT_EQ(real(std::numeric_limits<double>::infinity()), "~");
    EXPECT_EQ(real(-std::numeric_limits<double>::infinity()), "-~");
}

TEST(ocl_num, FormattedTextReadsBackExactly) {
    const double values[] = {
        1.0 / 3,  2.0 / 3,       123456.789e-12, 9007199254740993.0, 1.7976931348623157e308,
        4.9e-324, -6.02214076e23};
    for (double v : values) {
        std::string t = real(v);
        EXPECT_EQ(std::strtod(t.c_str(), nullptr), v) << t;
    }
}

TEST(ocl_num, ParsesNumberTextStrictly) {
    double v = 0;
    bool is_int = false;
    long long iv = 0;
    auto parse = [&](const std::string& s) {
        return ocl_num_parse(s.data(), s.size(), &v, &is_int, &iv);
    };
    ASSERT_TRUE(parse("  42 "));
    EXPECT_TRUE(is_int);
    EXPECT_EQ(iv, 42);
    ASSERT_TRUE(parse("-.5"));
    EXPECT_FALSE(is_int);
    EXPECT_EQ(v, -0.5);
    ASSERT_TRUE(parse("1e3"));
    EXPECT_FALSE(is_int);
    EXPECT_EQ(v, 1000);
    ASSERT_TRUE(parse("9223372036854775807"));
    EXPECT_TRUE(is_int);
    ASSERT_TRUE(parse("92233720368547758070"));  // a number, but no 64-bit integer
    EXPECT_FALSE(is_int);
    EXPECT_FALSE(parse(""));
    EXPECT_FALSE(parse("   "));
    EXPECT_FALSE(parse("abc"));
    EXPECT_FALSE(parse("1,5"));
    EXPECT_FALSE(parse("inf"));
    EXPECT_FALSE(parse("0x10"));
    EXPECT_FALSE(parse("1e"));
    EXPECT_FALSE(parse("."));
    EXPECT_FALSE(parse("12 34"));
}

TEST(ocl_num, ParsesTheSameUnderAnyProcessLocale) {
    de_locale german(LC_NUMERIC);
    if (!german.ok())
        GTEST_SKIP() << "no de_DE locale";
    double v = 0;
    bool is_int = false;
    long long iv = 0;
    ASSERT_TRUE(ocl_num_parse("2.5", 3, &v, &is_int, &iv));
    EXPECT_EQ(v, 2.5);
    ASSERT_TRUE(ocl_num_parse("+1e400", 6, &v, &is_int, &iv));
    EXPECT_EQ(v, std::numeric_limits<double>::infinity());
    ASSERT_TRUE(ocl_num_parse("-0.001e-400", 11, &v, &is_int, &iv));
    EXPECT_EQ(v, 0.0);
    EXPECT_TRUE(std::signbit(v));
    EXPECT_FALSE(ocl_num_parse("2,5", 3, &v, &is_int, &iv));
}
