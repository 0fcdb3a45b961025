#include "UDB/udb_vali.h"

#include <gtest/gtest.h>

#include "udb_test_util.h"

namespace {

// A destination's rule set, as an engine's validator fills it.
class rules_validator : public udb_validator {
  public:
    explicit rules_validator(int32_t max_len, std::u16string illegal = u"",
                             std::vector<std::u16string> restricted = {})
        : udb_validator(max_len) {
        illegal_chars_.assign(illegal.begin(), illegal.end());
        restricted_names_ = std::move(restricted);
    }
};

std::u16string letters(size_t n) {
    std::u16string s;
    for (size_t i = 0; i < n; ++i) s.push_back(static_cast<char16_t>(u'a' + i % 26));
    return s;
}

TEST(udb_validator, long_name_is_cut_to_one_below_the_maximum) {
    rules_validator v(31);
    const std::u16string name = letters(40);
    EXPECT_FALSE(v.is_acceptable(name));
    EXPECT_TRUE(v.is_acceptable(letters(31)));
    std::u16string safe = v.get_safe_name(name);
    EXPECT_EQ(safe, name.substr(0, 30));
}

TEST(udb_validator, taken_cut_name_gets_a_counter_within_the_maximum) {
    rules_validator v(31);
    const std::u16string name = letters(40);
    v.add_existing_name(name.substr(0, 30));
    std::u16string safe = v.get_safe_name(name);
    EXPECT_EQ(safe, name.substr(0, 25) + u"00000");
    EXPECT_EQ(safe.size(), 30u);
    v.add_existing_name(safe);
    EXPECT_EQ(v.get_safe_name(name), name.substr(0, 25) + u"00001");
}

TEST(udb_validator, short_taken_name_keeps_its_length_before_the_counter) {
    rules_validator v(31);
    v.add_existing_name(u"Orders");
    // 6 characters is not above max_len - 5, so nothing is cut.
    EXPECT_EQ(v.get_safe_name(u"Orders"), u"Orders00000");
}

TEST(udb_validator, zero_max_len_never_cuts) {
    rules_validator v(0, u":");
    const std::u16string name = letters(300);
    EXPECT_TRUE(v.is_acceptable(name));
    EXPECT_EQ(v.get_safe_name(name), name);
    v.add_existing_name(name);
    EXPECT_EQ(v.get_safe_name(name), name + u"00000");
    EXPECT_EQ(v.get_safe_name(u":" + name), u"_" + name);
}

TEST(udb_validator, restricted_word_in_another_case_is_refused) {
    rules_validator v(0, u"", {u"SELECT", u"Größe"});
    udb_test::trace_capture log;
    EXPECT_FALSE(v.is_acceptable(u"select"));
    EXPECT_TRUE(log.has_line("The name is restricted"));
    EXPECT_FALSE(v.is_acceptable(u"GRÖßE"));
    EXPECT_TRUE(v.is_acceptable(u"selected"));
    EXPECT_EQ(v.get_safe_name(u"Select"), u"Select00000");
}

TEST(udb_validator, first_illegal_character_of_the_list_is_reported) {
    rules_validator v(0, u":?*");
    udb_test::trace_capture log;
    // '?' comes first in the name, ':' first in the list.
    EXPECT_FALSE(v.is_acceptable(u"a?b:c"));
    EXPECT_TRUE(log.has_line("The name contains illegal: :"));
    EXPECT_FALSE(log.has_line("The name contains illegal: ?"));
    EXPECT_EQ(v.get_safe_name(u"a?b:c*"), u"a_b_c_");
}

TEST(udb_validator, too_long_is_tested_before_the_other_rules) {
    rules_validator v(3, u":", {u"ABCD"});
    udb_test::trace_capture log;
    EXPECT_FALSE(v.is_acceptable(u"abcd"));
    EXPECT_TRUE(log.has_line("The name is too long"));
    EXPECT_FALSE(log.has_line("The name is restricted"));
}

TEST(udb_validator, existing_name_is_a_duplicate_in_any_case) {
    rules_validator v(0);
    EXPECT_FALSE(v.is_duplicated(u"orders"));
    v.add_existing_name(u"Orders");
    v.add_existing_name(u"Σύνοψη");
    EXPECT_TRUE(v.is_duplicated(u"ORDERS"));
    EXPECT_TRUE(v.is_duplicated(u"ΣΎΝΟΨΗ"));
    EXPECT_FALSE(v.is_duplicated(u"Orders2"));
    EXPECT_EQ(v.get_safe_name(u"ORDERS"), u"ORDERS00000");
    EXPECT_EQ(v.get_safe_name(u"σύνοψη"), u"σύνοψη00000");
}

TEST(udb_validator, replacement_that_collides_is_numbered) {
    rules_validator v(0, u"$");
    v.add_existing_name(u"A_B");
    EXPECT_EQ(v.get_safe_name(u"A$B"), u"A_B00000");
}

TEST(udb_validator, cut_never_splits_a_surrogate_pair) {
    rules_validator v(5);
    // a b c, U+1F600 as two units, x x: 7 units, cut to 4 would end in the
    // high surrogate.
    const std::u16string name = u"abc\U0001F600xx";
    ASSERT_EQ(name.size(), 7u);
    EXPECT_EQ(v.get_safe_name(name), u"abc");
}

// An engine rule added by overriding is_acceptable takes part in the
// numbering of safe names.
class no_zero_suffix_validator : public udb_validator {
  public:
    no_zero_suffix_validator() : udb_validator(0) {}
    bool is_acceptable(const std::u16string& name) override {
        if (name.size() >= 5 && name.compare(name.size() - 5, 5, u"00000") == 0)
            return false;
        return udb_validator::is_acceptable(name);
    }
};

TEST(udb_validator, overridden_test_shapes_safe_names) {
    no_zero_suffix_validator v;
    v.add_existing_name(u"T");
    EXPECT_EQ(v.get_safe_name(u"T"), u"T00001");
}

class refuse_all_validator : public udb_validator {
  public:
    refuse_all_validator() : udb_validator(0) {}
    bool is_acceptable(const std::u16string&) override { return false; }
};

TEST(udb_validator, exhausted_counter_is_an_internal_assertion) {
    refuse_all_validator v;
    EXPECT_UDB_ASSERTION(v.get_safe_name(u"x"), "udb_vali", 54);
    try {
        v.get_safe_name(u"x");
    } catch (const tk_mail_assertion& e) {
        EXPECT_EQ(std::string(e.what()), "Internal error: \ncode=7564625f76616c695c3534");
    }
}

TEST(udb_validator, mapped_pairs_keep_the_first_pair_of_a_source) {
    rules_validator v(0);
    v.add_mapped_pair(u"a:b", u"a_b");
    v.add_mapped_pair(u"a:b", u"other");
    ASSERT_EQ(v.mapped_pairs().size(), 1u);
    EXPECT_EQ(v.mapped_pairs().at(u"a:b"), u"a_b");
    // Recording a pair does not reserve the name.
    EXPECT_FALSE(v.is_duplicated(u"a_b"));
}

TEST(t_names_map, first_pair_in_key_order_wins_when_case_is_ignored) {
    t_names_map m;
    m.add(u"abc", u"lower");
    m.add(u"ABC", u"upper");  // "ABC" sorts before "abc"
    m.add(u"abc", u"again");  // already a key: ignored
    EXPECT_EQ(m.size(), 2u);
    EXPECT_EQ(m.get_mapped_name(u"Abc", false), u"upper");
    EXPECT_EQ(m.get_mapped_name(u"abc", true), u"lower");
    EXPECT_EQ(m.get_mapped_name(u"Abc", true), u"Abc");
    EXPECT_EQ(m.get_mapped_name(u"missing", false), u"missing");
}

TEST(udb_names_map, table_names_map_with_and_without_case) {
    udb_names_map nm;
    nm.tn_map().add(u"Ärger", u"Aerger");
    udb_test::trace_capture log;
    EXPECT_EQ(nm.get_tn_mapped_name(u"ÄRGER", false), u"Aerger");
    EXPECT_TRUE(log.has_line("Comparing with (Ärger,Aerger)"));
    EXPECT_EQ(nm.get_tn_mapped_name(u"ÄRGER", true), u"ÄRGER");
}

TEST(udb_names_map, field_names_are_found_through_the_exact_table_name) {
    udb_names_map nm;
    t_names_map fields;
    fields.add(u"a.b", u"a_b");
    nm.add_fn_map(u"Orders", fields);
    EXPECT_EQ(nm.get_fn_mapped_name(u"Orders", u"A.B", false), u"a_b");
    EXPECT_EQ(nm.get_fn_mapped_name(u"Orders", u"A.B", true), u"A.B");
    EXPECT_EQ(nm.get_fn_mapped_name(u"Orders", u"c", false), u"c");
    udb_test::trace_capture log;
    // The table itself is looked up exactly.
    EXPECT_EQ(nm.get_fn_mapped_name(u"ORDERS", u"a.b", false), u"a.b");
    EXPECT_TRUE(log.has_line("Table 'ORDERS' not found"));
    EXPECT_EQ(nm.get_fn_mapped_name(u"None", u"a.b", false), u"a.b");
}

}  // namespace
