#include "TK/tk_utf.h"

#include <gtest/gtest.h>

#include <vector>

TEST(tk_utf, RoundTripsBmpAndSupplementary) {
    std::string s = "A\xC3\xA4\xCE\xA3\xE4\xB8\xAD\xF0\x9F\x98\x80";  // A ä Σ 中 😀
    std::u16string w = tk::utf8_to_utf16(s);
    ASSERT_EQ(w.size(), 6u);  // the emoji is a surrogate pair
    EXPECT_EQ(w[1], 0x00E4);
    EXPECT_EQ(w[4], 0xD83D);
    EXPECT_EQ(tk::utf16_to_utf8(w), s);
}

TEST(tk_utf, MalformedInputIsReplacedNotFatal) {
    // truncated sequence, overlong form, encoded surrogate, stray continuation
    std::string bad =
        "a\xE4\xB8"
        "b\xC0\xAF"
        "c\xED\xA0\x80"
        "d\x80";
    std::u16string w = tk::utf8_to_utf16(bad);
    EXPECT_EQ(w.front(), u'a');
    EXPECT_EQ(w.back(), 0xFFFD);
    EXPECT_NE(w.find(u'b'), std::u16string::npos);
    EXPECT_NE(w.find(u'c'), std::u16string::npos);
    EXPECT_FALSE(tk::is_valid_utf8(bad));
    EXPECT_TRUE(tk::is_valid_utf8("plain \xC3\xA4"));
    // A lone surrogate in UTF-16 becomes U+FFFD in UTF-8.
    std::u16string lone = {u'x', 0xD800, u'y'};
    EXPECT_EQ(tk::utf16_to_utf8(lone), "x\xEF\xBF\xBDy");
}

TEST(tk_utf, AsciiRunsOfEveryLengthAroundOtherSequences) {
    // Runs of 0 to 17 ASCII bytes, each followed by a two-, three- or
    // four-byte sequence or a malformed byte, so that every sequence falls at
    // every place of the eight-byte steps.
    const char* const others[] = {"\xC3\xA4", "\xE4\xB8\xAD", "\xF0\x9F\x98\x80", "\xFF"};
    const std::u16string others16[] = {u"\u00E4", u"\u4E2D", u"\U0001F600", u"\uFFFD"};
    std::string in;
    std::u16string want;
    for (int run = 0; run < 18; ++run) {
        for (int k = 0; k < 4; ++k) {
            for (int i = 0; i < run; ++i) {
                in.push_back(static_cast<char>('a' + (run + i) % 26));
                want.push_back(static_cast<char16_t>(u'a' + (run + i) % 26));
            }
            in += others[k];
            want += others16[k];
        }
    }
    EXPECT_EQ(tk::utf8_to_utf16(in), want);
    // A sequence cut by the end: each of its bytes is replaced.
    EXPECT_EQ(tk::utf8_to_utf16(in.substr(0, 8)), u"\u00E4\u4E2D\uFFFD\uFFFD\uFFFD");
}

TEST(tk_utf, Cp1252MapsTheC1RangeBothWays) {
    std::string euro = "\x80\x9F\xE9";
    std::u16string w = tk::cp1252_to_utf16(euro);
    EXPECT_EQ(w, (std::u16string{0x20AC, 0x0178, 0x00E9}));
    bool lossy = true;
    EXPECT_EQ(tk::utf16_to_cp1252(w, '?', &lossy), euro);
    EXPECT_FALSE(lossy);
    std::u16string greek_and_emoji = {0x03A3, 0xD83D, 0xDE00, u'z'};
    EXPECT_EQ(tk::utf16_to_cp1252(greek_and_emoji, '?', &lossy), "??z");
    EXPECT_TRUE(lossy);
}

TEST(tk_utf, Cp1252FromUnitIsTheInverseOfTheByteTable) {
    // Every byte decodes to one unit and that unit maps back to the byte;
    // every other unit has no byte.
    std::string all(256, '\0');
    for (int b = 0; b < 256; ++b) all[b] = static_cast<char>(b);
    const std::u16string units = tk::cp1252_to_utf16(all);
    ASSERT_EQ(units.size(), 256u);
    std::vector<int> expected(0x10000, -1);
    for (int b = 0; b < 256; ++b) {
        ASSERT_EQ(expected[units[b]], -1) << "two bytes decode to U+" << std::hex << int(units[b]);
        expected[units[b]] = b;
    }
    for (uint32_t c = 0; c < 0x10000; ++c)
        ASSERT_EQ(tk::cp1252_from_unit(static_cast<char16_t>(c)), expected[c]) << std::hex << c;
    // Spot checks against the code page chart.
    EXPECT_EQ(tk::cp1252_from_unit(0x20AC), 0x80);  // euro sign
    EXPECT_EQ(tk::cp1252_from_unit(0x2122), 0x99);  // trade mark sign, the highest unit
    EXPECT_EQ(tk::cp1252_from_unit(0x0081), 0x81);  // undefined byte, kept as its C1 control
    EXPECT_EQ(tk::cp1252_from_unit(0x0080), -1);    // the C1 control whose byte is the euro
    EXPECT_EQ(tk::cp1252_from_unit(0x0416), -1);    // Cyrillic Zhe
    EXPECT_EQ(tk::cp1252_from_unit(0x2123), -1);
}
