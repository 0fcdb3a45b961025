#include "jet/jet_recrd.h"

#include <algorithm>
#include <cstring>

#include "TK/tk_coding.h"
#include "jet/jet_error.h"

namespace {
constexpr size_t k_buffer = 256 * 1024;  // holds any record (at most 65,539 bytes)
}

jet_rec_reader::jet_rec_reader(source src, uint64_t size, uint64_t start)
    : src_(std::move(src)), size_(size), buf_(k_buffer), next_(start) {}

void jet_rec_reader::seek(uint64_t pos) {
    next_ = pos;
}

bool jet_rec_reader::next() {
    if (next_ + 4 > size_)
        return false;
    // Make [next_, next_ + 4 + body) available in the buffer.
    auto ensure = [&](size_t need) {
        if (next_ >= buf_pos_ && next_ + need <= buf_pos_ + buf_len_)
            return;
        const size_t want = static_cast<size_t>(std::min<uint64_t>(k_buffer, size_ - next_));
        size_t got = 0;
        while (got < want) {
            size_t n = src_(next_ + got, buf_.data() + got, want - got);
            if (n == 0)
                break;
            got += n;
        }
        buf_pos_ = next_;
        buf_len_ = got;
        if (got < need)
            throw jet_error::make(jet_errno::bad_format);
    };
    ensure(4);
    const uint8_t* h = buf_.data() + (next_ - buf_pos_);
    const uint16_t id = tk::get_u16(h);
    const uint16_t len = tk::get_u16(h + 2);
    if (next_ + 4 + len > size_)
        throw jet_error::make(jet_errno::bad_format);
    ensure(4 + size_t(len));
    at_ = static_cast<size_t>(next_ - buf_pos_);
    pos_ = next_;
    id_ = id;
    len_ = len;
    next_ = pos_ + 4 + len;
    return true;
}
