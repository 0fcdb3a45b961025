#include "TK/tk_cpage.h"

#include <iconv.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "TK/tk_excep.h"
#include "TK/tk_utf.h"

namespace {

const iconv_t k_no_iconv = reinterpret_cast<iconv_t>(-1);

bool is_high(char16_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}
bool is_low(char16_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

// Units of the character starting at s[i]: 2 for a surrogate pair, else 1.
size_t char_units(std::u16string_view s, size_t i) {
    return is_high(s[i]) && i + 1 < s.size() && is_low(s[i + 1]) ? 2 : 1;
}

bool ascii_iprefix(std::string_view s, std::string_view prefix) {
    if (s.size() < prefix.size())
        return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        char c = s[i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c + 32);
        if (c != prefix[i])
            return false;
    }
    return true;
}

iconv_t open_iconv(const char* to, const char* from) {
    iconv_t cd = iconv_open(to, from);
    if (cd == k_no_iconv)
        throw tk_mail_assertion("tk_cpage", __LINE__);
    return cd;
}

}  // namespace

bool tk_codepage_supported(int cp) {
    switch (cp) {
        case 874:
        case 932:
        case 936:
        case 949:
        case 950:
            return true;
        default:
            return cp >= 1250 && cp <= 1258;
    }
}

int tk_locale_codepage(const char* locale) {
    if (locale == nullptr)
        return 1252;
    // language[_territory][.codeset][@modifier]
    const std::string_view name(locale);
    const size_t lang_end = name.find_first_of("_.@");
    const std::string_view lang = name.substr(0, lang_end);
    std::string_view territory;
    if (lang_end != std::string_view::npos && name[lang_end] == '_') {
        const size_t end = name.find_first_of(".@", lang_end);
        territory =
            name.substr(lang_end + 1, end == std::string_view::npos ? end : end - lang_end - 1);
    }
    const size_t at = name.find('@');
    const std::string_view modifier = at == std::string_view::npos ? "" : name.substr(at + 1);
    struct entry {
        const char* lang;
        int cp;
    };
    static const entry table[] = {
        {"ru", 1251}, {"uk", 1251}, {"bg", 1251}, {"be", 1251}, {"sr", 1251}, {"mk", 1251},
        {"el", 1253}, {"tr", 1254}, {"az", 1254}, {"he", 1255}, {"ar", 1256}, {"fa", 1256},
        {"ur", 1256}, {"lt", 1257}, {"lv", 1257}, {"et", 1257}, {"vi", 1258}, {"pl", 1250},
        {"cs", 1250}, {"sk", 1250}, {"hu", 1250}, {"sl", 1250}, {"hr", 1250}, {"ro", 1250},
        {"sq", 1250}, {"th", 874},  {"ja", 932},  {"ko", 949},
    };
    if (lang == "zh")
        return territory == "TW" || territory == "HK" || territory == "MO" ? 950 : 936;
    if (lang == "sr" && modifier == "latin")
        return 1250;
    for (const entry& e : table) {
        if (lang == e.lang)
            return e.cp;
    }
    return 1252;
}

int tk_ansi_codepage() {
    const char* forced = std::getenv("TSL_CODEPAGE");
    if (forced != nullptr && *forced != '\0') {
        std::string_view v(forced);
        for (std::string_view prefix : {"windows-", "cp"}) {
            if (ascii_iprefix(v, prefix)) {
                v.remove_prefix(prefix.size());
                break;
            }
        }
        int cp = 0;
        bool digits = !v.empty() && v.size() <= 5;
        for (char c : v) {
            digits = digits && c >= '0' && c <= '9';
            cp = cp * 10 + (c - '0');
        }
        if (!digits || !tk_codepage_supported(cp)) {
            throw tk_exception(std::string("TSL_CODEPAGE=") + forced +
                                   " is not a code page for Excel 5.0 workbooks; use one of 874, "
                                   "932, 936, 949, 950, 1250 to 1258, or unset it to follow the "
                                   "locale.",
                               1);
        }
        return cp;
    }
    for (const char* var : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        const char* v = std::getenv(var);
        if (v != nullptr && *v != '\0')
            return tk_locale_codepage(v);
    }
    return 1252;
}

tk_codepage::tk_codepage(int cp) : cp_(cp) {
    if (!tk_codepage_supported(cp))
        throw tk_mail_assertion("tk_cpage", __LINE__);
    if (cp == 1252)
        return;
    const std::string name = "CP" + std::to_string(cp);
    to_ = open_iconv(name.c_str(), "UTF-16LE");
    try {
        from_ = open_iconv("UTF-16LE", name.c_str());
    } catch (...) {
        iconv_close(static_cast<iconv_t>(to_));
        throw;
    }
}

tk_codepage::~tk_codepage() {
    if (to_)
        iconv_close(static_cast<iconv_t>(to_));
    if (from_)
        iconv_close(static_cast<iconv_t>(from_));
}

std::string tk_codepage::encode(std::u16string_view s, char replacement, size_t* replaced) {
    std::string out;
    out.reserve(s.size());
    size_t lost = 0;
    if (cp_ == 1252) {
        for (size_t i = 0; i < s.size(); i += char_units(s, i)) {
            const int b = tk::cp1252_from_unit(s[i]);
            if (b >= 0) {
                out.push_back(static_cast<char>(b));
            } else {
                out.push_back(replacement);
                ++lost;
            }
        }
    } else {
        iconv_t cd = static_cast<iconv_t>(to_);
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        std::string le(s.size() * 2, '\0');
        for (size_t i = 0; i < s.size(); ++i) {
            le[2 * i] = static_cast<char>(s[i] & 0xFF);
            le[2 * i + 1] = static_cast<char>(s[i] >> 8);
        }
        char* in = le.data();
        size_t in_left = le.size();
        char buf[256];
        while (in_left > 0) {
            char* o = buf;
            size_t o_left = sizeof buf;
            const size_t rc = iconv(cd, &in, &in_left, &o, &o_left);
            out.append(buf, static_cast<size_t>(o - buf));
            if (rc != static_cast<size_t>(-1))
                continue;
            if (errno == E2BIG)
                continue;
            // A character the code page lacks (EILSEQ) or a lone surrogate
            // at the end (EINVAL): one replacement, then the next character.
            const size_t at = (le.size() - in_left) / 2;
            const size_t units = char_units(s, at);
            out.push_back(replacement);
            ++lost;
            in += 2 * units;
            in_left -= 2 * units;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
        char* o = buf;
        size_t o_left = sizeof buf;
        iconv(cd, nullptr, nullptr, &o, &o_left);
        out.append(buf, static_cast<size_t>(o - buf));
    }
    if (replaced)
        *replaced += lost;
    return out;
}

size_t tk_codepage::unmappable(std::u16string_view s) {
    size_t n = 0;
    encode(s, '?', &n);
    return n;
}

std::u16string tk_codepage::decode(std::string_view bytes) {
    if (cp_ == 1252)
        return tk::cp1252_to_utf16(bytes);
    iconv_t cd = static_cast<iconv_t>(from_);
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    std::u16string out;
    out.reserve(bytes.size());
    std::string in_copy(bytes);
    char* in = in_copy.data();
    size_t in_left = in_copy.size();
    char buf[512];
    while (in_left > 0) {
        char* o = buf;
        size_t o_left = sizeof buf;
        const size_t rc = iconv(cd, &in, &in_left, &o, &o_left);
        for (char* p = buf; p + 1 < o; p += 2)
            out.push_back(static_cast<char16_t>(static_cast<uint8_t>(p[0]) |
                                                static_cast<uint8_t>(p[1]) << 8));
        if (rc != static_cast<size_t>(-1) || errno == E2BIG)
            continue;
        // A byte the code page does not define, or a lead byte without its
        // trail at the end.
        out.push_back(u'\xFFFD');
        ++in;
        --in_left;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    return out;
}
