#include "ORA/ora_nfast.h"

#include <charconv>
#include <limits>
#include <string>

#include "OLE/ole_types.h"

namespace {

using u128 = unsigned __int128;

// Significant digits kept exactly; a longer mantissa fits no exact kind.
constexpr int kMaxExactDigits = 36;
// Significant digits a double keeps: a value with more is never read as one.
constexpr int kMaxDoubleDigits = 15;
// Digits an integer written with an exponent is spelt out to at most (the
// widest NUMBER has 126); a longer one keeps its exponent.
constexpr long kMaxPlainDigits = 130;
// The largest DECIMAL scale, and its mantissa's bound (2^96).
constexpr int kMaxDecimalScale = 28;
constexpr u128 kDecimalLimit = static_cast<u128>(1) << 96;

// A number text taken apart: value = sig * 10^(tz + exp - frac).
struct number_parts {
    bool neg = false;
    u128 sig = 0;  // the digits without leading and trailing zeros
    int sig_digits = 0;
    int tz = 0;        // trailing zeros after `sig`
    int frac = 0;      // digits written after the separator
    long exp = 0;      // the exponent as written (bounded)
    bool big = false;  // more significant digits than kMaxExactDigits
};

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

// Checks the shape and takes the text apart; false for anything that is not
// a decimal number.
bool split(const char* t, size_t n, number_parts& p, size_t& begin, size_t& end) {
    size_t i = 0;
    while (i < n && t[i] == ' ') ++i;
    while (n > i && t[n - 1] == ' ') --n;
    begin = i;
    end = n;
    if (i < n && (t[i] == '-' || t[i] == '+'))
        p.neg = t[i++] == '-';
    int digits = 0;
    bool point = false;
    for (; i < n; ++i) {
        const char c = t[i];
        if (is_digit(c)) {
            ++digits;
            if (point)
                ++p.frac;
            if (c == '0') {
                if (p.sig_digits > 0)
                    ++p.tz;
                continue;
            }
            // A non-zero digit: the zeros before it become part of `sig`.
            p.sig_digits += p.tz + 1;
            if (p.sig_digits > kMaxExactDigits) {
                p.big = true;
            } else {
                for (int z = 0; z < p.tz; ++z) p.sig *= 10;
                p.sig = p.sig * 10 + static_cast<unsigned>(c - '0');
            }
            p.tz = 0;
        } else if ((c == '.' || c == ',') && !point) {
            point = true;
        } else {
            break;
        }
    }
    if (digits == 0)
        return false;
    if (i < n && (t[i] == 'e' || t[i] == 'E')) {
        ++i;
        bool neg_exp = false;
        if (i < n && (t[i] == '-' || t[i] == '+'))
            neg_exp = t[i++] == '-';
        if (i == n)
            return false;
        for (; i < n && is_digit(t[i]); ++i) {
            if (p.exp < 100000)  // far beyond any double; only the sign matters then
                p.exp = p.exp * 10 + (t[i] - '0');
        }
        if (neg_exp)
            p.exp = -p.exp;
    }
    return i == n;
}

u128 pow10(int k) {
    u128 r = 1;
    while (k-- > 0) r *= 10;
    return r;
}

// The double nearest to the text; false beyond a double's range.
bool read_double(const char* t, size_t begin, size_t end, ole_variant& out) {
    // from_chars takes no '+' and no ',': a cleaned copy, on the stack for
    // every text OCI hands over.
    char local[512];
    std::string heap;
    char* buf = local;
    if (end - begin > sizeof local) {
        heap.resize(end - begin);
        buf = heap.data();
    }
    size_t k = 0;
    for (size_t i = begin; i < end; ++i) {
        const char c = t[i];
        if (c == '+' && (i == begin))
            continue;
        buf[k++] = c == ',' ? '.' : c;
    }
    double value = 0;
    const std::from_chars_result r = std::from_chars(buf, buf + k, value);
    if (r.ec != std::errc() || r.ptr != buf + k)
        return false;
    out = ole_variant(value);
    return true;
}

template <typename T>
bool in_range(__int128 v) {
    return v >= std::numeric_limits<T>::min() && v <= std::numeric_limits<T>::max();
}

// The integer kinds: true (with `out` set) when the value is an integer
// within the kind's range.
bool read_integer(const number_parts& p, uint16_t kind, ole_variant& out) {
    __int128 v = 0;
    if (p.sig != 0 || p.big) {
        const long e = p.tz + p.exp - p.frac;
        if (p.big || e < 0 || p.sig_digits + e > 19)
            return false;
        v = static_cast<__int128>(p.sig * pow10(static_cast<int>(e)));
        if (p.neg)
            v = -v;
    }
    switch (kind) {
        case VT_I1:
            if (!in_range<signed char>(v))
                return false;
            out = ole_variant(static_cast<signed char>(v));
            return true;
        case VT_I2:
            if (!in_range<short>(v))
                return false;
            out = ole_variant(static_cast<short>(v));
            return true;
        case VT_I4:
            if (!in_range<int>(v))
                return false;
            out = ole_variant(static_cast<int>(v));
            return true;
        default:
            if (!in_range<long long>(v))
                return false;
            out = ole_variant(static_cast<long long>(v));
            return true;
    }
}

// VT_DECIMAL: true (with `out` set) when a DECIMAL holds the value exactly.
bool read_decimal(const number_parts& p, ole_variant& out) {
    DECIMAL dec{};
    if (p.sig == 0 && !p.big) {
        out = ole_variant(dec);  // a zero has neither sign nor scale
        return true;
    }
    if (p.big)
        return false;
    long scale = p.frac - p.exp;  // the written scale
    long zeros = p.tz;            // zeros behind the significant digits
    if (scale < 0) {
        zeros -= scale;
        scale = 0;
    } else if (scale > kMaxDecimalScale) {
        // Only written zeros may go.
        const long drop = scale - kMaxDecimalScale;
        if (drop > zeros)
            return false;
        zeros -= drop;
        scale = kMaxDecimalScale;
    }
    if (p.sig_digits + zeros > 29)
        return false;
    const u128 m = p.sig * pow10(static_cast<int>(zeros));
    if (m >= kDecimalLimit)
        return false;
    dec.scale = static_cast<uint8_t>(scale);
    dec.sign = p.neg ? DECIMAL_NEG : 0;
    dec.Hi32 = static_cast<uint32_t>(m >> 64);
    dec.Lo64 = static_cast<uint64_t>(m);
    out = ole_variant(dec);
    return true;
}

// The exact text of a number too wide for a double, from its text
// t[begin..end): a '-' for a negative value, '.' as the separator, one '0'
// before a leading separator and none else before the first digit, an
// integer spelt out without its exponent; a fraction written with an
// exponent keeps it ("1.25E-40").
void exact_text(const char* t, size_t begin, size_t end, const number_parts& p, ole_variant& out) {
    char16_t buf[512];
    size_t n = 0;
    auto put = [&](char16_t c) {
        if (n < sizeof buf / sizeof buf[0])
            buf[n++] = c;
    };
    size_t i = begin;
    if (i < end && (t[i] == '-' || t[i] == '+'))
        ++i;
    if (p.neg)
        put(u'-');
    size_t mantissa_end = i;
    bool exponent = false;
    while (mantissa_end < end && t[mantissa_end] != 'e' && t[mantissa_end] != 'E') ++mantissa_end;
    exponent = mantissa_end < end;
    const long zeros = p.tz + p.exp - p.frac;  // after the significant digits
    if (exponent && zeros >= 0 && p.sig_digits + zeros <= kMaxPlainDigits) {
        // An integer: its significant digits, then its zeros.
        bool started = false;
        int left = p.sig_digits;
        for (size_t k = i; k < mantissa_end && left > 0; ++k) {
            const char c = t[k];
            if (c < '0' || c > '9' || (c == '0' && !started))
                continue;
            started = true;
            put(static_cast<char16_t>(c));
            --left;
        }
        for (long z = 0; z < zeros; ++z) put(u'0');
        out.attach_wstring(std::u16string_view(buf, n));
        return;
    }
    // The mantissa as written: leading zeros of its integer part dropped (one
    // kept before the separator), ',' as '.'.
    size_t k = i;
    while (k + 1 < mantissa_end && t[k] == '0' && t[k + 1] >= '0' && t[k + 1] <= '9') ++k;
    if (k < mantissa_end && (t[k] == '.' || t[k] == ','))
        put(u'0');
    for (; k < mantissa_end; ++k) {
        const char c = t[k];
        if (c == '.' || c == ',') {
            if (k + 1 < mantissa_end)
                put(u'.');
        } else {
            put(static_cast<char16_t>(c));
        }
    }
    if (exponent) {
        put(u'E');
        if (p.exp < 0)
            put(u'-');
        char digits[24];
        const char* e =
            std::to_chars(digits, digits + sizeof digits, p.exp < 0 ? -p.exp : p.exp).ptr;
        for (const char* d = digits; d < e; ++d) put(static_cast<char16_t>(*d));
    }
    out.attach_wstring(std::u16string_view(buf, n));
}

}  // namespace

bool ora_read_number(const char* text, size_t n, uint16_t kind, ole_variant& out) {
    switch (kind) {
        case VT_I1:
        case VT_I2:
        case VT_I4:
        case VT_I8:
        case VT_DECIMAL:
        case VT_R8:
            break;
        default:
            return false;
    }
    number_parts parts;
    size_t begin = 0, end = 0;
    if (!split(text, n, parts, begin, end))
        return false;
    if (parts.sig_digits > kMaxDoubleDigits) {
        // More digits than a double keeps: the kind's exact value, else the
        // exact text; never a double.
        if (kind == VT_DECIMAL ? read_decimal(parts, out)
                               : kind != VT_R8 && read_integer(parts, kind, out))
            return true;
        // A value beyond a double's range stays refused, as below.
        ole_variant probe;
        if (!read_double(text, begin, end, probe))
            return false;
        exact_text(text, begin, end, parts, out);
        return true;
    }
    if (kind == VT_DECIMAL) {
        if (read_decimal(parts, out))
            return true;
    } else if (kind != VT_R8) {
        if (read_integer(parts, kind, out))
            return true;
    }
    return read_double(text, begin, end, out);
}
