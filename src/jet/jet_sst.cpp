#include "jet/jet_sst.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "TK/tk_coding.h"
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
// bytes, and most of them are new: every one is hashed).
uint32_t hash_bytes(const uint8_t* p, size_t n) {
    constexpr uint64_t m1 = 0xFF51AFD7ED558CCDull;
    constexpr uint64_t m2 = 0xC4CEB9FE1A85EC53ull;
    uint64_t a = 0x9E3779B97F4A7C15ull ^ n;
    uint64_t b = 0x2545F4914F6CDD1Dull;
    while (n >= 16) {
        uint64_t w1, w2;
        std::memcpy(&w1, p, 8);
        std::memcpy(&w2, p + 8, 8);
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
    // An entry never straddles the spool's buffer and its file: when its
    // header is in memory, so is the rest.
    if (const uint8_t* p = store_.peek(at, 3))
        return entry_len(p) == len && std::memcmp(p, e, len) == 0;
    if (cache_) {
        const cached& c = cache_[h & (k_cache_lines - 1)];
        if (c.index == index + 1)
            return c.len == len && std::memcmp(c.bytes, e, len) == 0;
    }
    uint8_t head[3];
    store_.read_at(at, head, 3);
    if (entry_len(head) != len)
        return false;
    scratch_.resize(len);
    store_.read_at(at, scratch_.data(), len);
    if (std::memcmp(scratch_.data(), e, len) != 0)
        return false;
    remember(index, h, e, len);
    return true;
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

uint32_t jet_sst::find_or_insert(const uint8_t* e, size_t len, bool force) {
    if ((entries_.size() + 1) * 2 > slots_.size())
        grow();
    const uint32_t h = hash_bytes(e, len);
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
            entries_.push_back(store_.size());
            store_.commit(len);
            return static_cast<uint32_t>(entries_.size() - 1);
        }
    }
    const auto index = static_cast<uint32_t>(entries_.size());
    remember(index, h, e, len);
    entries_.push_back(store_.size());
    store_.commit(len);
    slots_[k] = slot{h, index + 1};
    return index;
}

uint32_t jet_sst::add(std::u16string_view s) {
    ++total_;
    uint8_t* p = store_.reserve(3 + 2 * s.size());
    return find_or_insert(p, encode(s, p), false);
}

void jet_sst::add_existing(std::u16string_view s) {
    uint8_t* p = store_.reserve(3 + 2 * s.size());
    find_or_insert(p, encode(s, p), true);
}

std::u16string jet_sst::text(uint32_t index) const {
    const uint64_t at = entries_.at(index);
    uint8_t head[3];
    store_.read_at(at, head, 3);
    const size_t n = tk::get_u16(head);
    const bool wide = head[2] & biff::k_str_16bit;
    std::vector<uint8_t> bytes(n * (wide ? 2 : 1));
    store_.read_at(at + 3, bytes.data(), bytes.size());
    std::u16string out(n, u'\0');
    for (size_t i = 0; i < n; ++i) out[i] = wide ? tk::get_u16(&bytes[2 * i]) : bytes[i];
    return out;
}

void jet_sst::write(jet_out& out, size_t max_body) const {
    const uint32_t n = unique();
    const uint32_t per_bucket = std::max<uint32_t>(
        biff::k_extsst_bucket, (n + biff::k_max_extsst_buckets - 1) / biff::k_max_extsst_buckets);
    std::vector<uint8_t> ext;  // EXTSST body
    tk::append_u16(ext, static_cast<uint16_t>(per_bucket));

    // Records are assembled in the output's buffer, so each text is copied
    // once on its way from the spool to the file.
    out.begin_record(biff::k_sst, max_body);
    out.u32(total_);
    out.u32(n);
    auto next_record = [&] {
        out.end_record();
        out.begin_record(biff::k_continue, max_body);
    };

    stg_spool_reader rd(store_);
    for (uint32_t i = 0; i < n; ++i) {
        uint8_t head[3];
        std::memcpy(head, rd.take(3), 3);
        const size_t rest = entry_len(head) - 3;
        const uint8_t* chars = rd.take(rest);
        const size_t cch = tk::get_u16(head);
        const bool wide = head[2] & biff::k_str_16bit;
        const size_t unit = wide ? 2 : 1;
        // The header never goes without the first character (both units of
        // a surrogate pair when the string starts with one).
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
            // A surrogate pair stays in one record: readers decode each
            // record's part of a string on its own.
            if (wide && take < left && take >= 2 && is_high(tk::get_u16(d + take - 2)))
                take -= 2;
            out.write(d, take);
            d += take;
            left -= take;
            if (left > 0) {
                // The rest continues in a CONTINUE record that starts by
                // repeating the option byte.
                next_record();
                out.u8(wide ? biff::k_str_16bit : 0);
            }
        }
    }
    out.end_record();
    out.record(biff::k_extsst, ext.data(), ext.size());
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
