#include "dao/dao_db.h"

#include "TK/tk_log.h"
#include "UDB/udb_name.h"
#include "dao/dao_engi.h"
#include "dao/dao_recs.h"
#include "dao/dao_sche.h"
#include "jet/jet_db.h"

dao_database::dao_database(const std::u16string& file_name, std::unique_ptr<jet_database> db,
                           int32_t mode)
    : udb_database(file_name, mode, false), db_(std::move(db)) {
    tk_wtrace(2, u"dao_database::dao_database( %s )", file_name.c_str());
    if (!db_)
        throw tk_exception("Failed to get TableDefs collection", 1);
    // A workbook has neither linked nor system tables: every worksheet the
    // driver lists is a table.
    for (const std::u16string& name : db_->table_names()) {
        tk_wtrace(2, u"Got table: '%s'", name.c_str());
        table_names_.push_back(name);
    }
    tk_trace(2, "Right before extracting queries/vews");
    if (!(mode & dao_mode_no_queries)) {
        tk_trace(2, "dao_database::init_views");
        tk_trace(2, "Got %d queries", 0);
    }
    tk_trace(2, "Right before extracting FKs");
    tk_trace(2, "dao_database::ctor - END");
}

dao_database::~dao_database() {
    tk_trace(2, "dao_database::~dao_database");
    try {
        db_->close();
    } catch (const std::exception& e) {
        tk_trace(2, "Got exception: %s", e.what());
    }
}

void dao_database::close() {
    tk_trace(2, "dao_database::close");
    try {
        db_->close();
    } catch (const jet_error& e) {
        throw dao_exception(e);
    }
}

int dao_database::version() const {
    return db_->version();
}

void dao_database::require_writable(int line) const {
    if (mode() & dao_mode_read_only)
        throw tk_mail_assertion("dao_db", line);
}

jet_table* dao_database::find(const std::u16string& name) {
    for (const auto& [given, table] : created_) {
        if (udb_name_equal(given, name))
            return table;
    }
    try {
        return db_->find_table(name);
    } catch (const jet_error& e) {
        throw dao_exception(e);
    }
}

udb_recordset* dao_database::create_table(const std::u16string& name, const udb_schema& schema,
                                          const udb_indexes& indexes) {
    tk_wtrace(2, u"dao_database::create_table (%s)", name.c_str());
    require_writable(__LINE__);
    if (is_table_exist(name)) {
        if (mode() & dao_mode_append_existing)
            return get_table(name, dao_mode_append_existing);
        throw tk_mail_assertion("dao_db", __LINE__);
    }
    dao_tabledef tdf{name, {}};
    dao_schema_initializer columns(tdf, schema);
    columns.initialize();
    dao_indexes_initializer idx(tdf, columns, indexes);
    idx.initialize();
    tk_trace(1, "Right before Append");
    jet_table* table = nullptr;
    try {
        table = &db_->create_table(name, tdf.fields);
    } catch (const jet_error& e) {
        throw dao_exception(e);
    }
    table_names_.push_back(name);
    created_.emplace_back(name, table);
    if (!columns.names_map().empty())
        names_map_.add_fn_map(name, columns.names_map());
    return get_table(name, dao_mode_append_only);
}

bool dao_database::delete_tab(const std::u16string& name) {
    tk_wtrace(1, u"dao_database::delete_tab(%s)", name.c_str());
    require_writable(__LINE__);
    if (!is_table_exist(name))
        throw tk_mail_assertion("dao_db", __LINE__);
    jet_table* table = find(name);
    try {
        db_->delete_table(table ? table->name() : name);
    } catch (const jet_error& e) {
        throw dao_exception(e);
    }
    for (auto it = created_.begin(); it != created_.end(); ++it) {
        if (it->second == table) {
            created_.erase(it);
            break;
        }
    }
    return udb_database::delete_tab(name);
}

udb_recordset* dao_database::get_table(const std::u16string& name, int32_t mode) {
    tk_wtrace(2, u"dao_database::get_table(%s, %d)", name.c_str(), mode);
    if (!is_table_exist(name))
        throw tk_mail_assertion("dao_db", __LINE__);
    jet_table* table = find(name);
    tk_trace(1, "Right after tdfs->getItem");
    if (!table)
        return nullptr;  // not a worksheet
    tk_trace(1, "Right after src->CreateQueryDef");
    const bool read_only = (mode & dao_mode_read_only) || (mode_ & dao_mode_read_only);
    return new dao_recordset(name, *table, read_only);
}

udb_recordset* dao_database::get_table(const std::u16string& name, const std::u16string& text,
                                       int32_t) {
    tk_wtrace(2, u"dao_database::get_query(%s, %s)", name.c_str(), text.c_str());
    throw tk_mail_assertion("dao_db", __LINE__);
}

bool dao_database::test_query(const std::u16string& text) {
    tk_wtrace(2, u"dao_database::test_query(%s)", text.c_str());
    return false;
}
