// Kinds, field types and cell values between the universal model and the
// workbook driver.
#include "dao/dao_rec.h"

#include <gtest/gtest.h>

namespace {

TEST(dao_field, NativeTypes) {
    using dao_field::get_native_type;
    EXPECT_EQ(jet_integer, get_native_type(VT_I2, 0));
    EXPECT_EQ(jet_integer, get_native_type(VT_I1, 0));
    EXPECT_EQ(jet_long, get_native_type(VT_I4, 0));
    EXPECT_EQ(jet_long, get_native_type(VT_UI2, 0));
    EXPECT_EQ(jet_single, get_native_type(VT_R4, 0));
    for (uint16_t vt : {VT_R8, VT_DECIMAL, VT_UI4, VT_I8, VT_UI8}) {
        EXPECT_EQ(jet_double, get_native_type(vt, 0)) << vt;
    }
    EXPECT_EQ(jet_currency, get_native_type(VT_CY, 8));
    EXPECT_EQ(jet_date, get_native_type(VT_DATE, 8));
    EXPECT_EQ(jet_boolean, get_native_type(VT_BOOL, 1));
    EXPECT_EQ(jet_byte, get_native_type(VT_UI1, 1));
    // Texts and binaries: 1 to 255 short, 0 and 256 and up long.
    EXPECT_EQ(jet_text, get_native_type(VT_BSTR, 1));
    EXPECT_EQ(jet_text, get_native_type(VT_BSTR, 255));
    EXPECT_EQ(jet_memo, get_native_type(VT_BSTR, 256));
    EXPECT_EQ(jet_memo, get_native_type(VT_BSTR, 0));
    for (uint16_t vt : {VT_BLOB, VT_BLOB_OBJECT, VT_BYTE_ARRAY}) {
        EXPECT_EQ(jet_binary, get_native_type(vt, 255));
        EXPECT_EQ(jet_long_binary, get_native_type(vt, 256));
        EXPECT_EQ(jet_long_binary, get_native_type(vt, 0));
    }
    for (uint16_t vt : {VT_EMPTY, VT_NULL, VT_ERROR, VT_INT, VT_LPSTR}) {
        EXPECT_THROW(get_native_type(vt, 10), ole_type_exception) << vt;
    }
}

TEST(dao_field, KindsOfFieldTypes) {
    using dao_field::get_vartype;
    EXPECT_EQ(VT_BOOL, get_vartype(jet_boolean));
    EXPECT_EQ(VT_UI1, get_vartype(jet_byte));
    EXPECT_EQ(VT_I2, get_vartype(jet_integer));
    EXPECT_EQ(VT_I4, get_vartype(jet_long));
    EXPECT_EQ(VT_CY, get_vartype(jet_currency));
    EXPECT_EQ(VT_R4, get_vartype(jet_single));
    for (int t : {7, 19, 20, 21}) EXPECT_EQ(VT_R8, get_vartype(t));
    for (int t : {8, 22}) EXPECT_EQ(VT_DATE, get_vartype(t));
    EXPECT_EQ(VT_BSTR, get_vartype(jet_text));
    EXPECT_EQ(VT_BSTR, get_vartype(jet_memo));
    for (int t : {9, 11, 13, 15, 18, 23, 99}) EXPECT_EQ(VT_BLOB, get_vartype(t));
}

TEST(dao_get_valid_variant, AdaptedKinds) {
    ole_variant a = dao_get_valid_variant(ole_variant(static_cast<signed char>(-5)));
    EXPECT_EQ(VT_I2, a.get_type());
    EXPECT_EQ(-5, a.i2());
    ole_variant b = dao_get_valid_variant(ole_variant(static_cast<unsigned short>(65535)));
    EXPECT_EQ(VT_I4, b.get_type());
    EXPECT_EQ(65535, b.i4());
    ole_variant c = dao_get_valid_variant(ole_variant(4000000000u));
    EXPECT_EQ(VT_R8, c.get_type());
    EXPECT_EQ(4000000000.0, c.r8());
    ole_variant d = dao_get_valid_variant(ole_variant(-9007199254740993LL));
    EXPECT_EQ(VT_R8, d.get_type());
    EXPECT_EQ(-9007199254740992.0, d.r8());  // the nearest double, as the text reads back
    ole_variant e = dao_get_valid_variant(ole_variant(18446744073709551615ULL));
    EXPECT_EQ(VT_R8, e.get_type());
    EXPECT_EQ(18446744073709551616.0, e.r8());
    ole_variant f = dao_get_valid_variant(ole_variant(2.5));
    EXPECT_EQ(VT_R8, f.get_type());
    EXPECT_EQ(2.5, f.r8());
}

TEST(dao_to_jet_value, EveryKind) {
    jet_value out;
    std::u16string scratch;
    using K = jet_value::kind_t;
    struct num_case {
        ole_variant v;
        double want;
    };
    CY cy{123456};
    const num_case nums[] = {{ole_variant(short(-3)), -3},
                             {ole_variant(7), 7},
                             {ole_variant(1.5f), 1.5},
                             {ole_variant(2.25), 2.25},
                             {ole_variant(cy), 12.3456},
                             {ole_variant(static_cast<signed char>(-2)), -2},
                             {ole_variant(static_cast<unsigned char>(200)), 200},
                             {ole_variant(static_cast<unsigned short>(60000)), 60000},
                             {ole_variant(4000000000u), 4000000000.0},
                             {ole_variant(1234567890123LL), 1234567890123.0},
                             {ole_variant(1234567890124ULL), 1234567890124.0}};
    for (const auto& c : nums) {
        dao_to_jet_value(c.v, out, scratch);
        EXPECT_EQ(K::number, out.kind) << c.v.get_type();
        EXPECT_DOUBLE_EQ(c.want, out.number) << c.v.get_type();
    }
    dao_to_jet_value(ole_variant(true), out, scratch);
    EXPECT_EQ(K::boolean, out.kind);
    EXPECT_TRUE(out.boolean);
    dao_to_jet_value(ole_variant(false), out, scratch);
    EXPECT_FALSE(out.boolean);

    // Texts are views of the value: nothing is copied.
    ole_variant text(u"hello");
    dao_to_jet_value(text, out, scratch);
    EXPECT_EQ(K::text, out.kind);
    EXPECT_EQ(u"hello", out.text);
    EXPECT_EQ(text.bstr().data(), out.text.data());

    SYSTEMTIME st{2012, 1, 0, 5, 10, 30, 15, 0};
    dao_to_jet_value(ole_variant(st), out, scratch);
    EXPECT_EQ(K::date, out.kind);
    EXPECT_EQ(2012, out.year);
    EXPECT_EQ(1, out.month);
    EXPECT_EQ(5, out.day);
    EXPECT_EQ(10, out.hour);
    EXPECT_EQ(30, out.minute);
    EXPECT_EQ(15, out.second);
}

TEST(dao_to_jet_value, NullDateBecomes18991230) {
    jet_value out;
    std::u16string scratch;
    // A time of day alone: its text is "0000-00-00 10:30:15".
    SYSTEMTIME t{0, 0, 0, 0, 10, 30, 15, 0};
    ole_variant v(t);
    ASSERT_NE(std::string::npos, v.to_string().find("0000-00-00"));
    dao_to_jet_value(v, out, scratch);
    EXPECT_EQ(jet_value::kind_t::date, out.kind);
    EXPECT_EQ(1899, out.year);
    EXPECT_EQ(12, out.month);
    EXPECT_EQ(30, out.day);
    EXPECT_EQ(10, out.hour);
    EXPECT_EQ(30, out.minute);
    EXPECT_EQ(15, out.second);
}

TEST(dao_to_jet_value, NullsWriteNoCell) {
    jet_value out = jet_value::of_number(1);
    std::u16string scratch;
    for (const ole_variant& v : {ole_variant(), ole_variant::null()}) {
        dao_to_jet_value(v, out, scratch);
        EXPECT_EQ(jet_value::kind_t::null, out.kind);
    }
}

TEST(dao_to_jet_value, OtherKindsGoAsTheirText) {
    jet_value out;
    std::u16string scratch;
    const uint8_t bytes[2] = {0x01, 0xAB};
    dao_to_jet_value(ole_variant(bytes, 2), out, scratch);
    EXPECT_EQ(jet_value::kind_t::text, out.kind);
    EXPECT_EQ(u"0x01AB", out.text);
}

}  // namespace
