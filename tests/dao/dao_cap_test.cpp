// Capacity of a worksheet in both versions, and the continuation files the
// converter writes with "split data into multiple spreadsheets if
// necessary", driven here the way the converter drives them: a full
// worksheet closes its workbook, the same worksheet is created in
// <base>(1).xls, (2).xls, ... and the refused record appended there.
#include <gtest/gtest.h>

#include <memory>

#include "TK/tk_utf.h"
#include "dao/dao_db.h"
#include "dao/dao_recs.h"
#include "dao_testutil.h"

using namespace dao_test;

namespace {

const std::u16string k8 = u"Excel 8.0;";
const std::u16string k5 = u"Excel 5.0;";

udb_record row_of(int i) {
    return make_record({ole_variant(i), ole_variant(u"r" + tk::ascii_to_utf16(std::to_string(i)))});
}

// Writes `count` records numbered from `first` into a new worksheet `name`
// of `path`, as one item; returns how many went in before the sheet was
// full (the first refused record is then the next number).
int fill(dao_engine& engine, const temp_dir& dir, const std::string& file,
         const std::u16string& connect, const std::u16string& name, int first, int count) {
    const std::u16string path = dir.wfile(file);
    std::unique_ptr<dao_database> db(dir.exists(file) ? engine.open_dao_src(path, connect, 0x08)
                                                      : engine.create_dao_src(path, connect));
    auto schema = make_schema({VT_I4, VT_BSTR}, {u"N", u"TEXT"});
    std::unique_ptr<udb_recordset> rs(db->create_table(name, *schema, udb_indexes()));
    auto& out = static_cast<dao_recordset&>(*rs);
    int done = 0;
    for (; done < count; ++done) {
        udb_record r = row_of(first + done);
        try {
            out.append_record(r);
        } catch (const dao_exception& e) {
            EXPECT_TRUE(dao_is_sheet_full(e));
            EXPECT_EQ(e.number(), 3437);
            EXPECT_EQ(e.code(), 0);
            EXPECT_TRUE(out.is_full());
            break;
        }
    }
    rs.reset();
    db->close();
    return done;
}

void check_full_sheet(const std::string& path, int capacity) {
    jet_rbook ours = read_ours(path);
    EXPECT_TRUE(ours.problems.empty()) << ours.problems.at(0);
    ASSERT_EQ(ours.sheets.size(), 1u);
    EXPECT_EQ(ours.sheets[0].index_rows[1], static_cast<uint32_t>(capacity + 1));
    const jet_rcell* last = jet_rbook::cell(ours.sheets[0], static_cast<uint16_t>(capacity), 0);
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(last->number, capacity);
    xbook x = read_xlrd(path, 2, 1);
    ASSERT_EQ(x.error, "");
    const xsheet& s = x.sheets.at(0);
    EXPECT_EQ(s.nrows, capacity + 1);
    EXPECT_EQ(s.at(0, 0)->text, u"N");
    EXPECT_EQ(s.at(1, 0)->number, 1);
    ASSERT_NE(s.at(capacity, 1), nullptr);
    EXPECT_EQ(s.at(capacity, 1)->text, u"r" + tk::ascii_to_utf16(std::to_string(capacity)));
}

TEST(DaoCapacity, Biff5SheetHolds16383Records) {
    engine_scope es;
    temp_dir dir;
    const std::u16string path = dir.wfile("b5.xls");
    std::unique_ptr<dao_database> db(es.engine->create_dao_src(path, k5));
    auto schema = make_schema({VT_I4, VT_BSTR}, {u"N", u"TEXT"});
    std::unique_ptr<udb_recordset> rs(db->create_table(u"T", *schema, udb_indexes()));
    auto& out = static_cast<dao_recordset&>(*rs);
    EXPECT_EQ(out.capacity(), 16383u);
    for (int i = 1; i <= 16383; ++i) {
        udb_record r = row_of(i);
        out.append_record(r);
    }
    EXPECT_TRUE(out.is_full());
    for (int k = 0; k < 2; ++k) {  // stays full, writes nothing
        udb_record r = row_of(16384);
        try {
            out.append_record(r);
            ADD_FAILURE() << "appended past the capacity";
        } catch (const dao_exception& e) {
            EXPECT_TRUE(dao_is_sheet_full(e));
            EXPECT_FALSE(dao_is_record_refused(e));
            EXPECT_EQ(e.system_error(), 0x10000u + 3437);
        }
    }
    EXPECT_EQ(out.appended(), 16383u);
    rs.reset();
    db->close();
    check_full_sheet(dir.file("b5.xls"), 16383);
}

TEST(DaoCapacity, Biff8SheetHolds65535Records) {
    engine_scope es;
    temp_dir dir;
    EXPECT_EQ(fill(*es.engine, dir, "b8.xls", k8, u"T", 1, 65540), 65535);
    check_full_sheet(dir.file("b8.xls"), 65535);
}

// Two items overflow a BIFF5 destination: the first by 5 records, the
// second by 16,383 + 3, so it needs two continuation files.
TEST(DaoCapacity, ContinuationFilesTakeTheRecordsPastTheCapacity) {
    engine_scope es;
    temp_dir dir;
    const int cap = 16383;
    // Item T: book.xls, then book(1).xls.
    int done = fill(*es.engine, dir, "book.xls", k5, u"T", 1, cap + 5);
    EXPECT_EQ(done, cap);
    EXPECT_EQ(fill(*es.engine, dir, "book(1).xls", k5, u"T", done + 1, 5), 5);
    // Item U: book.xls, book(1).xls, book(2).xls.
    const int total = 2 * cap + 3;
    int next = 1;
    int part = 0;
    while (next <= total) {
        const std::string file = part ? "book(" + std::to_string(part) + ").xls" : "book.xls";
        next += fill(*es.engine, dir, file, k5, u"U", next, total - next + 1);
        ++part;
    }
    EXPECT_EQ(part, 3);
    EXPECT_FALSE(dir.exists("book(3).xls"));

    jet_rbook main_book = read_ours(dir.file("book.xls"));
    ASSERT_EQ(main_book.sheets.size(), 2u);
    jet_rbook first = read_ours(dir.file("book(1).xls"));
    EXPECT_TRUE(first.problems.empty());
    ASSERT_EQ(first.sheets.size(), 2u);
    EXPECT_EQ(first.sheets[0].name, u"T");
    EXPECT_EQ(first.sheets[1].name, u"U");
    EXPECT_EQ(first.sheets[0].index_rows[1], 6u);  // header and 5 records
    EXPECT_EQ(first.sheets[1].index_rows[1], static_cast<uint32_t>(cap + 1));

    xbook x1 = read_xlrd(dir.file("book(1).xls"), 7, 1);
    ASSERT_EQ(x1.error, "");
    const xsheet* t = x1.sheet(u"T");
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->nrows, 6);
    EXPECT_EQ(t->at(0, 0)->text, u"N");  // the header row again
    EXPECT_EQ(t->at(0, 1)->text, u"TEXT");
    EXPECT_EQ(t->at(1, 0)->number, cap + 1);
    EXPECT_EQ(t->at(5, 0)->number, cap + 5);
    const xsheet* u1 = x1.sheet(u"U");
    ASSERT_NE(u1, nullptr);
    EXPECT_EQ(u1->at(1, 0)->number, cap + 1);

    xbook x2 = read_xlrd(dir.file("book(2).xls"));
    ASSERT_EQ(x2.error, "");
    ASSERT_EQ(x2.sheets.size(), 1u);
    EXPECT_EQ(x2.sheets[0].name, u"U");
    EXPECT_EQ(x2.sheets[0].nrows, 4);
    EXPECT_EQ(x2.sheets[0].at(1, 0)->number, 2 * cap + 1);
    EXPECT_EQ(x2.sheets[0].at(3, 1)->text, u"r" + tk::ascii_to_utf16(std::to_string(2 * cap + 3)));
    EXPECT_TRUE(read_ours(dir.file("book(2).xls")).problems.empty());
}

}  // namespace
