#include "dao/dao_recs.h"

#include <cstdio>

#include "TK/tk_log.h"
#include "TK/tk_utf.h"
#include "UDB/udb_name.h"
#include "dao/dao_db.h"
#include "dao/dao_engi.h"
#include "dao/dao_rec.h"
#include "jet/jet_db.h"

namespace {

std::vector<std::u16string> names_of(const udb_schema& schema) {
    std::vector<std::u16string> out;
    out.reserve(schema.count());
    for (const t_ftd* f : schema) out.push_back(f->name);
    return out;
}

bool has_value(const ole_variant& v) {
    return !v.is_empty() && !v.is_null();
}

// The default value of a column as the driver keeps it (a text).
std::u16string default_text(const t_ftd& col) {
    const ole_variant& def = col.default_value;
    tk_wtrace(2, u"Putting default value: (%d, %s)", def.get_type(), def.to_wstring().c_str());
    if (dao_needs_adaptation(def.get_type()))
        return dao_get_valid_variant(def).to_wstring();
    if (col.vartype == VT_BSTR) {
        return dao_schema_initializer::quote_def_value(def.to_wstring());
    }
    if (col.vartype == VT_DATE) {
        tk_trace(2, "Got DATE def value");
        ole_variant d =
            def.get_type() == VT_DATE ? def : ole_variant::from_wstring(def.to_wstring(), VT_DATE);
        std::u16string text = d.get_type() == VT_DATE ? d.to_wstring() : std::u16string();
        tk_wtrace(2, u"After canonization: %s", text.c_str());
        if (text.empty())
            return text;
        return dao_schema_initializer::quote_def_value(text);
    }
    return def.to_wstring();
}

bool enclosed(const std::u16string& s, char16_t open, char16_t close) {
    return s.size() >= 2 && s.front() == open && s.back() == close;
}

bool equal_nocase_ascii(const std::u16string& a, const char* b) {
    size_t i = 0;
    for (; i < a.size() && b[i]; ++i) {
        char16_t c = a[i] >= u'A' && a[i] <= u'Z' ? static_cast<char16_t>(a[i] + 32) : a[i];
        if (c != static_cast<unsigned char>(b[i]))
            return false;
    }
    return i == a.size() && !b[i];
}

}  // namespace

// ---------------------------------------------------------------- columns

dao_schema_initializer::dao_schema_initializer(dao_tabledef& tabledef, const udb_schema& source)
    : tabledef_(tabledef), validator_(names_of(source)) {
    tk_trace(2, "dao_schema_initializer::ctor");
    for (const t_ftd* src : source) {
        std::u16string name = src->name;
        if (!validator_.is_acceptable(name))
            name = validator_.get_safe_name(name);
        columns_.add(new t_ftd(src->size, name, src->vartype, src->b_not_null, src->b_autoincrement,
                               src->default_value, src->reserved));
        if (name != src->name) {
            tk_wtrace(2, u"Store generated column name '%s'", name.c_str());
            validator_.add_existing_name(name);
            validator_.add_mapped_pair(src->name, name);
            map_.add(src->name, name);
        }
        names_.push_back(name);
    }
}

void dao_schema_initializer::initialize() {
    tk_trace(2, "dao_schema_initializer::initialize");
    uint64_t total = 0;
    tabledef_.fields.reserve(tabledef_.fields.size() + columns_.count());
    for (size_t i = 0; i < columns_.count(); ++i) {
        const t_ftd& col = columns_[i];
        total += col.size;
        tk_trace(1, "Field #%d, type=%d, size=%d, total size=%d", static_cast<int>(i), col.vartype,
                 static_cast<int>(col.size), static_cast<int>(total));
        jet_column f;
        f.name = col.name;
        f.type = dao_field::get_native_type(col.vartype, col.size);
        f.size = static_cast<int>(col.size);
        f.required = col.b_not_null;
        if (has_value(col.default_value))
            f.default_value = default_text(col);
        f.auto_increment = f.type == jet_long && col.b_autoincrement;
        tabledef_.fields.push_back(std::move(f));
    }
}

std::u16string dao_schema_initializer::quote_def_value(const std::u16string& text) {
    tk_wtrace(1, u"dao_schema_initializer::quote_def_value(%s)", text.c_str());
    const bool dq = text.find(u'"') != std::u16string::npos;
    const bool sq = text.find(u'\'') != std::u16string::npos;
    if (dq && !sq)
        return u"'" + text + u"'";
    if (dq && sq) {
        std::u16string t = text;
        for (char16_t& c : t) {
            if (c == u'"')
                c = u'\'';
        }
        return u"\"" + t + u"\"";
    }
    return u"\"" + text + u"\"";
}

// ---------------------------------------------------------------- indexes

dao_indexes_initializer::dao_indexes_initializer(dao_tabledef& tabledef,
                                                 dao_schema_initializer& columns,
                                                 const udb_indexes& indexes)
    : tabledef_(tabledef), columns_(columns), indexes_(indexes) {}

void dao_indexes_initializer::initialize() {
    std::vector<std::u16string> names;
    for (const udb_index& idx : indexes_) names.push_back(idx.name);
    dao_in_validator validator(names);
    for (const udb_index& idx : indexes_) {
        tk_wtrace(2, u"Process index %s", idx.name.c_str());
        std::u16string name = idx.name;
        if (!validator.is_acceptable(name)) {
            name = validator.get_safe_name(name);
            validator.add_existing_name(name);
            tk_wtrace(2, u"Store generated index name '%s'", name.c_str());
        }
        for (const std::u16string& field : idx.fields) {
            tk_wtrace(2, u"Process index field %s", field.c_str());
            const std::u16string dest = columns_.names_map().get_mapped_name(field, false);
            bool indexable = false;
            for (const jet_column& c : tabledef_.fields) {
                if (udb_name_equal(c.name, dest)) {
                    indexable = c.type != jet_memo && c.type != jet_long_binary;
                }
            }
            if (!indexable)
                tk_wtrace(2, u"Field '%s' cannot be part of index", field.c_str());
        }
        // A worksheet holds no index: nothing is created.
    }
}

// ---------------------------------------------------------------- recordset

dao_recordset::dao_recordset(const std::u16string& name, dao_database& db, jet_table& table,
                             bool read_only)
    : udb_recordset(name, std::u16string(), true), db_(db), table_(&table), read_only_(read_only) {
    tk_wtrace(2, u"dao_recordset::dao_recordset(%s)", name.c_str());
    init_schema();
    init_indexes();
    records_count_ = table.record_count();
    tk_trace(2, "Got records count: %d", static_cast<int>(records_count_));
}

dao_recordset::~dao_recordset() {
    tk_trace(2, "dao_recordset::dtor");
    try {
        close_continuation();
    } catch (const std::exception& e) {
        tk_trace(2, "Got exception: %s", e.what());
    }
}

void dao_recordset::init_schema() {
    tk_trace(2, "dao_recordset::init_schema( DAOTableDef * )");
    jet_columns_ = table_->columns();
    for (size_t i = 0; i < jet_columns_.size(); ++i) {
        const jet_column& c = jet_columns_[i];
        int32_t marker = 0;
        if (c.type == jet_date) {
            tk_trace(1, "Make date field more precise");
            marker = 1;
        }
        std::u16string def = c.default_value;
        tk_wtrace(2, u"Field #%d: size=%d, DAO type=%d, default value=%s", static_cast<int>(i),
                  c.size, c.type, def.c_str());
        bool eq_form = false;
        if (!def.empty() && def.front() == u'=') {
            tk_trace(1, "Got def.value of form ='...'");
            def.erase(0, 1);
            if (enclosed(def, u'"', u'"') || enclosed(def, u'\'', u'\''))
                def = def.substr(1, def.size() - 2);
            eq_form = true;
            tk_wtrace(1, u"After all processing: %s", def.c_str());
        }
        if (c.type == jet_date && !def.empty()) {
            tk_trace(1, "Got date/time def.value");
            if (enclosed(def, u'#', u'#'))
                def = def.substr(1, def.size() - 2);
            if (equal_nocase_ascii(def, "now()")) {
                tk_trace(1, "Got NOW()");
                marker = 9;
            }
        } else if (c.type == jet_text && !eq_form && !def.empty()) {
            tk_trace(1, "Got string def.value");
            if (enclosed(def, u'"', u'"'))
                def = def.substr(1, def.size() - 2);
        }
        if (c.type == jet_text && c.size != 0 && def.size() > static_cast<size_t>(c.size)) {
            tk_wtrace(3, u"Skip incorrect default value [%s] for field #%d", def.c_str(),
                      static_cast<int>(i));
            def.clear();
        }
        const uint16_t kind = dao_field::get_vartype(c.type);
        ole_variant value;
        if (!def.empty()) {
            try {
                value = ole_variant::from_wstring(def, kind);
            } catch (const ole_type_exception&) {
                value = ole_variant();
            }
        }
        schema_.add(new t_ftd(static_cast<uint32_t>(c.size), c.name, kind, c.required,
                              c.auto_increment, value, marker));
        kinds_.push_back(kind);
        required_.push_back(c.required ? 1 : 0);
    }
    values_.resize(jet_columns_.size());
    scratch_.resize(jet_columns_.size());
    tk_trace(2, "End of dao_recordset::init_schema");
}

void dao_recordset::init_indexes() {
    tk_trace(2, "dao_recordset::init_indexes");
}

void dao_recordset::append_record(udb_record& record) {
    tk_trace(1, "dao_recordset::append_record");
    tk_trace(1, "\tAdd blank DAO record");
    if (record.size() != schema_.count()) {
        throw tk_exception(
            "The structures of data source does not conform to the destination table.", 1);
    }
    ++attempts_;
    if (full_) {
        if (left_out_++ == 0)
            first_left_out_ = attempts_;
        return;
    }
    for (size_t i = 0; i < record.size(); ++i) {
        const udb_field& f = record[i];
        tk_wtrace(1, u"\tAdd field '%s', type=%08X (value=%s)", schema_[i].name.c_str(),
                  f.get_type(), f.to_wstring().c_str());
        dao_to_jet_value(f, kinds_[i], required_[i] != 0, values_[i], scratch_[i]);
    }
    append_row();
}

void dao_recordset::append_row() {
    for (;;) {
        try {
            table_->append(values_.data(), values_.size());
            ++appended_;
            tk_trace(1, "Commit new record into database");
            return;
        } catch (const jet_error& e) {
            const int f = e.field();
            const bool too_large =
                (e.number() & 0xFFFF) == 3047 || std::string(e.what()) == "Record is too large.";
            if (too_large && f >= 0 && static_cast<size_t>(f) < values_.size() &&
                values_[f].kind != jet_value::kind_t::null) {
                tk_trace(2, "Record is too large.");
                values_[f] = jet_value();
                continue;
            }
            if (e.number() != jet_errno::sheet_full)
                throw dao_exception(e);
            if (!dao_engine::instance().split_data()) {
                tk_trace(2, "Worksheet is full: records are left out");
                full_ = true;
                left_out_ = 1;
                first_left_out_ = attempts_;
                return;
            }
            next_continuation();  // on failure: full_, and the error raised once
        }
    }
}

void dao_recordset::close_continuation() {
    if (!cont_db_)
        return;
    try {
        cont_db_->close();
    } catch (const jet_error& e) {
        throw dao_exception(e);
    }
    cont_db_.reset();
}

void dao_recordset::next_continuation() {
    try {
        table_ = nullptr;
        close_continuation();
        ++cont_n_;
        const std::u16string path = dao_continuation_name(db_.name(), cont_n_);
        tk_wtrace(2, u"Continuing in %s", path.c_str());
        try {
            cont_db_ = jet_database::open(tk::utf16_to_utf8(path), db_.connect(),
                                          (db_.mode() & dao_mode_exclusive) != 0, false);
            table_ = &cont_db_->create_table(name_, jet_columns_);
        } catch (const jet_error& e) {
            throw dao_exception(e);
        }
    } catch (const dao_exception&) {
        full_ = true;
        left_out_ = 1;
        first_left_out_ = attempts_;
        throw;
    }
}

void dao_recordset::finish() {
    tk_trace(2, "dao_recordset::finish");
    close_continuation();
    if (left_out_ == 0)
        return;
    char text[400];
    if (dao_engine::instance().split_data()) {
        std::snprintf(text, sizeof text,
                      "%u records from record #%u on were not written: the continuation file "
                      "could not be written.",
                      left_out_, first_left_out_);
    } else {
        std::snprintf(text, sizeof text,
                      "The worksheet is full: %u records from record #%u on were not written. "
                      "Select \"Split data into multiple spreadsheets if necessary\" to write "
                      "them into further files.",
                      left_out_, first_left_out_);
    }
    throw dao_exception(jet_errno::sheet_full, text);
}
