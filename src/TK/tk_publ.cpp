#include "TK/tk_publ.h"

#include <dirent.h>
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
// hidden named file (`named` receives its path).
int make_temp(const std::string& folder, const std::string& base, bool anonymous,
              std::string& named) {
    named.clear();
    if (anonymous && proc_fd_usable()) {
        int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
        if (fd >= 0)
            return fd;
        // Only "not supported here" falls back; a full disk or a refused
        // folder fails the same way with a named file.
        if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL && errno != ENOENT)
            throw tk_exception_ex();
    }
    std::string pattern = temp_name(folder, base, std::string(kTempRandom, 'X'));
    int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0)
        throw tk_exception_ex();
    named = pattern;
    return fd;
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
    staged(std::string folder, std::string final_path, bool anonymous)
        : folder_(std::move(folder)),
          final_(std::move(final_path)),
          base_(file_part(final_)),
          anonymous_(anonymous) {}
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
    void prepare(mode_t umask_bits) {
        if (::fsync(fd_) != 0)
            throw tk_exception_ex();
        struct stat st {};
        mode_t mode = 0666 & ~umask_bits;
        if (::stat(final_.c_str(), &st) == 0 && S_ISREG(st.st_mode))
            mode = st.st_mode & 0777;
        if (::fchmod(fd_, mode) != 0)
            throw tk_exception_ex();
        while (temp_.empty()) {
            std::string name = temp_name(folder_, base_, random_tail());
            if (::linkat(AT_FDCWD, proc_path(fd_).c_str(), AT_FDCWD, name.c_str(),
                         AT_SYMLINK_FOLLOW) == 0) {
                temp_ = name;
            } else if (errno != EEXIST) {
                throw tk_exception_ex();
            }
        }
    }
    void rename_to_final() {
        if (::rename(temp_.c_str(), final_.c_str()) != 0)
            throw tk_exception_ex();
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
    int fd_ = -1;
    std::string temp_;
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
    int fd = make_temp(folder_, base_, anonymous_, named);
    return std::make_unique<staged_rewrite>(
        [this](int new_fd, std::string temp) { adopt(new_fd, std::move(temp)); }, fd, named);
}

publication::publication(std::string folder, temporaries kind)
    : folder_(std::move(folder)), kind_(kind) {
    tk_trace(2, "publication::ctor(%s)", folder_.c_str());
}

publication::~publication() = default;

file_target& publication::file(const std::string& final_path) {
    for (const auto& f : files_)
        if (f->name() == final_path)
            return *f;
    files_.push_back(
        std::make_unique<staged>(folder_, final_path, kind_ == temporaries::anonymous));
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
    for (staged* f : set) f->rename_to_final();
    // The new names are on disk only once the folder is.
    int dir = ::open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    files_.clear();
}

void publication::remove_stale(const std::string& folder,
                               const std::function<bool(const std::string&)>& ours) {
    DIR* d = ::opendir(folder.c_str());
    if (!d)
        return;
    const size_t mark = sizeof kTempMark - 1;
    while (dirent* e = ::readdir(d)) {
        std::string n = e->d_name;
        if (n.size() < 2 + mark + kTempRandom || n[0] != '.')
            continue;
        size_t at = n.size() - kTempRandom - mark;
        if (n.compare(at, mark, kTempMark) != 0 || !ours(n.substr(1, at - 1)))
            continue;
        tk_trace(2, "Removing the stale temporary file %s", n.c_str());
        ::unlinkat(::dirfd(d), n.c_str(), 0);
    }
    ::closedir(d);
}

}  // namespace tk
