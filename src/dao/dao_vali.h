// Naming rules of the workbook destination, given to the generic name
// mechanism (udb_validator):
//
//   xls_tn_validator  worksheet names. Excel refuses a workbook whose sheet
//                     name is empty, longer than 31 characters, contains one
//                     of \ / ? * : [ ] or begins or ends with an apostrophe,
//                     so a name is acceptable only when it is 1 to 31
//                     characters long, free of \ ? * : $ [ ] / and of a
//                     leading or trailing apostrophe. The safe name drops
//                     leading and trailing apostrophes, then follows the
//                     generic rules (cut to 30, "_" for illegal characters,
//                     "%s%05d" while refused or taken); a name left empty
//                     becomes "00000" (or the next free number).
//                     For a BIFF5 workbook (format version 0), whose sheet
//                     names are stored in the ANSI code page (tk_cpage.h), a
//                     character that code page cannot hold is illegal too
//                     and becomes "_" in the safe name (a surrogate pair one
//                     "_"), so the name stays legal and unique once stored.
//   dao_validator     base of the column and index rules: ` ! [ ] . are
//                     replaced by "_"; an empty name, or one beginning or
//                     ending with a space, is not acceptable; the safe name
//                     drops leading and trailing spaces first.
//   dao_fn_validator  column names, seeded with all source column names of
//                     the table, so generated names avoid every one of them.
//   dao_in_validator  index names, seeded with the table's index names.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "TK/tk_cpage.h"
#include "UDB/udb_vali.h"

class xls_tn_validator : public udb_validator {
  public:
    // Both lists become existing names (the converter passes the selected
    // tables and the source's table names). `format_version`: 0 BIFF5,
    // 1 BIFF8.
    xls_tn_validator(const std::vector<std::u16string>& names1 = {},
                     const std::vector<std::u16string>& names2 = {}, int32_t format_version = 1);

    bool is_acceptable(const std::u16string& name) override;
    std::u16string get_safe_name(const std::u16string& name) override;

    int32_t format_version() const { return format_version_; }

  private:
    int32_t format_version_;
    std::unique_ptr<tk_codepage> cp_;  // BIFF5: the code page names are stored in
};

class dao_validator : public udb_validator {
  public:
    dao_validator();
    bool is_acceptable(const std::u16string& name) override;
    std::u16string get_safe_name(const std::u16string& name) override;
};

class dao_fn_validator : public dao_validator {
  public:
    explicit dao_fn_validator(const std::vector<std::u16string>& column_names);
};

class dao_in_validator : public dao_validator {
  public:
    explicit dao_in_validator(const std::vector<std::u16string>& index_names);
};
