// Helpers of the workbook-database tests: a temporary folder, records built
// from values, and the two readers every written workbook goes through:
// ours (jet_read_book, which also lists layout departures) and python3-xlrd
// (tests/support/xls_dump.py, run with Debian's /usr/bin/python3).
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "UDB/udb_sche.h"
#include "dao/dao_engi.h"
#include "jet/jet_rdr.h"

namespace dao_test {

// A temporary folder for one test, removed with everything in it.
class temp_dir {
  public:
    temp_dir();
    ~temp_dir();
    std::string file(const std::string& name) const { return path_ + "/" + name; }
    std::u16string wfile(const std::string& name) const;
    const std::string& path() const { return path_; }
    bool exists(const std::string& name) const;

  private:
    std::string path_;
};

// One cell as xlrd reports it. kind: "text", "number", "date", "bool",
// "empty", "blank", "error".
struct xcell {
    std::string kind;
    double number = 0;
    std::u16string text;
    std::vector<int> date;  // y, m, d, h, mi, s for "date"
};

struct xfmt {
    bool bold = false;
    int halign = 0, valign = 0;
    bool wrap = false;
    int fill = -1;  // pattern colour when filled
    std::vector<int> borders;
    std::string format;
};

struct xsheet {
    std::u16string name;
    int nrows = 0, ncols = 0;
    std::map<std::pair<int, int>, xcell> cells;  // the rows asked for
    std::vector<xfmt> header, data;              // formats of rows 0 and 1
    // The cell, or null when it was not read (or is empty).
    const xcell* at(int row, int col) const;
};

struct xbook {
    int biff_version = 0;
    int codepage = 0;
    int datemode = -1;
    std::vector<xsheet> sheets;
    std::string error;  // what xlrd said when it could not read the file
    const xsheet* sheet(const std::u16string& name) const;
};

// Reads `path` with xlrd (formatting_info on). Rows: all, or the first
// `max_rows` and the last `tail_rows`.
xbook read_xlrd(const std::string& path, int max_rows = -1, int tail_rows = 0);

// Reads `path` with our reader; a layout departure fails the calling test
// (the caller checks with EXPECT_TRUE(problems.empty())).
jet_rbook read_ours(const std::string& path);

// The text of a cell of our reader, or "<none>" / "<kind>" when it is not
// a text cell.
std::u16string text_at(const jet_rsheet& s, uint16_t row, uint16_t col);

// A record of values, one field per value, named c0, c1, ...
udb_record make_record(std::vector<ole_variant> values);

// A schema of the given kinds (names c0, c1, ... unless given), sizes 50.
std::unique_ptr<udb_schema> make_schema(const std::vector<uint16_t>& kinds,
                                        const std::vector<std::u16string>& names = {},
                                        const std::vector<uint32_t>& sizes = {});

// SYSTEMTIME of a date and time.
SYSTEMTIME when(int y, int mo, int d, int h = 0, int mi = 0, int s = 0);

// Serial number of a date of the 1900 date system, computed the long way
// (days counted from 1899-12-31, plus the phantom 1900-02-29 for dates
// from 1 March 1900 on).
double serial_1900(int y, int mo, int d, int h = 0, int mi = 0, int s = 0);

// The engine every driver call needs, with version 0 loaded.
struct engine_scope {
    engine_scope();
    ~engine_scope();
    std::unique_ptr<dao_engine> engine;
};

}  // namespace dao_test
