// String helpers shared by every layer: blank trimming, upper-casing and the
// case-insensitive name comparison used for table, column, index and sheet
// names.
//
// Case rules do not depend on the process's locale settings: the same two
// names compare the same way in a test run, in the agent and in the wizard.
// Letters are folded with Unicode simple case mappings (one code point to one
// code point), so "Ä" equals "ä" and "Σ", "σ" and "ς" are one letter. The
// dotted and dotless I (U+0130, U+0131) fold only to themselves, as in the
// Unicode default folding, so "İ" does not equal "i".
#pragma once

#include <string>
#include <string_view>

// Removes leading blanks (the space character only) in place.
std::string& tk_ltrim(std::string& s);
std::u16string& tk_ltrim(std::u16string& s);
// Removes trailing blanks in place; a text of blanks only becomes empty.
std::string& tk_rtrim(std::string& s);
std::u16string& tk_rtrim(std::u16string& s);
// Right trim, then left trim.
std::string& tk_trim(std::string& s);
std::u16string& tk_trim(std::u16string& s);

// A wide string with in-place upper-casing.
class tk_wstring : public std::u16string {
  public:
    using std::u16string::u16string;
    tk_wstring() = default;
    tk_wstring(const std::u16string& s) : std::u16string(s) {}
    tk_wstring(std::u16string&& s) : std::u16string(std::move(s)) {}

    // Upper-cases this string in place (Unicode simple mappings, surrogate
    // pairs as one character) and returns a copy of the result.
    std::u16string to_upper();
};

// Upper-cased copy, the same mapping as tk_wstring::to_upper (no trace).
std::u16string tk_upper(std::u16string_view s);

// One code point's case fold and upper case (Unicode simple mappings).
char32_t tk_fold_case(char32_t c);
char32_t tk_upper_case(char32_t c);

// Compares two names ignoring case: < 0, 0 or > 0 by the folded code points
// (an ordinal order, not a linguistic one). Allocates nothing.
int tk_compare_nocase(std::u16string_view a, std::u16string_view b);
// True when the two names are equal ignoring case. Allocates nothing.
bool tk_equal_nocase(std::u16string_view a, std::u16string_view b);
