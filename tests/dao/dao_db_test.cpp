// The engine and the workbook database: loading, opening and creating
// workbooks, the table list, the calling contract, and driver failures as
// dao_exception with the numbers the error maps look up.
#include "dao/dao_db.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>

#include "TK/tk_utf.h"
#include "dao/dao_recs.h"
#include "dao_testutil.h"
#include "jet/jet_db.h"

using namespace dao_test;

namespace {

const std::u16string k8 = u"Excel 8.0;";
const std::u16string k5 = u"Excel 5.0;";

bool is_assertion(const std::function<void()>& f) {
    try {
        f();
    } catch (const tk_mail_assertion& e) {
        return e.code() == 2;
    } catch (...) {
        return false;
    }
    return false;
}

// The dao_exception `f` raises; number 0 when it raises none.
dao_exception dao_error_of(const std::function<void()>& f) {
    try {
        f();
    } catch (const dao_exception& e) {
        return e;
    }
    return dao_exception(0, "none");
}

void write_book(dao_engine& engine, const std::u16string& path, const std::u16string& connect,
                const std::vector<std::u16string>& sheets) {
    std::unique_ptr<dao_database> db(engine.create_dao_src(path, connect));
    auto schema = make_schema({VT_I4, VT_BSTR}, {u"ID", u"NAME"});
    for (const auto& s : sheets) {
        std::unique_ptr<udb_recordset> rs(db->create_table(s, *schema, udb_indexes()));
        udb_record r = make_record({ole_variant(1), ole_variant(s)});
        rs->append_record(r);
    }
    db->close();
}

TEST(DaoEngine, LoadsTheBuiltInVersionOnce) {
    dao_engine engine;
    EXPECT_EQ(engine.version_key(), dao_engine::kNone);
    EXPECT_TRUE(is_assertion([&] { engine.create_dao_src(u"/tmp/x.xls", k8); }));
    EXPECT_TRUE(engine.set_version_if(0));
    EXPECT_EQ(engine.version_key(), 0);
    EXPECT_TRUE(engine.set_version_if(0));  // unloads and loads again
    EXPECT_TRUE(is_assertion([&] { engine.set_version_if(4); }));
    EXPECT_TRUE(is_assertion([&] { engine.set_version_if(-1); }));
    // A failed call leaves nothing loaded.
    EXPECT_EQ(engine.version_key(), dao_engine::kNone);
    EXPECT_TRUE(is_assertion([] { dao_engine second; }));
    EXPECT_EQ(&dao_engine::instance(), &engine);
}

TEST(DaoEngine, OtherDatabaseKindsAreRefused) {
    engine_scope es;
    EXPECT_EQ(dao_error_of([&] { es.engine->create_db(u"/tmp/a.mdb"); }).number(), 3170);
    EXPECT_EQ(dao_error_of([&] { es.engine->open_db(u"/tmp/a.mdb", u"", 0, u""); }).number(), 3170);
}

TEST(DaoException, NumbersLevelAndTextComeFromTheDriver) {
    EXPECT_TRUE(is_assertion([] { dao_exception e(jet_error::make(3047)); }));
    engine_scope es;
    dao_exception e(jet_error::make(3349));
    EXPECT_EQ(e.number(), 3349);
    EXPECT_TRUE(e.has_number());
    EXPECT_EQ(e.system_error(), 0x10000u + 3349);
    EXPECT_EQ(e.code(), 0);
    EXPECT_EQ(e.message(), "Numeric field overflow.");
    dao_exception own(0x70BE7, "Record is too large.");
    EXPECT_EQ(own.system_error(), 0x10BE7u);  // low 16 bits only

    dao_exception full(jet_error::make(3437));
    EXPECT_TRUE(dao_is_sheet_full(full));
    EXPECT_FALSE(dao_is_record_refused(full));
    EXPECT_FALSE(dao_is_sheet_full(e));
    EXPECT_TRUE(dao_is_record_refused(e));
    tk_exception plain("x", 0);
    EXPECT_FALSE(dao_is_sheet_full(plain));
    EXPECT_FALSE(dao_is_record_refused(plain));
}

TEST(DaoDatabase, CreateReopenListAndAppendASheet) {
    engine_scope es;
    temp_dir dir;
    const std::u16string path = dir.wfile("book.xls");
    write_book(*es.engine, path, k8, {u"EMP", u"DEPT"});
    ASSERT_TRUE(dir.exists("book.xls"));

    std::unique_ptr<dao_database> db(es.engine->open_dao_src(path, k8, 0x08));
    EXPECT_EQ(db->mode(), 0x28);
    EXPECT_EQ(db->version(), 1);
    EXPECT_EQ(db->table_names(), (std::vector<std::u16string>{u"EMP", u"DEPT"}));
    EXPECT_TRUE(db->is_table_exist(u"emp"));
    auto schema = make_schema({VT_R8}, {u"X"});
    {
        std::unique_ptr<udb_recordset> rs(db->create_table(u"SALGRADE", *schema, udb_indexes()));
        udb_record r = make_record({ole_variant(2.5)});
        rs->append_record(r);
        // A sheet of the opened file: found, but rows go only to new sheets.
        std::unique_ptr<udb_recordset> old(db->create_table(u"Emp", *schema, udb_indexes()));
        ASSERT_NE(old, nullptr);
        EXPECT_EQ(old->records_count(), 1u);
        EXPECT_EQ(dao_error_of([&] { old->append_record(r); }).number(), 3251);
    }
    db.reset();

    jet_rbook ours = read_ours(dir.file("book.xls"));
    EXPECT_TRUE(ours.problems.empty());
    ASSERT_EQ(ours.sheets.size(), 3u);
    EXPECT_EQ(ours.sheets[2].name, u"SALGRADE");
    EXPECT_EQ(text_at(ours.sheets[0], 1, 1), u"EMP");
    xbook x = read_xlrd(dir.file("book.xls"));
    ASSERT_EQ(x.error, "");
    ASSERT_EQ(x.sheets.size(), 3u);
    EXPECT_EQ(x.biff_version, 80);
    EXPECT_EQ(x.sheets[1].at(1, 1)->text, u"DEPT");
    ASSERT_NE(x.sheets[2].at(1, 0), nullptr);
    EXPECT_EQ(x.sheets[2].at(0, 0)->text, u"X");
    EXPECT_EQ(x.sheets[2].at(1, 0)->number, 2.5);
}

TEST(DaoDatabase, CallingContract) {
    engine_scope es;
    temp_dir dir;
    const std::u16string path = dir.wfile("c.xls");
    std::unique_ptr<dao_database> db(es.engine->create_dao_src(path, k8));
    EXPECT_EQ(db->mode(), 0x72);
    auto schema = make_schema({VT_I4});
    std::unique_ptr<udb_recordset> rs(db->create_table(u"A", *schema, udb_indexes()));
    // 0x72 has no 0x08: a second table of the same name is a contract breach.
    EXPECT_TRUE(is_assertion([&] { db->create_table(u"a", *schema, udb_indexes()); }));
    EXPECT_TRUE(is_assertion([&] { db->get_table(u"B", 0); }));
    EXPECT_TRUE(is_assertion([&] { db->delete_tab(u"B"); }));
    EXPECT_TRUE(is_assertion([&] { db->get_query(u"Q", u"SELECT 1", 0); }));
    EXPECT_FALSE(db->test_query(u"SELECT 1"));
    // A read-only recordset cannot append.
    std::unique_ptr<udb_recordset> ro(db->get_table(u"A", 0x01));
    udb_record r = make_record({ole_variant(1)});
    EXPECT_TRUE(is_assertion([&] { ro->append_record(r); }));
    // The last sheet cannot go.
    EXPECT_EQ(dao_error_of([&] { db->delete_tab(u"A"); }).number(), 3251);
}

TEST(DaoDatabase, SameSessionTableTakesMoreRowsWithAppendMode) {
    engine_scope es;
    temp_dir dir;
    write_book(*es.engine, dir.wfile("m.xls"), k8, {u"FIRST"});
    std::unique_ptr<dao_database> db(es.engine->open_dao_src(dir.wfile("m.xls"), k8, 0x08));
    auto schema = make_schema({VT_I4});
    udb_record r = make_record({ole_variant(7)});
    {
        std::unique_ptr<udb_recordset> a(db->create_table(u"T", *schema, udb_indexes()));
        a->append_record(r);
    }
    {
        std::unique_ptr<udb_recordset> b(db->create_table(u"t", *schema, udb_indexes()));
        EXPECT_EQ(b->records_count(), 1u);
        b->append_record(r);
    }
    db->close();
    jet_rbook ours = read_ours(dir.file("m.xls"));
    ASSERT_EQ(ours.sheets.size(), 2u);
    EXPECT_NE(jet_rbook::cell(ours.sheets[1], 2, 0), nullptr);
    xbook x = read_xlrd(dir.file("m.xls"));
    ASSERT_EQ(x.sheets.size(), 2u);
    EXPECT_EQ(x.sheets[1].nrows, 3);
}

TEST(DaoDatabase, DeleteTableAndCloseTwice) {
    engine_scope es;
    temp_dir dir;
    std::unique_ptr<dao_database> db(es.engine->create_dao_src(dir.wfile("d.xls"), k8));
    auto schema = make_schema({VT_I4});
    delete db->create_table(u"A", *schema, udb_indexes());
    delete db->create_table(u"B", *schema, udb_indexes());
    EXPECT_TRUE(db->delete_tab(u"a"));
    EXPECT_EQ(db->table_names(), (std::vector<std::u16string>{u"B"}));
    db->close();
    db->close();
    xbook x = read_xlrd(dir.file("d.xls"));
    ASSERT_EQ(x.sheets.size(), 1u);
    EXPECT_EQ(x.sheets[0].name, u"B");
    EXPECT_TRUE(read_ours(dir.file("d.xls")).problems.empty());
}

TEST(DaoDatabase, GeneratedColumnNamesGoToTheNamesMap) {
    engine_scope es;
    temp_dir dir;
    std::unique_ptr<dao_database> db(es.engine->create_dao_src(dir.wfile("n.xls"), k8));
    auto schema = make_schema({VT_I4, VT_I4}, {u"a.b", u"ok"});
    std::unique_ptr<udb_recordset> rs(db->create_table(u"T", *schema, udb_indexes()));
    EXPECT_EQ(db->names_map().get_fn_mapped_name(u"T", u"a.b", false), u"a_b");
    EXPECT_EQ(db->names_map().get_fn_mapped_name(u"T", u"ok", false), u"ok");
    ASSERT_EQ(rs->schema().count(), 2u);
    EXPECT_EQ(rs->schema()[0].name, u"a_b");
}

TEST(DaoDatabase, Biff5SheetNameOutside1252IsFoundByItsOwnName) {
    engine_scope es;
    temp_dir dir;
    std::unique_ptr<dao_database> db(es.engine->create_dao_src(dir.wfile("r.xls"), k5));
    EXPECT_EQ(db->version(), 0);
    auto schema = make_schema({VT_BSTR});
    udb_record r = make_record({ole_variant(u"Жук")});
    {
        std::unique_ptr<udb_recordset> a(db->create_table(u"Жук", *schema, udb_indexes()));
        a->append_record(r);
        std::unique_ptr<udb_recordset> b(db->create_table(u"Жак", *schema, udb_indexes()));
        b->append_record(r);
    }
    std::unique_ptr<udb_recordset> again(db->get_table(u"жук", 0x08));
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(again->records_count(), 1u);
    again.reset();
    EXPECT_TRUE(db->delete_tab(u"Жак"));
    db->close();
    xbook x = read_xlrd(dir.file("r.xls"));
    ASSERT_EQ(x.error, "");
    EXPECT_TRUE(x.biff_version == 50 || x.biff_version == 70) << x.biff_version;  // BIFF5/7
    EXPECT_EQ(x.codepage, 1252);
    ASSERT_EQ(x.sheets.size(), 1u);
    EXPECT_EQ(x.sheets[0].name, u"___");
    EXPECT_EQ(x.sheets[0].at(1, 0)->text, u"???");  // a cell text may lose characters
}

TEST(DaoDatabase, DriverFailuresBecomeDaoExceptions) {
    engine_scope es;
    temp_dir dir;
    // A missing file opened read-only, an unknown connect string, a file
    // that is not a workbook, a folder that does not exist.
    EXPECT_EQ(
        dao_error_of([&] { es.engine->open_dao_src(dir.wfile("none.xls"), k8, 0x01); }).number(),
        3024);
    EXPECT_EQ(dao_error_of([&] {
                  es.engine->create_dao_src(dir.wfile("x.xls"), u"Excel 3.0;");
              }).number(),
              3170);
    {
        std::ofstream f(dir.file("junk.xls"));
        f << "not a workbook";
    }
    EXPECT_EQ(
        dao_error_of([&] { es.engine->open_dao_src(dir.wfile("junk.xls"), k8, 0x08); }).number(),
        3274);
    EXPECT_EQ(
        dao_error_of([&] { es.engine->create_dao_src(dir.wfile("no/such.xls"), k8); }).number(),
        3044);
    // Sheet names the driver refuses, and too many columns.
    std::unique_ptr<dao_database> db(es.engine->create_dao_src(dir.wfile("v.xls"), k8));
    auto schema = make_schema({VT_I4});
    dao_exception bad = dao_error_of([&] { db->create_table(u"a/b", *schema, udb_indexes()); });
    EXPECT_EQ(bad.number(), 3125);
    EXPECT_EQ(bad.system_error(), 0x10000u + 3125);
    std::vector<uint16_t> kinds(256, VT_I4);
    auto wide = make_schema(kinds);
    EXPECT_EQ(dao_error_of([&] { db->create_table(u"W", *wide, udb_indexes()); }).number(), 3190);
    EXPECT_TRUE(db->table_names().empty());
}

}  // namespace
