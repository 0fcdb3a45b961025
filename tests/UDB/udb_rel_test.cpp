#include "UDB/udb_rel.h"

#include <gtest/gtest.h>

#include "udb_test_util.h"

namespace {

udb_relationship fk(const std::u16string& name, const std::u16string& table,
                    const std::u16string& ref_table) {
    udb_relationship r;
    r.name = name;
    r.table = table;
    r.ref_table = ref_table;
    r.fields = {u"DEPT_ID"};
    r.ref_fields = {u"ID"};
    return r;
}

TEST(udb_relationships, free_name_joins_referenced_and_referencing_table) {
    udb_relationships rels;
    EXPECT_EQ(rels.gen_relship_name(fk(u"", u"EMP", u"DEPT")), u"FK_DEPT_EMP");
}

TEST(udb_relationships, taken_names_append_the_pieces_of_the_cycle) {
    udb_relationships rels;
    const udb_relationship r = fk(u"", u"E", u"D");
    const char16_t* expected[] = {u"FK_D_E",       u"FK_D_E_",       u"FK_D_E_1",
                                  u"FK_D_E_1_",    u"FK_D_E_1_2",    u"FK_D_E_1_2_",
                                  u"FK_D_E_1_2_3", u"FK_D_E_1_2_3_", u"FK_D_E_1_2_3_1"};
    for (const char16_t* name : expected) {
        std::u16string got = rels.gen_relship_name(r);
        EXPECT_EQ(got, name);
        rels.push_back(fk(got, u"E", u"D"));
    }
}

TEST(udb_relationships, two_taken_names_give_the_suffix_1) {
    udb_relationships rels;
    rels.push_back(fk(u"fk_dept_emp", u"EMP", u"DEPT"));  // taken in another case
    rels.push_back(fk(u"FK_DEPT_EMP_", u"EMP", u"DEPT"));
    udb_test::trace_capture log;
    EXPECT_EQ(rels.gen_relship_name(fk(u"", u"EMP", u"DEPT")), u"FK_DEPT_EMP_1");
    EXPECT_TRUE(log.has_line("FK_DEPT_EMP is not acceptable as a FK name"));
    EXPECT_TRUE(log.has_line("FK_DEPT_EMP_ is not acceptable as a FK name"));
}

TEST(udb_relationships, lookup_by_name_ignores_case) {
    udb_relationships rels;
    rels.push_back(fk(u"FK_ΑΒ", u"EMP", u"DEPT"));
    EXPECT_FALSE(rels.is_acceptable_name(u"fk_αβ"));
    EXPECT_TRUE(rels.is_acceptable_name(u"fk_αβγ"));
    EXPECT_EQ(&rels.get_index(u"fk_αβ"), &rels[0]);
    EXPECT_UDB_ASSERTION(rels.get_index(u"FK_X"), "udb_rel", 122);
}

}  // namespace
