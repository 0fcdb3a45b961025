#include "core/cnv_val.h"

#include <algorithm>
#include <charconv>
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

using u128 = unsigned __int128;

constexpr uint64_t kExactBelow = 1000000000000000ull;  // 10^15: fewer digits always fit

bool is_number_kind(uint16_t kind) {
    switch (kind) {
        case VT_I1:
        case VT_I2:
        case VT_I4:
        case VT_I8:
        case VT_UI1:
        case VT_UI2:
        case VT_UI4:
        case VT_UI8:
        case VT_INT:
        case VT_UINT:
        case VT_R4:
        case VT_R8:
        case VT_CY:
        case VT_DECIMAL:
            return true;
        default:
            return false;
    }
}

// Decimal digits of `m` without its trailing zeros.
int significant_digits(u128 m) {
    if (m < kExactBelow)
        return 0;  // few enough, whatever they are
    while (m % 10 == 0) m /= 10;
    int n = 0;
    for (; m != 0; m /= 10) ++n;
    return n;
}

// Significant digits of a number's text (up to its exponent).
int significant_digits(std::u16string_view s) {
    int at = 0, first = -1, last = -1;
    for (char16_t c : s) {
        if (c == u'e' || c == u'E')
            break;
        if (c < u'0' || c > u'9')
            continue;
        if (c != u'0') {
            if (first < 0)
                first = at;
            last = at;
        }
        ++at;
    }
    return first < 0 ? 0 : last - first + 1;
}

// The output field as a text, its buffer reused.
std::u16string& text_of(udb_field& o) {
    std::u16string* text = o.mutable_bstr();
    if (!text) {
        o.attach_wstring(u"");
        text = o.mutable_bstr();
    }
    return *text;
}

void assign_ascii(std::u16string& out, char* b, char* e) {
    out.assign(b, e);
}

// The exact decimal text of a DECIMAL: its digits, the point `scale` places
// from the right (a zero before a leading point), its sign.
void decimal_text(const DECIMAL& d, std::u16string& out) {
    u128 m = static_cast<u128>(d.Hi32) << 64 | d.Lo64;
    char digits[48];
    int n = 0;
    for (; m != 0; m /= 10) digits[n++] = static_cast<char>('0' + static_cast<int>(m % 10));
    const int scale = d.scale;
    while (n <= scale) digits[n++] = '0';
    out.clear();
    if (d.sign & DECIMAL_NEG)
        out.push_back(u'-');
    for (int i = n - 1; i >= 0; --i) {
        out.push_back(static_cast<char16_t>(digits[i]));
        if (i == scale && i != 0)
            out.push_back(u'.');
    }
}

// A number's text (few digits) read back as a double; false when it is no
// number (it then stays a text).
bool text_number(std::u16string_view s, double& v) {
    char buf[64];
    if (s.size() >= sizeof buf)
        return false;
    size_t n = 0;
    for (char16_t c : s) {
        if (c > 0x7F)
            return false;
        buf[n++] = static_cast<char>(c);
    }
    const std::from_chars_result r = std::from_chars(buf, buf + n, v);
    return r.ec == std::errc() && r.ptr == buf + n;
}

// Makes `o` the exact text of the wide number `f` when it has more digits
// than a spreadsheet number keeps; false (nothing done) otherwise.
bool keep_digits(const udb_field& f, udb_field& o) {
    char buf[24];
    switch (f.get_type()) {
        case VT_I8: {
            const int64_t v = f.i8();
            const uint64_t mag = v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
            if (significant_digits(mag) <= kMaxNumberDigits)
                return false;
            assign_ascii(text_of(o), buf, std::to_chars(buf, buf + sizeof buf, v).ptr);
            return true;
        }
        case VT_UI8: {
            if (significant_digits(f.ui8()) <= kMaxNumberDigits)
                return false;
            assign_ascii(text_of(o), buf, std::to_chars(buf, buf + sizeof buf, f.ui8()).ptr);
            return true;
        }
        case VT_DECIMAL: {
            const DECIMAL& d = f.decimal();
            if (significant_digits(static_cast<u128>(d.Hi32) << 64 | d.Lo64) <= kMaxNumberDigits)
                return false;
            decimal_text(d, text_of(o));
            return true;
        }
        default:
            return false;
    }
}

}  // namespace

bool clean_text(std::u16string_view src, size_t limit, std::u16string& dst) {
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
    return cut;
}

bool is_binary_kind(uint16_t kind) {
    return ole_is_binary_kind(kind);
}

void prepare_record(const udb_record& in, size_t text_limit, udb_record& out) {
    record_preparer plain(udb_schema(false), text_limit);
    plain.prepare(in, out);
}

record_preparer::record_preparer(const udb_schema& schema, size_t text_limit)
    : limit_(text_limit), notes_(schema.count()) {
    number_column_.reserve(schema.count());
    for (const t_ftd* column : schema) number_column_.push_back(is_number_kind(column->vartype));
}

void record_preparer::prepare(const udb_record& in, udb_record& out) {
    pending_.clear();
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
        o.b_text_cell = false;
        const bool number_column = i < number_column_.size() && number_column_[i];
        uint16_t kind = f.get_type();
        if (kind == VT_BSTR) {
            std::u16string_view s = f.bstr();
            if (f.b_recoded)
                hold(i, note_recoded);
            if (number_column) {
                // A number's digits: a text only when a number would change it.
                double v = 0;
                if (significant_digits(s) <= kMaxNumberDigits && text_number(s, v)) {
                    o.set_value(ole_variant(v));
                } else {
                    text_of(o).assign(s);
                    o.b_text_cell = true;
                    hold(i, note_digits);
                }
            } else if (clean_text(s, limit_, text_of(o))) {
                hold(i, note_cut);
            }
        } else if (is_binary_kind(kind)) {
            o.set_value(binary_text());
        } else if (number_column && (kind == VT_I8 || kind == VT_UI8 || kind == VT_DECIMAL) &&
                   keep_digits(f, o)) {
            o.b_text_cell = true;
            hold(i, note_digits);
        } else {
            o.set_value(f.value());
        }
    }
}

void record_preparer::commit() {
    for (uint32_t p : pending_) {
        const size_t column = p >> 2;
        if (column >= notes_.size())
            continue;
        column_notes& c = notes_[column];
        switch (p & 3) {
            case note_digits:
                ++c.digits_kept;
                break;
            case note_cut:
                ++c.cut;
                break;
            default:
                ++c.recoded;
                break;
        }
    }
    pending_.clear();
}
