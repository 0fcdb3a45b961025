#include "TK/tk_utf.h"

#include <array>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tk {
namespace {

constexpr char16_t kReplacement = 0xFFFD;

// 0x80..0x9F of Windows-1252; undefined positions keep their C1 value.
constexpr std::array<char16_t, 32> kCp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// The 1252 byte of each UTF-16 unit below kFromUnitEnd that is one of the
// table above, 0 for the others; a look-up instead of a search per
// character of BIFF5 text. Units from kFromUnitEnd up are never in 1252.
constexpr size_t kFromUnitEnd = [] {
    size_t top = 0;
    for (char16_t c : kCp1252High) top = c > top ? c : top;
    return top + 1;
}();
constexpr std::array<uint8_t, kFromUnitEnd> kFromUnit = [] {
    std::array<uint8_t, kFromUnitEnd> t{};
    for (size_t k = 0; k < kCp1252High.size(); ++k)
        t[kCp1252High[k]] = static_cast<uint8_t>(0x80 + k);
    return t;
}();

// Decodes one UTF-8 sequence at s[i]; returns its length, or 0 when malformed.
size_t decode_utf8(std::string_view s, size_t i, char32_t& cp) {
    auto b0 = static_cast<unsigned char>(s[i]);
    if (b0 < 0x80) {
        cp = b0;
        return 1;
    }
    size_t len;
    char32_t min;
    if ((b0 & 0xE0) == 0xC0) {
        len = 2, cp = b0 & 0x1F, min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        len = 3, cp = b0 & 0x0F, min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        len = 4, cp = b0 & 0x07, min = 0x10000;
    } else {
        return 0;
    }
    if (i + len > s.size())
        return 0;
    for (size_t k = 1; k < len; ++k) {
        auto b = static_cast<unsigned char>(s[i + k]);
        if ((b & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return len;
}

}  // namespace

std::u16string utf8_to_utf16(std::string_view s) {
    // Never more units than bytes: the result is sized once and written
    // through a pointer; ASCII, the bulk of most texts, goes sixteen bytes a
    // step with SSE2 (eight without).
    std::u16string out(s.size(), u'\0');
    char16_t* d = out.data();
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    const size_t n = s.size();
    size_t i = 0;
    while (i < n) {
#if defined(__SSE2__)
        for (; i + 16 <= n; i += 16, d += 16) {
            const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
            if (_mm_movemask_epi8(b) != 0)
                break;
            const __m128i zero = _mm_setzero_si128();
            _mm_storeu_si128(reinterpret_cast<__m128i*>(d), _mm_unpacklo_epi8(b, zero));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 8), _mm_unpackhi_epi8(b, zero));
        }
#endif
        while (i + 8 <= n) {
            uint64_t w;
            std::memcpy(&w, p + i, 8);
            if (w & 0x8080808080808080ull)
                break;
            for (int k = 0; k < 8; ++k) d[k] = p[i + k];
            d += 8;
            i += 8;
        }
        if (i >= n)
            break;
        if (p[i] < 0x80) {
            *d++ = p[i++];
            continue;
        }
        char32_t cp;
        const size_t len = decode_utf8(s, i, cp);
        if (len == 0) {
            *d++ = kReplacement;
            ++i;  // resynchronise on the next byte
        } else if (cp < 0x10000) {
            *d++ = static_cast<char16_t>(cp);
            i += len;
        } else {
            cp -= 0x10000;
            *d++ = static_cast<char16_t>(0xD800 + (cp >> 10));
            *d++ = static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
            i += len;
        }
    }
    out.resize(static_cast<size_t>(d - out.data()));
    return out;
}

std::string utf16_to_utf8(std::u16string_view s) {
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        char32_t cp = s[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 &&
            s[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = kReplacement;  // lone surrogate
        }
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

bool is_valid_utf8(std::string_view s) {
    for (size_t i = 0; i < s.size();) {
        char32_t cp;
        size_t n = decode_utf8(s, i, cp);
        if (n == 0)
            return false;
        i += n;
    }
    return true;
}

std::u16string cp1252_to_utf16(std::string_view s) {
    std::u16string out;
    out.reserve(s.size());
    for (char c : s) {
        auto b = static_cast<unsigned char>(c);
        out.push_back(b >= 0x80 && b < 0xA0 ? kCp1252High[b - 0x80] : static_cast<char16_t>(b));
    }
    return out;
}

int cp1252_from_unit(char16_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return c;
    if (c >= kFromUnitEnd || kFromUnit[c] == 0)
        return -1;
    return kFromUnit[c];
}

std::string utf16_to_cp1252(std::u16string_view s, char replacement, bool* lossy) {
    std::string out;
    out.reserve(s.size());
    bool lost = false;
    for (size_t i = 0; i < s.size(); ++i) {
        int b = cp1252_from_unit(s[i]);
        if (b < 0) {
            lost = true;
            out.push_back(replacement);
            // A surrogate pair is one character: one replacement for both units.
            if (s[i] >= 0xD800 && s[i] <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 &&
                s[i + 1] <= 0xDFFF)
                ++i;
        } else {
            out.push_back(static_cast<char>(b));
        }
    }
    if (lossy)
        *lossy = lost;
    return out;
}

std::string escape_controls(std::string_view s) {
    static const char kHex[] = "0123456789abcdef";
    auto is_c1 = [&](size_t i) {
        return static_cast<unsigned char>(s[i]) == 0xC2 && i + 1 < s.size() &&
               static_cast<unsigned char>(s[i + 1]) >= 0x80 &&
               static_cast<unsigned char>(s[i + 1]) <= 0x9F;
    };
    auto is_c0 = [&](size_t i) {
        const auto c = static_cast<unsigned char>(s[i]);
        return (c < 0x20 && c != '\n' && c != '\t') || c == 0x7F;
    };
    size_t i = 0;
    while (i < s.size() && !is_c0(i) && !is_c1(i)) ++i;
    if (i == s.size())
        return std::string(s);  // the usual case: nothing to escape
    std::string out(s.substr(0, i));
    for (; i < s.size(); ++i) {
        if (is_c0(i)) {
            const auto c = static_cast<unsigned char>(s[i]);
            out += "\\x";
            out += kHex[c >> 4];
            out += kHex[c & 15];
        } else if (is_c1(i)) {
            const auto c = static_cast<unsigned char>(s[++i]);
            out += "\\u00";
            out += kHex[c >> 4];
            out += kHex[c & 15];
        } else {
            out += s[i];
        }
    }
    return out;
}

std::u16string ascii_to_utf16(std::string_view s) {
    return std::u16string(s.begin(), s.end());
}

}  // namespace tk
