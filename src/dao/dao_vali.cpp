#include "dao/dao_vali.h"

#include "TK/tk_log.h"

namespace {

// Removes `c` from both ends (trailing first, then leading).
std::u16string strip(const std::u16string& name, char16_t c) {
    size_t e = name.size();
    while (e > 0 && name[e - 1] == c) --e;
    size_t b = 0;
    while (b < e && name[b] == c) ++b;
    return name.substr(b, e - b);
}

}  // namespace

xls_tn_validator::xls_tn_validator(const std::vector<std::u16string>& names1,
                                   const std::vector<std::u16string>& names2)
    : udb_validator(31) {
    tk_trace(1, "xls_tn_validator::ctor");
    illegal_chars_ = {u'\\', u'?', u'*', u':', u'$', u'[', u']', u'/'};
    for (const auto& n : names1) add_existing_name(n);
    for (const auto& n : names2) add_existing_name(n);
}

bool xls_tn_validator::is_acceptable(const std::u16string& name) {
    if (name.empty() || name.front() == u'\'' || name.back() == u'\'')
        return false;
    return udb_validator::is_acceptable(name);
}

std::u16string xls_tn_validator::get_safe_name(const std::u16string& name) {
    return udb_validator::get_safe_name(strip(name, u'\''));
}

dao_validator::dao_validator() : udb_validator(0) {
    tk_trace(1, "dao_validator::ctor");
    illegal_chars_ = {u'`', u'!', u'[', u']', u'.'};
}

bool dao_validator::is_acceptable(const std::u16string& name) {
    tk_wtrace(2, u"dao_validator::is_acceptable(%s)", name.c_str());
    if (name.empty() || name.front() == u' ' || name.back() == u' ')
        return false;
    return udb_validator::is_acceptable(name);
}

std::u16string dao_validator::get_safe_name(const std::u16string& name) {
    tk_wtrace(2, u"dao_validator::get_safe_name(%s)", name.c_str());
    std::u16string trimmed = strip(name, u' ');
    if (trimmed.empty() && !name.empty())
        tk_trace(2, "Special processing for all-spaces-string");
    return udb_validator::get_safe_name(trimmed);
}

dao_fn_validator::dao_fn_validator(const std::vector<std::u16string>& column_names) {
    tk_trace(1, "dao_fn_validator::ctor");
    for (const auto& n : column_names) add_existing_name(n);
}

dao_in_validator::dao_in_validator(const std::vector<std::u16string>& index_names) {
    tk_trace(1, "dao_in_validator::ctor");
    for (const auto& n : index_names) add_existing_name(n);
}
