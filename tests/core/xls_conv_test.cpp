#include "core/xls_conv.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>

#include "OLE/ole_types.h"
#include "TK/tk_log.h"
#include "core/cnv_doubles.h"
#include "core/err_maps.h"

using namespace cnv_test;

namespace {

std::u16string w(const std::string& s) {
    return tk::utf8_to_utf16(s);
}

table numbers(int n, const std::u16string& col = u"N") {
    table t;
    t.columns = {{col, VT_I4}};
    for (int i = 1; i <= n; ++i) t.rows.push_back({ole_variant(i)});
    return t;
}

void touch(const std::u16string& path, const char* text = "old") {
    std::ofstream(narrow(path)) << text;
}

std::string content(const std::u16string& path) {
    std::ifstream in(narrow(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Every name in the folder.
std::vector<std::string> listing(const std::string& dir) {
    std::vector<std::string> names;
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d))
            if (std::string(e->d_name) != "." && std::string(e->d_name) != "..")
                names.push_back(e->d_name);
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// A converter whose source is a database file.
class file_source_converter : public xls_converter {
  public:
    using xls_converter::xls_converter;
    std::string file;

  protected:
    std::string source_file() const override { return file; }
};

class driver : public ::testing::Test {
  protected:
    void SetUp() override {
        char tmpl[] = "/tmp/tsl_drv_XXXXXX";
        dir = mkdtemp(tmpl);
        dest = w(dir + "/book.xls");
        conv.dest = dest;
        conv.format_version = 1;
        load_err_maps(handler);
    }
    void TearDown() override { std::system(("rm -rf " + dir).c_str()); }

    const workbook& book(const std::u16string& path) { return store.files.at(path); }
    const sheet& sheet_of(const std::u16string& path, const std::u16string& name) {
        return book(path).sheets.at(name);
    }
    std::u16string part(int n) { return xls_converter::continuation_name(dest, n); }

    std::string dir;
    std::u16string dest;
    workbook_store store;
    recording_front front;
    recording_view view;
    error_handler handler{view, kDaoErrMapSize, kDaoErrMap};
    file_source_converter conv{std::make_unique<fake_destination>(store), front};
    fake_source src;
};

TEST_F(driver, ItemsGoInOrdinalNameOrderWithTablesAndQueriesIntermixed) {
    src.add_table(u"b", numbers(1));
    src.add_table(u"C", numbers(2));
    src.add_query(u"SELECT 1", numbers(3));
    conv.selected_tables = {u"b", u"C"};
    conv.selected_items = {{u"a", u"SELECT 1"}, {u"B2", u"SELECT 1"}};
    conv.table_count = 2;
    conv.do_convert(src);

    const workbook& wb = book(dest);
    EXPECT_EQ(wb.sheet_order, (std::vector<std::u16string>{u"B2", u"C", u"a", u"b"}));
    EXPECT_EQ(wb.connect, u"Excel 8.0;");
    EXPECT_EQ(wb.opened, 4);  // once per item, closed after it
    EXPECT_EQ(store.log.front(), u"create " + dest);
    EXPECT_EQ(store.log[1], u"written " + dest);
    EXPECT_EQ(store.log[3], u"open " + dest);
    EXPECT_EQ(sheet_of(dest, u"C").rows.size(), 2u);
    EXPECT_EQ(sheet_of(dest, u"a").rows.size(), 3u);
    EXPECT_EQ(conv.tables_done, 4);
    EXPECT_EQ(conv.record_index, 0);
    EXPECT_EQ(conv.record_count, 0);
    EXPECT_TRUE(conv.completed);
    EXPECT_EQ(store.patched, std::vector<std::u16string>{dest + u" v1"});
    // The selected tables joined the items, with empty query texts.
    EXPECT_EQ(conv.selected_items.at(u"b"), u"");
}

TEST_F(driver, NothingSelectedKeepsTheOldFileAndReportsThatNothingWasWritten) {
    touch(dest);
    conv.do_convert(src);
    EXPECT_EQ(content(dest), "old");
    EXPECT_TRUE(store.files.empty());
    EXPECT_TRUE(store.patched.empty());
    EXPECT_TRUE(conv.completed);
    EXPECT_EQ(view.shown, std::vector<std::string>{"ask: " + narrow(dest) +
                                                   ": No workbook was written; the destination "
                                                   "is left as it was."});
    EXPECT_TRUE(conv.anything_reported());
    EXPECT_EQ(listing(dir), std::vector<std::string>{"book.xls"});
}

TEST_F(driver, OnlyQueriesAreWrittenAndPatched) {
    src.add_query(u"SELECT 1", numbers(2));
    conv.selected_items = {{u"Q1", u"SELECT 1"}};
    conv.do_convert(src);
    EXPECT_EQ(sheet_of(dest, u"Q1").rows.size(), 2u);
    // Every worksheet's first row gets the header format, items of any kind.
    EXPECT_EQ(store.patched, std::vector<std::u16string>{dest + u" v1"});
}

TEST_F(driver, RejectedAndCollidingNamesGetSafeNamesThatAreThenReserved) {
    src.add_table(u"A/B", numbers(1));
    src.add_table(u"A_B", numbers(1));
    src.add_table(u"emp", numbers(1));
    src.add_query(u"SELECT 1", numbers(1));
    conv.selected_tables = {u"A/B", u"A_B", u"emp"};
    conv.selected_items = {{u"EMP", u"SELECT 1"}};
    conv.do_convert(src);
    // "A/B" comes first; "A_B" is taken by the table of that name, so the
    // counter is added. "emp" meets the sheet "EMP" (same name ignoring case).
    EXPECT_EQ(book(dest).sheet_order,
              (std::vector<std::u16string>{u"A_B00000", u"A_B", u"EMP", u"emp00000"}));
}

TEST_F(driver, TextsLoseCarriageReturnsAndAreCutByFormatVersion) {
    table t;
    t.columns = {{u"T", VT_BSTR, 4000}};
    t.rows = {{ole_variant(u"a\r\nb\rc\n")},
              {ole_variant(std::u16string(300, u'x'))},
              {ole_variant(std::u16string(40000, u'y'))}};
    src.add_table(u"T", t);
    conv.selected_tables = {u"T"};

    conv.format_version = 0;
    conv.do_convert(src);
    const auto& rows0 = sheet_of(dest, u"T").rows;
    EXPECT_EQ(rows0[0][0].bstr(), u"a\nb\nc\n");
    EXPECT_EQ(rows0[1][0].bstr(), std::u16string(254, u'x'));
    EXPECT_EQ(book(dest).connect, u"Excel 5.0;");

    conv.format_version = 1;
    conv.do_convert(src);
    const auto& rows1 = sheet_of(dest, u"T").rows;
    EXPECT_EQ(rows1[1][0].bstr(), std::u16string(300, u'x'));
    EXPECT_EQ(rows1[2][0].bstr(), std::u16string(32766, u'y'));

    conv.format_version = 2;
    conv.do_convert(src);
    EXPECT_EQ(sheet_of(dest, u"T").rows[2][0].bstr(), std::u16string(32767, u'y'));
}

TEST_F(driver, DateColumnsBecomeTextInExcel50OrWhenAsked) {
    table t;
    t.columns = {{u"D", VT_DATE, 7}, {u"N", VT_R8, 22}};
    SYSTEMTIME st{};
    st.wYear = 1981, st.wMonth = 2, st.wDay = 20, st.wHour = 13;
    t.rows = {{ole_variant(st), ole_variant(1.5)}};
    src.add_table(u"E", t);
    conv.selected_tables = {u"E"};

    conv.format_version = 1;
    conv.do_convert(src);
    EXPECT_EQ(sheet_of(dest, u"E").kinds, (std::vector<uint16_t>{VT_DATE, VT_R8}));
    EXPECT_EQ(sheet_of(dest, u"E").rows[0][0].get_type(), VT_DATE);

    conv.dates_to_strings = true;
    conv.do_convert(src);
    EXPECT_EQ(sheet_of(dest, u"E").kinds, (std::vector<uint16_t>{VT_BSTR, VT_R8}));
    EXPECT_EQ(sheet_of(dest, u"E").rows[0][0].bstr(), u"1981-02-20 13:00:00");

    conv.dates_to_strings = false;
    conv.format_version = 0;
    conv.do_convert(src);
    EXPECT_EQ(sheet_of(dest, u"E").kinds[0], VT_BSTR);
}

TEST_F(driver, BinaryValuesAreWrittenAsBinaryFieldText) {
    table t;
    t.columns = {{u"B", VT_BLOB, 4000}, {u"R", VT_BYTE_ARRAY, 16}, {u"N", VT_I4}};
    std::vector<uint8_t> bytes{1, 2, 3};
    t.rows = {{ole_variant(bytes), ole_variant(bytes), ole_variant(7)},
              {ole_variant(bytes), ole_variant(bytes), ole_variant(8)}};
    src.add_table(u"BIN", t);
    conv.selected_tables = {u"BIN"};
    conv.do_convert(src);
    const sheet& s = sheet_of(dest, u"BIN");
    // Numbers go to the worksheet as doubles.
    EXPECT_EQ(s.kinds, (std::vector<uint16_t>{VT_BSTR, VT_BSTR, VT_R8}));
    for (const auto& row : s.rows) {
        EXPECT_EQ(row[0].bstr(), u"<Binary Field>");
        EXPECT_EQ(row[1].bstr(), u"<Binary Field>");
    }
    EXPECT_EQ(s.rows[1][2].to_double(), 8);
}

TEST_F(driver, OnlyTheFirst255ColumnsAreConverted) {
    table t;
    std::vector<ole_variant> row;
    for (int i = 0; i < 300; ++i) {
        t.columns.push_back({u"C" + w(std::to_string(i)), VT_I4});
        row.emplace_back(i);
    }
    t.rows = {row};
    src.add_table(u"WIDE", t);
    conv.selected_tables = {u"WIDE"};
    conv.do_convert(src);
    EXPECT_EQ(sheet_of(dest, u"WIDE").columns.size(), 255u);
    EXPECT_EQ(sheet_of(dest, u"WIDE").rows[0].size(), 255u);
    EXPECT_EQ(sheet_of(dest, u"WIDE").rows[0][254].to_double(), 254);
    EXPECT_EQ(front.events[0], "wide WIDE 300");
    // Reported once, with no second question after the front's.
    EXPECT_EQ(view.shown, std::vector<std::string>{"report: WIDE: The worksheet holds no more "
                                                   "columns: 45 columns from column #256 on were "
                                                   "not written."});

    front.abort_on_wide = true;  // the wizard's Abort ends the run quietly
    EXPECT_THROW(conv.do_convert(src), tk_final_exception);
}

TEST_F(driver, ARefusedRecordIsReportedWithItsNumberAndTheCopyGoesOn) {
    src.add_table(u"EMP", numbers(9));
    store.refuse[u"EMP"] = {7};
    conv.selected_tables = {u"EMP"};
    conv.do_convert(src);
    ASSERT_EQ(view.shown.size(), 1u);
    EXPECT_EQ(view.shown[0],
              "ask: EMP, record #7: Date fields of the source database do not fall in the range "
              "accepted by MS Excel. Restart the program with \"Convert dates into strings\" "
              "checkbox selected. ");
    EXPECT_EQ(sheet_of(dest, u"EMP").rows.size(), 8u);
    EXPECT_EQ(sheet_of(dest, u"EMP").rows.back()[0].to_double(), 9);
}

TEST_F(driver, RecordsTheReaderRefusesAreReportedAndTheReadGoesOn) {
    table t = numbers(6);
    t.unreadable = {0, 2, 3};  // the first one, and two in a row
    src.add_table(u"D", t);
    conv.selected_tables = {u"D"};
    conv.do_convert(src);
    EXPECT_EQ(view.shown, (std::vector<std::string>{"ask: D, record #1: ORA-01847: day of month",
                                                    "ask: D, record #3: ORA-01847: day of month",
                                                    "ask: D, record #4: ORA-01847: day of month"}));
    std::vector<double> written;
    for (const auto& row : sheet_of(dest, u"D").rows) written.push_back(row[0].to_double());
    EXPECT_EQ(written, (std::vector<double>{t.rows[1][0].to_double(), t.rows[4][0].to_double(),
                                            t.rows[5][0].to_double()}));
}

TEST_F(driver, AFailedFetchIsReportedAndEndsOnlyThatItem) {
    table a = numbers(5);
    a.fail_get_item_at = 2;
    a.failure = [] { throw tk_exception("ORA-22922: nonexistent LOB value", 0); };
    table b = numbers(5);
    b.fail_next_at = 3;
    b.failure = [] { throw tk_exception("ORA-01013: user requested cancel", 0); };
    src.add_table(u"A", a);
    src.add_table(u"B", b);
    src.add_table(u"C", numbers(2));
    conv.selected_tables = {u"A", u"B", u"C"};
    conv.do_convert(src);
    ASSERT_EQ(view.shown.size(), 2u);
    EXPECT_EQ(view.shown[0], "ask: A, record #3: ORA-22922: nonexistent LOB value");
    EXPECT_EQ(view.shown[1], "ask: B, record #4: ORA-01013: user requested cancel");
    EXPECT_EQ(sheet_of(dest, u"A").rows.size(), 2u);
    EXPECT_EQ(sheet_of(dest, u"B").rows.size(), 3u);
    EXPECT_EQ(sheet_of(dest, u"C").rows.size(), 2u);
}

TEST_F(driver, AFatalErrorWhileCopyingClosesTheWorkbookAndStopsTheRun) {
    table a = numbers(5);
    a.fail_get_item_at = 1;
    a.failure = [] { throw tk_exception("out of memory", 1); };
    src.add_table(u"A", a);
    src.add_table(u"B", numbers(1));
    conv.selected_tables = {u"A", u"B"};
    EXPECT_THROW(conv.do_convert(src), tk_final_exception);
    EXPECT_EQ(view.shown, std::vector<std::string>{"error: A: out of memory"});
    EXPECT_EQ(store.log.back(), u"close " + dest);
    EXPECT_EQ(book(dest).sheet_order.size(), 1u);
    EXPECT_TRUE(store.patched.empty());  // an aborted run is not patched
}

TEST_F(driver, AnItemThatCannotBeOpenedIsReportedUnderItsName) {
    src.add_query(u"SELECT 1", numbers(1));
    conv.selected_items = {{u"BAD", u"SELECT nothing"}, {u"GOOD", u"SELECT 1"}};
    conv.do_convert(src);
    EXPECT_EQ(view.shown,
              std::vector<std::string>{"ask: BAD: ORA-00942: table or view does not exist"});
    EXPECT_EQ(book(dest).sheet_order, std::vector<std::u16string>{u"GOOD"});
}

TEST_F(driver, ATableTheSourceLacksIsSkipped) {
    src.add_table(u"EMP", numbers(1));
    conv.selected_tables = {u"EMP", u"NOPE"};
    conv.do_convert(src);
    EXPECT_NE(std::find(front.events.begin(), front.events.end(), "missing NOPE"),
              front.events.end());
    EXPECT_EQ(book(dest).sheet_order, std::vector<std::u16string>{u"EMP"});
    EXPECT_EQ(conv.tables_done, 2);
}

TEST_F(driver, MissingWorkbookDriverStopsBeforeWritingAndKeepsTheOldFile) {
    touch(dest);
    store.dao_loads = false;
    src.add_table(u"EMP", numbers(1));
    conv.selected_tables = {u"EMP"};
    try {
        conv.do_convert(src);
        FAIL() << "no exception";
    } catch (const tk_exception& e) {
        EXPECT_EQ(e.code(), 1);
        EXPECT_EQ(e.message(),
                  "Failed to load Data Access Objects (DAO) support library.\nMicrosoft Access "
                  "installation is required to proceed with\nthe application.\n");
    }
    EXPECT_EQ(content(dest), "old");
    EXPECT_TRUE(store.files.empty());
    EXPECT_EQ(listing(dir), std::vector<std::string>{"book.xls"});
}

TEST_F(driver, SplitContinuesFullSheetsInNumberedFilesAndPatchesThem) {
    // Left from an earlier run: book(1) and book(2) are replaced, book(3)
    // is deleted, book(5) stays (the search stops at the first missing
    // number).
    touch(dest);
    touch(part(1), kBookMarker);
    touch(part(2), kBookMarker);
    touch(part(3), kBookMarker);
    touch(part(5), kBookMarker);
    store.capacity = 5;
    src.add_table(u"A", numbers(12));
    src.add_table(u"B", numbers(7));
    conv.selected_tables = {u"A", u"B"};
    conv.split_data = true;
    conv.table_count = 2;
    conv.do_convert(src);

    EXPECT_EQ(sheet_of(dest, u"A").rows.size(), 5u);
    EXPECT_EQ(sheet_of(part(1), u"A").rows.size(), 5u);
    EXPECT_EQ(sheet_of(part(2), u"A").rows.size(), 2u);
    EXPECT_EQ(sheet_of(part(1), u"A").rows[0][0].to_double(), 6);
    EXPECT_EQ(sheet_of(part(2), u"A").rows[0][0].to_double(), 11);
    EXPECT_EQ(sheet_of(part(1), u"A").columns, std::vector<std::u16string>{u"N"});
    // A later item continues in the same continuation files.
    EXPECT_EQ(sheet_of(dest, u"B").rows.size(), 5u);
    EXPECT_EQ(sheet_of(part(1), u"B").rows.size(), 2u);
    EXPECT_EQ(book(part(1)).sheet_order, (std::vector<std::u16string>{u"A", u"B"}));
    EXPECT_FALSE(exists(part(3)));
    EXPECT_TRUE(exists(part(5)));
    EXPECT_TRUE(view.shown.empty());
    EXPECT_FALSE(conv.anything_reported());
    EXPECT_EQ(store.patched,
              (std::vector<std::u16string>{dest + u" v1", part(1) + u" v1", part(2) + u" v1"}));
    EXPECT_EQ(conv.tables_done, 2);
    // Each part was written before the next was opened.
    EXPECT_EQ(store.log[0], u"create " + dest);
    EXPECT_EQ(store.log[1], u"written " + dest);
    EXPECT_EQ(store.log[2], u"close " + dest);
    EXPECT_EQ(store.log[3], u"create " + part(1));
}

TEST_F(driver, AFileThatCannotBePatchedIsReportedAndTheOthersArePatched) {
    store.capacity = 5;
    src.add_table(u"A", numbers(12));
    conv.selected_tables = {u"A"};
    conv.split_data = true;
    conv.table_count = 1;
    store.fail_patch = {dest};
    conv.do_convert(src);
    ASSERT_EQ(view.shown.size(), 1u);
    EXPECT_EQ(view.shown[0], "ask: " + narrow(dest) + ": The workbook could not be formatted.");
    EXPECT_EQ(store.patched, (std::vector<std::u16string>{part(1) + u" v1", part(2) + u" v1"}));
}

TEST_F(driver, WithoutSplitAFullSheetGivesOneReportWithTheRowsLeftOut) {
    store.capacity = 5;
    src.add_table(u"A", numbers(12));
    src.add_table(u"B", numbers(3));
    conv.selected_tables = {u"A", u"B"};
    conv.do_convert(src);
    ASSERT_EQ(view.shown.size(), 1u);
    EXPECT_EQ(view.shown[0],
              "ask: A: The worksheet holds no more rows: 7 records from record #6 on were not "
              "written. Choose to split data into multiple spreadsheets (--split) to keep them.");
    EXPECT_EQ(sheet_of(dest, u"A").rows.size(), 5u);
    EXPECT_EQ(sheet_of(dest, u"B").rows.size(), 3u);
    EXPECT_FALSE(exists(part(1)));
    EXPECT_EQ(store.log[1], u"written " + dest);  // what fits is kept
}

TEST_F(driver, ContinuationNamesReplaceTheBaseName) {
    EXPECT_EQ(xls_converter::continuation_name(u"/out/book.xls", 1), u"/out/book(1).xls");
    EXPECT_EQ(xls_converter::continuation_name(u"/out/my.book.xls", 12), u"/out/my.book(12).xls");
    EXPECT_EQ(xls_converter::continuation_name(u"/out/book", 2), u"/out/book(2)");
}

TEST_F(driver, AWorkbookThatCannotBeWrittenEndsTheRunWithOneReport) {
    // On closing the first item's workbook, or on appending a row.
    for (int at_row : {-1, 3}) {
        store = workbook_store();
        view.shown.clear();
        fake_source source;
        touch(dest, kBookMarker);
        source.add_table(u"A", numbers(5));
        source.add_table(u"B", numbers(5));
        conv.selected_tables = {u"A", u"B"};
        store.fail_close = at_row < 0;
        store.fail_append_at = at_row;
        EXPECT_THROW(conv.do_convert(source), tk_final_exception);
        EXPECT_EQ(view.shown, (std::vector<std::string>{
                                  "error: " + narrow(dest) +
                                  ": The workbook could not be written (No space left on device); "
                                  "the conversion was stopped and the destination is left as it "
                                  "was."}));
        EXPECT_TRUE(conv.anything_reported());
        EXPECT_EQ(source.opened, std::vector<std::u16string>{u"A"});
        EXPECT_EQ(store.appended_all, at_row < 0 ? 5 : 3);
        EXPECT_EQ(content(dest), kBookMarker);
        EXPECT_EQ(listing(dir), std::vector<std::string>{"book.xls"});
    }
}

// An .xlsx workbook cannot be reopened: each file's workbook is created
// with its first worksheet, takes every later item's, and is written once
// after the last item; the formats come with it (no patch).
class kept_open : public driver {
  protected:
    void SetUp() override {
        driver::SetUp();
        store.keep_open = true;
        dest = w(dir + "/book.xlsx");
        conv.dest = dest;
        conv.format_version = 2;
    }
};

TEST_F(kept_open, EachFileIsCreatedOnceAndWrittenOnceAfterTheLastItem) {
    touch(dest);
    touch(part(1), kZipMarker);
    touch(part(3), kZipMarker);   // past the new parts: removed
    touch(part(4), kBookMarker);  // no .xlsx workbook: stays
    store.capacity = 5;
    src.add_table(u"A", numbers(12));
    src.add_table(u"B", numbers(7));
    conv.selected_tables = {u"A", u"B"};
    conv.split_data = true;
    conv.table_count = 2;
    conv.do_convert(src);

    EXPECT_EQ(store.log, (std::vector<std::u16string>{
                             u"create " + dest, u"create " + part(1), u"create " + part(2),
                             u"written " + dest, u"written " + part(1), u"written " + part(2),
                             u"close " + dest, u"close " + part(1), u"close " + part(2)}));
    EXPECT_EQ(book(dest).opened, 1);
    EXPECT_EQ(book(dest).connect, u"Excel 12.0 Xml;");
    EXPECT_EQ(book(dest).sheet_order, (std::vector<std::u16string>{u"A", u"B"}));
    EXPECT_EQ(book(part(1)).sheet_order, (std::vector<std::u16string>{u"A", u"B"}));
    EXPECT_EQ(sheet_of(part(2), u"A").rows[1][0].to_double(), 12);
    EXPECT_EQ(sheet_of(part(1), u"B").rows.size(), 2u);
    EXPECT_TRUE(store.patched.empty());
    EXPECT_TRUE(view.shown.empty());
    EXPECT_EQ(content(dest), kZipMarker);
    EXPECT_EQ(content(part(2)), kZipMarker);
    EXPECT_FALSE(exists(part(3)));
    EXPECT_TRUE(exists(part(4)));
    EXPECT_EQ(listing(dir), (std::vector<std::string>{"book(1).xlsx", "book(2).xlsx",
                                                      "book(4).xlsx", "book.xlsx"}));
}

TEST_F(kept_open, AWorkbookThatCannotBeWrittenIsSaidOnceAndNothingIsPublished) {
    touch(dest);
    store.capacity = 5;
    store.fail_close = true;
    src.add_table(u"A", numbers(7));
    src.add_table(u"B", numbers(2));
    conv.selected_tables = {u"A", u"B"};
    conv.split_data = true;
    EXPECT_THROW(conv.do_convert(src), tk_final_exception);
    // The first failure ends the writing: book(1) is not tried.
    EXPECT_EQ(std::count(store.log.begin(), store.log.end(), u"written " + part(1)), 0);
    EXPECT_EQ(
        view.shown,
        (std::vector<std::string>{"error: " + narrow(dest) +
                                  ": The workbook could not be written (No space left on device); "
                                  "the conversion was stopped and the destination is left as it "
                                  "was."}));
    EXPECT_EQ(content(dest), "old");
    EXPECT_EQ(listing(dir), std::vector<std::string>{"book.xlsx"});
}

TEST_F(kept_open, ARunThatDoesNotCompleteWritesNoWorkbook) {
    touch(dest);
    table b = numbers(5);
    b.fail_get_item_at = 3;
    b.failure = [] { throw tk_final_exception(); };  // the user aborts
    src.add_table(u"A", numbers(2));
    src.add_table(u"B", b);
    conv.selected_tables = {u"A", u"B"};
    EXPECT_THROW(conv.do_convert(src), tk_final_exception);
    EXPECT_EQ(std::count(store.log.begin(), store.log.end(), u"written " + dest), 0);
    EXPECT_EQ(store.log.back(), u"close " + dest);
    EXPECT_EQ(content(dest), "old");
    EXPECT_EQ(listing(dir), std::vector<std::string>{"book.xlsx"});
}

TEST_F(driver, TheOldFilesStayUntilTheRunEndsAndAFailedRunLeavesNothingBehind) {
    touch(dest);
    touch(part(1), kBookMarker);
    table a = numbers(5);
    a.fail_get_item_at = 3;
    a.failure = [&] {
        // Mid-run: the first item's workbook exists only under a temporary
        // identity; the old files are as they were.
        EXPECT_EQ(content(dest), "old");
        EXPECT_EQ(listing(dir),
                  (std::vector<std::string>{".book.xls.tsl-lock", "book(1).xls", "book.xls"}));
        throw tk_exception("out of memory", 1);
    };
    src.add_table(u"A", numbers(2));
    src.add_table(u"B", a);
    conv.selected_tables = {u"A", u"B"};
    conv.split_data = true;
    EXPECT_THROW(conv.do_convert(src), tk_final_exception);
    EXPECT_EQ(content(dest), "old");
    EXPECT_EQ(content(part(1)), kBookMarker);
    EXPECT_EQ(listing(dir), (std::vector<std::string>{"book(1).xls", "book.xls"}));
}

TEST_F(driver, AContinuationNameHeldByAFileThatIsNoWorkbookIsNotReplaced) {
    touch(dest);
    touch(part(1), "x");
    store.capacity = 5;
    src.add_table(u"A", numbers(7));
    conv.selected_tables = {u"A"};
    conv.split_data = true;
    conv.do_convert(src);
    ASSERT_EQ(view.shown.size(), 1u);
    EXPECT_NE(view.shown[0].find(narrow(part(1)) + " is not a workbook and is not replaced"),
              std::string::npos);
    EXPECT_EQ(content(dest), "old");
    EXPECT_EQ(content(part(1)), "x");
    EXPECT_EQ(listing(dir), (std::vector<std::string>{"book(1).xls", "book.xls"}));
}

TEST_F(driver, DestinationsThatMustNotBeReplacedAreRefusedBeforeAnythingIsWritten) {
    src.add_table(u"A", numbers(2));
    conv.selected_tables = {u"A"};
    auto refusal = [&] {
        try {
            conv.do_convert(src);
        } catch (const tk_exception& e) {
            EXPECT_EQ(e.code(), 1);
            EXPECT_TRUE(store.files.empty());
            return e.message();
        }
        return std::string("no refusal");
    };
    // The source database itself, also through another name (a link), or
    // as a continuation file of a split run.
    touch(dest, "SQLite format 3");
    conv.file = narrow(dest);
    EXPECT_NE(refusal().find("is the source database file"), std::string::npos);
    conv.file = dir + "/source.db";
    ASSERT_EQ(link(narrow(dest).c_str(), conv.file.c_str()), 0);
    EXPECT_NE(refusal().find("is the source database file"), std::string::npos);
    ASSERT_EQ(rename(conv.file.c_str(), narrow(part(7)).c_str()), 0);
    conv.file = narrow(part(7));
    ASSERT_EQ(unlink(narrow(dest).c_str()), 0);
    conv.split_data = true;
    EXPECT_NE(refusal().find("is the source database file"), std::string::npos);
    EXPECT_EQ(content(part(7)), "SQLite format 3");
    ASSERT_EQ(rename(conv.file.c_str(), narrow(dest).c_str()), 0);
    conv.file.clear();
    // An existing file without any write permission bit.
    chmod(narrow(dest).c_str(), 0444);
    EXPECT_EQ(refusal(), "Destination name specifies an existing read-only file.");
    EXPECT_EQ(content(dest), "SQLite format 3");
}

TEST_F(driver, ATraceLogThatWouldReplaceAFileOfTheRunIsRefusedAndTheRunGoesOn) {
    tk_log log;
    log.set_timestamps(false);
    src.add_table(u"A", numbers(2));
    conv.selected_tables = {u"A"};
    conv.split_data = true;
    conv.file = dir + "/source.db";
    touch(w(conv.file), "SQLite format 3");
    touch(dest, "my old notes");
    // The source database, the old destination (neither is a log of ours),
    // and a continuation file the log itself made.
    for (const std::string& name : {conv.file, narrow(dest), narrow(part(1))}) {
        view.shown.clear();
        conv.set_logfile(name);
        tk_trace(2, "a line before the run");
        conv.do_convert(src);
        ASSERT_EQ(view.shown.size(), 1u) << name;
        EXPECT_EQ(view.shown[0].rfind("report: The trace log file " + name, 0), 0u)
            << view.shown[0];
        EXPECT_FALSE(log.enabled());
        EXPECT_EQ(content(w(conv.file)), "SQLite format 3");
        EXPECT_EQ(content(dest), kBookMarker);  // the run's own workbook
        EXPECT_EQ(listing(dir), (std::vector<std::string>{"book.xls", "source.db"}));
        touch(dest, "my old notes");
    }
}

TEST_F(driver, ProgressFieldsAndFrontHooksFollowTheItems) {
    table t = numbers(4);
    t.reported_count = 4;
    src.add_table(u"T", t);
    conv.selected_tables = {u"T"};
    conv.do_convert(src);
    EXPECT_EQ(front.events, (std::vector<std::string>{"table T 4", "table ended"}));
    EXPECT_EQ(front.last_done, 4);
}

TEST_F(driver, WrapSettingReachesTheEngines) {
    conv.set_wrap_text(true);
    EXPECT_TRUE(store.wrap);
    EXPECT_TRUE(conv.wrap_text());
    conv.set_wrap_text(false);
    EXPECT_FALSE(store.wrap);
}

}  // namespace
