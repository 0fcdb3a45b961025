#include "jet/jet_out.h"

#include "TK/tk_excep.h"

jet_out::jet_out(target t, uint64_t start) : target_(std::move(t)), buf_(k_buf), flushed_(start) {}

void jet_out::flush() {
    if (fill_ == 0)
        return;
    target_(buf_.data(), fill_);
    flushed_ += fill_;
    fill_ = 0;
}

void jet_out::skip(uint64_t n) {
    if (!skip_)
        throw tk_mail_assertion("jet_out", __LINE__);
    flush();
    if (n == 0)
        return;
    skip_(n);
    flushed_ += n;
}

void jet_out::write_slow(const void* data, size_t n) {
    flush();
    if (n >= k_buf) {
        target_(static_cast<const uint8_t*>(data), n);
        flushed_ += n;
        return;
    }
    std::memcpy(buf_.data(), data, n);
    fill_ = n;
}

static int hex_digit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

jet_rec& jet_rec::hex(const char* h) {
    int hi = -1;
    for (; *h; ++h) {
        int d = hex_digit(*h);
        if (d < 0)
            continue;
        if (hi < 0) {
            hi = d;
        } else {
            out_.push_back(static_cast<uint8_t>(hi << 4 | d));
            hi = -1;
        }
    }
    return *this;
}
