#include "stg/stg_write.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "TK/tk_coding.h"
#include "TK/tk_log.h"
#include "stg/stg_format.h"
#include "stg/stg_name.h"

namespace {

constexpr uint32_t kSector = 512;
constexpr uint32_t kPerFatSector = kSector / 4;          // 128 FAT entries
constexpr uint32_t kPerDifatSector = kPerFatSector - 1;  // 127 + the next link

uint64_t sectors_for(uint64_t bytes) {
    return (bytes + kSector - 1) / kSector;
}

}  // namespace

stg_writer::stg_writer(tk::sink& out) : out_(out), base_(out.size()) {
    uint8_t zero[stg::kHeaderSize] = {};
    out_.write(zero, sizeof zero);
}

void stg_writer::set_root_clsid(const uint8_t clsid[16]) {
    std::memcpy(clsid_, clsid, 16);
}

void stg_writer::write_zeros(uint64_t n) {
    static const uint8_t zero[kSector] = {};
    while (n > 0) {
        size_t k = static_cast<size_t>(std::min<uint64_t>(n, sizeof zero));
        out_.write(zero, k);
        n -= k;
    }
}

void stg_writer::begin_stream(const std::u16string& name) {
    if (open_ || finished_)
        throw std::logic_error("stg_writer: a stream is already open");
    if (!stg::valid_name(name))
        throw std::logic_error("stg_writer: invalid stream name");
    for (const entry& e : entries_) {
        if (stg::same_name(e.name, name))
            throw std::logic_error("stg_writer: duplicate stream");
    }
    tk_wtrace(1, u"stg_writer::begin_stream(%s)", name.c_str());
    entries_.push_back({name, stg::kEndOfChain, 0});
    open_ = true;
    regular_ = false;
    pos_ = 0;
    pending_.clear();
    pending_.reserve(stg::kMiniStreamCutoff);
}

void stg_writer::commit_regular() {
    first_ = static_cast<uint32_t>(fat_.size());
    regular_ = true;
    out_.write(pending_.data(), pending_.size());
    pending_.clear();
    pending_.shrink_to_fit();
}

void stg_writer::write(const void* data, size_t n) {
    if (!open_)
        throw std::logic_error("stg_writer: no stream open");
    if (n > stg::kMaxStreamSize3 - pos_) {
        throw stg_error(stg_errc::too_large, "Stream reaches the 2 GiB limit of the file format");
    }
    const auto* p = static_cast<const uint8_t*>(data);
    if (!regular_) {
        if (pending_.size() + n < stg::kMiniStreamCutoff) {
            pending_.insert(pending_.end(), p, p + n);
            pos_ += n;
            return;
        }
        commit_regular();
    }
    out_.write(p, n);
    pos_ += n;
}

void stg_writer::skip(uint64_t n) {
    if (!open_)
        throw std::logic_error("stg_writer: no stream open");
    if (n > stg::kMaxStreamSize3 - pos_) {
        throw stg_error(stg_errc::too_large, "Stream reaches the 2 GiB limit of the file format");
    }
    if (!regular_)
        commit_regular();
    out_.skip(n);
    pos_ += n;
}

uint64_t stg_writer::file_offset(uint64_t stream_off) const {
    // Streams are written contiguously: the current one's sectors begin at
    // the next free sector when it turned regular, at the latest now.
    const uint32_t first = regular_ ? first_ : static_cast<uint32_t>(fat_.size());
    return sector_pos(first) + stream_off;
}

void stg_writer::patch(uint64_t stream_off, const void* data, size_t n) {
    if (!open_ || stream_off > pos_ || n > pos_ - stream_off) {
        throw std::logic_error("stg_writer: patch outside the bytes written");
    }
    if (!regular_) {
        std::memcpy(pending_.data() + stream_off, data, n);
    } else {
        out_.write_at(sector_pos(first_) + stream_off, data, n);
    }
}

void stg_writer::end_stream() {
    if (!open_)
        throw std::logic_error("stg_writer: no stream open");
    entry& e = entries_.back();
    e.size = pos_;
    if (!regular_) {
        if (pos_ > 0) {
            uint32_t first = static_cast<uint32_t>(minifat_.size());
            uint32_t count = static_cast<uint32_t>((pos_ + 63) / 64);
            for (uint32_t i = 1; i < count; ++i) minifat_.push_back(first + i);
            minifat_.push_back(stg::kEndOfChain);
            mini_.insert(mini_.end(), pending_.begin(), pending_.end());
            mini_.resize(static_cast<size_t>(first + count) * stg::kMiniSectorSize, 0);
            e.start = first;
        }
        pending_.clear();
    } else {
        uint64_t count = sectors_for(pos_);
        write_zeros(count * kSector - pos_);
        for (uint64_t i = 1; i < count; ++i) fat_.push_back(static_cast<uint32_t>(first_ + i));
        fat_.push_back(stg::kEndOfChain);
        e.start = first_;
    }
    open_ = false;
}

void stg_writer::add_stream(const std::u16string& name, const void* data, size_t n) {
    begin_stream(name);
    write(data, n);
    end_stream();
}

void stg_writer::write_u32_sectors(const std::vector<uint32_t>& words) {
    // Callers pass whole sectors' worth of words.
    uint8_t buf[kSector * 16];
    size_t i = 0;
    while (i < words.size()) {
        size_t k = std::min<size_t>(words.size() - i, sizeof buf / 4);
        for (size_t j = 0; j < k; ++j) tk::put_u32(buf + 4 * j, words[i + j]);
        out_.write(buf, 4 * k);
        i += k;
    }
}

namespace {

// Builds a balanced binary tree over sorted[lo, hi) and colours it red-black:
// every level but the last is full, so the nodes of an incomplete last level
// are red and all others black. Returns the subtree's root id.
uint32_t build_tree(const std::vector<uint32_t>& sorted, size_t lo, size_t hi, int depth,
                    int red_depth, std::vector<uint32_t>& left, std::vector<uint32_t>& right,
                    std::vector<uint8_t>& color) {
    if (lo >= hi)
        return stg::kNoStream;
    size_t mid = lo + (hi - lo) / 2;
    uint32_t id = sorted[mid];
    left[id] = build_tree(sorted, lo, mid, depth + 1, red_depth, left, right, color);
    right[id] = build_tree(sorted, mid + 1, hi, depth + 1, red_depth, left, right, color);
    color[id] = depth == red_depth ? stg::kColorRed : stg::kColorBlack;
    return id;
}

void put_dir_entry(uint8_t* e, std::u16string_view name, uint8_t type, uint8_t color, uint32_t left,
                   uint32_t right, uint32_t child, uint32_t start, uint64_t size) {
    std::memset(e, 0, stg::kDirEntrySize);
    for (size_t i = 0; i < name.size(); ++i) tk::put_u16(e + 2 * i, name[i]);
    tk::put_u16(e + stg::kOffDirNameLength, static_cast<uint16_t>((name.size() + 1) * 2));
    e[stg::kOffDirType] = type;
    e[stg::kOffDirColor] = color;
    tk::put_u32(e + stg::kOffDirLeft, left);
    tk::put_u32(e + stg::kOffDirRight, right);
    tk::put_u32(e + stg::kOffDirChild, child);
    tk::put_u32(e + stg::kOffDirStart, start);
    tk::put_u64(e + stg::kOffDirSize, size);
}

}  // namespace

void stg_writer::write_directory() {
    const size_t n = entries_.size() + 1;  // with the root, id 0
    std::vector<uint32_t> sorted(entries_.size());
    for (size_t i = 0; i < sorted.size(); ++i) sorted[i] = static_cast<uint32_t>(i + 1);
    std::sort(sorted.begin(), sorted.end(), [&](uint32_t a, uint32_t b) {
        return stg::compare_names(entries_[a - 1].name, entries_[b - 1].name) < 0;
    });
    std::vector<uint32_t> left(n, stg::kNoStream), right(n, stg::kNoStream);
    std::vector<uint8_t> color(n, stg::kColorBlack);
    // Levels 0 .. full-1 are complete; a node at depth `full` is on the
    // incomplete last level (if there is one).
    int full = 0;
    while ((size_t{2} << full) - 1 <= sorted.size()) ++full;
    uint32_t top = build_tree(sorted, 0, sorted.size(), 0, full, left, right, color);

    std::vector<uint8_t> buf(sectors_for(n * stg::kDirEntrySize) * kSector, 0);
    put_dir_entry(buf.data(), u"Root Entry", stg::kTypeRoot, stg::kColorBlack, stg::kNoStream,
                  stg::kNoStream, top, root_start_, root_size_);
    std::memcpy(buf.data() + stg::kOffDirClsid, clsid_, 16);
    for (size_t i = 0; i < entries_.size(); ++i) {
        const entry& e = entries_[i];
        put_dir_entry(buf.data() + (i + 1) * stg::kDirEntrySize, e.name, stg::kTypeStream,
                      color[i + 1], left[i + 1], right[i + 1], stg::kNoStream, e.start, e.size);
    }
    for (size_t i = n; i < buf.size() / stg::kDirEntrySize; ++i) {
        uint8_t* e = buf.data() + i * stg::kDirEntrySize;
        tk::put_u32(e + stg::kOffDirLeft, stg::kNoStream);
        tk::put_u32(e + stg::kOffDirRight, stg::kNoStream);
        tk::put_u32(e + stg::kOffDirChild, stg::kNoStream);
    }
    out_.write(buf.data(), buf.size());
}

void stg_writer::finish() {
    if (open_ || finished_)
        throw std::logic_error("stg_writer: finish out of order");
    tk_trace(1, "stg_writer::finish (%zu streams)", entries_.size());
    finished_ = true;

    // Mini stream container and mini FAT.
    uint32_t first_minifat = stg::kEndOfChain, num_minifat = 0;
    if (!mini_.empty()) {
        root_start_ = static_cast<uint32_t>(fat_.size());
        root_size_ = mini_.size();
        out_.write(mini_.data(), mini_.size());
        uint64_t count = sectors_for(mini_.size());
        write_zeros(count * kSector - mini_.size());
        for (uint64_t i = 1; i < count; ++i) fat_.push_back(static_cast<uint32_t>(root_start_ + i));
        fat_.push_back(stg::kEndOfChain);

        first_minifat = static_cast<uint32_t>(fat_.size());
        num_minifat = static_cast<uint32_t>((minifat_.size() + kPerFatSector - 1) / kPerFatSector);
        minifat_.resize(size_t{num_minifat} * kPerFatSector, stg::kFreeSect);
        write_u32_sectors(minifat_);
        for (uint32_t i = 1; i < num_minifat; ++i) fat_.push_back(first_minifat + i);
        fat_.push_back(stg::kEndOfChain);
    }

    // Sizes of the tables: the FAT must also cover its own sectors, the
    // DIFAT sectors and the directory.
    const uint64_t data = fat_.size();
    const uint64_t dir = sectors_for((entries_.size() + 1) * stg::kDirEntrySize);
    uint64_t nfat = (data + dir + kPerFatSector - 2) / (kPerFatSector - 1);
    uint64_t ndifat = 0;
    for (;;) {
        ndifat = nfat > stg::kHeaderDifatCount
                     ? (nfat - stg::kHeaderDifatCount + kPerDifatSector - 1) / kPerDifatSector
                     : 0;
        if (nfat * kPerFatSector >= data + nfat + ndifat + dir)
            break;
        ++nfat;
    }
    if (data + nfat + ndifat + dir >= stg::kMaxRegSect) {
        throw stg_error(stg_errc::too_large, "Compound file too large");
    }
    const uint32_t fat_start = static_cast<uint32_t>(data);
    const uint32_t difat_start = static_cast<uint32_t>(data + nfat);
    const uint32_t dir_start = static_cast<uint32_t>(data + nfat + ndifat);

    for (uint64_t i = 0; i < nfat; ++i) fat_.push_back(stg::kFatSect);
    for (uint64_t i = 0; i < ndifat; ++i) fat_.push_back(stg::kDifSect);
    for (uint64_t i = 1; i < dir; ++i) fat_.push_back(static_cast<uint32_t>(dir_start + i));
    fat_.push_back(stg::kEndOfChain);
    fat_.resize(nfat * kPerFatSector, stg::kFreeSect);
    write_u32_sectors(fat_);

    if (ndifat > 0) {
        std::vector<uint32_t> difat(ndifat * kPerFatSector, stg::kFreeSect);
        for (uint64_t f = stg::kHeaderDifatCount; f < nfat; ++f) {
            uint64_t k = f - stg::kHeaderDifatCount;
            difat[(k / kPerDifatSector) * kPerFatSector + k % kPerDifatSector] =
                static_cast<uint32_t>(fat_start + f);
        }
        for (uint64_t s = 0; s < ndifat; ++s) {
            difat[s * kPerFatSector + kPerDifatSector] =
                s + 1 < ndifat ? static_cast<uint32_t>(difat_start + s + 1) : stg::kEndOfChain;
        }
        write_u32_sectors(difat);
    }

    write_directory();

    uint8_t h[stg::kHeaderSize] = {};
    std::memcpy(h, stg::kSignature, sizeof stg::kSignature);
    tk::put_u16(h + stg::kOffMinorVersion, stg::kMinorVersion);
    tk::put_u16(h + stg::kOffMajorVersion, stg::kMajorVersion3);
    tk::put_u16(h + stg::kOffByteOrder, stg::kByteOrderMark);
    tk::put_u16(h + stg::kOffSectorShift, stg::kSectorShift3);
    tk::put_u16(h + stg::kOffMiniSectorShift, stg::kMiniSectorShift);
    tk::put_u32(h + stg::kOffNumFatSectors, static_cast<uint32_t>(nfat));
    tk::put_u32(h + stg::kOffFirstDirSector, dir_start);
    tk::put_u32(h + stg::kOffMiniCutoff, stg::kMiniStreamCutoff);
    tk::put_u32(h + stg::kOffFirstMiniFat, first_minifat);
    tk::put_u32(h + stg::kOffNumMiniFat, num_minifat);
    tk::put_u32(h + stg::kOffFirstDifat, ndifat > 0 ? difat_start : stg::kEndOfChain);
    tk::put_u32(h + stg::kOffNumDifat, static_cast<uint32_t>(ndifat));
    for (uint32_t i = 0; i < stg::kHeaderDifatCount; ++i) {
        tk::put_u32(h + stg::kOffHeaderDifat + 4 * i, i < nfat ? fat_start + i : stg::kFreeSect);
    }
    out_.write_at(base_, h, sizeof h);
}
