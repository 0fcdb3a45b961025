// Helpers of the workbook driver tests: a workbook model to compare with,
// and the two readers every written workbook goes through (ours and
// python3-xlrd).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "jet/jet_rdr.h"

namespace jet_test {

// One cell as both readers report it: xlrd's cell types (1 text, 2 number,
// 3 date, 4 boolean).
struct cell {
    uint16_t row, col;
    int type;
    double number;
    std::u16string text;
    bool operator==(const cell& o) const;
};

struct sheet {
    std::u16string name;
    std::vector<cell> cells;  // sorted by row, then column
};

using book = std::vector<sheet>;

cell text(uint16_t r, uint16_t c, std::u16string s);
cell number(uint16_t r, uint16_t c, double v);
cell date(uint16_t r, uint16_t c, double serial);
cell boolean(uint16_t r, uint16_t c, bool v);

// What our reader found, in the model's terms (a number cell whose XF has
// a format with a date part counts as a date).
book from_reader(const jet_rbook& b);

// Runs tests/support/xls_dump.py --lines; the raw text when `raw` is given.
book from_xlrd(const std::string& path, std::string* raw = nullptr, bool fmt = false);

// A temporary folder for one test, removed with everything in it.
class temp_dir {
  public:
    temp_dir();
    ~temp_dir();
    std::string file(const std::string& name) const { return path_ + "/" + name; }
    const std::string& path() const { return path_; }
    // Names of the files the folder holds.
    std::vector<std::string> list() const;

  private:
    std::string path_;
};

// Reads a whole file.
std::vector<uint8_t> slurp(const std::string& path);
void spill(const std::string& path, const std::vector<uint8_t>& data);

// "row,col: what" for the first difference, empty when equal.
std::string diff(const book& want, const book& got);

}  // namespace jet_test
