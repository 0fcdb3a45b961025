// The driver over the product's workbook side (the workbook database engine
// and the two workbook engines): real .xls files, read back with xlrd.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/cnv_doubles.h"
#include "core/dao_dest.h"
#include "core/err_maps.h"
#include "core/xls_conv.h"

using namespace cnv_test;

namespace {

// Prints every sheet of a workbook as lines: "sheet <name> <rows> <cols>
// <header xf indexes>", then up to `max_rows` rows of "kind:value" cells.
const char kReader[] = R"(
import sys, xlrd
book = xlrd.open_workbook(sys.argv[1], formatting_info=True)
limit = int(sys.argv[2])
print("biff8" if book.biff_version >= 80 else "biff5")
for s in book.sheets():
    xfs = ",".join(str(s.cell_xf_index(0, c)) for c in range(s.ncols)) if s.nrows else ""
    print("sheet", s.name, s.nrows, s.ncols, xfs)
    for r in list(range(min(s.nrows, limit))) + ([s.nrows - 1] if s.nrows > limit else []):
        cells = []
        for c in range(s.ncols):
            cell = s.cell(r, c)
            if cell.ctype == xlrd.XL_CELL_DATE:
                cells.append("date:%04d-%02d-%02d" % xlrd.xldate_as_tuple(cell.value, book.datemode)[:3])
            elif cell.ctype == xlrd.XL_CELL_NUMBER:
                cells.append("num:%g" % cell.value)
            elif cell.ctype == xlrd.XL_CELL_TEXT:
                cells.append("text:" + cell.value.replace("\n", "\\n"))
            else:
                cells.append("none")
        print(" ".join(cells))
)";

std::string read_book(const std::u16string& path, int max_rows = 4) {
    char name[] = "/tmp/tsl_reader_XXXXXX";
    int fd = mkstemp(name);
    FILE* f = fdopen(fd, "w");
    std::fputs(kReader, f);
    std::fclose(f);
    std::string cmd = std::string("/usr/bin/python3 ") + name + " '" + narrow(path) + "' " +
                      std::to_string(max_rows) + " 2>&1";
    std::string out;
    if (FILE* p = popen(cmd.c_str(), "r")) {
        char buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
        pclose(p);
    }
    std::remove(name);
    return out;
}

table numbered_rows(int n) {
    table t;
    t.columns = {{u"ID", VT_I4}, {u"NAME", VT_BSTR, 20}};
    for (int i = 1; i <= n; ++i)
        t.rows.push_back(
            {ole_variant(i), ole_variant(u"r" + tk::utf8_to_utf16(std::to_string(i)))});
    return t;
}

class book_test : public ::testing::Test {
  protected:
    void SetUp() override {
        char tmpl[] = "/tmp/tsl_book_XXXXXX";
        dir = mkdtemp(tmpl);
        dest = tk::utf8_to_utf16(dir + "/book.xls");
        conv.dest = dest;
        load_err_maps(handler);
    }
    void TearDown() override { std::system(("rm -rf " + dir).c_str()); }

    std::string dir;
    std::u16string dest;
    recording_front front;
    recording_view view;
    error_handler handler{view, kDaoErrMapSize, kDaoErrMap};
    xls_converter conv{make_workbook_destination(), front};
    fake_source src;
};

TEST_F(book_test, BothVersionsWriteTheItemsAsPatchedWorksheets) {
    table emp;
    emp.columns = {{u"EMPNO", VT_I4},
                   {u"ENAME", VT_BSTR, 10},
                   {u"HIRED", VT_DATE, 7},
                   {u"PIC", VT_BLOB, 4000}};
    SYSTEMTIME st{};
    st.wYear = 1981, st.wMonth = 2, st.wDay = 20;
    emp.rows = {{ole_variant(7499), ole_variant(u"AL\r\nLEN"), ole_variant(st),
                 ole_variant(std::vector<uint8_t>{1})},
                {ole_variant(7521), ole_variant::null(), ole_variant::null(), ole_variant::null()}};
    src.add_table(u"EMP", emp);
    src.add_query(u"SELECT 1", numbered_rows(1));
    conv.selected_tables = {u"EMP"};
    conv.selected_items = {{u"A_QUERY", u"SELECT 1"}};
    conv.table_count = 1;

    conv.format_version = 1;
    conv.do_convert(src);
    EXPECT_EQ(read_book(dest),
              "biff8\n"
              "sheet A_QUERY 2 2 16,16\n"
              "text:ID text:NAME\n"
              "num:1 text:r1\n"
              "sheet EMP 3 4 16,16,16,16\n"
              "text:EMPNO text:ENAME text:HIRED text:PIC\n"
              "num:7499 text:AL\\nLEN date:1981-02-20 text:<Binary Field>\n"
              "num:7521 none none none\n");  // a NULL stays NULL

    conv.format_version = 0;
    conv.do_convert(src);
    std::string v0 = read_book(dest);
    EXPECT_EQ(v0.substr(0, 6), "biff5\n");
    EXPECT_NE(v0.find("num:7499 text:AL\\nLEN text:1981-02-20 text:<Binary Field>\n"),
              std::string::npos)
        << v0;
    EXPECT_TRUE(view.shown.empty());
}

TEST_F(book_test, ADateTheWorksheetCannotHoldIsReportedAndTheRestWritten) {
    table t;
    t.columns = {{u"ID", VT_I4}, {u"D", VT_DATE, 7}};
    SYSTEMTIME ok{}, old{};
    ok.wYear = 2000, ok.wMonth = 2, ok.wDay = 29;
    old.wYear = 1850, old.wMonth = 6, old.wDay = 1;
    t.rows = {{ole_variant(1), ole_variant(ok)},
              {ole_variant(2), ole_variant(old)},
              {ole_variant(3), ole_variant(ok)}};
    src.add_table(u"D", t);
    conv.selected_tables = {u"D"};
    conv.format_version = 1;
    conv.do_convert(src);
    ASSERT_EQ(view.shown.size(), 1u);
    EXPECT_EQ(view.shown[0].substr(0, 75),
              "ask: D, record #2: Date fields of the source database do not fall in the ra");
    EXPECT_NE(read_book(dest).find("sheet D 3 2"), std::string::npos);
}

TEST_F(book_test, FullExcel50SheetsContinueInNumberedFilesWithSplit) {
    src.add_table(u"A", numbered_rows(16383 + 100));
    src.add_table(u"B", numbered_rows(16390));
    conv.selected_tables = {u"A", u"B"};
    conv.format_version = 0;
    conv.split_data = true;
    conv.table_count = 2;
    conv.do_convert(src);
    EXPECT_TRUE(view.shown.empty());
    std::string main = read_book(dest, 1);
    EXPECT_NE(main.find("sheet A 16384 2 16,16\ntext:ID text:NAME\nnum:16383 text:r16383\n"),
              std::string::npos)
        << main;
    EXPECT_NE(main.find("sheet B 16384 2"), std::string::npos);
    std::string part = read_book(xls_converter::continuation_name(dest, 1), 2);
    EXPECT_EQ(part,
              "biff5\n"
              "sheet A 101 2 16,16\n"
              "text:ID text:NAME\n"
              "num:16384 text:r16384\n"
              "num:16483 text:r16483\n"
              "sheet B 8 2 16,16\n"
              "text:ID text:NAME\n"
              "num:16384 text:r16384\n"
              "num:16390 text:r16390\n");
}

TEST_F(book_test, WithoutSplitTheRowsPastTheCapacityAreReportedOnce) {
    src.add_table(u"A", numbered_rows(16383 + 10));
    conv.selected_tables = {u"A"};
    conv.format_version = 0;
    conv.do_convert(src);
    ASSERT_EQ(view.shown.size(), 1u);
    EXPECT_EQ(view.shown[0],
              "ask: A: The worksheet holds no more rows: 10 records from record #16384 on were not "
              "written. Choose to split data into multiple spreadsheets (--split) to keep them.");
    EXPECT_NE(read_book(dest, 0).find("sheet A 16384 2"), std::string::npos);
}

}  // namespace
