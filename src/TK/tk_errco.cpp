#include "TK/tk_errco.h"

#include "TK/tk_excep.h"
#include "TK/tk_log.h"

tk_error_converter::tk_error_converter(size_t count, const tk_error_entry* entries) {
    tk_trace(2, "tk_error_converter::ctor (map size=%d)", static_cast<int>(count));
    load_map(count, entries);
}

void tk_error_converter::load_map(size_t count, const tk_error_entry* entries) {
    tk_trace(2, "tk_error_converter::load_map (map size=%d)", static_cast<int>(count));
    if (!entries)
        throw tk_mail_assertion("tk_errco", 43);
    for (size_t i = 0; i < count; ++i) {
        // emplace leaves an existing code alone: the first entry wins.
        map_.emplace(entries[i].code, entries[i].message ? entries[i].message : "");
    }
}

std::string tk_error_converter::convert(uint32_t code) const {
    tk_trace(2, "tk_error_converter::convert(%d)", static_cast<int>(code));
    auto it = map_.find(code);
    if (it == map_.end()) {
        tk_trace(1, "Error message not found!");
        return {};
    }
    tk_trace(1, "Error message has been found: %s", it->second.c_str());
    return it->second;
}
