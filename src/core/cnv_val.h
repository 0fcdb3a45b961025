// Value preparation of the record loop: how a source row becomes the row
// handed to the worksheet.
//
//   text      CR LF and lone CR become LF; cut to the format's limit
//   binary    the text "<Binary Field>"
//   number    with more than kMaxNumberDigits significant digits (trailing
//             zeros do not count): a text of its exact digits (no exponent
//             for an integer), which the destination writes as a text cell;
//             a spreadsheet number would change it
//   other     copied unchanged
//
// Numbers that carry more digits than a double arrive as VT_I8, VT_UI8,
// VT_DECIMAL, or as a VT_BSTR of their digits in a column of a number kind
// (the Oracle reader's form for the widest NUMBERs). A number made a text
// is marked udb_field::b_text_cell: every destination writes such a value
// as a text cell, whatever the kind of its column.
//
// At most kMaxColumns values of a row are taken. The destination record is
// reused row after row: its fields keep their string buffers, so preparing
// a row allocates nothing once the buffers have grown.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class udb_record;
class udb_schema;

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
// at the end. True when the text was cut.
bool clean_text(std::u16string_view src, size_t limit, std::u16string& dst);

// Kinds the driver writes as "<Binary Field>".
bool is_binary_kind(uint16_t kind);

// Significant digits a spreadsheet number keeps.
inline constexpr int kMaxNumberDigits = 15;

// Fills `out` from `in` (at most kMaxColumns values) as described above,
// without a destination schema (a VT_BSTR is then always a text).
void prepare_record(const udb_record& in, size_t text_limit, udb_record& out);

// What one column's values of an item needed on their way.
struct column_notes {
    uint32_t digits_kept = 0;  // numbers written as text to keep every digit
    uint32_t cut = 0;          // texts cut to the cell's capacity
    uint32_t recoded = 0;      // texts read in the code page (udb_field::b_recoded)
};

// The record loop's preparation for one item: prepare_record with the
// item's destination columns, counting per column what was changed or kept.
// The counts of a row are held until commit(), so a row the destination
// refuses counts nothing, and a row prepared once and appended twice (into
// a continuation file) counts once.
class record_preparer {
  public:
    // `schema`: the item's destination columns; `text_limit`: the longest
    // text of a cell (max_text_length).
    record_preparer(const udb_schema& schema, size_t text_limit);

    void prepare(const udb_record& in, udb_record& out);
    // The row last prepared was written.
    void commit();
    // Per destination column.
    const std::vector<column_notes>& notes() const { return notes_; }
    size_t text_limit() const { return limit_; }

  private:
    enum note : uint32_t { note_digits = 0, note_cut = 1, note_recoded = 2 };
    void hold(size_t column, note what) {
        pending_.push_back(static_cast<uint32_t>(column) << 2 | what);
    }

    size_t limit_;
    std::vector<uint8_t> number_column_;
    std::vector<column_notes> notes_;
    std::vector<uint32_t> pending_;  // (column << 2) | note of the prepared row
};
