// The BIFF patch on hand-built workbooks: every byte the patch writes is
// predicted from the layout (font, XF and first-row cell positions) and the
// fixed byte images, and every other byte must stay as it was.
#include "common/xls_engi.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <fstream>

#include "TK/tk_coding.h"
#include "TK/tk_excep.h"
#include "TK/tk_log.h"
#include "TK/tk_utf.h"
#include "jet/jet_tmpl.h"
#include "stg/stg_file.h"
#include "stg/stg_write.h"
#include "xls_book.h"

using namespace xls_test;

namespace {

// The images as the workbook format fixes them (wrap variant in the 7th byte).
const std::vector<uint8_t> kBoldFont = {0xC8, 0x00, 0x01, 0x00, 0xFF, 0x7F,
                                        0xBC, 0x02, 0x00, 0x00, 0x00, 0x02};
std::vector<uint8_t> header_xf(int version, bool wrap) {
    if (version == 0) {
        return {0x05, 0x00, 0x00, 0x00, 0x09, 0x00, uint8_t(wrap ? 0x1A : 0x12), 0x70, 0x16, 0x20,
                0x41, 0x80, 0x49, 0x80, 0x40, 0x20};
    }
    return {0x05, 0x00, 0x00, 0x00, 0x01, 0x00, uint8_t(wrap ? 0x1A : 0x12),
            0x00, 0x00, 0x78, 0x11, 0x11, 0x40, 0x20,
            0x40, 0x20, 0x00, 0x04, 0x16, 0x20};
}
std::vector<uint8_t> regular_xf(int version, bool wrap) {
    if (version == 0)
        return {0x00, 0x00, 0x00, 0x00, 0x09, 0x00, uint8_t(wrap ? 0x18 : 0x10), 0x10, 0xC0, 0x20};
    return {0x00, 0x00, 0x00, 0x00, 0x01, 0x00, uint8_t(wrap ? 0x18 : 0x10), 0x00, 0x00, 0x10};
}

void put(std::vector<uint8_t>& s, uint64_t at, const std::vector<uint8_t>& bytes) {
    std::memcpy(s.data() + at, bytes.data(), bytes.size());
}

class temp_path {
  public:
    temp_path() {
        static int n = 0;
        path_ = "/tmp/tsl_xls_" + std::to_string(::getpid()) + "_" + std::to_string(n++) + ".xls";
    }
    ~temp_path() { std::remove(path_.c_str()); }
    const std::string& str() const { return path_; }
    std::u16string wide() const { return tk::utf8_to_utf16(path_); }

  private:
    std::string path_;
};

std::vector<uint8_t> file_bytes(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
}

// Count of differing bytes; -1 when the sizes differ.
long differences(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    if (a.size() != b.size())
        return -1;
    long n = 0;
    for (size_t i = 0; i < a.size(); ++i) n += a[i] != b[i];
    return n;
}

// A sheet whose first row has `header` columns and `rows` data rows below.
sheet_spec sheet(int version, const std::string& name, int header, int rows) {
    sheet_spec s{name, {}};
    for (int c = 0; c < header; ++c) {
        s.cells.push_back(label(version, 0, uint16_t(c), "col" + std::to_string(c)));
    }
    for (int r = 1; r <= rows; ++r) {
        for (int c = 0; c < header; ++c) {
            if ((r + c) % 5 == 0)
                continue;  // some NULLs
            if (c % 2) {
                s.cells.push_back(number(uint16_t(r), uint16_t(c), r * 10.0 + c, 21));
            } else {
                s.cells.push_back(label(version, uint16_t(r), uint16_t(c), "v", 15));
            }
        }
    }
    return s;
}

std::unique_ptr<xls_engine> engine(int version) {
    if (version == 0)
        return std::make_unique<xls_engine_50>();
    return std::make_unique<xls_engine_80>();
}

// What the patch must make of `before`: images at the recorded places.
std::vector<uint8_t> expected(const std::vector<uint8_t>& before, const book_layout& l, int version,
                              bool wrap, const std::vector<size_t>& header_cells_per_sheet,
                              size_t regular_xf_limit) {
    std::vector<uint8_t> s = before;
    // The fourth FONT and the fifth (the header XF's font index 5) turn bold.
    for (size_t i : {3, 4}) {
        if (l.font_body.size() > i)
            put(s, l.font_body[i], kBoldFont);
    }
    for (size_t i = 0; i < l.xf_body.size(); ++i) {
        size_t n = i + 1;  // XF records counted from 1
        if (n == 17)
            put(s, l.xf_body[i], header_xf(version, wrap));
        if (n == 16 || (n >= 22 && n <= regular_xf_limit)) {
            put(s, l.xf_body[i], regular_xf(version, wrap));
        }
    }
    for (size_t sh = 0; sh < header_cells_per_sheet.size(); ++sh) {
        for (size_t c = 0; c < header_cells_per_sheet[sh]; ++c) s[l.cell_xf[sh][c]] = 0x10;
    }
    return s;
}

struct golden_case {
    int version;
    bool wrap;
};

class xls_patch_golden : public ::testing::TestWithParam<golden_case> {};

TEST_P(xls_patch_golden, EveryWrittenByteIsPredicted) {
    const auto g = GetParam();
    book_plan plan;
    plan.version = g.version;
    plan.xfs = 30;
    // Two row blocks in the first sheet (40 data rows), an empty sheet, and
    // a sheet whose header has a single column.
    plan.sheets = {sheet(g.version, "First", 5, 40), {"Empty", {}}, sheet(g.version, "One", 1, 3)};
    book_layout l;
    auto before = build_stream(plan, &l);
    ASSERT_EQ(3u, l.dbcell.size() - 0);  // 2 blocks + 1 block
    temp_path p;
    write_book(p.str(), g.version, before);
    auto file_before = file_bytes(p.str());
    auto e = engine(g.version);
    e->wrap = g.wrap;
    EXPECT_TRUE(e->patch(p.wide()));
    auto after = read_book(p.str());
    // BIFF5 rewrites every XF from the 22nd on; BIFF8 only the 22nd to 24th.
    auto want = expected(before, l, g.version, g.wrap, {5, 0, 1}, g.version == 0 ? 1000 : 24);
    ASSERT_EQ(want.size(), after.size());
    for (size_t i = 0; i < want.size(); ++i) ASSERT_EQ(want[i], after[i]) << "offset " << i;
    // Nothing outside the stream moved: as many file bytes changed as
    // stream bytes did.
    EXPECT_EQ(differences(before, after), differences(file_before, file_bytes(p.str())));
}

INSTANTIATE_TEST_SUITE_P(Versions, xls_patch_golden,
                         ::testing::Values(golden_case{0, false}, golden_case{0, true},
                                           golden_case{1, false}, golden_case{1, true}));

TEST(xls_patch, ShortGlobalsAreWalkedWithoutMissingImages) {
    // Three FONTs and 16 XFs: the 16th XF is rewritten, no bold font, no header XF.
    // Four FONTs: only the fourth turns bold.
    for (int v : {0, 1, 2, 3}) {
        book_plan plan;
        plan.version = v % 2;
        plan.fonts = v < 2 ? 3 : 4;
        plan.xfs = 16;
        plan.sheets = {sheet(v % 2, "S", 2, 2)};
        book_layout l;
        auto before = build_stream(plan, &l);
        temp_path p;
        write_book(p.str(), plan.version, before);
        EXPECT_TRUE(engine(plan.version)->patch(p.wide()));
        EXPECT_EQ(expected(before, l, plan.version, false, {2}, 24), read_book(p.str())) << v;
        // The 16th XF carries the regular image; the first 15 are untouched.
        auto after = read_book(p.str());
        EXPECT_EQ(0, std::memcmp(after.data() + l.xf_body[15],
                                 regular_xf(plan.version, false).data(), 10));
        EXPECT_EQ(0, std::memcmp(after.data() + l.xf_body[14], before.data() + l.xf_body[14], 10));
    }
}

TEST(xls_patch, FirstRowIsMarkedOnlyUpToAGap) {
    for (int v : {0, 1}) {
        sheet_spec s{"Gap",
                     {label(v, 0, 0, "a"), label(v, 0, 1, "b"), label(v, 0, 3, "d"),
                      number(1, 0, 1.0), number(1, 1, 2.0)}};
        sheet_spec late{"Late", {label(v, 0, 1, "b"), label(v, 0, 2, "c"), number(1, 1, 5)}};
        // A first-row cell of another record kind (BLANK, 6-byte body) is marked too.
        sheet_spec kinds{"Kinds", {blank(0, 0), number(0, 1, 3.5), label(v, 0, 2, "x")}};
        book_plan plan;
        plan.version = v;
        plan.sheets = {s, late, kinds};
        book_layout l;
        auto before = build_stream(plan, &l);
        temp_path p;
        write_book(p.str(), v, before);
        EXPECT_TRUE(engine(v)->patch(p.wide()));
        EXPECT_EQ(expected(before, l, v, false, {2, 0, 3}, 24), read_book(p.str())) << v;
    }
}

TEST(xls_patch, WalkLimitsDifferByVersion) {
    // Records after the sheet list: BIFF8 stops at the first record after the
    // BOUNDSHEETs; BIFF5 goes on to EOF and so rewrites the XF found there
    // (it is the 22nd). FONT/XF records inside sheets are never reached.
    for (int v : {0, 1}) {
        book_plan plan;
        plan.version = v;
        plan.xf_after_boundsheets = true;
        plan.sheets = {sheet(v, "S", 3, 1)};
        book_layout l;
        auto before = build_stream(plan, &l);
        ASSERT_EQ(22u, l.xf_body.size());
        ASSERT_EQ(6u, l.font_body.size());
        temp_path p;
        write_book(p.str(), v, before);
        EXPECT_TRUE(engine(v)->patch(p.wide()));
        auto after = read_book(p.str());
        EXPECT_EQ(expected(before, l, v, false, {3}, v == 0 ? 1000 : 21), after) << v;
    }
}

TEST(xls_patch, Biff8WithoutSheetListWalksToTheEnd) {
    book_plan plan;
    plan.version = 1;
    plan.no_boundsheet_end = true;
    plan.xf_after_boundsheets = true;  // the 22nd XF, after COUNTRY
    plan.sheets = {sheet(1, "S", 2, 1)};
    book_layout l;
    auto before = build_stream(plan, &l);
    temp_path p;
    write_book(p.str(), 1, before);
    EXPECT_TRUE(engine(1)->patch(p.wide()));
    // No sheet positions were found, so no cell is marked; the 22nd XF is.
    EXPECT_EQ(expected(before, l, 1, false, {0}, 24), read_book(p.str()));
}

TEST(xls_patch, TheBuiltInEmptyWorkbooksPatch) {
    for (int v : {0, 1}) {
        temp_path p;
        auto e = engine(v);
        e->write_empty_xls(p.wide());
        EXPECT_TRUE(e->patch(p.wide()));
        auto after = read_book(p.str());
        auto before = jet_template_stream(v);
        ASSERT_EQ(before.size(), after.size());
        size_t changed = 0;
        for (size_t i = 0; i < before.size(); ++i) changed += before[i] != after[i];
        EXPECT_GT(changed, 10u);
        EXPECT_LE(changed, 2 * 12u + (v ? 20u : 16u) + 10u);  // 2 font heads, header XF, XF 16
    }
}

TEST(xls_patch, FilesThatCannotBePatched) {
    auto e = engine(1);
    EXPECT_FALSE(e->patch(u"/tmp/tsl_no_such_file.xls"));
    temp_path text;
    {
        std::ofstream f(text.str());
        f << "not a workbook";
    }
    EXPECT_FALSE(e->patch(text.wide()));
    // A compound file without Book or Workbook stays byte for byte.
    temp_path other;
    {
        tk::file_sink sink(other.str());
        stg_writer w(sink);
        w.add_stream(u"Other", "abc", 3);
        w.finish();
        sink.close();
    }
    auto before = file_bytes(other.str());
    EXPECT_FALSE(e->patch(other.wide()));
    EXPECT_EQ(before, file_bytes(other.str()));
    // Locked by another writer.
    book_plan plan;
    plan.sheets = {sheet(1, "S", 2, 1)};
    temp_path locked;
    write_book(locked.str(), 1, build_stream(plan, nullptr));
    auto holder = stg_file::open(locked.str(), true);
    EXPECT_FALSE(e->patch(locked.wide()));
}

TEST(xls_patch, BiffStreamNameDoesNotChooseTheWalk) {
    // A BIFF8 stream stored as `Book` is still walked by the BIFF8 engine.
    book_plan plan;
    plan.version = 1;
    plan.xfs = 25;
    plan.sheets = {sheet(1, "S", 2, 1)};
    book_layout l;
    auto before = build_stream(plan, &l);
    temp_path p;
    write_book(p.str(), 0, before);  // stream name "Book"
    EXPECT_TRUE(engine(1)->patch(p.wide()));
    EXPECT_EQ(expected(before, l, 1, false, {2}, 24), read_book(p.str()));
}

// Damaged sheets: the walk raises an internal error, patch returns false,
// and what was written before the failure stays written.
TEST(xls_patch, DamagedSheetsFailAfterTheGlobals) {
    struct damage {
        const char* what;
        void (*apply)(std::vector<uint8_t>&, const book_layout&);
    };
    const damage cases[] = {
        {"BOF position past the end",
         [](auto& s, const auto& l) { tk::put_u32(s.data() + l.boundsheet[0], 0x7FFFFFF0); }},
        {"no BOF at the position",
         [](auto& s, const auto& l) { tk::put_u16(s.data() + l.sheet_bof[0], 0x1234); }},
        {"no INDEX after BOF",
         [](auto& s, const auto& l) { tk::put_u16(s.data() + l.sheet_bof[0] + 20, 0x0055); }},
        {"DBCELL row distance not below its position",
         [](auto& s, const auto& l) {
             tk::put_u32(s.data() + l.dbcell[0] + 4, uint32_t(l.dbcell[0]));
         }},
        {"DBCELL position past the end",
         [](auto& s, const auto& l) {
             tk::put_u32(s.data() + l.sheet_bof[0] + 20 + 4 + 16, 0x7FFFFFF0);
         }},
        {"no DBCELL at the position",
         [](auto& s, const auto& l) { tk::put_u16(s.data() + l.dbcell[0], 0x00D8); }},
    };
    for (const auto& c : cases) {
        book_plan plan;
        plan.version = 1;
        plan.sheets = {sheet(1, "S", 3, 2)};
        book_layout l;
        auto before = build_stream(plan, &l);
        c.apply(before, l);
        temp_path p;
        write_book(p.str(), 1, before);
        EXPECT_FALSE(engine(1)->patch(p.wide())) << c.what;
        auto after = read_book(p.str());
        // The globals were patched before the sheet walk failed.
        EXPECT_EQ(0, std::memcmp(after.data() + l.font_body[3], kBoldFont.data(), 12)) << c.what;
        EXPECT_EQ(after[l.cell_xf[0][0]], before[l.cell_xf[0][0]]) << c.what;
    }
}

TEST(xls_patch, HeaderCellAtTheStreamEndFailsInsideTheStream) {
    // The DBCELL's first offset is bent to a cell header in the stream's last
    // 8 bytes: its XF byte would lie past the end, so the write must fail
    // and nothing outside the stream may change.
    book_plan plan;
    plan.version = 0;
    plan.sheets = {sheet(0, "S", 2, 0)};
    book_layout l;
    auto s = build_stream(plan, &l);
    const uint32_t d = l.dbcell[0];
    const uint32_t first_row = d - tk::get_u32(s.data() + d + 4);
    const uint8_t fake[8] = {0x03, 0x02, 0x06, 0x00, 0x00, 0x00, 0x00, 0x00};
    tk::put_u16(s.data() + d + 8, static_cast<uint16_t>(s.size() - (first_row + 20)));
    s.insert(s.end(), fake, fake + 8);
    temp_path p;
    write_book(p.str(), 0, s);
    auto before = file_bytes(p.str());
    EXPECT_FALSE(engine(0)->patch(p.wide()));
    auto after = read_book(p.str());
    ASSERT_EQ(s.size(), after.size());
    EXPECT_EQ(0, std::memcmp(after.data() + l.font_body[3], kBoldFont.data(), 12));
    EXPECT_EQ(0, std::memcmp(after.data() + s.size() - 8, fake, 8));
    EXPECT_EQ(s[l.cell_xf[0][0]], after[l.cell_xf[0][0]]);
    EXPECT_EQ(differences(s, after), differences(before, file_bytes(p.str())));
}

TEST(xls_patch, TracesNameTheSteps) {
    temp_path log_path;
    tk_log log;
    log.set_path(log_path.str().c_str());
    log.set_threshold(1);
    log.set_timestamps(false);
    log.set_enabled(true);
    book_plan plan;
    plan.version = 1;
    plan.sheets = {{"Empty", {}}, sheet(1, "S", 2, 1)};
    temp_path p;
    write_book(p.str(), 1, build_stream(plan, nullptr));
    EXPECT_TRUE(engine(1)->patch(p.wide()));
    temp_path other;
    {
        tk::file_sink sink(other.str());
        stg_writer w(sink);
        w.add_stream(u"Other", "abc", 3);
        w.finish();
        sink.close();
    }
    EXPECT_FALSE(engine(0)->patch(other.wide()));
    log.set_enabled(false);
    std::ifstream f(log_path.str());
    std::string text((std::istreambuf_iterator<char>(f)), {});
    for (const char* line : {"xls_engine::patch", "xls_engine_80::do_patch", "Got font descr. #3",
                             "Got header XF (offset=", "Got regular XF (offset=",
                             "Got sheet offset=", "xls_engine_80::patch_sheet(", "Empty sheet",
                             "Got DBCELL offset: ", "Got 1st cell offset: ", "Stream not found",
                             "BIFF record: (809, 10)"}) {
        EXPECT_NE(std::string::npos, text.find(line)) << line;
    }
}

TEST(xls_engine, FieldsOfTheTwoVersions) {
    xls_engine_50 e5;
    xls_engine_80 e8;
    EXPECT_FALSE(e5.wrap);
    EXPECT_FALSE(e8.wrap);
    EXPECT_EQ(u"Excel 5.0", e5.name);
    EXPECT_EQ(u"Excel 5.0;", e5.connect);
    EXPECT_EQ(u"Excel 2000", e8.name);
    EXPECT_EQ(u"Excel 8.0;", e8.connect);
    EXPECT_EQ(
        "Destination spreadsheet will be saved in MS Excel 5.0 format.\n"
        "All strings will be cut to 255 symbols.",
        e5.description);
    EXPECT_EQ(
        "Destination spreadsheet will be saved in MS Excel 2000 format.\n"
        "Each worksheet can contain not more than 65535 rows.",
        e8.description);
    EXPECT_EQ(jet_template_image(0).data(), e5.get_template());
    EXPECT_EQ(jet_template_image(1).data(), e8.get_template());
}

TEST(xls_engine, WriteEmptyXlsReplacesTheFile) {
    for (int v : {0, 1}) {
        temp_path p;
        {
            std::ofstream f(p.str(), std::ios::binary);
            f << std::string(50000, 'x');
        }
        auto e = engine(v);
        e->write_empty_xls(p.wide());
        auto bytes = file_bytes(p.str());
        ASSERT_EQ(13824u, bytes.size());
        EXPECT_EQ(0, std::memcmp(bytes.data(), e->get_template(), bytes.size()));
        auto file = stg_file::open(p.str(), false);
        EXPECT_TRUE(file->has_stream(v ? u"Workbook" : u"Book"));
        EXPECT_EQ(4096u, file->open_stream(v ? u"Workbook" : u"Book")->size());
    }
    try {
        engine(1)->write_empty_xls(u"/tmp/tsl_no_such_dir/x.xls");
        FAIL();
    } catch (const tk_exception& e) {
        EXPECT_STREQ("Cannot open destination file for writing.", e.what());
    }
}

}  // namespace
