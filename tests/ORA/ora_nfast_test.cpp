// The plain-number reader against the general parse it stands in for: on
// every text it accepts, the value must be the one from_string gives, bit
// for bit.
#include "ORA/ora_nfast.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "OLE/ole_types.h"

namespace {

const uint16_t kKinds[] = {VT_I1, VT_I2, VT_I4, VT_I8, VT_DECIMAL, VT_R8};

// Same kind, same content; doubles also by sign (from_string's -0 stays -0).
::testing::AssertionResult same(const ole_variant& a, const ole_variant& b) {
    if (!(a == b))
        return ::testing::AssertionFailure()
               << "kinds " << a.get_type() << " / " << b.get_type() << ", texts '" << a.to_string()
               << "' / '" << b.to_string() << "'";
    if (a.get_type() == VT_R8 && std::signbit(a.to_double()) != std::signbit(b.to_double()))
        return ::testing::AssertionFailure() << "signs of zero differ";
    return ::testing::AssertionSuccess();
}

// Runs the fast reader on a copy of `text`; when it accepts, checks its
// value against the general parse. Returns whether it accepted.
bool check(const std::string& text, uint16_t kind) {
    std::string copy = text;
    ole_variant fast;
    if (!ora_parse_plain_number(copy.data(), copy.size(), kind, fast))
        return false;
    const ole_variant general = ole_variant::from_string(text, kind);
    EXPECT_TRUE(same(fast, general)) << "text '" << text << "', kind " << kind;
    return true;
}

// A number text as OCI writes them, and variations around the edges of the
// fast forms: sign, leading and trailing zeros, separators, up to 20 digits.
std::string plain_number(std::mt19937_64& rng) {
    std::string s;
    if (rng() % 3 == 0)
        s += '-';
    const int digits = 1 + static_cast<int>(rng() % 20);
    // No separator in a third of the texts (the integer kinds take only
    // those), else one before, among or after the digits.
    const int point = rng() % 3 == 0 ? -1 : static_cast<int>(rng() % (digits + 1));
    const char sep = rng() % 4 == 0 ? ',' : '.';
    for (int i = 0; i < digits; ++i) {
        if (i == point)
            s += sep;
        const uint64_t r = rng() % 10;
        s += r < 3 ? '0' : (r < 5 ? '9' : static_cast<char>('0' + rng() % 10));
    }
    if (point == digits)
        s += sep;
    return s;
}

// Any short text over the characters number texts are made of.
std::string noise(std::mt19937_64& rng) {
    static const char alphabet[] = "0123456789-+.,eE 0019";
    std::string s(rng() % 9, ' ');
    for (char& c : s) c = alphabet[rng() % (sizeof alphabet - 1)];
    return s;
}

}  // namespace

TEST(ora_nfast, AgreesWithTheGeneralParseOnGeneratedTexts) {
    std::mt19937_64 rng(20261208);
    int accepted[6] = {};
    for (int round = 0; round < 60000; ++round) {
        const std::string text = round % 4 == 3 ? noise(rng) : plain_number(rng);
        for (int k = 0; k < 6; ++k) accepted[k] += check(text, kKinds[k]);
    }
    // Boundaries: the 18-digit limit, the 32-bit saturation of the small
    // kinds, the largest 64-bit values.
    const char* edges[] = {"2147483647",
                           "2147483648",
                           "-2147483648",
                           "-2147483649",
                           "32767",
                           "32768",
                           "-32769",
                           "127",
                           "128",
                           "-129",
                           "255",
                           "999999999999999999",
                           "-999999999999999999",
                           "1000000000000000000",
                           "9223372036854775807",
                           "0",
                           "-0",
                           "000",
                           "-0.000",
                           ".5",
                           "-.5",
                           "5.",
                           ",25",
                           "0.000000000000000001",
                           "12345678.901234567",
                           "1.5E+20",
                           "1e-7",
                           "",
                           "-",
                           ".",
                           "1..2",
                           "1.2.3",
                           " 1",
                           "1 ",
                           "+1",
                           "--1"};
    for (const char* e : edges)
        for (uint16_t kind : kKinds) check(e, kind);
    // The common forms do take the fast way.
    for (int k = 0; k < 6; ++k) EXPECT_GT(accepted[k], 10000) << "kind " << kKinds[k];
}

TEST(ora_nfast, KeepsTheWrittenScaleAndSaturatesLikeAtoi) {
    char text[32];
    auto read = [&](const char* s, uint16_t kind) {
        std::snprintf(text, sizeof text, "%s", s);
        ole_variant v;
        EXPECT_TRUE(ora_parse_plain_number(text, std::strlen(text), kind, v)) << s;
        return v;
    };
    const DECIMAL d = read("-1234.50", VT_DECIMAL).decimal();
    EXPECT_EQ(d.scale, 2);
    EXPECT_EQ(d.sign, DECIMAL_NEG);
    EXPECT_EQ(d.Hi32, 0u);
    EXPECT_EQ(d.Lo64, 123450u);
    const DECIMAL z = read("-0.00", VT_DECIMAL).decimal();  // a zero: no sign, no scale
    EXPECT_EQ(z.scale, 0);
    EXPECT_EQ(z.sign, 0);
    EXPECT_EQ(z.Lo64, 0u);
    EXPECT_EQ(read("0,05", VT_DECIMAL).decimal().scale, 2);
    EXPECT_TRUE(read("99999999999", VT_I4) == ole_variant(2147483647));
    EXPECT_TRUE(read("-99999999999", VT_I4) == ole_variant(-2147483647 - 1));
    EXPECT_TRUE(read("40000", VT_I2) == ole_variant(static_cast<short>(40000 - 65536)));
    EXPECT_TRUE(read("-7", VT_I1) == ole_variant(static_cast<signed char>(-7)));
    EXPECT_TRUE(read("123456789012345678", VT_I8) == ole_variant(123456789012345678LL));
    EXPECT_TRUE(read("2,5", VT_R8) == ole_variant(2.5));
    // Texts outside the fast forms are left to the general parse.
    ole_variant untouched(42);
    for (const char* s : {"1.5", "1e3", " 7", "1234567890123456789"}) {
        std::snprintf(text, sizeof text, "%s", s);
        EXPECT_FALSE(ora_parse_plain_number(text, std::strlen(text), VT_I4, untouched)) << s;
    }
    std::snprintf(text, sizeof text, "12");
    EXPECT_FALSE(ora_parse_plain_number(text, 2, VT_BSTR, untouched));
    EXPECT_TRUE(untouched == ole_variant(42));
}
