#include "jet/jet_sst.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>

#include "TK/tk_coding.h"
#include "TK/tk_excep.h"
#include "jet/biff_format.h"
#include "jet/jet_error.h"
#include "jet/jet_out.h"
#include "jet/jet_units.h"

namespace {

size_t entry_len(const uint8_t* e) {
    return 3 + size_t(tk::get_u16(e)) * ((e[2] & biff::k_str_16bit) ? 2 : 1);
}

// Two lanes take the 16-byte steps' halves, so that their multiplications
// overlap instead of waiting for each other (texts run to hundreds of
// characters, and most of them are new: every one is hashed). The hash is
// of the UTF-16 units, not of the stored form, so that it can be known (and
// its slot fetched) before the text is stored.
// `surrogates` tells whether a unit is a surrogate half (checked on the way,
// four lanes a word, since the stored form replaces lone ones).
uint32_t hash_units(const char16_t* s, size_t units, bool& surrogates) {
    constexpr uint64_t m1 = 0xFF51AFD7ED558CCDull;
    constexpr uint64_t m2 = 0xC4CEB9FE1A85EC53ull;
    const auto* p = reinterpret_cast<const uint8_t*>(s);
    size_t n = 2 * units;
    uint64_t a = 0x9E3779B97F4A7C15ull ^ n;
    uint64_t b = 0x2545F4914F6CDD1Dull;
    bool seen = false;
    while (n >= 16) {
        uint64_t w1, w2;
        std::memcpy(&w1, p, 8);
        std::memcpy(&w2, p + 8, 8);
        seen |= jet_any_surrogate(w1) | jet_any_surrogate(w2);
        a = (a ^ w1) * m1;
        b = (b ^ w2) * m2;
        a ^= a >> 29;
        b ^= b >> 29;
        p += 16;
        n -= 16;
    }
    uint64_t w1 = 0, w2 = 0;
    std::memcpy(&w1, p, n < 8 ? n : 8);
    if (n > 8)
        std::memcpy(&w2, p + 8, n - 8);
    // Zero lanes past the end are no surrogates.
    seen |= jet_any_surrogate(w1) | jet_any_surrogate(w2);
    surrogates = seen;
    uint64_t h = (a ^ w1) * m1 + ((b ^ w2) * m2 ^ (b >> 31));
    h = (h ^ (h >> 29)) * m2;
    h ^= h >> 32;
    return static_cast<uint32_t>(h);
}

bool is_high(char16_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}
bool is_low(char16_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

// n units as little-endian 16-bit values.
void put_units(uint8_t* d, const char16_t* s, size_t n) {
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(d, s, 2 * n);
    } else {
        for (size_t i = 0; i < n; ++i) tk::put_u16(d + 2 * i, s[i]);
    }
}

}  // namespace

size_t jet_sst::encode(std::u16string_view s, uint8_t* p) const {
    const size_t n = s.size();
    const char16_t* src = s.data();
    tk::put_u16(p, static_cast<uint16_t>(n));
    uint8_t* d = p + 3;
    // 8-bit while every character fits a byte.
    const size_t i = jet_narrow_prefix(src, n, d);
    if (i == n) {
        p[2] = 0;
        return 3 + n;
    }
    // Some character needs 16 bits: the whole string is stored wide. Runs
    // without surrogates are copied whole; lone surrogates become U+FFFD so
    // that every reader can decode the text.
    p[2] = biff::k_str_16bit;
    size_t k = 0;
    while (k < n) {
        const size_t run = jet_find_surrogate(src, k, n);
        put_units(d + 2 * k, src + k, run - k);
        if (run == n)
            break;
        const char16_t c = src[run];
        if (is_high(c) && run + 1 < n && is_low(src[run + 1])) {
            tk::put_u16(d + 2 * run, c);
            tk::put_u16(d + 2 * run + 2, src[run + 1]);
            k = run + 2;
        } else {
            tk::put_u16(d + 2 * run, 0xFFFD);
            k = run + 1;
        }
    }
    return 3 + 2 * n;
}

void jet_sst::grow() {
    const size_t cap = slots_.empty() ? 1024 : slots_.size() * 2;
    std::vector<slot> slots(cap);
    const size_t mask = cap - 1;
    for (const slot& s : slots_) {
        if (s.index == 0)
            continue;
        size_t k = s.hash & mask;
        while (slots[k].index != 0) k = (k + 1) & mask;
        slots[k] = s;
    }
    slots_.swap(slots);
}

bool jet_sst::same(uint32_t index, uint32_t h, const uint8_t* e, size_t len) {
    const uint64_t at = entries_[index];
    // An entry that lies whole in one record and in memory is compared
    // where it is.
    if (const uint8_t* p = store_.peek(at, 3)) {
        if (entry_len(p) != len)
            return false;
        if (whole(at, len) && store_.peek(at, len))
            return std::memcmp(p, e, len) == 0;
    }
    if (cache_) {
        const cached& c = cache_[h & (k_cache_lines - 1)];
        if (c.index == index + 1)
            return c.len == len && std::memcmp(c.bytes, e, len) == 0;
    }
    uint8_t head[3];
    store_.read_at(at, head, 3);
    if (entry_len(head) != len)
        return false;
    read_entry(at, len, scratch_);
    if (std::memcmp(scratch_.data(), e, len) != 0)
        return false;
    remember(index, h, e, len);
    return true;
}

bool jet_sst::whole(uint64_t at, size_t len) const {
    // The record after the one the entry starts in.
    const auto next = std::upper_bound(recs_.begin(), recs_.end(), at);
    return next == recs_.end() || at + len <= *next;
}

void jet_sst::read_entry(uint64_t at, size_t len, std::vector<uint8_t>& out) const {
    out.resize(len);
    size_t done = 0;
    auto next = std::upper_bound(recs_.begin(), recs_.end(), at);
    while (done < len) {
        // Up to the next record's header; a CONTINUE within a text begins
        // with its header and the repeated option byte.
        const uint64_t end = next == recs_.end() ? store_.size() : *next;
        const size_t k = static_cast<size_t>(std::min<uint64_t>(len - done, end - at));
        store_.read_at(at, out.data() + done, k);
        done += k;
        if (done < len) {
            at = *next + 5;
            ++next;
        }
    }
}

void jet_sst::remember(uint32_t index, uint32_t h, const uint8_t* e, size_t len) {
    if (len > sizeof(cached::bytes))
        return;
    if (!cache_)
        cache_.reset(new cached[k_cache_lines]());
    cached& c = cache_[h & (k_cache_lines - 1)];
    c.index = index + 1;
    c.len = static_cast<uint16_t>(len);
    std::memcpy(c.bytes, e, len);
}

uint32_t jet_sst::hash(std::u16string_view s) const {
    bool surrogates = false;
    const uint32_t h = hash_units(s.data(), s.size(), surrogates);
    if (!surrogates)
        return h;
    std::u16string stored(s);
    bool changed = false;
    for (size_t i = 0; i < stored.size(); ++i) {
        if (is_high(stored[i]) && i + 1 < stored.size() && is_low(stored[i + 1])) {
            ++i;
        } else if (is_high(stored[i]) || is_low(stored[i])) {
            stored[i] = 0xFFFD;
            changed = true;
        }
    }
    return changed ? hash_units(stored.data(), stored.size(), surrogates) : h;
}

void jet_sst::prefetch(uint32_t h) const {
    if (!slots_.empty())
        __builtin_prefetch(&slots_[h & (slots_.size() - 1)]);
}

uint32_t jet_sst::find_or_insert(const uint8_t* e, size_t len, uint32_t h, bool force) {
    if ((entries_.size() + 1) * 2 > slots_.size())
        grow();
    const size_t mask = slots_.size() - 1;
    size_t k = h & mask;
    for (; slots_[k].index != 0; k = (k + 1) & mask) {
        if (slots_[k].hash != h)
            continue;
        if (same(slots_[k].index - 1, h, e, len)) {
            if (!force)
                return slots_[k].index - 1;
            // A duplicate in an existing table: it gets its own index, and
            // lookups keep finding the first one.
            store_entry(len);
            return static_cast<uint32_t>(entries_.size() - 1);
        }
    }
    const auto index = static_cast<uint32_t>(entries_.size());
    remember(index, h, e, len);
    store_entry(len);
    slots_[k] = slot{h, index + 1};
    return index;
}

void jet_sst::start() {
    // The SST record's header and counts, filled in when written.
    uint8_t* p = store_.reserve(12);
    std::memset(p, 0, 12);
    tk::put_u16(p, biff::k_sst);
    store_.commit(12);
    recs_.push_back(0);
    body_ = 8;
}

void jet_sst::begin_continue(uint8_t* p, uint64_t pos) {
    // The finished record's length goes into its header.
    // (It may lie in the tail not committed yet: an entry over several.)
    uint8_t len[2];
    tk::put_u16(len, static_cast<uint16_t>(body_));
    const uint64_t at = recs_.back() + 2;
    if (at >= store_.size())
        std::memcpy(store_.reserve(0) + (at - store_.size()), len, 2);
    else
        store_.patch(at, len, 2);
    recs_.push_back(pos);
    tk::put_u16(p, biff::k_continue);
    tk::put_u16(p + 2, 0);
    body_ = 0;
}

size_t jet_sst::room_for(size_t units) {
    const size_t len = 3 + 2 * units;
    return len + 4 + 5 * (len / (k_body - 16) + 2);
}

void jet_sst::store_entry(size_t len) {
    // The entry lies at the tail, reserved with room for the headers put in
    // below; it is laid out in records as the file has it, so that the
    // table is written on close without another pass over its texts.
    uint8_t* p = store_.reserve(0);  // the tail, as reserved before
    const size_t cch = tk::get_u16(p);
    const bool wide = p[2] & biff::k_str_16bit;
    const size_t unit = wide ? 2 : 1;
    // The header never goes without the first character (both units of a
    // surrogate pair when the string starts with one).
    size_t first = cch == 0 ? 0 : unit;
    if (wide && cch >= 2 && is_high(tk::get_u16(p + 3)))
        first = 4;
    size_t put = 0;  // bytes added before and within the entry
    if (k_body - body_ < 3 + first) {
        std::memmove(p + 4, p, len);
        begin_continue(p, store_.size());
        put = 4;
    }
    entries_.push_back(store_.size() + put);
    uint8_t* d = p + put + 3;
    body_ += 3;
    size_t left = len - 3;
    while (left > 0) {
        size_t take = std::min(left, (k_body - body_) / unit * unit);
        // A surrogate pair stays in one record: readers decode each
        // record's part of a string on its own.
        if (wide && take < left && take >= 2 && is_high(tk::get_u16(d + take - 2)))
            take -= 2;
        d += take;
        body_ += take;
        left -= take;
        if (left > 0) {
            // The rest continues in a CONTINUE record that starts by
            // repeating the option byte.
            std::memmove(d + 5, d, left);
            begin_continue(d, store_.size() + static_cast<uint64_t>(d - p));
            d[4] = wide ? biff::k_str_16bit : 0;
            d += 5;
            body_ = 1;
            put += 5;
        }
    }
    store_.commit(len + put);
}

uint32_t jet_sst::add(std::u16string_view s, uint32_t h) {
    if (recs_.empty())
        start();
    ++total_;
    uint8_t* p = store_.reserve(room_for(s.size()));
    return find_or_insert(p, encode(s, p), h, false);
}

void jet_sst::add_existing(std::u16string_view s) {
    if (recs_.empty())
        start();
    uint8_t* p = store_.reserve(room_for(s.size()));
    find_or_insert(p, encode(s, p), hash(s), true);
}

std::u16string jet_sst::text(uint32_t index) const {
    const uint64_t at = entries_.at(index);
    uint8_t head[3];
    store_.read_at(at, head, 3);
    const size_t n = tk::get_u16(head);
    const bool wide = head[2] & biff::k_str_16bit;
    std::vector<uint8_t> bytes;
    read_entry(at, entry_len(head), bytes);
    std::u16string out(n, u'\0');
    for (size_t i = 0; i < n; ++i) out[i] = wide ? tk::get_u16(&bytes[3 + 2 * i]) : bytes[3 + i];
    return out;
}

void jet_sst::finish_records() {
    if (recs_.empty())
        start();
    uint8_t head[12];
    tk::put_u16(head, biff::k_sst);
    tk::put_u16(head + 2, static_cast<uint16_t>(recs_.size() == 1 ? body_ : 0));
    tk::put_u32(head + 4, total_);
    tk::put_u32(head + 8, unique());
    store_.patch(recs_.size() == 1 ? 0 : 4, recs_.size() == 1 ? head : head + 4,
                 recs_.size() == 1 ? 12 : 8);
    if (recs_.size() > 1) {
        uint8_t len[2];
        tk::put_u16(len, static_cast<uint16_t>(body_));
        store_.patch(recs_.back() + 2, len, 2);
    }
}

void jet_sst::write_extsst(jet_out& out, uint64_t sst_pos) const {
    const uint32_t n = unique();
    const uint32_t per_bucket = std::max<uint32_t>(
        biff::k_extsst_bucket, (n + biff::k_max_extsst_buckets - 1) / biff::k_max_extsst_buckets);
    std::vector<uint8_t> ext;
    tk::append_u16(ext, static_cast<uint16_t>(per_bucket));
    for (uint32_t i = 0; i < n; i += per_bucket) {
        const uint64_t at = entries_[i];
        const uint64_t rec = *(std::upper_bound(recs_.begin(), recs_.end(), at) - 1);
        tk::append_u32(ext, static_cast<uint32_t>(sst_pos + at));
        tk::append_u16(ext, static_cast<uint16_t>(at - rec));
        tk::append_u16(ext, 0);
    }
    out.record(biff::k_extsst, ext.data(), ext.size());
}

void jet_sst::drop_placed() {
    if (store_.placed()) {
        store_.forget();
        lost_ = true;
    }
}

void jet_sst::write(jet_out& out, size_t max_body) {
    if (lost_) {
        errno = EIO;
        throw tk_write_failure();
    }
    const uint64_t sst_pos = out.pos();
    if (max_body == k_body) {
        // The records as stored.
        finish_records();
        stg_spool_reader rd(store_);
        while (rd.left() > 0) {
            size_t got = 0;
            const uint8_t* p = rd.take_some(stg_spool::k_buffer, got);
            out.write(p, got);
        }
        write_extsst(out, sst_pos);
        return;
    }
    // Records of another size (tests): the entries are split anew.
    const uint32_t n = unique();
    const uint32_t per_bucket = std::max<uint32_t>(
        biff::k_extsst_bucket, (n + biff::k_max_extsst_buckets - 1) / biff::k_max_extsst_buckets);
    std::vector<uint8_t> ext;  // EXTSST body
    tk::append_u16(ext, static_cast<uint16_t>(per_bucket));
    out.begin_record(biff::k_sst, max_body);
    out.u32(total_);
    out.u32(n);
    auto next_record = [&] {
        out.end_record();
        out.begin_record(biff::k_continue, max_body);
    };
    std::vector<uint8_t> entry;
    for (uint32_t i = 0; i < n; ++i) {
        uint8_t head[3];
        store_.read_at(entries_[i], head, 3);
        read_entry(entries_[i], entry_len(head), entry);
        const uint8_t* chars = entry.data() + 3;
        const size_t cch = tk::get_u16(head);
        const bool wide = head[2] & biff::k_str_16bit;
        const size_t unit = wide ? 2 : 1;
        size_t first = cch == 0 ? 0 : unit;
        if (wide && cch >= 2 && is_high(tk::get_u16(chars)))
            first = 4;
        if (max_body - out.record_body() < 3 + first)
            next_record();
        if (i % per_bucket == 0) {
            tk::append_u32(ext, static_cast<uint32_t>(out.pos()));
            tk::append_u16(ext, static_cast<uint16_t>(4 + out.record_body()));
            tk::append_u16(ext, 0);
        }
        out.write(head, 3);
        const uint8_t* d = chars;
        size_t left = cch * unit;
        while (left > 0) {
            size_t take = std::min(left, (max_body - out.record_body()) / unit * unit);
            if (wide && take < left && take >= 2 && is_high(tk::get_u16(d + take - 2)))
                take -= 2;
            out.write(d, take);
            d += take;
            left -= take;
            if (left > 0) {
                next_record();
                out.u8(wide ? biff::k_str_16bit : 0);
            }
        }
    }
    out.end_record();
    out.record(biff::k_extsst, ext.data(), ext.size());
}

void jet_sst::write_placed(jet_out& out) {
    if (lost_) {
        errno = EIO;
        throw tk_write_failure();
    }
    const uint64_t sst_pos = out.pos();
    finish_records();
    // What reached the file is where the workbook needs it: only the part
    // still in memory is written.
    out.skip(store_.flushed());
    out.write(store_.memory(), static_cast<size_t>(store_.size() - store_.flushed()));
    write_extsst(out, sst_pos);
}

// ---- reading ----

void jet_sst_reader::feed(const uint8_t* body, size_t n) {
    auto corrupt = [] { return jet_error::make(jet_errno::bad_format); };
    size_t i = 0;
    if (stage_ == stage::counts) {
        if (n < 8)
            throw corrupt();
        sst_.set_total(tk::get_u32(body));
        left_ = tk::get_u32(body + 4);
        i = 8;
        stage_ = left_ ? stage::header : stage::done;
    } else if (stage_ == stage::chars && n > 0) {
        wide_ = body[0] & biff::k_str_16bit;  // the repeated option byte
        i = 1;
    }
    ++record_;
    auto end_string = [&] {
        sst_.add_existing(text_);
        --left_;
        stage_ = skip_ ? stage::skip : (left_ ? stage::header : stage::done);
    };
    while (i < n) {
        switch (stage_) {
            case stage::header: {
                if (n - i < 3)
                    throw corrupt();
                if (starts)
                    starts->emplace_back(record_ - 1, static_cast<uint32_t>(i));
                const uint16_t cch = tk::get_u16(body + i);
                const uint8_t opt = body[i + 2];
                size_t head = 3;
                uint32_t runs = 0, ext = 0;
                if (opt & biff::k_str_rich) {
                    if (n - i < head + 2)
                        throw corrupt();
                    runs = tk::get_u16(body + i + head);
                    head += 2;
                }
                if (opt & biff::k_str_phonetic) {
                    if (n - i < head + 4)
                        throw corrupt();
                    ext = tk::get_u32(body + i + head);
                    head += 4;
                }
                i += head;
                skip_ = uint64_t(runs) * 4 + ext;
                chars_ = cch;
                wide_ = opt & biff::k_str_16bit;
                text_.clear();
                stage_ = stage::chars;
                if (chars_ == 0) {
                    end_string();
                } else if (i == n) {
                    ++header_splits;
                }
                break;
            }
            case stage::chars: {
                const size_t unit = wide_ ? 2 : 1;
                const size_t take = std::min<size_t>((n - i) / unit, chars_);
                if (take == 0)
                    throw corrupt();  // half a 16-bit character
                const uint8_t* d = body + i;
                const size_t old = text_.size();
                text_.resize(old + take);
                for (size_t k = 0; k < take; ++k)
                    text_[old + k] = wide_ ? tk::get_u16(d + 2 * k) : d[k];
                i += take * unit;
                chars_ -= static_cast<uint32_t>(take);
                if (chars_ == 0)
                    end_string();
                break;
            }
            case stage::skip: {
                const size_t take = static_cast<size_t>(std::min<uint64_t>(skip_, n - i));
                i += take;
                skip_ -= take;
                if (skip_ == 0)
                    stage_ = left_ ? stage::header : stage::done;
                break;
            }
            case stage::done:
            case stage::counts:
                i = n;
                break;
        }
    }
}

void jet_sst_reader::finish() {
    if (stage_ != stage::done)
        throw jet_error::make(jet_errno::bad_format);
}
