#include "core/cnv_val.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "OLE/ole_types.h"
#include "UDB/udb_sche.h"

namespace {

// The first CR in s[from..), or s.size(). Four units are tested at once:
// a lane equal to CR becomes zero after the XOR, and the borrow test below
// finds a zero lane (texts run to hundreds of characters, nearly always
// without CR).
size_t find_cr(std::u16string_view s, size_t from) {
    constexpr uint64_t ones = 0x0001000100010001ull;
    constexpr uint64_t crs = ones * u'\r';
    const char16_t* p = s.data();
    const size_t n = s.size();
    size_t i = from;
#if defined(__SSE2__)
    // Sixteen units a step where SSE2 is there (long texts).
    const __m128i cr = _mm_set1_epi16(u'\r');
    for (; i + 16 <= n; i += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i + 8));
        if (_mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi16(a, cr), _mm_cmpeq_epi16(b, cr))))
            break;
    }
#endif
    for (; i + 4 <= n; i += 4) {
        uint64_t w;
        std::memcpy(&w, p + i, 8);
        const uint64_t x = w ^ crs;
        if (((x - ones) & ~x & (ones << 15)) != 0)
            break;
    }
    while (i < n && p[i] != u'\r') ++i;
    return i;
}

const ole_variant& binary_text() {
    static const ole_variant text("<Binary Field>");
    return text;
}
}  // namespace

void clean_text(std::u16string_view src, size_t limit, std::u16string& dst) {
    // Runs between carriage returns are copied whole: a text without CR
    // that is within the limit (nearly every text) is one find and one copy.
    dst.clear();
    const size_t n = src.size();
    size_t i = 0;
    while (i < n && dst.size() < limit) {
        if (src[i] == u'\r') {
            ++i;
            if (i < n && src[i] == u'\n')
                continue;  // the LF follows
            dst.push_back(u'\n');
            continue;
        }
        // Up to the next CR, no further than the room left.
        const size_t room = limit - dst.size();
        const size_t stop = room < n - i ? i + room : n;
        const size_t end = find_cr(src.substr(0, stop), i);
        dst.append(src.data() + i, end - i);
        i = end;
    }
    bool cut = i < n;
    if (cut && !dst.empty() && dst.back() >= 0xD800 && dst.back() <= 0xDBFF)
        dst.pop_back();
}

bool is_binary_kind(uint16_t kind) {
    return ole_is_binary_kind(kind);
}

void prepare_record(const udb_record& in, size_t text_limit, udb_record& out) {
    size_t n = std::min(in.size(), kMaxColumns);
    out.resize(n);
    for (size_t i = 0; i < n; ++i) {
        const udb_field& f = in[i];
        udb_field& o = out[i];
        if (o.name != f.name)
            o.name = f.name;
        o.size = f.size;
        o.b_not_null = f.b_not_null;
        o.b_autoincrement = f.b_autoincrement;
        uint16_t kind = f.get_type();
        if (kind == VT_BSTR) {
            std::u16string* text = o.mutable_bstr();
            if (!text) {
                o.attach_wstring(u"");
                text = o.mutable_bstr();
            }
            clean_text(f.bstr(), text_limit, *text);
        } else if (is_binary_kind(kind)) {
            o.set_value(binary_text());
        } else {
            o.set_value(f.value());
        }
    }
}
