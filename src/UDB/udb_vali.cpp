#include "UDB/udb_vali.h"

#include <algorithm>
#include <cstdio>

#include "TK/tk_excep.h"
#include "TK/tk_log.h"
#include "UDB/udb_name.h"

namespace {

// Cuts `s` to at most `n` UTF-16 units without leaving the high half of a
// surrogate pair at its end (a lone half would reach the workbook as a
// malformed name).
void cut_to(std::u16string& s, int32_t n) {
    size_t len = n > 0 ? static_cast<size_t>(n) : 0;
    if (s.size() <= len)
        return;
    s.resize(len);
    if (!s.empty() && s.back() >= 0xD800 && s.back() <= 0xDBFF)
        s.pop_back();
}

// Number of generated candidates: "%s%05d" for 0 to 99999.
constexpr int kSuffixCount = 100000;

}  // namespace

udb_validator::udb_validator(int32_t max_len) : max_len_(max_len) {
    tk_trace(2, "udb_validator::ctor");
}

bool udb_validator::is_acceptable(const std::u16string& name) {
    tk_wtrace(1, u"udb_validator::is_acceptable(%s)", name.c_str());
    if (max_len_ != 0 && name.size() > static_cast<size_t>(max_len_)) {
        tk_trace(1, "The name is too long");
        return false;
    }
    for (const std::u16string& r : restricted_names_) {
        if (udb_name_equal(name, r)) {
            tk_trace(1, "The name is restricted");
            return false;
        }
    }
    for (char16_t c : illegal_chars_) {
        if (name.find(c) != std::u16string::npos) {
            tk_wtrace(1, u"The name contains illegal: %c", static_cast<int>(c));
            return false;
        }
    }
    return true;
}

bool udb_validator::is_duplicated(const std::u16string& name) {
    tk_wtrace(1, u"udb_validator::is_duplicated(%s)", name.c_str());
    for (const std::u16string& e : existing_names_) {
        tk_wtrace(1, u"Processing %s", e.c_str());
        if (udb_name_equal(name, e))
            return true;
    }
    return false;
}

std::u16string udb_validator::get_safe_name(const std::u16string& name) {
    tk_wtrace(1, u"udb_validator::get_safe_name(%s)", name.c_str());
    std::u16string safe = name;
    if (max_len_ != 0 && safe.size() > static_cast<size_t>(max_len_))
        cut_to(safe, max_len_ - 1);
    for (char16_t c : illegal_chars_) std::replace(safe.begin(), safe.end(), c, u'_');
    if (is_acceptable(safe) && !is_duplicated(safe))
        return safe;

    // Leave room for the five-digit counter.
    if (max_len_ != 0 && static_cast<int64_t>(safe.size()) > int64_t{max_len_} - 5) {
        cut_to(safe, max_len_ - 6);
    }
    const size_t base = safe.size();
    safe.resize(base + 5);
    for (int i = 0; i < kSuffixCount; ++i) {
        char digits[8];
        std::snprintf(digits, sizeof digits, "%05d", i);
        for (size_t k = 0; k < 5; ++k) safe[base + k] = static_cast<char16_t>(digits[k]);
        if (is_acceptable(safe) && !is_duplicated(safe))
            return safe;
    }
    throw tk_mail_assertion("udb_vali", 54);
}

void udb_validator::add_existing_name(const std::u16string& name) {
    tk_wtrace(1, u"udb_validator::add_existing_name(%s)", name.c_str());
    existing_names_.push_back(name);
}

void udb_validator::add_mapped_pair(const std::u16string& source, const std::u16string& safe) {
    tk_wtrace(1, u"udb_validator::add_mapped_pair(%s,%s)", source.c_str(), safe.c_str());
    mapped_pairs_.emplace(source, safe);
}

void t_names_map::add(const std::u16string& source, const std::u16string& destination) {
    tk_wtrace(1, u"t_names_map::add(%s,%s)", source.c_str(), destination.c_str());
    pairs_.emplace(source, destination);
}

std::u16string t_names_map::get_mapped_name(const std::u16string& name, bool case_sensitive) const {
    for (const auto& [source, destination] : pairs_) {
        if (udb_name_equal(name, source, case_sensitive)) {
            tk_wtrace(1, u"Got mapped name: %s", destination.c_str());
            return destination;
        }
    }
    return name;
}

std::u16string udb_names_map::get_tn_mapped_name(const std::u16string& name,
                                                 bool case_sensitive) const {
    tk_wtrace(1, u"udb_names_map::get_tn_mapped_name(%s)", name.c_str());
    for (const auto& [source, destination] : tn_map_.pairs()) {
        tk_wtrace(1, u"Comparing with (%s,%s)", source.c_str(), destination.c_str());
        if (udb_name_equal(name, source, case_sensitive)) {
            tk_wtrace(1, u"Got mapped name: %s", destination.c_str());
            return destination;
        }
    }
    return name;
}

void udb_names_map::add_fn_map(const std::u16string& table, const t_names_map& field_map) {
    tk_wtrace(2, u"udb_names_map::add_fn_map(%s)", table.c_str());
    fn_maps_.emplace(table, field_map);
}

std::u16string udb_names_map::get_fn_mapped_name(const std::u16string& table,
                                                 const std::u16string& field,
                                                 bool case_sensitive) const {
    tk_wtrace(1, u"udb_names_map::get_fn_mapped_name(%s,%s)", table.c_str(), field.c_str());
    auto it = fn_maps_.find(table);
    if (it == fn_maps_.end()) {
        tk_wtrace(1, u"Table '%s' not found", table.c_str());
        return field;
    }
    return it->second.get_mapped_name(field, case_sensitive);
}
