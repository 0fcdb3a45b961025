#include "dao/dao_engi.h"

#include <cstdio>
#include <memory>

#include "TK/tk_log.h"
#include "TK/tk_publ.h"
#include "TK/tk_utf.h"
#include "dao/dao_db.h"
#include "jet/jet_db.h"

namespace {

// The versions the engine knows, by key. The built-in driver is the only
// one, so the table has one entry.
struct dao_version {
    const char* name;
};
constexpr dao_version k_versions[] = {
    {"DAO 3.6"},
};
constexpr int k_version_count = sizeof k_versions / sizeof k_versions[0];

}  // namespace

// ---------------------------------------------------------------- exception

dao_exception::dao_exception(const jet_error& e) : tk_exception(0) {
    tk_trace(2, "dao_exception::dao_exception");
    if (!dao_engine::exists())
        throw tk_mail_assertion("dao_engi", __LINE__);
    set_message(e.what());
    tk_trace(2, "Got error: %s", e.what());
    set_number(e.number());
}

dao_exception::dao_exception(long number, const std::string& text) : tk_exception(text, 0) {
    tk_trace(2, "dao_exception::dao_exception");
    tk_trace(2, "Got error: %s", text.c_str());
    set_number(number);
}

void dao_exception::set_number(long number) {
    number_ = number;
    has_number_ = true;
    set_system_error(0x10000u + static_cast<uint32_t>(number & 0xFFFF));
    tk_trace(2, "Got error code: %08X", static_cast<unsigned>(number));
}

bool dao_is_sheet_full(const tk_exception& e) {
    const auto* d = dynamic_cast<const dao_exception*>(&e);
    return d && d->has_number() && d->number() == dao_err_sheet_full;
}

bool dao_is_record_refused(const tk_exception& e) {
    return dynamic_cast<const dao_exception*>(&e) && !dao_is_sheet_full(e);
}

// ---------------------------------------------------------------- generator

dao_generator::~dao_generator() {
    if (path_.empty())
        return;
    const std::string p = tk::utf16_to_utf8(path_);
    std::remove(p.c_str());
    std::string lock = p;
    const size_t dot = lock.find_last_of('.');
    const size_t slash = lock.find_last_of('/');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash))
        lock.resize(dot);
    std::remove((lock + ".ldb").c_str());
}

// ---------------------------------------------------------------- engine

dao_engine::dao_engine(bool com_initialized) : com_initialized_(com_initialized) {
    tk_trace(2, "dao_engine::ctor");
}

dao_engine::~dao_engine() {
    tk_trace(2, "dao_engine::dtor");
    uninitialize();
}

void dao_engine::uninitialize() {
    if (version_ == kNone)
        return;
    tk_trace(2, "dao_engine::uninitialize");
    version_ = kNone;
}

bool dao_engine::set_version_if(int key) {
    tk_trace(2, "dao_engine::set_version_if(%d)", key);
    uninitialize();
    if (key < 0 || key >= k_version_count)
        throw tk_mail_assertion("dao_engi", __LINE__);
    tk_trace(2, "Loaded %s", k_versions[key].name);
    version_ = key;
    return true;
}

void dao_engine::require_loaded(int line) const {
    if (version_ == kNone)
        throw tk_mail_assertion("dao_engi", line);
}

dao_database* dao_engine::open(const std::u16string& file_name, tk::file_target* file,
                               const std::u16string& connect, bool exclusive, bool read_only,
                               int32_t mode) {
    std::unique_ptr<jet_database> db;
    try {
        db = file ? jet_database::open(*file, connect, exclusive, read_only)
                  : jet_database::open(tk::utf16_to_utf8(file_name), connect, exclusive, read_only);
    } catch (const jet_error& e) {
        throw dao_exception(e);
    }
    return new dao_database(file_name, std::move(db), mode);
}

dao_database* dao_engine::open_dao_src(const std::u16string& file_name,
                                       const std::u16string& connect, int32_t mode) {
    tk_wtrace(2, u"dao_engine::open_dao_src(%s, %s)", file_name.c_str(), connect.c_str());
    require_loaded(__LINE__);
    return open(file_name, nullptr, connect, (mode & dao_mode_exclusive) != 0,
                (mode & dao_mode_read_only) != 0, mode | dao_mode_no_relations);
}

dao_database* dao_engine::open_dao_src(tk::file_target& file, const std::u16string& connect,
                                       int32_t mode) {
    const std::u16string name = tk::utf8_to_utf16(file.name());
    tk_wtrace(2, u"dao_engine::open_dao_src(%s, %s)", name.c_str(), connect.c_str());
    require_loaded(__LINE__);
    return open(name, &file, connect, (mode & dao_mode_exclusive) != 0,
                (mode & dao_mode_read_only) != 0, mode | dao_mode_no_relations);
}

dao_database* dao_engine::create_dao_src(tk::file_target& file, const std::u16string& connect) {
    const std::u16string name = tk::utf8_to_utf16(file.name());
    tk_wtrace(2, u"dao_engine::create_dao_src(%s, %s)", name.c_str(), connect.c_str());
    require_loaded(__LINE__);
    return open(name, &file, connect, false, false, 0x72);
}

dao_database* dao_engine::create_dao_src(const std::u16string& file_name,
                                         const std::u16string& connect) {
    tk_wtrace(2, u"dao_engine::create_dao_src(%s, %s)", file_name.c_str(), connect.c_str());
    require_loaded(__LINE__);
    return open(file_name, nullptr, connect, false, false, 0x72);
}

dao_database* dao_engine::create_db(const std::u16string& file_name) {
    tk_wtrace(2, u"dao_engine::create_db (%s)", file_name.c_str());
    tk_wtrace(2, u"Creating MS Access database '%s'", file_name.c_str());
    require_loaded(__LINE__);
    throw dao_exception(3170, "Could not find installable ISAM.");
}

dao_database* dao_engine::open_db(const std::u16string& file_name, const std::u16string&,
                                  int32_t mode, const std::u16string&) {
    tk_wtrace(2, u"dao_engine::open_db(%s, mode=%d)", file_name.c_str(), mode);
    require_loaded(__LINE__);
    throw dao_exception(3170, "Could not find installable ISAM.");
}
