// ole_date: reads date and time texts of many shapes into a broken-down
// date and time, decides whether the result is a date, a time or both,
// validates it, and writes it back in the one canonical form
// "YYYY-MM-DD hh:mm:ss" in which dates reach the destination as text.
//
// Accepted shapes (first match wins): YYYYMMDDhhmmss (14 characters),
// YYYYMMDD (8 characters), hh:mm:ss[.fff], and Y-M-D, Y/M/D, Y.M.D each
// optionally followed by " hh:mm:ss[.fff]"; a trailing AM/PM is honoured.
// Day-first texts (05-01-2012) are swapped into 2012-01-05. An unreadable
// text is not an error: the value is invalid (kind 0).
#pragma once

#include <string>
#include <string_view>

#include "OLE/ole_types.h"

class ole_date {
  public:
    enum kind_t : int32_t {
        k_invalid = 0,
        k_date_time = 1,
        k_date = 2,
        k_time = 3,
    };

    // Kind 1 with the value copied, then refined (date only, when the time
    // is midnight).
    explicit ole_date(const SYSTEMTIME& value);
    // Parses narrow (UTF-8) text.
    explicit ole_date(std::string_view text);
    explicit ole_date(const char* text) : ole_date(std::string_view(text ? text : "")) {}
    // Parses wide text (converted to narrow first).
    explicit ole_date(std::u16string_view text);

    // Checks the fields against the kind (month 1..12, day/year not 0,
    // hour/minute/second at most 60); kind 0 is never valid.
    bool is_valid();
    // Sets kind 3 for a zero date, kind 2 for a midnight time with a full
    // date, otherwise leaves the kind.
    void refine_type();
    // The format cascade over already trimmed text. Leaves kind 0 and a
    // cleared value when nothing matches.
    void import_from_string(const char* text);
    // Seconds text with an optional fraction: rounds half a second up and
    // carries into minutes and hours (never into the day). A null text is
    // an internal error ("ole_date", 356).
    void process_milliseconds(const char* seconds);

    std::string to_string() const;
    std::u16string to_wstring() const;

    int32_t kind() const { return kind_; }
    const SYSTEMTIME& value() const { return value_; }
    bool omit_midnight() const { return omit_midnight_; }
    void set_omit_midnight(bool b) { omit_midnight_ = b; }

  private:
    void clear_value();
    void parse(std::string_view text);
    // Writes the canonical text into buf (at least 64 bytes); returns its length.
    int format(char* buf) const;

    bool omit_midnight_ = true;
    int32_t kind_ = k_invalid;
    SYSTEMTIME value_{};
};
