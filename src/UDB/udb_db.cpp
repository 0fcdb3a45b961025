#include "UDB/udb_db.h"

#include <algorithm>

#include "TK/tk_excep.h"
#include "TK/tk_log.h"
#include "UDB/udb_name.h"

// ---- udb_database

udb_database::udb_database(const std::u16string& name, int32_t mode, bool case_sensitive)
    : mode_(mode), name_(name), case_sensitive_(case_sensitive) {
    tk_wtrace(2, u"udb_database::ctor(%s)", name_.c_str());
}

udb_database::~udb_database() {
    tk_trace(2, "udb_database::dtor");
}

bool udb_database::names_equal(const std::u16string& a, const std::u16string& b) const {
    return udb_name_equal(a, b, case_sensitive_);
}

std::u16string udb_database::listed_name(const std::u16string& name) const {
    for (const std::u16string& t : table_names_) {
        if (names_equal(name, t))
            return t;
    }
    return {};
}

bool udb_database::delete_tab(const std::u16string& name) {
    tk_wtrace(1, u"udb_database::delete_tab(%s)", name.c_str());
    auto it = std::find_if(table_names_.begin(), table_names_.end(),
                           [&](const std::u16string& t) { return names_equal(name, t); });
    if (it == table_names_.end())
        throw tk_mail_assertion("udb_db", 44);
    table_names_.erase(it);
    return true;
}

int32_t udb_database::query(const std::u16string& text) {
    tk_wtrace(1, u"udb_database::query(%s)", text.c_str());
    throw tk_mail_assertion("udb_db", 70);
}

void udb_database::hook(int32_t arg) {
    tk_trace(1, "udb_database::hook(%d)", arg);
}

void udb_database::create_relationships(const udb_relationships& relationships) {
    tk_trace(1, "udb_database::create_relationships(%d)", static_cast<int>(relationships.size()));
}

bool udb_database::is_table_exist(const std::u16string& name) {
    tk_wtrace(1, u"udb_database::is_table_exist(%s)", name.c_str());
    for (const std::u16string& t : table_names_) {
        tk_wtrace(1, u"Compare with %s", t.c_str());
        if (names_equal(name, t)) {
            tk_trace(1, "table exists");
            return true;
        }
    }
    tk_trace(1, "table not found");
    return false;
}

// ---- udb_recordset

udb_recordset::udb_recordset(const std::u16string& name, const std::u16string& text,
                             bool owns_schema)
    : text_(text), name_(name), schema_(owns_schema) {
    tk_wtrace(1, u"udb_recordset::ctor(%s)", name_.c_str());
}

udb_recordset::~udb_recordset() {
    tk_trace(1, "udb_recordset::dtor");
}

void udb_recordset::update(udb_record&) {
    tk_trace(1, "udb_recordset::update");
}

udb_record* udb_recordset::get_item() {
    tk_trace(1, "udb_recordset::get_item");
    return nullptr;
}

bool udb_recordset::is_eof() {
    tk_trace(1, "udb_recordset::is_eof");
    return true;
}

bool udb_recordset::is_query() const {
    tk_trace(1, "udb_recordset::is_query");
    return !text_.empty();
}

void udb_recordset::next() {
    tk_trace(1, "udb_recordset::next");
}

void udb_recordset::move_last() {
    tk_trace(1, "udb_recordset::move_last");
}

void udb_recordset::move_first() {
    tk_trace(1, "udb_recordset::move_first");
}

void udb_recordset::convert_record(udb_record& record) const {
    tk_trace(1, "udb_recordset::convert_record");
    if (record.size() > schema_.count())
        throw tk_mail_assertion("udb_db", __LINE__);
    for (size_t i = 0; i < record.size(); ++i) {
        udb_field& field = record[i];
        const t_ftd& ftd = schema_[i];
        tk_wtrace(1, u"from=%s, to=%s", field.name.c_str(), ftd.name.c_str());
        field.change_type(ftd.vartype);
    }
}

void udb_recordset::add_index(const udb_index& index) {
    tk_trace(1, "udb_recordset::add_index");
    if (!indexes_.is_acceptable_name(index.name))
        return;
    if (key_index_ == -1 && (index.b_primary || index.b_unique)) {
        key_index_ = static_cast<int32_t>(indexes_.size());
        tk_trace(1, "Store primary/unique key");
    }
    indexes_.push_back(index);
}
