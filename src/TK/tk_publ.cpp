#include "TK/tk_publ.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>

#include "TK/tk_excep.h"
#include "TK/tk_log.h"

namespace tk {
namespace {

constexpr char kTempMark[] = ".tsl-";
constexpr size_t kTempRandom = 6;

std::string file_part(const std::string& path) {
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Anonymous files are reopened and linked through /proc/self/fd.
bool proc_fd_usable() {
    static const bool usable = ::access("/proc/self/fd", X_OK) == 0;
    return usable;
}

std::string proc_path(int fd) {
    return "/proc/self/fd/" + std::to_string(fd);
}

std::string temp_name(const std::string& folder, const std::string& base, const std::string& tail) {
    return folder + "/." + base + kTempMark + tail;
}

std::string random_tail() {
    static std::mt19937 gen{std::random_device{}() ^ static_cast<unsigned>(::getpid())};
    static const char kChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    std::string s;
    for (size_t i = 0; i < kTempRandom; ++i) s.push_back(kChars[gen() % (sizeof kChars - 1)]);
    return s;
}

// A new empty temporary file for `base` in `folder`, open read-write:
// anonymous when the file system allows it (`named` stays empty), else a
// hidden named file (`named` receives its path), recorded before it is made.
int make_temp(const std::string& folder, const std::string& base, bool anonymous,
              const publication::temp_recorder& record, std::string& named) {
    named.clear();
    if (anonymous && proc_fd_usable()) {
        int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
        if (fd >= 0)
            return fd;
        // Only "not supported here" falls back; a full disk or a refused
        // folder fails the same way with a named file.
        if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL && errno != ENOENT)
            throw tk_write_failure();
    }
    for (;;) {
        std::string name = temp_name(folder, base, random_tail());
        if (record)
            record(name);
        int fd = ::open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd >= 0) {
            named = name;
            return fd;
        }
        if (errno != EEXIST)
            throw tk_write_failure();
    }
}

// The renames of a publication that a failure can undo: renameat2 with
// RENAME_EXCHANGE swaps the new file and the old one, so that the old one
// stays under the temporary name until every name is in place.
enum class placed { created, exchanged, renamed };

bool rename_flags(const std::string& from, const std::string& to, unsigned flags) {
    return ::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), flags) == 0;
}

// The process's umask, without changing it (other threads may be creating
// files): from /proc, else the usual 022.
mode_t current_umask() {
    mode_t mask = 022;
    if (FILE* f = std::fopen("/proc/self/status", "re")) {
        char line[128];
        while (std::fgets(line, sizeof line, f)) {
            unsigned v = 0;
            if (std::sscanf(line, "Umask: %o", &v) == 1) {
                mask = static_cast<mode_t>(v);
                break;
            }
        }
        std::fclose(f);
    }
    return mask;
}

class atomic_rewrite : public file_rewrite {
  public:
    explicit atomic_rewrite(const std::string& path) : file_(path) {}
    sink& out() override { return file_.out(); }
    std::string path() const override { return file_.temp_path(); }
    void commit() override { file_.commit(); }

  private:
    atomic_file file_;
};

}  // namespace

std::string path_target::content_path() const {
    struct stat st {};
    return ::stat(path_.c_str(), &st) == 0 ? path_ : std::string();
}

std::unique_ptr<file_rewrite> path_target::rewrite() {
    return std::make_unique<atomic_rewrite>(path_);
}

// One file of the set: its final name and the descriptor of its present
// content (with the temporary name, when it has one).
class publication::staged : public file_target {
  public:
    staged(std::string folder, std::string final_path, bool anonymous, const temp_recorder& record)
        : folder_(std::move(folder)),
          final_(std::move(final_path)),
          base_(file_part(final_)),
          anonymous_(anonymous),
          record_(record) {}
    ~staged() override { drop(); }

    const std::string& name() const override { return final_; }
    std::string content_path() const override {
        if (fd_ < 0)
            return {};
        return temp_.empty() ? proc_path(fd_) : temp_;
    }
    std::unique_ptr<file_rewrite> rewrite() override;

    bool has_content() const { return fd_ >= 0; }
    // Takes over a new content, discarding the present one.
    void adopt(int fd, std::string temp) {
        drop();
        fd_ = fd;
        temp_ = std::move(temp);
    }
    // Puts the content on disk with its final permission bits and a name.
    // The file it replaces must be a regular file this process may replace
    // (in a folder with the sticky bit, only its owner, the folder's owner
    // or a privileged process may), so that a set fails here, before any of
    // its names changes, wherever it can be told in advance.
    void prepare(mode_t umask_bits) {
        if (::fsync(fd_) != 0)
            throw tk_write_failure();
        struct stat st {};
        mode_t mode = 0666 & ~umask_bits;
        if (::lstat(final_.c_str(), &st) == 0) {
            if (!S_ISREG(st.st_mode)) {
                errno = EEXIST;  // a folder, a link or a device is not replaced
                throw tk_exception_ex();
            }
            struct stat dir {};
            const uid_t me = ::geteuid();
            if (::stat(folder_.c_str(), &dir) == 0 && (dir.st_mode & S_ISVTX) && me != 0 &&
                st.st_uid != me && dir.st_uid != me) {
                errno = EPERM;
                throw tk_exception_ex();
            }
            mode = st.st_mode & 0777;
        }
        if (::fchmod(fd_, mode) != 0)
            throw tk_exception_ex();
        while (temp_.empty()) {
            std::string name = temp_name(folder_, base_, random_tail());
            if (record_)
                record_(name);
            if (::linkat(AT_FDCWD, proc_path(fd_).c_str(), AT_FDCWD, name.c_str(),
                         AT_SYMLINK_FOLLOW) == 0) {
                temp_ = name;
            } else if (errno != EEXIST) {
                throw tk_write_failure();
            }
        }
    }
    // Gives the content its final name. Where the file system can swap two
    // names, the file replaced keeps the temporary name until `settle`, so
    // that `undo` can put it back.
    void put_in_place() {
        if (rename_flags(temp_, final_, RENAME_EXCHANGE)) {
            how_ = placed::exchanged;
            return;
        }
        const bool unsupported = errno == EINVAL || errno == ENOSYS;
        if (!unsupported && errno != ENOENT)
            throw tk_exception_ex();
        if (errno == ENOENT) {  // nothing to replace
            if (rename_flags(temp_, final_, RENAME_NOREPLACE) ||
                ((errno == EINVAL || errno == ENOSYS) &&
                 ::rename(temp_.c_str(), final_.c_str()) == 0)) {
                how_ = placed::created;
                return;
            }
            throw tk_exception_ex();
        }
        // A file system that cannot swap names: the old file is replaced
        // for good.
        if (::rename(temp_.c_str(), final_.c_str()) != 0)
            throw tk_exception_ex();
        how_ = placed::renamed;
        temp_.clear();
    }
    // Takes back what put_in_place did, as far as it can.
    void undo() {
        if (how_ == placed::exchanged)
            rename_flags(temp_, final_, RENAME_EXCHANGE);
        else if (how_ == placed::created)
            ::rename(final_.c_str(), temp_.c_str());
    }
    // After every name is in place: the file replaced goes.
    void settle() {
        if (how_ == placed::exchanged)
            ::unlink(temp_.c_str());
        temp_.clear();
    }

  private:
    void drop() {
        if (fd_ >= 0)
            ::close(fd_);
        if (!temp_.empty())
            ::unlink(temp_.c_str());
        fd_ = -1;
        temp_.clear();
    }

    std::string folder_;
    std::string final_;
    std::string base_;
    bool anonymous_;
    const temp_recorder& record_;
    int fd_ = -1;
    std::string temp_;
    placed how_ = placed::renamed;
};

namespace {

// A new content of a staged file: written through a second descriptor, so
// that the file itself stays open (an anonymous file lives only as long
// as a descriptor does) until it is adopted or discarded.
class staged_rewrite : public file_rewrite {
  public:
    staged_rewrite(std::function<void(int, std::string)> adopt, int fd, std::string temp)
        : adopt_(std::move(adopt)), fd_(fd), temp_(std::move(temp)) {
        int copy = ::fcntl(fd_, F_DUPFD_CLOEXEC, 0);
        if (copy < 0) {
            discard();
            throw tk_exception_ex();
        }
        sink_.attach(copy);
    }
    ~staged_rewrite() override {
        if (fd_ >= 0)
            discard();
    }
    sink& out() override { return sink_; }
    std::string path() const override { return temp_.empty() ? proc_path(fd_) : temp_; }
    void commit() override {
        sink_.close();
        adopt_(fd_, std::move(temp_));
        fd_ = -1;
    }

  private:
    void discard() {
        try {
            sink_.close();
        } catch (...) {
        }
        ::close(fd_);
        if (!temp_.empty())
            ::unlink(temp_.c_str());
        fd_ = -1;
    }

    std::function<void(int, std::string)> adopt_;
    int fd_;
    std::string temp_;
    file_sink sink_;
};

}  // namespace

std::unique_ptr<file_rewrite> publication::staged::rewrite() {
    std::string named;
    int fd = make_temp(folder_, base_, anonymous_, record_, named);
    return std::make_unique<staged_rewrite>(
        [this](int new_fd, std::string temp) { adopt(new_fd, std::move(temp)); }, fd, named);
}

publication::publication(std::string folder, temporaries kind, temp_recorder record)
    : folder_(std::move(folder)), kind_(kind), record_(std::move(record)) {
    tk_trace(2, "publication::ctor(%s)", folder_.c_str());
}

publication::~publication() = default;

file_target& publication::file(const std::string& final_path) {
    for (const auto& f : files_)
        if (f->name() == final_path)
            return *f;
    files_.push_back(
        std::make_unique<staged>(folder_, final_path, kind_ == temporaries::anonymous, record_));
    return *files_.back();
}

std::vector<file_target*> publication::written() const {
    std::vector<file_target*> out;
    for (const auto& f : files_)
        if (f->has_content())
            out.push_back(f.get());
    return out;
}

void publication::publish() {
    tk_trace(2, "publication::publish(%s)", folder_.c_str());
    const mode_t mask = current_umask();
    std::vector<staged*> set;
    for (const auto& f : files_)
        if (f->has_content())
            set.push_back(f.get());
    for (staged* f : set) f->prepare(mask);
    // A name that cannot be put in place puts the ones before it back: a
    // failed publication leaves every old file as it was.
    size_t done = 0;
    try {
        for (; done < set.size(); ++done) set[done]->put_in_place();
    } catch (...) {
        while (done > 0) set[--done]->undo();
        throw;
    }
    for (staged* f : set) f->settle();
    // The new names are on disk only once the folder is.
    int dir = ::open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    files_.clear();
}

void publication::remove_stale(const std::string& folder, const std::vector<std::string>& paths,
                               const std::function<bool(const std::string&)>& ours) {
    const size_t mark = sizeof kTempMark - 1;
    for (const std::string& path : paths) {
        const std::string n = file_part(path);
        if (path != folder + "/" + n || n.size() < 2 + mark + kTempRandom || n[0] != '.')
            continue;
        const size_t at = n.size() - kTempRandom - mark;
        if (n.compare(at, mark, kTempMark) != 0 || !ours(n.substr(1, at - 1)))
            continue;
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
            continue;
        tk_trace(2, "Removing the stale temporary file %s", n.c_str());
        ::unlink(path.c_str());
    }
}

}  // namespace tk
