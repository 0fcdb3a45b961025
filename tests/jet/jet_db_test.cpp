// The workbook driver: every kind of value, both versions, read back by our
// reader and by xlrd, and the layout the header patch relies on.
#include "jet/jet_db.h"

#include <gtest/gtest.h>

#include <cmath>

#include "TK/tk_coding.h"
#include "TK/tk_utf.h"
#include "jet/jet_rdr.h"
#include "jet_testutil.h"

using jet_test::book;
using jet_test::sheet;

namespace {

const std::u16string k_connect[2] = {u"Excel 5.0;", u"Excel 8.0;"};

jet_column col(const char16_t* name, int type, int size = 0) {
    jet_column c;
    c.name = name;
    c.type = type;
    c.size = size;
    return c;
}

void header(sheet& s, const std::vector<jet_column>& cols) {
    for (size_t c = 0; c < cols.size(); ++c)
        s.cells.push_back(jet_test::text(0, static_cast<uint16_t>(c), cols[c].name));
}

// Every workbook written is read back twice, checked against the model and
// against the layout rules.
void check_book(const std::string& path, const book& want, int version) {
    const jet_rbook b = jet_read_book(path);
    EXPECT_EQ(b.version, version);
    EXPECT_TRUE(b.problems.empty()) << b.problems.front();
    EXPECT_EQ(jet_test::diff(want, jet_test::from_reader(b)), "");
    EXPECT_EQ(jet_test::diff(want, jet_test::from_xlrd(path)), "");
    for (const auto& s : b.sheets) {
        for (const auto& c : s.cells) {
            // XF 16 becomes the header format: no data cell may use it.
            EXPECT_NE(c.xf, 16) << c.row << "," << c.col;
            const uint16_t fmt = tk::get_u16(b.xfs.at(c.xf).data() + 2);
            const bool style = tk::get_u16(b.xfs.at(c.xf).data() + 4) & 4;
            EXPECT_FALSE(style);
            if (fmt == 0) {
                EXPECT_TRUE(c.xf == 15 || (c.xf >= 21 && c.xf <= 23)) << c.xf;
            } else {
                // Dates: a format of our own, on an XF the patch leaves alone.
                EXPECT_GE(fmt, 164);
                EXPECT_GE(c.xf, 24);
            }
        }
        // Row 0 holds the column names from column 0 on, as a contiguous run.
        uint16_t next = 0;
        for (const auto& c : s.cells) {
            if (c.row == 0) {
                EXPECT_EQ(c.col, next++);
            }
        }
    }
}

class jet_db : public ::testing::TestWithParam<int> {};

}  // namespace

TEST_P(jet_db, values_of_every_kind) {
    const int v = GetParam();
    jet_test::temp_dir dir;
    const std::string path = dir.file("kinds.xls");
    auto db = jet_database::open(path, k_connect[v], false, false);
    EXPECT_EQ(db->version(), v);
    const std::vector<jet_column> cols = {col(u"id", jet_long),       col(u"price", jet_double),
                                          col(u"name", jet_text, 50), col(u"memo", jet_memo),
                                          col(u"flag", jet_boolean),  col(u"when", jet_date),
                                          col(u"small", jet_integer), col(u"cur", jet_currency),
                                          col(u"single", jet_single), col(u"bin", jet_long_binary)};
    jet_table& t = db->create_table(u"Data", cols);
    EXPECT_EQ(t.name(), u"Data");
    EXPECT_EQ(t.capacity(), v ? 65535u : 16383u);
    using V = jet_value;
    const std::u16string longtext(200, u'L');
    std::vector<std::vector<V>> rows = {
        {V::of_number(1), V::of_number(0.1), V::of_text(u"alpha"), V::of_text(longtext),
         V::of_boolean(true), V::of_date(2001, 2, 3, 4, 5, 6), V::of_number(-5),
         V::of_number(1.23456), V::of_number(0.1), V::of_text(u"<Binary Field>")},
        {V::of_number(-2147483648.0), V::of_number(-1e300), V::of_text(u""), V(),
         V::of_boolean(false), V::of_date(1900, 1, 1), V::of_number(32767), V(), V(), V()},
        // The 1900 system's phantom day: 28 Feb is 59, 1 Mar is 61.
        {V::of_number(3), V::of_number(1.0 / 3), V::of_text(u"Caf\u00e9 \u20ac"),
         V::of_text(u"x\ny"), V(), V::of_date(1900, 2, 28), V(), V::of_number(-0.5), V(), V()},
        {V::of_number(4), V::of_number(536870912.0), V::of_text(u"\u0417\u0430\u043a\u0430\u0437"),
         V(), V(), V::of_date(1900, 3, 1, 23, 59, 59), V(), V(), V(), V()},
        {V(), V(), V(), V(), V(), V(), V(), V(), V(), V()},  // all NULL: a row without cells
        {V::of_number(6), V::of_number(-0.0), V::of_text(u"alpha"), V(), V(),
         V::of_date(9999, 12, 31), V(), V(), V(), V()},
        {V::of_text(u"7"), V::of_text(u"2.5"), V::of_number(8), V::of_boolean(true),
         V::of_text(u"no"), V::of_text(u"2020-01-02"), V::of_boolean(true), V(), V(), V()},
    };
    for (auto& r : rows) t.append(r.data(), r.size());
    EXPECT_EQ(t.record_count(), rows.size());
    db->close();
    db->close();  // idempotent

    sheet s{u"Data", {}};
    header(s, cols);
    using namespace jet_test;
    const std::u16string zakaz = v ? u"\u0417\u0430\u043a\u0430\u0437" : u"?????";
    s.cells.insert(s.cells.end(), {
                                      number(1, 0, 1),
                                      number(1, 1, 0.1),
                                      text(1, 2, u"alpha"),
                                      text(1, 3, longtext),
                                      boolean(1, 4, true),
                                      date(1, 5, 36925 + (4 * 3600 + 5 * 60 + 6) / 86400.0),
                                      number(1, 6, -5),
                                      number(1, 7, 1.2346),
                                      number(1, 8, static_cast<double>(0.1f)),
                                      text(1, 9, u"<Binary Field>"),
                                      number(2, 0, -2147483648.0),
                                      number(2, 1, -1e300),
                                      text(2, 2, u""),
                                      boolean(2, 4, false),
                                      date(2, 5, 1),
                                      number(2, 6, 32767),
                                      number(3, 0, 3),
                                      number(3, 1, 1.0 / 3),
                                      text(3, 2, u"Caf\u00e9 \u20ac"),
                                      text(3, 3, u"x\ny"),
                                      date(3, 5, 59),
                                      number(3, 7, -0.5),
                                      number(4, 0, 4),
                                      number(4, 1, 536870912.0),
                                      text(4, 2, zakaz),
                                      date(4, 5, 61 + 86399.0 / 86400),
                                      number(6, 0, 6),
                                      number(6, 1, -0.0),
                                      text(6, 2, u"alpha"),
                                      date(6, 5, 2958465),
                                      number(7, 0, 7),
                                      number(7, 1, 2.5),
                                      text(7, 2, u"8"),
                                      text(7, 3, u"True"),
                                      boolean(7, 4, false),
                                      date(7, 5, 43832),
                                      number(7, 6, -1),
                                  });
    check_book(path, {s}, v);

    // Formats as xlrd sees them: dates with the date formats.
    std::string raw;
    jet_test::from_xlrd(path, &raw, true);
    EXPECT_NE(raw.find("\"yyyy-mm-dd hh:mm:ss\""), std::string::npos) << raw;
    EXPECT_NE(raw.find("\"yyyy-mm-dd\""), std::string::npos);
    EXPECT_EQ(dir.list(), std::vector<std::string>{"kinds.xls"});  // no temporary left
}

TEST_P(jet_db, failed_values_leave_the_row_unwritten) {
    const int v = GetParam();
    jet_test::temp_dir dir;
    const std::string path = dir.file("fail.xls");
    auto db = jet_database::open(path, k_connect[v], false, false);
    const std::vector<jet_column> cols = {col(u"a", jet_text), col(u"d", jet_date),
                                          col(u"b", jet_byte)};
    jet_table& t = db->create_table(u"T", cols);
    auto expect_error = [&](std::vector<jet_value> r, long number, int field) {
        try {
            t.append(r.data(), r.size());
            ADD_FAILURE() << "no error";
        } catch (const jet_error& e) {
            EXPECT_EQ(e.number(), number);
            EXPECT_EQ(e.field(), field);
        }
    };
    using V = jet_value;
    expect_error({V::of_text(u"x"), V::of_date(1899, 12, 31), V::of_number(1)}, 3349, 1);
    EXPECT_EQ(std::string(jet_error::make(3349).what()), "Numeric field overflow.");
    expect_error({V::of_text(u"x"), V(), V::of_number(300)}, 3349, 2);
    const std::u16string too_long(v ? 32768 : 256, u'x');
    expect_error({V::of_text(too_long), V(), V()}, 3047, 0);
    EXPECT_EQ(std::string(jet_error::make(3047).what()), "Record is too large.");
    expect_error({V(), V::of_text(u"soon"), V()}, 3421, 1);
    EXPECT_EQ(t.record_count(), 0u);
    // The caller's remedy for 3047: the value left out, the row written.
    std::vector<V> ok = {V(), V::of_date(1900, 1, 1), V::of_number(2)};
    t.append(ok.data(), ok.size());
    EXPECT_EQ(t.record_count(), 1u);
    db->close();
    sheet s{u"T", {}};
    header(s, cols);
    s.cells.push_back(jet_test::date(1, 1, 1));
    s.cells.push_back(jet_test::number(1, 2, 2));
    check_book(path, {s}, v);
}

TEST_P(jet_db, texts_cross_record_boundaries_and_longest_texts_survive) {
    const int v = GetParam();
    jet_test::temp_dir dir;
    const std::string path = dir.file("texts.xls");
    auto db = jet_database::open(path, k_connect[v], false, false);
    const std::vector<jet_column> cols = {col(u"t", jet_memo)};
    jet_table& t = db->create_table(u"Texts", cols);
    sheet s{u"Texts", {}};
    header(s, cols);
    std::vector<std::u16string> texts;
    const size_t max = v ? 32767 : 255;
    texts.push_back(std::u16string(max, u'a'));
    texts.push_back(std::u16string(max, v ? u'\u0436' : u'\u00e9'));
    // Lengths that put string starts and splits at many offsets: 8-bit,
    // 16-bit, mixed, and surrogate pairs.
    for (int i = 0; i < 300; ++i) {
        std::u16string x;
        const size_t len = v ? 1000 + (i * 977) % 9000 : 1 + (i * 37) % 250;
        for (size_t k = 0; x.size() < len; ++k) {
            switch (i % 4) {
                case 0:
                    x.push_back(u'a' + k % 26);
                    break;
                case 1:
                    x.push_back(v ? 0x3B1 + k % 20 : 0xC0 + k % 20);
                    break;
                case 2:
                    x.push_back(k % 7 ? u'm' : 0x263A);
                    break;
                default:
                    x += k % 2 ? u"\U0001F600" : u"s";
                    break;
            }
        }
        if (!v && x.size() > 250)
            x.resize(250);
        if (x.back() >= 0xD800 && x.back() <= 0xDBFF)
            x.pop_back();
        x += tk::utf8_to_utf16(std::to_string(i));
        texts.push_back(x);
    }
    uint16_t row = 1;
    for (const auto& x : texts) {
        jet_value val = jet_value::of_text(x);
        t.append(&val, 1);
        std::u16string shown = x;
        if (!v) {
            // BIFF5 holds Windows-1252: the rest reads back as "?" (a pair as one).
            shown.clear();
            for (size_t k = 0; k < x.size(); ++k) {
                const bool pair = x[k] >= 0xD800 && x[k] <= 0xDBFF && k + 1 < x.size();
                shown.push_back(tk::cp1252_from_unit(x[k]) >= 0 ? x[k] : u'?');
                if (pair)
                    ++k;
            }
        }
        s.cells.push_back(jet_test::text(row++, 0, shown));
    }
    db->close();
    check_book(path, {s}, v);
    if (v) {
        const jet_rbook b = jet_read_book(path);
        EXPECT_EQ(b.sst.size(), texts.size() + 1);
        EXPECT_EQ(b.sst_total, texts.size() + 1);
    }
}

INSTANTIATE_TEST_SUITE_P(versions, jet_db, ::testing::Values(0, 1));
