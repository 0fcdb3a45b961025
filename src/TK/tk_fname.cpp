#include "TK/tk_fname.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string_view>
#include <vector>

#include "TK/tk_excep.h"
#include "TK/tk_log.h"
#include "TK/tk_utf.h"

namespace {

// The current directory, or empty when it cannot be read (removed, too long).
std::string current_directory() {
    char buf[PATH_MAX];
    return getcwd(buf, sizeof buf) ? std::string(buf) : std::string();
}

// `name` made absolute and normalised; false when there is no current
// directory to resolve it against or the result exceeds the path limit.
bool make_absolute(const std::string& name, std::string& out) {
    std::string full;
    if (name.empty() || name[0] != '/') {
        full = current_directory();
        if (full.empty())
            return false;
        full += '/';
    }
    full += name;
    std::vector<std::string_view> parts;
    std::string_view rest(full);
    while (!rest.empty()) {
        size_t slash = rest.find('/');
        std::string_view part = rest.substr(0, slash);
        rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
        if (part.empty() || part == ".")
            continue;
        if (part == "..") {
            if (!parts.empty())
                parts.pop_back();
            continue;
        }
        parts.push_back(part);
    }
    out.assign(1, '/');
    for (size_t i = 0; i < parts.size(); ++i) {
        if (i > 0)
            out += '/';
        out += parts[i];
    }
    // A name given as a folder ("logs/") keeps its trailing separator.
    if (!parts.empty() && full.back() == '/')
        out += '/';
    return out.size() < PATH_MAX;
}

struct parts {
    std::string directory, name, extension;
};

// Splits an absolute, normalised name at its last '/' and last '.'.
parts split(const std::string& full) {
    parts p;
    size_t slash = full.rfind('/');
    p.directory = full.substr(0, slash + 1);
    std::string file = full.substr(slash + 1);
    size_t dot = file.rfind('.');
    if (dot == std::string::npos) {
        p.name = file;
    } else {
        p.name = file.substr(0, dot);
        p.extension = file.substr(dot);
    }
    return p;
}

// Both initialize forms: `null_line` and `abs_line` are their assertion lines.
parts take_apart(const char* name, int null_line, int abs_line) {
    if (!name)
        throw tk_mail_assertion("tk_fname", null_line);
    if (!*name) {
        std::string cwd = current_directory();
        if (cwd.empty())
            throw tk_mail_assertion("tk_fname", abs_line);
        parts p;
        p.directory = cwd.back() == '/' ? cwd : cwd + '/';
        return p;
    }
    std::string full;
    if (!make_absolute(name, full))
        throw tk_mail_assertion("tk_fname", abs_line);
    return split(full);
}

bool file_exist(const char* name, int mode) {
    int fd = ::open(name, (mode == 1 ? O_RDWR : O_RDONLY) | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    bool ok = false;
    if (fd >= 0) {
        struct stat st {};
        ok = ::fstat(fd, &st) == 0 && !S_ISDIR(st.st_mode);
        // The read-only attribute's counterpart: no write bit for anyone.
        if (ok && mode == 1 && (st.st_mode & 0222) == 0)
            ok = false;
        ::close(fd);
    }
    if (!ok)
        tk_trace(1, "File not exists!");
    return ok;
}

bool path_exist(const char* path) {
    if (!*path)
        return true;
    struct stat st {};
    // What changing into it needs: a folder with search permission.
    return ::stat(path, &st) == 0 && S_ISDIR(st.st_mode) && ::access(path, X_OK) == 0;
}

}  // namespace

void tk_file_wname::initialize(const char16_t* name) {
    if (name)
        tk_wtrace(1, u"tk_file_wname::initialize(%s)", name);
    std::string narrow = name ? tk::utf16_to_utf8(name) : std::string();
    parts p = take_apart(name ? narrow.c_str() : nullptr, 75, 83);
    extension_ = tk::utf8_to_utf16(p.extension);
    drive_.clear();
    name_ = tk::utf8_to_utf16(p.name);
    directory_ = tk::utf8_to_utf16(p.directory);
}

void tk_fname::initialize(const char* name) {
    if (name)
        tk_trace(1, "tk_fname::initialize(%s)", name);
    parts p = take_apart(name, 28, 36);
    extension_ = std::move(p.extension);
    drive_.clear();
    name_ = std::move(p.name);
    directory_ = std::move(p.directory);
}

bool tk_is_file_exist(const char* name, int mode) {
    tk_trace(1, "tk_is_file_exist(%s)", name ? name : "");
    return name && file_exist(name, mode);
}

bool tk_is_file_exist(const char16_t* name, int mode) {
    tk_wtrace(1, u"tk_is_file_exist(%s)", name ? name : u"");
    return name && file_exist(tk::utf16_to_utf8(name).c_str(), mode);
}

bool tk_is_path_exist(const char* path) {
    tk_trace(1, "tk_is_path_exist(%s)", path ? path : "");
    return path && path_exist(path);
}

bool tk_is_path_exist(const char16_t* path) {
    tk_wtrace(1, u"tk_is_path_exist(%s)", path ? path : u"");
    return path && path_exist(tk::utf16_to_utf8(path).c_str());
}
