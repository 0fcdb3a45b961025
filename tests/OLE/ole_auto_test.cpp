// The general kind conversion behind change_type (and from_string's other
// kinds): text, booleans, currency, decimals and the small integers.
#include <gtest/gtest.h>

#include "OLE/ole_check.h"
#include "OLE/ole_var.h"

namespace {
ole_variant changed(ole_variant v, uint16_t kind) {
    v.change_type(kind);
    EXPECT_EQ(v.get_type(), kind);
    return v;
}
void expect_cast_failure(const ole_variant& v, uint16_t kind) {
    ole_variant c(v);
    EXPECT_THROW(c.change_type(kind), ole_cast_exception) << "to kind " << kind;
    EXPECT_EQ(c, v);
}
DECIMAL dec(uint64_t mantissa, int scale, bool negative = false) {
    DECIMAL d{};
    d.Lo64 = mantissa;
    d.scale = static_cast<uint8_t>(scale);
    d.sign = negative ? DECIMAL_NEG : 0;
    return d;
}
}  // namespace

TEST(ole_auto, Booleans) {
    EXPECT_EQ(changed(ole_variant(true), VT_I4).i4(), -1);
    EXPECT_EQ(changed(ole_variant(true), VT_I2).i2(), -1);
    EXPECT_EQ(changed(ole_variant(true), VT_UI1).ui1(), 255);  // all bits set
    EXPECT_EQ(changed(ole_variant(true), VT_UI2).ui2(), 65535);
    EXPECT_EQ(changed(ole_variant(true), VT_UI4).ui4(), 4294967295u);
    EXPECT_EQ(changed(ole_variant(false), VT_UI4).ui4(), 0u);
    EXPECT_EQ(changed(ole_variant(true), VT_R8).r8(), -1.0);
    EXPECT_EQ(changed(ole_variant(true), VT_CY).cy().int64, -10000);
    EXPECT_EQ(changed(ole_variant(true), VT_BSTR).bstr(), u"-1");
    EXPECT_EQ(changed(ole_variant(false), VT_BSTR).bstr(), u"0");

    EXPECT_EQ(changed(ole_variant(5), VT_BOOL).boolean(), -1);
    EXPECT_EQ(changed(ole_variant(0), VT_BOOL).boolean(), 0);
    EXPECT_EQ(changed(ole_variant(0.1), VT_BOOL).boolean(), -1);
    EXPECT_EQ(changed(ole_variant(CY{0}), VT_BOOL).boolean(), 0);
    EXPECT_EQ(changed(ole_variant(dec(1, 28)), VT_BOOL).boolean(), -1);
    EXPECT_EQ(changed(ole_variant(u" TRUE "), VT_BOOL).boolean(), -1);
    EXPECT_EQ(changed(ole_variant(u"false"), VT_BOOL).boolean(), 0);
    EXPECT_EQ(changed(ole_variant(u"2"), VT_BOOL).boolean(), -1);
    EXPECT_EQ(changed(ole_variant(u"0.0"), VT_BOOL).boolean(), 0);
    expect_cast_failure(ole_variant(u"yes"), VT_BOOL);  // only from_string knows yes/no
}

TEST(ole_auto, NumbersToText) {
    EXPECT_EQ(changed(ole_variant(-42), VT_BSTR).bstr(), u"-42");
    EXPECT_EQ(changed(ole_variant(4294967295u), VT_BSTR).bstr(), u"4294967295");
    EXPECT_EQ(changed(ole_variant(static_cast<char>(-5)), VT_BSTR).bstr(), u"-5");
    EXPECT_EQ(changed(ole_variant(0.1), VT_BSTR).bstr(), u"0.1");
    EXPECT_EQ(changed(ole_variant(-2.5), VT_BSTR).bstr(), u"-2.5");
    EXPECT_EQ(changed(ole_variant(1e20), VT_BSTR).bstr(), u"1E+20");
    EXPECT_EQ(changed(ole_variant(1e-5), VT_BSTR).bstr(), u"1E-05");
    EXPECT_EQ(changed(ole_variant(123456789012345678.0), VT_BSTR).bstr(), u"1.23456789012346E+17");
    EXPECT_EQ(changed(ole_variant(100.0), VT_BSTR).bstr(), u"100");
    EXPECT_EQ(changed(ole_variant(0.1f), VT_BSTR).bstr(), u"0.1");  // 7 digits
    EXPECT_EQ(changed(ole_variant(1.0f / 3.0f), VT_BSTR).bstr(), u"0.3333333");
    EXPECT_EQ(changed(ole_variant(CY{15000}), VT_BSTR).bstr(), u"1.5");
    EXPECT_EQ(changed(ole_variant(CY{-1}), VT_BSTR).bstr(), u"-0.0001");
    EXPECT_EQ(changed(ole_variant(dec(5, 3)), VT_BSTR).bstr(), u"0.005");
    EXPECT_EQ(changed(ole_variant(dec(12300, 2, true)), VT_BSTR).bstr(), u"-123");
}

TEST(ole_auto, TextToIntegers) {
    EXPECT_EQ(changed(ole_variant(u" 1,234 "), VT_I4).i4(), 1234);
    EXPECT_EQ(changed(ole_variant(u"2.5"), VT_I4).i4(), 2);
    EXPECT_EQ(changed(ole_variant(u"3.5"), VT_I4).i4(), 4);
    EXPECT_EQ(changed(ole_variant(u"-2.5"), VT_I4).i4(), -2);
    EXPECT_EQ(changed(ole_variant(u"2.5000000000000000000000000000000000000001"), VT_I4).i4(), 3);
    EXPECT_EQ(changed(ole_variant(u"+1e3"), VT_I2).i2(), 1000);
    EXPECT_EQ(changed(ole_variant(u"-128"), VT_I1).i1(), -128);
    EXPECT_EQ(changed(ole_variant(u"0.4"), VT_UI1).ui1(), 0);
    expect_cast_failure(ole_variant(u"40000"), VT_I2);
    expect_cast_failure(ole_variant(u"-1"), VT_UI4);
    expect_cast_failure(ole_variant(u"abc"), VT_I4);
    expect_cast_failure(ole_variant(u""), VT_I4);
    expect_cast_failure(ole_variant(u"12abc"), VT_I4);
    expect_cast_failure(ole_variant(u"1.2.3"), VT_I4);
    expect_cast_failure(ole_variant(u",5"), VT_I4);
    expect_cast_failure(ole_variant(u"1e"), VT_I4);
    expect_cast_failure(ole_variant(u"\u0661\u0662"), VT_I4);  // other digits
    expect_cast_failure(ole_variant(u"99999999999999999999999999999999999999999"), VT_I4);
}

TEST(ole_auto, TextToFloatCurrencyDecimal) {
    EXPECT_EQ(changed(ole_variant(u"1e3"), VT_R8).r8(), 1000.0);
    EXPECT_EQ(changed(ole_variant(u"-0.125"), VT_R4).r4(), -0.125f);
    EXPECT_EQ(changed(ole_variant(u"1e-400"), VT_R8).r8(), 0.0);
    expect_cast_failure(ole_variant(u"1e400"), VT_R8);
    expect_cast_failure(ole_variant(u"1e39"), VT_R4);
    // Currency keeps four decimals, rounding half to even.
    EXPECT_EQ(changed(ole_variant(u"12.34567"), VT_CY).cy().int64, 123457);
    EXPECT_EQ(changed(ole_variant(u"0.00005"), VT_CY).cy().int64, 0);
    EXPECT_EQ(changed(ole_variant(u"0.00015"), VT_CY).cy().int64, 2);
    EXPECT_EQ(changed(ole_variant(u"-0.00025"), VT_CY).cy().int64, -2);
    EXPECT_EQ(changed(ole_variant(u"922337203685477.5807"), VT_CY).cy().int64, INT64_MAX);
    EXPECT_EQ(changed(ole_variant(u"-922337203685477.5808"), VT_CY).cy().int64, INT64_MIN);
    expect_cast_failure(ole_variant(u"922337203685477.5808"), VT_CY);
    ole_variant d = changed(ole_variant(u"1.50"), VT_DECIMAL);
    EXPECT_EQ(d.decimal().Lo64, 150u);
    EXPECT_EQ(d.decimal().scale, 2);
    EXPECT_EQ(d.to_string(), "1.5");
}

TEST(ole_auto, CurrencyToOthers) {
    EXPECT_EQ(changed(ole_variant(CY{15000}), VT_I4).i4(), 2);  // 1.5
    EXPECT_EQ(changed(ole_variant(CY{25000}), VT_I4).i4(), 2);  // 2.5
    EXPECT_EQ(changed(ole_variant(CY{-25000}), VT_I4).i4(), -2);
    EXPECT_EQ(changed(ole_variant(CY{-35000}), VT_I4).i4(), -4);
    EXPECT_EQ(changed(ole_variant(CY{25001}), VT_I4).i4(), 3);
    EXPECT_EQ(changed(ole_variant(CY{12345}), VT_R8).r8(), 1.2345);
    ole_variant d = changed(ole_variant(CY{12345}), VT_DECIMAL);
    EXPECT_EQ(d.decimal().Lo64, 12345u);
    EXPECT_EQ(d.decimal().scale, 4);
    EXPECT_EQ(d.to_string(), "1.2345");
    expect_cast_failure(ole_variant(CY{400000000}), VT_I2);  // 40000
}

TEST(ole_auto, DecimalToOthers) {
    EXPECT_EQ(changed(ole_variant(dec(25, 1)), VT_I2).i2(), 2);
    EXPECT_EQ(changed(ole_variant(dec(35, 1, true)), VT_I4).i4(), -4);
    EXPECT_EQ(changed(ole_variant(dec(15, 1)), VT_R8).r8(), 1.5);
    // 1.23456 to four decimals: 1.2346 (the dropped 6 rounds up).
    EXPECT_EQ(changed(ole_variant(dec(123456, 5)), VT_CY).cy().int64, 12346);
    // 0.00005 exactly half: to even, 0.
    EXPECT_EQ(changed(ole_variant(dec(5, 5)), VT_CY).cy().int64, 0);
    expect_cast_failure(ole_variant(dec(300, 0)), VT_UI1);
}

TEST(ole_auto, NumbersToCurrencyAndDecimal) {
    EXPECT_EQ(changed(ole_variant(7), VT_CY).cy().int64, 70000);
    EXPECT_EQ(changed(ole_variant(2.5), VT_CY).cy().int64, 25000);
    EXPECT_EQ(changed(ole_variant(1.23456789), VT_CY).cy().int64, 12346);
    ole_variant d = changed(ole_variant(-7), VT_DECIMAL);
    EXPECT_EQ(d.decimal().Lo64, 7u);
    EXPECT_EQ(d.decimal().scale, 0);
    EXPECT_EQ(d.decimal().sign, DECIMAL_NEG);
    ole_variant r = changed(ole_variant(1.5), VT_DECIMAL);
    EXPECT_EQ(r.decimal().Lo64, 15u);
    EXPECT_EQ(r.decimal().scale, 1);
    ole_variant f = changed(ole_variant(0.1f), VT_DECIMAL);
    EXPECT_EQ(f.decimal().Lo64, 1u);
    EXPECT_EQ(f.decimal().scale, 1);
}

TEST(ole_auto, SmallIntegersBetweenKinds) {
    EXPECT_EQ(changed(ole_variant(7), VT_INT).i4(), 7);
    EXPECT_EQ(changed(ole_variant(7), VT_UINT).ui4(), 7u);
    EXPECT_EQ(changed(ole_variant(short{-1}), VT_I4).i4(), -1);
    EXPECT_EQ(changed(ole_variant(uint8_t{200}), VT_I2).i2(), 200);
    EXPECT_EQ(changed(ole_variant(0.5), VT_R4).r4(), 0.5f);
    EXPECT_EQ(changed(ole_variant(3), VT_R8).r8(), 3.0);
    expect_cast_failure(ole_variant(4294967295u), VT_I4);
    expect_cast_failure(ole_variant(uint8_t{200}), VT_I1);
    expect_cast_failure(ole_variant(-1), VT_UINT);
}

TEST(ole_auto, ByteArraysAndUnsupportedPairs) {
    EXPECT_EQ(changed(ole_variant(std::vector<uint8_t>{0x41, 0, 0x42, 0}), VT_BSTR).bstr(), u"AB");
    // An odd last byte fills the low half of the last character.
    EXPECT_EQ(changed(ole_variant(std::vector<uint8_t>{0x41, 0x30, 0x42}), VT_BSTR).bstr(),
              u"\u3041B");
    expect_cast_failure(ole_variant(std::vector<uint8_t>{1}), VT_I4);
    expect_cast_failure(ole_variant(1), VT_ERROR);
    expect_cast_failure(ole_variant(1), VT_LPSTR);
    ole_variant e(5);
    e.change_type(VT_EMPTY);
    EXPECT_EQ(e.get_type(), VT_EMPTY);
}
