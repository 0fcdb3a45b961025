// Number texts of NUMBER columns into values, never changing a value: what
// OCI hands over is the server's text of the number ("-123", "1234.56",
// "1.5E+20"), or, from a source that does not enforce a column's type, any
// text at all.
#pragma once

#include <cstddef>
#include <cstdint>

#include "OLE/ole_var.h"

// Reads the ASCII text[0..n) into `out`. The text must be a decimal number:
// optional blanks, an optional sign, digits with at most one '.' or ','
// among or around them (one digit at least), an optional exponent ('e' or
// 'E', optional sign, digits), optional blanks.
//
// The value takes the column's `kind` when the kind holds it exactly:
//   VT_I1, VT_I2, VT_I4, VT_I8  an integer within the kind's range;
//   VT_DECIMAL                  at most 28 decimals and a mantissa of 96
//                               bits; the written scale is kept (1.50 has
//                               two decimals);
//   VT_R8                       any finite value.
// Any other value of a number text (a fraction in an integer column, a value
// beyond the kind's range) becomes the VT_R8 nearest to it when it has at
// most 15 significant digits (trailing zeros do not count), which a double
// keeps; with more it becomes a VT_BSTR of its exact digits ("-" sign, "."
// separator, a "0" before a leading separator, an integer without
// exponent), which the driver writes as a text. It is never wrapped,
// clamped, cut or rounded.
//
// Returns false, with `out` untouched, for a text that is no number ("abc",
// "12abc", "~" for an infinity, an empty text) or whose value is beyond a
// double's range, and for kinds other than the five above.
bool ora_read_number(const char* text, size_t n, uint16_t kind, ole_variant& out);
