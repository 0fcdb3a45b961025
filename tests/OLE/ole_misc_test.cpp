// Automation number conversions: parsing, rounding, DECIMAL limits.
#include "OLE/ole_misc.h"

#include <gtest/gtest.h>

#include <limits>

namespace {
DECIMAL parse_dec(const char* text) {
    DECIMAL d{};
    EXPECT_EQ(ole_dec_from_str(text, OLE_LCID_EN_US, &d), OLE_S_OK) << text;
    return d;
}
std::string dec_text(const DECIMAL& d) {
    std::string s;
    EXPECT_EQ(ole_dec_to_str(d, &s), OLE_S_OK);
    return s;
}
}  // namespace

TEST(ole_misc, ParseNumberShapes) {
    ole_number n;
    ASSERT_EQ(ole_parse_number("  -0012.500  ", &n), OLE_S_OK);
    EXPECT_TRUE(n.neg);
    // 12500 * 10^-3: the leading zeros are gone, the trailing ones kept.
    ASSERT_EQ(n.ndigits, 5);
    EXPECT_EQ(n.digits[0], 1);
    EXPECT_EQ(n.digits[4], 0);
    EXPECT_EQ(n.exp10, -3);
    ASSERT_EQ(ole_parse_number("1,234,567", &n), OLE_S_OK);
    EXPECT_EQ(n.ndigits, 7);
    EXPECT_EQ(n.exp10, 0);
    ASSERT_EQ(ole_parse_number("0.05", &n), OLE_S_OK);
    EXPECT_EQ(n.ndigits, 1);
    EXPECT_EQ(n.exp10, -2);
    ASSERT_EQ(ole_parse_number("12E-3", &n), OLE_S_OK);
    EXPECT_EQ(n.exp10, -3);
    ASSERT_EQ(ole_parse_number(".5", &n), OLE_S_OK);
    ASSERT_EQ(ole_parse_number("5.", &n), OLE_S_OK);
    for (const char* bad : {"", " ", "-", ".", "1.2.3", "1,234.5.6", "$5", "(5)", "5-", "&H10",
                            "1e+", "e5", "1 2", ",1", "0x10"}) {
        EXPECT_EQ(ole_parse_number(bad, &n), OLE_DISP_E_TYPEMISMATCH) << bad;
    }
}

TEST(ole_misc, FloatToIntegerHalfToEven) {
    int64_t r = 0;
    const struct {
        double in;
        int64_t out;
    } cases[] = {{2.5, 2},
                 {3.5, 4},
                 {-2.5, -2},
                 {-3.5, -4},
                 {0.5, 0},
                 {1.5, 2},
                 {-0.5, 0},
                 {2.4, 2},
                 {2.6, 3},
                 {-2.6, -3},
                 {1e15 + 0.5, 1000000000000000}};
    for (const auto& c : cases) {
        ASSERT_EQ(ole_r8_to_i64(c.in, INT64_MIN, INT64_MAX, &r), OLE_S_OK) << c.in;
        EXPECT_EQ(r, c.out) << c.in;
    }
    EXPECT_EQ(ole_r8_to_i64(3e9, INT32_MIN, INT32_MAX, &r), OLE_DISP_E_OVERFLOW);
    EXPECT_EQ(ole_r8_to_i64(9223372036854775808.0, INT64_MIN, INT64_MAX, &r), OLE_DISP_E_OVERFLOW);
    ASSERT_EQ(ole_r8_to_i64(-9223372036854775808.0, INT64_MIN, INT64_MAX, &r), OLE_S_OK);
    EXPECT_EQ(r, INT64_MIN);
}

TEST(ole_misc, CurrencyRoundingAndRange) {
    int64_t r = 0;
    ASSERT_EQ(ole_cy_to_i64(CY{25000}, INT64_MIN, INT64_MAX, &r), OLE_S_OK);
    EXPECT_EQ(r, 2);
    ASSERT_EQ(ole_cy_to_i64(CY{-15000}, INT64_MIN, INT64_MAX, &r), OLE_S_OK);
    EXPECT_EQ(r, -2);
    ASSERT_EQ(ole_cy_to_i64(CY{INT64_MAX}, INT64_MIN, INT64_MAX, &r), OLE_S_OK);
    EXPECT_EQ(r, 922337203685478);  // .5807 rounds up
    CY cy{};
    EXPECT_EQ(ole_cy_from_i64(922337203685478, &cy), OLE_DISP_E_OVERFLOW);
    EXPECT_EQ(ole_cy_from_i64(-922337203685477, &cy), OLE_S_OK);
    EXPECT_EQ(cy.int64, -9223372036854770000);
    EXPECT_EQ(ole_cy_from_r8(1.00005, &cy), OLE_S_OK);
    EXPECT_TRUE(cy.int64 == 10000 || cy.int64 == 10001);  // 1.00005 is not exact in binary
    EXPECT_EQ(ole_cy_from_r8(-1.5, &cy), OLE_S_OK);
    EXPECT_EQ(cy.int64, -15000);
    std::string s;
    ASSERT_EQ(ole_cy_to_str(CY{INT64_MIN}, &s), OLE_S_OK);
    EXPECT_EQ(s, "-922337203685477.5808");
    ASSERT_EQ(ole_cy_to_str(CY{0}, &s), OLE_S_OK);
    EXPECT_EQ(s, "0");
}

TEST(ole_misc, DecimalTextKeepsScale) {
    DECIMAL d = parse_dec("123.45");
    EXPECT_EQ(d.Lo64, 12345u);
    EXPECT_EQ(d.Hi32, 0u);
    EXPECT_EQ(d.scale, 2);
    EXPECT_EQ(dec_text(d), "123.45");
    d = parse_dec("-0.5");
    EXPECT_EQ(d.Lo64, 5u);
    EXPECT_EQ(d.scale, 1);
    EXPECT_EQ(d.sign, DECIMAL_NEG);
    EXPECT_EQ(dec_text(d), "-0.5");
    d = parse_dec("-0.00");
    EXPECT_EQ(d.sign, 0);  // no negative zero
    EXPECT_EQ(dec_text(d), "0");
    d = parse_dec("1.5e2");
    EXPECT_EQ(d.Lo64, 150u);
    EXPECT_EQ(d.scale, 0);
    d = parse_dec("1e-28");
    EXPECT_EQ(d.Lo64, 1u);
    EXPECT_EQ(d.scale, 28);
    EXPECT_EQ(dec_text(d), "0.0000000000000000000000000001");
}

TEST(ole_misc, DecimalLimits) {
    // 2^96 - 1 = 79228162514264337593543950335: every mantissa bit set.
    DECIMAL d = parse_dec("79228162514264337593543950335");
    EXPECT_EQ(d.Hi32, 0xFFFFFFFFu);
    EXPECT_EQ(d.Lo64, 0xFFFFFFFFFFFFFFFFu);
    EXPECT_EQ(d.scale, 0);
    EXPECT_EQ(dec_text(d), "79228162514264337593543950335");
    EXPECT_EQ(ole_dec_from_str("79228162514264337593543950336", OLE_LCID_EN_US, &d),
              OLE_DISP_E_OVERFLOW);
    // Too many decimals: the scale is capped at 28, rounding the 29th
    // decimal (9) up.
    d = parse_dec("0.12345678901234567890123456789");
    EXPECT_EQ(d.scale, 28);
    EXPECT_EQ(dec_text(d), "0.1234567890123456789012345679");
    // 29 digits with a fraction: decimals give way until the mantissa fits.
    // Two decimals would need 30 digits; one decimal rounds .46 to .5, and
    // 79228162514264337593543950335 is exactly the largest mantissa.
    d = parse_dec("7922816251426433759354395033.46");
    EXPECT_EQ(d.scale, 1);
    EXPECT_EQ(dec_text(d), "7922816251426433759354395033.5");
    // Here one decimal rounds up past the largest mantissa: no decimals.
    d = parse_dec("7922816251426433759354395033.56");
    EXPECT_EQ(d.scale, 0);
    EXPECT_EQ(dec_text(d), "7922816251426433759354395034");
    DECIMAL bad{};
    bad.scale = 29;
    std::string s;
    EXPECT_EQ(ole_dec_to_str(bad, &s), OLE_E_INVALIDARG);
    double r = 0;
    EXPECT_EQ(ole_dec_to_r8(bad, &r), OLE_E_INVALIDARG);
}

TEST(ole_misc, DecimalConversions) {
    int32_t i = 0;
    DECIMAL d = parse_dec("2147483647.4");
    ASSERT_EQ(ole_dec_to_i4(d, &i), OLE_S_OK);
    EXPECT_EQ(i, 2147483647);
    d = parse_dec("2147483647.5");
    EXPECT_EQ(ole_dec_to_i4(d, &i), OLE_DISP_E_OVERFLOW);
    d = parse_dec("-2147483648.5");  // to even: -2147483648
    ASSERT_EQ(ole_dec_to_i4(d, &i), OLE_S_OK);
    EXPECT_EQ(i, INT32_MIN);
    double r = 0;
    ASSERT_EQ(ole_dec_to_r8(parse_dec("0.1"), &r), OLE_S_OK);
    EXPECT_EQ(r, 0.1);
    CY cy{};
    EXPECT_EQ(ole_dec_to_cy(parse_dec("1e15"), &cy), OLE_DISP_E_OVERFLOW);
    ASSERT_EQ(ole_dec_to_cy(parse_dec("-1.00015"), &cy), OLE_S_OK);
    EXPECT_EQ(cy.int64, -10002);
    ASSERT_EQ(ole_dec_from_cy(CY{INT64_MIN}, &d), OLE_S_OK);
    EXPECT_EQ(d.Lo64, 9223372036854775808u);
    EXPECT_EQ(d.sign, DECIMAL_NEG);
    EXPECT_EQ(d.scale, 4);
    ASSERT_EQ(ole_dec_from_u64(UINT64_MAX, &d), OLE_S_OK);
    EXPECT_EQ(dec_text(d), "18446744073709551615");
    ASSERT_EQ(ole_dec_from_i64(INT64_MIN, &d), OLE_S_OK);
    EXPECT_EQ(dec_text(d), "-9223372036854775808");
    EXPECT_EQ(ole_dec_from_r8(std::numeric_limits<double>::infinity(), &d), OLE_DISP_E_OVERFLOW);
    ASSERT_EQ(ole_dec_from_r8(-1234.5678, &d), OLE_S_OK);
    EXPECT_EQ(dec_text(d), "-1234.5678");
}

TEST(ole_misc, FloatText) {
    EXPECT_EQ(ole_r8_to_str(0.1), "0.1");
    EXPECT_EQ(ole_r8_to_str(1e15), "1E+15");
    EXPECT_EQ(ole_r8_to_str(123456789012345.0), "123456789012345");
    EXPECT_EQ(ole_r8_to_str(0.0001), "0.0001");
    EXPECT_EQ(ole_r8_to_str(-0.00001), "-1E-05");
    EXPECT_EQ(ole_r4_to_str(16777216.0f), "1.677722E+07");
    EXPECT_EQ(ole_r4_to_str(2.5f), "2.5");
}

TEST(ole_misc, BoolText) {
    bool b = false;
    ASSERT_EQ(ole_bool_from_str("True", OLE_LCID_EN_US, &b), OLE_S_OK);
    EXPECT_TRUE(b);
    ASSERT_EQ(ole_bool_from_str(" fAlSe ", OLE_LCID_EN_US, &b), OLE_S_OK);
    EXPECT_FALSE(b);
    ASSERT_EQ(ole_bool_from_str("-1", OLE_LCID_EN_US, &b), OLE_S_OK);
    EXPECT_TRUE(b);
    EXPECT_EQ(ole_bool_from_str("truth", OLE_LCID_EN_US, &b), OLE_DISP_E_TYPEMISMATCH);
}
