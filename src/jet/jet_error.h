// Failures of the workbook driver, numbered and worded like the database
// engine it stands in for, so the error maps above it apply unchanged.
// The numbers and when each is raised are listed in docs/workbook_driver.md.
#pragma once

#include <stdexcept>
#include <string>

namespace jet_errno {
inline constexpr long not_valid_path = 3044;  // folder of a new workbook missing
inline constexpr long file_in_use = 3045;     // locked by another process
inline constexpr long cannot_open = 3051;     // permission or I/O failure
inline constexpr long not_found_file = 3024;  // read-only open of a missing file
inline constexpr long table_exists = 3010;
inline constexpr long object_not_found = 3011;
inline constexpr long not_enough_space = 3026;  // disk full on close
inline constexpr long resources = 3035;         // workbook stream past 4 GiB, out of memory
inline constexpr long record_too_large = 3047;  // text longer than a cell holds
inline constexpr long not_valid_name = 3125;
inline constexpr long installable_isam = 3170;  // unknown connect string
inline constexpr long too_many_fields = 3190;
inline constexpr long field_twice = 3191;
inline constexpr long not_supported = 3251;  // operation this workbook cannot take
inline constexpr long no_fields = 3264;
inline constexpr long bad_field_type = 3259;
inline constexpr long bad_format = 3274;      // corrupt or foreign file
inline constexpr long overflow = 3349;        // value the cell cannot hold
inline constexpr long object_invalid = 3420;  // use after close
inline constexpr long conversion = 3421;      // value of the wrong kind for the column
inline constexpr long sheet_full = 3437;      // worksheet holds no more rows
inline constexpr long read_only = 3027;       // write through a read-only database
}  // namespace jet_errno

class jet_error : public std::runtime_error {
  public:
    // `field` is the 0-based column a row value failed in, -1 when the error
    // is not about one value.
    jet_error(long number, const std::string& text, int field = -1)
        : std::runtime_error(text), number_(number), field_(field) {}
    long number() const { return number_; }
    int field() const { return field_; }

    // The engine's standard text for `number` (names quoted where the engine
    // quotes them). Unknown numbers give a generic text.
    static std::string text_for(long number, const std::string& name = std::string());
    // Shorthand: jet_error(number, text_for(number, name), field).
    static jet_error make(long number, const std::string& name = std::string(), int field = -1);

  private:
    long number_;
    int field_;
};
