// The columns of a new worksheet, derived from a source schema: legal,
// unique names (dao_fn_validator), field types and sizes (Text or Memo by
// size), required flags and defaults; and the indexes a worksheet cannot
// have (dao_indexes_initializer checks and traces them only).
#pragma once

#include <string>
#include <vector>

#include "UDB/udb_db.h"
#include "dao/dao_vali.h"
#include "jet/jet_value.h"

// The worksheet being defined: its name and its columns, in order.
struct dao_tabledef {
    std::u16string name;
    std::vector<jet_column> fields;
};

class dao_schema_initializer {
  public:
    // Derives the destination columns from `source`, in order: a name the
    // validator does not accept, or one an earlier column already has
    // (ignoring case), is replaced by its safe name, which is then recorded
    // (existing names, mapped pairs, names_map). `tabledef` must outlive
    // the initializer.
    dao_schema_initializer(dao_tabledef& tabledef, const udb_schema& source);
    // Appends the fields to the table definition: field type from the kind
    // and size (a kind without one raises ole_type_exception), size,
    // required flag, default (see quote_def_value) and the auto-increment
    // flag of Long columns.
    void initialize();

    // A default text quoted for the driver: with a double quote and no
    // single quote, in single quotes; with both, every double quote turned
    // into a single one and the whole in double quotes; otherwise in double
    // quotes.
    static std::u16string quote_def_value(const std::u16string& text);

    // The destination columns (names possibly changed), in source order.
    const udb_schema& columns() const { return columns_; }
    // All destination column names.
    const std::vector<std::u16string>& all_names() const { return names_; }
    // Source name -> generated name, for the names that had to change.
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
    // `tabledef` and `columns` must outlive the initializer.
    dao_indexes_initializer(dao_tabledef& tabledef, dao_schema_initializer& columns,
                            const udb_indexes& indexes);
    // Makes index names legal (traced) and checks their fields; creates
    // nothing: a worksheet has no indexes (the converter passes none).
    void initialize();

  private:
    dao_tabledef& tabledef_;
    dao_schema_initializer& columns_;
    const udb_indexes& indexes_;
};
