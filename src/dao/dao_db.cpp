#include "dao/dao_db.h"

#include "TK/tk_log.h"
#include "TK/tk_utf.h"
#include "dao/dao_engi.h"
#include "dao/dao_recs.h"
#include "jet/jet_db.h"

dao_database::dao_database(const std::u16string& file_name, const std::u16string& connect,
                           std::unique_ptr<jet_database> db, int32_t mode)
    : udb_database(file_name, mode, false), connect_(connect), db_(std::move(db)) {
    tk_wtrace(2, u"dao_database::dao_database( %s )", file_name.c_str());
    if (!db_)
        throw tk_exception("Failed to get TableDefs collection", 1);
    // A workbook has neither linked nor system tables: every worksheet is
    // a table.
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
        close();
    } catch (const std::exception& e) {
        tk_trace(2, "Got exception: %s", e.what());
    }
}

void dao_database::close() {
    try {
        db_->close();
    } catch (const jet_error& e) {
        throw dao_exception(e);
    }
}

void dao_database::require_writable(int line) const {
    if (mode() & dao_mode_read_only)
        throw tk_mail_assertion("dao_db", line);
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
    try {
        db_->create_table(name, tdf.fields);
    } catch (const jet_error& e) {
        throw dao_exception(e);
    }
    table_names_.push_back(name);
    return get_table(name, 0x02);
}

bool dao_database::delete_tab(const std::u16string& name) {
    tk_wtrace(1, u"dao_database::delete_tab(%s)", name.c_str());
    require_writable(__LINE__);
    if (!is_table_exist(name))
        throw tk_mail_assertion("dao_db", __LINE__);
    try {
        db_->delete_table(name);
    } catch (const jet_error& e) {
        throw dao_exception(e);
    }
    return udb_database::delete_tab(name);
}

udb_recordset* dao_database::get_table(const std::u16string& name, int32_t mode) {
    tk_wtrace(2, u"dao_database::get_table(%s, %d)", name.c_str(), mode);
    if (!is_table_exist(name))
        throw tk_mail_assertion("dao_db", __LINE__);
    jet_table* t = db_->find_table(name);
    tk_trace(1, "Right after tdfs->getItem");
    if (!t)
        throw dao_exception(3011, "The Microsoft Jet database engine could not find the object '" +
                                      tk::utf16_to_utf8(name) + "'.");
    tk_trace(1, "Right after src->CreateQueryDef");
    return new dao_recordset(name, *this, *t, (mode & dao_mode_read_only) != 0);
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

std::u16string dao_continuation_name(const std::u16string& path, int n) {
    const size_t slash = path.find_last_of(u'/');
    const size_t start = slash == std::u16string::npos ? 0 : slash + 1;
    size_t dot = path.find_last_of(u'.');
    if (dot == std::u16string::npos || dot < start)
        dot = path.size();
    std::u16string suffix = u"(" + tk::utf8_to_utf16(std::to_string(n)) + u")";
    return path.substr(0, dot) + suffix + path.substr(dot);
}
