// Capacity of a worksheet, column count, names and connect strings.
#include <gtest/gtest.h>

#include "TK/tk_utf.h"
#include "jet/jet_db.h"
#include "jet/jet_rdr.h"
#include "jet_testutil.h"

namespace {

const std::u16string k_connect[2] = {u"Excel 5.0;", u"Excel 8.0;"};

long error_of(const std::function<void()>& f) {
    try {
        f();
    } catch (const jet_error& e) {
        return e.number();
    }
    return 0;
}

class jet_limits : public ::testing::TestWithParam<int> {};

}  // namespace

TEST_P(jet_limits, a_full_sheet_and_the_row_after) {
    const int v = GetParam();
    jet_test::temp_dir dir;
    const std::string path = dir.file("full.xls");
    auto db = jet_database::open(path, k_connect[v], false, false);
    std::vector<jet_column> cols(2);
    cols[0].name = u"n";
    cols[0].type = jet_double;
    cols[1].name = u"t";
    cols[1].type = jet_text;
    jet_table& t = db->create_table(u"Full", cols);
    const uint32_t cap = v ? 65535 : 16383;
    ASSERT_EQ(t.capacity(), cap);
    jet_test::sheet s{u"Full", {jet_test::text(0, 0, u"n"), jet_test::text(0, 1, u"t")}};
    for (uint32_t r = 1; r <= cap; ++r) {
        const std::u16string txt = u"r" + tk::utf8_to_utf16(std::to_string(r % 1000));
        jet_value row[2] = {jet_value::of_number(r + 0.5), jet_value::of_text(txt)};
        t.append(row, 2);
        s.cells.push_back(jet_test::number(static_cast<uint16_t>(r), 0, r + 0.5));
        s.cells.push_back(jet_test::text(static_cast<uint16_t>(r), 1, txt));
    }
    EXPECT_EQ(t.record_count(), cap);
    jet_value row[2] = {jet_value::of_number(1), jet_value()};
    try {
        t.append(row, 2);
        ADD_FAILURE();
    } catch (const jet_error& e) {
        EXPECT_EQ(e.number(), 3437);
        EXPECT_EQ(std::string(e.what()), "Spreadsheet is full.");
    }
    EXPECT_EQ(t.record_count(), cap);
    db->close();
    const jet_rbook b = jet_read_book(path);
    EXPECT_TRUE(b.problems.empty()) << b.problems.front();
    EXPECT_EQ(b.sheets[0].index_rows[1], cap + 1);
    EXPECT_EQ(b.sheets[0].dbcells, (cap + 1) / 32);
    EXPECT_EQ(jet_test::diff({s}, jet_test::from_reader(b)), "");
    EXPECT_EQ(jet_test::diff({s}, jet_test::from_xlrd(path)), "");
}

TEST_P(jet_limits, columns_up_to_255) {
    const int v = GetParam();
    jet_test::temp_dir dir;
    const std::string path = dir.file("wide.xls");
    auto db = jet_database::open(path, k_connect[v], false, false);
    std::vector<jet_column> cols(256);
    for (size_t i = 0; i < cols.size(); ++i) {
        cols[i].name = u"c" + tk::utf8_to_utf16(std::to_string(i));
        cols[i].type = i % 2 ? jet_text : jet_long;
    }
    EXPECT_EQ(error_of([&] { db->create_table(u"TooWide", cols); }), 3190);
    cols.pop_back();
    jet_table& t = db->create_table(u"Wide", cols);
    jet_test::sheet s{u"Wide", {}};
    for (uint16_t c = 0; c < 255; ++c) s.cells.push_back(jet_test::text(0, c, cols[c].name));
    std::vector<std::u16string> texts(255);
    for (int r = 1; r <= 40; ++r) {
        std::vector<jet_value> row(255);
        for (uint16_t c = 0; c < 255; ++c) {
            if ((r + c) % 9 == 0)
                continue;  // NULL
            if (c % 2) {
                texts[c] = tk::utf8_to_utf16(std::to_string(r * 1000 + c));
                row[c] = jet_value::of_text(texts[c]);
                s.cells.push_back(jet_test::text(static_cast<uint16_t>(r), c, texts[c]));
            } else {
                row[c] = jet_value::of_number(r * c);
                s.cells.push_back(jet_test::number(static_cast<uint16_t>(r), c, r * c));
            }
        }
        t.append(row.data(), row.size());
    }
    db->close();
    const jet_rbook b = jet_read_book(path);
    EXPECT_TRUE(b.problems.empty()) << b.problems.front();
    EXPECT_EQ(jet_test::diff({s}, jet_test::from_reader(b)), "");
    EXPECT_EQ(jet_test::diff({s}, jet_test::from_xlrd(path)), "");
}

TEST_P(jet_limits, names_and_columns_are_checked) {
    const int v = GetParam();
    jet_test::temp_dir dir;
    auto db = jet_database::open(dir.file("names.xls"), k_connect[v], false, false);
    std::vector<jet_column> cols(1);
    cols[0].name = u"a";
    cols[0].type = jet_text;
    for (const char16_t* bad : {u"", u"a:b", u"a/b", u"x?", u"'quoted'", u"[x]"})
        EXPECT_EQ(error_of([&] { db->create_table(bad, cols); }), 3125) << tk::utf16_to_utf8(bad);
    EXPECT_EQ(error_of([&] { db->create_table(std::u16string(32, u'n'), cols); }), 3125);
    db->create_table(std::u16string(31, u'n'), cols);
    EXPECT_EQ(error_of([&] { db->create_table(std::u16string(31, u'N'), cols); }), 3010);
    EXPECT_EQ(error_of([&] { db->create_table(u"none", {}); }), 3264);
    auto two = cols;
    two.push_back(cols[0]);
    two[1].name = u"A";
    EXPECT_EQ(error_of([&] { db->create_table(u"dup", two); }), 3191);
    two[1].name = u"";
    EXPECT_EQ(error_of([&] { db->create_table(u"empty", two); }), 3125);
    two[1].name = u"b";
    two[1].type = 15;
    EXPECT_EQ(error_of([&] { db->create_table(u"type", two); }), 3259);
    EXPECT_EQ(db->table_names().size(), 1u);
    // A BIFF5 sheet name that 1252 cannot hold becomes legal and unique.
    if (v == 0) {
        jet_table& a = db->create_table(u"\u0417\u0430\u043a\u0430\u0437", cols);
        jet_table& b = db->create_table(u"\u0422\u043e\u0432\u0430\u0440", cols);
        EXPECT_EQ(a.name(), u"_____");
        EXPECT_EQ(b.name(), u"_____00001");
        EXPECT_EQ(db->find_table(u"_____"), &a);
        db->close();
        const auto x = jet_test::from_xlrd(dir.file("names.xls"));
        ASSERT_EQ(x.size(), 3u);
        EXPECT_EQ(x[1].name, u"_____");
        EXPECT_EQ(x[2].name, u"_____00001");
    } else {
        jet_table& a = db->create_table(u"\u0417\u0430\u043a\u0430\u0437", cols);
        EXPECT_EQ(a.name(), u"\u0417\u0430\u043a\u0430\u0437");
        EXPECT_EQ(error_of([&] { db->create_table(u"\u0437\u0430\u043a\u0430\u0437", cols); }),
                  3010);
        db->close();
        const auto x = jet_test::from_xlrd(dir.file("names.xls"));
        ASSERT_EQ(x.size(), 2u);
        EXPECT_EQ(x[1].name, u"\u0417\u0430\u043a\u0430\u0437");
    }
}

TEST(jet_open, connect_strings_and_paths) {
    jet_test::temp_dir dir;
    EXPECT_EQ(error_of([&] { jet_database::open(dir.file("a.xls"), u"Excel 7.0;", false, false); }),
              3170);
    EXPECT_EQ(error_of([&] { jet_database::open(dir.file("a.xls"), u"Excel 8.0", false, false); }),
              3170);
    EXPECT_EQ(error_of([&] { jet_database::open(dir.file("a.xls"), u"Text;", false, false); }),
              3170);
    EXPECT_EQ(jet_database::open(dir.file("a.xls"), u"excel 8.0;HDR=YES;", false, false)->version(),
              1);
    EXPECT_EQ(error_of([&] {
                  jet_database::open(dir.file("no/such/a.xls"), u"Excel 8.0;", false, false);
              }),
              3044);
    EXPECT_EQ(
        error_of([&] { jet_database::open(dir.file("missing.xls"), u"Excel 8.0;", false, true); }),
        3024);
    EXPECT_EQ(error_of([&] { jet_database::open(dir.path(), u"Excel 8.0;", false, false); }), 3051);
    // Locked by an exclusive opener.
    {
        auto db = jet_database::open(dir.file("a.xls"), u"Excel 8.0;", false, false);
        std::vector<jet_column> cols(1);
        cols[0].name = u"x";
        db->create_table(u"S", cols);
        db->close();
    }
    auto holder = jet_database::open(dir.file("a.xls"), u"Excel 8.0;", true, false);
    EXPECT_EQ(error_of([&] { jet_database::open(dir.file("a.xls"), u"Excel 8.0;", true, false); }),
              3045);
    holder->close();
    EXPECT_EQ(
        jet_database::open(dir.file("a.xls"), u"Excel 8.0;", true, false)->table_names().size(),
        1u);
    // The other version's stream is not there.
    EXPECT_EQ(error_of([&] { jet_database::open(dir.file("a.xls"), u"Excel 5.0;", false, false); }),
              3274);
}

INSTANTIATE_TEST_SUITE_P(versions, jet_limits, ::testing::Values(0, 1));

// A workbook past 6.8 MiB: its compound file needs DIFAT sectors, for the
// first write and for the copy made when a sheet is added.
TEST(jet_large, workbook_beyond_the_header_fat_list) {
    jet_test::temp_dir dir;
    const std::string path = dir.file("large.xls");
    std::vector<jet_column> cols(2);
    cols[0].name = u"n";
    cols[0].type = jet_long;
    cols[1].name = u"text";
    cols[1].type = jet_memo;
    jet_test::book want{{u"Big", {jet_test::text(0, 0, u"n"), jet_test::text(0, 1, u"text")}}};
    {
        auto db = jet_database::open(path, u"Excel 8.0;", false, false);
        jet_table& t = db->create_table(u"Big", cols);
        for (int r = 1; r <= 40000; ++r) {
            std::u16string txt = tk::utf8_to_utf16(std::to_string(r)) + u":";
            while (txt.size() < 200) txt.push_back(char16_t(u'a' + (r * 31 + txt.size()) % 26));
            jet_value v[2] = {jet_value::of_number(r), jet_value::of_text(txt)};
            t.append(v, 2);
            want[0].cells.push_back(jet_test::number(static_cast<uint16_t>(r), 0, r));
            want[0].cells.push_back(jet_test::text(static_cast<uint16_t>(r), 1, txt));
        }
        db->close();
    }
    {
        auto db = jet_database::open(path, u"Excel 8.0;", false, false);
        jet_table& t = db->create_table(u"Small", cols);
        jet_value v[2] = {jet_value::of_number(1), jet_value::of_text(u"one")};
        t.append(v, 2);
        db->close();
    }
    want.push_back({u"Small",
                    {jet_test::text(0, 0, u"n"), jet_test::text(0, 1, u"text"),
                     jet_test::number(1, 0, 1), jet_test::text(1, 1, u"one")}});
    EXPECT_GT(jet_test::slurp(path).size(), 7u << 20);
    const jet_rbook b = jet_read_book(path);
    EXPECT_TRUE(b.problems.empty()) << b.problems.front();
    EXPECT_EQ(jet_test::diff(want, jet_test::from_reader(b)), "");
    EXPECT_EQ(jet_test::diff(want, jet_test::from_xlrd(path)), "");
}
