#include "xlsx/xlsx_txt.h"

#include <cstdint>

namespace {

bool is_hex(char16_t c) {
    return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F') || (c >= u'a' && c <= u'f');
}

// "_xHHHH_" at s[i] (s[i] is '_').
bool escape_at(std::u16string_view s, size_t i) {
    return i + 6 < s.size() && (s[i + 1] == u'x' || s[i + 1] == u'X') && is_hex(s[i + 2]) &&
           is_hex(s[i + 3]) && is_hex(s[i + 4]) && is_hex(s[i + 5]) && s[i + 6] == u'_';
}

char* put_escape(char* p, unsigned unit) {
    static const char kHex[] = "0123456789ABCDEF";
    *p++ = '_';
    *p++ = 'x';
    *p++ = kHex[(unit >> 12) & 15];
    *p++ = kHex[(unit >> 8) & 15];
    *p++ = kHex[(unit >> 4) & 15];
    *p++ = kHex[unit & 15];
    *p++ = '_';
    return p;
}

}  // namespace

size_t xlsx_text(std::u16string_view s, std::string& out) {
    // Written through a pointer into room for three bytes a unit (what any
    // character but an escape takes); an escape makes more room first.
    // Texts are mostly plain ASCII, which the first test of the loop takes.
    const size_t n = s.size();
    out.resize(3 * n);
    char* base = out.data();
    char* p = base;
    size_t cap = 3 * n;
    size_t escapes = 0;
    size_t pairs = 0;
    auto room = [&](size_t k) {
        const size_t at = static_cast<size_t>(p - base);
        if (at + k > cap) {
            cap = 2 * cap + k;
            out.resize(cap);
            base = out.data();
            p = base + at;
        }
    };
    for (size_t i = 0; i < n; ++i) {
        const char16_t c = s[i];
        if (c >= 0x20 && c < 0x80 && c != u'_') {
            *p++ = static_cast<char>(c);
            continue;
        }
        if (c < 0x80) {
            if (c == u'\t' || c == u'\n' || (c == u'_' && !escape_at(s, i))) {
                *p++ = static_cast<char>(c);
            } else {
                room(7);
                p = put_escape(p, c);
                ++escapes;
            }
            continue;
        }
        uint32_t cp = c;
        if (c >= 0xD800 && c <= 0xDFFF) {
            if (c <= 0xDBFF && i + 1 < n && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
                cp = 0x10000 + ((c - 0xD800u) << 10) + (s[i + 1] - 0xDC00u);
                ++i;
                ++pairs;
            } else {
                cp = 0xFFFD;
            }
        } else if (c == 0xFFFE || c == 0xFFFF) {
            room(7);
            p = put_escape(p, c);
            ++escapes;
            continue;
        }
        if (cp < 0x800) {
            *p++ = static_cast<char>(0xC0 | (cp >> 6));
            *p++ = static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            *p++ = static_cast<char>(0xE0 | (cp >> 12));
            *p++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            *p++ = static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            *p++ = static_cast<char>(0xF0 | (cp >> 18));
            *p++ = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            *p++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            *p++ = static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    out.resize(static_cast<size_t>(p - base));
    // Every unit is a character, a pair one, an escape seven.
    return n - pairs + 6 * escapes;
}
