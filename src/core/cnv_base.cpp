#include "core/cnv_base.h"

#include <sys/stat.h>

#include "TK/tk_excep.h"
#include "TK/tk_fname.h"
#include "TK/tk_log.h"
#include "TK/tk_utf.h"
#include "UDB/udb_prof.h"

namespace {
using namespace tsl_keys;

// "only definitions=yes" sets the flag, "=0" clears it, "=" leaves it.
void read_flag(const udb_profile& p, const char16_t* key, bool& flag) {
    const std::u16string& v = p.get(kGeneric, key);
    if (!v.empty())
        flag = v != u"0";
}
}  // namespace

void tk_converter::set_logfile(const std::string& name) {
    tk_trace(1, "tk_convertor::set_logfile(%s)", name.c_str());
    if (!name.empty()) {
        if (tk_is_file_exist(name.c_str(), 0) && !tk_is_file_exist(name.c_str(), 1)) {
            throw tk_exception("Logfile name specifies an existing read-only file.", 1);
        }
        if (!tk_is_path_exist(tk_fname(name.c_str()).folder().c_str())) {
            throw tk_exception(
                "Logfile path does not exist.\nPlease verify the correct path was given.", 1);
        }
        struct stat st {};
        if (::stat(name.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
            throw tk_exception("Logfile name specifies a folder.\nPlease give the name of a file.",
                               1);
        }
    }
    logfile_ = name;
    if (logfile_.empty())
        return;
    if (tk_log* log = tk_log::instance_ptr()) {
        log->set_path(logfile_.c_str());
        log->set_enabled(true);
    }
}

std::u16string udb_converter::current_table() const {
    std::lock_guard<std::mutex> lock(current_mutex_);
    return current_table_;
}

void udb_converter::set_current_table(const std::u16string& name) {
    std::lock_guard<std::mutex> lock(current_mutex_);
    current_table_ = name;
}

bool udb_converter::load_profile(const udb_profile& profile) {
    tk_wtrace(1, u"udb_converter::load_profile");
    if (const auto* tables = profile.section(kSelected)) {
        for (const auto& [name, query] : *tables) {
            selected_items.emplace(name, query);
            if (query.empty()) {
                tk_wtrace(1, u"Push back table '%s'", name.c_str());
                selected_tables.push_back(name);
            }
        }
    }
    if (const auto* queries = profile.section(kQueries)) {
        for (const auto& [name, query] : *queries) available_queries.emplace(name, query);
    }
    src = profile.get(kGeneric, u"src");
    dest = profile.get(kGeneric, u"dest");
    set_logfile(tk::utf16_to_utf8(profile.get(kGeneric, u"logfile")));
    read_flag(profile, u"only definitions", only_definitions);
    read_flag(profile, u"skip indexes", skip_indexes);
    const std::u16string& m = profile.get(kGeneric, u"mode");
    if (m.size() == 1)
        mode = m[0] - u'0';
    return true;
}

bool udb_converter::store_profile(udb_profile& profile) const {
    tk_wtrace(2, u"udb_converter::store_profile");
    for (const auto& [name, query] : available_queries) {
        tk_wtrace(1, u"Available Query: (%s,%s)", name.c_str(), query.c_str());
        profile.set(kQueries, name, udb_sql_for_one_line(query));
    }
    for (const auto& [name, query] : selected_items) {
        tk_wtrace(1, u"Selected Query: (%s,%s)", name.c_str(), query.c_str());
        profile.set(kSelected, name, udb_sql_for_one_line(query));
    }
    profile.set(kGeneric, u"src", src);
    profile.set(kGeneric, u"dest", dest);
    profile.set(kGeneric, u"logfile", tk::utf8_to_utf16(logfile()));
    profile.set(kGeneric, u"skip indexes", skip_indexes ? u"1" : u"0");
    profile.set(kGeneric, u"only definitions", only_definitions ? u"1" : u"0");
    profile.set(kGeneric, u"mode", std::u16string(1, static_cast<char16_t>(u'0' + mode)));
    return true;
}
