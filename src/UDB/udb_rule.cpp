#include "UDB/udb_rule.h"

#include "TK/tk_excep.h"
#include "TK/tk_log.h"

namespace {
const udb_conversion_rules* g_rules = nullptr;
}

void udb_custom_conversion::set_rules(const udb_conversion_rules* rules) {
    tk_trace(2, "udb_custom_conversion::set_rules");
    g_rules = rules;
}

const udb_conversion_rules* udb_custom_conversion::rules() {
    return g_rules;
}

bool udb_custom_conversion::is_acceptable1(uint16_t vartype) {
    tk_trace(1, "udb_custom_conversion::is_acceptable1(%d)", vartype);
    if (!g_rules)
        return false;
    for (const udb_conversion_rule* rule : *g_rules) {
        if (rule->accepts_kind(vartype))
            return true;
    }
    return false;
}

bool udb_custom_conversion::is_acceptable2(const ole_variant& value) {
    tk_trace(1, "udb_custom_conversion::is_acceptable2(%d)", value.get_type());
    if (!g_rules)
        return false;
    for (const udb_conversion_rule* rule : *g_rules) {
        if (rule->accepts_value(value))
            return true;
    }
    return false;
}

std::u16string udb_custom_conversion::handle1(uint16_t vartype) {
    tk_trace(1, "udb_custom_conversion::handle1(%d)", vartype);
    if (!g_rules)
        return {};
    for (const udb_conversion_rule* rule : *g_rules) {
        if (rule->accepts_kind(vartype))
            return rule->handle_kind(vartype);
    }
    return {};
}

std::u16string udb_custom_conversion::handle2(const ole_variant& value) {
    tk_trace(1, "udb_custom_conversion::handle2(%d)", value.get_type());
    if (!g_rules || g_rules->empty())
        return {};
    for (const udb_conversion_rule* rule : *g_rules) {
        if (rule->accepts_value(value))
            return rule->handle_value(value);
    }
    throw tk_mail_assertion("udb_rule", 88);
}
