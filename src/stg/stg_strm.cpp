// Reading and overwriting the bytes of one stream through its sector chain.
#include <algorithm>

#include "stg/stg_file.h"
#include "stg/stg_format.h"

stg_stream::stg_stream(stg_file& file, std::u16string name, uint64_t size, bool mini,
                       std::vector<uint32_t> chain)
    : file_(&file), name_(std::move(name)), size_(size), mini_(mini), chain_(std::move(chain)) {}

stg_stream::~stg_stream() = default;

uint64_t stg_stream::locate(uint64_t off, uint64_t want, uint64_t* run) const {
    const uint32_t shift = file_->shift_;
    const uint64_t ssz = 1ull << shift;
    if (!mini_) {
        size_t i = static_cast<size_t>(off >> shift);
        uint64_t in = off & (ssz - 1);
        // Extend over consecutive sectors so large reads take one call.
        uint64_t len = ssz - in;
        size_t j = i + 1;
        while (len < want && j < chain_.size() && chain_[j] == chain_[j - 1] + 1) {
            len += ssz;
            ++j;
        }
        *run = len;
        return file_->sector_offset(chain_[i]) + in;
    }
    // Mini sector -> offset in the mini stream -> regular sector holding it.
    // A mini sector (64 bytes) never straddles a regular sector.
    size_t i = static_cast<size_t>(off / stg::kMiniSectorSize);
    uint64_t in = off % stg::kMiniSectorSize;
    uint64_t moff = static_cast<uint64_t>(chain_[i]) * stg::kMiniSectorSize + in;
    *run = stg::kMiniSectorSize - in;
    return file_->sector_offset(file_->mini_chain_[static_cast<size_t>(moff >> shift)]) +
           (moff & (ssz - 1));
}

size_t stg_stream::read_at(uint64_t off, void* buf, size_t n) {
    if (off >= size_)
        return 0;
    uint64_t left = std::min<uint64_t>(n, size_ - off);
    auto* p = static_cast<uint8_t*>(buf);
    size_t done = 0;
    while (left > 0) {
        uint64_t run;
        uint64_t at = locate(off, left, &run);
        size_t k = static_cast<size_t>(std::min(run, left));
        file_->pread_zero(at, p + done, k);
        done += k;
        off += k;
        left -= k;
    }
    return done;
}

void stg_stream::write_at(uint64_t off, const void* buf, size_t n) {
    if (!file_->read_write_) {
        throw stg_error(stg_errc::access_denied, "Compound file is open read-only");
    }
    if (off > size_ || n > size_ - off) {
        throw stg_error(stg_errc::too_large, "Write past the end of a stream");
    }
    const auto* p = static_cast<const uint8_t*>(buf);
    uint64_t left = n;
    while (left > 0) {
        uint64_t run;
        uint64_t at = locate(off, left, &run);
        size_t k = static_cast<size_t>(std::min(run, left));
        file_->pwrite_all(at, p, k);
        p += k;
        off += k;
        left -= k;
    }
}

size_t stg_stream::read(void* buf, size_t n) {
    size_t k = read_at(pos_, buf, n);
    pos_ += k;
    return k;
}

void stg_stream::write(const void* buf, size_t n) {
    write_at(pos_, buf, n);
    pos_ += n;
}
