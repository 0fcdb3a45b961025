#include "ORA/ora_nfast.h"

#include <charconv>
#include <limits>

#include "OLE/ole_types.h"

namespace {

// More digits than this could overflow 64 bits; such texts take the
// general parse.
constexpr int kMaxFastDigits = 18;

// A plain decimal or exponent form, read exactly as the general parse reads
// it (commas become points, then C's reading of a double).
bool parse_double(char* text, size_t n, ole_variant& out) {
    if (n == 0)
        return false;
    for (size_t i = 0; i < n; ++i) {
        char& c = text[i];
        if (c == ',')
            c = '.';
        if (!((c >= '0' && c <= '9') || c == '.' || c == '-' || c == 'e' || c == 'E'))
            return false;
    }
    double value = 0;
    const std::from_chars_result r = std::from_chars(text, text + n, value);
    if (r.ec != std::errc() || r.ptr != text + n)
        return false;
    out = ole_variant(value);
    return true;
}

// Optional '-', digits, and (when `point` is allowed) one separator. Gives
// the digits as one integer and the count of digits after the separator.
bool scan(const char* t, size_t n, bool point, bool* neg, uint64_t* mantissa, int* fraction) {
    size_t i = 0;
    *neg = n > 0 && t[0] == '-';
    if (*neg)
        ++i;
    uint64_t m = 0;
    int digits = 0;
    int after = -1;  // digits after the separator; -1 before it
    for (; i < n; ++i) {
        const char c = t[i];
        if (c >= '0' && c <= '9') {
            if (++digits > kMaxFastDigits)
                return false;
            m = m * 10 + static_cast<uint64_t>(c - '0');
            if (after >= 0)
                ++after;
        } else if ((c == '.' || c == ',') && point && after < 0) {
            after = 0;
        } else {
            return false;
        }
    }
    if (digits == 0)
        return false;
    *mantissa = m;
    *fraction = after < 0 ? 0 : after;
    return true;
}

}  // namespace

bool ora_parse_plain_number(char* text, size_t n, uint16_t kind, ole_variant& out) {
    bool neg = false;
    uint64_t m = 0;
    int fraction = 0;
    switch (kind) {
        case VT_R8:
            return parse_double(text, n, out);
        case VT_DECIMAL: {
            if (!scan(text, n, true, &neg, &m, &fraction))
                return false;
            // The written scale is kept (1.50 has two decimals); a zero has
            // neither sign nor scale.
            DECIMAL dec{};
            dec.scale = static_cast<uint8_t>(m == 0 ? 0 : fraction);
            dec.sign = neg && m != 0 ? DECIMAL_NEG : 0;
            dec.Hi32 = 0;
            dec.Lo64 = m;
            out = ole_variant(dec);
            return true;
        }
        case VT_I1:
        case VT_I2:
        case VT_I4:
        case VT_I8: {
            if (!scan(text, n, false, &neg, &m, &fraction))
                return false;
            const int64_t v = neg ? -static_cast<int64_t>(m) : static_cast<int64_t>(m);
            if (kind == VT_I8) {
                out = ole_variant(static_cast<long long>(v));
                return true;
            }
            // The smaller kinds are read as a 32-bit integer (saturated),
            // then narrowed.
            constexpr int64_t lo = std::numeric_limits<int32_t>::min();
            constexpr int64_t hi = std::numeric_limits<int32_t>::max();
            const int32_t i4 = static_cast<int32_t>(v < lo ? lo : (v > hi ? hi : v));
            if (kind == VT_I4)
                out = ole_variant(static_cast<int>(i4));
            else if (kind == VT_I2)
                out = ole_variant(static_cast<short>(i4));
            else
                out = ole_variant(static_cast<signed char>(i4));
            return true;
        }
        default:
            return false;
    }
}
