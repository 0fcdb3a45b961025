#include "ocilite/ocl_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

const unsigned char* u8(const char* s) {
    return reinterpret_cast<const unsigned char*>(s);
}

}  // namespace

TEST(ocl_text, CountsUtf16UnitsOfUtf8) {
    EXPECT_EQ(ocl_utf16_units(u8("abc"), 3), 3u);
    const char* mixed = "\xD0\x96\xE4\xB8\xAD\xF0\x9F\x98\x80";     // Ж 中 😀
    EXPECT_EQ(ocl_utf16_units(u8(mixed), std::strlen(mixed)), 4u);  // the emoji takes two
    EXPECT_EQ(ocl_utf16_units(u8("\xFF\xFE"), 2), 2u);  // each bad byte is one replacement
}

TEST(ocl_text, WritesUtf16WithoutSplittingACharacter) {
    const char* s =
        "a\xF0\x9F\x98\x80"
        "b";  // a 😀 b: 1 + 2 + 1 units
    unsigned char buf[16];
    size_t full = 0;
    size_t n = ocl_put_text(u8(s), std::strlen(s), true, buf, 4, &full);
    EXPECT_EQ(full, 8u);
    EXPECT_EQ(n, 2u);  // the pair does not fit into the 2 bytes left, so only 'a'
    n = ocl_put_text(u8(s), std::strlen(s), true, buf, 8, &full);
    ASSERT_EQ(n, 8u);
    char16_t w[4];
    std::memcpy(w, buf, 8);
    EXPECT_EQ(w[0], u'a');
    EXPECT_EQ(w[1], 0xD83D);
    EXPECT_EQ(w[2], 0xDE00);
    EXPECT_EQ(w[3], u'b');
}

TEST(ocl_text, ExactFitAndOverflowWithMultiByteCharacters) {
    // Ж (2 UTF-8 bytes, 1 unit), 中 (3, 1), 😀 (4, 2 units), a (1, 1):
    // 5 units, 10 bytes of UTF-16.
    const char* s =
        "\xD0\x96\xE4\xB8\xAD\xF0\x9F\x98\x80"
        "a";
    const size_t n = std::strlen(s);
    unsigned char buf[16];
    size_t full = 0;
    // Exactly filled: everything written, nothing missing.
    std::memset(buf, 0xEE, sizeof buf);
    EXPECT_EQ(ocl_put_text(u8(s), n, true, buf, 10, &full), 10u);
    EXPECT_EQ(full, 10u);
    char16_t w[5];
    std::memcpy(w, buf, 10);
    EXPECT_EQ(std::u16string(w, 5), u"\u0416\u4E2D\U0001F600a");
    EXPECT_EQ(buf[10], 0xEE);  // nothing past the room
    // One byte short: the last character goes, the full length stays.
    EXPECT_EQ(ocl_put_text(u8(s), n, true, buf, 9, &full), 8u);
    EXPECT_EQ(full, 10u);
    // Room for 3 units: the pair does not fit in the one unit left, and
    // nothing after it is written either.
    EXPECT_EQ(ocl_put_text(u8(s), n, true, buf, 6, &full), 4u);
    EXPECT_EQ(full, 10u);
    EXPECT_EQ(ocl_put_text(u8(s), n, true, buf, 0, &full), 0u);
    EXPECT_EQ(full, 10u);
    // The same text as UTF-8: 10 bytes exactly, then 9 (the 'a' goes), 8
    // and 6 (the emoji's 4 bytes do not fit in the 3 left after Ж and 中,
    // 5 bytes).
    EXPECT_EQ(ocl_put_text(u8(s), n, false, buf, 10, &full), 10u);
    EXPECT_EQ(full, 10u);
    EXPECT_EQ(std::memcmp(buf, s, 10), 0);
    EXPECT_EQ(ocl_put_text(u8(s), n, false, buf, 9, &full), 9u);
    EXPECT_EQ(ocl_put_text(u8(s), n, false, buf, 8, &full), 5u);
    EXPECT_EQ(full, 10u);
}

// The rule, one character at a time: the longest run of whole characters
// that fits, and the length of all of them.
struct put_result {
    std::u16string units;
    size_t full;
};
put_result put_model(const std::string& text, size_t cap) {
    const std::u16string all = ocl_utf8_to_utf16(text);
    put_result r{u"", all.size() * 2};
    for (size_t i = 0; i < all.size();) {
        const bool pair = all[i] >= 0xD800 && all[i] <= 0xDBFF;
        const size_t len = pair ? 2 : 1;
        if ((r.units.size() + len) * 2 > cap)
            break;
        r.units.append(all, i, len);
        i += len;
    }
    return r;
}

TEST(ocl_text, AgreesWithTheCharacterRuleForEveryRoom) {
    // Texts mixing ASCII runs (long enough for the eight-byte steps),
    // 2-, 3- and 4-byte characters and malformed bytes, written into every
    // room from 0 to past their length, odd rooms included.
    const char* pieces[] = {"a",        "abcdefghij",   "0123456789012345", "\xD0\x96", "\xCE\xA3",
                            " ",        "\xE4\xB8\xAD", "\xF0\x9F\x98\x80", "\xFF",     "\xE4\xB8",
                            "\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80"};
    uint32_t state = 99;
    auto next = [&state] {
        state = state * 1103515245u + 12345u;
        return state >> 16;
    };
    std::vector<unsigned char> buf(512);
    for (int round = 0; round < 600; ++round) {
        std::string text;
        const size_t count = next() % 12;
        for (size_t k = 0; k < count; ++k) text += pieces[next() % 13];
        const size_t need = ocl_utf8_to_utf16(text).size() * 2;
        for (size_t cap = 0; cap <= need + 3; ++cap) {
            const put_result want = put_model(text, cap);
            std::fill(buf.begin(), buf.end(), 0xEE);
            size_t full = 0;
            const size_t n =
                ocl_put_text(u8(text.c_str()), text.size(), true, buf.data(), cap, &full);
            ASSERT_EQ(n, want.units.size() * 2) << "round " << round << " cap " << cap;
            ASSERT_EQ(full, want.full);
            std::u16string got(n / 2, u'\0');
            std::memcpy(got.data(), buf.data(), n);
            ASSERT_EQ(got, want.units) << "round " << round << " cap " << cap;
            ASSERT_EQ(buf[n], 0xEE);
        }
    }
}

TEST(ocl_text, WritesUtf8WithoutSplittingACharacter) {
    const char* s = "\xD0\x96\xD0\x96";  // ЖЖ
    unsigned char buf[8];
    size_t full = 0;
    EXPECT_EQ(ocl_put_text(u8(s), 4, false, buf, 3, &full), 2u);
    EXPECT_EQ(full, 4u);
    // Malformed input comes out well formed.
    EXPECT_EQ(ocl_put_text(u8("\xC3"), 1, false, buf, 8, &full), 3u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), 3), "\xEF\xBF\xBD");
}

TEST(ocl_text, HexOfBytes) {
    const unsigned char bytes[] = {0x01, 0xAB, 0xFF};
    unsigned char buf[16];
    size_t full = 0;
    size_t n = ocl_put_hex(bytes, 3, false, buf, sizeof buf, &full);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), n), "01ABFF");
    EXPECT_EQ(full, 6u);
    n = ocl_put_hex(bytes, 3, true, buf, 7, &full);  // three whole characters fit
    EXPECT_EQ(n, 6u);
    EXPECT_EQ(full, 12u);
    char16_t w[3];
    std::memcpy(w, buf, 6);
    EXPECT_EQ(w[0], u'0');
    EXPECT_EQ(w[2], u'A');
}

TEST(ocl_text, ConversionsRoundTrip) {
    std::string s = "Καλημέρα 中文 \xF0\x9F\x98\x80";
    std::u16string w = ocl_utf8_to_utf16(s);
    EXPECT_EQ(ocl_utf16_to_utf8(reinterpret_cast<const unsigned char*>(w.data()), w.size()), s);
    EXPECT_EQ(ocl_ascii_upper("emp_Ä1"), "EMP_Ä1");  // only ASCII letters change
    EXPECT_TRUE(ocl_ascii_iequal("v$Version", "V$VERSION"));
    EXPECT_FALSE(ocl_ascii_iequal("EMP", "EMPS"));
}
