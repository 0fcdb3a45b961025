// Directory names of a compound file: at most 31 UTF-16 units, compared
// the way structured storage orders its directory tree (shorter names first,
// then unit by unit after upper-casing).
#pragma once

#include <string_view>

namespace stg {

// Upper-cases one UTF-16 unit for name comparison: ASCII, Latin-1, Greek,
// Cyrillic and Latin Extended-A. Units outside those ranges compare as they are.
char16_t name_upper(char16_t c);

// <0, 0, >0 as the directory tree orders names.
int compare_names(std::u16string_view a, std::u16string_view b);

// True when both names are the same ignoring case.
inline bool same_name(std::u16string_view a, std::u16string_view b) {
    return compare_names(a, b) == 0;
}

// A name the writer accepts: 1 to 31 units, none of '/', '\\', ':', '!'.
bool valid_name(std::u16string_view name);

}  // namespace stg
