// ole_variant::change_type: the rules of its own (64-bit integers, dates,
// byte images) and the general conversion's rounding and overflow.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "OLE/ole_check.h"
#include "OLE/ole_var.h"

namespace {
ole_variant changed(ole_variant v, uint16_t kind) {
    v.change_type(kind);
    return v;
}
// Checks that the change raises ole_cast_exception and leaves the value.
void expect_cast_failure(const ole_variant& v, uint16_t kind) {
    ole_variant c(v);
    EXPECT_THROW(c.change_type(kind), ole_cast_exception) << "to kind " << kind;
    EXPECT_EQ(c, v) << "value changed by a failed conversion to kind " << kind;
}
}  // namespace

TEST(ole_change_type, NothingChanges) {
    ole_variant n = ole_variant::null();
    n.change_type(VT_I4);
    EXPECT_EQ(n.get_type(), VT_NULL);
    ole_variant e;
    e.change_type(VT_BSTR);
    EXPECT_EQ(e.get_type(), VT_EMPTY);
    ole_variant same(5);
    same.change_type(VT_I4);
    EXPECT_EQ(same.i4(), 5);
    ole_variant bin(std::vector<uint8_t>{1});
    bin.change_type(VT_BLOB);  // both binary: untouched
    EXPECT_EQ(bin.get_type(), VT_BYTE_ARRAY);
    EXPECT_EQ(bin.bytes(), std::vector<uint8_t>{1});
}

TEST(ole_change_type, From64BitIntegers) {
    const int64_t v = 0x123456789ABCDEF0;
    EXPECT_EQ(changed(ole_variant(v), VT_I2).i2(), static_cast<int16_t>(0xDEF0));
    EXPECT_EQ(changed(ole_variant(v), VT_UI2).ui2(), 0xDEF0);
    EXPECT_EQ(changed(ole_variant(v), VT_I4).i4(), static_cast<int32_t>(0x9ABCDEF0));
    EXPECT_EQ(changed(ole_variant(v), VT_I1).i1(), static_cast<int8_t>(0xF0));
    EXPECT_EQ(changed(ole_variant(v), VT_UI1).ui1(), 0xF0);
    // VT_UI4 and VT_UINT both give VT_UINT.
    ole_variant u = changed(ole_variant(int64_t{-1}), VT_UI4);
    EXPECT_EQ(u.get_type(), VT_UINT);
    EXPECT_EQ(u.ui4(), 0xFFFFFFFFu);
    EXPECT_EQ(changed(ole_variant(int64_t{7}), VT_UINT).get_type(), VT_UINT);
    EXPECT_EQ(changed(ole_variant(int64_t{0x100000002}), VT_INT).get_type(), VT_INT);
    EXPECT_EQ(changed(ole_variant(int64_t{0x100000002}), VT_INT).i4(), 2);
    // A boolean takes the low 16 bits as they are: 0x12345 -> 0x2345.
    EXPECT_EQ(changed(ole_variant(int64_t{0x12345}), VT_BOOL).boolean(), 0x2345);

    EXPECT_EQ(changed(ole_variant(INT64_MIN), VT_R8).r8(), -9223372036854775808.0);
    EXPECT_EQ(changed(ole_variant(UINT64_MAX), VT_R8).r8(), 18446744073709551616.0);
    EXPECT_EQ(changed(ole_variant(int64_t{-3}), VT_R4).r4(), -3.0f);

    EXPECT_EQ(changed(ole_variant(INT64_MIN), VT_BSTR).bstr(), u"-9223372036854775808");
    EXPECT_EQ(changed(ole_variant(UINT64_MAX), VT_BSTR).bstr(), u"18446744073709551615");
    EXPECT_EQ(changed(ole_variant(int64_t{0}), VT_BSTR).bstr(), u"0");

    EXPECT_EQ(changed(ole_variant(int64_t{-1}), VT_UI8).ui8(), UINT64_MAX);
    EXPECT_EQ(changed(ole_variant(UINT64_MAX), VT_I8).i8(), -1);

    expect_cast_failure(ole_variant(int64_t{1}), VT_DATE);
    expect_cast_failure(ole_variant(int64_t{1}), VT_BYTE_ARRAY);
    expect_cast_failure(ole_variant(uint64_t{1}), VT_ERROR);
}

TEST(ole_change_type, SixtyFourBitIntegersAndCurrency) {
    ole_variant v(int64_t{5});
    v.change_type(VT_CY);
    ASSERT_EQ(v.get_type(), VT_CY);
    EXPECT_EQ(v.cy().int64, 50000);  // 5.0000
    EXPECT_EQ(v.to_string(), "5");
    v.change_type(VT_I8);
    ASSERT_EQ(v.get_type(), VT_I8);
    EXPECT_EQ(v.i8(), 5);

    ole_variant d = changed(ole_variant(int64_t{-5}), VT_DECIMAL);
    ASSERT_EQ(d.get_type(), VT_DECIMAL);
    EXPECT_EQ(d.decimal().Lo64, 50000u);  // through currency: scale 4
    EXPECT_EQ(d.decimal().scale, 4);
    EXPECT_EQ(d.decimal().sign, DECIMAL_NEG);

    // Beyond the currency range (922337203685477.5807).
    expect_cast_failure(ole_variant(INT64_MAX), VT_CY);
    expect_cast_failure(ole_variant(int64_t{922337203685478}), VT_DECIMAL);
    expect_cast_failure(ole_variant(uint64_t{1} << 63), VT_CY);
    EXPECT_EQ(changed(ole_variant(int64_t{922337203685477}), VT_CY).cy().int64,
              9223372036854770000);
}

TEST(ole_change_type, CurrencyToWholeNumbersRoundsPositiveHalvesUp) {
    auto whole = [](int64_t cy) { return changed(ole_variant(CY{cy}), VT_I8).i8(); };
    EXPECT_EQ(whole(25000), 3);    // 2.5
    EXPECT_EQ(whole(35000), 4);    // 3.5
    EXPECT_EQ(whole(24999), 2);    // 2.4999
    EXPECT_EQ(whole(24500), 2);    // 2.45: first dropped digit is 4
    EXPECT_EQ(whole(-25000), -2);  // negative values are truncated
    EXPECT_EQ(whole(-27000), -2);
    EXPECT_EQ(whole(-5000), 0);
    EXPECT_EQ(changed(ole_variant(CY{15000}), VT_UI8).ui8(), 2u);

    DECIMAL d{};
    d.scale = 1;
    d.Lo64 = 25;  // 2.5
    EXPECT_EQ(changed(ole_variant(d), VT_I8).i8(), 3);
    d.Lo64 = 1000000000000000000u;  // 1e17 at scale 1: beyond currency
    expect_cast_failure(ole_variant(d), VT_I8);
}

TEST(ole_change_type, To64BitIntegers) {
    EXPECT_EQ(changed(ole_variant(short{-2}), VT_I8).i8(), -2);
    EXPECT_EQ(changed(ole_variant(true), VT_I8).i8(), -1);
    EXPECT_EQ(changed(ole_variant(-7), VT_UI8).ui8(), UINT64_MAX - 6);  // sign-extended
    EXPECT_EQ(changed(ole_variant(static_cast<char>(-1)), VT_I8).i8(), -1);
    EXPECT_EQ(changed(ole_variant(uint8_t{255}), VT_I8).i8(), 255);
    EXPECT_EQ(changed(ole_variant(4294967295u), VT_I8).i8(), 4294967295);  // zero-extended
    EXPECT_EQ(changed(ole_variant(2.9), VT_I8).i8(), 2);                   // truncated
    EXPECT_EQ(changed(ole_variant(-2.9), VT_I8).i8(), -2);
    EXPECT_EQ(changed(ole_variant(-2.5f), VT_I8).i8(), -2);
    EXPECT_EQ(changed(ole_variant(1e19), VT_UI8).ui8(), 10000000000000000000u);
    EXPECT_EQ(changed(ole_variant(-3.0), VT_UI8).ui8(), UINT64_MAX - 2);
    expect_cast_failure(ole_variant(1e19), VT_I8);
    expect_cast_failure(ole_variant(2e19), VT_UI8);
    ole_variant nan8(std::nan(""));
    EXPECT_THROW(nan8.change_type(VT_I8), ole_cast_exception);
    EXPECT_TRUE(std::isnan(nan8.r8()));
    expect_cast_failure(ole_variant(u"12"), VT_I8);
    expect_cast_failure(ole_variant(make_st(2012, 1, 5)), VT_I8);
}

TEST(ole_change_type, DatesOnlyToText) {
    EXPECT_EQ(changed(ole_variant(make_st(2012, 1, 5, 10, 30, 0)), VT_BSTR).bstr(),
              u"2012-01-05 10:30:00");
    EXPECT_EQ(changed(ole_variant(make_st(2012, 1, 5)), VT_BSTR).bstr(), u"2012-01-05");
    expect_cast_failure(ole_variant(make_st(2012, 1, 5)), VT_I4);
    expect_cast_failure(ole_variant(make_st(2012, 1, 5)), VT_R8);
    expect_cast_failure(ole_variant(make_st(2012, 1, 5)), VT_BYTE_ARRAY);
}

TEST(ole_change_type, TextToDateNeedsTheFullForm) {
    ole_variant v(u"2012-01-05 10:30:00");
    v.change_type(VT_DATE);
    ASSERT_EQ(v.get_type(), VT_DATE);
    EXPECT_EQ(v.date(), make_st(2012, 1, 5, 10, 30, 0));
    expect_cast_failure(ole_variant(u"2012-01-05 10:30:0"), VT_DATE);  // 18 characters
    expect_cast_failure(ole_variant(u"2012-01-05"), VT_DATE);
    expect_cast_failure(ole_variant(u"2012-13-05 10:30:00"), VT_DATE);  // 19, but no date
    expect_cast_failure(ole_variant(40913.0), VT_DATE);
    expect_cast_failure(ole_variant(1), VT_DATE);
}

TEST(ole_change_type, ByteImages) {
    using bytes = std::vector<uint8_t>;
    EXPECT_EQ(changed(ole_variant(0x01020304), VT_BYTE_ARRAY).bytes(), (bytes{4, 3, 2, 1}));
    EXPECT_EQ(changed(ole_variant(true), VT_BLOB).bytes(), (bytes{0xFF, 0xFF}));
    EXPECT_EQ(changed(ole_variant(true), VT_BLOB).get_type(), VT_BYTE_ARRAY);
    EXPECT_EQ(changed(ole_variant(uint8_t{0x7F}), VT_BLOB_OBJECT).bytes(), bytes{0x7F});
    // 1.0 is 0x3FF0000000000000.
    EXPECT_EQ(changed(ole_variant(1.0), VT_BYTE_ARRAY).bytes(),
              (bytes{0, 0, 0, 0, 0, 0, 0xF0, 0x3F}));
    // 1.0f is 0x3F800000.
    EXPECT_EQ(changed(ole_variant(1.0f), VT_BYTE_ARRAY).bytes(), (bytes{0, 0, 0x80, 0x3F}));
    EXPECT_EQ(changed(ole_variant(CY{1}), VT_BYTE_ARRAY).bytes(), (bytes{1, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(changed(ole_variant(u"AB"), VT_BYTE_ARRAY).bytes(), (bytes{0x41, 0, 0x42, 0}));
    EXPECT_TRUE(changed(ole_variant(u""), VT_BYTE_ARRAY).bytes().empty());
    EXPECT_EQ(changed(ole_variant(short{-2}), VT_BYTE_ARRAY).bytes(), (bytes{0xFE, 0xFF}));

    DECIMAL d{};
    d.scale = 2;
    d.sign = DECIMAL_NEG;
    d.Hi32 = 1;
    d.Lo64 = 0x0102;
    // The reserved word holds the kind (14), then scale, sign, Hi32, Lo64.
    EXPECT_EQ(changed(ole_variant(d), VT_BYTE_ARRAY).bytes(),
              (bytes{14, 0, 2, 0x80, 1, 0, 0, 0, 2, 1, 0, 0, 0, 0, 0, 0}));

    ole_variant i = ole_variant::from_string("1", VT_INT);
    i.change_type(VT_BYTE_ARRAY);
    EXPECT_EQ(i.bytes(), (bytes{1, 0, 0, 0}));
}

TEST(ole_change_type, FloatToIntegerRoundsHalfToEven) {
    EXPECT_EQ(changed(ole_variant(2.5), VT_I4).i4(), 2);
    EXPECT_EQ(changed(ole_variant(3.5), VT_I4).i4(), 4);
    EXPECT_EQ(changed(ole_variant(-2.5), VT_I4).i4(), -2);
    EXPECT_EQ(changed(ole_variant(-3.5), VT_I4).i4(), -4);
    EXPECT_EQ(changed(ole_variant(0.5), VT_I4).i4(), 0);
    EXPECT_EQ(changed(ole_variant(2.51), VT_I4).i4(), 3);
    EXPECT_EQ(changed(ole_variant(-2.49), VT_I4).i4(), -2);
    EXPECT_EQ(changed(ole_variant(1.5f), VT_I2).i2(), 2);
    EXPECT_EQ(changed(ole_variant(254.5), VT_UI1).ui1(), 254);
    EXPECT_EQ(changed(ole_variant(255.5), VT_I2).i2(), 256);
}

TEST(ole_change_type, OverflowFailsAndKeepsTheValue) {
    ole_variant big(3e9);
    EXPECT_THROW(big.change_type(VT_I4), ole_cast_exception);
    EXPECT_EQ(big.get_type(), VT_R8);
    EXPECT_EQ(big.r8(), 3e9);
    EXPECT_EQ(changed(ole_variant(3e9), VT_UI4).ui4(), 3000000000u);
    expect_cast_failure(ole_variant(2147483647.5), VT_I4);  // rounds to 2^31
    EXPECT_EQ(changed(ole_variant(2147483647.4), VT_I4).i4(), 2147483647);
    // -2147483648.5 rounds to the even -2147483648, which fits;
    // -2147483649.5 rounds to -2147483650, which does not.
    EXPECT_EQ(changed(ole_variant(-2147483648.5), VT_I4).i4(), INT32_MIN);
    expect_cast_failure(ole_variant(-2147483649.5), VT_I4);
    expect_cast_failure(ole_variant(255.5), VT_UI1);  // 256
    expect_cast_failure(ole_variant(-1), VT_UI1);
    expect_cast_failure(ole_variant(70000), VT_I2);
    expect_cast_failure(ole_variant(128), VT_I1);
    expect_cast_failure(ole_variant(4000000000u), VT_I4);
    ole_variant nan4(std::nan(""));
    EXPECT_THROW(nan4.change_type(VT_I4), ole_cast_exception);
    EXPECT_TRUE(std::isnan(nan4.r8()));
    expect_cast_failure(ole_variant(1e300), VT_R4);
    expect_cast_failure(ole_variant(1e300), VT_CY);
    EXPECT_EQ(changed(ole_variant(-128), VT_I1).i1(), -128);
    EXPECT_EQ(changed(ole_variant(65535), VT_UI2).ui2(), 65535);
}
