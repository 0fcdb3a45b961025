// Worksheet names: what a workbook accepts, when two names are the same
// sheet, and how a name is stored in an 8-bit (BIFF5) workbook.
#pragma once

#include <functional>
#include <string>
#include <string_view>

class tk_codepage;

// Upper-case form of one UTF-16 unit for name comparison: ASCII, Latin-1,
// Latin Extended-A, Greek and Cyrillic letters are folded, the rest stays.
char16_t jet_fold(char16_t c);
// Names equal regardless of case (as the workbook compares sheet names).
bool jet_same_name(std::u16string_view a, std::u16string_view b);

// 1 to 31 UTF-16 units, none of : \ / ? * [ ], not beginning or ending
// with an apostrophe.
bool jet_valid_sheet_name(std::u16string_view name);

// The form of a sheet name for a BIFF5 workbook, in the workbook's code
// page `cp`. A character the code page cannot hold becomes "_" ("?" is
// illegal in a sheet name) and is counted in `*replaced`; if that makes the
// name equal to one for which `taken` is true, the name is cut to 26
// characters and given the first free suffix 00001, 00002, ... The result
// is always a valid, unused name.
std::string jet_biff5_sheet_name(std::u16string_view name, tk_codepage& cp,
                                 const std::function<bool(std::u16string_view)>& taken,
                                 size_t* replaced = nullptr);
