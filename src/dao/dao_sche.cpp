#include "dao/dao_sche.h"

#include <charconv>
#include <climits>

#include "TK/tk_log.h"
#include "TK/tk_utf.h"
#include "UDB/udb_name.h"
#include "dao/dao_rec.h"

namespace {

std::vector<std::u16string> names_of(const udb_schema& schema) {
    std::vector<std::u16string> out;
    out.reserve(schema.count());
    for (const t_ftd* f : schema) out.push_back(f->name);
    return out;
}

bool contains_name(const std::vector<std::u16string>& names, const std::u16string& name) {
    for (const std::u16string& n : names) {
        if (udb_name_equal(n, name))
            return true;
    }
    return false;
}

// A default worth setting: a value whose text is not empty.
bool has_default(const ole_variant& v) {
    if (v.is_empty() || v.is_null())
        return false;
    if (v.get_type() == VT_BSTR)
        return !v.wstr_view().empty();
    return true;
}

// A number as the driver keeps it in a default text ("%.15g", with a point
// under every process locale).
std::u16string number_text(double d) {
    char buf[32];
    const char* e = std::to_chars(buf, buf + sizeof buf, d, std::chars_format::general, 15).ptr;
    return tk::ascii_to_utf16(std::string_view(buf, static_cast<size_t>(e - buf)));
}

// The default text of a column as the driver keeps it; empty to skip it.
std::u16string default_text(const t_ftd& col) {
    const ole_variant& def = col.default_value;
    tk_wtrace(2, u"Putting default value: (%d, %s)", def.get_type(), def.to_wstring().c_str());
    if (dao_needs_adaptation(def.get_type()))
        return number_text(dao_get_valid_variant(def).to_double());
    if (col.vartype == VT_BSTR)
        return dao_schema_initializer::quote_def_value(def.to_wstring());
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

}  // namespace

// ---------------------------------------------------------------- columns

dao_schema_initializer::dao_schema_initializer(dao_tabledef& tabledef, const udb_schema& source)
    : tabledef_(tabledef), validator_(names_of(source)) {
    tk_trace(2, "dao_schema_initializer::ctor");
    names_.reserve(source.count());
    for (const t_ftd* src : source) {
        std::u16string name = src->name;
        // Two source columns may differ in case only; a worksheet (like the
        // driver) takes each column name once.
        if (!validator_.is_acceptable(name) || contains_name(names_, name))
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
        f.size = col.size > INT_MAX ? INT_MAX : static_cast<int>(col.size);
        f.required = col.b_not_null;
        if (has_default(col.default_value))
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
    if (indexes_.empty())
        return;
    std::vector<std::u16string> names;
    for (const udb_index& idx : indexes_) names.push_back(idx.name);
    dao_in_validator validator(names);
    for (const udb_index& idx : indexes_) {
        tk_wtrace(2, u"Process index %s", idx.name.c_str());
        if (!validator.is_acceptable(idx.name)) {
            const std::u16string name = validator.get_safe_name(idx.name);
            validator.add_existing_name(name);
            tk_wtrace(2, u"Store generated index name '%s'", name.c_str());
        }
        for (const std::u16string& field : idx.fields) {
            tk_wtrace(2, u"Process index field %s", field.c_str());
            const std::u16string dest = columns_.names_map().get_mapped_name(field, false);
            bool indexable = false;
            for (const jet_column& c : tabledef_.fields) {
                if (udb_name_equal(c.name, dest))
                    indexable = c.type != jet_memo && c.type != jet_long_binary;
            }
            if (!indexable)
                tk_wtrace(2, u"Field '%s' cannot be part of index", field.c_str());
        }
    }
}
