// The recordset of one worksheet: appends records as rows below the header
// row (row 0, the column names).
//
// Capacity and continuation files. A worksheet holds capacity() records:
// 65,535 in BIFF8 and 16,383 in BIFF5, below its header row. Once it is
// full, append_record raises dao_exception 3437 ("Spreadsheet is full.",
// dao_is_sheet_full) and writes nothing of the record; the recordset stays
// usable (every further append raises the same). The converter handles it
// per item:
//   - with "split data into multiple spreadsheets if necessary" it deletes
//     this recordset and its database (closing the workbook), opens the next
//     continuation workbook <base>(1).xls, <base>(2).xls, ... (open_dao_src
//     with mode 0x08 when it exists, create_dao_src otherwise), creates the
//     worksheet there under the same name with the same schema (so it gets
//     the same header row) and appends the refused record again. Each item
//     starts with the first continuation file, so a later item that
//     overflows adds its worksheet to the same files;
//   - without it, it stops copying the item and reports once how many
//     records, from which one on, were left out.
// Opening and closing a workbook stays a matter of the converter: this
// class never opens a file.
//
// Ownership: made by dao_database (create_table / get_table), owned by the
// caller, and deleted before that database.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "UDB/udb_db.h"
#include "jet/jet_value.h"

class jet_table;

class dao_recordset : public udb_recordset {
  public:
    // A recordset on worksheet `table`; reads its columns back into the
    // schema. `table` must outlive the recordset.
    dao_recordset(const std::u16string& name, jet_table& table, bool read_only);
    ~dao_recordset() override;

    // BIFF5: characters of the worksheet's name, header and rows so far that
    // the workbook's code page cannot hold (written as "?", "_" in the name).
    size_t replaced_characters() const;

    // Appends one record: one value per column, in column order. The values
    // are first converted in place to the columns' kinds (as convert_record;
    // ole_cast_exception when one cannot be), except a text marked for a
    // text cell (udb_field::b_text_cell), which is written as a text cell
    // as it stands, whatever its column's type. Then:
    //   - a NULL (or empty) value in a required column becomes an empty text
    //     read as the column's kind (ole_variant::from_wstring): an empty
    //     text in a text column; no cell in the others, where an empty text
    //     reads as no value;
    //   - a date without a date part ("0000-00-00") becomes 1899-12-30 with
    //     its time, which a date cell cannot hold (3349, as any date before
    //     1900);
    //   - a value whose cell would be too large (3047) leaves that cell
    //     empty; the rest of the row is written.
    // A value the driver refuses (3349, 3421) raises dao_exception and
    // nothing of the row is written. Past the capacity: see above. A count
    // of values other than the column count raises a level-1 tk_exception.
    // Appending through a read-only recordset is an internal error.
    // Texts are handed to the driver as views: nothing is copied, and after
    // the first record nothing is allocated here per value.
    void append_record(udb_record& record) override;

    // Records the worksheet holds at most (below its header row).
    uint32_t capacity() const;
    // Records the worksheet holds now.
    uint32_t record_count() const;
    bool is_full() const { return record_count() >= capacity(); }
    // Records appended through this recordset.
    uint32_t appended() const { return appended_; }

  private:
    void init_schema();
    void init_indexes();

    jet_table& table_;
    bool read_only_;
    // Per column: the value a NULL in a required column becomes (VT_EMPTY
    // for other columns), kept so the driver may view its text.
    std::vector<ole_variant> null_values_;
    std::vector<uint8_t> required_;
    std::vector<jet_value> values_;
    std::vector<std::u16string> scratch_;
    uint32_t appended_ = 0;
};
