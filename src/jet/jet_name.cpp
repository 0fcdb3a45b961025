#include "jet/jet_name.h"

#include <cstdio>

#include "TK/tk_cpage.h"
#include "TK/tk_utf.h"
#include "jet/biff_format.h"

char16_t jet_fold(char16_t c) {
    if (c < 0x80)
        return (c >= u'a' && c <= u'z') ? c - 0x20 : c;
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7)
        return c - 0x20;
    if (c == 0xFF)
        return 0x178;
    if (c >= 0x100 && c <= 0x17F) {
        // Pairs of capital and small letters: capital on the even unit,
        // except in the two runs where it is on the odd one.
        if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E))
            return (c & 1) ? c : c - 1;
        if (c == 0x130 || c == 0x131 || c == 0x138 || c == 0x149 || c == 0x17F)
            return c;
        return c & ~1;
    }
    if (c >= 0x3B1 && c <= 0x3C9)
        return c == 0x3C2 ? 0x3A3 : c - 0x20;
    if (c >= 0x430 && c <= 0x44F)
        return c - 0x20;
    if (c >= 0x450 && c <= 0x45F)
        return c - 0x50;
    return c;
}

bool jet_same_name(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (jet_fold(a[i]) != jet_fold(b[i]))
            return false;
    return true;
}

bool jet_valid_sheet_name(std::u16string_view name) {
    if (name.empty() || name.size() > biff::k_max_sheet_name)
        return false;
    if (name.front() == u'\'' || name.back() == u'\'')
        return false;
    for (char16_t c : name) {
        switch (c) {
            case u':':
            case u'\\':
            case u'/':
            case u'?':
            case u'*':
            case u'[':
            case u']':
                return false;
            default:
                break;
        }
    }
    return true;
}

std::string jet_biff5_sheet_name(std::u16string_view name, tk_codepage& cp,
                                 const std::function<bool(std::u16string_view)>& taken,
                                 size_t* replaced) {
    size_t lost = 0;
    const std::string out = cp.encode(name, '_', &lost);
    if (replaced)
        *replaced += lost;
    if (lost == 0 || !taken(cp.decode(out)))
        return out;
    // Cut by characters, not bytes: a double-byte character stays whole.
    const std::string base = cp.encode(cp.decode(out).substr(0, biff::k_max_sheet_name - 5), '_');
    for (int n = 1; n <= 99999; ++n) {
        char suffix[8];
        std::snprintf(suffix, sizeof suffix, "%05d", n);
        std::string cand = base + suffix;
        if (!taken(cp.decode(cand)))
            return cand;
    }
    return out;  // unreachable: a workbook has far fewer sheets
}
