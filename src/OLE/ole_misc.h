// The automation number conversions this system relies upon: text to
// numbers, currency (CY) and scaled decimal (DECIMAL) to and from the other
// numeric forms, and number-to-text in the automation's own shape.
//
// Rules (those of OLE Automation):
// - Rounding to an integer or to a fixed scale is half to even ("banker's
//   rounding"): 2.5 -> 2, 3.5 -> 4, -2.5 -> -2; CY keeps 4 decimals.
// - A result outside the target's range is OLE_DISP_E_OVERFLOW; text that is
//   not a number is OLE_DISP_E_TYPEMISMATCH; a DECIMAL with a scale above 28
//   is OLE_E_INVALIDARG.
// - Text is read with the English (United States) rules whatever locale is
//   asked (the only one implemented, and the one the callers ask for):
//   optional blanks around, an optional leading '+' or '-', digits with
//   optional ',' thousands separators after the first digit, an optional
//   '.' with fraction digits, an optional exponent (e or E, optional sign,
//   digits). Currency symbols, parentheses, trailing signs and the &H / &O
//   radix prefixes are not accepted.
// - Numbers become text without thousands separators and with '.'; CY and
//   DECIMAL drop trailing fraction zeros ("5", "1.5"); R8 uses 15 and R4 7
//   significant digits ("%.15G" / "%.7G": 0.1, 1E+20).
// None of these depend on the process's C locale.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "OLE/ole_types.h"

// A number read from text or taken from a DECIMAL, exactly enough for every
// target: value = (neg ? -1 : 1) * digits * 10^exp10, digits without leading
// zeros. `sticky` tells that non-zero digits beyond the kept ones were dropped.
struct ole_number {
    static constexpr int kMaxDigits = 38;
    bool neg = false;
    bool sticky = false;
    uint8_t ndigits = 0;
    uint8_t digits[kMaxDigits] = {};
    int32_t exp10 = 0;
};

// Reads text with the rules above.
ole_hresult ole_parse_number(std::string_view text, ole_number* out);
// The magnitude of `n` * 10^scale rounded half to even, in *out (low 64 bits
// in lo, the next 64 in hi). OLE_DISP_E_OVERFLOW beyond 38 digits.
ole_hresult ole_number_scaled(const ole_number& n, int scale, uint64_t* lo, uint64_t* hi);
// Rounded half to even into [lo_limit, hi_limit].
ole_hresult ole_number_to_i64(const ole_number& n, int64_t lo_limit, int64_t hi_limit,
                              int64_t* out);
ole_hresult ole_number_to_r8(const ole_number& n, double* out);

// Text to numbers. `lcid` is accepted for the callers' sake; see above.
ole_hresult ole_r8_from_str(std::string_view text, ole_lcid lcid, double* out);
ole_hresult ole_cy_from_str(std::string_view text, ole_lcid lcid, CY* out);
ole_hresult ole_dec_from_str(std::string_view text, ole_lcid lcid, DECIMAL* out);
// "true"/"false" in any case, otherwise any number (non-zero is true).
ole_hresult ole_bool_from_str(std::string_view text, ole_lcid lcid, bool* out);

// Floating point to integers and currency (half to even, range checked).
ole_hresult ole_r8_to_i64(double v, int64_t lo_limit, int64_t hi_limit, int64_t* out);
ole_hresult ole_cy_from_r8(double v, CY* out);
ole_hresult ole_cy_to_r8(const CY& cy, double* out);
// v * 10,000, overflow checked.
ole_hresult ole_cy_from_i64(int64_t v, CY* out);
ole_hresult ole_cy_from_u64(uint64_t v, CY* out);
// Currency to integer, half to even, into [lo_limit, hi_limit].
ole_hresult ole_cy_to_i64(const CY& cy, int64_t lo_limit, int64_t hi_limit, int64_t* out);

// DECIMAL conversions.
ole_hresult ole_dec_to_number(const DECIMAL& d, ole_number* out);
ole_hresult ole_dec_to_i4(const DECIMAL& d, int32_t* out);
ole_hresult ole_dec_to_i64(const DECIMAL& d, int64_t lo_limit, int64_t hi_limit, int64_t* out);
ole_hresult ole_dec_to_r8(const DECIMAL& d, double* out);
ole_hresult ole_dec_to_cy(const DECIMAL& d, CY* out);
ole_hresult ole_dec_from_cy(const CY& cy, DECIMAL* out);  // scale 4, exact
ole_hresult ole_dec_from_i64(int64_t v, DECIMAL* out);    // scale 0
ole_hresult ole_dec_from_u64(uint64_t v, DECIMAL* out);   // scale 0
ole_hresult ole_dec_from_r8(double v, DECIMAL* out);      // through its 15-digit text
ole_hresult ole_dec_from_number(const ole_number& n, DECIMAL* out);

// Number to text (automation form, see above).
ole_hresult ole_dec_to_str(const DECIMAL& d, std::string* out);
ole_hresult ole_cy_to_str(const CY& cy, std::string* out);
std::string ole_r8_to_str(double v);
std::string ole_r4_to_str(float v);
