// Foreign keys as the universal model carries them. The Oracle source can
// read them and a database destination could create them; the workbook
// destination ignores them.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "UDB/udb_idx.h"

// One foreign key: `table` references `ref_table`.
struct udb_relationship {
    std::u16string name;
    // Kept for the source engine; the model itself does not read it.
    std::u16string extra;
    std::u16string table;      // the referencing table
    std::u16string ref_table;  // the referenced table
    // "ON DELETE " + the rule when the source has one, else empty.
    std::u16string delete_rule;
    udb_field_names fields;      // referencing fields, in key order
    udb_field_names ref_fields;  // referenced fields, in the same order
};

class udb_relationships {
  public:
    // True when no relationship of that name exists (ignoring case).
    bool is_acceptable_name(const std::u16string& name) const;
    // The relationship of that name (ignoring case); none is an internal
    // error.
    udb_relationship& get_index(const std::u16string& name);
    // A free name for `rel`: "FK_<ref_table>_<table>", with pieces of the
    // cycle "_", "1", "_", "2", "_", "3" appended while it is taken.
    std::u16string gen_relship_name(const udb_relationship& rel) const;

    void push_back(udb_relationship rel) { items_.push_back(std::move(rel)); }
    size_t size() const { return items_.size(); }
    bool empty() const { return items_.empty(); }
    udb_relationship& operator[](size_t i) { return items_[i]; }
    const udb_relationship& operator[](size_t i) const { return items_[i]; }
    std::vector<udb_relationship>::iterator begin() { return items_.begin(); }
    std::vector<udb_relationship>::iterator end() { return items_.end(); }
    std::vector<udb_relationship>::const_iterator begin() const { return items_.begin(); }
    std::vector<udb_relationship>::const_iterator end() const { return items_.end(); }
    void clear() { items_.clear(); }

  private:
    std::vector<udb_relationship> items_;
};
