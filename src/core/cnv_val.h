// Value preparation of the record loop: how a source row becomes the row
// handed to the worksheet.
//
//   text      CR LF and lone CR become LF; cut to the format's limit
//   binary    the text "<Binary Field>"
//   other     copied unchanged
//
// At most kMaxColumns values of a row are taken. The destination record is
// reused row after row: its fields keep their string buffers, so preparing
// a row allocates nothing once the buffers have grown.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

class udb_record;

// Columns a worksheet item gets at most.
inline constexpr size_t kMaxColumns = 255;
// Longest text of a cell, by format version: 254 for Excel 5.0, 32766 for
// Excel 2000, 32767 for Excel 2007 (UTF-16 units).
inline constexpr size_t kMaxText50 = 254;
inline constexpr size_t kMaxText80 = 32766;
inline constexpr size_t kMaxTextXlsx = 32767;
inline constexpr size_t max_text_length(int32_t format_version) {
    return format_version == 0 ? kMaxText50 : format_version == 2 ? kMaxTextXlsx : kMaxText80;
}

// Writes `src` into `dst` with CR LF and lone CR turned into LF, keeping at
// most `limit` units; a cut never leaves the first half of a surrogate pair
// at the end.
void clean_text(std::u16string_view src, size_t limit, std::u16string& dst);

// Kinds the driver writes as "<Binary Field>".
bool is_binary_kind(uint16_t kind);

// Fills `out` from `in` (at most kMaxColumns values) as described above.
void prepare_record(const udb_record& in, size_t text_limit, udb_record& out);
