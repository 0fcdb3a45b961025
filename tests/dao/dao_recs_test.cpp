// Appending records: every value kind as the cell both readers see, dates
// of the 1900 date system and the ones a cell cannot hold, NULLs in
// required columns, cells too large, refused records, and the workbook
// after the header patch.
#include "dao/dao_recs.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "common/xls_engi.h"
#include "dao/dao_db.h"
#include "dao_testutil.h"

using namespace dao_test;

namespace {

const std::u16string k8 = u"Excel 8.0;";
const std::u16string k5 = u"Excel 5.0;";

long dao_number_of(const std::function<void()>& f) {
    try {
        f();
    } catch (const dao_exception& e) {
        EXPECT_EQ(e.code(), 0);
        EXPECT_EQ(e.system_error(), 0x10000u + static_cast<uint32_t>(e.number()));
        return e.number();
    }
    return 0;
}

// One workbook with one worksheet "T" of the given columns.
class book_writer {
  public:
    book_writer(engine_scope& es, const std::u16string& path, const std::u16string& connect,
                const udb_schema& schema)
        : db_(es.engine->create_dao_src(path, connect)),
          rs_(db_->create_table(u"T", schema, udb_indexes())) {}
    dao_recordset& rs() { return static_cast<dao_recordset&>(*rs_); }
    void append(std::vector<ole_variant> values) {
        udb_record r = make_record(std::move(values));
        rs_->append_record(r);
    }
    void close() {
        rs_.reset();
        db_->close();
        db_.reset();
    }

  private:
    std::unique_ptr<dao_database> db_;
    std::unique_ptr<udb_recordset> rs_;
};

const jet_rcell* ours_at(const jet_rbook& b, uint16_t row, uint16_t col) {
    return jet_rbook::cell(b.sheets.at(0), row, col);
}

TEST(DaoRecordset, EveryKindReadBackByBothReaders) {
    engine_scope es;
    temp_dir dir;
    const std::vector<uint16_t> kinds = {VT_I2,   VT_I4,   VT_R4,   VT_R8,   VT_CY,  VT_DECIMAL,
                                         VT_BOOL, VT_UI1,  VT_I1,   VT_UI2,  VT_UI4, VT_I8,
                                         VT_UI8,  VT_BSTR, VT_BSTR, VT_DATE, VT_DATE};
    std::vector<uint32_t> sizes(kinds.size(), 8);
    sizes[13] = 20;  // Text
    sizes[14] = 0;   // Memo
    auto schema = make_schema(kinds, {}, sizes);
    book_writer w(es, dir.wfile("k.xls"), k8, *schema);
    EXPECT_EQ(w.rs().capacity(), 65535u);
    const std::u16string memo(300, u'm');
    w.append({ole_variant(short(-3)), ole_variant(123456), ole_variant(1.5f), ole_variant(2.25),
              ole_variant(CY{123456}), ole_variant::from_wstring(u"12.5", VT_DECIMAL),
              ole_variant(true), ole_variant(static_cast<unsigned char>(200)),
              ole_variant(static_cast<signed char>(-2)),
              ole_variant(static_cast<unsigned short>(60000)), ole_variant(4000000000u),
              ole_variant((1LL << 53) + 1), ole_variant(18446744073709551615ULL),
              ole_variant(u"héllo"), ole_variant(memo), ole_variant(when(2012, 1, 5, 10, 20, 30)),
              ole_variant(when(2012, 1, 5))});
    EXPECT_EQ(w.rs().appended(), 1u);
    EXPECT_EQ(w.rs().records_count(), 1u);
    w.close();

    const std::vector<double> numbers = {-3,
                                         123456,
                                         1.5,
                                         2.25,
                                         12.3456,
                                         12.5,
                                         1,
                                         200,
                                         -2,
                                         60000,
                                         4e9,
                                         9007199254740992.0,
                                         18446744073709551616.0};
    jet_rbook ours = read_ours(dir.file("k.xls"));
    EXPECT_TRUE(ours.problems.empty()) << ours.problems.at(0);
    xbook x = read_xlrd(dir.file("k.xls"));
    ASSERT_EQ(x.error, "");
    ASSERT_EQ(x.sheets.size(), 1u);
    const xsheet& s = x.sheets[0];
    EXPECT_EQ(s.nrows, 2);
    for (size_t c = 0; c < kinds.size(); ++c) {
        ASSERT_NE(s.at(0, static_cast<int>(c)), nullptr);
        EXPECT_EQ(s.at(0, static_cast<int>(c))->text, schema->at(c).name);
        const jet_rcell* cell = ours_at(ours, 1, static_cast<uint16_t>(c));
        ASSERT_NE(cell, nullptr) << c;
        // No data cell takes the future header format.
        EXPECT_NE(cell->xf, 16) << c;
    }
    for (size_t c = 0; c < numbers.size(); ++c) {
        const xcell* xc = s.at(1, static_cast<int>(c));
        ASSERT_NE(xc, nullptr) << c;
        if (c == 6) {
            EXPECT_EQ(xc->kind, "bool");
            EXPECT_EQ(ours_at(ours, 1, 6)->k, jet_rcell::kind::boolean);
            EXPECT_TRUE(ours_at(ours, 1, 6)->boolean);
            continue;
        }
        EXPECT_EQ(xc->kind, "number") << c;
        EXPECT_EQ(xc->number, numbers[c]) << c;
        EXPECT_EQ(ours_at(ours, 1, static_cast<uint16_t>(c))->number, numbers[c]) << c;
    }
    EXPECT_EQ(s.at(1, 13)->text, u"héllo");
    EXPECT_EQ(s.at(1, 14)->text, memo);
    EXPECT_EQ(text_at(ours.sheets[0], 1, 14), memo);
    ASSERT_EQ(s.at(1, 15)->kind, "date");
    EXPECT_EQ(s.at(1, 15)->date, (std::vector<int>{2012, 1, 5, 10, 20, 30}));
    EXPECT_EQ(s.at(1, 16)->date, (std::vector<int>{2012, 1, 5, 0, 0, 0}));
    EXPECT_EQ(ours_at(ours, 1, 15)->number, serial_1900(2012, 1, 5, 10, 20, 30));
    // Date cells use a date format from the 25th XF on, which the patch keeps.
    EXPECT_GE(ours_at(ours, 1, 15)->xf, 24);
    EXPECT_GE(ours_at(ours, 1, 16)->xf, 24);
}

TEST(DaoRecordset, DatesOfThe1900DateSystem) {
    engine_scope es;
    temp_dir dir;
    auto schema = make_schema({VT_DATE});
    book_writer w(es, dir.wfile("d.xls"), k8, *schema);
    const int dates[][6] = {{1900, 1, 1, 0, 0, 0},   {1900, 2, 28, 0, 0, 0},
                            {1900, 3, 1, 0, 0, 0},   {1904, 2, 29, 6, 0, 0},
                            {2024, 2, 29, 12, 0, 0}, {9999, 12, 31, 23, 59, 59}};
    for (const auto& d : dates) w.append({ole_variant(when(d[0], d[1], d[2], d[3], d[4], d[5]))});
    w.close();

    jet_rbook ours = read_ours(dir.file("d.xls"));
    EXPECT_TRUE(ours.problems.empty());
    // xlrd refuses to turn serials before 1 March 1900 into dates (they are
    // ambiguous), so it is asked for the raw numbers of all rows.
    xbook x = read_xlrd(dir.file("d.xls"), 1, 6);
    ASSERT_EQ(x.error, "");
    const xsheet& s = x.sheets.at(0);
    EXPECT_EQ(s.nrows, 7);
    for (int i = 0; i < 6; ++i) {
        const auto& d = dates[i];
        const double want = serial_1900(d[0], d[1], d[2], d[3], d[4], d[5]);
        EXPECT_EQ(ours_at(ours, static_cast<uint16_t>(i + 1), 0)->number, want) << i;
        ASSERT_NE(s.at(i + 1, 0), nullptr) << i;
        EXPECT_DOUBLE_EQ(s.at(i + 1, 0)->number, want) << i;
    }
    EXPECT_EQ(serial_1900(1900, 1, 1), 1);
    EXPECT_EQ(serial_1900(1900, 3, 1), 61);
}

TEST(DaoRecordset, DatesACellCannotHoldAreRefusedWith3349) {
    engine_scope es;
    temp_dir dir;
    auto schema = make_schema({VT_I4, VT_DATE});
    book_writer w(es, dir.wfile("r.xls"), k8, *schema);
    udb_record bad = make_record({ole_variant(1), ole_variant(when(1899, 12, 31))});
    EXPECT_EQ(dao_number_of([&] { w.rs().append_record(bad); }), 3349);
    // A time of day alone ("0000-00-00 10:30:00") becomes 1899-12-30 10:30,
    // which is before 1900 too.
    udb_record zero = make_record({ole_variant(2), ole_variant(when(0, 0, 0, 10, 30, 0))});
    EXPECT_EQ(dao_number_of([&] { w.rs().append_record(zero); }), 3349);
    EXPECT_EQ(w.rs().records_count(), 0u);
    w.append({ole_variant(3), ole_variant(when(1900, 1, 1))});
    w.close();

    // Nothing of the refused records was written: the good one is row 1.
    jet_rbook ours = read_ours(dir.file("r.xls"));
    EXPECT_EQ(ours_at(ours, 1, 0)->number, 3);
    EXPECT_EQ(ours_at(ours, 2, 0), nullptr);
    // 1900-01-01 is ambiguous to xlrd as a date: read the raw number.
    xbook x = read_xlrd(dir.file("r.xls"), 1, 1);
    ASSERT_EQ(x.error, "");
    EXPECT_EQ(x.sheets.at(0).nrows, 2);
    EXPECT_EQ(x.sheets.at(0).at(1, 1)->number, 1);
    EXPECT_EQ(x.sheets.at(0).at(1, 0)->number, 3);
}

TEST(DaoRecordset, DatesIntoTextColumnsTakeTheirCanonicalText) {
    engine_scope es;
    temp_dir dir;
    // The converter makes date columns text columns in BIFF5 and when dates
    // go as strings; the values stay dates.
    auto schema = make_schema({VT_BSTR, VT_BSTR, VT_BSTR});
    book_writer w(es, dir.wfile("s.xls"), k5, *schema);
    EXPECT_EQ(w.rs().capacity(), 16383u);
    w.append({ole_variant(when(2012, 1, 5)), ole_variant(when(2012, 1, 5, 10, 20, 30)),
              ole_variant(when(0, 0, 0, 10, 30, 0))});
    w.append({ole_variant(when(1066, 10, 14)), ole_variant::null(), ole_variant(42)});
    w.close();
    xbook x = read_xlrd(dir.file("s.xls"));
    ASSERT_EQ(x.error, "");
    const xsheet& s = x.sheets.at(0);
    EXPECT_EQ(s.at(1, 0)->text, u"2012-01-05");
    EXPECT_EQ(s.at(1, 1)->text, u"2012-01-05 10:20:30");
    EXPECT_EQ(s.at(1, 2)->text, u"0000-00-00 10:30:00");
    EXPECT_EQ(s.at(2, 0)->text, u"1066-10-14");
    EXPECT_EQ(s.at(2, 1), nullptr);
    EXPECT_EQ(s.at(2, 2)->text, u"42");
    jet_rbook ours = read_ours(dir.file("s.xls"));
    EXPECT_TRUE(ours.problems.empty());
    EXPECT_EQ(text_at(ours.sheets[0], 2, 0), u"1066-10-14");
}

TEST(DaoRecordset, NullInRequiredColumnIsAnEmptyValueOfItsKind) {
    engine_scope es;
    temp_dir dir;
    udb_schema schema;
    for (uint16_t vt : {VT_BSTR, VT_I4, VT_BOOL, VT_DATE})
        schema.add(new t_ftd(10, u"R" + std::u16string(1, u'0' + vt % 10), vt, true, false,
                             ole_variant(), 0));
    schema.add(new t_ftd(10, u"OPT", VT_BSTR, false, false, ole_variant(), 0));
    book_writer w(es, dir.wfile("n.xls"), k8, schema);
    w.append({ole_variant::null(), ole_variant::null(), ole_variant(), ole_variant::null(),
              ole_variant::null()});
    w.append({ole_variant(u"x"), ole_variant(5), ole_variant(true), ole_variant(when(2000, 1, 1)),
              ole_variant(u"y")});
    w.close();

    jet_rbook ours = read_ours(dir.file("n.xls"));
    EXPECT_TRUE(ours.problems.empty());
    ASSERT_NE(ours_at(ours, 1, 0), nullptr);
    EXPECT_EQ(ours_at(ours, 1, 0)->k, jet_rcell::kind::text);
    EXPECT_EQ(ours_at(ours, 1, 0)->text, u"");
    EXPECT_EQ(ours_at(ours, 1, 1), nullptr);  // an empty text is no number
    EXPECT_EQ(ours_at(ours, 1, 2), nullptr);  // nor a boolean
    EXPECT_EQ(ours_at(ours, 1, 3), nullptr);
    EXPECT_EQ(ours_at(ours, 1, 4), nullptr);  // not required: stays NULL
    xbook x = read_xlrd(dir.file("n.xls"));
    ASSERT_EQ(x.error, "");
    const xsheet& s = x.sheets.at(0);
    EXPECT_EQ(s.nrows, 3);
    ASSERT_NE(s.at(1, 0), nullptr);
    EXPECT_EQ(s.at(1, 0)->kind, "text");
    EXPECT_EQ(s.at(1, 1), nullptr);
    EXPECT_EQ(s.at(1, 2), nullptr);
    EXPECT_EQ(s.at(2, 2)->kind, "bool");
    EXPECT_EQ(s.at(2, 2)->number, 1);
    EXPECT_EQ(s.at(2, 4)->text, u"y");
}

TEST(DaoRecordset, CellTooLargeIsLeftEmptyAndTheRowWritten) {
    engine_scope es;
    temp_dir dir;
    auto schema = make_schema({VT_BSTR, VT_I4, VT_BSTR}, {}, {0, 4, 0});
    for (int version = 0; version <= 1; ++version) {
        const std::string file = version ? "big8.xls" : "big5.xls";
        const size_t limit = version ? 32767 : 255;
        book_writer w(es, dir.wfile(file), version ? k8 : k5, *schema);
        const std::u16string fits(limit, u'f');
        const std::u16string over(limit + 1, u'o');
        w.append({ole_variant(over), ole_variant(1), ole_variant(fits)});
        w.append({ole_variant(fits), ole_variant(2), ole_variant(over)});
        EXPECT_EQ(w.rs().records_count(), 2u);
        w.close();

        jet_rbook ours = read_ours(dir.file(file));
        EXPECT_TRUE(ours.problems.empty()) << file;
        EXPECT_EQ(ours_at(ours, 1, 0), nullptr) << file;
        EXPECT_EQ(ours_at(ours, 1, 1)->number, 1) << file;
        EXPECT_EQ(text_at(ours.sheets[0], 1, 2), fits) << file;
        EXPECT_EQ(text_at(ours.sheets[0], 2, 0), fits) << file;
        EXPECT_EQ(ours_at(ours, 2, 2), nullptr) << file;
        xbook x = read_xlrd(dir.file(file));
        ASSERT_EQ(x.error, "") << file;
        const xsheet& s = x.sheets.at(0);
        EXPECT_EQ(s.at(1, 0), nullptr) << file;
        EXPECT_EQ(s.at(1, 2)->text, fits) << file;
        EXPECT_EQ(s.at(2, 1)->number, 2) << file;
        EXPECT_EQ(s.at(2, 2), nullptr) << file;
    }
}

TEST(DaoRecordset, RecordsThatDoNotFitTheColumns) {
    engine_scope es;
    temp_dir dir;
    auto schema = make_schema({VT_I4, VT_R8, VT_BSTR});
    book_writer w(es, dir.wfile("f.xls"), k8, *schema);
    udb_record short_row = make_record({ole_variant(1), ole_variant(2.0)});
    try {
        w.rs().append_record(short_row);
        ADD_FAILURE() << "no exception";
    } catch (const dao_exception&) {
        ADD_FAILURE() << "a structure mismatch is not a record refusal";
    } catch (const tk_exception& e) {
        EXPECT_EQ(e.code(), 1);
        EXPECT_EQ(e.message(),
                  "The structures of data source does not conform to the destination table.");
    }
    // A value that does not convert to its column's kind.
    udb_record text_in_number =
        make_record({ole_variant(1), ole_variant(u"abc"), ole_variant(u"")});
    EXPECT_THROW(w.rs().append_record(text_in_number), ole_cast_exception);
    // One that does: converted in place before it is written.
    udb_record converts = make_record({ole_variant(u"7"), ole_variant(3), ole_variant(1.5)});
    w.rs().append_record(converts);
    EXPECT_EQ(converts[0].get_type(), VT_I4);
    EXPECT_EQ(converts[2].get_type(), VT_BSTR);
    EXPECT_EQ(w.rs().records_count(), 1u);
    w.close();
    xbook x = read_xlrd(dir.file("f.xls"));
    ASSERT_EQ(x.error, "");
    EXPECT_EQ(x.sheets.at(0).nrows, 2);
    EXPECT_EQ(x.sheets.at(0).at(1, 0)->number, 7);
    EXPECT_EQ(x.sheets.at(0).at(1, 1)->number, 3);
    EXPECT_EQ(x.sheets.at(0).at(1, 2)->kind, "text");
    EXPECT_TRUE(read_ours(dir.file("f.xls")).problems.empty());
}

// The whole road of a workbook written here: the header patch of the
// format version makes row 0 the header format, and dates stay dates in
// BIFF8.
TEST(DaoRecordset, PatchedWorkbookShowsHeaderAndDates) {
    engine_scope es;
    temp_dir dir;
    xls_engine_50 e50;
    xls_engine_80 e80;
    xls_engine* engines[] = {&e50, &e80};
    for (int version = 0; version <= 1; ++version) {
        const std::string file = version ? "p8.xls" : "p5.xls";
        auto schema = make_schema({VT_BSTR, version ? VT_DATE : VT_BSTR, VT_R8},
                                  {u"NAME", u"DAY", u"AMOUNT"});
        book_writer w(es, dir.wfile(file), engines[version]->connect, *schema);
        w.append({ole_variant(u"a"), ole_variant(when(2020, 5, 17)), ole_variant(1.25)});
        w.close();
        ASSERT_TRUE(engines[version]->patch(dir.wfile(file))) << file;

        xbook x = read_xlrd(dir.file(file));
        ASSERT_EQ(x.error, "") << file;
        const xsheet& s = x.sheets.at(0);
        ASSERT_EQ(s.header.size(), 3u) << file;
        for (const xfmt& h : s.header) {
            EXPECT_TRUE(h.bold) << file;
            EXPECT_EQ(h.halign, 2) << file;  // centred
            EXPECT_EQ(h.fill, 22) << file;
            EXPECT_EQ(h.borders, (std::vector<int>{1, 1, 1, 1})) << file;
        }
        ASSERT_EQ(s.data.size(), 3u);
        EXPECT_FALSE(s.data[0].bold);
        if (version == 1) {
            ASSERT_EQ(s.at(1, 1)->kind, "date");
            EXPECT_EQ(s.at(1, 1)->date, (std::vector<int>{2020, 5, 17, 0, 0, 0}));
        } else {
            EXPECT_EQ(s.at(1, 1)->text, u"2020-05-17");
        }
        EXPECT_EQ(s.at(1, 2)->number, 1.25);
        jet_rbook ours = read_ours(dir.file(file));
        EXPECT_TRUE(ours.problems.empty()) << file;
    }
}

}  // namespace
