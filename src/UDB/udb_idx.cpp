#include "UDB/udb_idx.h"

#include <algorithm>
#include <utility>

#include "TK/tk_excep.h"
#include "TK/tk_log.h"
#include "UDB/udb_name.h"

bool udb_index::starts_with_fields(const udb_field_names& wanted) const {
    tk_wtrace(1, u"udb_index::starts_with_fields(%s)", name.c_str());
    if (fields.size() < wanted.size())
        return false;
    for (size_t i = 0; i < wanted.size(); ++i) {
        if (!udb_name_equal(wanted[i], fields[i])) {
            tk_wtrace(1, u"Field '%s' not found", wanted[i].c_str());
            return false;
        }
    }
    tk_trace(1, "starts_with_fields returns true");
    return true;
}

bool udb_index::consists_of_fields(const udb_field_names& wanted) const {
    tk_wtrace(1, u"udb_index::consists_of_fields(%s)", name.c_str());
    if (fields.size() != wanted.size())
        return false;
    for (const std::u16string& f : wanted) {
        if (std::find(fields.begin(), fields.end(), f) == fields.end()) {
            tk_wtrace(1, u"Field '%s' not found", f.c_str());
            return false;
        }
    }
    tk_trace(1, "consists_of_fields returns true");
    return true;
}

const udb_index* udb_indexes::find(const std::u16string& name) const {
    for (const udb_index& idx : items_) {
        if (udb_name_equal(name, idx.name))
            return &idx;
    }
    return nullptr;
}

bool udb_indexes::is_acceptable_name(const std::u16string& name) const {
    tk_wtrace(1, u"udb_indexes::is_acceptable_name(%s)", name.c_str());
    return find(name) == nullptr;
}

const udb_index& udb_indexes::get_index(const std::u16string& name) const {
    tk_wtrace(1, u"udb_indexes::get_index(%s)", name.c_str());
    const udb_index* idx = find(name);
    if (!idx)
        throw tk_mail_assertion("..\\UDB/udb_idx", 134);
    return *idx;
}

udb_index& udb_indexes::get_index(const std::u16string& name) {
    return const_cast<udb_index&>(std::as_const(*this).get_index(name));
}

bool udb_indexes::has_index_on_fields(const udb_field_names& fields, bool unique_only) const {
    tk_trace(1, "udb_indexes::has_index_on_fields(%d)", unique_only ? 1 : 0);
    for (const udb_index& idx : items_) {
        if (idx.starts_with_fields(fields))
            return unique_only ? idx.b_unique : true;
    }
    return false;
}

bool udb_indexes::is_idx_field(const std::u16string& field, bool primary_only) const {
    tk_wtrace(1, u"udb_indexes::is_idx_field(%s)", field.c_str());
    for (const udb_index& idx : items_) {
        if (primary_only && !idx.b_primary)
            continue;
        if (std::find(idx.fields.begin(), idx.fields.end(), field) != idx.fields.end()) {
            tk_trace(1, "index field");
            return true;
        }
    }
    tk_trace(1, "non-index field");
    return false;
}
