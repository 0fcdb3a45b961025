#include "UDB/udb_idx.h"

#include <gtest/gtest.h>

#include "udb_test_util.h"

namespace {

udb_indexes sample() {
    udb_indexes ix;
    ix.push_back(udb_index(u"IX_AB", false, false, {u"A", u"B"}));
    ix.push_back(udb_index(u"UQ_A", true, false, {u"A"}));
    ix.push_back(udb_index(u"PK_ID", true, true, {u"ID"}));
    ix.push_back(udb_index(u"UQ_C", true, false, {u"Ц"}));
    return ix;
}

TEST(udb_index, starts_with_fields_compares_leading_fields_ignoring_case) {
    udb_index idx(u"I", false, false, {u"A", u"B"});
    EXPECT_TRUE(idx.starts_with_fields({u"A"}));
    EXPECT_TRUE(idx.starts_with_fields({u"a", u"b"}));
    EXPECT_FALSE(idx.starts_with_fields({u"B"}));
    EXPECT_FALSE(idx.starts_with_fields({u"B", u"A"}));
    EXPECT_FALSE(idx.starts_with_fields({u"A", u"B", u"C"}));
    udb_test::trace_capture log;
    EXPECT_FALSE(idx.starts_with_fields({u"A", u"X"}));
    EXPECT_TRUE(log.has_line("Field 'X' not found"));
    EXPECT_TRUE(idx.starts_with_fields({}));
    EXPECT_TRUE(log.has_line("starts_with_fields returns true"));
}

TEST(udb_index, consists_of_fields_is_exact_and_ignores_order) {
    udb_index idx(u"I", false, false, {u"A", u"B"});
    EXPECT_TRUE(idx.consists_of_fields({u"B", u"A"}));
    EXPECT_FALSE(idx.consists_of_fields({u"a", u"B"}));
    EXPECT_FALSE(idx.consists_of_fields({u"A"}));
    EXPECT_FALSE(idx.consists_of_fields({u"A", u"B", u"C"}));
    udb_test::trace_capture log;
    EXPECT_FALSE(idx.consists_of_fields({u"A", u"Z"}));
    EXPECT_TRUE(log.has_line("Field 'Z' not found"));
}

TEST(udb_indexes, has_index_on_fields_uses_the_first_index_that_starts_with_them) {
    udb_indexes ix = sample();
    EXPECT_TRUE(ix.has_index_on_fields({u"A"}, false));
    EXPECT_TRUE(ix.has_index_on_fields({u"a", u"B"}, false));
    EXPECT_FALSE(ix.has_index_on_fields({u"A", u"B", u"C"}, false));
    // IX_AB comes first and is not unique, although UQ_A is.
    EXPECT_FALSE(ix.has_index_on_fields({u"A"}, true));
    EXPECT_TRUE(ix.has_index_on_fields({u"id"}, true));
    EXPECT_TRUE(ix.has_index_on_fields({u"ц"}, true));
    EXPECT_FALSE(ix.has_index_on_fields({u"B"}, false));
    EXPECT_FALSE(udb_indexes().has_index_on_fields({u"A"}, false));
}

TEST(udb_indexes, is_idx_field_is_exact_and_can_be_limited_to_primary_keys) {
    udb_indexes ix = sample();
    udb_test::trace_capture log;
    EXPECT_TRUE(ix.is_idx_field(u"B", false));
    EXPECT_TRUE(log.has_line("index field"));
    EXPECT_FALSE(ix.is_idx_field(u"b", false));
    EXPECT_TRUE(log.has_line("non-index field"));
    EXPECT_FALSE(ix.is_idx_field(u"A", true));
    EXPECT_TRUE(ix.is_idx_field(u"ID", true));
}

TEST(udb_indexes, names_are_looked_up_ignoring_case) {
    udb_indexes ix = sample();
    EXPECT_FALSE(ix.is_acceptable_name(u"pk_id"));
    EXPECT_TRUE(ix.is_acceptable_name(u"PK_ID2"));
    EXPECT_EQ(&ix.get_index(u"uq_a"), &ix[1]);
    EXPECT_EQ(ix.get_index(u"Pk_Id").fields, udb_field_names{u"ID"});
    const udb_indexes& cix = ix;
    EXPECT_EQ(&cix.get_index(u"ix_ab"), &ix[0]);
}

TEST(udb_indexes, missing_index_is_an_internal_assertion) {
    udb_indexes ix = sample();
    EXPECT_UDB_ASSERTION(ix.get_index(u"nope"), "..\\UDB/udb_idx", 134);
    const udb_indexes& cix = ix;
    EXPECT_UDB_ASSERTION(cix.get_index(u"nope"), "..\\UDB/udb_idx", 134);
}

}  // namespace
