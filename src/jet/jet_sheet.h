// One new worksheet, built row by row and written out as a complete
// substream when the workbook is closed.
//
// Rows arrive in increasing order. Cells go into the current row block
// (32 row numbers) in memory; when a row of the next block begins, the
// block is finished: its ROW records, its cells and its DBCELL are appended
// to the sheet's spool (an unnamed temporary file past its first MiB), so
// memory does not grow with the sheet; only the DBCELL positions (4 bytes a
// block) stay. The INDEX record, which must follow the BOF and
// hold absolute positions, is produced at `write` time, when the sheet's
// position in the stream is known, as are the COLINFO records of the widths
// measured while the cells came in (the writer of the cells measures them
// through `widths`). Row 0 is the header: it stays in view (frozen panes).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "jet/jet_colw.h"
#include "stg/stg_tmp.h"

class jet_out;

class jet_sheet_writer {
  public:
    // version: 0 BIFF5, 1 BIFF8; no column wider than `max_chars`
    // characters; folder: where the spool's temporary file goes (see
    // stg_spool).
    jet_sheet_writer(int version, unsigned max_chars, std::string folder = {});

    void begin_row(uint32_t row);                                   // rows strictly increasing
    void number(uint16_t col, uint16_t xf, double v);               // RK when exact, else NUMBER
    void label_sst(uint16_t col, uint16_t xf, uint32_t sst_index);  // BIFF8
    // BIFF5 LABEL: `bytes` is the text in the workbook's code page, at
    // most 255 characters (checked by the caller; a double-byte code page
    // may take two bytes a character).
    void label_bytes(uint16_t col, uint16_t xf, std::string_view bytes);
    void boolean(uint16_t col, uint16_t xf, bool v);
    // A row without cells leaves no ROW record.
    void end_row();

    // The widths the sheet's COLINFO records will give its columns.
    jet_col_widths& widths() { return widths_; }

    // Writes the whole substream, BOF to EOF, at out.pos(). `selected`
    // makes it the selected, shown sheet. Finishes the pending block first.
    // May be called again (a close that failed is tried again).
    void write(jet_out& out, bool selected);
    // Bytes held for the sheet so far (row blocks).
    uint64_t stored_size() const { return blocks_.size() + cells_.size(); }

  private:
    struct row_info {
        uint32_t row;
        uint16_t first_col, last_col1;
        uint32_t cells_off;  // offset of the row's first cell in cells_
    };
    uint8_t* cell(uint16_t id, uint16_t body, uint16_t col, uint16_t xf);
    void finish_block();

    int version_;
    jet_col_widths widths_;
    stg_spool blocks_;               // finished row blocks
    std::vector<uint32_t> dbcells_;  // offset of each block's DBCELL in blocks_
    std::vector<uint8_t> cells_;     // cell records of the current block
    row_info rows_[32];
    size_t nrows_ = 0;
    uint32_t block_ = UINT32_MAX;
    // The row being built.
    uint32_t row_ = 0;
    size_t row_cells_ = 0;
    uint16_t row_first_ = 0, row_last1_ = 0;
    // Extent of the sheet's cells.
    bool any_ = false;
    uint32_t first_row_ = 0, last_row1_ = 0;
    uint16_t first_col_ = 0xFFFF, last_col1_ = 0;
};
