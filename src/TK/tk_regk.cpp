#include "TK/tk_regk.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "TK/tk_excep.h"
#include "TK/tk_log.h"
#include "TK/tk_regf.h"
#include "TK/tk_utf.h"
#include "TK/tk_utils.h"

struct tk_reg_handle {
    bool root = false;     // the predefined root: its folder is looked up on use
    std::string folder;    // the key's folder (not for the root)
    std::string key_name;  // "HKEY_CURRENT_USER\Software\..." for the file header
};

namespace {

const tk_reg_handle g_current_user{true, {}, "HKEY_CURRENT_USER"};
const char kSettings[] = "/settings";

// The per-user configuration folder, or empty when there is none.
std::string config_home() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && xdg[0] == '/')
        return xdg;
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/')
        return std::string(home) + "/.config";
    struct passwd pw {};
    struct passwd* found = nullptr;
    std::vector<char> buf(16384);
    if (getpwuid_r(getuid(), &pw, buf.data(), buf.size(), &found) == 0 && found && found->pw_dir &&
        found->pw_dir[0] == '/')
        return std::string(found->pw_dir) + "/.config";
    return {};
}

// Makes `path` and every missing folder above it (mode 0700).
long make_folders(const std::string& path) {
    for (size_t i = 1; i <= path.size(); ++i) {
        if (i < path.size() && path[i] != '/')
            continue;
        std::string prefix = path.substr(0, i);
        if (::mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST) {
            return tk::reg_error_from_errno(errno);
        }
    }
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return tk::reg_error_from_errno(errno);
    return S_ISDIR(st.st_mode) ? tk_reg_success : tk_reg_path_not_found;
}

// Splits a sub-key at '\' into folder components; false when one is unusable.
bool split_sub_key(std::string_view sub_key, bool under_root, std::vector<std::string>& out) {
    out.clear();
    if (sub_key.empty())
        return true;
    bool first = true;
    while (true) {
        size_t sep = sub_key.find('\\');
        std::string_view part = sub_key.substr(0, sep);
        if (part.empty() || part == "." || part == ".." ||
            part.find('/') != std::string_view::npos) {
            return false;
        }
        bool software = tk_equal_nocase(tk::utf8_to_utf16(part), u"Software");
        if (!(first && under_root && software))
            out.emplace_back(part);
        first = false;
        if (sep == std::string_view::npos)
            return true;
        sub_key.remove_prefix(sep + 1);
    }
}

}  // namespace

const tk_hkey tk_hkey_current_user = &g_current_user;

tk_reg_key::tk_reg_key(const char* path) : path_(path ? path : "") {}

tk_reg_key::~tk_reg_key() = default;

long tk_reg_key::create(tk_hkey parent, const char* sub_key, const char*, uint32_t, uint32_t, void*,
                        uint32_t* disposition) {
    if (!parent)
        throw tk_mail_assertion("tk_regk", 64);
    std::string sub = sub_key ? sub_key : "";
    tk_trace(2, "tk_reg_key::create(%s)", sub.c_str());
    std::string folder = parent->root ? config_home() : parent->folder;
    if (folder.empty())
        return tk_reg_path_not_found;
    std::vector<std::string> parts;
    if (!split_sub_key(sub, parent->root, parts))
        return tk_reg_bad_pathname;
    for (const std::string& p : parts) folder += "/" + p;
    if (long r = make_folders(folder))
        return r;

    auto handle = std::make_unique<tk_reg_handle>();
    handle->folder = folder;
    handle->key_name = sub.empty() ? parent->key_name : parent->key_name + "\\" + sub;
    std::string file = folder + kSettings;
    uint32_t how = tk_reg_opened_existing_key;
    struct stat st {};
    if (::lstat(file.c_str(), &st) != 0) {
        if (errno != ENOENT)
            return tk::reg_error_from_errno(errno);
        if (long r = tk::write_reg_file(file, handle->key_name, {}))
            return r;
        how = tk_reg_created_new_key;
    }
    handle_ = std::move(handle);
    if (disposition)
        *disposition = how;
    return tk_reg_success;
}

std::string tk_reg_key::file_name() const {
    return handle_ ? handle_->folder + kSettings : "";
}

void tk_reg_key::close() {
    handle_.reset();
}

namespace {

// Looks `name` up in the key's file: 0 with the value's bytes and type, or
// an error. `type` and `size` are 0 when there is no value.
long query(const tk_reg_handle* h, std::string_view name, std::string& bytes, uint32_t& type) {
    bytes.clear();
    type = 0;
    if (!h)
        return tk_reg_invalid_handle;
    std::vector<tk::reg_value> values;
    if (long r = tk::read_reg_file(h->folder + kSettings, values))
        return r;
    const tk::reg_value* v = tk::find_reg_value(values, name);
    if (!v)
        return tk_reg_file_not_found;
    bytes = v->bytes();
    type = v->type;
    return tk_reg_success;
}

// Writes one value: the file is read, the value replaced or added, and the
// whole file rewritten. A missing file is started afresh.
long store(const tk_reg_handle* h, tk::reg_value value) {
    std::string file = h->folder + kSettings;
    std::vector<tk::reg_value> values;
    long r = tk::read_reg_file(file, values);
    if (r != tk_reg_success && r != tk_reg_file_not_found)
        return r;
    if (tk::reg_value* old = tk::find_reg_value(values, value.name)) {
        value.name = old->name;  // an existing value keeps its spelling
        *old = std::move(value);
    } else {
        values.push_back(std::move(value));
    }
    return tk::write_reg_file(file, h->key_name, values);
}

}  // namespace

long tk_reg_key::get_value(uint32_t& value, const char* name) {
    if (!name)
        throw tk_mail_assertion("tk_regk", 98);
    tk_trace(2, "tk_reg_key::get_value(ulong, %s)", name);
    std::string bytes;
    uint32_t type;
    long r = query(handle_.get(), name, bytes, type);
    tk_trace(1, "type=%d, size=%d", static_cast<int>(type), static_cast<int>(bytes.size()));
    if (r != tk_reg_success)
        return r;
    if (bytes.size() > sizeof value)
        return tk_reg_more_data;
    // Only the stored bytes change, low byte first, as a registry read does.
    for (size_t k = 0; k < bytes.size(); ++k) {
        uint32_t shift = static_cast<uint32_t>(8 * k);
        value = (value & ~(0xFFu << shift)) | (uint32_t(uint8_t(bytes[k])) << shift);
    }
    return tk_reg_success;
}

long tk_reg_key::get_value(char16_t* buffer, const char16_t* name, uint32_t* size) {
    if (!size)
        throw tk_mail_assertion("tk_regk", 132);
    if (!name)
        throw tk_mail_assertion("tk_regk", 133);
    tk_wtrace(2, u"tk_reg_key::get_value(LPWSTR, %s)", name);
    std::string bytes;
    uint32_t type;
    long r = query(handle_.get(), tk::utf16_to_utf8(name), bytes, type);
    tk_trace(1, "type=%d, size=%d", static_cast<int>(type), static_cast<int>(bytes.size()));
    if (r != tk_reg_success)
        return r;
    uint32_t room = *size;
    *size = static_cast<uint32_t>(bytes.size());
    if (!buffer)
        return tk_reg_success;
    if (room < bytes.size())
        return tk_reg_more_data;
    std::memcpy(buffer, bytes.data(), bytes.size());
    return tk_reg_success;
}

long tk_reg_key::set(uint32_t value, const char* name) {
    if (!handle_)
        throw tk_mail_assertion("tk_regk", 149);
    tk_trace(2, "tk_reg_key::set(ulong, %s)", name ? name : "");
    tk::reg_value v;
    v.name = name ? name : "";
    v.type = tk_reg_dword;
    v.dword = value;
    return store(handle_.get(), std::move(v));
}

long tk_reg_key::set(const char16_t* text, const char16_t* name) {
    if (!text)
        throw tk_mail_assertion("tk_regk", 164);
    if (!handle_)
        throw tk_mail_assertion("tk_regk", 165);
    tk_wtrace(2, u"tk_reg_key::set(LPCWSTR, %s)", name ? name : u"");
    tk::reg_value v;
    v.name = name ? tk::utf16_to_utf8(name) : "";
    v.type = tk_reg_sz;
    v.text = text;
    return store(handle_.get(), std::move(v));
}

long tk_reg_key::set(const char16_t* text, const char* name) {
    std::u16string wide = tk::utf8_to_utf16(name ? name : "");
    return set(text, wide.c_str());
}

bool tk_reg_key::exchange(const char* name, uint32_t& value, bool store) {
    if (!handle_)
        return false;
    if (store)
        return set(value, name) == tk_reg_success;
    uint32_t read = 0;
    if (get_value(read, name) != tk_reg_success)
        return false;
    value = read;
    return true;
}

bool tk_reg_key::exchange(const char* name, int32_t& value, bool store) {
    auto u = static_cast<uint32_t>(value);
    if (!exchange(name, u, store))
        return false;
    value = static_cast<int32_t>(u);
    return true;
}

bool tk_reg_key::exchange(const char* name, bool& value, bool store) {
    uint32_t u = value ? 1 : 0;
    if (!exchange(name, u, store))
        return false;
    value = u != 0;
    return true;
}

bool tk_reg_key::exchange(const char* name, std::u16string& value, bool store) {
    if (!handle_)
        return false;
    std::u16string wide_name = tk::utf8_to_utf16(name ? name : "");
    if (store)
        return set(value.c_str(), wide_name.c_str()) == tk_reg_success;
    // First the size, then the data.
    uint32_t size = 0;
    if (get_value(nullptr, wide_name.c_str(), &size) != tk_reg_success || size == 0)
        return false;
    std::u16string buf(size / 2 + 1, u'\0');
    if (get_value(buf.data(), wide_name.c_str(), &size) != tk_reg_success)
        return false;
    buf.resize(std::min<size_t>(buf.find(u'\0'), size / 2));
    if (buf.empty())
        return false;
    value = std::move(buf);
    return true;
}
