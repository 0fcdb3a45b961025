// Sheet names: legality, case-blind equality, BIFF5 encoding.
#include "jet/jet_name.h"

#include <gtest/gtest.h>

#include <set>

#include "TK/tk_cpage.h"
#include "TK/tk_utf.h"

TEST(jet_name, legal_sheet_names) {
    EXPECT_TRUE(jet_valid_sheet_name(u"Sheet1"));
    EXPECT_TRUE(jet_valid_sheet_name(std::u16string(31, u'a')));
    EXPECT_TRUE(jet_valid_sheet_name(u"it's"));
    EXPECT_FALSE(jet_valid_sheet_name(u""));
    EXPECT_FALSE(jet_valid_sheet_name(std::u16string(32, u'a')));
    for (const char16_t* bad :
         {u"a:b", u"a\\b", u"a/b", u"a?b", u"a*b", u"a[b", u"a]b", u"'ab", u"ab'"})
        EXPECT_FALSE(jet_valid_sheet_name(bad)) << tk::utf16_to_utf8(bad);
}

TEST(jet_name, names_compare_regardless_of_case) {
    EXPECT_TRUE(jet_same_name(u"Orders", u"ORDERS"));
    EXPECT_TRUE(jet_same_name(u"\u00e9t\u00e9", u"\u00c9T\u00c9"));              // Latin-1
    EXPECT_TRUE(jet_same_name(u"\u0142\u00f3d\u017a", u"\u0141\u00d3D\u0179"));  // Latin Extended-A
    EXPECT_TRUE(
        jet_same_name(u"\u0437\u0430\u043a\u0430\u0437", u"\u0417\u0410\u041a\u0410\u0417"));
    EXPECT_TRUE(jet_same_name(u"\u03b1\u03c2", u"\u0391\u03a3"));
    EXPECT_TRUE(jet_same_name(u"\u00ff", u"\u0178"));
    EXPECT_FALSE(jet_same_name(u"Orders", u"Orders2"));
    EXPECT_FALSE(jet_same_name(u"a", u"b"));
}

TEST(jet_name, biff5_names_stay_legal_and_unique) {
    std::set<std::u16string> taken;
    auto is_taken = [&](std::u16string_view n) {
        for (const auto& t : taken)
            if (jet_same_name(t, n))
                return true;
        return false;
    };
    tk_codepage cp(1252);
    size_t lost = 0;
    // Encodable names pass unchanged, Windows-1252 characters included.
    EXPECT_EQ(jet_biff5_sheet_name(u"Caf\u00e9 \u20ac", cp, is_taken, &lost), "Caf\xe9 \x80");
    // A character 1252 lacks becomes "_", never "?".
    const std::string a =
        jet_biff5_sheet_name(u"\u0417\u0430\u043a\u0430\u0437", cp, is_taken, &lost);
    EXPECT_EQ(a, "_____");
    EXPECT_EQ(lost, 5u);
    taken.insert(tk::cp1252_to_utf16(a));
    // The next name that encodes the same gets a numbered form.
    const std::string b = jet_biff5_sheet_name(u"\u0422\u043e\u0432\u0430\u0440", cp, is_taken);
    EXPECT_EQ(b, "_____00001");
    taken.insert(tk::cp1252_to_utf16(b));
    const std::string c = jet_biff5_sheet_name(u"\u041a\u043b\u0438\u0435\u043d", cp, is_taken);
    EXPECT_EQ(c, "_____00002");
    // A long name is cut so that the suffix fits in 31 characters.
    taken.insert(tk::cp1252_to_utf16(std::string(31, '_')));
    const std::string d = jet_biff5_sheet_name(std::u16string(31, u'\u4e00'), cp, is_taken);
    EXPECT_EQ(d.size(), 31u);
    EXPECT_EQ(d.substr(26), "00001");
    EXPECT_TRUE(jet_valid_sheet_name(tk::cp1252_to_utf16(d)));
    // A surrogate pair is one character.
    EXPECT_EQ(jet_biff5_sheet_name(u"x\U0001F600y", cp, is_taken), "x_y");
    // In the code page of the workbook the same names keep their letters,
    // and a double-byte name is cut by characters.
    tk_codepage cyrillic(1251);
    EXPECT_EQ(jet_biff5_sheet_name(u"\u0417\u0430\u043a\u0430\u0437", cyrillic, is_taken),
              "\xc7\xe0\xea\xe0\xe7");
    tk_codepage japanese(932);
    taken.insert(std::u16string(30, u'\u4e00') + u"_");
    const std::string e =
        jet_biff5_sheet_name(std::u16string(30, u'\u4e00') + u"\U0001F600", japanese, is_taken);
    EXPECT_EQ(japanese.decode(e), std::u16string(26, u'\u4e00') + u"00001");
}
