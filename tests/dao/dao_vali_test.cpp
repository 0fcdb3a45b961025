// Naming rules of the workbook: worksheet names (xls_tn_validator, with the
// rules Excel enforces on opening a workbook) and column / index names
// (dao_validator and its two seeded forms).
#include "dao/dao_vali.h"

#include <gtest/gtest.h>

#include <random>

#include "TK/tk_utf.h"
#include "jet/jet_name.h"

namespace {

std::u16string repeat(char16_t c, size_t n) {
    return std::u16string(n, c);
}

bool encodable_1252(const std::u16string& s) {
    for (char16_t c : s)
        if (tk::cp1252_from_unit(c) < 0)
            return false;
    return true;
}

TEST(XlsTnValidator, AcceptsLegalNamesUpTo31Characters) {
    xls_tn_validator v;
    EXPECT_TRUE(v.is_acceptable(u"EMP"));
    EXPECT_TRUE(v.is_acceptable(u"O'Brien"));  // an apostrophe inside is fine
    EXPECT_TRUE(v.is_acceptable(u"with space"));
    EXPECT_TRUE(v.is_acceptable(repeat(u'a', 31)));
    EXPECT_FALSE(v.is_acceptable(repeat(u'a', 32)));
    EXPECT_FALSE(v.is_acceptable(u""));
    EXPECT_EQ(v.max_len(), 31);
}

TEST(XlsTnValidator, EightIllegalCharactersBecomeUnderscores) {
    xls_tn_validator v;
    for (char16_t c : std::u16string(u"\\?*:$[]/")) {
        const std::u16string name = std::u16string(u"a") + c + u"b";
        EXPECT_FALSE(v.is_acceptable(name)) << static_cast<int>(c);
        EXPECT_EQ(v.get_safe_name(name), u"a_b") << static_cast<int>(c);
    }
    // Nothing else is replaced.
    EXPECT_EQ(v.get_safe_name(u"a.b!c`d#e"), u"a.b!c`d#e");
}

TEST(XlsTnValidator, LeadingAndTrailingApostrophesAreDropped) {
    xls_tn_validator v;
    EXPECT_FALSE(v.is_acceptable(u"'EMP"));
    EXPECT_FALSE(v.is_acceptable(u"EMP'"));
    EXPECT_FALSE(v.is_acceptable(u"'EMP'"));
    EXPECT_EQ(v.get_safe_name(u"'EMP'"), u"EMP");
    EXPECT_EQ(v.get_safe_name(u"''EMP'"), u"EMP");
    EXPECT_EQ(v.get_safe_name(u"'O'Brien'"), u"O'Brien");
}

TEST(XlsTnValidator, NameLeftEmptyGetsAGeneratedOne) {
    xls_tn_validator v;
    EXPECT_EQ(v.get_safe_name(u"''"), u"00000");
    v.add_existing_name(u"00000");
    EXPECT_EQ(v.get_safe_name(u""), u"00001");
    EXPECT_EQ(v.get_safe_name(u"'"), u"00001");
}

TEST(XlsTnValidator, LongNamesAreCutAndNumberedWhenTaken) {
    xls_tn_validator v;
    const std::u16string long_name = repeat(u'N', 40);
    EXPECT_EQ(v.get_safe_name(long_name), repeat(u'N', 30));
    v.add_existing_name(repeat(u'N', 30));
    EXPECT_EQ(v.get_safe_name(long_name), repeat(u'N', 25) + u"00000");
    // A query name of 2,048 characters with slashes.
    std::u16string query = u"select/from" + repeat(u'x', 2037);
    const std::u16string safe = v.get_safe_name(query);
    EXPECT_EQ(safe, u"select_from" + repeat(u'x', 19));
    EXPECT_TRUE(v.is_acceptable(safe));
}

TEST(XlsTnValidator, CutThatEndsInApostropheIsNumbered) {
    xls_tn_validator v;
    // The cut to 30 leaves an apostrophe at the end: refused, so the name is
    // cut to 25 and numbered.
    const std::u16string name = repeat(u'a', 29) + u"'" + repeat(u'b', 10);
    const std::u16string safe = v.get_safe_name(name);
    EXPECT_EQ(safe, repeat(u'a', 25) + u"00000");
    EXPECT_TRUE(jet_valid_sheet_name(safe));
}

TEST(XlsTnValidator, SeededNamesAreTakenRegardlessOfCase) {
    xls_tn_validator v({u"EMP"}, {u"Dept"});
    EXPECT_TRUE(v.is_duplicated(u"emp"));
    EXPECT_TRUE(v.is_duplicated(u"DEPT"));
    EXPECT_FALSE(v.is_duplicated(u"SALGRADE"));
    EXPECT_EQ(v.get_safe_name(u"emp"), u"emp00000");
}

TEST(XlsTnValidator, Biff5NamesStayLegalAndUniqueInWindows1252) {
    xls_tn_validator v5({}, {}, 0);
    xls_tn_validator v8({}, {}, 1);
    EXPECT_TRUE(v8.is_acceptable(u"Жук"));
    EXPECT_FALSE(v5.is_acceptable(u"Жук"));
    EXPECT_TRUE(v5.is_acceptable(u"Café €"));  // both are in Windows-1252
    EXPECT_EQ(v5.get_safe_name(u"Жук"), u"___");
    v5.add_existing_name(u"___");
    EXPECT_EQ(v5.get_safe_name(u"Жак"), u"___00000");
    // A surrogate pair is one character, hence one underscore.
    EXPECT_EQ(v5.get_safe_name(u"a\U0001F600b"), u"a_b");
    // "?", which the 8-bit conversion would otherwise produce, never appears.
    EXPECT_EQ(v5.get_safe_name(u"'日本'").find(u'?'), std::u16string::npos);
}

// Whatever the source name, the safe name is one the workbook driver (and
// Excel) accepts, and in BIFF5 one that Windows-1252 holds unchanged.
TEST(XlsTnValidator, SafeNamesOfRandomNamesAreValidSheetNames) {
    const std::u16string alphabet = u"aZ09 '\\?*:$[]/._-Жé€\u4E2D\xD83D\xDE00";
    std::mt19937 rng(12345);
    for (int version = 0; version <= 1; ++version) {
        xls_tn_validator v({}, {}, version);
        for (int i = 0; i < 2000; ++i) {
            std::u16string name;
            const size_t len = rng() % 45;
            for (size_t k = 0; k < len; ++k) name.push_back(alphabet[rng() % alphabet.size()]);
            const std::u16string safe = v.is_acceptable(name) ? name : v.get_safe_name(name);
            EXPECT_TRUE(jet_valid_sheet_name(safe)) << tk::utf16_to_utf8(name);
            EXPECT_TRUE(v.is_acceptable(safe)) << tk::utf16_to_utf8(name);
            if (version == 0) {
                EXPECT_TRUE(encodable_1252(safe)) << tk::utf16_to_utf8(name);
            }
        }
    }
}

TEST(DaoValidator, ReplacesItsFiveCharactersAndTrimsSpaces) {
    dao_validator v;
    EXPECT_EQ(v.max_len(), 0);
    for (char16_t c : std::u16string(u"`![].")) {
        const std::u16string name = std::u16string(u"a") + c + u"b";
        EXPECT_FALSE(v.is_acceptable(name));
        EXPECT_EQ(v.get_safe_name(name), u"a_b");
    }
    EXPECT_TRUE(v.is_acceptable(u"a:b/c'd"));
    EXPECT_FALSE(v.is_acceptable(u" x "));
    EXPECT_FALSE(v.is_acceptable(u"x "));
    EXPECT_FALSE(v.is_acceptable(u""));
    EXPECT_EQ(v.get_safe_name(u" x "), u"x");
    EXPECT_EQ(v.get_safe_name(u"  a b  "), u"a b");
    EXPECT_TRUE(v.is_acceptable(repeat(u'q', 300)));  // no length limit
}

TEST(DaoValidator, AllSpacesAndEmptyNamesAreGenerated) {
    dao_validator v;
    EXPECT_EQ(v.get_safe_name(u"   "), u"00000");
    v.add_existing_name(u"00000");
    EXPECT_EQ(v.get_safe_name(u""), u"00001");
}

TEST(DaoFnValidator, GeneratedNamesAvoidEverySourceColumn) {
    dao_fn_validator v({u"A.B", u"A_B", u"c"});
    EXPECT_TRUE(v.is_duplicated(u"a_b"));
    EXPECT_EQ(v.get_safe_name(u"A.B"), u"A_B00000");
    EXPECT_EQ(v.get_safe_name(u"C"), u"C00000");
}

TEST(DaoInValidator, SeededWithIndexNames) {
    dao_in_validator v({u"PK_EMP"});
    EXPECT_TRUE(v.is_duplicated(u"pk_emp"));
    EXPECT_EQ(v.get_safe_name(u"PK.EMP"), u"PK_EMP00000");
}

}  // namespace
