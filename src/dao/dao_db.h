// A workbook opened as a database of the universal model: each worksheet is
// a table. Wraps one jet_database (the workbook driver) and turns its
// failures into dao_exception.
//
// Ownership: made by dao_engine::open_dao_src / create_dao_src and owned by
// the caller. Recordsets it returns belong to the caller and must be
// deleted before the database, and before the worksheet they write is
// deleted with delete_tab. Destroying the database closes it, which writes
// the workbook (atomically: a temporary file beside it, then a rename). A
// failure there can only be traced by the destructor; call close() first
// to have it raised (the workbook then stays as it was and the database
// open, so close may be tried again).
//
// Table names: the list holds the worksheets of the opened file, as the
// workbook stores them, and the names given to create_table in this
// session. In a BIFF5 workbook the driver stores a name that Windows-1252
// cannot hold with "_" in place of the missing characters (made unique);
// such a worksheet is still found here by the name it was created with.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "UDB/udb_db.h"

class jet_database;
class jet_table;

class dao_database : public udb_database {
  public:
    // Takes `db` over and lists its worksheets. `mode`: dao_mode_* bits.
    dao_database(const std::u16string& file_name, std::unique_ptr<jet_database> db, int32_t mode);
    ~dao_database() override;

    // A new worksheet whose columns dao_schema_initializer derives from
    // `schema` (row 0 holds their names); returns a recordset open for
    // appending. A name already in the table list: with mode bit 0x08 the
    // existing worksheet's recordset (get_table), otherwise an internal
    // error; so is read-only mode. `indexes` are checked and traced only: a
    // worksheet has no indexes. Driver refusals (an invalid name, too many
    // columns) raise dao_exception; a column kind without a field type
    // raises ole_type_exception.
    udb_recordset* create_table(const std::u16string& name, const udb_schema& schema,
                                const udb_indexes& indexes) override;
    // Removes a worksheet. Read-only mode and a name not in the table list
    // are internal errors; the driver refuses to remove the last worksheet
    // (dao_exception 3251).
    bool delete_tab(const std::u16string& name) override;
    // A recordset on a worksheet: read-only with mode bit 0x01, else
    // append-only. A name not in the table list is an internal error.
    // Rows can be appended only to worksheets created in this session
    // (others: dao_exception 3251 on append).
    udb_recordset* get_table(const std::u16string& name, int32_t mode) override;
    // A workbook holds no queries: an internal error.
    udb_recordset* get_table(const std::u16string& name, const std::u16string& text,
                             int32_t mode) override;
    bool test_query(const std::u16string& text) override;
    using udb_database::get_table;

    // Writes the workbook (when anything changed) and releases the file;
    // idempotent. Failures (disk full, permissions) raise dao_exception.
    void close();

    // 0 BIFF5 ("Excel 5.0;"), 1 BIFF8 ("Excel 8.0;").
    int version() const;
    jet_database& jet() { return *db_; }

  private:
    void require_writable(int line) const;
    // The driver's worksheet for a name of the table list, or null.
    jet_table* find(const std::u16string& name);

    std::unique_ptr<jet_database> db_;
    // Worksheets created in this session: the name given, the worksheet.
    std::vector<std::pair<std::u16string, jet_table*>> created_;
};
