// Builds small BIFF5/BIFF8 workbook streams by hand for the patch tests, and
// records where every FONT, XF and cell XF field lies so a test can state
// exactly which bytes the patch may change.
//
// Two kinds of globals: synthetic ones (any number of FONT and XF records
// with recognisable filler bodies), and the built-in empty workbook's real
// globals (from jet_template_stream) with our BOUNDSHEETs, which xlrd reads
// with formatting_info. Sheets are laid out the way the workbook driver lays
// them out: BOF, INDEX, DEFCOLWIDTH, DIMENSIONS, row blocks (ROW records,
// cells, DBCELL) of at most 32 rows, WINDOW2, EOF.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace xls_test {

struct cell_spec {
    uint16_t id;  // record id
    uint16_t row, col, xf;
    std::vector<uint8_t> extra;  // body after row, col, xf
};

// Cell records (body: row, col, XF, then the value).
cell_spec label(int version, uint16_t row, uint16_t col, const std::string& ascii,
                uint16_t xf = 15);
cell_spec number(uint16_t row, uint16_t col, double v, uint16_t xf = 15);
cell_spec blank(uint16_t row, uint16_t col, uint16_t xf = 15);

struct sheet_spec {
    std::string name;
    // Cells in writing order; rows are formed from the distinct row numbers
    // in ascending order, cells of a row keep their order.
    std::vector<cell_spec> cells;
};

struct book_plan {
    int version = 1;  // 0 BIFF5, 1 BIFF8
    bool real_globals = false;
    int fonts = 5;  // synthetic globals only
    int xfs = 21;   // XF records (real globals: copies of XF 15 beyond 21)
    // Records placed after the BOUNDSHEETs of synthetic globals (before EOF):
    // an XF and a FONT, which only a walk that goes on past the sheet list
    // would rewrite.
    bool xf_after_boundsheets = false;
    bool no_boundsheet_end = false;  // BIFF8: omit the BOUNDSHEETs entirely
    std::vector<sheet_spec> sheets;
};

struct book_layout {
    std::vector<uint64_t> font_body;  // body offset of each FONT record
    std::vector<uint64_t> xf_body;    // body offset of each XF record
    std::vector<uint64_t> sheet_bof;
    std::vector<uint64_t> boundsheet;  // body offset of each BOUNDSHEET record
    // Per sheet, per cell in plan order: offset of the cell's XF field.
    std::vector<std::vector<uint64_t>> cell_xf;
    std::vector<uint64_t> dbcell;  // every DBCELL record, all sheets
};

std::vector<uint8_t> build_stream(const book_plan& plan, book_layout* layout);

// Writes `stream` as the `Book` (version 0) or `Workbook` (1) stream of a
// compound file at `path`, with a summary-information stream beside it.
void write_book(const std::string& path, int version, const std::vector<uint8_t>& stream);

// The workbook stream of the compound file at `path`.
std::vector<uint8_t> read_book(const std::string& path);

}  // namespace xls_test
