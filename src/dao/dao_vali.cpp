#include "dao/dao_vali.h"

#include "TK/tk_log.h"
#include "TK/tk_utf.h"

namespace {

// `name` without `c` at either end (trailing ones removed first).
std::u16string strip(const std::u16string& name, char16_t c) {
    size_t e = name.size();
    while (e > 0 && name[e - 1] == c) --e;
    size_t b = 0;
    while (b < e && name[b] == c) ++b;
    return name.substr(b, e - b);
}

}  // namespace

// ---------------------------------------------------------------- sheets

xls_tn_validator::xls_tn_validator(const std::vector<std::u16string>& names1,
                                   const std::vector<std::u16string>& names2,
                                   int32_t format_version)
    : udb_validator(31), format_version_(format_version) {
    tk_trace(1, "xls_tn_validator::ctor");
    if (format_version_ == 0)
        cp_ = std::make_unique<tk_codepage>(tk_ansi_codepage());
    illegal_chars_ = {u'\\', u'?', u'*', u':', u'$', u'[', u']', u'/'};
    for (const auto& n : names1) add_existing_name(n);
    for (const auto& n : names2) add_existing_name(n);
}

bool xls_tn_validator::is_acceptable(const std::u16string& name) {
    if (name.empty()) {
        tk_trace(1, "The name is empty");
        return false;
    }
    if (name.front() == u'\'' || name.back() == u'\'') {
        tk_trace(1, "The name begins or ends with an apostrophe");
        return false;
    }
    if (cp_ && cp_->unmappable(name) != 0) {
        tk_wtrace(1, u"The name contains characters code page %d cannot hold", cp_->number());
        return false;
    }
    return udb_validator::is_acceptable(name);
}

std::u16string xls_tn_validator::get_safe_name(const std::u16string& name) {
    std::u16string base = strip(name, u'\'');
    if (cp_)
        base = cp_->decode(cp_->encode(base, '_'));
    return udb_validator::get_safe_name(base);
}

// ---------------------------------------------------------------- columns, indexes

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
