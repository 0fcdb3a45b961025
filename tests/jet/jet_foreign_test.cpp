// A workbook written by another program: rich and phonetic strings, a
// string continued in another width, a chart sheet, a defined name, fewer
// XFs than the driver's layout, no INDEX records, other streams. The
// driver adds a sheet without disturbing any of it.
#include <gtest/gtest.h>

#include "TK/tk_coding.h"
#include "TK/tk_sink.h"
#include "jet/jet_db.h"
#include "jet/jet_out.h"
#include "jet/jet_rdr.h"
#include "jet_testutil.h"
#include "stg/stg_file.h"
#include "stg/stg_write.h"

namespace {

void cell_head(jet_rec& r, uint16_t row, uint16_t col, uint16_t xf) {
    r.u16(row).u16(col).u16(xf);
}

struct foreign {
    std::vector<uint8_t> stream;
    std::vector<uint8_t> chart;  // the chart substream's bytes
};

foreign build() {
    foreign f;
    std::vector<uint8_t>& s = f.stream;
    jet_rec(s, 0x0809).hex("00 06 05 00 AA AA CD 07 00 00 00 00 06 00 00 00");
    jet_rec(s, 0x0042).u16(1200);
    jet_rec(s, 0x003D).hex("00 00 00 00 00 30 00 20 38 00 00 00 00 00 01 00 58 02");
    jet_rec(s, 0x0022).u16(0);
    for (int i = 0; i < 5; ++i)
        jet_rec(s, 0x0031).hex(
            "C8 00 00 00 FF 7F 90 01 00 00 00 00 00 00 07 00 43 61 6C 69 62 72 69");
    jet_rec(s, 0x041E).u16(164).u16(5).u8(0).bytes("0.000", 5);
    for (int i = 0; i < 15; ++i)
        jet_rec(s, 0x00E0).hex("00 00 00 00 F5 FF 20 00 00 F4 00 00 00 00 00 00 00 00 C0 20");
    jet_rec(s, 0x00E0).hex("00 00 00 00 01 00 20 00 00 00 00 00 00 00 00 00 00 00 C0 20");
    jet_rec(s, 0x00E0).hex("00 00 A4 00 01 00 20 00 00 04 00 00 00 00 00 00 00 00 C0 20");
    jet_rec(s, 0x0293).hex("00 80 00 FF");
    const size_t bs1 = s.size() + 4;
    jet_rec(s, 0x0085).u32(0).u8(0).u8(0).u8(4).u8(0).bytes("Data", 4);
    const size_t bs2 = s.size() + 4;
    jet_rec(s, 0x0085).u32(0).u8(0).u8(2).u8(6).u8(0).bytes("Chart1", 6);
    // A defined name (print area of sheet 1).
    jet_rec(s, 0x0018).hex(
        "20 00 00 01 0B 00 00 00 01 00 00 00 00 00 00 06 3B 00 00 00 00 03 00 00 00 03 00");
    {
        jet_rec r(s, 0x00FC);
        r.u32(6).u32(5);
        r.u16(5).u8(0).bytes("plain", 5);
        r.u16(4).u8(0x08).u16(2).bytes("Rich", 4).hex("00 00 01 00 02 00 00 00");  // two runs
        r.u16(2).u8(0x04).u32(6).bytes("Ph", 2).hex("01 02 03 04 05 06");          // phonetic data
        // 16-bit string of 10 characters, 4 here, 6 in the CONTINUE (8-bit).
        r.u16(10).u8(0x01).hex("16 04 17 04 18 04 19 04");
    }
    jet_rec(s, 0x003C).u8(0).bytes("abcdef", 6).u16(5).u8(0).bytes("plain", 5);
    jet_rec(s, 0x00FF).hex("08 00 00 00 00 00 00 00 00 00");
    jet_rec(s, 0x000A);
    // Sheet "Data": no INDEX, no DBCELL.
    tk::put_u32(s.data() + bs1, static_cast<uint32_t>(s.size()));
    jet_rec(s, 0x0809).hex("00 06 10 00 AA AA CD 07 00 00 00 00 06 00 00 00");
    jet_rec(s, 0x0200).u32(0).u32(5).u16(0).u16(3).u16(0);
    {
        jet_rec r(s, 0x00FD);
        cell_head(r, 0, 0, 15);
        r.u32(0);
    }
    {
        jet_rec r(s, 0x00FD);
        cell_head(r, 0, 1, 15);
        r.u32(1);
    }
    {
        jet_rec r(s, 0x00FD);
        cell_head(r, 1, 0, 15);
        r.u32(2);
    }
    {
        jet_rec r(s, 0x00FD);
        cell_head(r, 1, 1, 15);
        r.u32(3);
    }
    {
        jet_rec r(s, 0x00FD);
        cell_head(r, 2, 0, 15);
        r.u32(4);
    }
    {
        jet_rec r(s, 0x0203);
        cell_head(r, 2, 1, 16);
        r.f64(3.25);
    }
    {
        jet_rec r(s, 0x00BD);
        r.u16(3).u16(0).u16(15).u32(6).u16(15).u32(10).u16(15).u32(14).u16(2);
    }
    {
        jet_rec r(s, 0x0201);
        cell_head(r, 4, 0, 15);
    }
    jet_rec(s, 0x023E).hex("B6 06 00 00 00 00 40 00 00 00 00 00 00 00 00 00 00 00");
    jet_rec(s, 0x000A);
    // Sheet "Chart1": a chart substream.
    tk::put_u32(s.data() + bs2, static_cast<uint32_t>(s.size()));
    const size_t chart = s.size();
    jet_rec(s, 0x0809).hex("00 06 20 00 AA AA CD 07 00 00 00 00 06 00 00 00");
    jet_rec(s, 0x1002).zeros(16);
    jet_rec(s, 0x000A);
    f.chart.assign(s.begin() + chart, s.end());
    return f;
}

void write_file(const std::string& path, const foreign& f) {
    tk::file_sink out(path);
    stg_writer w(out);
    w.add_stream(u"Workbook", f.stream.data(), f.stream.size());
    const std::vector<uint8_t> si(200, 0x5A), stale(100, 0x11);
    w.add_stream(u"\x05SummaryInformation", si.data(), si.size());
    w.add_stream(u"Book", stale.data(), stale.size());
    w.finish();
    out.close();
}

}  // namespace

TEST(jet_foreign, a_sheet_is_added_to_a_foreign_workbook) {
    jet_test::temp_dir dir;
    const std::string path = dir.file("foreign.xls");
    const foreign f = build();
    write_file(path, f);
    using namespace jet_test;
    const sheet data{u"Data",
                     {text(0, 0, u"plain"), text(0, 1, u"Rich"), text(1, 0, u"Ph"),
                      text(1, 1, u"\u0416\u0417\u0418\u0419abcdef"), text(2, 0, u"plain"),
                      number(2, 1, 3.25), number(3, 0, 1), number(3, 1, 2), number(3, 2, 3)}};
    ASSERT_EQ(diff({data}, from_xlrd(path)), "");  // the file is sound

    auto db = jet_database::open(path, u"Excel 8.0;", false, false);
    EXPECT_EQ(db->table_names(), std::vector<std::u16string>{u"Data"});  // the chart is no table
    try {
        db->delete_table(u"Data");
        ADD_FAILURE();
    } catch (const jet_error& e) {
        EXPECT_EQ(e.number(), 3251);  // the defined name counts sheets by position
    }
    std::vector<jet_column> cols(3);
    cols[0].name = u"when";
    cols[0].type = jet_date;
    cols[1].name = u"plain";
    cols[1].type = jet_text;
    cols[2].name = u"n";
    cols[2].type = jet_double;
    jet_table& t = db->create_table(u"New", cols);
    jet_value r[3] = {jet_value::of_date(1999, 12, 31), jet_value::of_text(u"plain"),
                      jet_value::of_number(7)};
    t.append(r, 3);
    db->close();

    const sheet added{u"New",
                      {text(0, 0, u"when"), text(0, 1, u"plain"), text(0, 2, u"n"),
                       date(1, 0, 36525), text(1, 1, u"plain"), number(1, 2, 7)}};
    EXPECT_EQ(diff({data, added}, from_xlrd(path)), "");
    const jet_rbook b = jet_read_book(path);
    // Only the foreign sheet departs from the driver's own layout.
    for (const auto& p : b.problems) EXPECT_EQ(p.rfind("sheet 'Data'", 0), 0u) << p;
    ASSERT_EQ(b.sheets.size(), 3u);
    EXPECT_EQ(b.sheets[1].name, u"Chart1");
    EXPECT_EQ(b.sheets[1].type, 2);
    // The date cell uses an XF past the 24th with the driver's format; old
    // strings kept their indexes ("plain" reused, not added again).
    for (const auto& c : b.sheets[2].cells) {
        EXPECT_NE(c.xf, 16);
        if (c.row == 1 && c.col == 0) {
            EXPECT_GE(c.xf, 24);
        }
    }
    ASSERT_GE(b.sst.size(), 5u);
    EXPECT_EQ(b.sst[0], u"plain");
    EXPECT_EQ(b.sst[4], u"plain");
    EXPECT_EQ(b.sst.size(), 5u + 2u);  // "when" and "n"; "plain" reused
    EXPECT_NE(std::find(b.globals.begin(), b.globals.end(), 0x0018), b.globals.end());

    auto file = stg_file::open(path, false);
    EXPECT_FALSE(file->has_stream(u"Book"));  // the stale other version is dropped
    ASSERT_TRUE(file->has_stream(u"\x05SummaryInformation"));
    auto si = file->open_stream(u"\x05SummaryInformation");
    std::vector<uint8_t> got(si->size());
    si->read_at(0, got.data(), got.size());
    EXPECT_EQ(got, std::vector<uint8_t>(200, 0x5A));
    auto wb = file->open_stream(u"Workbook");
    std::vector<uint8_t> chart(f.chart.size());
    wb->read_at(b.sheets[1].pos, chart.data(), chart.size());
    EXPECT_EQ(chart, f.chart);
}

TEST(jet_foreign, encrypted_or_other_date_system_is_refused_for_writing) {
    jet_test::temp_dir dir;
    const std::string path = dir.file("f.xls");
    foreign f = build();
    // DATEMODE 1: the 1904 date system.
    const uint8_t datemode[] = {0x22, 0x00, 0x02, 0x00, 0x00, 0x00};
    auto at = std::search(f.stream.begin(), f.stream.end(), datemode, datemode + 6);
    ASSERT_NE(at, f.stream.end());
    at[4] = 1;
    write_file(path, f);
    try {
        jet_database::open(path, u"Excel 8.0;", false, false);
        ADD_FAILURE();
    } catch (const jet_error& e) {
        EXPECT_EQ(e.number(), 3274);
    }
    EXPECT_EQ(jet_database::open(path, u"Excel 8.0;", false, true)->table_names().size(), 1u);
    // FILEPASS: encrypted.
    at[0] = 0x2F;
    write_file(path, f);
    try {
        jet_database::open(path, u"Excel 8.0;", false, true);
        ADD_FAILURE();
    } catch (const jet_error& e) {
        EXPECT_EQ(e.number(), 3274);
    }
}
