// Number texts in their common plain forms, read without the general
// parse's copies: what OCI hands over for NUMBER columns is nearly always
// "-123", "1234.56" or "1.5E+20".
#pragma once

#include <cstddef>
#include <cstdint>

#include "OLE/ole_var.h"

// Reads the ASCII number text[0..n) into `out` as a value of `kind` when the
// text has one of these forms, with exactly the value
// ole_variant::from_string(text, kind) gives:
//   VT_I1, VT_I2, VT_I4, VT_I8  optional '-', 1 to 18 digits;
//   VT_DECIMAL                  optional '-', 1 to 18 digits with at most one
//                               '.' or ',' among or around them;
//   VT_R8                       digits, '-', '.', ',' (read as '.'), 'e' and
//                               'E' only, as std::from_chars reads them.
// Returns false, with `out` untouched, for any other text or kind; the
// caller then uses the general parse. `text` may be changed (',' becomes
// '.' for VT_R8).
bool ora_parse_plain_number(char* text, size_t n, uint16_t kind, ole_variant& out);
