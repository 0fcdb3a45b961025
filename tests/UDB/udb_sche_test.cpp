#include "UDB/udb_sche.h"

#include <gtest/gtest.h>

#include "udb_test_util.h"

namespace {

t_ftd* ftd(const std::u16string& name, uint16_t vt = VT_I4) {
    return new t_ftd(10, name, vt, false, false, ole_variant(), 0);
}

TEST(udb_field, constructors_keep_value_name_size_and_flags) {
    udb_field empty;
    EXPECT_EQ(empty.get_type(), VT_EMPTY);
    EXPECT_TRUE(empty.name.empty());
    EXPECT_EQ(empty.size, 0);

    udb_field f(u"AMOUNT", 22, ole_variant(12.5), true, true);
    EXPECT_EQ(f.get_type(), VT_R8);
    EXPECT_EQ(f.r8(), 12.5);
    EXPECT_EQ(f.name, u"AMOUNT");
    EXPECT_EQ(f.size, 22);
    EXPECT_TRUE(f.b_not_null);
    EXPECT_TRUE(f.b_autoincrement);

    udb_field copy(f);
    EXPECT_EQ(copy.name, u"AMOUNT");
    EXPECT_EQ(copy.size, 22);
    EXPECT_TRUE(copy.b_not_null);
    EXPECT_TRUE(copy.b_autoincrement);
    EXPECT_EQ(copy.r8(), 12.5);
}

TEST(udb_field, copies_are_independent) {
    udb_field f(u"NOTE", 100, ole_variant(u"first"));
    udb_field copy(f);
    f.mutable_bstr()->assign(u"changed");
    f.name = u"OTHER";
    EXPECT_EQ(copy.bstr(), u"first");
    EXPECT_EQ(copy.name, u"NOTE");
}

TEST(udb_field, set_value_replaces_only_the_value) {
    udb_field f(u"NOTE", 100, ole_variant(u"text"), true, false);
    f.set_value(ole_variant::null());
    EXPECT_EQ(f.get_type(), VT_NULL);
    EXPECT_EQ(f.name, u"NOTE");
    EXPECT_EQ(f.size, 100);
    EXPECT_TRUE(f.b_not_null);
    // Through the base class the kind is the same.
    const ole_variant& base = f;
    EXPECT_EQ(base.get_type(), VT_NULL);
}

TEST(t_ftd, ctor1_takes_the_field_and_ctor2_its_arguments) {
    udb_field f(u"HIRED", 7, ole_variant(5), true, false);
    t_ftd a(f, ole_variant(3), 1);
    EXPECT_EQ(a.size, 7u);
    EXPECT_EQ(a.name, u"HIRED");
    EXPECT_EQ(a.vartype, VT_I4);
    EXPECT_TRUE(a.b_not_null);
    EXPECT_FALSE(a.b_autoincrement);
    EXPECT_EQ(a.default_value.get_type(), VT_I4);
    EXPECT_EQ(a.reserved, 1);

    t_ftd b(12, u"PRICE", VT_DECIMAL, false, true, ole_variant(), 10 * 256 + 2);
    EXPECT_EQ(b.size, 12u);
    EXPECT_EQ(b.vartype, VT_DECIMAL);
    EXPECT_FALSE(b.b_not_null);
    EXPECT_TRUE(b.b_autoincrement);
    EXPECT_EQ(b.default_value.get_type(), VT_EMPTY);
    EXPECT_EQ(b.reserved, 2562);
}

TEST(t_ftd, constructors_trace_the_descriptor) {
    udb_test::trace_capture log;
    t_ftd b(12, u"PRICE", VT_DECIMAL, true, false, ole_variant(), 2562);
    EXPECT_TRUE(log.has_line("t_ftd::ctor2"));
    EXPECT_TRUE(
        log.has_line("\tfield name='PRICE', vartype=14, size=12, b_not_null=1, reserved=2562"));
}

TEST(udb_schema, lookups_ignore_case_and_take_the_first_match) {
    udb_schema s;
    s.add(ftd(u"ID"));
    s.add(ftd(u"Name", VT_BSTR));
    s.add(ftd(u"NAME", VT_R8));
    s.add(ftd(u"ДАТА", VT_DATE));
    EXPECT_EQ(s.count(), 4u);
    EXPECT_EQ(s.get_field_idx(u"name"), 1);
    EXPECT_EQ(s.get_field_idx(u"NAME"), 1);
    EXPECT_EQ(s.get_field_idx(u"дата"), 3);
    EXPECT_EQ(s.get_field_idx(u"NAMES"), -1);
    EXPECT_TRUE(s.find_field(u"id"));
    EXPECT_FALSE(s.find_field(u"missing"));
    EXPECT_EQ(s.find_field(u"nAmE")->vartype, VT_BSTR);
    EXPECT_EQ(&*s.find_field(u"Дата"), &s[3]);
    const udb_schema& cs = s;
    EXPECT_EQ(&cs.find_field(u"NAME").get(), &s[1]);
}

TEST(udb_schema, empty_schema_finds_nothing) {
    udb_schema s;
    EXPECT_EQ(s.get_field_idx(u"ID"), -1);
    EXPECT_FALSE(s.find_field(u"ID"));
    EXPECT_TRUE(s.empty());
}

TEST(udb_schema, reaching_a_missing_descriptor_is_an_internal_assertion) {
    udb_schema s;
    s.add(ftd(u"ID"));
    EXPECT_UDB_ASSERTION((void)s.find_field(u"X")->vartype, "udb_sche", 309);
    const udb_schema& cs = s;
    EXPECT_UDB_ASSERTION((void)cs.find_field(u"X")->vartype, "udb_sche", 324);
    EXPECT_THROW((void)s.at(1), tk_mail_assertion);
    EXPECT_EQ(&s.at(0), &s[0]);
}

TEST(udb_schema, lookup_traces_each_descriptor_compared) {
    udb_schema s;
    s.add(ftd(u"A"));
    s.add(ftd(u"B"));
    s.add(ftd(u"C"));
    udb_test::trace_capture log;
    EXPECT_TRUE(s.find_field(u"b"));
    EXPECT_TRUE(log.has_line("udb_schema::find_field(b)"));
    EXPECT_TRUE(log.has_line("Processing A"));
    EXPECT_TRUE(log.has_line("Processing B"));
    EXPECT_FALSE(log.has_line("Processing C"));
}

TEST(udb_schema, non_owning_schema_leaves_descriptors_alive) {
    t_ftd a(1, u"A", VT_I2, false, false, ole_variant(), 0);
    t_ftd b(2, u"B", VT_I4, false, false, ole_variant(), 0);
    {
        udb_schema view(false);
        view.add(&a);
        view.add(&b);
        EXPECT_FALSE(view.owns());
        EXPECT_EQ(view.get_field_idx(u"b"), 1);
    }
    // Still usable (a deleting schema would have freed stack objects).
    EXPECT_EQ(a.name, u"A");
    EXPECT_EQ(b.size, 2u);
}

TEST(udb_schema, moved_schema_keeps_the_descriptors_once) {
    udb_schema s;
    s.add(std::make_unique<t_ftd>(1, u"A", VT_I2, false, false, ole_variant(), 0));
    udb_schema moved(std::move(s));
    EXPECT_EQ(moved.count(), 1u);
    EXPECT_EQ(s.count(), 0u);  // NOLINT(bugprone-use-after-move)
    udb_schema target;
    target.add(ftd(u"B"));
    target = std::move(moved);
    EXPECT_EQ(target.count(), 1u);
    EXPECT_EQ(target[0].name, u"A");
}

TEST(udb_record, fields_are_reused_in_place_row_after_row) {
    udb_record rec;
    rec.reserve(3);
    rec.emplace_back(u"ID", 4, ole_variant(1));
    rec.emplace_back(u"NAME", 30, ole_variant(u"a fairly long first value"));
    rec.emplace_back(u"NOTE", 30, ole_variant::null());
    const udb_field* first = &rec[0];
    for (int row = 0; row < 5; ++row) {
        rec[0].set_value(ole_variant(row));
        rec[1].set_value(ole_variant(u"row"));
        rec[2].set_value(row % 2 ? ole_variant(u"odd") : ole_variant::null());
    }
    EXPECT_EQ(&rec[0], first);
    EXPECT_EQ(rec.size(), 3u);
    EXPECT_EQ(rec[0].i4(), 4);
    EXPECT_EQ(rec[1].bstr(), u"row");
    EXPECT_EQ(rec[1].name, u"NAME");
    EXPECT_EQ(rec[2].get_type(), VT_NULL);
    EXPECT_THROW((void)rec.at(3), tk_mail_assertion);
}

TEST(udb_record, copies_are_deep) {
    udb_record rec;
    rec.emplace_back(u"NAME", 30, ole_variant(u"x"));
    udb_record copy(rec);
    rec[0].mutable_bstr()->assign(u"y");
    EXPECT_EQ(copy[0].bstr(), u"x");
    EXPECT_EQ(copy.at(0).name, u"NAME");
}

}  // namespace
