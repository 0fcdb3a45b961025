// Small helpers of the Oracle source: handing wide strings to OCI, quoting
// names and texts pasted into SQL, and one-value queries.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "oci/tsl_oci.h"

// A wide string as OCI text in an OCI_UTF16 environment: the characters and
// the length in bytes. The string must outlive the call.
inline const OraText* ora_text(const std::u16string& s) {
    return reinterpret_cast<const OraText*>(s.c_str());
}
inline ub4 ora_bytes(const std::u16string& s) {
    return static_cast<ub4>(s.size() * 2);
}

// `s` as an SQL string literal: enclosed in apostrophes, each apostrophe
// inside doubled, so any name compares as written and cannot end the
// literal early.
std::u16string ora_sql_literal(std::u16string_view s);
// `s` as a quoted SQL identifier: enclosed in double quotes, each double
// quote inside doubled; the case is kept as stored.
std::u16string ora_sql_ident(std::u16string_view s);

// Runs `sql` on the engine's connection and returns the first column of its
// first row as a 32-bit integer (SQLT_INT). Every call is guarded; a
// statement that yields no row is an internal error reported at `stem` and
// `line`.
int32_t ora_select_int(const std::u16string& sql, const char* stem, int line);

// The length of the zero-terminated text in buf[0..cap) (cap when there is
// no terminator).
inline size_t ora_text_length(const char16_t* buf, size_t cap) {
    size_t n = 0;
    while (n < cap && buf[n] != 0) ++n;
    return n;
}
