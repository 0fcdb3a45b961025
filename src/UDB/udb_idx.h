// The indexes of one table as the universal model carries them: a name,
// the unique and primary flags and the ordered list of indexed fields. A
// primary key is an index with b_primary set.
#pragma once

#include <string>
#include <utility>
#include <vector>

using udb_field_names = std::vector<std::u16string>;

class udb_index {
  public:
    udb_index() = default;
    udb_index(std::u16string name, bool b_unique, bool b_primary, udb_field_names fields)
        : name(std::move(name)),
          b_unique(b_unique),
          b_primary(b_primary),
          fields(std::move(fields)) {}

    // True when the index's first fields are `fields`, in that order
    // (ignoring case); an index with fewer fields never matches.
    bool starts_with_fields(const udb_field_names& fields) const;
    // True when the index holds exactly the names of `fields`, in any order
    // (exact comparison), and no other.
    bool consists_of_fields(const udb_field_names& fields) const;

    std::u16string name;
    bool b_unique = false;
    bool b_primary = false;
    udb_field_names fields;
};

class udb_indexes {
  public:
    // True when no index of that name exists (ignoring case).
    bool is_acceptable_name(const std::u16string& name) const;
    // The index of that name (ignoring case); none is an internal error, so
    // callers test with is_acceptable_name first.
    udb_index& get_index(const std::u16string& name);
    const udb_index& get_index(const std::u16string& name) const;
    // Finds the first index whose fields start with `fields`; with
    // `unique_only` the answer is that index's b_unique, otherwise true.
    // False when no index starts with them.
    bool has_index_on_fields(const udb_field_names& fields, bool unique_only) const;
    // True when `field` (exact comparison) is a field of any index, or of a
    // primary index only when `primary_only` is set.
    bool is_idx_field(const std::u16string& field, bool primary_only) const;

    void push_back(udb_index index) { items_.push_back(std::move(index)); }
    size_t size() const { return items_.size(); }
    bool empty() const { return items_.empty(); }
    udb_index& operator[](size_t i) { return items_[i]; }
    const udb_index& operator[](size_t i) const { return items_[i]; }
    std::vector<udb_index>::iterator begin() { return items_.begin(); }
    std::vector<udb_index>::iterator end() { return items_.end(); }
    std::vector<udb_index>::const_iterator begin() const { return items_.begin(); }
    std::vector<udb_index>::const_iterator end() const { return items_.end(); }
    void clear() { items_.clear(); }

  private:
    const udb_index* find(const std::u16string& name) const;

    std::vector<udb_index> items_;
};
