// The workbook globals of an open workbook, as the driver keeps them between
// open and close: every record in stream order, held as bytes, except those
// the driver regenerates on close (BOUNDSHEET, TABID, SST with its CONTINUE
// records, EXTSST), which are replaced by placeholders. The strings of the
// SST and the sheets of the BOUNDSHEET records are parsed; every other
// record is copied back verbatim, so a workbook keeps its fonts, formats,
// styles, names and whatever else its globals hold.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "jet/jet_sst.h"

class jet_rec_reader;

struct jet_grec {
    enum kind_t : uint8_t { copy, boundsheets, sst, tabid };
    kind_t kind;
    uint32_t off;  // record (header + body) in jet_gmodel::bytes; copy only
    uint32_t len;
};

struct jet_gsheet {
    std::u16string name;
    std::vector<uint8_t> body;  // BOUNDSHEET body; its first 4 bytes are rewritten
    uint32_t old_pos = 0;       // BOF position in the old stream (old sheets)
    uint8_t type = 0;           // 0 worksheet, 2 chart, 6 module, ...
};

struct jet_gmodel {
    int version = 1;        // 0 BIFF5, 1 BIFF8
    uint16_t codepage = 0;  // CODEPAGE record, 0 when absent
    bool date1904 = false;
    bool sheet_refs = false;  // EXTERNSHEET or NAME records refer to sheets by index
    uint64_t end = 0;         // stream position after the globals' EOF
    std::vector<uint8_t> bytes;
    std::vector<jet_grec> recs;
    std::vector<jet_gsheet> sheets;
    jet_sst sst;  // BIFF8
    // Cell XFs the driver's cells use.
    uint16_t xf_number = 0, xf_text = 0, xf_boolean = 0, xf_date = 0, xf_datetime = 0,
             xf_datetime_ms = 0;
};

// Reads the globals substream starting at the reader's position (a BOF of
// the expected version). Throws jet_error 3274 for anything malformed or
// encrypted.
void jet_parse_globals(jet_rec_reader& rd, int version, jet_gmodel& m);
