// Shared pieces of the workbook-database tests: a loaded engine per test,
// temporary workbook paths, schemas and records, and an xlrd dump.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <memory>
#include <string>

#include "TK/tk_utf.h"
#include "UDB/udb_sche.h"
#include "common/py_run.h"
#include "dao/dao_engi.h"

namespace dao_test {

// A loaded engine for the duration of a test.
class engine_fixture : public ::testing::Test {
  protected:
    void SetUp() override {
        engine_ = std::make_unique<dao_engine>(false);
        ASSERT_TRUE(engine_->set_version_if(0));
    }
    void TearDown() override { engine_.reset(); }
    std::unique_ptr<dao_engine> engine_;
};

class temp_book {
  public:
    explicit temp_book(const std::string& stem) {
        static int n = 0;
        base_ =
            "/tmp/tsl_dao_" + stem + "_" + std::to_string(::getpid()) + "_" + std::to_string(n++);
        remove_all();
    }
    ~temp_book() { remove_all(); }
    std::string path() const { return base_ + ".xls"; }
    std::string continuation(int k) const { return base_ + "(" + std::to_string(k) + ").xls"; }
    std::u16string wide() const { return tk::utf8_to_utf16(path()); }

  private:
    void remove_all() {
        std::remove(path().c_str());
        for (int k = 1; k < 5; ++k) std::remove(continuation(k).c_str());
    }
    std::string base_;
};

inline t_ftd* column(const std::u16string& name, uint16_t vt, uint32_t size, bool not_null = false,
                     const ole_variant& def = ole_variant()) {
    return new t_ftd(size, name, vt, not_null, false, def, 0);
}

// One line per sheet ("sheet <name> <rows> <cols>") and per non-empty cell
// ("<row> <col> <ctype> <value>"): what xlrd reads.
inline std::string xlrd_dump(const std::string& path) {
    static const char* script = R"PY(
import sys, xlrd
b = xlrd.open_workbook(sys.argv[1])
for s in b.sheets():
    print("sheet %s %d %d" % (s.name, s.nrows, s.ncols))
    if s.nrows > 200:
        continue
    for r in range(s.nrows):
        for c in range(s.row_len(r)):
            cell = s.cell(r, c)
            if cell.ctype in (0, 6):
                continue
            v = cell.value
            if cell.ctype == 3:
                v = "%04d-%02d-%02d %02d:%02d:%02d" % xlrd.xldate_as_tuple(v, b.datemode)
            print(r, c, cell.ctype, repr(v))
)PY";
    return xls_test::run_python(script, "'" + path + "'");
}

}  // namespace dao_test
