#include "TK/tk_utils.h"

#include <locale.h>
#include <wctype.h>

#include "TK/tk_log.h"

namespace {

// The case tables come from the C library's "C.UTF-8" locale object, created
// once and never freed; the process's own locale (setlocale, LANG) plays no
// part. Debian ships that locale in libc-bin, which every system has; should
// it still be missing, only ASCII letters change case.
locale_t case_locale() {
    static const locale_t loc = [] {
        locale_t l = newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t(nullptr));
        if (!l)
            l = newlocale(LC_CTYPE_MASK, "C.utf8", locale_t(nullptr));
        if (!l)
            l = newlocale(LC_CTYPE_MASK, "C", locale_t(nullptr));
        return l;
    }();
    return loc;
}

bool is_high(char32_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}
bool is_low(char32_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

// The code point at s[i] (a surrogate pair counts as one); advances i.
char32_t next_code_point(std::u16string_view s, size_t& i) {
    char32_t c = s[i++];
    if (is_high(c) && i < s.size() && is_low(s[i])) {
        c = 0x10000 + ((c - 0xD800) << 10) + (s[i++] - 0xDC00);
    }
    return c;
}

void append_code_point(std::u16string& out, char32_t c) {
    if (c < 0x10000) {
        out.push_back(static_cast<char16_t>(c));
    } else {
        c -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    }
}

inline char32_t fold_ascii(char32_t c) {
    return c >= 'A' && c <= 'Z' ? c + 32 : c;
}

// Walks both texts character by character, folding only where the units
// differ (identical units that are not surrogates need no folding, which is
// the common case); `on_mismatch` gives the result at the first difference.
template <class Done>
int compare_folded(std::u16string_view a, std::u16string_view b, Done on_mismatch) {
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        char32_t x = a[i], y = b[j];
        if (x == y && (x < 0xD800 || x > 0xDFFF)) {
            ++i, ++j;
            continue;
        }
        if (x < 0x80 && y < 0x80) {
            x = fold_ascii(x), y = fold_ascii(y);
            ++i, ++j;
        } else {
            x = tk_fold_case(next_code_point(a, i));
            y = tk_fold_case(next_code_point(b, j));
        }
        if (x != y)
            return on_mismatch(x, y);
    }
    if (i < a.size())
        return 1;
    if (j < b.size())
        return -1;
    return 0;
}

template <class S>
S& ltrim(S& s) {
    size_t n = s.find_first_not_of(typename S::value_type(' '));
    s.erase(0, n == S::npos ? s.size() : n);
    return s;
}

template <class S>
S& rtrim(S& s) {
    size_t n = s.find_last_not_of(typename S::value_type(' '));
    if (n == S::npos) {
        tk_trace(1, "Special processing for all-spaces-string");
        s.clear();
    } else {
        s.erase(n + 1);
    }
    return s;
}

}  // namespace

std::string& tk_ltrim(std::string& s) {
    return ltrim(s);
}
std::u16string& tk_ltrim(std::u16string& s) {
    return ltrim(s);
}
std::string& tk_rtrim(std::string& s) {
    return rtrim(s);
}
std::u16string& tk_rtrim(std::u16string& s) {
    return rtrim(s);
}
std::string& tk_trim(std::string& s) {
    return ltrim(rtrim(s));
}
std::u16string& tk_trim(std::u16string& s) {
    return ltrim(rtrim(s));
}

char32_t tk_upper_case(char32_t c) {
    if (c < 0x80)
        return c >= 'a' && c <= 'z' ? c - 32 : c;
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
        return c;
    locale_t loc = case_locale();
    return loc ? static_cast<char32_t>(towupper_l(static_cast<wint_t>(c), loc)) : c;
}

char32_t tk_fold_case(char32_t c) {
    if (c < 0x80)
        return fold_ascii(c);
    // The Turkish I's keep their own identity (Unicode default folding).
    if (c == 0x130 || c == 0x131 || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
        return c;
    locale_t loc = case_locale();
    if (!loc)
        return c;
    // Lower case of the upper case: brings final sigma, long s, Kelvin sign,
    // titlecase digraphs and the like to the same letter as their partners.
    auto up = towupper_l(static_cast<wint_t>(c), loc);
    return static_cast<char32_t>(towlower_l(up, loc));
}

std::u16string tk_upper(std::u16string_view s) {
    std::u16string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size();) append_code_point(out, tk_upper_case(next_code_point(s, i)));
    return out;
}

std::u16string tk_wstring::to_upper() {
    tk_wtrace(1, u"tk_wstring::to_upper(%s)", c_str());
    std::u16string up = tk_upper(*this);
    assign(up);
    return up;
}

int tk_compare_nocase(std::u16string_view a, std::u16string_view b) {
    return compare_folded(a, b, [](char32_t x, char32_t y) { return x < y ? -1 : 1; });
}

bool tk_equal_nocase(std::u16string_view a, std::u16string_view b) {
    return compare_folded(a, b, [](char32_t, char32_t) { return 1; }) == 0;
}
