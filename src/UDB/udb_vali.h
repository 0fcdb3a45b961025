// Destination names: whether a name is legal and unused in a destination,
// how an unacceptable name is turned into a safe one, and the maps that
// remember which source name became which destination name.
//
// `udb_validator` is the generic mechanism; an engine derives from it, fills
// max_len and the three name/character lists in its constructor and may add
// rules by overriding `is_acceptable` (and `get_safe_name`, which must still
// end in the generic one). The generic `get_safe_name` calls both tests
// virtually, so the added rules shape the safe names too.
//
// Unless told otherwise, names are compared ignoring case (udb_name.h).
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

class udb_validator {
  public:
    // max_len: the longest acceptable name in UTF-16 units; 0 = no limit.
    explicit udb_validator(int32_t max_len = 0);
    virtual ~udb_validator() = default;

    // Acceptable: not longer than max_len, not a restricted word, free of
    // illegal characters. Says nothing about uniqueness.
    virtual bool is_acceptable(const std::u16string& name);
    // True when the name equals one of the existing names.
    virtual bool is_duplicated(const std::u16string& name);
    // A name that is acceptable and not a duplicate, derived from `name`:
    // cut to max_len - 1, illegal characters replaced by "_", and when still
    // refused the (further cut) name followed by a five-digit counter.
    // Records nothing: callers add the result with add_existing_name.
    virtual std::u16string get_safe_name(const std::u16string& name);

    void add_existing_name(const std::u16string& name);
    // Keeps the pair; the first pair of a source name wins.
    void add_mapped_pair(const std::u16string& source, const std::u16string& safe);

    int32_t max_len() const { return max_len_; }
    const std::map<std::u16string, std::u16string>& mapped_pairs() const { return mapped_pairs_; }
    const std::vector<char16_t>& illegal_chars() const { return illegal_chars_; }
    const std::vector<std::u16string>& restricted_names() const { return restricted_names_; }
    const std::vector<std::u16string>& existing_names() const { return existing_names_; }

  protected:
    int32_t max_len_;
    std::map<std::u16string, std::u16string> mapped_pairs_;
    std::vector<char16_t> illegal_chars_;
    std::vector<std::u16string> restricted_names_;
    std::vector<std::u16string> existing_names_;
};

// Source name -> destination name, ordered by plain character comparison.
class t_names_map {
  public:
    using map_type = std::map<std::u16string, std::u16string>;

    // Adding a source name that is already present keeps the first pair.
    void add(const std::u16string& source, const std::u16string& destination);
    // The destination of the first pair (in key order) whose source equals
    // `name`; `name` itself when there is none.
    std::u16string get_mapped_name(const std::u16string& name, bool case_sensitive) const;

    const map_type& pairs() const { return pairs_; }
    bool empty() const { return pairs_.empty(); }
    size_t size() const { return pairs_.size(); }

  private:
    map_type pairs_;
};

// The table-name map of a database and, per destination table, the map of
// its field names.
class udb_names_map {
  public:
    t_names_map& tn_map() { return tn_map_; }
    const t_names_map& tn_map() const { return tn_map_; }

    // As t_names_map::get_mapped_name on the table-name map.
    std::u16string get_tn_mapped_name(const std::u16string& name, bool case_sensitive) const;
    // Stores (a copy of) the table's field-name map; a table that already
    // has one keeps its first map.
    void add_fn_map(const std::u16string& table, const t_names_map& field_map);
    // The table's field map is found by exact name; without one the field
    // name comes back unchanged.
    std::u16string get_fn_mapped_name(const std::u16string& table, const std::u16string& field,
                                      bool case_sensitive) const;

    const std::map<std::u16string, t_names_map>& fn_maps() const { return fn_maps_; }

  private:
    t_names_map tn_map_;
    std::map<std::u16string, t_names_map> fn_maps_;
};
