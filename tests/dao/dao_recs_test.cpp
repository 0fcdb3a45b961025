// Worksheet writing: columns derived from a source schema, default values,
// rows appended through dao_recordset and read back with python3-xlrd.
#include "dao/dao_recs.h"

#include <gtest/gtest.h>

#include "dao/dao_db.h"
#include "dao_test_util.h"
#include "jet/jet_db.h"

using namespace dao_test;

namespace {

TEST(dao_schema_initializer, QuoteDefValue) {
    using q = dao_schema_initializer;
    EXPECT_EQ(u"\"abc\"", q::quote_def_value(u"abc"));
    EXPECT_EQ(u"\"it's\"", q::quote_def_value(u"it's"));
    EXPECT_EQ(u"'say \"hi\"'", q::quote_def_value(u"say \"hi\""));
    EXPECT_EQ(u"\"it's 'hi'\"", q::quote_def_value(u"it's \"hi\""));
    EXPECT_EQ(u"\"\"", q::quote_def_value(u""));
}

TEST(dao_schema_initializer, NamesTypesAndDefaults) {
    udb_schema src;
    src.add(column(u"ID", VT_I4, 4, true));
    src.add(column(u"a.b", VT_BSTR, 255));
    src.add(column(u"a!b", VT_BSTR, 256));
    src.add(column(u" x ", VT_BSTR, 0, false, ole_variant(u"say \"hi\"")));
    src.add(column(u"WHEN", VT_DATE, 8, false, ole_variant(u"20120105103000")));
    src.add(column(u"BAD_DATE", VT_DATE, 8, false, ole_variant(u"not a date")));
    src.add(column(u"BIG", VT_I8, 8, false, ole_variant(42LL)));
    src.add(new t_ftd(4, u"SEQ", VT_I4, false, true, ole_variant(), 0));
    src.add(new t_ftd(8, u"SEQ8", VT_R8, false, true, ole_variant(), 0));
    dao_tabledef tdf{u"T", {}};
    dao_schema_initializer init(tdf, src);
    init.initialize();
    ASSERT_EQ(9u, tdf.fields.size());
    const auto& f = tdf.fields;
    EXPECT_EQ(u"ID", f[0].name);
    EXPECT_EQ(jet_long, f[0].type);
    EXPECT_TRUE(f[0].required);
    EXPECT_EQ(u"a_b", f[1].name);
    EXPECT_EQ(jet_text, f[1].type);
    EXPECT_EQ(u"a_b00000", f[2].name);  // the second safe name may not collide
    EXPECT_EQ(jet_memo, f[2].type);
    EXPECT_EQ(u"x", f[3].name);
    EXPECT_EQ(u"'say \"hi\"'", f[3].default_value);
    EXPECT_EQ(u"\"2012-01-05 10:30:00\"", f[4].default_value);
    EXPECT_EQ(u"", f[5].default_value);                       // no date in the text: no default
    EXPECT_EQ(u"4.200000000000000e+01", f[6].default_value);  // adapted to a double
    EXPECT_EQ(jet_double, f[6].type);
    EXPECT_TRUE(f[7].auto_increment);   // a Long column
    EXPECT_FALSE(f[8].auto_increment);  // only Long columns count up
    // The map records where each changed name came from.
    const auto& pairs = init.names_map().pairs();
    EXPECT_EQ(3u, pairs.size());
    EXPECT_EQ(u"a_b", pairs.at(u"a.b"));
    EXPECT_EQ(u"a_b00000", pairs.at(u"a!b"));
    EXPECT_EQ(u"x", pairs.at(u" x "));
    EXPECT_EQ(9u, init.all_names().size());
}

TEST(dao_schema_initializer, KindWithoutFieldTypeStopsTheWorksheet) {
    udb_schema src;
    src.add(column(u"E", VT_ERROR, 4));
    dao_tabledef tdf{u"T", {}};
    dao_schema_initializer init(tdf, src);
    EXPECT_THROW(init.initialize(), ole_type_exception);
}

class dao_recordset_test : public engine_fixture {};

udb_record row(std::initializer_list<ole_variant> values) {
    udb_record r;
    for (const auto& v : values) r.emplace_back(u"", 0, v);
    return r;
}

TEST_F(dao_recordset_test, RowsReadBackWithXlrd) {
    for (int version : {0, 1}) {
        temp_book book("rows");
        std::unique_ptr<dao_database> db(
            engine_->create_dao_src(book.wide(), version ? u"Excel 8.0;" : u"Excel 5.0;"));
        udb_schema s;
        s.add(column(u"ID", VT_I4, 4));
        s.add(column(u"NAME", VT_BSTR, 50, true));
        s.add(column(u"AMOUNT", VT_R8, 8));
        s.add(column(u"OK", VT_BOOL, 1));
        s.add(column(u"WHEN", version ? VT_DATE : VT_BSTR, 19));
        s.add(column(u"QTY", VT_I8, 8));
        std::unique_ptr<udb_recordset> rs(db->create_table(u"Orders", s, udb_indexes()));
        ASSERT_EQ(6u, rs->schema().count());
        EXPECT_EQ(VT_I4, rs->schema()[0].vartype);
        EXPECT_EQ(VT_BSTR, rs->schema()[1].vartype);
        EXPECT_TRUE(rs->schema()[1].b_not_null);
        EXPECT_EQ(version ? VT_DATE : VT_BSTR, rs->schema()[4].vartype);
        EXPECT_EQ(version ? 1 : 0, rs->schema()[4].reserved);
        SYSTEMTIME st{2012, 1, 0, 5, 10, 30, 0, 0};
        auto r1 = row({ole_variant(1), ole_variant(u"first"), ole_variant(2.5), ole_variant(true),
                       ole_variant(st), ole_variant(9000000000LL)});
        auto r2 = row({ole_variant(2), ole_variant(), ole_variant::null(), ole_variant(false),
                       ole_variant(), ole_variant(-1LL)});
        rs->append_record(r1);
        rs->append_record(r2);
        auto bad = row({ole_variant(1)});
        EXPECT_THROW(rs->append_record(bad), tk_exception);
        static_cast<dao_recordset*>(rs.get())->finish();
        EXPECT_EQ(2u, static_cast<dao_recordset*>(rs.get())->appended());
        rs.reset();
        db->close();
        db.reset();
        std::string out = xlrd_dump(book.path());
        EXPECT_EQ(std::string::npos, out.find("EXIT")) << out;
        EXPECT_NE(std::string::npos, out.find("sheet Orders 3 6")) << out;
        EXPECT_NE(std::string::npos, out.find("0 0 1 'ID'\n")) << out;
        EXPECT_NE(std::string::npos, out.find("1 0 2 1.0\n")) << out;
        EXPECT_NE(std::string::npos, out.find("1 1 1 'first'\n")) << out;
        EXPECT_NE(std::string::npos, out.find("1 2 2 2.5\n")) << out;
        EXPECT_NE(std::string::npos, out.find("1 3 4 1\n")) << out;
        if (version) {
            EXPECT_NE(std::string::npos, out.find("1 4 3 '2012-01-05 10:30:00'\n")) << out;
        } else {
            EXPECT_NE(std::string::npos, out.find("1 4 1 '2012-01-05 10:30:00'\n")) << out;
        }
        EXPECT_NE(std::string::npos, out.find("1 5 2 9000000000.0\n")) << out;
        // The required text column gets an empty text for NULL; the others
        // stay empty cells.
        EXPECT_NE(std::string::npos, out.find("2 1 1 ''\n")) << out;
        EXPECT_EQ(std::string::npos, out.find("\n2 2 ")) << out;
        EXPECT_NE(std::string::npos, out.find("2 3 4 0\n")) << out;
        EXPECT_NE(std::string::npos, out.find("2 5 2 -1.0\n")) << out;
    }
}

TEST_F(dao_recordset_test, TooLongTextLeavesItsCellEmpty) {
    // BIFF5 cells hold 255 characters: the row is written without that cell.
    temp_book book("long");
    std::unique_ptr<dao_database> db(engine_->create_dao_src(book.wide(), u"Excel 5.0;"));
    udb_schema s;
    s.add(column(u"ID", VT_I4, 4));
    s.add(column(u"TEXT", VT_BSTR, 0));
    s.add(column(u"TAIL", VT_BSTR, 10));
    std::unique_ptr<udb_recordset> rs(db->create_table(u"Long", s, udb_indexes()));
    auto r = row({ole_variant(7), ole_variant(std::u16string(300, u'x')), ole_variant(u"end")});
    rs->append_record(r);
    rs.reset();
    db->close();
    std::string out = xlrd_dump(book.path());
    EXPECT_NE(std::string::npos, out.find("sheet Long 2 3")) << out;
    EXPECT_NE(std::string::npos, out.find("1 0 2 7.0\n")) << out;
    EXPECT_EQ(std::string::npos, out.find("\n1 1 ")) << out;
    EXPECT_NE(std::string::npos, out.find("1 2 1 'end'\n")) << out;
}

TEST_F(dao_recordset_test, DatesTheCellCannotHold) {
    temp_book book("dates");
    std::unique_ptr<dao_database> db(engine_->create_dao_src(book.wide(), u"Excel 8.0;"));
    udb_schema s;
    s.add(column(u"D", VT_DATE, 8));
    s.add(column(u"T", VT_BSTR, 30));
    std::unique_ptr<udb_recordset> rs(db->create_table(u"Dates", s, udb_indexes()));
    SYSTEMTIME old{1899, 6, 0, 1, 0, 0, 0, 0};
    auto r = row({ole_variant(old), ole_variant(u"x")});
    try {
        rs->append_record(r);
        FAIL();
    } catch (const dao_exception& e) {
        EXPECT_EQ(3349, e.number());
        EXPECT_EQ(0x10000u + 3349, e.system_error());
        EXPECT_EQ(0, e.code());  // the user may go on
    }
    // "0000-00-00": a time alone becomes 1899-12-30, before the 1900 date
    // system: in a date column the same error; in a text column its text.
    SYSTEMTIME t{0, 0, 0, 0, 10, 0, 0, 0};
    auto r2 = row({ole_variant(t), ole_variant(t)});
    try {
        rs->append_record(r2);
        FAIL();
    } catch (const dao_exception& e) {
        EXPECT_EQ(3349, e.number());
    }
    auto r3 = row({ole_variant(), ole_variant(t)});
    rs->append_record(r3);
    rs.reset();
    db->close();
    std::string out = xlrd_dump(book.path());
    EXPECT_NE(std::string::npos, out.find("sheet Dates 2 2")) << out;
    EXPECT_NE(std::string::npos, out.find("1 1 1 '1899-12-30 10:00:00'\n")) << out;
}

TEST_F(dao_recordset_test, DefaultsReadBack) {
    temp_book book("defaults");
    std::unique_ptr<dao_database> db(engine_->create_dao_src(book.wide(), u"Excel 8.0;"));
    udb_schema s;
    s.add(column(u"T", VT_BSTR, 5, false, ole_variant(u"abc")));
    s.add(column(u"TOOLONG", VT_BSTR, 2, false, ole_variant(u"abcdef")));
    s.add(column(u"N", VT_I4, 4, false, ole_variant(12)));
    s.add(column(u"D", VT_DATE, 8, false, ole_variant(u"2001-02-03 00:00:00")));
    std::unique_ptr<udb_recordset> rs(db->create_table(u"Defaults", s, udb_indexes()));
    const udb_schema& back = rs->schema();
    ASSERT_EQ(4u, back.count());
    EXPECT_EQ(VT_BSTR, back[0].default_value.get_type());
    EXPECT_EQ(u"abc", back[0].default_value.bstr());
    EXPECT_TRUE(back[1].default_value.is_empty());  // longer than the column
    EXPECT_EQ(VT_I4, back[2].default_value.get_type());
    EXPECT_EQ(12, back[2].default_value.i4());
    EXPECT_EQ(1, back[3].reserved);
}

}  // namespace
