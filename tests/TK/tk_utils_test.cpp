#include "TK/tk_utils.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>

#include "tk_test_util.h"

TEST(tk_utils, TrimsRemoveBlanksOnly) {
    std::string three = "   ";
    EXPECT_EQ(tk_rtrim(three), "");
    std::string s = "  a b ";
    EXPECT_EQ(tk_ltrim(s), "a b ");  // inner and trailing blank kept
    std::string r = "  a b  ";
    EXPECT_EQ(tk_rtrim(r), "  a b");
    std::string t = " \t x \t ";
    EXPECT_EQ(tk_trim(t), "\t x \t");  // tabs are not blanks
    std::string empty;
    EXPECT_EQ(tk_trim(empty), "");

    std::u16string w = u"  \u00e4 \u00f6  ";
    EXPECT_EQ(tk_trim(w), u"\u00e4 \u00f6");
    std::u16string wb = u"    ";
    EXPECT_EQ(tk_rtrim(wb), u"");
    std::u16string wl = u"  a b ";
    EXPECT_EQ(tk_ltrim(wl), u"a b ");
    // A no-break space is not a blank.
    std::u16string nb = u"\u00a0x\u00a0";
    EXPECT_EQ(tk_trim(nb), u"\u00a0x\u00a0");
}

TEST(tk_utils, AllBlankRightTrimIsTraced) {
    tk_test::trace_capture cap;
    std::string s = "  ";
    tk_rtrim(s);
    EXPECT_TRUE(cap.has_line("Special processing for all-spaces-string"));
}

TEST(tk_utils, ToUpperWorksInPlaceWhateverTheProcessLocale) {
    // The process locale is plain "C", under which the C library's own
    // towupper only knows ASCII.
    std::setlocale(LC_ALL, "C");
    tk_wstring s(u"stra\u00dfe \u00e4\u00f6\u00fc \u03c3\u03c2 \u0444 \u0131 \U00010428 ok");
    std::u16string copy = s.to_upper();
    // Simple mappings: sharp s stays, final sigma becomes capital sigma,
    // dotless i becomes I, the Deseret letter (a surrogate pair) its capital.
    std::u16string expected = u"STRA\u00dfE \u00c4\u00d6\u00dc \u03a3\u03a3 \u0424 I \U00010400 OK";
    EXPECT_EQ(copy, expected);
    EXPECT_EQ(static_cast<const std::u16string&>(s), expected);
    // Lone surrogates and unassigned code points pass unchanged.
    std::u16string odd = {0xD800, u'a', 0xDC00, 0xFFFF};
    EXPECT_EQ(tk_upper(odd), (std::u16string{0xD800, u'A', 0xDC00, 0xFFFF}));
}

TEST(tk_utils, NoCaseEqualityFoldsUnicodeLetters) {
    std::setlocale(LC_ALL, "C");
    EXPECT_TRUE(tk_equal_nocase(u"Name", u"NAME"));
    EXPECT_TRUE(tk_equal_nocase(u"\u00c4rger", u"\u00e4RGER"));
    EXPECT_TRUE(tk_equal_nocase(u"\u03a3\u03c3\u03c2", u"\u03c3\u03c2\u03a3"));
    EXPECT_TRUE(tk_equal_nocase(u"\u0416\u0423\u041a", u"\u0436\u0443\u043a"));
    EXPECT_TRUE(tk_equal_nocase(u"\u212a", u"k"));                 // Kelvin sign
    EXPECT_TRUE(tk_equal_nocase(u"\u01c5", u"\u01c4"));            // titlecase digraph
    EXPECT_TRUE(tk_equal_nocase(u"\U00010400x", u"\U00010428X"));  // same high surrogate
    EXPECT_TRUE(tk_equal_nocase(u"", u""));

    EXPECT_FALSE(tk_equal_nocase(u"Name", u"Names"));
    EXPECT_FALSE(tk_equal_nocase(u"Names", u"Name"));
    EXPECT_FALSE(tk_equal_nocase(u"\u00e4", u"a"));
    EXPECT_FALSE(tk_equal_nocase(u"\u0130", u"i"));  // the Turkish I's stay apart
    EXPECT_FALSE(tk_equal_nocase(u"\u0131", u"I"));
    EXPECT_FALSE(tk_equal_nocase(u"\U00010400", u"\U00010401"));
    EXPECT_FALSE(tk_equal_nocase(u"a_b", u"a-b"));
}

TEST(tk_utils, NoCaseCompareOrdersByFoldedCodePoints) {
    EXPECT_LT(tk_compare_nocase(u"apple", u"BANANA"), 0);
    EXPECT_GT(tk_compare_nocase(u"Banana", u"apple"), 0);
    EXPECT_EQ(tk_compare_nocase(u"EMP", u"emp"), 0);
    EXPECT_LT(tk_compare_nocase(u"ab", u"ABC"), 0);
    EXPECT_GT(tk_compare_nocase(u"abc", u"AB"), 0);
    // '_' (0x5F) lies between the upper and lower case letters; folding to
    // lower case puts it before every letter.
    EXPECT_LT(tk_compare_nocase(u"A_", u"aa"), 0);
    EXPECT_GT(tk_compare_nocase(u"\u00e9", u"Z"), 0);
    // Antisymmetric over a mixed sample.
    const char16_t* names[] = {u"a",       u"B",          u"\u00c4", u"\u03c3",
                               u"\u03a3x", u"\U00010400", u"z",      u""};
    for (auto* x : names) {
        for (auto* y : names) {
            int xy = tk_compare_nocase(x, y), yx = tk_compare_nocase(y, x);
            EXPECT_EQ(xy<0, yx> 0);
            EXPECT_EQ(xy == 0, tk_equal_nocase(x, y));
        }
    }
}

TEST(tk_utils, NoCaseCompareAllocatesNothing) {
    std::u16string a = u"\u00c4\u00d6\u00dc_\u03a3\u03a3\u03a3_\U00010400_COLUMN_NAME_0123456789";
    std::u16string b = u"\u00e4\u00f6\u00fc_\u03c3\u03c2\u03c3_\U00010428_column_name_0123456789";
    tk_equal_nocase(a, b);  // the case tables are set up before counting
    long before = tk_test::allocations();
    int equal = 0;
    for (int i = 0; i < 1000; ++i) {
        equal += tk_equal_nocase(a, b);
        equal += tk_compare_nocase(b, a) == 0;
    }
    EXPECT_EQ(tk_test::allocations(), before);
    EXPECT_EQ(equal, 2000);
}
