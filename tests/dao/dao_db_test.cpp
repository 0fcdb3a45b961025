// The engine and the workbook database: loading, opening and creating
// workbooks, the table list, the calling contract, errors as dao_exception,
// and the capacity of a worksheet with and without continuation files.
#include "dao/dao_db.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>

#include "dao/dao_recs.h"
#include "dao_test_util.h"
#include "jet/jet_db.h"

using namespace dao_test;

namespace {

bool is_assertion(const std::function<void()>& f) {
    try {
        f();
    } catch (const tk_mail_assertion&) {
        return true;
    } catch (...) {
    }
    return false;
}

TEST(dao_engine, VersionsAndSingleInstance) {
    dao_engine e;
    EXPECT_EQ(4, e.version_key());
    EXPECT_TRUE(is_assertion([&] { e.create_dao_src(u"/tmp/x.xls", u"Excel 8.0;"); }));
    EXPECT_FALSE(e.set_version_if(1));
    EXPECT_EQ(4, e.version_key());
    EXPECT_TRUE(e.set_version_if(0));
    EXPECT_EQ(0, e.version_key());
    EXPECT_TRUE(is_assertion([&] { e.set_version_if(4); }));
    EXPECT_TRUE(is_assertion([&] { e.set_version_if(-1); }));
    EXPECT_TRUE(is_assertion([] { dao_engine second; }));
    EXPECT_EQ(&e, &dao_engine::instance());
}

TEST(dao_engine, ExceptionNeedsTheEngine) {
    EXPECT_TRUE(is_assertion([] { dao_exception e(jet_error(3051, "x")); }));
}

class dao_database_test : public engine_fixture {};

udb_schema one_column(const std::u16string& name) {
    udb_schema s;
    s.add(column(name, VT_I4, 4));
    return s;
}

TEST_F(dao_database_test, CreateReopenListAndDelete) {
    temp_book book("list");
    {
        std::unique_ptr<dao_database> db(engine_->create_dao_src(book.wide(), u"Excel 8.0;"));
        EXPECT_EQ(0x72, db->mode());
        EXPECT_TRUE(db->table_names().empty());
        delete db->create_table(u"First", one_column(u"A"), udb_indexes());
        delete db->create_table(u"Second", one_column(u"B"), udb_indexes());
        EXPECT_TRUE(db->is_table_exist(u"first"));
        // Without mode 0x08 an existing name is a broken contract.
        EXPECT_TRUE(
            is_assertion([&] { db->create_table(u"FIRST", one_column(u"A"), udb_indexes()); }));
        db->close();
    }
    {
        std::unique_ptr<dao_database> db(engine_->open_dao_src(book.wide(), u"Excel 8.0;", 0x08));
        EXPECT_EQ(0x28, db->mode());
        ASSERT_EQ(2u, db->table_names().size());
        EXPECT_EQ(u"First", db->table_names()[0]);
        EXPECT_EQ(u"Second", db->table_names()[1]);
        // With 0x08 the existing worksheet is returned, not a new one.
        std::unique_ptr<udb_recordset> rs(
            db->create_table(u"First", one_column(u"A"), udb_indexes()));
        EXPECT_EQ(u"First", rs->name());
        rs.reset();
        delete db->create_table(u"Third", one_column(u"C"), udb_indexes());
        EXPECT_TRUE(db->delete_tab(u"Second"));
        EXPECT_FALSE(db->is_table_exist(u"Second"));
        EXPECT_TRUE(is_assertion([&] { db->delete_tab(u"Second"); }));
        EXPECT_TRUE(is_assertion([&] { db->get_table(u"Nope", 0x02); }));
        EXPECT_TRUE(is_assertion([&] { db->get_query(u"q", u"SELECT 1", 0); }));
        EXPECT_FALSE(db->test_query(u"SELECT 1"));
        db->close();
    }
    std::string out = xlrd_dump(book.path());
    EXPECT_NE(std::string::npos, out.find("sheet First 1 1\n0 0 1 'A'\nsheet Third 1 1\n")) << out;
    EXPECT_EQ(std::string::npos, out.find("Second")) << out;
}

TEST_F(dao_database_test, ReadOnlyDatabasesRefuseChanges) {
    temp_book book("ro");
    {
        std::unique_ptr<dao_database> db(engine_->create_dao_src(book.wide(), u"Excel 5.0;"));
        delete db->create_table(u"S", one_column(u"A"), udb_indexes());
    }
    std::unique_ptr<dao_database> db(engine_->open_dao_src(book.wide(), u"Excel 5.0;", 0x01));
    EXPECT_TRUE(is_assertion([&] { db->create_table(u"T", one_column(u"A"), udb_indexes()); }));
    EXPECT_TRUE(is_assertion([&] { db->delete_tab(u"S"); }));
}

TEST_F(dao_database_test, DriverFailuresBecomeDaoExceptions) {
    try {
        engine_->open_dao_src(u"/tmp/tsl_no_such_dir/x.xls", u"Excel 8.0;", 0x01);
        FAIL();
    } catch (const dao_exception& e) {
        EXPECT_TRUE(e.has_number());
        EXPECT_EQ(0x10000u + static_cast<uint32_t>(e.number()), e.system_error());
        EXPECT_FALSE(std::string(e.what()).empty());
    }
    temp_book book("wrongver");
    {
        std::unique_ptr<dao_database> db(engine_->create_dao_src(book.wide(), u"Excel 5.0;"));
        delete db->create_table(u"S", one_column(u"A"), udb_indexes());
    }
    try {
        engine_->open_dao_src(book.wide(), u"Excel 8.0;", 0x08);
        FAIL();
    } catch (const dao_exception& e) {
        EXPECT_EQ(3274, e.number());
    }
    EXPECT_THROW(engine_->create_db(u"/tmp/x.mdb"), dao_exception);
}

TEST(dao_continuation_name, BaseNameGetsTheNumber) {
    EXPECT_EQ(u"/out/book(1).xls", dao_continuation_name(u"/out/book.xls", 1));
    EXPECT_EQ(u"/out/my.book(12).xls", dao_continuation_name(u"/out/my.book.xls", 12));
    EXPECT_EQ(u"/out.d/book(2)", dao_continuation_name(u"/out.d/book", 2));
    EXPECT_EQ(u"book(3).xls", dao_continuation_name(u"book.xls", 3));
}

// Capacity: BIFF5 worksheets hold 16,383 records below the header.
class dao_capacity_test : public engine_fixture {
  protected:
    // Appends `rows` records numbered from 1 to a new worksheet `name`.
    void fill(dao_database& db, const std::u16string& name, uint32_t rows, uint32_t* left,
              uint32_t* first, std::string* report) {
        udb_schema s;
        s.add(column(u"N", VT_I4, 4));
        std::unique_ptr<udb_recordset> rs(db.create_table(name, s, udb_indexes()));
        udb_record r;
        r.emplace_back(u"N", 4, ole_variant(0));
        for (uint32_t i = 1; i <= rows; ++i) {
            r[0].set_value(ole_variant(static_cast<int>(i)));
            rs->append_record(r);
        }
        auto* d = static_cast<dao_recordset*>(rs.get());
        *left = d->left_out();
        *first = d->first_left_out();
        try {
            d->finish();
        } catch (const dao_exception& e) {
            EXPECT_EQ(3437, e.number());
            EXPECT_EQ(0, e.code());
            *report = e.what();
        }
    }
};

TEST_F(dao_capacity_test, WithoutSplitTheRestIsReportedOnce) {
    temp_book book("full");
    std::unique_ptr<dao_database> db(engine_->create_dao_src(book.wide(), u"Excel 5.0;"));
    uint32_t left = 0, first = 0;
    std::string report;
    fill(*db, u"Big", 16383 + 250, &left, &first, &report);
    EXPECT_EQ(250u, left);
    EXPECT_EQ(16384u, first);
    EXPECT_NE(std::string::npos, report.find("250 records from record #16384 on")) << report;
    EXPECT_NE(std::string::npos, report.find("Split data into multiple spreadsheets")) << report;
    report.clear();
    fill(*db, u"Small", 10, &left, &first, &report);
    EXPECT_EQ(0u, left);
    EXPECT_TRUE(report.empty());
    db->close();
    std::string out = xlrd_dump(book.path());
    EXPECT_NE(std::string::npos, out.find("sheet Big 16384 1\n")) << out;
    EXPECT_NE(std::string::npos, out.find("sheet Small 11 1\n")) << out;
    EXPECT_FALSE(std::ifstream(book.continuation(1)).good());
}

TEST_F(dao_capacity_test, WithSplitTheRowsContinueInFurtherFiles) {
    engine_->set_split_data(true);
    temp_book book("split");
    {
        std::unique_ptr<dao_database> db(engine_->create_dao_src(book.wide(), u"Excel 5.0;"));
        uint32_t left = 0, first = 0;
        std::string report;
        // 16,383 + 16,383 + 100: two continuation files.
        fill(*db, u"First", 2 * 16383 + 100, &left, &first, &report);
        EXPECT_EQ(0u, left);
        EXPECT_TRUE(report.empty()) << report;
        db->close();
    }
    {
        // A later item that overflows continues in the same files.
        std::unique_ptr<dao_database> db(engine_->open_dao_src(book.wide(), u"Excel 5.0;", 0x08));
        uint32_t left = 0, first = 0;
        std::string report;
        fill(*db, u"Second", 16383 + 5, &left, &first, &report);
        EXPECT_TRUE(report.empty()) << report;
        db->close();
    }
    std::string main = xlrd_dump(book.path());
    EXPECT_NE(std::string::npos, main.find("sheet First 16384 1\nsheet Second 16384 1\n")) << main;
    std::string c1 = xlrd_dump(book.continuation(1));
    EXPECT_NE(std::string::npos, c1.find("sheet First 16384 1\nsheet Second 6 1\n")) << c1;
    EXPECT_EQ(std::string::npos, c1.find("sheet Big")) << c1;
    // The continuation sheet has the header row and goes on with record 16384.
    EXPECT_NE(std::string::npos, c1.find("0 0 1 'N'\n1 0 2 16384.0\n")) << c1;
    EXPECT_NE(std::string::npos, c1.find("5 0 2 16388.0\n")) << c1;
    std::string c2 = xlrd_dump(book.continuation(2));
    EXPECT_NE(std::string::npos, c2.find("sheet First 101 1\n")) << c2;
    EXPECT_NE(std::string::npos, c2.find("1 0 2 32767.0\n")) << c2;
    EXPECT_NE(std::string::npos, c2.find("100 0 2 32866.0\n")) << c2;
    EXPECT_FALSE(std::ifstream(book.continuation(3)).good());
}

}  // namespace
