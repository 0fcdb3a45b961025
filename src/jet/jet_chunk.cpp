#include "jet/jet_chunk.h"

#include <algorithm>
#include <cstring>

void jet_chunks::add_chunk() {
    chunks_.emplace_back(new uint8_t[k_chunk]);
    used_.push_back(0);
}

void jet_chunks::append(const void* data, size_t n) {
    const auto* p = static_cast<const uint8_t*>(data);
    while (n > 0) {
        if (chunks_.empty() || used_.back() == k_chunk)
            add_chunk();
        size_t take = std::min(n, k_chunk - used_.back());
        std::memcpy(chunks_.back().get() + used_.back(), p, take);
        used_.back() += take;
        size_ += take;
        p += take;
        n -= take;
    }
}

void jet_chunks::clear() {
    chunks_.clear();
    used_.clear();
    size_ = 0;
}
