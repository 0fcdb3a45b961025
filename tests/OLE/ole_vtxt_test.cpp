// Text form and parsing of ole_variant.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "OLE/ole_check.h"
#include "OLE/ole_var.h"

TEST(ole_variant_text, IntegersInDecimal) {
    EXPECT_EQ(ole_variant(short{-5}).to_string(), "-5");
    EXPECT_EQ(ole_variant(static_cast<char>(-128)).to_string(), "-128");
    EXPECT_EQ(ole_variant(-2147483647 - 1).to_string(), "-2147483648");
    EXPECT_EQ(ole_variant(uint8_t{255}).to_string(), "255");
    EXPECT_EQ(ole_variant(static_cast<unsigned short>(65535)).to_string(), "65535");
    EXPECT_EQ(ole_variant(4294967295u).to_string(), "4294967295");
    EXPECT_EQ(ole_variant(INT64_MIN).to_string(), "-9223372036854775808");
    EXPECT_EQ(ole_variant(UINT64_MAX).to_string(), "18446744073709551615");
}

TEST(ole_variant_text, FloatingPointInExponentForm) {
    EXPECT_EQ(ole_variant(0.1).to_string(), "1.000000000000000e-01");
    EXPECT_EQ(ole_variant(-1234.5).to_string(), "-1.234500000000000e+03");
    EXPECT_EQ(ole_variant(0.0).to_string(), "0.000000000000000e+00");
    EXPECT_EQ(ole_variant(1.5f).to_string(), "1.500000e+00");
    EXPECT_EQ(ole_variant(1e100).to_string(), "1.000000000000000e+100");
}

TEST(ole_variant_text, DecimalPointDoesNotFollowTheCLocale) {
    // The wizard's toolkit sets the process locale from the environment; a
    // decimal comma there must not leak into values. Build a German locale
    // in a scratch folder when the system has none installed.
    std::string saved = std::setlocale(LC_NUMERIC, nullptr);
    std::string scratch;
    if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8")) {
        char dir[] = "/tmp/ole_locale_XXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        scratch = dir;
        std::string cmd = "localedef -i de_DE -f UTF-8 " + scratch + "/de_DE.UTF-8 >/dev/null 2>&1";
        if (std::system(cmd.c_str()) != 0) {
            std::filesystem::remove_all(scratch);
            GTEST_SKIP() << "cannot build a de_DE locale";
        }
        setenv("LOCPATH", dir, 1);
        ASSERT_NE(std::setlocale(LC_NUMERIC, "de_DE.UTF-8"), nullptr);
    }
    char probe[16];
    std::snprintf(probe, sizeof probe, "%.1f", 0.5);
    EXPECT_STREQ(probe, "0,5");  // the C library does follow the locale now
    EXPECT_EQ(ole_variant(0.5).to_string(), "5.000000000000000e-01");
    EXPECT_EQ(ole_variant(0.5f).to_string(), "5.000000e-01");
    EXPECT_EQ(ole_variant::from_string("2.5", VT_R8).r8(), 2.5);
    EXPECT_EQ(ole_variant::from_string("2,5", VT_R4).r4(), 2.5f);
    EXPECT_EQ(ole_variant::from_string("2.5", VT_CY).cy().int64, 25000);
    ole_variant r(0.25);
    r.change_type(VT_BSTR);
    EXPECT_EQ(r.bstr(), u"0.25");
    EXPECT_EQ(ole_variant::from_string("10:30:15.7", VT_DATE).date().wSecond, 16);
    std::setlocale(LC_NUMERIC, saved.c_str());
    if (!scratch.empty()) {
        unsetenv("LOCPATH");
        std::filesystem::remove_all(scratch);
    }
}

TEST(ole_variant_text, CurrencyAndDecimal) {
    EXPECT_EQ(ole_variant(CY{1234567}).to_string(), "123.4567");
    EXPECT_EQ(ole_variant(CY{-15000}).to_string(), "-1.5");
    EXPECT_EQ(ole_variant(CY{50000}).to_string(), "5");
    EXPECT_EQ(ole_variant(CY{1}).to_string(), "0.0001");
    DECIMAL d{};
    d.scale = 2;
    d.Lo64 = 12345;
    EXPECT_EQ(ole_variant(d).to_string(), "123.45");
    d.sign = DECIMAL_NEG;
    EXPECT_EQ(ole_variant(d).to_string(), "-123.45");
    d.scale = 40;  // not a valid DECIMAL: the conversion fails, empty text
    EXPECT_EQ(ole_variant(d).to_string(), "");
}

TEST(ole_variant_text, DatesUseTheCanonicalText) {
    EXPECT_EQ(ole_variant(make_st(2012, 1, 5, 10, 30, 0)).to_string(), "2012-01-05 10:30:00");
    EXPECT_EQ(ole_variant(make_st(2012, 1, 5)).to_string(), "2012-01-05");
    EXPECT_EQ(ole_variant(make_st(0, 0, 0, 7, 8, 9)).to_string(), "0000-00-00 07:08:09");
    EXPECT_EQ(ole_variant(make_st(1850, 6, 1, 1, 2, 3)).to_wstring(), u"1850-06-01 01:02:03");
}

TEST(ole_variant_text, BoolStringsAndOthers) {
    EXPECT_EQ(ole_variant(true).to_string(), "1");
    EXPECT_EQ(ole_variant(false).to_string(), "0");
    // A boolean that is not -1 (the low bits of a 64-bit value) reads "0".
    ole_variant b(int64_t{1});
    b.change_type(VT_BOOL);
    EXPECT_EQ(b.to_string(), "0");
    EXPECT_EQ(ole_variant(u"h\u00e9").to_string(), "h\xC3\xA9");
    EXPECT_EQ(ole_variant(u"").to_string(), "");
    EXPECT_EQ(ole_variant().to_string(), "");
    EXPECT_EQ(ole_variant::null().to_string(), "");
    EXPECT_EQ(ole_variant(std::u16string(u"a\0b", 3)).to_wstring(), std::u16string(u"a\0b", 3));
    EXPECT_EQ(ole_variant(42).to_wstring(), u"42");
}

TEST(ole_variant_text, ByteArraysInUpperCaseHex) {
    EXPECT_EQ(ole_variant(std::vector<uint8_t>{0x01, 0xAB}).to_string(), "0x01AB");
    EXPECT_EQ(ole_variant(std::vector<uint8_t>{0x00, 0xff, 0x5c}).to_string(), "0x00FF5C");
    EXPECT_EQ(ole_variant(std::vector<uint8_t>{}).to_string(), "");
}

TEST(ole_variant_text, LongByteArraysAreCut) {
    std::vector<uint8_t> big(10000001, 0xEE);
    big[9999999] = 0x12;  // the last byte shown
    std::string s = ole_variant(std::move(big)).to_string();
    ASSERT_EQ(s.size(), 2u + 20000000u);
    EXPECT_EQ(s.substr(s.size() - 4), "EE12");
}

TEST(ole_variant_parse, EmptyText) {
    EXPECT_EQ(ole_variant::from_string("", VT_I4).get_type(), VT_EMPTY);
    EXPECT_EQ(ole_variant::from_string("", VT_DATE).get_type(), VT_EMPTY);
    ole_variant s = ole_variant::from_string("", VT_BSTR);
    EXPECT_EQ(s.get_type(), VT_BSTR);
    EXPECT_TRUE(s.bstr().empty());
}

TEST(ole_variant_parse, SmallIntegersFollowAtoi) {
    EXPECT_EQ(ole_variant::from_string("  -42abc", VT_I4).i4(), -42);
    ole_variant z = ole_variant::from_string("abc", VT_I4);
    EXPECT_EQ(z.get_type(), VT_I4);
    EXPECT_EQ(z.i4(), 0);
    EXPECT_EQ(ole_variant::from_string("+17", VT_I4).i4(), 17);
    EXPECT_EQ(ole_variant::from_string("99999999999", VT_I4).i4(), 2147483647);
    EXPECT_EQ(ole_variant::from_string("-99999999999", VT_I4).i4(), -2147483647 - 1);
    // Stored in the kind's width: 70000 - 65536, 300 - 256, -1 + 65536.
    EXPECT_EQ(ole_variant::from_string("70000", VT_I2).i2(), 4464);
    EXPECT_EQ(ole_variant::from_string("300", VT_UI1).ui1(), 44);
    EXPECT_EQ(ole_variant::from_string("-1", VT_UI2).ui2(), 65535);
    EXPECT_EQ(ole_variant::from_string("-5", VT_I1).i1(), -5);
    EXPECT_EQ(ole_variant::from_string("12.9", VT_I4).i4(), 12);  // stops at '.'
}

TEST(ole_variant_parse, WideIntegers) {
    EXPECT_EQ(ole_variant::from_string("4294967295", VT_UI4).ui4(), 4294967295u);
    EXPECT_EQ(ole_variant::from_string("-1", VT_UI4).ui4(), 4294967295u);  // as "%u" reads it
    EXPECT_EQ(ole_variant::from_string("x", VT_UI4).ui4(), 0u);
    EXPECT_EQ(ole_variant::from_string("-9223372036854775808", VT_I8).i8(), INT64_MIN);
    EXPECT_EQ(ole_variant::from_string(" 9223372036854775807 ", VT_I8).i8(), INT64_MAX);
    EXPECT_EQ(ole_variant::from_string("18446744073709551615", VT_UI8).ui8(), UINT64_MAX);
    EXPECT_EQ(ole_variant::from_string("no", VT_UI8).ui8(), 0u);
    EXPECT_EQ(ole_variant::from_string("12x", VT_I8).get_type(), VT_I8);
    EXPECT_EQ(ole_variant::from_string("12x", VT_I8).i8(), 12);
}

TEST(ole_variant_parse, FloatingPointTakesCommaAsPoint) {
    EXPECT_EQ(ole_variant::from_string("1,5", VT_R8).r8(), 1.5);
    EXPECT_EQ(ole_variant::from_string("  2.5e3xyz", VT_R8).r8(), 2500.0);
    EXPECT_EQ(ole_variant::from_string("-.25", VT_R8).r8(), -0.25);
    EXPECT_EQ(ole_variant::from_string("1e", VT_R8).r8(), 1.0);
    ole_variant z = ole_variant::from_string("abc", VT_R8);
    EXPECT_EQ(z.get_type(), VT_R8);
    EXPECT_EQ(z.r8(), 0.0);
    EXPECT_EQ(ole_variant::from_string("0,1", VT_R4).r4(), 0.1f);
    // "1,234.5" becomes "1.234.5": atof stops at the second point.
    EXPECT_EQ(ole_variant::from_string("1,234.5", VT_R8).r8(), 1.234);
}

TEST(ole_variant_parse, CurrencyAndDecimal) {
    EXPECT_EQ(ole_variant::from_string("12.5", VT_CY).cy().int64, 125000);
    EXPECT_EQ(ole_variant::from_string("1,5", VT_CY).cy().int64, 15000);
    EXPECT_EQ(ole_variant::from_string("-0.00015", VT_CY).cy().int64, -2);  // -1.5 to even
    // "1,234.5" becomes "1.234.5", which is no number.
    EXPECT_EQ(ole_variant::from_string("1,234.5", VT_CY).get_type(), VT_EMPTY);
    EXPECT_EQ(ole_variant::from_string("abc", VT_CY).get_type(), VT_EMPTY);
    EXPECT_EQ(ole_variant::from_string("922337203685478", VT_CY).get_type(), VT_EMPTY);

    ole_variant d = ole_variant::from_string("123,45", VT_DECIMAL);
    ASSERT_EQ(d.get_type(), VT_DECIMAL);
    EXPECT_EQ(d.decimal().Lo64, 12345u);
    EXPECT_EQ(d.decimal().scale, 2);
    EXPECT_EQ(d.decimal().sign, 0);
    EXPECT_EQ(d.to_string(), "123.45");
    EXPECT_EQ(ole_variant::from_string("1.2.3", VT_DECIMAL).get_type(), VT_EMPTY);
}

TEST(ole_variant_parse, Dates) {
    ole_variant d = ole_variant::from_string("20120105103000", VT_DATE);
    ASSERT_EQ(d.get_type(), VT_DATE);
    EXPECT_EQ(d.date(), make_st(2012, 1, 5, 10, 30, 0));
    // 40913 + 10.5 hours / 24 = 40913.4375
    EXPECT_DOUBLE_EQ(d.date_number(), 40913.4375);
    EXPECT_EQ(ole_variant::from_string("not a date", VT_DATE).get_type(), VT_EMPTY);
    EXPECT_EQ(ole_variant::from_string("2012-13-01", VT_DATE).get_type(), VT_EMPTY);
}

TEST(ole_variant_parse, BoolKeywordsAndNumbers) {
    for (const char* t : {"yes", "YES", "yEs", "true", "TRUE", "tRuE"}) {
        ole_variant v = ole_variant::from_string(t, VT_BOOL);
        ASSERT_EQ(v.get_type(), VT_BOOL) << t;
        EXPECT_EQ(v.boolean(), -1) << t;
    }
    for (const char* t : {"no", "No", "false", "FALSE", "0", "maybe", "  0x1"}) {
        EXPECT_EQ(ole_variant::from_string(t, VT_BOOL).boolean(), 0) << t;
    }
    EXPECT_EQ(ole_variant::from_string("2", VT_BOOL).boolean(), -1);
    EXPECT_EQ(ole_variant::from_string(" -7", VT_BOOL).boolean(), -1);
    EXPECT_EQ(ole_variant::from_string("yes ", VT_BOOL).boolean(), 0);  // not a keyword
}

TEST(ole_variant_parse, HexBytes) {
    ole_variant v = ole_variant::from_string("0x0A0b", VT_BYTE_ARRAY);
    ASSERT_EQ(v.get_type(), VT_BYTE_ARRAY);
    EXPECT_EQ(v.bytes(), (std::vector<uint8_t>{0x0A, 0x0B}));
    EXPECT_EQ(ole_variant::from_string("0XfF", VT_BYTE_ARRAY).bytes(), std::vector<uint8_t>{0xFF});
    EXPECT_EQ(ole_variant::from_string("0a0B", VT_BLOB).bytes(),
              (std::vector<uint8_t>{0x0A, 0x0B}));
    EXPECT_EQ(ole_variant::from_string("0a0B", VT_BLOB).get_type(), VT_BYTE_ARRAY);
    EXPECT_EQ(ole_variant::from_string("abc", VT_BLOB).get_type(), VT_EMPTY);
    EXPECT_EQ(ole_variant::from_string("0x123", VT_BYTE_ARRAY).get_type(), VT_EMPTY);
    ole_variant none = ole_variant::from_string("0x", VT_BYTE_ARRAY);
    EXPECT_EQ(none.get_type(), VT_BYTE_ARRAY);
    EXPECT_TRUE(none.bytes().empty());
}

TEST(ole_variant_parse, OtherKindsGoThroughTheGeneralConversion) {
    ole_variant v = ole_variant::from_string(" 1,234 ", VT_INT);
    ASSERT_EQ(v.get_type(), VT_INT);
    EXPECT_EQ(v.i4(), 1234);
    EXPECT_EQ(ole_variant::from_string("2.5", VT_UINT).ui4(), 2u);  // half to even
    EXPECT_THROW(ole_variant::from_string("x", VT_INT), ole_type_exception);
    EXPECT_THROW(ole_variant::from_string("-1", VT_UINT), ole_type_exception);
    EXPECT_THROW(ole_variant::from_string("1", VT_ERROR), ole_type_exception);
}

TEST(ole_variant_parse, FromWideText) {
    ole_variant s = ole_variant::from_wstring(std::u16string_view(u"a\0b", 3), VT_BSTR);
    EXPECT_EQ(s.bstr(), std::u16string(u"a\0b", 3));
    EXPECT_EQ(ole_variant::from_wstring(u"123", VT_I4).i4(), 123);
    EXPECT_EQ(ole_variant::from_wstring(u"2012-01-05", VT_DATE).date(), make_st(2012, 1, 5));
    EXPECT_EQ(ole_variant::from_wstring(u"", VT_I4).get_type(), VT_EMPTY);
}
