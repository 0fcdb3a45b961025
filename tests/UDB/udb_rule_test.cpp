#include "UDB/udb_rule.h"

#include <gtest/gtest.h>

#include "udb_test_util.h"

namespace {

// Replaces date kinds by "DATE" and the text "x" by "X!".
class sample_rule : public udb_conversion_rule {
  public:
    explicit sample_rule(std::u16string tag) : tag_(std::move(tag)) {}
    bool accepts_kind(uint16_t vt) const override { return vt == VT_DATE; }
    bool accepts_value(const ole_variant& v) const override {
        return v.get_type() == VT_BSTR && v.bstr() == u"x";
    }
    std::u16string handle_kind(uint16_t) const override { return u"DATE" + tag_; }
    std::u16string handle_value(const ole_variant&) const override { return u"X!" + tag_; }

  private:
    std::u16string tag_;
};

class udb_custom_conversion_test : public ::testing::Test {
  protected:
    void TearDown() override { udb_custom_conversion::set_rules(nullptr); }
};

TEST_F(udb_custom_conversion_test, without_rules_nothing_is_accepted) {
    udb_custom_conversion::set_rules(nullptr);
    EXPECT_FALSE(udb_custom_conversion::is_acceptable1(VT_DATE));
    EXPECT_FALSE(udb_custom_conversion::is_acceptable2(ole_variant(u"x")));
    EXPECT_EQ(udb_custom_conversion::handle1(VT_DATE), u"");
    EXPECT_EQ(udb_custom_conversion::handle2(ole_variant(u"x")), u"");

    udb_conversion_rules none;
    udb_custom_conversion::set_rules(&none);
    EXPECT_FALSE(udb_custom_conversion::is_acceptable1(VT_DATE));
    EXPECT_FALSE(udb_custom_conversion::is_acceptable2(ole_variant(u"x")));
    EXPECT_EQ(udb_custom_conversion::handle2(ole_variant(u"y")), u"");
}

TEST_F(udb_custom_conversion_test, first_accepting_rule_gives_the_text) {
    sample_rule first(u"1"), second(u"2");
    udb_conversion_rules rules{&first, &second};
    udb_custom_conversion::set_rules(&rules);
    EXPECT_TRUE(udb_custom_conversion::is_acceptable1(VT_DATE));
    EXPECT_FALSE(udb_custom_conversion::is_acceptable1(VT_I4));
    EXPECT_EQ(udb_custom_conversion::handle1(VT_DATE), u"DATE1");
    EXPECT_EQ(udb_custom_conversion::handle1(VT_I4), u"");
    EXPECT_TRUE(udb_custom_conversion::is_acceptable2(ole_variant(u"x")));
    EXPECT_FALSE(udb_custom_conversion::is_acceptable2(ole_variant(5)));
    EXPECT_EQ(udb_custom_conversion::handle2(ole_variant(u"x")), u"X!1");
}

TEST_F(udb_custom_conversion_test, unaccepted_value_with_rules_is_an_internal_assertion) {
    sample_rule rule(u"");
    udb_conversion_rules rules{&rule};
    udb_custom_conversion::set_rules(&rules);
    EXPECT_UDB_ASSERTION(udb_custom_conversion::handle2(ole_variant(u"y")), "udb_rule", 88);
}

}  // namespace
