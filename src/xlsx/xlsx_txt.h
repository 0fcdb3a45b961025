// Texts as an .xlsx part holds them: UTF-8, with what XML 1.0 cannot carry
// written in the format's own escape "_xHHHH_" (the UTF-16 unit in hex):
// NUL, the C0 controls other than TAB and LF, CR (which an XML reader would
// turn into LF), U+FFFE and U+FFFF. A text that holds "_xHHHH_" itself gets
// its underscore escaped ("_x005F_"), so a reader that decodes the escapes
// (Excel, LibreOffice) gives back exactly the source's text. An unpaired
// surrogate becomes U+FFFD, as in the .xls versions.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Writes `s` into `out` (replacing its content) as described above and
// returns the characters (code points) of `out`, which is what the library
// counts against a cell's limit.
size_t xlsx_text(std::u16string_view s, std::string& out);
