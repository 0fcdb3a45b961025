#include "dao/dao_recs.h"

#include <cstring>

#include "TK/tk_log.h"
#include "dao/dao_engi.h"
#include "dao/dao_rec.h"
#include "jet/jet_db.h"

namespace {

bool enclosed(const std::u16string& s, char16_t open, char16_t close) {
    return s.size() >= 2 && s.front() == open && s.back() == close;
}

bool equal_nocase_ascii(const std::u16string& a, const char* b) {
    const size_t n = std::strlen(b);
    if (a.size() != n)
        return false;
    for (size_t i = 0; i < n; ++i) {
        const char16_t c = a[i] >= u'A' && a[i] <= u'Z' ? static_cast<char16_t>(a[i] + 32) : a[i];
        if (c != static_cast<unsigned char>(b[i]))
            return false;
    }
    return true;
}

// The default text of a column read back from the driver, cleaned of the
// quoting the driver keeps; `marker` gets 9 for a NOW() date default.
std::u16string clean_default(const jet_column& c, size_t i, int32_t& marker) {
    std::u16string def = c.default_value;
    tk_wtrace(2, u"Field #%d: size=%d, DAO type=%d, default value=%s", static_cast<int>(i), c.size,
              c.type, def.c_str());
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
    return def;
}

// A new value of `kind` from `text`; VT_EMPTY when the text does not read.
ole_variant from_text(const std::u16string& text, uint16_t kind) {
    try {
        return ole_variant::from_wstring(text, kind);
    } catch (const tk_exception&) {
        return ole_variant();
    }
}

}  // namespace

dao_recordset::dao_recordset(const std::u16string& name, jet_table& table, bool read_only)
    : udb_recordset(name, std::u16string(), true), table_(table), read_only_(read_only) {
    tk_wtrace(2, u"dao_recordset::dao_recordset(%s)", name.c_str());
    init_schema();
    init_indexes();
    records_count_ = table_.record_count();
    tk_trace(2, "Got records count: %d", static_cast<int>(records_count_));
}

dao_recordset::~dao_recordset() {
    tk_trace(2, "dao_recordset::dtor");
}

uint32_t dao_recordset::capacity() const {
    return table_.capacity();
}

uint32_t dao_recordset::record_count() const {
    return table_.record_count();
}

void dao_recordset::init_schema() {
    tk_trace(2, "dao_recordset::init_schema( DAOTableDef * )");
    const std::vector<jet_column>& columns = table_.columns();
    for (size_t i = 0; i < columns.size(); ++i) {
        const jet_column& c = columns[i];
        int32_t marker = 0;
        if (c.type == jet_date) {
            tk_trace(1, "Make date field more precise");
            marker = 1;
        }
        const std::u16string def = clean_default(c, i, marker);
        const uint16_t kind = dao_field::get_vartype(c.type);
        ole_variant value = def.empty() ? ole_variant() : from_text(def, kind);
        schema_.add(new t_ftd(static_cast<uint32_t>(c.size), c.name, kind, c.required,
                              c.auto_increment, value, marker));
        required_.push_back(c.required ? 1 : 0);
        null_values_.push_back(c.required ? from_text(std::u16string(), kind) : ole_variant());
    }
    values_.resize(columns.size());
    scratch_.resize(columns.size());
    tk_trace(2, "End of dao_recordset::init_schema");
}

void dao_recordset::init_indexes() {
    tk_trace(2, "dao_recordset::init_indexes");
}

void dao_recordset::append_record(udb_record& record) {
    tk_trace(1, "dao_recordset::append_record");
    if (read_only_)
        throw tk_mail_assertion("dao_recs", __LINE__);
    if (table_.columns().empty()) {
        // A worksheet of the opened file: the driver appends only to
        // worksheets created in this session (3251).
        try {
            table_.append(nullptr, 0);
        } catch (const jet_error& e) {
            throw dao_exception(e);
        }
    }
    if (table_.record_count() >= table_.capacity())
        throw dao_exception(jet_error::make(jet_errno::sheet_full));
    tk_trace(1, "\tAdd blank DAO record");
    if (record.size() != schema_.count()) {
        throw tk_exception(
            "The structures of data source does not conform to the destination table.", 1);
    }
    // Each value in its column's kind, but a value for a text cell.
    for (size_t i = 0; i < record.size(); ++i) {
        udb_field& f = record[i];
        if (!f.b_text_cell)
            f.change_type(schema_[i].vartype);
    }

    for (size_t i = 0; i < record.size(); ++i) {
        const udb_field& f = record[i];
        tk_wtrace(1, u"\tAdd field '%s', type=%08X (value=%s)", schema_[i].name.c_str(),
                  f.get_type(), f.to_wstring().c_str());
        const ole_variant* v = &f;
        if (required_[i] && (f.is_empty() || f.is_null())) {
            tk_trace(1, "Got NULL value for not null field");
            v = &null_values_[i];
        }
        if (f.b_text_cell && f.get_type() == VT_BSTR)
            values_[i] = jet_value::of_label(f.wstr_view());
        else
            dao_to_jet_value(*v, values_[i], scratch_[i]);
    }

    // The driver checks the whole row before it writes a cell: a cell that
    // would be too large is left empty and the row tried again.
    for (;;) {
        try {
            table_.append(values_.data(), values_.size());
            break;
        } catch (const jet_error& e) {
            const int f = e.field();
            const bool too_large = (e.number() & 0xFFFF) == dao_err_record_too_large ||
                                   std::strcmp(e.what(), "Record is too large.") == 0;
            if (!too_large || f < 0 || static_cast<size_t>(f) >= values_.size() ||
                values_[f].kind == jet_value::kind_t::null)
                throw dao_exception(e);
            tk_trace(2, "Record is too large.");
            values_[f] = jet_value();
        }
    }
    ++appended_;
    records_count_ = table_.record_count();
    tk_trace(1, "Commit new record into database");
}

size_t dao_recordset::replaced_characters() const {
    return table_.replaced_characters();
}
