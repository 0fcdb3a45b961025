// An append-only byte store made of fixed-size chunks. Growing never moves
// or copies what is stored (a growing vector would briefly hold twice its
// size while it reallocates), so a workbook's sheets can be kept in memory
// at their own size until the file is written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

class jet_chunks {
  public:
    static constexpr size_t k_chunk = size_t(1) << 20;

    // Room for n contiguous bytes at the end (n <= k_chunk); starts a new
    // chunk when the current one has less room. The bytes become part of
    // the store only with `commit`; until then the pointer stays valid.
    uint8_t* reserve(size_t n) {
        if (chunks_.empty() || k_chunk - used_.back() < n)
            add_chunk();
        return chunks_.back().get() + used_.back();
    }
    // Keeps the first n bytes of the last `reserve`.
    void commit(size_t n) {
        used_.back() += n;
        size_ += n;
    }
    // Copies n bytes (any length) to the end.
    void append(const void* data, size_t n);

    uint64_t size() const { return size_; }
    size_t chunk_count() const { return chunks_.size(); }
    const uint8_t* chunk(size_t i) const { return chunks_[i].get(); }
    size_t chunk_used(size_t i) const { return used_[i]; }
    void clear();

  private:
    void add_chunk();
    std::vector<std::unique_ptr<uint8_t[]>> chunks_;
    std::vector<size_t> used_;
    uint64_t size_ = 0;
};
