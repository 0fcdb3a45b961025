// ora_query_results: the rows of one SELECT statement as a udb_recordset.
// It describes the select list, creates one column object per column,
// defines their buffers on its own statement and hands the rows out one at
// a time. The Oracle source also reads its own catalog queries with it.
//
// The statement is described without running (OCI_DESCRIBE_ONLY, on a
// temporary statement), then run once to read. Rows are taken one per fetch
// call from the client's prefetch (see ora_stmt::prepare); buffers are
// reused.
//
// Reading order: is_eof() fetches the next row (true at the end), get_item()
// returns it; get_item() alone fetches for itself. The record returned
// belongs to the reader and stays valid until the next get_item() or the
// reader's destruction. Once the end was met, is_eof() stays true and
// get_item() returns null without asking the server again.
//
// A row the server cannot convert (ora_is_value_error) or hold in memory
// (ORA-04030), or whose values cannot be decoded or held, raises
// udb_record_refused out of is_eof() or get_item(); the reader has passed
// that row and goes on with the next.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "ORA/ora_engi.h"
#include "ORA/ora_type.h"
#include "UDB/udb_db.h"

class ora_query_results : public udb_recordset {
  public:
    // The form ora_table uses: name and SQL text kept, nothing described yet.
    ora_query_results(const std::u16string& name, const std::u16string& text);
    // The form for catalog queries: empty name, then initialize(columns, text).
    ora_query_results(uint32_t column_count, const std::u16string& text);
    ~ora_query_results() override;

    // Describes and opens `text`; column_count 0 takes the count from the
    // statement's describe. Running it twice is an internal error.
    void initialize(uint32_t column_count, const std::u16string& text);
    // The column class for a describe type code.
    std::unique_ptr<ora_type> gen_co_by_type(OCIParam* param, ub2 type_code);

    // Not supported on a query (internal error).
    void append_record(udb_record& record) override;
    udb_record* get_item() override;
    // fill() rebuilds the record whatever it holds.
    bool record_exchangeable() const override { return true; }
    bool is_eof() override;

    bool initialized() const { return initialized_; }
    uint32_t column_count() const { return column_count_; }
    const std::vector<std::unique_ptr<ora_type>>& columns() const { return columns_; }

  protected:
    // Fetches one row; false (and the end remembered) at OCI_NO_DATA.
    bool fetch_row();

    bool fetched_ = false;
    bool at_end_ = false;
    // Date columns are read as text (set before initialize; see ora_date).
    bool dates_as_text_ = false;
    uint32_t column_count_ = 0;
    bool initialized_ = false;
    // Destroyed in reverse order: record, column objects, statement.
    ora_stmt stmt_;
    std::vector<std::unique_ptr<ora_type>> columns_;
    std::unique_ptr<ora_record> record_;
};
