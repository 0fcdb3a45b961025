// A workbook opened as a database of the universal model: each worksheet is
// a table. Wraps one jet_database (the workbook driver) and turns its
// failures into dao_exception.
//
// Ownership: made by dao_engine::open_dao_src / create_dao_src, owned by the
// caller. Recordsets it returns belong to the caller and must be deleted
// before the database. Closing writes the workbook (atomically: temporary
// file and rename); `close` reports a failure, the destructor closes
// quietly (a failure is traced and the destination stays as it was).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "UDB/udb_db.h"

class jet_database;
class jet_table;
class dao_recordset;

class dao_database : public udb_database {
  public:
    // Takes `db` over; lists its worksheets. `connect` is kept for
    // continuation files (see dao_recordset).
    dao_database(const std::u16string& file_name, const std::u16string& connect,
                 std::unique_ptr<jet_database> db, int32_t mode);
    ~dao_database() override;

    // A new worksheet with the columns derived from `schema`
    // (dao_schema_initializer); returns a recordset open for appending. A
    // name that exists: with mode bit 0x08 the existing table is returned
    // (get_table), otherwise an internal error. `indexes` are validated and
    // traced only: a worksheet has no indexes.
    udb_recordset* create_table(const std::u16string& name, const udb_schema& schema,
                                const udb_indexes& indexes) override;
    bool delete_tab(const std::u16string& name) override;
    // A recordset on an existing worksheet (append-only, or read-only with
    // mode bit 0x01). A name not in the table list is an internal error.
    udb_recordset* get_table(const std::u16string& name, int32_t mode) override;
    // Queries do not exist in a workbook: an internal error.
    udb_recordset* get_table(const std::u16string& name, const std::u16string& text,
                             int32_t mode) override;
    bool test_query(const std::u16string& text) override;
    using udb_database::get_table;

    // Writes the workbook and releases the file; idempotent. Failures
    // (disk full, permissions) raise dao_exception and leave the database
    // open, so it may be retried.
    void close();

    const std::u16string& connect() const { return connect_; }
    jet_database& jet() { return *db_; }

  private:
    friend class dao_recordset;
    void require_writable(int line) const;

    std::u16string connect_;
    std::unique_ptr<jet_database> db_;
};

// The name of the n-th continuation file of `path`: the base name (without
// folder and extension) followed by "(n)", e.g. /out/book.xls ->
// /out/book(1).xls. Used for the files that take the rows past a
// worksheet's capacity, by the converter to delete old ones and patch new
// ones.
std::u16string dao_continuation_name(const std::u16string& path, int n);
