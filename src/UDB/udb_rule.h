// Custom conversion: an optional, process-wide list of rules that replace
// values of certain kinds, or certain values, by texts of their own when a
// database destination is written. Only a database destination consults
// it; neither program registers rules, and the workbook destination never
// asks.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "OLE/ole_var.h"

// One rule. A rule answers whether it takes a kind or a value and produces
// the replacement text for what it takes.
class udb_conversion_rule {
  public:
    virtual ~udb_conversion_rule() = default;
    virtual bool accepts_kind(uint16_t vartype) const = 0;
    virtual bool accepts_value(const ole_variant& value) const = 0;
    virtual std::u16string handle_kind(uint16_t vartype) const = 0;
    virtual std::u16string handle_value(const ole_variant& value) const = 0;
};

using udb_conversion_rules = std::vector<const udb_conversion_rule*>;

class udb_custom_conversion {
  public:
    // Registers the process-wide list (null: none). The list and its rules
    // stay owned by the caller and must outlive their registration.
    static void set_rules(const udb_conversion_rules* rules);
    static const udb_conversion_rules* rules();

    // True when any rule accepts the kind / the value.
    static bool is_acceptable1(uint16_t vartype);
    static bool is_acceptable2(const ole_variant& value);
    // The text of the first rule that accepts the kind / the value; empty
    // without rules. handle2 with rules of which none accepts the value is
    // an internal error (test with is_acceptable2 first).
    static std::u16string handle1(uint16_t vartype);
    static std::u16string handle2(const ole_variant& value);
};
