#include "core/cnv_guard.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

#include "TK/tk_excep.h"
#include "TK/tk_flock.h"
#include "TK/tk_fname.h"
#include "TK/tk_utf.h"

namespace {

// The longest name a run writes beside "<name><ext>", less that name: the
// hidden temporary of a continuation file, ".<name>(<n>)<ext>.tsl-XXXXXX",
// counted with up to five digits of n.
constexpr size_t kLongestAddition = 1 + 7 + 5 + 6;

bool same_file(const struct stat& a, const std::string& path) {
    struct stat b {};
    return ::stat(path.c_str(), &b) == 0 && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace

destination_set::destination_set(const std::u16string& dest) {
    tk_file_wname parts(dest.c_str());
    folder = tk::utf16_to_utf8(parts.folder());
    if (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    name = tk::utf16_to_utf8(parts.name());
    ext = tk::utf16_to_utf8(parts.extension());
}

bool destination_set::is_continuation(const std::string& file) const {
    if (file.size() <= name.size() + ext.size() + 2 || file.compare(0, name.size(), name) != 0 ||
        file.compare(file.size() - ext.size(), ext.size(), ext) != 0)
        return false;
    std::string mid = file.substr(name.size(), file.size() - name.size() - ext.size());
    return mid.size() > 2 && mid.front() == '(' && mid.back() == ')' &&
           std::all_of(mid.begin() + 1, mid.end() - 1, [](char c) { return c >= '0' && c <= '9'; });
}

bool is_workbook_file(const std::string& path, int32_t format_version) {
    static const unsigned char kCompound[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    static const unsigned char kZip[4] = {'P', 'K', 0x03, 0x04};
    const unsigned char* signature = format_version == 2 ? kZip : kCompound;
    const size_t size = format_version == 2 ? sizeof kZip : sizeof kCompound;
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return false;
    struct stat st {};
    unsigned char head[8] = {};
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
              ::pread(fd, head, size, 0) == static_cast<ssize_t>(size) &&
              std::memcmp(head, signature, size) == 0;
    ::close(fd);
    return ok;
}

std::string destination_refusal(const std::u16string& dest, const std::string& source,
                                int32_t format_version) {
    (void)format_version;  // every version's files are named alike
    const std::string path = tk::utf16_to_utf8(dest);
    if (path.empty())
        return "You should enter MS Excel spredsheet name";
    struct stat st {};
    const bool exists = ::stat(path.c_str(), &st) == 0;
    if (exists && S_ISDIR(st.st_mode))
        return "Destination name specifies a folder: " + path + ".";
    if (path.size() >= PATH_MAX)
        return "The MS Excel spreadsheet name is too long.";
    const destination_set set(dest);
    const std::string& folder = set.folder;
    // Another destination's lock file: a run would replace it, and the run
    // holding it would remove the workbook.
    const std::string file = set.name + set.ext;
    if (file.size() > 10 && file[0] == '.' && set.ext == ".tsl-lock") {
        return "The destination " + path +
               " has the name of a lock file of this program. Choose another destination.";
    }
    if (!tk_is_path_exist(folder.c_str())) {
        return "The folder of the MS Excel spreadsheet does not exist.\n"
               "Please verify the correct path was given.";
    }
    if (::access(folder.c_str(), W_OK | X_OK) != 0) {
        return "No file can be written in the folder of the destination " + path + ": " +
               std::strerror(errno) + ".";
    }
    const long name_max = ::pathconf(folder.c_str(), _PC_NAME_MAX);
    const size_t longest = set.name.size() + set.ext.size() + kLongestAddition;
    if (longest > static_cast<size_t>(name_max > 0 ? name_max : NAME_MAX) ||
        set.path(std::string(longest, 'x')).size() >= PATH_MAX) {
        return "The destination name " + path +
               " is too long: the files a conversion writes beside it would not fit the file "
               "system's limits. Choose a shorter name.";
    }
    // The run replaces its destination, removes old continuation files and
    // writes and removes its lock file: none of them may be the database
    // being read.
    struct stat src {};
    if (!source.empty() && ::stat(source.c_str(), &src) == 0) {
        if (same_file(src, set.lock_path())) {
            return "The lock file " + set.lock_path() + " of the destination " + path +
                   " is the source database file. Choose another destination.";
        }
        bool clash = same_file(src, path);
        if (!clash) {
            if (DIR* d = ::opendir(folder.c_str())) {
                while (dirent* e = ::readdir(d))
                    if (set.is_continuation(e->d_name) && same_file(src, set.path(e->d_name)))
                        clash = true;
                ::closedir(d);
            }
        }
        if (clash) {
            return "The destination " + path +
                   " (or one of its continuation files) is the source database file. Choose "
                   "another destination.";
        }
    }
    if (exists && (st.st_mode & 0222) == 0)
        return "Destination name specifies an existing read-only file.";
    if (!tk::file_lock::may_lock(set.lock_path())) {
        return "The file " + set.lock_path() +
               " is not a lock file of this program, but has the name of one. Move it away.";
    }
    return {};
}

std::string foreign_destination(const std::u16string& dest, int32_t format_version) {
    const std::string path = tk::utf16_to_utf8(dest);
    struct stat st {};
    if (path.empty() || ::lstat(path.c_str(), &st) != 0 || is_workbook_file(path, format_version))
        return {};
    return "The file " + path +
           " is not a workbook and is not replaced. Choose another destination, or move the file "
           "away.";
}

std::unique_ptr<tk::file_lock> lock_destination(const std::u16string& dest, std::string& refusal) {
    const std::string path = tk::utf16_to_utf8(dest);
    std::unique_ptr<tk::file_lock> lock;
    try {
        lock = tk::file_lock::try_lock(destination_set(dest).lock_path());
    } catch (const tk_exception_ex& e) {
        refusal = "No file can be written in the folder of the destination " + path + ": " +
                  e.message() + ".";
        return nullptr;
    } catch (const tk_exception& e) {
        refusal = e.message();
        return nullptr;
    }
    if (!lock) {
        refusal = "The destination " + path +
                  " is being written by another conversion. Try again when it has finished.";
    }
    return lock;
}

std::string trace_log_refusal(const std::string& log, const std::u16string& dest,
                              const std::string& source) {
    if (log.empty() || dest.empty())
        return {};
    const destination_set set(dest);
    tk_fname parts(log.c_str());
    std::string folder = parts.folder();
    if (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    const std::string file = parts.name() + parts.extension();
    struct stat st {};
    const bool exists = ::stat(log.c_str(), &st) == 0;
    if (exists && !source.empty() && same_file(st, source)) {
        return "The trace log file " + log +
               " is the source database file; it is left as it is, and the conversion goes on "
               "without a trace log.";
    }
    const bool named_so =
        folder == set.folder && (set.is_destination(file) || set.is_continuation(file) ||
                                 set.path(file) == set.lock_path());
    if (named_so ||
        (exists && (same_file(st, tk::utf16_to_utf8(dest)) || same_file(st, set.lock_path())))) {
        return "The trace log file " + log +
               " is a file this conversion writes (its destination, a continuation file or its "
               "lock file); the conversion goes on without a trace log.";
    }
    return {};
}
