// Text encoding conversions. "Wide" text is UTF-16 (as OCI and BIFF8 count
// it), "narrow" text is UTF-8. BIFF5 stores 8-bit text in Windows-1252.
// Malformed input never fails: undecodable units become U+FFFD (or '?' in
// 8-bit output), so a damaged name or value can never stop a conversion.
#pragma once

#include <string>
#include <string_view>

namespace tk {

std::u16string utf8_to_utf16(std::string_view s);
std::string utf16_to_utf8(std::u16string_view s);

// True when `s` is well-formed UTF-8 (no overlongs, no surrogates).
bool is_valid_utf8(std::string_view s);

// Windows-1252 <-> UTF-16. Bytes 0x81, 0x8D, 0x8F, 0x90, 0x9D (undefined in
// 1252) map to the C1 controls of the same value, as Windows does.
std::u16string cp1252_to_utf16(std::string_view s);
// Characters 1252 cannot hold become `replacement`; `lossy` (optional) is set
// when that happened.
std::string utf16_to_cp1252(std::u16string_view s, char replacement = '?', bool* lossy = nullptr);
// The 1252 byte for one UTF-16 unit, or -1 when 1252 has none.
int cp1252_from_unit(char16_t c);

// UTF-8 text with its control characters written out, so that a name from
// a database cannot drive the terminal that shows it: C0 controls but line
// feed and tab, and DEL, as "\x1b"; C1 controls (U+0080 to U+009F) as
// "\u009b". Everything else is kept byte for byte.
std::string escape_controls(std::string_view s);

// u"..." literals are handy in tests; this builds a u16string from ASCII.
std::u16string ascii_to_utf16(std::string_view s);

}  // namespace tk
