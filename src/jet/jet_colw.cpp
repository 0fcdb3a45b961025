#include "jet/jet_colw.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "jet/biff_format.h"
#include "jet/jet_out.h"

namespace {

// Powers of ten up to 10^22, all exact in a double.
constexpr double k_pow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                              1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                              1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

unsigned digits(uint64_t n) {
    unsigned d = 1;
    while (n >= 10) {
        n /= 10;
        ++d;
    }
    return d;
}

// East Asian wide and fullwidth characters (the blocks of Unicode's
// EastAsianWidth W and F classes that matter for text data): shown two
// digit widths wide.
bool is_wide(uint32_t c) {
    if (c < 0x1100)
        return false;
    return c <= 0x115F || (c >= 0x2E80 && c <= 0x303E) || (c >= 0x3041 && c <= 0x33FF) ||
           (c >= 0x3400 && c <= 0x4DBF) || (c >= 0x4E00 && c <= 0x9FFF) ||
           (c >= 0xA000 && c <= 0xA4CF) || (c >= 0xA960 && c <= 0xA97F) ||
           (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) ||
           (c >= 0xFE10 && c <= 0xFE19) || (c >= 0xFE30 && c <= 0xFE6F) ||
           (c >= 0xFF00 && c <= 0xFF60) || (c >= 0xFFE0 && c <= 0xFFE6) ||
           (c >= 0x1F300 && c <= 0x1F64F) || (c >= 0x1F900 && c <= 0x1F9FF) ||
           (c >= 0x20000 && c <= 0x3FFFD);
}

// The widest "%.15g" text: sign, 15 digits, point, "e-308".
constexpr unsigned k_general_max = 22;

}  // namespace

unsigned jet_general_length(double v) {
    const double a = std::fabs(v);
    if (a == 0)
        return 1;  // "0", negative zero included
    const unsigned sign = v < 0 ? 1 : 0;
    if (a < 1e15 && a == std::floor(a))
        return sign + digits(static_cast<uint64_t>(a));
    auto exponent_form = [v] {
        char buf[40];
        const std::to_chars_result r =
            std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 15);
        return r.ec == std::errc() ? static_cast<unsigned>(r.ptr - buf) : k_general_max;
    };
    if (!(a >= 1e-4 && a < 1e15))
        return exponent_form();
    // Fixed form with 15 significant digits: find the exponent of the
    // leading digit, scale the 15 digits to an integer and drop its
    // trailing zeros. Scaling by an exact power of ten rounds once.
    int x = 14;
    while (x > -4 && a < (x >= 0 ? k_pow10[x] : 1.0 / k_pow10[-x])) --x;
    int decimals = 14 - x;
    double m = std::nearbyint(a * k_pow10[decimals]);
    if (m >= 1e15) {  // rounding carried into a new leading digit
        if (decimals == 0)
            return exponent_form();  // 999999999999999.5 shows as 1e+15
        ++x;
        --decimals;
        m = std::nearbyint(a * k_pow10[decimals]);
    }
    auto n = static_cast<uint64_t>(m);
    while (decimals > 0 && n % 10 == 0) {
        n /= 10;
        --decimals;
    }
    return sign + (x >= 0 ? x + 1 : 1) + (decimals > 0 ? 1 + decimals : 0);
}

unsigned jet_text_quarters(std::u16string_view s, bool biff8, unsigned limit) {
    unsigned q = 0;
    const size_t n = s.size();
    for (size_t i = 0; i < n && q < limit; ++i) {
        const char16_t c = s[i];
        if (c < 0x80) {
            q += c >= u'A' && c <= u'Z' ? 5 : 4;
            continue;
        }
        uint32_t cp = c;
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < n && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((c - 0xD800u) << 10) + (s[i + 1] - 0xDC00u);
            ++i;
        }
        q += biff8 && is_wide(cp) ? 8 : 4;
    }
    return std::min(q, limit);
}

jet_col_widths::jet_col_widths(bool biff8, unsigned max_chars)
    : biff8_(biff8), limit_(static_cast<uint16_t>(4 * std::min(max_chars, k_limit_chars))) {}

void jet_col_widths::header(uint16_t col, std::u16string_view name) {
    if (col >= q_.size())
        q_.resize(col + 1u, 0);
    const unsigned q = jet_text_quarters(name, biff8_, limit_);
    grow(col, q + (q + 9) / 10);
}

void jet_col_widths::number(uint16_t col, double v) {
    if (col < q_.size() && q_[col] < limit_ && q_[col] < 4 * k_general_max)
        grow(col, 4 * jet_general_length(v));
}

uint16_t jet_col_widths::width_units(size_t col) const {
    const unsigned padded = (col < q_.size() ? q_[col] : 0) + 4u;  // a character of padding
    return static_cast<uint16_t>(std::max<unsigned>(padded * 64, biff::k_colwidth_default));
}

void jet_col_widths::write(std::vector<uint8_t>& out) const {
    for (size_t first = 0; first < q_.size();) {
        const uint16_t w = width_units(first);
        size_t last = first;
        while (last + 1 < q_.size() && width_units(last + 1) == w) ++last;
        jet_rec(out, biff::k_colinfo)
            .u16(static_cast<uint16_t>(first))
            .u16(static_cast<uint16_t>(last))
            .u16(w)
            .u16(biff::k_xf_default_cell)
            .u16(biff::k_colinfo_user_set)
            .u16(0);
        first = last + 1;
    }
}
