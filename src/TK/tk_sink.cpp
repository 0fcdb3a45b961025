#include "TK/tk_sink.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "TK/tk_excep.h"

namespace tk {
namespace {
constexpr size_t kBufferSize = 1 << 20;
constexpr uint64_t kWritebackStep = uint64_t{8} << 20;

void write_all(int fd, const uint8_t* p, size_t n) {
    while (n > 0) {
        ssize_t k = ::write(fd, p, n);
        if (k < 0) {
            if (errno == EINTR)
                continue;
            throw tk_write_failure();
        }
        p += k;
        n -= static_cast<size_t>(k);
    }
}

void pwrite_all(int fd, const uint8_t* p, size_t n, uint64_t off) {
    while (n > 0) {
        ssize_t k = ::pwrite(fd, p, n, static_cast<off_t>(off));
        if (k < 0) {
            if (errno == EINTR)
                continue;
            throw tk_write_failure();
        }
        p += k;
        off += static_cast<uint64_t>(k);
        n -= static_cast<size_t>(k);
    }
}
}  // namespace

void sink::skip(uint64_t) {
    throw tk_mail_assertion("tk_sink", __LINE__);
}

void memory_sink::write(const void* data, size_t n) {
    const auto* p = static_cast<const uint8_t*>(data);
    data_.insert(data_.end(), p, p + n);
}

void memory_sink::write_at(uint64_t offset, const void* data, size_t n) {
    if (offset + n > data_.size())
        throw tk_mail_assertion("tk_sink", __LINE__);
    std::memcpy(data_.data() + offset, data, n);
}

file_sink::~file_sink() {
    if (fd_ >= 0)
        ::close(fd_);
}

void file_sink::open(const std::string& path, bool private_file) {
    int fd =
        ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, private_file ? 0600 : 0644);
    if (fd < 0)
        throw tk_exception_ex();
    attach(fd);
}

void file_sink::attach(int fd) {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = fd;
    written_ = flushed_ = written_back_ = 0;
    buf_.clear();
    buf_.reserve(kBufferSize);
}

void file_sink::flush_buffer() {
    if (buf_.empty())
        return;
    write_all(fd_, buf_.data(), buf_.size());
    flushed_ += buf_.size();
    buf_.clear();
    start_writeback();
}

void file_sink::start_writeback() {
    if (flushed_ - written_back_ < kWritebackStep)
        return;
    // Only a hint: a file system without it (or a failure) changes nothing,
    // since sync() still waits for every byte.
    ::sync_file_range(fd_, static_cast<off_t>(written_back_),
                      static_cast<off_t>(flushed_ - written_back_), SYNC_FILE_RANGE_WRITE);
    written_back_ = flushed_;
}

void file_sink::write(const void* data, size_t n) {
    if (fd_ < 0)
        throw tk_mail_assertion("tk_sink", __LINE__);
    const auto* p = static_cast<const uint8_t*>(data);
    // Large pieces (a writer's own full buffer) go to the file as they are,
    // without a copy through this buffer.
    if (buf_.size() + n > kBufferSize || n >= kBufferSize / 4) {
        flush_buffer();
        if (n >= kBufferSize / 4) {
            write_all(fd_, p, n);
            flushed_ += n;
            written_ += n;
            start_writeback();
            return;
        }
    }
    buf_.insert(buf_.end(), p, p + n);
    written_ += n;
}

void file_sink::skip(uint64_t n) {
    if (fd_ < 0)
        throw tk_mail_assertion("tk_sink", __LINE__);
    flush_buffer();
    if (::lseek(fd_, static_cast<off_t>(n), SEEK_CUR) < 0)
        throw tk_write_failure();
    flushed_ += n;
    written_ += n;
    start_writeback();
}

void file_sink::rewind() {
    if (fd_ < 0)
        throw tk_mail_assertion("tk_sink", __LINE__);
    buf_.clear();
    if (::lseek(fd_, 0, SEEK_SET) < 0)
        throw tk_write_failure();
    written_ = flushed_ = written_back_ = 0;
    trim_ = true;
}

void file_sink::trim() {
    if (trim_ && ::ftruncate(fd_, static_cast<off_t>(written_)) != 0)
        throw tk_write_failure();
    trim_ = false;
}

void file_sink::write_at(uint64_t offset, const void* data, size_t n) {
    if (fd_ < 0 || offset + n > written_)
        throw tk_mail_assertion("tk_sink", __LINE__);
    const auto* p = static_cast<const uint8_t*>(data);
    // The part still in the buffer is patched there; the rest in the file.
    if (offset + n > flushed_) {
        uint64_t start = offset > flushed_ ? offset : flushed_;
        size_t skip = static_cast<size_t>(start - offset);
        std::memcpy(buf_.data() + (start - flushed_), p + skip, n - skip);
        n = skip;
    }
    if (n > 0)
        pwrite_all(fd_, p, n, offset);
}

void file_sink::sync() {
    flush_buffer();
    trim();
    if (::fsync(fd_) != 0)
        throw tk_write_failure();
}

void file_sink::close() {
    if (fd_ < 0)
        return;
    try {
        flush_buffer();
        trim();
    } catch (...) {
        ::close(fd_);
        fd_ = -1;
        throw;
    }
    int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0)
        throw tk_write_failure();
}

atomic_file::atomic_file(const std::string& path, bool private_file) : path_(path) {
    std::vector<char> name(path.begin(), path.end());
    static const char kSuffix[] = ".tmp-XXXXXX";
    name.insert(name.end(), kSuffix, kSuffix + sizeof kSuffix);
    int fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0)
        throw tk_exception_ex();
    temp_ = name.data();
    // mkostemp creates the file 0600; a workbook is an ordinary document.
    if (!private_file)
        ::fchmod(fd, 0644);
    sink_.attach(fd);
}

atomic_file::~atomic_file() {
    if (!committed_) {
        try {
            sink_.close();
        } catch (...) {
        }
        ::unlink(temp_.c_str());
    }
}

void atomic_file::commit() {
    try {
        sink_.sync();
        sink_.close();
        if (::rename(temp_.c_str(), path_.c_str()) != 0)
            throw tk_exception_ex();
    } catch (...) {
        ::unlink(temp_.c_str());
        committed_ = true;  // nothing left to clean up
        throw;
    }
    committed_ = true;
}

}  // namespace tk
