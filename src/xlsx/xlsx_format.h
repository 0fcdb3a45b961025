// Facts of the Office Open XML workbook (.xlsx, Excel 2007 and later) that
// the .xlsx writer relies on. The file itself (the zip container and its
// XML parts) is written by libxlsxwriter; docs/xlsx_writer.md says what
// the writer asks of it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace xlsx {

// Rows of a worksheet, its header row included, and the records below it.
inline constexpr uint32_t k_max_rows = 1048576;
inline constexpr uint32_t k_max_records = k_max_rows - 1;
// Characters (UTF-16 units) a cell text holds.
inline constexpr size_t k_max_text = 32767;

// Cell formats of the writer's cells: dates, dates with a time of day, and
// with a fraction of its second (shown to the millisecond; the serial keeps
// what a double holds of the fraction).
inline constexpr char k_date_format[] = "yyyy-mm-dd";
inline constexpr char k_datetime_format[] = "yyyy-mm-dd hh:mm:ss";
inline constexpr char k_datetime_ms_format[] = "yyyy-mm-dd hh:mm:ss.000";
// Characters a reader shows for those formats.
inline constexpr unsigned k_date_chars = 10;
inline constexpr unsigned k_datetime_chars = 19;
inline constexpr unsigned k_datetime_ms_chars = 23;

// The header row's fill (RGB), the grey of the .xls header format.
inline constexpr uint32_t k_header_fill = 0xC0C0C0;

// Column widths: a <col> width is in characters of the default font's
// widest digit (7 pixels for the default Calibri 11) and includes 5 pixels
// of padding; the library takes the width without the padding.
inline constexpr unsigned k_digit_pixels = 7;
inline constexpr unsigned k_padding_pixels = 5;

// A zip entry or archive past 4 GiB needs the ZIP64 extensions, which
// Excel 2007 does not read: they are asked for only when the worksheet
// data come near that size.
inline constexpr uint64_t k_zip64_threshold = 0xF0000000u;

}  // namespace xlsx
