// Sequential reading of BIFF records from a workbook stream (or any byte
// source), through a buffer, so that walking records costs one read per
// buffer rather than one per record. A record whose body runs past the end
// of the data is reported as jet_error 3274.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

class jet_rec_reader {
  public:
    // Reads up to n bytes at `off`; returns the count (short only at the end).
    using source = std::function<size_t(uint64_t off, void* buf, size_t n)>;

    jet_rec_reader(source src, uint64_t size, uint64_t start = 0);

    // Moves to the next record. False when fewer than 4 bytes remain (the
    // end of the stream, or zero padding after the last record).
    bool next();
    void seek(uint64_t pos);

    uint16_t id() const { return id_; }
    uint16_t len() const { return len_; }
    const uint8_t* body() const { return buf_.data() + at_ + 4; }
    const uint8_t* raw() const { return buf_.data() + at_; }  // header + body
    uint64_t pos() const { return pos_; }                     // of the record's header
    uint64_t end() const { return pos_ + 4 + len_; }
    uint64_t size() const { return size_; }

  private:
    source src_;
    uint64_t size_;
    std::vector<uint8_t> buf_;
    uint64_t buf_pos_ = 0;  // stream position of buf_[0]
    size_t buf_len_ = 0;
    size_t at_ = 0;  // current record in buf_
    uint64_t pos_ = 0;
    uint64_t next_;
    uint16_t id_ = 0, len_ = 0;
};
