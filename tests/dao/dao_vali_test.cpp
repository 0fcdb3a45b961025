// The workbook's naming rules: worksheet names Excel accepts, column and
// index names the workbook driver accepts, unique after the safe-name rules.
#include "dao/dao_vali.h"

#include <gtest/gtest.h>

#include "TK/tk_utf.h"

namespace {

TEST(xls_tn_validator, IllegalCharactersAreReplaced) {
    xls_tn_validator v;
    for (const char16_t* bad : {u"a:b", u"a\\b", u"a?b", u"a*b", u"a$b", u"a[b", u"a]b", u"a/b"}) {
        EXPECT_FALSE(v.is_acceptable(bad)) << tk::utf16_to_utf8(bad);
        EXPECT_EQ(u"a_b", v.get_safe_name(bad));
    }
    // Characters Excel allows stay.
    EXPECT_TRUE(v.is_acceptable(u"Sales 2012 (EU) #1 & more"));
    EXPECT_TRUE(v.is_acceptable(u"it's"));
}

TEST(xls_tn_validator, LengthIs31) {
    xls_tn_validator v;
    std::u16string n31(31, u'x'), n32(32, u'x');
    EXPECT_TRUE(v.is_acceptable(n31));
    EXPECT_FALSE(v.is_acceptable(n32));
    std::u16string n40 = u"ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789abcd";
    std::u16string safe = v.get_safe_name(n40);
    EXPECT_EQ(n40.substr(0, 30), safe);
    v.add_existing_name(safe);
    // Taken: the base is cut to 25 and numbered (30 characters).
    EXPECT_EQ(n40.substr(0, 25) + u"00000", v.get_safe_name(n40));
    // A user-named query of 2,048 characters gets a legal name.
    std::u16string huge(2048, u'q');
    EXPECT_TRUE(v.is_acceptable(v.get_safe_name(huge)));
}

TEST(xls_tn_validator, ApostrophesAtTheEndsAreDropped) {
    xls_tn_validator v;
    EXPECT_FALSE(v.is_acceptable(u"'quoted'"));
    EXPECT_FALSE(v.is_acceptable(u"'lead"));
    EXPECT_FALSE(v.is_acceptable(u"trail'"));
    EXPECT_EQ(u"quoted", v.get_safe_name(u"'quoted'"));
    EXPECT_EQ(u"lead", v.get_safe_name(u"''lead"));
    EXPECT_EQ(u"mid'dle", v.get_safe_name(u"'mid'dle'"));
    // Nothing left: a generated name.
    EXPECT_EQ(u"00000", v.get_safe_name(u"'''"));
    EXPECT_FALSE(v.is_acceptable(u""));
}

TEST(xls_tn_validator, SeededNamesAreTakenWhateverTheirCase) {
    xls_tn_validator v({u"EMP", u"DEPT"}, {u"a_b"});
    EXPECT_TRUE(v.is_acceptable(u"EMP"));  // acceptable; uniqueness is separate
    EXPECT_TRUE(v.is_duplicated(u"emp"));
    EXPECT_EQ(u"A_B00000", v.get_safe_name(u"A:B"));
    v.add_existing_name(u"A_B00000");
    EXPECT_EQ(u"A_B00001", v.get_safe_name(u"A:B"));
}

TEST(dao_validator, Rules) {
    dao_validator v;
    EXPECT_FALSE(v.is_acceptable(u""));
    EXPECT_FALSE(v.is_acceptable(u" x"));
    EXPECT_FALSE(v.is_acceptable(u"x "));
    for (const char16_t* bad : {u"a.b", u"a!b", u"a`b", u"a[b", u"a]b"}) {
        EXPECT_FALSE(v.is_acceptable(bad));
        EXPECT_EQ(u"a_b", v.get_safe_name(bad));
    }
    EXPECT_TRUE(v.is_acceptable(u"a:b$c/d"));  // legal for a column
    EXPECT_EQ(u"x", v.get_safe_name(u" x "));
    EXPECT_EQ(u"00000", v.get_safe_name(u"   "));
    EXPECT_TRUE(v.is_acceptable(std::u16string(300, u'c')));  // no length limit
}

TEST(dao_fn_validator, GeneratedNamesAvoidEverySourceColumn) {
    dao_fn_validator v({u"a.b", u"a!b", u"A_B"});
    // "a_b" would equal the source column A_B (names ignore case).
    EXPECT_EQ(u"a_b00000", v.get_safe_name(u"a.b"));
    v.add_existing_name(u"a_b00000");
    EXPECT_EQ(u"a_b00001", v.get_safe_name(u"a!b"));
}

TEST(dao_in_validator, SeededWithIndexNames) {
    dao_in_validator v({u"PK_EMP", u"IX.1"});
    EXPECT_TRUE(v.is_duplicated(u"pk_emp"));
    EXPECT_EQ(u"IX_1", v.get_safe_name(u"IX.1"));
}

}  // namespace
