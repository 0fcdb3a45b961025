#include "ocilite/ocl_num.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

size_t ocl_num_format_int(long long v, char* out) {
    // 20 characters at most ("-9223372036854775808"), well within the room.
    const auto res = std::to_chars(out, out + ocl_num_max - 1, v);
    *res.ptr = '\0';
    return static_cast<size_t>(res.ptr - out);
}

size_t ocl_num_format_real(double v, char* out) {
    if (std::isnan(v)) {
        // SQLite keeps no NaN (it stores NULL), but a function may return one.
        std::memcpy(out, "Nan", 4);
        return 3;
    }
    if (std::isinf(v)) {
        std::strcpy(out, v < 0 ? "-~" : "~");
        return v < 0 ? 2 : 1;
    }
    if (v == 0) {
        std::memcpy(out, "0", 2);
        return 1;
    }
    // Shortest scientific form that reads back as the same double.
    char sci[40];
    auto res = std::to_chars(sci, sci + sizeof sci - 1, v, std::chars_format::scientific);
    *res.ptr = '\0';
    // Split "-d.ddde+XX" into sign, significant digits and exponent.
    const char* p = sci;
    bool negative = false;
    if (*p == '-') {
        negative = true;
        ++p;
    }
    char mant[24];
    size_t nd = 0;
    for (; *p != 'e' && *p != '\0'; ++p) {
        if (*p >= '0' && *p <= '9') {
            mant[nd++] = *p;
        }
    }
    int exp10 = *p == 'e' ? std::atoi(p + 1) : 0;
    while (nd > 1 && mant[nd - 1] == '0') {
        --nd;
    }

    char plain[ocl_num_max * 2];
    size_t len = 0;
    if (negative) {
        plain[len++] = '-';
    }
    if (exp10 >= 0) {
        // integer digits, then the rest after a point
        for (int i = 0; i <= exp10; ++i) {
            if (len >= ocl_num_max) {
                break;
            }
            plain[len++] = static_cast<size_t>(i) < nd ? mant[i] : '0';
        }
        if (nd > static_cast<size_t>(exp10) + 1 && len < ocl_num_max) {
            plain[len++] = '.';
            for (size_t i = static_cast<size_t>(exp10) + 1; i < nd && len < ocl_num_max; ++i) {
                plain[len++] = mant[i];
            }
        }
    } else {
        plain[len++] = '.';
        for (int i = 0; i < -exp10 - 1 && len < ocl_num_max; ++i) {
            plain[len++] = '0';
        }
        for (size_t i = 0; i < nd && len < ocl_num_max; ++i) {
            plain[len++] = mant[i];
        }
    }
    if (len <= 64) {
        std::memcpy(out, plain, len);
        out[len] = '\0';
        return len;
    }
    // Too long for the plain form: d.dddE+XX
    size_t k = 0;
    if (negative) {
        out[k++] = '-';
    }
    out[k++] = mant[0];
    if (nd > 1) {
        out[k++] = '.';
        for (size_t i = 1; i < nd; ++i) {
            out[k++] = mant[i];
        }
    }
    int n = std::snprintf(out + k, ocl_num_max - k, "E%c%02d", exp10 < 0 ? '-' : '+',
                          exp10 < 0 ? -exp10 : exp10);
    return k + static_cast<size_t>(n);
}

bool ocl_num_parse(const char* s, size_t n, double* v, bool* is_int, long long* iv) {
    size_t b = 0;
    while (b < n && (s[b] == ' ' || s[b] == '\t' || s[b] == '\r' || s[b] == '\n')) {
        ++b;
    }
    size_t e = n;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r' || s[e - 1] == '\n')) {
        --e;
    }
    if (b == e) {
        return false;
    }
    // Validate the shape first: strtod would also take "inf", "0x1p3" and the like.
    size_t i = b;
    if (s[i] == '+' || s[i] == '-') {
        ++i;
    }
    size_t int_digits = 0;
    size_t frac_digits = 0;
    while (i < e && s[i] >= '0' && s[i] <= '9') {
        ++i;
        ++int_digits;
    }
    bool point = false;
    if (i < e && s[i] == '.') {
        point = true;
        ++i;
        while (i < e && s[i] >= '0' && s[i] <= '9') {
            ++i;
            ++frac_digits;
        }
    }
    if (int_digits + frac_digits == 0) {
        return false;
    }
    bool exponent = false;
    if (i < e && (s[i] == 'e' || s[i] == 'E')) {
        exponent = true;
        ++i;
        if (i < e && (s[i] == '+' || s[i] == '-')) {
            ++i;
        }
        size_t exp_digits = 0;
        while (i < e && s[i] >= '0' && s[i] <= '9') {
            ++i;
            ++exp_digits;
        }
        if (exp_digits == 0) {
            return false;
        }
    }
    if (i != e) {
        return false;
    }
    // Read the same under every process locale (strtod would take the
    // locale's decimal character); from_chars takes no '+'.
    const char* first = s + b;
    const char* last = s + e;
    if (*first == '+') {
        ++first;
    }
    const std::from_chars_result r = std::from_chars(first, last, *v);
    if (r.ec == std::errc::result_out_of_range) {
        // Beyond a double: an infinity when the value is large, a zero when
        // it is small, of the value's sign (as strtod gives them).
        long magnitude = 0;  // digits before the point, less zeros after it
        size_t k = static_cast<size_t>(first - s);
        if (s[k] == '-') {
            ++k;
        }
        bool fraction = false;
        bool seen = false;
        for (; k < e && s[k] != 'e' && s[k] != 'E'; ++k) {
            if (s[k] == '.') {
                fraction = true;
            } else if (!fraction && (seen || s[k] != '0')) {
                seen = true;
                ++magnitude;
            } else if (fraction && !seen) {
                seen = s[k] != '0';
                magnitude -= seen ? 0 : 1;
            }
        }
        if (k < e) {
            long x = 0;
            bool neg = false;
            ++k;
            if (k < e && (s[k] == '+' || s[k] == '-')) {
                neg = s[k++] == '-';
            }
            for (; k < e; ++k) {
                x = x < 100000 ? x * 10 + (s[k] - '0') : x;
            }
            magnitude += neg ? -x : x;
        }
        const bool negative = *first == '-';
        const double huge = std::numeric_limits<double>::infinity();
        *v = magnitude > 0 ? (negative ? -huge : huge) : (negative ? -0.0 : 0.0);
    }
    *is_int = false;
    if (!point && !exponent) {
        long long x = 0;
        const std::from_chars_result ri = std::from_chars(first, last, x);
        if (ri.ec == std::errc() && ri.ptr == last) {
            *is_int = true;
            *iv = x;
        }
    }
    return true;
}
