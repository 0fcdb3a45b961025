// Buffered output of a workbook stream. Records are assembled here and
// handed on in large pieces to the target (the compound-file writer, or a
// vector in tests and for the built-in images); `pos` is the position in the
// workbook stream, which BOUNDSHEET, INDEX and EXTSST records store.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <vector>

#include "TK/tk_coding.h"

class jet_out {
  public:
    using target = std::function<void(const uint8_t*, size_t)>;
    // `start` is the stream position of the first byte written through this
    // object (0 unless something was written before).
    explicit jet_out(target t, uint64_t start = 0);
    ~jet_out() = default;
    jet_out(const jet_out&) = delete;
    jet_out& operator=(const jet_out&) = delete;

    uint64_t pos() const { return flushed_ + fill_; }

    void write(const void* data, size_t n) {
        if (n <= k_buf - fill_) {
            std::memcpy(buf_.data() + fill_, data, n);
            fill_ += n;
        } else {
            write_slow(data, n);
        }
    }
    void u8(uint8_t v) { write(&v, 1); }
    void u16(uint16_t v) {
        uint8_t b[2];
        tk::put_u16(b, v);
        write(b, 2);
    }
    void u32(uint32_t v) {
        uint8_t b[4];
        tk::put_u32(b, v);
        write(b, 4);
    }
    // One record: header and body.
    void record(uint16_t id, const void* body, size_t n) {
        uint8_t h[4];
        tk::put_u16(h, id);
        tk::put_u16(h + 2, static_cast<uint16_t>(n));
        write(h, 4);
        write(body, n);
    }
    // A record whose body is written piecewise through write() and whose
    // length is filled in by end_record: the body (at most max_body bytes,
    // max_body < 1 MiB) is assembled in place, in this buffer, which makes
    // room for all of it here so that nothing is flushed in between.
    void begin_record(uint16_t id, size_t max_body) {
        if (k_buf - fill_ < 4 + max_body)
            flush();
        rec_at_ = fill_;
        u16(id);
        u16(0);
    }
    // Bytes of the open record's body so far.
    size_t record_body() const { return fill_ - rec_at_ - 4; }
    void end_record() {
        tk::put_u16(buf_.data() + rec_at_ + 2, static_cast<uint16_t>(record_body()));
    }
    // Hands everything buffered to the target.
    void flush();
    // For a target that already holds the next n bytes (written into its
    // file beforehand): flushes, then has the target pass over them.
    using skipper = std::function<void(uint64_t)>;
    void set_skipper(skipper s) { skip_ = std::move(s); }
    void skip(uint64_t n);

  private:
    // Large enough that a full buffer goes to a file sink's write as it is,
    // without passing through the sink's own buffer.
    static constexpr size_t k_buf = size_t(1) << 20;
    void write_slow(const void* data, size_t n);
    target target_;
    skipper skip_;
    std::vector<uint8_t> buf_;
    size_t fill_ = 0;
    size_t rec_at_ = 0;  // the open record's header in buf_
    uint64_t flushed_;
};

// Builds records into a growable buffer:
//   { jet_rec r(buf, biff::k_codepage); r.u16(1252); }  // length set on scope exit
class jet_rec {
  public:
    jet_rec(std::vector<uint8_t>& out, uint16_t id) : out_(out), start_(out.size()) {
        tk::append_u16(out_, id);
        tk::append_u16(out_, 0);
    }
    ~jet_rec() {
        tk::put_u16(out_.data() + start_ + 2, static_cast<uint16_t>(out_.size() - start_ - 4));
    }
    jet_rec(const jet_rec&) = delete;
    jet_rec& operator=(const jet_rec&) = delete;

    jet_rec& u8(uint8_t v) {
        out_.push_back(v);
        return *this;
    }
    jet_rec& u16(uint16_t v) {
        tk::append_u16(out_, v);
        return *this;
    }
    jet_rec& u32(uint32_t v) {
        tk::append_u32(out_, v);
        return *this;
    }
    jet_rec& f64(double v) {
        tk::append_f64(out_, v);
        return *this;
    }
    jet_rec& bytes(const void* p, size_t n) {
        tk::append_bytes(out_, p, n);
        return *this;
    }
    jet_rec& zeros(size_t n) {
        out_.insert(out_.end(), n, 0);
        return *this;
    }
    // Bytes written as hex pairs, spaces ignored: "F5 FF 20 00".
    jet_rec& hex(const char* h);
    size_t body_size() const { return out_.size() - start_ - 4; }

  private:
    std::vector<uint8_t>& out_;
    size_t start_;
};
