// A reading and checking pass over a whole workbook file: every sheet's
// cells with their values and XF indexes, the globals' fonts, formats and
// XFs, and a list of every place where the file departs from the layout
// this system writes and the BIFF patch relies on (record sizes, INDEX and
// DBCELL positions and offsets, ROW and DIMENSIONS extents, SST splits and
// counts, EXTSST positions). Tests read back every workbook they write with
// it; it also serves as a diagnostic for workbooks from elsewhere.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct jet_rcell {
    enum class kind : uint8_t { number, text, boolean, error, blank };
    uint16_t row = 0, col = 0, xf = 0;
    uint16_t record = 0;  // record id the cell came from
    kind k = kind::blank;
    double number = 0;
    bool boolean = false;
    std::u16string text;
};

struct jet_rsheet {
    std::u16string name;
    uint8_t type = 0;  // 0 worksheet
    uint8_t visibility = 0;
    uint32_t pos = 0;                 // BOF position
    uint32_t size = 0;                // BOF to EOF inclusive
    std::vector<jet_rcell> cells;     // in stream order
    uint32_t index_rows[2] = {0, 0};  // INDEX first row, last row + 1
    size_t dbcells = 0;
    uint16_t window2 = 0;  // WINDOW2 options
};

struct jet_rbook {
    int version = 1;  // 0 BIFF5, 1 BIFF8
    std::u16string stream_name;
    uint64_t stream_size = 0;
    uint16_t codepage = 0;
    std::vector<uint16_t> globals;            // record ids of the globals, in order
    std::vector<std::vector<uint8_t>> fonts;  // FONT bodies
    std::vector<std::vector<uint8_t>> xfs;    // XF bodies
    std::vector<std::pair<uint16_t, std::u16string>> formats;
    std::vector<std::u16string> sst;
    uint32_t sst_total = 0;
    std::vector<jet_rsheet> sheets;
    std::vector<std::string> problems;  // empty for a workbook laid out as written here

    const jet_rsheet* sheet(const std::u16string& name) const;
    // The cell at (row, col) of a sheet, or null.
    static const jet_rcell* cell(const jet_rsheet& s, uint16_t row, uint16_t col);
};

// Reads `path`. Throws jet_error (3274 and a description) when the file
// cannot be read at all; layout departures go to `problems`.
jet_rbook jet_read_book(const std::string& path);
