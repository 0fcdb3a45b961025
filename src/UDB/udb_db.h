// The two abstract interfaces that the conversion driver moves records
// through: a database (the Oracle source, the workbook destination) and a
// recordset (one open table, view or query result of it). The virtual
// operations are declared in the order the engines fill them; an engine
// that does not support an operation keeps the base behaviour.
//
// The two get_table forms are overloads of one name: an engine that
// overrides one of them adds `using udb_database::get_table;` so that the
// other stays callable through the engine's own type.
//
// Ownership: a recordset returned by get_table / create_table belongs to
// the caller. A record returned by get_item belongs to the recordset and
// stays valid until the next get_item or the recordset's destruction.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "TK/tk_excep.h"
#include "UDB/udb_idx.h"
#include "UDB/udb_rel.h"
#include "UDB/udb_sche.h"
#include "UDB/udb_vali.h"

class udb_recordset;

// A get_table mode bit: the caller writes date columns as text. A date
// value the source cannot read as a date is then handed on as its text
// (VT_BSTR) instead of refusing its record.
inline constexpr int32_t udb_dates_as_text = 0x100;

class udb_database {
  public:
    // mode: the engine's creation flags, kept unchanged. case_sensitive
    // decides how table names are compared (exactly, or ignoring case).
    udb_database(const std::u16string& name, int32_t mode, bool case_sensitive);
    virtual ~udb_database();
    udb_database(const udb_database&) = delete;
    udb_database& operator=(const udb_database&) = delete;

    // Creates a table from `schema` and returns a recordset open on it for
    // appending. `indexes` are the indexes to create with it.
    virtual udb_recordset* create_table(const std::u16string& name, const udb_schema& schema,
                                        const udb_indexes& indexes) = 0;
    // Removes the first table-name entry equal to `name`; a name that is
    // not listed is an internal error (test with is_table_exist first).
    virtual bool delete_tab(const std::u16string& name);
    // Opens a table of the catalog by name.
    virtual udb_recordset* get_table(const std::u16string& name, int32_t mode) = 0;
    // Opens the result of the SQL `text` under the name `name`. The
    // workbook engine calls this operation get_query; see below.
    virtual udb_recordset* get_table(const std::u16string& name, const std::u16string& text,
                                     int32_t mode) = 0;
    // True when the engine accepts `text` as a query.
    virtual bool test_query(const std::u16string& text) = 0;
    // Runs a statement without result rows. Not supported by the base (an
    // internal error).
    virtual int32_t query(const std::u16string& text);
    // An engine hook with no behaviour in the base; nothing here calls it.
    virtual void hook(int32_t arg);
    // Creates the foreign keys of `relationships` in this database; the
    // base (and so the workbook) creates none.
    virtual void create_relationships(const udb_relationships& relationships);
    // True when the table-name list holds `name` (see case_sensitive).
    virtual bool is_table_exist(const std::u16string& name);
    // The table-name list's spelling of `name` (compared as is_table_exist
    // compares), or an empty string when it is not listed.
    std::u16string listed_name(const std::u16string& name) const;

    // The query form of get_table under its workbook name.
    udb_recordset* get_query(const std::u16string& name, const std::u16string& text, int32_t mode) {
        return get_table(name, text, mode);
    }

    int32_t mode() const { return mode_; }
    const std::u16string& name() const { return name_; }
    bool case_sensitive() const { return case_sensitive_; }
    const std::vector<std::u16string>& table_names() const { return table_names_; }
    udb_names_map& names_map() { return names_map_; }
    const udb_names_map& names_map() const { return names_map_; }
    udb_relationships& relationships() { return relationships_; }
    const udb_relationships& relationships() const { return relationships_; }

  protected:
    // How this engine's catalog compares names: exactly or ignoring case
    // (case_sensitive); an engine whose catalog has another rule overrides.
    virtual bool names_equal(const std::u16string& a, const std::u16string& b) const;

    const int32_t mode_;
    std::u16string name_;
    bool case_sensitive_;
    // Engine lookup structures, filled and read by the engines only (the
    // Oracle source keeps its views here: view name -> SELECT text).
    std::map<std::u16string, std::u16string> objects_;
    std::vector<std::u16string> object_list_;
    // Filled by the engine when it reads its catalog.
    std::vector<std::u16string> table_names_;
    udb_names_map names_map_;
    udb_relationships relationships_;
};

// Raised by a recordset for one record it cannot read (a value that cannot
// be converted). The recordset has passed that record: the caller reports
// it and goes on with the next one. Message and system error are those of
// the cause; the level is 0 (report and continue).
class udb_record_refused : public tk_exception {
  public:
    explicit udb_record_refused(const tk_exception& cause)
        : tk_exception(cause.message(), 0, cause.system_error()) {}
};

class udb_recordset {
  public:
    // `text` is the SQL of a query result, empty for a table. With
    // `owns_schema` the schema deletes its descriptors.
    udb_recordset(const std::u16string& name, const std::u16string& text, bool owns_schema);
    virtual ~udb_recordset();
    udb_recordset(const udb_recordset&) = delete;
    udb_recordset& operator=(const udb_recordset&) = delete;

    // Writes one row.
    virtual void append_record(udb_record& record) = 0;
    // Base: traces and does nothing.
    virtual void update(udb_record& record);
    // The current row, owned by the recordset; null in the base.
    virtual udb_record* get_item();
    // Whether a caller may exchange the fields of the record get_item()
    // returned with its own (udb_record::swap) instead of copying them: the
    // recordset rebuilds every value of its record at the next get_item()
    // whatever the record then holds. False in the base.
    virtual bool record_exchangeable() const { return false; }
    // True after the last row; always true in the base.
    virtual bool is_eof();
    // True for the result of a query (a non-empty SQL text).
    virtual bool is_query() const;
    // Advances to the next row; nothing in the base.
    virtual void next();
    // A further navigation step with no behaviour in the base; nothing here
    // calls it.
    virtual void move_last();
    // Called before the first row is read; nothing in the base.
    virtual void move_first();

    // Converts each value of `record` in place to the kind of the schema's
    // descriptor at its position. The first value that cannot be converted
    // raises ole_cast_exception; the values before it stay converted. More
    // values than descriptors is an internal error.
    void convert_record(udb_record& record) const;
    // Appends an index unless one of the same name exists; the first
    // primary or unique index becomes the key (key_index).
    void add_index(const udb_index& index);

    const std::u16string& text() const { return text_; }
    const std::u16string& name() const { return name_; }
    udb_schema& schema() { return schema_; }
    const udb_schema& schema() const { return schema_; }
    udb_indexes& indexes() { return indexes_; }
    const udb_indexes& indexes() const { return indexes_; }
    uint32_t records_count() const { return records_count_; }
    int32_t key_index() const { return key_index_; }

  protected:
    std::u16string text_;
    std::u16string name_;
    udb_schema schema_;
    udb_indexes indexes_;
    // Rows the reader will deliver; set by the source engine.
    uint32_t records_count_ = 0;
    // Position in indexes_ of the primary or first unique key; -1 if none.
    int32_t key_index_ = -1;
};
