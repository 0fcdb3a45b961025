#include "ocilite/ocl_text.h"

#include <cstdint>
#include <cstring>

size_t ocl_utf8_next(const unsigned char* s, size_t n, char32_t* cp) {
    unsigned char c = s[0];
    if (c < 0x80) {
        *cp = c;
        return 1;
    }
    size_t len;
    char32_t v;
    char32_t min;
    if (c >= 0xC2 && c <= 0xDF) {
        len = 2;
        v = c & 0x1F;
        min = 0x80;
    } else if (c >= 0xE0 && c <= 0xEF) {
        len = 3;
        v = c & 0x0F;
        min = 0x800;
    } else if (c >= 0xF0 && c <= 0xF4) {
        len = 4;
        v = c & 0x07;
        min = 0x10000;
    } else {
        *cp = 0xFFFD;
        return 1;
    }
    if (len > n) {
        *cp = 0xFFFD;
        return 1;
    }
    for (size_t i = 1; i < len; ++i) {
        if ((s[i] & 0xC0) != 0x80) {
            *cp = 0xFFFD;
            return 1;
        }
        v = (v << 6) | (s[i] & 0x3F);
    }
    if (v < min || v > 0x10FFFF || (v >= 0xD800 && v <= 0xDFFF)) {
        *cp = 0xFFFD;
        return 1;
    }
    *cp = v;
    return len;
}

size_t ocl_utf8_put(char32_t cp, unsigned char* out) {
    if (cp < 0x80) {
        out[0] = static_cast<unsigned char>(cp);
        return 1;
    }
    if (cp < 0x800) {
        out[0] = static_cast<unsigned char>(0xC0 | (cp >> 6));
        out[1] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
        return 2;
    }
    if (cp < 0x10000) {
        out[0] = static_cast<unsigned char>(0xE0 | (cp >> 12));
        out[1] = static_cast<unsigned char>(0x80 | ((cp >> 6) & 0x3F));
        out[2] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
        return 3;
    }
    out[0] = static_cast<unsigned char>(0xF0 | (cp >> 18));
    out[1] = static_cast<unsigned char>(0x80 | ((cp >> 12) & 0x3F));
    out[2] = static_cast<unsigned char>(0x80 | ((cp >> 6) & 0x3F));
    out[3] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
    return 4;
}

size_t ocl_utf16_units(const unsigned char* s, size_t n) {
    size_t units = 0;
    size_t i = 0;
    while (i < n) {
        if (s[i] < 0x80) {
            ++i;
            ++units;
            continue;
        }
        char32_t cp;
        i += ocl_utf8_next(s + i, n - i, &cp);
        units += cp >= 0x10000 ? 2 : 1;
    }
    return units;
}

std::string ocl_utf16_to_utf8(const unsigned char* bytes, size_t units) {
    std::string out;
    out.reserve(units);
    for (size_t i = 0; i < units; ++i) {
        char16_t u;
        std::memcpy(&u, bytes + i * 2, 2);
        char32_t cp = u;
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units) {
            char16_t lo;
            std::memcpy(&lo, bytes + (i + 1) * 2, 2);
            if (lo >= 0xDC00 && lo <= 0xDFFF) {
                cp = 0x10000 + ((char32_t(u) - 0xD800) << 10) + (lo - 0xDC00);
                ++i;
            } else {
                cp = 0xFFFD;
            }
        } else if (u >= 0xD800 && u <= 0xDFFF) {
            cp = 0xFFFD;
        }
        unsigned char buf[4];
        size_t k = ocl_utf8_put(cp, buf);
        out.append(reinterpret_cast<const char*>(buf), k);
    }
    return out;
}

std::u16string ocl_utf8_to_utf16(std::string_view s) {
    std::u16string out;
    out.reserve(s.size());
    const unsigned char* p = reinterpret_cast<const unsigned char*>(s.data());
    size_t i = 0;
    while (i < s.size()) {
        char32_t cp;
        i += ocl_utf8_next(p + i, s.size() - i, &cp);
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (cp >> 10));
            out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
    }
    return out;
}

namespace {

void put_unit(unsigned char* d, char32_t u) {
    const char16_t w = static_cast<char16_t>(u);
    std::memcpy(d, &w, 2);  // the define buffer need not be aligned
}

// UTF-8 bytes the text takes once malformed bytes are replaced (3 each).
size_t utf8_clean_bytes(const unsigned char* s, size_t n) {
    size_t bytes = 0;
    size_t i = 0;
    while (i < n) {
        if (s[i] < 0x80) {
            ++i;
            ++bytes;
            continue;
        }
        char32_t cp;
        const size_t len = ocl_utf8_next(s + i, n - i, &cp);
        i += len;
        bytes += len > 1 ? len : 3;  // a lone non-ASCII byte is a replacement
    }
    return bytes;
}

// UTF-8 to UTF-16 with one room check per character. ASCII, 2- and 3-byte
// sequences are decoded here; 4-byte and malformed ones by ocl_utf8_next.
// Stops at the first character that does not fit; *used gets the input
// bytes consumed.
size_t put_utf16(const unsigned char* s, size_t n, unsigned char* buf, size_t cap, size_t* used,
                 bool* malformed) {
    unsigned char* d = buf;
    unsigned char* const end = buf + cap;
    size_t i = 0;
    while (i < n) {
        const unsigned char c = s[i];
        if (c < 0x80) {
            if (end - d < 2)
                break;
            put_unit(d, c);
            d += 2;
            ++i;
            // An ASCII run (Latin text, numbers, dates) goes on eight bytes
            // a step while they are all ASCII and their room is there.
            while (n - i >= 8 && end - d >= 16) {
                uint64_t w;
                std::memcpy(&w, s + i, 8);
                if ((w & 0x8080808080808080ull) != 0)
                    break;
                for (size_t k = 0; k < 8; ++k) put_unit(d + 2 * k, s[i + k]);
                d += 16;
                i += 8;
            }
            continue;
        }
        if (c >= 0xC2 && c <= 0xDF && i + 1 < n && (s[i + 1] & 0xC0) == 0x80) {
            if (end - d < 2)
                break;
            put_unit(d, (char32_t(c & 0x1F) << 6) | (s[i + 1] & 0x3F));
            d += 2;
            i += 2;
            continue;
        }
        if (c >= 0xE0 && c <= 0xEF && i + 2 < n && (s[i + 1] & 0xC0) == 0x80 &&
            (s[i + 2] & 0xC0) == 0x80) {
            const char32_t v =
                (char32_t(c & 0x0F) << 12) | (char32_t(s[i + 1] & 0x3F) << 6) | (s[i + 2] & 0x3F);
            // Overlong forms and encoded surrogates go the careful way.
            if (v >= 0x800 && (v < 0xD800 || v > 0xDFFF)) {
                if (end - d < 2)
                    break;
                put_unit(d, v);
                d += 2;
                i += 3;
                continue;
            }
        }
        char32_t cp;
        const size_t len = ocl_utf8_next(s + i, n - i, &cp);
        if (len == 1 && cp == 0xFFFD)
            *malformed = true;
        if (cp >= 0x10000) {
            if (end - d < 4)
                break;
            put_unit(d, 0xD800 + ((cp - 0x10000) >> 10));
            put_unit(d + 2, 0xDC00 + ((cp - 0x10000) & 0x3FF));
            d += 4;
        } else {
            if (end - d < 2)
                break;
            put_unit(d, cp);
            d += 2;
        }
        i += len;
    }
    *used = i;
    return static_cast<size_t>(d - buf);
}

// UTF-8 to UTF-8: well-formed characters are copied, malformed bytes become
// U+FFFD (with `keep_bytes`: are copied too). Same contract as put_utf16.
size_t put_utf8(const unsigned char* s, size_t n, unsigned char* buf, size_t cap, size_t* used,
                bool keep_bytes) {
    static const unsigned char replacement[3] = {0xEF, 0xBF, 0xBD};
    size_t w = 0;
    size_t i = 0;
    while (i < n) {
        if (s[i] < 0x80) {
            if (w == cap)
                break;
            buf[w++] = s[i++];
            continue;
        }
        char32_t cp;
        const size_t len = ocl_utf8_next(s + i, n - i, &cp);
        const bool keep = len > 1 || keep_bytes || cp != 0xFFFD;
        const unsigned char* from = keep ? s + i : replacement;
        const size_t k = keep ? len : 3;
        if (cap - w < k)
            break;
        for (size_t j = 0; j < k; ++j) buf[w + j] = from[j];
        w += k;
        i += len;
    }
    *used = i;
    return w;
}

// True when s[0..n) holds a byte of no well-formed character.
bool has_stray_byte(const unsigned char* s, size_t n) {
    for (size_t i = 0; i < n;) {
        if (s[i] < 0x80) {
            ++i;
            continue;
        }
        char32_t cp;
        const size_t len = ocl_utf8_next(s + i, n - i, &cp);
        if (len == 1 && cp == 0xFFFD)
            return true;
        i += len;
    }
    return false;
}

// Every byte as one UTF-16 unit: ASCII as itself, any other byte b as the
// unit 0xDC00 + b. Same contract as put_utf16.
size_t put_escaped(const unsigned char* s, size_t n, unsigned char* buf, size_t cap, size_t* used) {
    size_t i = 0;
    for (; i < n && 2 * i + 2 <= cap; ++i)
        put_unit(buf + 2 * i, s[i] < 0x80 ? s[i] : 0xDC00 + s[i]);
    *used = i;
    return 2 * i;
}

}  // namespace

size_t ocl_put_text(const unsigned char* s, size_t n, bool utf16, unsigned char* buf, size_t cap,
                    size_t* full, bool keep_bytes) {
    size_t used = 0;
    bool malformed = false;
    size_t written = utf16 ? put_utf16(s, n, buf, cap, &used, &malformed)
                           : put_utf8(s, n, buf, cap, &used, keep_bytes);
    if (utf16 && keep_bytes && (malformed || (used < n && has_stray_byte(s + used, n - used)))) {
        // A text in no valid UTF-8: its bytes, so that the reader may read
        // them in an encoding of its choice.
        written = put_escaped(s, n, buf, cap, &used);
        if (full != nullptr)
            *full = 2 * n;
        return written;
    }
    if (keep_bytes && !utf16) {
        if (full != nullptr)
            *full = written + (n - used);
        return written;
    }
    if (full != nullptr) {
        // What did not fit is only measured (the truncation case).
        size_t rest = 0;
        if (used < n)
            rest = utf16 ? 2 * ocl_utf16_units(s + used, n - used)
                         : utf8_clean_bytes(s + used, n - used);
        *full = written + rest;
    }
    return written;
}

size_t ocl_put_hex(const unsigned char* s, size_t n, bool utf16, unsigned char* buf, size_t cap,
                   size_t* full) {
    static const char digits[] = "0123456789ABCDEF";
    const size_t unit = utf16 ? 2 : 1;
    const size_t need = n * 2 * unit;
    size_t chars = cap / unit;  // whole characters that fit
    if (chars > n * 2) {
        chars = n * 2;
    }
    for (size_t k = 0; k < chars; ++k) {
        unsigned char b = s[k / 2];
        char c = digits[(k % 2 == 0) ? (b >> 4) : (b & 0x0F)];
        if (utf16) {
            char16_t u = static_cast<unsigned char>(c);
            std::memcpy(buf + k * 2, &u, 2);
        } else {
            buf[k] = static_cast<unsigned char>(c);
        }
    }
    if (full != nullptr) {
        *full = need;
    }
    return chars * unit;
}

std::string ocl_ascii_upper(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 32);
        }
    }
    return out;
}

bool ocl_ascii_iequal(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i];
        char y = b[i];
        if (x >= 'a' && x <= 'z') {
            x = static_cast<char>(x - 32);
        }
        if (y >= 'a' && y <= 'z') {
            y = static_cast<char>(y - 32);
        }
        if (x != y) {
            return false;
        }
    }
    return true;
}
