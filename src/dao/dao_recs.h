// Worksheet writing: the columns of a new worksheet derived from a source
// schema (dao_schema_initializer), the indexes a worksheet cannot have
// (dao_indexes_initializer, validation and traces only), and the recordset
// that appends rows (dao_recordset).
//
// Capacity: a worksheet holds 65,535 records (BIFF8) or 16,383 (BIFF5)
// below its header row. With the engine's split_data setting the records
// past that continue in a worksheet of the same name, with its header row,
// in the continuation files <base>(1).xls, <base>(2).xls, ... beside the
// destination (dao_continuation_name); each item that overflows starts with
// the first continuation file, so later items continue in the same files.
// Without it the records past the capacity are counted, not written, and
// `finish` reports them once for the whole item.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "UDB/udb_db.h"
#include "dao/dao_vali.h"
#include "jet/jet_value.h"

class dao_database;
class jet_database;
class jet_table;

// The worksheet being defined (the table definition before it is appended).
struct dao_tabledef {
    std::u16string name;
    std::vector<jet_column> fields;
};

class dao_schema_initializer {
  public:
    // Derives the destination columns from `source` (legal, unique names).
    // `tabledef` must outlive the initializer.
    dao_schema_initializer(dao_tabledef& tabledef, const udb_schema& source);
    // Adds the fields (type, size, required, default, auto-increment) to
    // the table definition.
    void initialize();

    // A default text quoted for the driver: with a double quote and no
    // single quote, in single quotes; with both, double quotes turned into
    // single ones and the whole in double quotes; otherwise in double quotes.
    static std::u16string quote_def_value(const std::u16string& text);

    const udb_schema& columns() const { return columns_; }
    const std::vector<std::u16string>& all_names() const { return names_; }
    const t_names_map& names_map() const { return map_; }
    dao_fn_validator& validator() { return validator_; }

  private:
    dao_tabledef& tabledef_;
    udb_schema columns_;
    dao_fn_validator validator_;
    std::vector<std::u16string> names_;
    t_names_map map_;
};

class dao_indexes_initializer {
  public:
    dao_indexes_initializer(dao_tabledef& tabledef, dao_schema_initializer& columns,
                            const udb_indexes& indexes);
    // Validates index and field names (traces); creates nothing: worksheets
    // have no indexes, and the converter passes none.
    void initialize();

  private:
    dao_tabledef& tabledef_;
    dao_schema_initializer& columns_;
    const udb_indexes& indexes_;
};

class dao_recordset : public udb_recordset {
  public:
    // A recordset on worksheet `table` of `db`; reads its columns back.
    // `db` must outlive the recordset.
    dao_recordset(const std::u16string& name, dao_database& db, jet_table& table, bool read_only);
    // Closes a continuation workbook still open (a failure is traced only:
    // call finish to have it reported).
    ~dao_recordset() override;

    // Appends one row: values in column order, one per column. A value the
    // cell cannot hold raises dao_exception (3349 date before 1900 or number
    // out of range, 3421 no conversion); a text too long for a cell (3047)
    // leaves that cell empty and writes the rest of the row. Past the
    // worksheet's capacity see the header comment.
    void append_record(udb_record& record) override;

    // Ends the item: closes the open continuation workbook (failures raise
    // dao_exception), then, when records were left out for lack of room,
    // raises one level-0 dao_exception (3437) saying how many from which
    // record on, and that the split option keeps them. Call once after the
    // last append_record.
    void finish();

    uint32_t appended() const { return appended_; }              // rows written (all files)
    uint32_t left_out() const { return left_out_; }              // rows not written: no room
    uint32_t first_left_out() const { return first_left_out_; }  // 1-based, 0 if none
    int continuation_files() const { return cont_n_; }           // continuation files used

  private:
    void init_schema();
    void init_indexes();
    // Switches to the next continuation file; false when that failed (the
    // error is raised once, later rows are left out).
    void next_continuation();
    void close_continuation();
    void append_row();

    dao_database& db_;
    jet_table* table_;  // where rows go: the worksheet, or its continuation
    bool read_only_;
    std::vector<jet_column> jet_columns_;  // for the continuation worksheets
    std::vector<jet_value> values_;
    std::vector<std::u16string> scratch_;
    std::vector<uint16_t> kinds_;
    std::vector<uint8_t> required_;
    std::unique_ptr<jet_database> cont_db_;
    int cont_n_ = 0;
    bool full_ = false;  // no more room anywhere: rows are left out
    uint32_t attempts_ = 0;
    uint32_t appended_ = 0;
    uint32_t left_out_ = 0;
    uint32_t first_left_out_ = 0;
};
