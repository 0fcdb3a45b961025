// Patched workbooks read back by python3-xlrd with formatting_info: the
// header font is bold, the header format centred with a grey fill and thin
// borders, wrapping follows the engine's setting, values are unchanged.
#include <gtest/gtest.h>
#include <unistd.h>

#include "TK/tk_utf.h"
#include "common/xls_engi.h"
#include "py_run.h"
#include "xls_book.h"

using namespace xls_test;

namespace {

const char* kScript = R"PY(
import sys, xlrd
b = xlrd.open_workbook(sys.argv[1], formatting_info=True)
print("sheets", "|".join(b.sheet_names()))
print("fonts", len(b.font_list), "bold4", b.font_list[3].bold, b.font_list[3].weight,
      b.font_list[0].bold)
if len(b.xf_list) > 16:
    h = b.font_list[b.xf_list[16].font_index]
    print("header font", h.bold, h.weight, h.name)
for i in (15, 16, 21, 22, 23, 24):
    if i >= len(b.xf_list):
        continue
    x = b.xf_list[i]
    print("xf", i, "font", x.font_index, "fmt", x.format_key,
          "align", x.alignment.hor_align, x.alignment.vert_align, x.alignment.text_wrapped,
          "border", x.border.top_line_style, x.border.bottom_line_style,
          x.border.left_line_style, x.border.right_line_style,
          "fill", x.background.fill_pattern, x.background.pattern_colour_index)
for s in b.sheets():
    print("sheet", s.name, s.nrows, s.ncols)
    for r in range(s.nrows):
        row = []
        for c in range(s.ncols):
            cell = s.cell(r, c)
            row.append("%s:%d" % (repr(cell.value) if cell.ctype else "-", cell.xf_index))
        print("row", r, " ".join(row))
)PY";

struct xlrd_case {
    int version;
    bool wrap;
};

class xls_patch_xlrd : public ::testing::TestWithParam<xlrd_case> {};

TEST_P(xls_patch_xlrd, HeaderFormatAndValuesAfterThePatch) {
    const auto g = GetParam();
    const int v = g.version;
    book_plan plan;
    plan.version = v;
    plan.real_globals = true;
    plan.xfs = 26;
    sheet_spec data{"Data",
                    {label(v, 0, 0, "ID"), label(v, 0, 1, "NAME"), label(v, 0, 2, "AMOUNT"),
                     number(1, 0, 1, 15), label(v, 1, 1, "first", 22), number(1, 2, 2.5, 21),
                     number(2, 0, 2, 15), number(2, 2, -7.25, 21)}};
    sheet_spec gap{"Gap", {label(v, 0, 0, "A"), label(v, 0, 2, "C"), number(1, 0, 9, 15)}};
    plan.sheets = {data, gap, {"Empty", {}}};
    auto stream = build_stream(plan, nullptr);
    const std::string path = "/tmp/tsl_xlrd_" + std::to_string(::getpid()) + ".xls";
    write_book(path, v, stream);
    std::unique_ptr<xls_engine> e;
    if (v == 0) {
        e = std::make_unique<xls_engine_50>();
    } else {
        e = std::make_unique<xls_engine_80>();
    }
    e->wrap = g.wrap;
    ASSERT_TRUE(e->patch(tk::utf8_to_utf16(path)));
    std::string out = run_python(kScript, path);
    std::remove(path.c_str());
    const std::string w = g.wrap ? "1" : "0";
    auto has = [&](const std::string& s) { return out.find(s + "\n") != std::string::npos; };
    EXPECT_TRUE(has("sheets Data|Gap|Empty")) << out;
    // The fourth FONT record is bold (weight 700), and so is the fifth, which
    // the header XF names by index 5 (xlrd keeps a dummy in slot 4, so five
    // records make six entries). The others stay regular.
    EXPECT_TRUE(has("fonts 6 bold4 1 700 0")) << out;
    EXPECT_TRUE(has("header font 1 700 Arial")) << out;
    EXPECT_TRUE(has("xf 16 font 5 fmt 0 align 2 1 " + w + " border 1 1 1 1 fill 1 22")) << out;
    // The 16th XF and the 22nd-24th: vertical centre, wrap per setting,
    // General format, no borders or fill added.
    for (int i : {15, 21, 22, 23}) {
        EXPECT_TRUE(has("xf " + std::to_string(i) + " font 0 fmt 0 align 0 1 " + w +
                        " border 0 0 0 0 fill 0 64"))
            << i << "\n"
            << out;
    }
    // From the 25th XF on: BIFF5 rewrites it too, BIFF8 leaves it (dates).
    if (v == 0) {
        EXPECT_TRUE(has("xf 24 font 0 fmt 0 align 0 1 " + w + " border 0 0 0 0 fill 0 64")) << out;
    } else {
        // The untouched copy of the default cell XF: bottom alignment, no wrap.
        EXPECT_TRUE(has("xf 24 font 0 fmt 0 align 0 2 0 border 0 0 0 0 fill 0 64")) << out;
    }
    EXPECT_TRUE(has("sheet Data 3 3")) << out;
    EXPECT_TRUE(has("row 0 'ID':16 'NAME':16 'AMOUNT':16")) << out;
    EXPECT_TRUE(has("row 1 1.0:15 'first':22 2.5:21")) << out;
    EXPECT_TRUE(has("row 2 2.0:15 -:15 -7.25:21")) << out;
    EXPECT_TRUE(has("row 0 'A':16 -:15 'C':15")) << out;  // marked only up to the gap
    EXPECT_TRUE(has("row 1 9.0:15 -:15 -:15")) << out;
    EXPECT_TRUE(has("sheet Empty 0 0")) << out;
}

INSTANTIATE_TEST_SUITE_P(Versions, xls_patch_xlrd,
                         ::testing::Values(xlrd_case{0, false}, xlrd_case{0, true},
                                           xlrd_case{1, false}, xlrd_case{1, true}));

TEST(xls_patch_xlrd, PatchedEmptyWorkbooksOpen) {
    for (int v : {0, 1}) {
        const std::string path = "/tmp/tsl_xlrd_empty_" + std::to_string(::getpid()) + ".xls";
        std::unique_ptr<xls_engine> e;
        if (v == 0) {
            e = std::make_unique<xls_engine_50>();
        } else {
            e = std::make_unique<xls_engine_80>();
        }
        e->write_empty_xls(tk::utf8_to_utf16(path));
        ASSERT_TRUE(e->patch(tk::utf8_to_utf16(path)));
        std::string out = run_python(kScript, path);
        std::remove(path.c_str());
        EXPECT_NE(std::string::npos, out.find("sheets Sheet1\n")) << out;
        EXPECT_NE(std::string::npos, out.find("fonts 6 bold4 1 700 0\n")) << out;
        EXPECT_NE(std::string::npos, out.find("header font 1 700 Arial\n")) << out;
        EXPECT_NE(std::string::npos,
                  out.find("xf 16 font 5 fmt 0 align 2 1 0 border 1 1 1 1 fill 1 22\n"))
            << out;
        EXPECT_NE(std::string::npos, out.find("sheet Sheet1 0 0\n")) << out;
    }
}

}  // namespace
