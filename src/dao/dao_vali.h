// Naming rules of the workbook destination, given to the generic name
// mechanism (udb_validator):
//   xls_tn_validator  worksheet names: at most 31 characters; \ / ? * : $ [ ]
//                     replaced by "_"; no leading or trailing apostrophe
//                     (the safe name drops them; a name left empty gets a
//                     generated one, "%s%05d" of the empty name);
//   dao_validator     base of the column and index rules: ` ! [ ] . replaced
//                     by "_"; empty names and names with a leading or
//                     trailing space are not acceptable (the safe name drops
//                     the spaces);
//   dao_fn_validator  column names, seeded with all source column names;
//   dao_in_validator  index names, seeded with the table's index names.
// Excel refuses a workbook whose sheet name breaks the first rule set, so
// a sheet name must pass it whatever the source name was.
#pragma once

#include <string>
#include <vector>

#include "UDB/udb_vali.h"

class xls_tn_validator : public udb_validator {
  public:
    // Both lists become existing names (the converter passes the selected
    // tables and the source's table names).
    xls_tn_validator(const std::vector<std::u16string>& names1 = {},
                     const std::vector<std::u16string>& names2 = {});
    bool is_acceptable(const std::u16string& name) override;
    std::u16string get_safe_name(const std::u16string& name) override;
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
