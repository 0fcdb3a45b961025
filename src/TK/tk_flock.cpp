#include "TK/tk_flock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "TK/tk_excep.h"
#include "TK/tk_log.h"

namespace tk {
namespace {

constexpr size_t kSignatureSize = sizeof file_lock::kSignature - 1;
// The names read back from a lock file at most: a run that names a
// temporary for every item of a long selection lists a few MiB at worst.
constexpr size_t kMostRecorded = size_t(64) << 20;

void write_at(int fd, const std::string& bytes, off_t at) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t k =
            ::pwrite(fd, bytes.data() + done, bytes.size() - done, at + static_cast<off_t>(done));
        if (k < 0 && errno == EINTR)
            continue;
        if (k <= 0)
            throw tk_write_failure();
        done += static_cast<size_t>(k);
    }
}

// The content of an open lock file (its first kMostRecorded bytes), or
// false when it is no lock file: not a regular file, or neither empty nor
// beginning with the signature.
bool read_lock(int fd, std::string& content) {
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    content.assign(std::min(static_cast<size_t>(st.st_size), kMostRecorded), '\0');
    size_t got = 0;
    while (got < content.size()) {
        ssize_t k =
            ::pread(fd, content.data() + got, content.size() - got, static_cast<off_t>(got));
        if (k < 0 && errno == EINTR)
            continue;
        if (k <= 0)
            break;
        got += static_cast<size_t>(k);
    }
    content.resize(got);
    return content.empty() || content.compare(0, kSignatureSize, file_lock::kSignature) == 0;
}

[[noreturn]] void refuse(const std::string& path) {
    throw tk_exception("The file " + path +
                           " is not a lock file of this program, but has the name of one. Move "
                           "it away.",
                       1);
}

}  // namespace

bool file_lock::may_lock(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0)
        return errno == ENOENT;
    std::string content;
    bool ours = read_lock(fd, content);
    ::close(fd);
    return ours;
}

std::unique_ptr<file_lock> file_lock::try_lock(const std::string& path) {
    tk_trace(2, "file_lock::try_lock(%s)", path.c_str());
    for (;;) {
        // O_NONBLOCK: a FIFO of that name must not hold the run up.
        int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0644);
        if (fd < 0) {
            if (errno == ELOOP)
                refuse(path);
            throw tk_exception_ex();
        }
        std::string content;
        if (!read_lock(fd, content)) {
            ::close(fd);
            refuse(path);
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            int err = errno;
            ::close(fd);
            if (err == EWOULDBLOCK)
                return nullptr;
            errno = err;
            throw tk_exception_ex();
        }
        // The holder before may have removed the name after this open.
        struct stat held {
        }, named{};
        if (::fstat(fd, &held) == 0 && ::lstat(path.c_str(), &named) == 0 &&
            held.st_dev == named.st_dev && held.st_ino == named.st_ino) {
            // Read again under the lock: the holder before may have written since.
            if (!read_lock(fd, content)) {
                ::close(fd);
                refuse(path);
            }
            std::unique_ptr<file_lock> lock(new file_lock(path, fd));
            if (content.empty()) {
                // On a full disk the file stays empty, which it may: it
                // holds nothing then.
                try {
                    write_at(fd, kSignature, 0);
                } catch (const tk_write_failure&) {
                    (void)::ftruncate(fd, 0);
                }
            } else {
                for (size_t at = kSignatureSize; at < content.size();) {
                    size_t end = content.find('\0', at);
                    if (end == std::string::npos)
                        break;  // cut off by a kill while it was recorded
                    lock->recorded_.push_back(content.substr(at, end - at));
                    at = end + 1;
                }
            }
            return lock;
        }
        ::close(fd);
    }
}

void file_lock::clear_recorded() {
    recorded_.clear();
    struct stat st {};
    if (::fstat(fd_, &st) != 0)
        throw tk_write_failure();
    const off_t keep = st.st_size >= static_cast<off_t>(kSignatureSize) ? kSignatureSize : 0;
    if (::ftruncate(fd_, keep) != 0)
        throw tk_write_failure();
}

void file_lock::record(const std::string& name) {
    struct stat st {};
    if (::fstat(fd_, &st) != 0)
        throw tk_write_failure();
    if (st.st_size == 0)
        write_at(fd_, kSignature + name + '\0', 0);
    else
        write_at(fd_, name + '\0', st.st_size);
}

file_lock::~file_lock() {
    // Only the file this holder locked goes, not one put at its name since.
    struct stat held {
    }, named{};
    if (::fstat(fd_, &held) == 0 && ::lstat(path_.c_str(), &named) == 0 &&
        held.st_dev == named.st_dev && held.st_ino == named.st_ino)
        ::unlink(path_.c_str());
    ::close(fd_);
}

}  // namespace tk
