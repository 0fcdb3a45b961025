#include "xlsx/xlsx_txt.h"

namespace {

bool is_hex(char16_t c) {
    return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F') || (c >= u'a' && c <= u'f');
}

// "_xHHHH_" at s[i] (s[i] is '_').
bool escape_at(std::u16string_view s, size_t i) {
    return i + 6 < s.size() && (s[i + 1] == u'x' || s[i + 1] == u'X') && is_hex(s[i + 2]) &&
           is_hex(s[i + 3]) && is_hex(s[i + 4]) && is_hex(s[i + 5]) && s[i + 6] == u'_';
}

void put_escape(std::string& out, unsigned unit) {
    static const char kHex[] = "0123456789ABCDEF";
    const char e[7] = {'_',
                       'x',
                       kHex[(unit >> 12) & 15],
                       kHex[(unit >> 8) & 15],
                       kHex[(unit >> 4) & 15],
                       kHex[unit & 15],
                       '_'};
    out.append(e, sizeof e);
}

}  // namespace

size_t xlsx_text(std::u16string_view s, std::string& out) {
    out.clear();
    const size_t n = s.size();
    size_t chars = 0;
    for (size_t i = 0; i < n; ++i) {
        const char16_t c = s[i];
        ++chars;
        if (c < 0x80) {
            if (c >= 0x20 && c != u'_') {
                out.push_back(static_cast<char>(c));
            } else if (c == u'\t' || c == u'\n') {
                out.push_back(static_cast<char>(c));
            } else if (c == u'_') {
                if (escape_at(s, i)) {
                    put_escape(out, c);
                    chars += 6;
                } else {
                    out.push_back('_');
                }
            } else {
                put_escape(out, c);
                chars += 6;
            }
            continue;
        }
        uint32_t cp = c;
        if (c >= 0xD800 && c <= 0xDFFF) {
            if (c <= 0xDBFF && i + 1 < n && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
                cp = 0x10000 + ((c - 0xD800u) << 10) + (s[i + 1] - 0xDC00u);
                ++i;
            } else {
                cp = 0xFFFD;
            }
        } else if (c == 0xFFFE || c == 0xFFFF) {
            put_escape(out, c);
            chars += 6;
            continue;
        }
        if (cp < 0x800) {
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
    return chars;
}
