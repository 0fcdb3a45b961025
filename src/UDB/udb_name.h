// Name equality of the universal model. Table, column, index and
// relationship names are compared ignoring case by Unicode case folding
// that does not depend on the process locale ("Name" == "NAME",
// "Ä" == "ä", "Σ" == "σ"); engines whose catalogs are case-sensitive ask
// for an exact comparison instead. Neither form allocates, so lookups by
// name may run per record.
#pragma once

#include <string_view>

#include "TK/tk_utils.h"

// True when `a` and `b` name the same object: character for character when
// `case_sensitive` is set, otherwise ignoring case.
inline bool udb_name_equal(std::u16string_view a, std::u16string_view b,
                           bool case_sensitive = false) {
    if (case_sensitive)
        return a == b;
    return tk_equal_nocase(a, b);
}
