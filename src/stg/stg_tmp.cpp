#include "stg/stg_tmp.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "TK/tk_excep.h"
#include "TK/tk_log.h"

namespace {

// An unnamed file in `folder`, or -1 (errno set).
int unnamed_file_in(const std::string& folder) {
#ifdef O_TMPFILE
    int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0)
        return fd;
#endif
    // File systems without O_TMPFILE: a unique name, removed at once.
    std::string name = folder + "/.tsl-spool-XXXXXX";
    std::vector<char> buf(name.begin(), name.end());
    buf.push_back('\0');
    int fd2 = ::mkostemp(buf.data(), O_CLOEXEC);
    if (fd2 < 0)
        return -1;
    ::unlink(buf.data());
    return fd2;
}

}  // namespace

stg_spool::stg_spool(std::string folder) : folder_(std::move(folder)) {}

stg_spool::~stg_spool() {
    if (tmp_)
        std::fclose(tmp_);
    else if (fd_ >= 0 && !external_)
        ::close(fd_);
}

namespace {

// pread or pwrite until all n bytes are done; a call that moves nothing
// means a full disk (`none` = ENOSPC) or a file that lost bytes (EIO).
template <typename Io, typename Byte>
void whole(Io io, int fd, Byte* p, size_t n, uint64_t off, int none) {
    while (n > 0) {
        const ssize_t k = io(fd, p, n, static_cast<off_t>(off));
        if (k < 0) {
            if (errno == EINTR)
                continue;
            throw tk_write_failure();
        }
        if (k == 0) {
            errno = none;
            throw tk_write_failure();
        }
        p += k;
        n -= static_cast<size_t>(k);
        off += static_cast<uint64_t>(k);
    }
}

void pwrite_whole(int fd, const uint8_t* p, size_t n, uint64_t off) {
    whole(::pwrite, fd, p, n, off, ENOSPC);
}

void pread_whole(int fd, uint8_t* d, size_t n, uint64_t off) {
    whole(::pread, fd, d, n, off, EIO);
}

}  // namespace

void stg_spool::open_file() {
    if (placer_) {
        const std::optional<place> p = placer_();
        placer_ = nullptr;
        if (p) {
            fd_ = p->fd;
            base_ = p->offset;
            external_ = true;
            tk_trace(1, "stg_spool::open_file(placed at %llu)",
                     static_cast<unsigned long long>(base_));
            return;
        }
    }
    if (!folder_.empty())
        fd_ = unnamed_file_in(folder_);
    if (fd_ < 0) {
        tmp_ = std::tmpfile();
        if (!tmp_)
            throw tk_write_failure();
        fd_ = fileno(tmp_);
    }
    tk_trace(1, "stg_spool::open_file(%s)", folder_.c_str());
}

void stg_spool::flush() {
    if (fill_ == 0)
        return;
    if (fd_ < 0)
        open_file();
    pwrite_whole(fd_, buf_.get(), fill_, base_ + flushed_);
    // A placed spool is part of a file that will be synced: its writeback
    // starts now rather than at the sync.
    if (external_ && (flushed_ + fill_) / k_writeback != flushed_ / k_writeback) {
        const uint64_t from = flushed_ / k_writeback * k_writeback;
        ::sync_file_range(fd_, static_cast<off_t>(base_ + from),
                          static_cast<off_t>(flushed_ + fill_ - from), SYNC_FILE_RANGE_WRITE);
    }
    flushed_ += fill_;
    fill_ = 0;
}

void stg_spool::make_room(size_t n) {
    if (n > k_buffer)
        throw tk_mail_assertion("stg_tmp", __LINE__);
    if (!buf_) {
        buf_.reset(new uint8_t[k_buffer]);
        return;
    }
    flush();
}

void stg_spool::append(const void* data, size_t n) {
    const auto* p = static_cast<const uint8_t*>(data);
    while (n > 0) {
        const size_t k = std::min(n, k_buffer);
        uint8_t* d = reserve(k);
        const size_t room = std::min(k, k_buffer - fill_);
        std::memcpy(d, p, room);
        commit(room);
        p += room;
        n -= room;
    }
}

void stg_spool::read_at(uint64_t off, void* dst, size_t n) const {
    if (off > size() || n > size() - off)
        throw tk_mail_assertion("stg_tmp", __LINE__);
    auto* d = static_cast<uint8_t*>(dst);
    if (off < flushed_) {
        const size_t k = static_cast<size_t>(std::min<uint64_t>(n, flushed_ - off));
        pread_whole(fd_, d, k, base_ + off);
        d += k;
        off += k;
        n -= k;
    }
    if (n > 0)
        std::memcpy(d, buf_.get() + (off - flushed_), n);
}

void stg_spool::patch(uint64_t off, const void* data, size_t n) {
    if (off > size() || n > size() - off)
        throw tk_mail_assertion("stg_tmp", __LINE__);
    const auto* p = static_cast<const uint8_t*>(data);
    if (off < flushed_) {
        const size_t k = static_cast<size_t>(std::min<uint64_t>(n, flushed_ - off));
        pwrite_whole(fd_, p, k, base_ + off);
        p += k;
        off += k;
        n -= k;
    }
    if (n > 0)
        std::memcpy(buf_.get() + (off - flushed_), p, n);
}

void stg_spool::move_to(uint64_t offset) {
    if (!external_)
        throw tk_mail_assertion("stg_tmp", __LINE__);
    if (offset == base_)
        return;
    // Piece by piece from the end that the move cannot overwrite first.
    std::unique_ptr<uint8_t[]> piece(new uint8_t[k_buffer]);
    const bool up = offset > base_;
    uint64_t done = 0;
    while (done < flushed_) {
        const size_t k = static_cast<size_t>(std::min<uint64_t>(k_buffer, flushed_ - done));
        const uint64_t at = up ? flushed_ - done - k : done;
        pread_whole(fd_, piece.get(), k, base_ + at);
        pwrite_whole(fd_, piece.get(), k, offset + at);
        done += k;
    }
    // Moved down, the old end would stay behind the bytes; the file holds
    // nothing else yet.
    if (!up && ::ftruncate(fd_, static_cast<off_t>(offset + flushed_)) != 0)
        throw tk_write_failure();
    base_ = offset;
}

void stg_spool::forget() {
    if (!external_)
        throw tk_mail_assertion("stg_tmp", __LINE__);
    fd_ = -1;
    external_ = false;
    base_ = 0;
    fill_ = 0;
    flushed_ = 0;
}

void stg_spool::clear() {
    if (external_)
        throw tk_mail_assertion("stg_tmp", __LINE__);  // the file is not ours to empty
    fill_ = 0;
    flushed_ = 0;
    if (fd_ >= 0 && ::ftruncate(fd_, 0) != 0)
        throw tk_write_failure();
}

// ---- reading in order ----

void stg_spool_reader::refill(size_t need) {
    if (!buf_)
        buf_.reset(new uint8_t[stg_spool::k_buffer]);
    if (at_ > 0) {
        std::memmove(buf_.get(), buf_.get() + at_, end_ - at_);
        end_ -= at_;
        at_ = 0;
    }
    const size_t want =
        static_cast<size_t>(std::min<uint64_t>(stg_spool::k_buffer - end_, s_.size() - pos_));
    if (end_ + want < need)
        throw tk_mail_assertion("stg_tmp", __LINE__);
    s_.read_at(pos_, buf_.get() + end_, want);
    pos_ += want;
    end_ += want;
}

const uint8_t* stg_spool_reader::take(size_t n) {
    if (end_ - at_ < n) {
        // What is still in the spool's memory is handed out from there.
        if (at_ == end_ && pos_ >= s_.flushed_ && n <= s_.size() - pos_) {
            const uint8_t* p = s_.buf_.get() + (pos_ - s_.flushed_);
            pos_ += n;
            return p;
        }
        refill(n);
    }
    const uint8_t* p = buf_.get() + at_;
    at_ += n;
    return p;
}

const uint8_t* stg_spool_reader::take_some(size_t n, size_t& got) {
    if (at_ == end_) {
        if (pos_ >= s_.flushed_) {
            got = static_cast<size_t>(std::min<uint64_t>(n, s_.size() - pos_));
            const uint8_t* p = s_.buf_.get() + (pos_ - s_.flushed_);
            pos_ += got;
            return p;
        }
        refill(1);
    }
    got = std::min(n, end_ - at_);
    const uint8_t* p = buf_.get() + at_;
    at_ += got;
    return p;
}
