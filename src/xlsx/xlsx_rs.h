// The recordset of one worksheet of an .xlsx workbook being written
// (xlsx_database): appends records as rows below the header row.
//
// The columns take the kinds the .xls driver gives a worksheet's columns
// (dao_field: every number a double, a date a date, a text a text), the
// values are converted in place to them as there (convert_record: a date
// in a column written as text becomes its text), and each is written as
// its kind:
//   VT_EMPTY, VT_NULL     no cell (a record of NULLs only is an empty row)
//   numbers               a number cell (every kind of number, as a double;
//                         the library writes 16 significant digits, which
//                         gives back exactly the double of any decimal of up
//                         to 15 digits, all a number cell carries)
//   VT_DATE               a number cell with the date format, or the date and
//                         time format when the value has a time of day
//   VT_BOOL               a boolean cell
//   VT_BSTR (and others by their text)   a text cell (xlsx_text)
// Every cell is in the workbook's cell format (vertically centred, wrapped
// when asked); the row is checked whole before any of its cells is
// written. A record is refused with dao_exception, and nothing of it is
// written, for a date before 1900-01-01 or after 9999-12-31 or a number
// that is not finite (3349), or a text longer than a cell holds once its
// escapes are counted (3047). Past 1,048,575 records appending raises
// dao_exception 3437 ("Spreadsheet is full.") and writes nothing of the
// record. When a write of the rows fails (a full disk) the failure is
// raised as the .xls driver raises it (tk_write_failure, or dao_exception
// 3035 or 3051: xlsx_raise_write_error), again on every later append, and
// the workbook can no longer be written.
//
// Ownership: made by xlsx_database::create_table, owned by the caller and
// deleted before the database.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "UDB/udb_db.h"
#include "jet/jet_value.h"
#include "xlsx/xlsx_db.h"

class xlsx_recordset : public udb_recordset {
  public:
    xlsx_recordset(const std::u16string& name, xlsx_database::sheet& sheet,
                   const xlsx_database::formats& formats, const udb_schema& schema);
    ~xlsx_recordset() override;

    void append_record(udb_record& record) override;

    // Records a worksheet holds at most (below its header row).
    uint32_t capacity() const;
    // Records the worksheet holds now.
    uint32_t record_count() const { return sheet_.records; }

  private:
    // A value checked and ready to be written.
    struct cell {
        jet_value::kind_t kind = jet_value::kind_t::null;
        bool has_time = false;
        bool has_fraction = false;  // of a second
        double number = 0;
    };

    xlsx_database::sheet& sheet_;
    const xlsx_database::formats& formats_;
    std::vector<cell> cells_;
    std::vector<std::string> texts_;  // UTF-8 of the text cells, reused row after row
    std::vector<jet_value> values_;
    std::vector<std::u16string> scratch_;
};
