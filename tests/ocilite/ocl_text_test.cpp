#include "ocilite/ocl_text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

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
