// The patch on workbooks written by the workbook driver, read back by
// python3-xlrd: header row in the header format, data cells keep their
// values, dates stay dates (BIFF8), wrapping follows the engine.
#include <gtest/gtest.h>
#include <unistd.h>

#include "TK/tk_utf.h"
#include "common/xls_engi.h"
#include "jet/jet_db.h"
#include "py_run.h"

using namespace xls_test;

namespace {

const char* kScript = R"PY(
import sys, xlrd
b = xlrd.open_workbook(sys.argv[1], formatting_info=True)
print("sheets", "|".join(b.sheet_names()))
print("bold4", b.font_list[3].bold, "header", b.font_list[b.xf_list[16].font_index].bold)
for s in b.sheets():
    print("sheet", s.name, s.nrows, s.ncols)
    marked = sum(1 for c in range(s.ncols) if s.cell(0, c).xf_index == 16)
    print("header", s.name, marked, "|".join(str(s.cell(0, c).value) for c in range(s.ncols)))
    wrong = 0
    for r in range(1, s.nrows):
        for c in range(s.ncols):
            cell = s.cell(r, c)
            if cell.xf_index == 16:
                wrong += 1
    print("data-in-header-format", s.name, wrong)
    if s.nrows > 1:
        for c in range(s.ncols):
            cell = s.cell(1, c)
            x = b.xf_list[cell.xf_index]
            print("cell", s.name, c, cell.ctype, repr(cell.value), x.alignment.vert_align,
                  x.alignment.text_wrapped)
)PY";

jet_column col(const std::u16string& name, int type, int size) {
    jet_column c;
    c.name = name;
    c.type = type;
    c.size = size;
    return c;
}

struct jet_case {
    int version;
    bool wrap;
};

class xls_patch_jet : public ::testing::TestWithParam<jet_case> {};

TEST_P(xls_patch_jet, DriverWorkbookAfterThePatch) {
    const auto g = GetParam();
    const std::string path = "/tmp/tsl_jet_patch_" + std::to_string(::getpid()) + ".xls";
    std::remove(path.c_str());
    {
        auto db = jet_database::open(path, g.version ? u"Excel 8.0;" : u"Excel 5.0;", true, false);
        std::vector<jet_column> cols = {col(u"ID", jet_long, 4), col(u"NAME", jet_text, 50),
                                        col(u"AMOUNT", jet_double, 8), col(u"FLAG", jet_boolean, 1),
                                        col(u"WHEN", jet_date, 8)};
        jet_table& t = db->create_table(u"Orders", cols);
        for (int r = 1; r <= 40; ++r) {
            std::u16string name = u"name " + tk::utf8_to_utf16(std::to_string(r));
            jet_value v[5] = {jet_value::of_number(r), jet_value::of_text(name),
                              jet_value::of_number(r * 1.5), jet_value::of_boolean(r % 2),
                              jet_value::of_date(2001, 2, 3, 4, 5, 6)};
            if (r % 7 == 0)
                v[1] = jet_value();
            t.append(v, 5);
        }
        jet_table& e = db->create_table(u"Nothing", {col(u"A", jet_text, 10)});
        (void)e;
        db->close();
    }
    std::unique_ptr<xls_engine> e;
    if (g.version == 0) {
        e = std::make_unique<xls_engine_50>();
    } else {
        e = std::make_unique<xls_engine_80>();
    }
    e->wrap = g.wrap;
    ASSERT_TRUE(e->patch(tk::utf8_to_utf16(path)));
    std::string out = run_python(kScript, path);
    std::remove(path.c_str());
    auto has = [&](const std::string& s) { return out.find(s + "\n") != std::string::npos; };
    const std::string w = g.wrap ? "1" : "0";
    EXPECT_TRUE(has("sheets Orders|Nothing")) << out;
    EXPECT_TRUE(has("bold4 1 header 1")) << out;
    EXPECT_TRUE(has("sheet Orders 41 5")) << out;
    EXPECT_TRUE(has("header Orders 5 ID|NAME|AMOUNT|FLAG|WHEN")) << out;
    EXPECT_TRUE(has("header Nothing 1 A")) << out;
    EXPECT_TRUE(has("data-in-header-format Orders 0")) << out;
    EXPECT_TRUE(has("cell Orders 0 2 1.0 1 " + w)) << out;
    EXPECT_TRUE(has("cell Orders 1 1 'name 1' 1 " + w)) << out;
    EXPECT_TRUE(has("cell Orders 2 2 1.5 1 " + w)) << out;
    EXPECT_TRUE(has("cell Orders 3 4 1 1 " + w)) << out;
    if (g.version == 1) {
        // BIFF8 date cells keep their own date format: still dates (ctype 3).
        EXPECT_NE(std::string::npos, out.find("cell Orders 4 3 ")) << out;
    }
}

INSTANTIATE_TEST_SUITE_P(Versions, xls_patch_jet,
                         ::testing::Values(jet_case{0, false}, jet_case{0, true},
                                           jet_case{1, false}, jet_case{1, true}));

}  // namespace
