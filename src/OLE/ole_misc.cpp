// Automation number conversions: text, currency, decimal, floating point.
#include "OLE/ole_misc.h"

#include <charconv>
#include <cmath>
#include <cstring>

namespace {

__extension__ typedef unsigned __int128 u128;

constexpr u128 kDecMax = (u128{1} << 96) - 1;  // largest 96-bit mantissa

bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}
bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

// Adds one decimal digit to the kept digits or to the dropped tail.
// `fraction` tells whether the digit lies after the decimal point.
void push_digit(ole_number* n, int digit, bool fraction) {
    if (n->ndigits == 0 && digit == 0) {
        if (fraction)
            --n->exp10;  // leading zero after the point: 0.05
        return;
    }
    if (n->ndigits < ole_number::kMaxDigits) {
        n->digits[n->ndigits++] = static_cast<uint8_t>(digit);
        if (fraction)
            --n->exp10;
        return;
    }
    if (digit != 0)
        n->sticky = true;
    if (!fraction)
        ++n->exp10;
}

u128 pow10(int e) {
    u128 r = 1;
    while (e-- > 0) r *= 10;
    return r;
}

ole_hresult scaled(const ole_number& n, int scale, u128* out) {
    *out = 0;
    if (n.ndigits == 0)
        return OLE_S_OK;
    const int64_t e = int64_t{n.exp10} + scale;
    if (e >= 0) {
        if (n.ndigits + e > ole_number::kMaxDigits)
            return OLE_DISP_E_OVERFLOW;
        u128 m = 0;
        for (int i = 0; i < n.ndigits; ++i) m = m * 10 + n.digits[i];
        *out = m * pow10(static_cast<int>(e));
        return OLE_S_OK;
    }
    const int64_t keep = n.ndigits + e;  // digits left of the rounding point
    if (keep < 0)
        return OLE_S_OK;  // below 0.1: rounds to 0
    u128 m = 0;
    for (int64_t i = 0; i < keep; ++i) m = m * 10 + n.digits[i];
    const int rd = n.digits[keep];
    bool rest = n.sticky;
    for (int i = static_cast<int>(keep) + 1; i < n.ndigits && !rest; ++i) rest = n.digits[i] != 0;
    if (rd > 5 || (rd == 5 && (rest || (m & 1))))
        ++m;
    *out = m;
    return OLE_S_OK;
}

ole_hresult to_signed(bool neg, u128 mag, int64_t lo, int64_t hi, int64_t* out) {
    if (neg) {
        if (mag > static_cast<u128>(-(static_cast<__int128>(lo))))
            return OLE_DISP_E_OVERFLOW;
        *out = static_cast<int64_t>(-static_cast<__int128>(mag));
    } else {
        if (mag > static_cast<u128>(hi))
            return OLE_DISP_E_OVERFLOW;
        *out = static_cast<int64_t>(mag);
    }
    return OLE_S_OK;
}

void set_dec(bool neg, u128 mag, int scale, DECIMAL* out) {
    out->wReserved = 0;
    out->scale = static_cast<uint8_t>(scale);
    out->sign = (neg && mag != 0) ? DECIMAL_NEG : 0;
    out->Hi32 = static_cast<uint32_t>(mag >> 64);
    out->Lo64 = static_cast<uint64_t>(mag);
}

// Appends the decimal digits of mag to s.
void append_u128(std::string* s, u128 mag) {
    char buf[48];
    int i = sizeof buf;
    do {
        buf[--i] = static_cast<char>('0' + static_cast<int>(mag % 10));
        mag /= 10;
    } while (mag != 0);
    s->append(buf + i, sizeof buf - i);
}

std::string general_text(double v, int precision) {
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, precision);
    for (char* p = buf; p != r.ptr; ++p) {
        if (*p == 'e')
            *p = 'E';
    }
    return std::string(buf, r.ptr);
}

}  // namespace

// ---- text -> number ---------------------------------------------------------

ole_hresult ole_parse_number(std::string_view t, ole_number* out) {
    *out = ole_number{};
    size_t i = 0;
    while (i < t.size() && is_blank(t[i])) ++i;
    if (i < t.size() && (t[i] == '+' || t[i] == '-'))
        out->neg = t[i++] == '-';
    bool any = false;
    for (; i < t.size(); ++i) {
        if (is_digit(t[i])) {
            push_digit(out, t[i] - '0', false);
            any = true;
        } else if (t[i] == ',' && any) {
            continue;  // thousands separator
        } else {
            break;
        }
    }
    if (i < t.size() && t[i] == '.') {
        for (++i; i < t.size() && is_digit(t[i]); ++i) {
            push_digit(out, t[i] - '0', true);
            any = true;
        }
    }
    if (!any)
        return OLE_DISP_E_TYPEMISMATCH;
    if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
        ++i;
        bool eneg = false;
        if (i < t.size() && (t[i] == '+' || t[i] == '-'))
            eneg = t[i++] == '-';
        if (i >= t.size() || !is_digit(t[i]))
            return OLE_DISP_E_TYPEMISMATCH;
        int64_t e = 0;
        for (; i < t.size() && is_digit(t[i]); ++i) {
            if (e < 1000000)
                e = e * 10 + (t[i] - '0');
        }
        out->exp10 = static_cast<int32_t>(out->exp10 + (eneg ? -e : e));
    }
    while (i < t.size() && is_blank(t[i])) ++i;
    if (i != t.size())
        return OLE_DISP_E_TYPEMISMATCH;
    if (out->ndigits == 0)
        out->exp10 = 0;
    return OLE_S_OK;
}

ole_hresult ole_number_scaled(const ole_number& n, int scale, uint64_t* lo, uint64_t* hi) {
    u128 m;
    ole_hresult hr = scaled(n, scale, &m);
    if (!ole_succeeded(hr))
        return hr;
    *lo = static_cast<uint64_t>(m);
    *hi = static_cast<uint64_t>(m >> 64);
    return OLE_S_OK;
}

ole_hresult ole_number_to_i64(const ole_number& n, int64_t lo, int64_t hi, int64_t* out) {
    u128 m;
    ole_hresult hr = scaled(n, 0, &m);
    if (!ole_succeeded(hr))
        return hr;
    return to_signed(n.neg, m, lo, hi, out);
}

ole_hresult ole_number_to_r8(const ole_number& n, double* out) {
    if (n.ndigits == 0) {
        *out = n.neg ? -0.0 : 0.0;
        return OLE_S_OK;
    }
    char buf[ole_number::kMaxDigits + 24];
    char* p = buf;
    if (n.neg)
        *p++ = '-';
    for (int i = 0; i < n.ndigits; ++i) *p++ = static_cast<char>('0' + n.digits[i]);
    *p++ = 'e';
    p = std::to_chars(p, buf + sizeof buf, n.exp10).ptr;
    double v = 0;
    auto r = std::from_chars(buf, p, v);
    if (r.ec == std::errc::result_out_of_range) {
        // Too small is zero, too large an overflow.
        if (int64_t{n.exp10} + n.ndigits < 0) {
            *out = n.neg ? -0.0 : 0.0;
            return OLE_S_OK;
        }
        return OLE_DISP_E_OVERFLOW;
    }
    if (r.ec != std::errc())
        return OLE_DISP_E_TYPEMISMATCH;
    *out = v;
    return OLE_S_OK;
}

ole_hresult ole_r8_from_str(std::string_view text, ole_lcid, double* out) {
    ole_number n;
    ole_hresult hr = ole_parse_number(text, &n);
    return ole_succeeded(hr) ? ole_number_to_r8(n, out) : hr;
}

ole_hresult ole_cy_from_str(std::string_view text, ole_lcid, CY* out) {
    ole_number n;
    ole_hresult hr = ole_parse_number(text, &n);
    if (!ole_succeeded(hr))
        return hr;
    u128 m;
    hr = scaled(n, 4, &m);
    if (!ole_succeeded(hr))
        return hr;
    return to_signed(n.neg, m, INT64_MIN, INT64_MAX, &out->int64);
}

ole_hresult ole_dec_from_str(std::string_view text, ole_lcid, DECIMAL* out) {
    ole_number n;
    ole_hresult hr = ole_parse_number(text, &n);
    return ole_succeeded(hr) ? ole_dec_from_number(n, out) : hr;
}

ole_hresult ole_bool_from_str(std::string_view text, ole_lcid, bool* out) {
    size_t b = 0, e = text.size();
    while (b < e && is_blank(text[b])) ++b;
    while (e > b && is_blank(text[e - 1])) --e;
    auto same = [&](const char* word) {
        size_t len = std::strlen(word);
        if (e - b != len)
            return false;
        for (size_t i = 0; i < len; ++i) {
            char c = text[b + i];
            if (c >= 'A' && c <= 'Z')
                c = static_cast<char>(c - 'A' + 'a');
            if (c != word[i])
                return false;
        }
        return true;
    };
    if (same("true")) {
        *out = true;
        return OLE_S_OK;
    }
    if (same("false")) {
        *out = false;
        return OLE_S_OK;
    }
    ole_number n;
    ole_hresult hr = ole_parse_number(text, &n);
    if (!ole_succeeded(hr))
        return hr;
    *out = n.ndigits != 0;
    return OLE_S_OK;
}

// ---- floating point and currency -------------------------------------------

ole_hresult ole_r8_to_i64(double v, int64_t lo, int64_t hi, int64_t* out) {
    if (std::isnan(v))
        return OLE_DISP_E_OVERFLOW;
    double r = std::floor(v);
    const double diff = v - r;
    if (diff > 0.5 || (diff == 0.5 && std::fmod(r, 2.0) != 0))
        r += 1;
    // 2^63 is exactly representable; anything from it upward is out.
    if (!(r >= -9223372036854775808.0 && r < 9223372036854775808.0))
        return OLE_DISP_E_OVERFLOW;
    const int64_t i = static_cast<int64_t>(r);
    if (i < lo || i > hi)
        return OLE_DISP_E_OVERFLOW;
    *out = i;
    return OLE_S_OK;
}

ole_hresult ole_cy_from_r8(double v, CY* out) {
    return ole_r8_to_i64(v * OLE_CY_SCALE, INT64_MIN, INT64_MAX, &out->int64);
}

ole_hresult ole_cy_to_r8(const CY& cy, double* out) {
    *out = static_cast<double>(cy.int64) / OLE_CY_SCALE;
    return OLE_S_OK;
}

ole_hresult ole_cy_from_i64(int64_t v, CY* out) {
    if (__builtin_mul_overflow(v, OLE_CY_SCALE, &out->int64))
        return OLE_DISP_E_OVERFLOW;
    return OLE_S_OK;
}

ole_hresult ole_cy_from_u64(uint64_t v, CY* out) {
    if (v > static_cast<uint64_t>(INT64_MAX / OLE_CY_SCALE))
        return OLE_DISP_E_OVERFLOW;
    out->int64 = static_cast<int64_t>(v) * OLE_CY_SCALE;
    return OLE_S_OK;
}

ole_hresult ole_cy_to_i64(const CY& cy, int64_t lo, int64_t hi, int64_t* out) {
    int64_t q = cy.int64 / OLE_CY_SCALE;
    const int64_t r = cy.int64 % OLE_CY_SCALE;  // same sign as the value
    const int64_t a = r < 0 ? -r : r;
    if (a > OLE_CY_SCALE / 2 || (a == OLE_CY_SCALE / 2 && (q & 1)))
        q += r < 0 ? -1 : 1;
    if (q < lo || q > hi)
        return OLE_DISP_E_OVERFLOW;
    *out = q;
    return OLE_S_OK;
}

// ---- DECIMAL ----------------------------------------------------------------

ole_hresult ole_dec_to_number(const DECIMAL& d, ole_number* out) {
    if (d.scale > DECIMAL_MAX_SCALE)
        return OLE_E_INVALIDARG;
    *out = ole_number{};
    out->neg = (d.sign & DECIMAL_NEG) != 0;
    u128 m = (u128{d.Hi32} << 64) | d.Lo64;
    uint8_t rev[ole_number::kMaxDigits];
    int n = 0;
    while (m != 0) {
        rev[n++] = static_cast<uint8_t>(m % 10);
        m /= 10;
    }
    for (int i = 0; i < n; ++i) out->digits[i] = rev[n - 1 - i];
    out->ndigits = static_cast<uint8_t>(n);
    out->exp10 = n ? -d.scale : 0;
    return OLE_S_OK;
}

ole_hresult ole_dec_to_i64(const DECIMAL& d, int64_t lo, int64_t hi, int64_t* out) {
    ole_number n;
    ole_hresult hr = ole_dec_to_number(d, &n);
    return ole_succeeded(hr) ? ole_number_to_i64(n, lo, hi, out) : hr;
}

ole_hresult ole_dec_to_i4(const DECIMAL& d, int32_t* out) {
    int64_t v;
    ole_hresult hr = ole_dec_to_i64(d, INT32_MIN, INT32_MAX, &v);
    if (ole_succeeded(hr))
        *out = static_cast<int32_t>(v);
    return hr;
}

ole_hresult ole_dec_to_r8(const DECIMAL& d, double* out) {
    ole_number n;
    ole_hresult hr = ole_dec_to_number(d, &n);
    return ole_succeeded(hr) ? ole_number_to_r8(n, out) : hr;
}

ole_hresult ole_dec_to_cy(const DECIMAL& d, CY* out) {
    ole_number n;
    ole_hresult hr = ole_dec_to_number(d, &n);
    if (!ole_succeeded(hr))
        return hr;
    u128 m;
    hr = scaled(n, 4, &m);
    if (!ole_succeeded(hr))
        return hr;
    return to_signed(n.neg, m, INT64_MIN, INT64_MAX, &out->int64);
}

ole_hresult ole_dec_from_cy(const CY& cy, DECIMAL* out) {
    const bool neg = cy.int64 < 0;
    const u128 mag =
        neg ? static_cast<u128>(-static_cast<__int128>(cy.int64)) : static_cast<u128>(cy.int64);
    set_dec(neg, mag, 4, out);
    return OLE_S_OK;
}

ole_hresult ole_dec_from_i64(int64_t v, DECIMAL* out) {
    const bool neg = v < 0;
    set_dec(neg, neg ? static_cast<u128>(-static_cast<__int128>(v)) : static_cast<u128>(v), 0, out);
    return OLE_S_OK;
}

ole_hresult ole_dec_from_u64(uint64_t v, DECIMAL* out) {
    set_dec(false, v, 0, out);
    return OLE_S_OK;
}

ole_hresult ole_dec_from_r8(double v, DECIMAL* out) {
    if (!std::isfinite(v))
        return OLE_DISP_E_OVERFLOW;
    return ole_dec_from_str(ole_r8_to_str(v), OLE_LCID_EN_US, out);
}

ole_hresult ole_dec_from_number(const ole_number& n, DECIMAL* out) {
    // Keep the scale the number was written with (1.50 keeps two decimals),
    // at most 28; give up decimals while the mantissa does not fit.
    int scale = n.exp10 < 0 ? -n.exp10 : 0;
    if (scale > DECIMAL_MAX_SCALE)
        scale = DECIMAL_MAX_SCALE;
    for (; scale >= 0; --scale) {
        u128 m;
        if (!ole_succeeded(scaled(n, scale, &m)))
            continue;
        if (m > kDecMax)
            continue;
        set_dec(n.neg, m, scale, out);
        return OLE_S_OK;
    }
    return OLE_DISP_E_OVERFLOW;
}

// ---- number -> text ----------------------------------------------------------

ole_hresult ole_dec_to_str(const DECIMAL& d, std::string* out) {
    if (d.scale > DECIMAL_MAX_SCALE)
        return OLE_E_INVALIDARG;
    const u128 mag = (u128{d.Hi32} << 64) | d.Lo64;
    std::string digits;
    append_u128(&digits, mag);
    int scale = d.scale;
    // Trailing fraction zeros are not shown.
    while (scale > 0 && digits.size() > 1 && digits.back() == '0') {
        digits.pop_back();
        --scale;
    }
    if (scale > 0 && digits == "0")
        scale = 0;
    out->clear();
    if ((d.sign & DECIMAL_NEG) && mag != 0)
        out->push_back('-');
    if (scale == 0) {
        out->append(digits);
    } else if (static_cast<int>(digits.size()) > scale) {
        out->append(digits, 0, digits.size() - scale);
        out->push_back('.');
        out->append(digits, digits.size() - scale, std::string::npos);
    } else {
        out->append("0.");
        out->append(scale - digits.size(), '0');
        out->append(digits);
    }
    return OLE_S_OK;
}

ole_hresult ole_cy_to_str(const CY& cy, std::string* out) {
    DECIMAL d;
    ole_dec_from_cy(cy, &d);
    return ole_dec_to_str(d, out);
}

std::string ole_r8_to_str(double v) {
    return general_text(v, 15);
}

std::string ole_r4_to_str(float v) {
    return general_text(static_cast<double>(v), 7);
}
