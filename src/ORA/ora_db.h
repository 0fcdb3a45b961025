// ora_database: the Oracle source seen as a udb_database. Created by
// ora_engine::open_db right after the logon; reads the user's table names
// and views once, then hands out readers (ora_table) over a table or a
// SELECT text and checks user-written queries.
//
// The base's lookup map holds the views: view name -> SELECT text. Readers
// returned by get_table belong to the caller and must be deleted before the
// engine is.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "UDB/udb_db.h"

class ora_database : public udb_database {
  public:
    // Reads the table list, then the views unless bit 0x80 of flags is set.
    // A failing table list throws ora_exception; a failing view list is
    // traced and leaves the views read so far.
    ora_database(const std::u16string& name, int32_t flags);
    ~ora_database() override;

    using udb_database::get_table;

    // Destination side only: never used on a source (internal error).
    udb_recordset* create_table(const std::u16string& name, const udb_schema& schema,
                                const udb_indexes& indexes) override;
    // A reader over a listed table; an unlisted name is an internal error.
    udb_recordset* get_table(const std::u16string& name, int32_t flags) override;
    // A reader over the SELECT text `query` named `name`.
    udb_recordset* get_table(const std::u16string& name, const std::u16string& query,
                             int32_t flags) override;
    // True when the server parses `query`; ora_exception otherwise.
    bool test_query(const std::u16string& query) override;
    // Runs `statement` once; returns 0.
    int32_t query(const std::u16string& statement) override;

    const std::map<std::u16string, std::u16string>& views() const { return objects_; }

    // The table-list statement for a server version.
    static std::u16string tables_statement(uint32_t version);
    // The view-list statement for a user name (compared as entered).
    static std::u16string views_statement(const std::u16string& user);

  protected:
    // Oracle's dictionary stores names exactly, so they compare exactly. The
    // embedded provider's SQLite finds its tables ignoring ASCII case (and
    // only ASCII case), so a `file:` source compares them the same way.
    bool names_equal(const std::u16string& a, const std::u16string& b) const override;

  private:
    void init_tables();
    void init_views();
};
