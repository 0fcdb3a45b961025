// The number reader: where a column's kind holds a value exactly, the value
// is the one the general parse (from_string) gives, bit for bit; any other
// value comes out as a double of the same value; a text that is no number
// is refused.
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

// Reads `text` as `kind`; where the result has the kind itself and the text
// is a plain form the general parse reads exactly (at most 18 digits, no
// exponent, or any kind VT_R8), checks it against that parse. Returns
// whether the text was read with the column's own kind.
bool check(const std::string& text, uint16_t kind) {
    ole_variant value;
    if (!ora_read_number(text.data(), text.size(), kind, value))
        return false;
    if (value.get_type() != kind)
        return false;
    size_t digits = 0;
    for (char c : text) digits += c >= '0' && c <= '9';
    const bool plain = text.find_first_of(" +") == std::string::npos;
    if (plain &&
        (kind == VT_R8 || (digits <= 18 && text.find_first_of("eE") == std::string::npos))) {
        const ole_variant general = ole_variant::from_string(text, kind);
        EXPECT_TRUE(same(value, general)) << "text '" << text << "', kind " << kind;
    }
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

TEST(ora_nfast, AgreesWithTheGeneralParseWithinTheKind) {
    std::mt19937_64 rng(20261208);
    int accepted[6] = {};
    for (int round = 0; round < 60000; ++round) {
        const std::string text = round % 4 == 3 ? noise(rng) : plain_number(rng);
        for (int k = 0; k < 6; ++k) accepted[k] += check(text, kKinds[k]);
    }
    // Boundaries: the ranges of the integer kinds, the largest 64-bit
    // values, zeros and separators.
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
    // Every kind reads a good share of the texts as its own kind.
    for (int k = 0; k < 6; ++k) EXPECT_GT(accepted[k], 5000) << "kind " << kKinds[k];
}

TEST(ora_nfast, NeverChangesAValueAndRefusesTextsThatAreNoNumbers) {
    auto read = [](const char* s, uint16_t kind) {
        ole_variant v;
        EXPECT_TRUE(ora_read_number(s, std::strlen(s), kind, v)) << s;
        return v;
    };
    const DECIMAL d = read("-1234.50", VT_DECIMAL).decimal();  // the written scale stays
    EXPECT_EQ(d.scale, 2);
    EXPECT_EQ(d.sign, DECIMAL_NEG);
    EXPECT_EQ(d.Lo64, 123450u);
    const DECIMAL wide = read("12345678901234567890.12", VT_DECIMAL).decimal();
    EXPECT_EQ(wide.scale, 2);
    EXPECT_EQ((static_cast<unsigned __int128>(wide.Hi32) << 64) | wide.Lo64,
              static_cast<unsigned __int128>(1234567890123456789ull) * 1000 + 12);
    EXPECT_EQ(read("0,05", VT_DECIMAL).decimal().scale, 2);
    // Within the kind: the kind's own value.
    EXPECT_TRUE(read("127", VT_I1) == ole_variant(static_cast<signed char>(127)));
    EXPECT_TRUE(read("-128", VT_I1) == ole_variant(static_cast<signed char>(-128)));
    EXPECT_TRUE(read(" +1.5E+3 ", VT_I4) == ole_variant(1500));
    EXPECT_TRUE(read("2147483647", VT_I4) == ole_variant(2147483647));
    EXPECT_TRUE(read("9223372036854775807", VT_I8) == ole_variant(9223372036854775807LL));
    // Beyond the kind, or a fraction it cannot hold: the same value as a double.
    const struct {
        const char* text;
        uint16_t kind;
        double value;
    } wider[] = {{"300", VT_I1, 300},
                 {"-129", VT_I1, -129},
                 {"40000", VT_I2, 40000},
                 {"3.7", VT_I4, 3.7},
                 {"9999999999", VT_I4, 9999999999.0},
                 {"100000000000000000000", VT_I8, 1e20},
                 {"1E+308", VT_DECIMAL, 1e308},
                 {"1E-30", VT_DECIMAL, 1e-30}};
    for (const auto& c : wider) {
        const ole_variant v = read(c.text, c.kind);
        EXPECT_EQ(v.get_type(), VT_R8) << c.text;
        EXPECT_EQ(v.to_double(), c.value) << c.text;
    }
    // More digits than a double keeps and beyond the kind: the exact digits,
    // never a rounded double.
    const struct {
        const char* text;
        uint16_t kind;
        const char16_t* digits;
    } exact[] = {{"9223372036854775808", VT_I8, u"9223372036854775808"},
                 {"9007199254740993", VT_R8, u"9007199254740993"},
                 {"12345678901234567890123456789012345678", VT_R8,
                  u"12345678901234567890123456789012345678"},
                 {"-.1234567890123456789", VT_R8, u"-0.1234567890123456789"},
                 {"1,2345678901234567", VT_DECIMAL, nullptr},
                 {"1.2345678901234567E+25", VT_R8, u"12345678901234567000000000"},
                 {"1.2345678901234567E-25", VT_DECIMAL, u"1.2345678901234567E-25"},
                 {"123456789012345678.9", VT_I8, u"123456789012345678.9"}};
    for (const auto& c : exact) {
        const ole_variant v = read(c.text, c.kind);
        if (!c.digits) {  // the kind holds it exactly
            EXPECT_EQ(v.get_type(), c.kind) << c.text;
            continue;
        }
        ASSERT_EQ(v.get_type(), VT_BSTR) << c.text;
        EXPECT_EQ(v.bstr(), c.digits) << c.text;
    }
    // Fifteen digits (trailing zeros not counted) a double still keeps.
    EXPECT_EQ(read("123456789012345", VT_R8).get_type(), VT_R8);
    EXPECT_EQ(read("1234567890123450000000", VT_R8).get_type(), VT_R8);
    // No number at all (an infinity's text is "~"), or beyond a double.
    ole_variant untouched(42);
    for (const char* s : {"abc", "12abc", "~", "-~", "", " ", "-", ".", "1e", "--1", "1..2",
                          "1.2.3", "NaN", "inf", "0x10", "1e400"}) {
        for (uint16_t kind : kKinds)
            EXPECT_FALSE(ora_read_number(s, std::strlen(s), kind, untouched)) << s;
    }
    EXPECT_FALSE(ora_read_number("12", 2, VT_BSTR, untouched));
    EXPECT_TRUE(untouched == ole_variant(42));
}
