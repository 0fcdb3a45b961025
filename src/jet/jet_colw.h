// Column widths that fit a worksheet's content, as a reader displays it:
// numbers in the General format, dates in their date format, texts by their
// characters (East Asian wide characters take two digit widths, capital
// Latin letters a little more than one). Each cell is measured once, when it
// is written, and only the widest value per column is kept, so the widths
// cost no second pass over the data; a value that cannot be wider than the
// column's widest so far is not measured at all.
//
// Widths are kept in quarters of a digit width of the default font (the unit
// of COLINFO is 1/256 of that width) and written as COLINFO records between
// DEFCOLWIDTH and DIMENSIONS (docs/biff_records.md).
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

// Characters of the shortest text the General format shows for `v` given
// room enough: up to 15 significant digits, trailing zeros dropped,
// exponent form below 1e-4 and from 1e15 on (as "%.15g" writes it).
unsigned jet_general_length(double v);
// Width of a text in quarter digit widths, counted up to `limit` (the count
// stops there). With `biff8` false (a BIFF5 single-byte code page) an East
// Asian character shows as one "?"; otherwise it shows wide.
unsigned jet_text_quarters(std::u16string_view s, bool biff8, unsigned limit);

class jet_col_widths {
  public:
    // Most characters a column is ever made wide: with the character of
    // padding, 255 x 256 is the widest COLINFO width that fits its u16.
    static constexpr unsigned k_limit_chars = 254;

    // Columns of BIFF8 (else BIFF5) cells, at most `max_chars` characters
    // wide: a column that reaches it measures nothing more.
    jet_col_widths(bool biff8, unsigned max_chars);

    // The column name in row 0: measured as a text, plus a tenth for the
    // bold face the header format gives it.
    void header(uint16_t col, std::u16string_view name);
    void text(uint16_t col, std::u16string_view s) {
        // a unit is at most two digit widths wide
        if (col < q_.size() && q_[col] < limit_ && 8 * s.size() > q_[col])
            grow(col, jet_text_quarters(s, biff8_, limit_));
    }
    void number(uint16_t col, double v);
    // East Asian wide characters show wide (BIFF8, and a BIFF5 workbook in a
    // double-byte code page, which holds them) or as one "?" each.
    void set_wide(bool wide) { biff8_ = wide; }
    // A value shown in a fixed number of digit-wide characters (a date).
    void fixed(uint16_t col, unsigned chars) {
        if (col < q_.size())
            grow(col, 4 * chars);
    }

    // Columns measured so far (every column given a header).
    size_t columns() const { return q_.size(); }
    // Width of column `col` in COLINFO units (1/256 of a digit width): its
    // widest value plus a character of padding, at least the default width.
    uint16_t width_units(size_t col) const;

    // COLINFO records for every measured column, neighbours of equal width
    // in one record (widths as width_units).
    void write(std::vector<uint8_t>& out) const;

  private:
    void grow(uint16_t col, unsigned q) {
        if (q > q_[col])
            q_[col] = static_cast<uint16_t>(q < limit_ ? q : limit_);
    }

    bool biff8_;
    uint16_t limit_;           // max_chars in quarters
    std::vector<uint16_t> q_;  // widest value per column, quarter digit widths
};
