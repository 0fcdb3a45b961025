// ora_table: the reader ora_database::get_table returns, for a table (table
// form) or for a SELECT text (query form). Beyond ora_query_results it
// builds the column descriptors with their defaults, halves the sizes of
// national character columns, and counts the rows before reading; it hands
// out at most that many rows.
#pragma once

#include <cstdint>
#include <string>

#include "ORA/ora_qres.h"
#include "UDB/udb_rel.h"

class ora_database;

// flags: udb_dates_as_text reads date columns as text (see ora_date); the
// other bits are not used by the reader.
class ora_table : public ora_query_results {
  public:
    // Table form: reads the table `name` (quoted as stored).
    ora_table(ora_database* database, const std::u16string& name, udb_relationships* relationships,
              int32_t flags);
    // Query form: reads the SELECT text `query` under the name `name`.
    ora_table(ora_database* database, const std::u16string& name, const std::u16string& query,
              udb_relationships* relationships, int32_t flags);
    ~ora_table() override;

    // False while a row was fetched and fewer than records_count rows were
    // read; true at records_count or at the real end of the rows.
    bool is_eof() override;
    void next() override;

    uint32_t rows_read() const { return rows_read_; }

    // A column's default value from the catalog's DATA_DEFAULT text: quoted
    // texts lose their apostrophes ('' becomes '); an unquoted text of a
    // text column (an expression, NULL) and any date default give VT_EMPTY;
    // a text the kind cannot take gives VT_EMPTY.
    static ole_variant get_def_value(uint16_t kind, std::u16string text);

  private:
    void open();
    void init_schema();
    void read_defaults();
    void init_indexes();

    const bool query_form_;
    uint32_t rows_read_ = 0;
    ora_database* database_;
    udb_relationships* relationships_;
};
