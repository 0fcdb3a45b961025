#include "OLE/ole_var.h"

#include <gtest/gtest.h>

#include <cstring>
#include <type_traits>

#include "OLE/ole_check.h"

static_assert(std::is_nothrow_move_constructible_v<ole_variant>);
static_assert(std::is_nothrow_move_assignable_v<ole_variant>);

TEST(ole_variant, ConstructorsMakeTheirKinds) {
    EXPECT_EQ(ole_variant().get_type(), VT_EMPTY);
    EXPECT_EQ(ole_variant(true).get_type(), VT_BOOL);
    EXPECT_EQ(ole_variant(true).boolean(), -1);
    EXPECT_EQ(ole_variant(false).boolean(), 0);
    EXPECT_EQ(ole_variant('A').get_type(), VT_I1);
    EXPECT_EQ(ole_variant('A').i1(), 65);
    EXPECT_EQ(ole_variant(uint8_t{200}).get_type(), VT_UI1);
    EXPECT_EQ(ole_variant(short{-3}).get_type(), VT_I2);
    EXPECT_EQ(ole_variant(static_cast<unsigned short>(65535)).ui2(), 65535);
    EXPECT_EQ(ole_variant(-7).get_type(), VT_I4);
    EXPECT_EQ(ole_variant(7u).get_type(), VT_UI4);
    EXPECT_EQ(ole_variant(int64_t{-1}).get_type(), VT_I8);
    EXPECT_EQ(ole_variant(-1LL).i8(), -1);
    EXPECT_EQ(ole_variant(uint64_t{1}).get_type(), VT_UI8);
    EXPECT_EQ(ole_variant(1ULL).ui8(), 1u);
    EXPECT_EQ(ole_variant(1.5f).get_type(), VT_R4);
    EXPECT_EQ(ole_variant(1.5).get_type(), VT_R8);
    EXPECT_EQ(ole_variant(CY{15000}).cy().int64, 15000);
    EXPECT_EQ(ole_variant(u"abc").bstr(), u"abc");
    EXPECT_EQ(ole_variant(std::string("h\xC3\xA9")).bstr(), u"h\u00e9");
    EXPECT_EQ(ole_variant("x").get_type(), VT_BSTR);  // not a bool
    EXPECT_EQ(ole_variant(std::u16string(u"a\0b", 3)).bstr().size(), 3u);
    EXPECT_EQ(ole_variant::null().get_type(), VT_NULL);
}

TEST(ole_variant, DecimalOwnsTheKindWord) {
    DECIMAL d{};
    d.wReserved = 0x1234;
    d.scale = 2;
    d.Lo64 = 12345;
    ole_variant v(d);
    EXPECT_EQ(v.get_type(), VT_DECIMAL);
    EXPECT_EQ(v.decimal().scale, 2);
    EXPECT_EQ(v.decimal().Lo64, 12345u);
    EXPECT_EQ(v.decimal().wReserved, VT_DECIMAL);
}

TEST(ole_variant, DateKeepsSystemtimeAndNumber) {
    // 2012-01-05: 36526 (2000-01-01) + 12*365 + 3 leap days + 4 = 40913;
    // 18:00 adds three quarters of a day.
    ole_variant v(make_st(2012, 1, 5, 18, 0, 0));
    EXPECT_EQ(v.get_type(), VT_DATE);
    EXPECT_EQ(v.date().wYear, 2012);
    EXPECT_EQ(v.date().wHour, 18);
    EXPECT_DOUBLE_EQ(v.date_number(), 40913.75);
    // A pure time has no date number; the kind stays VT_DATE.
    ole_variant t(make_st(0, 0, 0, 10, 30, 0));
    EXPECT_EQ(t.get_type(), VT_DATE);
    EXPECT_EQ(t.date_number(), 0.0);
    EXPECT_EQ(t.date().wMinute, 30);
}

TEST(ole_variant, ByteArraysFromPointerAndVector) {
    const uint8_t raw[] = {1, 2, 3};
    ole_variant a(raw, 3);
    EXPECT_EQ(a.get_type(), VT_BYTE_ARRAY);
    const uint8_t* p = nullptr;
    ASSERT_EQ(a.get_bytes(&p), 3u);
    EXPECT_EQ(p[2], 3);
    EXPECT_NE(p, raw);  // own copy

    ole_variant e(std::vector<uint8_t>{});
    EXPECT_EQ(e.get_type(), VT_BYTE_ARRAY);
    EXPECT_EQ(e.get_bytes(&p), 0u);

    std::vector<uint8_t> big(1000, 7);
    const uint8_t* buffer = big.data();
    ole_variant moved(std::move(big));
    EXPECT_EQ(moved.bytes().data(), buffer);  // taken over, not copied
}

TEST(ole_variant, CopyOfByteArrayIsIndependent) {
    ole_variant a(std::vector<uint8_t>{0x10, 0x20});
    ole_variant b(a);
    a.mutable_bytes()->at(0) = 0x99;
    EXPECT_EQ(b.bytes()[0], 0x10);
    ole_variant c;
    c = a;
    a.mutable_bytes()->at(1) = 0x77;
    EXPECT_EQ(c.bytes()[0], 0x99);
    EXPECT_EQ(c.bytes()[1], 0x20);
    EXPECT_EQ(c.get_type(), VT_BYTE_ARRAY);
}

TEST(ole_variant, CopiesCarrySideValuesAndStrings) {
    ole_variant i8(int64_t{-5000000000});
    ole_variant c1(i8);
    EXPECT_EQ(c1.i8(), -5000000000);
    ole_variant d(make_st(1999, 12, 31, 23, 59, 58));
    ole_variant c2 = d;
    EXPECT_EQ(c2.date().wSecond, 58);
    EXPECT_EQ(c2.date_number(), d.date_number());
    ole_variant s(u"text");
    ole_variant c3;
    c3 = s;
    s.mutable_bstr()->append(u"!");
    EXPECT_EQ(c3.bstr(), u"text");
    // Assigning a different kind drops the old string.
    c3 = ole_variant(3);
    EXPECT_EQ(c3.get_type(), VT_I4);
    EXPECT_EQ(c3.mutable_bstr(), nullptr);
    // Self-assignment changes nothing.
    ole_variant& alias = s;
    s = alias;
    EXPECT_EQ(s.bstr(), u"text!");
}

TEST(ole_variant, MovesLeaveSourceEmpty) {
    ole_variant s(u"a long enough text to live on the heap, not inline");
    const char16_t* buffer = s.bstr().data();
    ole_variant t(std::move(s));
    EXPECT_EQ(t.bstr().data(), buffer);
    EXPECT_EQ(s.get_type(), VT_EMPTY);
    ole_variant u(1);
    u = std::move(t);
    EXPECT_EQ(u.bstr().data(), buffer);
    EXPECT_EQ(t.get_type(), VT_EMPTY);
    EXPECT_EQ(t.to_string(), "");
}

TEST(ole_variant, ToLongByKind) {
    EXPECT_EQ(ole_variant().to_long(), 0);
    EXPECT_EQ(ole_variant::null().to_long(), 0);
    EXPECT_EQ(ole_variant(short{-3}).to_long(), -3);
    EXPECT_EQ(ole_variant(true).to_long(), -1);
    EXPECT_EQ(ole_variant(4294967295u).to_long(), -1);
    EXPECT_EQ(ole_variant(2.9).to_long(), 2);  // truncated, not rounded
    EXPECT_EQ(ole_variant(-2.9f).to_long(), -2);
    EXPECT_EQ(ole_variant(static_cast<char>(-1)).to_long(), -1);
    EXPECT_EQ(ole_variant(uint8_t{200}).to_long(), 200);
    EXPECT_EQ(ole_variant(static_cast<unsigned short>(65535)).to_long(), 65535);
    EXPECT_EQ(ole_variant(int64_t{0x100000005}).to_long(), 5);  // low 32 bits
    EXPECT_EQ(ole_variant(uint64_t{0xFFFFFFFFFFFFFFFF}).to_long(), -1);
    DECIMAL d{};
    d.scale = 1;
    d.Lo64 = 25;  // 2.5: half to even gives 2
    EXPECT_EQ(ole_variant(d).to_long(), 2);
    d.Lo64 = 35;  // 3.5 gives 4
    EXPECT_EQ(ole_variant(d).to_long(), 4);
    d.scale = 0;
    d.Lo64 = 3000000000;  // beyond 32 bits: the conversion fails, 0
    EXPECT_EQ(ole_variant(d).to_long(), 0);
    expect_assertion([] { ole_variant(CY{1}).to_long(); }, OLE_VAR_HEX "343738");
    expect_assertion([] { ole_variant(u"1").to_long(); }, OLE_VAR_HEX "343738");
}

TEST(ole_variant, ToDoubleByKind) {
    EXPECT_EQ(ole_variant().to_double(), 0.0);
    EXPECT_EQ(ole_variant(true).to_double(), -1.0);
    EXPECT_EQ(ole_variant(4294967295u).to_double(), 4294967295.0);
    EXPECT_EQ(ole_variant(0.25f).to_double(), 0.25);
    EXPECT_EQ(ole_variant(CY{12345}).to_double(), 1.2345);
    EXPECT_EQ(ole_variant(int64_t{-5}).to_double(), -5.0);
    EXPECT_EQ(ole_variant(uint64_t{1} << 63).to_double(), 9223372036854775808.0);
    DECIMAL d{};
    d.scale = 3;
    d.sign = DECIMAL_NEG;
    d.Lo64 = 1500;
    EXPECT_EQ(ole_variant(d).to_double(), -1.5);
    expect_assertion([] { ole_variant(make_st(2012, 1, 5)).to_double(); }, OLE_VAR_HEX "353139");
    expect_assertion([] { ole_variant(u"1").to_double(); }, OLE_VAR_HEX "353139");
}

TEST(ole_variant, GetBytesContract) {
    const uint8_t marker = 0;
    const uint8_t* p = &marker;
    EXPECT_EQ(ole_variant().get_bytes(&p), 0u);
    EXPECT_EQ(ole_variant::null().get_bytes(&p), 0u);
    EXPECT_EQ(p, &marker);  // left alone
    expect_assertion([] { ole_variant(1).get_bytes(nullptr); }, OLE_VAR_HEX "363639");
}

TEST(ole_variant, AllocateSafeArray) {
    ole_variant v(42);
    v.allocate_safe_array(4);
    ASSERT_EQ(v.get_type(), VT_BYTE_ARRAY);
    EXPECT_EQ(v.bytes(), std::vector<uint8_t>(4, 0));
    v.mutable_bytes()->at(0) = 9;
    v.allocate_safe_array(6);  // grows, keeps the first bytes, new ones zero
    EXPECT_EQ(v.bytes(), (std::vector<uint8_t>{9, 0, 0, 0, 0, 0}));
    v.allocate_safe_array(1);
    EXPECT_EQ(v.bytes(), std::vector<uint8_t>{9});
    ole_variant s(u"x");
    s.allocate_safe_array(0);
    EXPECT_EQ(s.get_type(), VT_BYTE_ARRAY);
    EXPECT_TRUE(s.bytes().empty());
}

TEST(ole_variant, AttachReplacesContent) {
    ole_variant v(std::vector<uint8_t>{1, 2});
    v.attach_string("caf\xC3\xA9");
    EXPECT_EQ(v.get_type(), VT_BSTR);
    EXPECT_EQ(v.bstr(), u"caf\u00e9");
    v.attach_wstring(std::u16string_view(u"a\0b", 3));
    EXPECT_EQ(v.bstr(), std::u16string(u"a\0b", 3));
    v.attach_binary(std::vector<uint8_t>{5});
    EXPECT_EQ(v.get_type(), VT_BYTE_ARRAY);
    EXPECT_EQ(v.bytes(), std::vector<uint8_t>{5});
    // Malformed UTF-8 is replaced, never fatal.
    v.attach_string("\xFF");
    EXPECT_EQ(v.bstr(), u"\uFFFD");
    expect_assertion([] { ole_variant().attach_binary(nullptr, 1); }, OLE_VAR_HEX "373335");
}

TEST(ole_variant, AccessorsCheckTheKind) {
    ole_variant v(1);
    EXPECT_THROW(v.bstr(), tk_mail_assertion);
    EXPECT_THROW(v.date(), tk_mail_assertion);
    EXPECT_THROW(v.i8(), tk_mail_assertion);
    EXPECT_EQ(v.mutable_bytes(), nullptr);
}

TEST(ole_variant, ExceptionsCarryTheirTexts) {
    ole_cast_exception c;
    EXPECT_STREQ(c.what(), "Cannot cast from source type to destination type");
    EXPECT_EQ(c.code(), 1);
    ole_type_exception t;
    EXPECT_STREQ(t.what(), "The operating type is not supported yet");
    EXPECT_EQ(t.code(), 1);
    const tk_exception& base = c;
    EXPECT_EQ(base.system_error(), 0u);
}

TEST(ole_variant, EqualityComparesContent) {
    EXPECT_EQ(ole_variant(u"a"), ole_variant("a"));
    EXPECT_NE(ole_variant(1), ole_variant(1u));  // kinds differ
    EXPECT_EQ(ole_variant(std::vector<uint8_t>{1}), ole_variant(std::vector<uint8_t>{1}));
    EXPECT_NE(ole_variant(std::vector<uint8_t>{1}), ole_variant(std::vector<uint8_t>{2}));
    EXPECT_EQ(ole_variant(), ole_variant());
}
