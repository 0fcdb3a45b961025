// Columns of a new worksheet derived from a source schema: names, field
// types and sizes, required flags, defaults and their quoting.
#include "dao/dao_sche.h"

#include <gtest/gtest.h>

#include "dao_testutil.h"
#include "support/de_locale.h"

using namespace dao_test;

namespace {

t_ftd* column(const std::u16string& name, uint16_t vt, uint32_t size, bool not_null = false,
              const ole_variant& def = ole_variant(), bool autoinc = false) {
    return new t_ftd(size, name, vt, not_null, autoinc, def, 0);
}

TEST(QuoteDefValue, QuotesByTheQuotesTheTextHolds) {
    using q = dao_schema_initializer;
    EXPECT_EQ(q::quote_def_value(u"abc"), u"\"abc\"");
    EXPECT_EQ(q::quote_def_value(u"it's"), u"\"it's\"");
    EXPECT_EQ(q::quote_def_value(u"say \"hi\""), u"'say \"hi\"'");
    EXPECT_EQ(q::quote_def_value(u"it's \"x\""), u"\"it's 'x'\"");
    EXPECT_EQ(q::quote_def_value(u""), u"\"\"");
}

TEST(SchemaInitializer, TypesAndSizes) {
    udb_schema src;
    src.add(column(u"T255", VT_BSTR, 255));
    src.add(column(u"T256", VT_BSTR, 256));
    src.add(column(u"T0", VT_BSTR, 0));
    src.add(column(u"N", VT_DECIMAL, 22));
    src.add(column(u"D", VT_DATE, 7));
    src.add(column(u"ID", VT_I4, 4, true, ole_variant(), true));
    src.add(column(u"F", VT_R8, 8, false, ole_variant(), true));
    dao_tabledef tdf{u"T", {}};
    dao_schema_initializer init(tdf, src);
    init.initialize();
    ASSERT_EQ(tdf.fields.size(), 7u);
    EXPECT_EQ(tdf.fields[0].type, jet_text);
    EXPECT_EQ(tdf.fields[1].type, jet_memo);
    EXPECT_EQ(tdf.fields[2].type, jet_memo);
    EXPECT_EQ(tdf.fields[3].type, jet_double);
    EXPECT_EQ(tdf.fields[4].type, jet_date);
    EXPECT_EQ(tdf.fields[5].type, jet_long);
    EXPECT_EQ(tdf.fields[0].size, 255);
    EXPECT_EQ(tdf.fields[1].size, 256);
    EXPECT_TRUE(tdf.fields[5].required);
    EXPECT_FALSE(tdf.fields[0].required);
    // Auto-increment only for Long columns.
    EXPECT_TRUE(tdf.fields[5].auto_increment);
    EXPECT_FALSE(tdf.fields[6].auto_increment);
    EXPECT_TRUE(init.names_map().empty());
}

TEST(SchemaInitializer, IllegalAndCollidingNames) {
    udb_schema src;
    src.add(column(u"a.b", VT_I4, 4));
    src.add(column(u"a!b", VT_I4, 4));
    src.add(column(u" x ", VT_I4, 4));
    src.add(column(u"Name", VT_I4, 4));
    src.add(column(u"NAME", VT_I4, 4));  // same name but for case
    src.add(column(u"ok", VT_I4, 4));
    dao_tabledef tdf{u"T", {}};
    dao_schema_initializer init(tdf, src);
    init.initialize();
    std::vector<std::u16string> names;
    for (const jet_column& c : tdf.fields) names.push_back(c.name);
    const std::vector<std::u16string> want = {u"a_b",  u"a_b00000",  u"x",
                                              u"Name", u"NAME00000", u"ok"};
    EXPECT_EQ(names, want);
    EXPECT_EQ(init.all_names(), want);
    // The map knows where each changed name came from.
    EXPECT_EQ(init.names_map().get_mapped_name(u"a.b", true), u"a_b");
    EXPECT_EQ(init.names_map().get_mapped_name(u"a!b", true), u"a_b00000");
    EXPECT_EQ(init.names_map().get_mapped_name(u" x ", true), u"x");
    EXPECT_EQ(init.names_map().get_mapped_name(u"NAME", true), u"NAME00000");
    EXPECT_EQ(init.names_map().size(), 4u);
}

TEST(SchemaInitializer, DefaultsAreQuotedOrSkipped) {
    udb_schema src;
    src.add(column(u"S", VT_BSTR, 20, false, ole_variant(u"say \"hi\"")));
    src.add(column(u"D", VT_DATE, 7, false, ole_variant(u"2012-01-05 10:20:30")));
    src.add(column(u"SYS", VT_DATE, 7, false, ole_variant(u"SYSDATE")));
    src.add(column(u"BIG", VT_I8, 8, false, ole_variant(static_cast<long long>(5))));
    src.add(column(u"N", VT_R8, 8, false, ole_variant(u"0")));
    src.add(column(u"E", VT_BSTR, 20, false, ole_variant(u"")));
    dao_tabledef tdf{u"T", {}};
    dao_schema_initializer init(tdf, src);
    init.initialize();
    EXPECT_EQ(tdf.fields[0].default_value, u"'say \"hi\"'");
    EXPECT_EQ(tdf.fields[1].default_value, u"\"2012-01-05 10:20:30\"");
    EXPECT_EQ(tdf.fields[2].default_value, u"");  // no date: skipped
    EXPECT_EQ(tdf.fields[3].default_value, u"5");
    EXPECT_EQ(tdf.fields[4].default_value, u"0");
    EXPECT_EQ(tdf.fields[5].default_value, u"");
}

TEST(SchemaInitializer, ADefaultNumberKeepsItsPointUnderAnyLocale) {
    de_locale german(LC_NUMERIC);
    if (!german.ok())
        GTEST_SKIP() << "no de_DE locale";
    udb_schema src;
    src.add(column(u"U", VT_UI8, 8, false, ole_variant(18446744073709551615ull)));
    dao_tabledef tdf{u"T", {}};
    dao_schema_initializer init(tdf, src);
    init.initialize();
    EXPECT_EQ(tdf.fields[0].default_value, u"1.84467440737096e+19");
}

TEST(SchemaInitializer, KindWithoutFieldTypeIsRefused) {
    udb_schema src;
    src.add(column(u"A", VT_I4, 4));
    src.add(column(u"E", VT_ERROR, 4));
    dao_tabledef tdf{u"T", {}};
    dao_schema_initializer init(tdf, src);
    EXPECT_THROW(init.initialize(), ole_type_exception);
}

TEST(IndexesInitializer, CreatesNothing) {
    udb_schema src;
    src.add(column(u"A", VT_I4, 4));
    src.add(column(u"M", VT_BSTR, 0));
    dao_tabledef tdf{u"T", {}};
    dao_schema_initializer init(tdf, src);
    init.initialize();
    udb_indexes idx;
    idx.push_back(udb_index(u"PK.T", true, true, {u"A"}));
    idx.push_back(udb_index(u"IX_M", false, false, {u"M"}));
    dao_indexes_initializer ii(tdf, init, idx);
    ii.initialize();
    EXPECT_EQ(tdf.fields.size(), 2u);
    EXPECT_EQ(tdf.fields[0].name, u"A");
}

}  // namespace
