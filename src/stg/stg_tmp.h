// Spooling: bytes written once, in order, and read back when a file is
// assembled, kept in an unnamed temporary file so that what a writer holds in
// memory does not grow with what it writes.
//
// The file is made only when the first MiB (the buffer) is full, so small
// spools never touch the disk. It is unnamed from the start (O_TMPFILE in
// the given folder; else a mkstemp name there, unlinked at once; else the C
// library's tmpfile()): nothing is left behind when the process dies, and
// nothing appears among the destination's files. The destination's folder is
// preferred to /tmp because /tmp may be a RAM file system, and the folder
// must have room for the finished file anyway.
//
// Failures of the file system throw tk_write_failure (errno kept): the
// spool is part of the output being written. Single-threaded; a spool is neither copied nor
// shared.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>

class stg_spool {
  public:
    static constexpr size_t k_buffer = size_t(1) << 20;
    static constexpr uint64_t k_writeback = uint64_t(8) << 20;

    // `folder`: where the temporary file goes first; empty: tmpfile().
    explicit stg_spool(std::string folder = {});
    ~stg_spool();
    stg_spool(const stg_spool&) = delete;
    stg_spool& operator=(const stg_spool&) = delete;

    // Room for n contiguous bytes at the end (n <= k_buffer). The pointer
    // stays valid until the next reserve, append, read or clear; the bytes
    // become part of the spool only with `commit`.
    uint8_t* reserve(size_t n) {
        if (!buf_ || k_buffer - fill_ < n)
            make_room(n);
        return buf_.get() + fill_;
    }
    void commit(size_t n) { fill_ += n; }
    void append(const void* data, size_t n);

    // Changes the folder of a spool whose file is not made yet.
    void set_folder(std::string folder) { folder_ = std::move(folder); }

    // Where the bytes go instead of a file of the spool's own: a descriptor
    // the caller keeps open (the spool never closes it) and the offset at
    // which the spool's first byte is to lie. Asked once, when the buffer
    // first overflows; nothing: the spool makes its own file.
    struct place {
        int fd;
        uint64_t offset;
    };
    using placer = std::function<std::optional<place>()>;
    void place_with(placer p) { placer_ = std::move(p); }
    // Whether the bytes went to a placer's descriptor, and from which offset.
    bool placed() const { return external_; }
    uint64_t placed_at() const { return base_; }
    // Moves the bytes already in the placer's file to `offset` in it (the
    // two ranges may overlap); later bytes follow from there.
    void move_to(uint64_t offset);
    // Bytes already in the file, as opposed to those still in memory.
    uint64_t flushed() const { return flushed_; }
    const uint8_t* memory() const { return buf_.get(); }
    // Overwrites [off, off + n) of what was written; off + n <= size().
    void patch(uint64_t off, const void* data, size_t n);
    // Lets go of a placer's descriptor: the spool is empty afterwards.
    void forget();

    uint64_t size() const { return flushed_ + fill_; }
    // The bytes [off, off + n) when they are still in memory, else null.
    const uint8_t* peek(uint64_t off, size_t n) const {
        return off >= flushed_ && off + n <= size() ? buf_.get() + (off - flushed_) : nullptr;
    }
    // Copies [off, off + n) into dst; off + n <= size().
    void read_at(uint64_t off, void* dst, size_t n) const;
    // Forgets everything (the file is kept for reuse, emptied).
    void clear();

  private:
    friend class stg_spool_reader;
    void make_room(size_t n);
    void flush();
    void open_file();

    std::string folder_;
    int fd_ = -1;
    std::FILE* tmp_ = nullptr;  // when the file came from tmpfile()
    placer placer_;
    bool external_ = false;  // fd_ belongs to the placer
    uint64_t base_ = 0;      // file offset of the spool's first byte
    std::unique_ptr<uint8_t[]> buf_;
    size_t fill_ = 0;
    uint64_t flushed_ = 0;  // bytes in the file
};

// Reads a spool from the start, in order, through its own buffer. The spool
// must not change while read.
class stg_spool_reader {
  public:
    explicit stg_spool_reader(const stg_spool& s) : s_(s) {}
    uint64_t left() const { return s_.size() - pos_ + (end_ - at_); }
    // The next n contiguous bytes (n <= stg_spool::k_buffer, n <= left()).
    const uint8_t* take(size_t n);
    // The next at most n bytes, as many as are at hand (at least 1 when
    // left() > 0); `got` receives the count.
    const uint8_t* take_some(size_t n, size_t& got);

  private:
    void refill(size_t need);
    const stg_spool& s_;
    std::unique_ptr<uint8_t[]> buf_;
    size_t at_ = 0, end_ = 0;  // unread bytes in buf_
    uint64_t pos_ = 0;         // spool position of buf_[end_]
};
