#include "TK/tk_flock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "TK/tk_excep.h"
#include "TK/tk_log.h"

namespace tk {

std::unique_ptr<file_lock> file_lock::try_lock(const std::string& path) {
    tk_trace(2, "file_lock::try_lock(%s)", path.c_str());
    for (;;) {
        int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
        if (fd < 0)
            throw tk_exception_ex();
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
        if (::fstat(fd, &held) == 0 && ::stat(path.c_str(), &named) == 0 &&
            held.st_dev == named.st_dev && held.st_ino == named.st_ino) {
            return std::unique_ptr<file_lock>(new file_lock(path, fd));
        }
        ::close(fd);
    }
}

file_lock::~file_lock() {
    ::unlink(path_.c_str());
    ::close(fd_);
}

}  // namespace tk
