// Fuzzes the profile reader: any bytes must parse, fail cleanly, or raise
// the line-limit internal error; a parsed profile must write text that
// parses back to the same profile.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "TK/tk_excep.h"
#include "UDB/udb_prof.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    udb_profile profile;
    try {
        if (!profile.parse(text))
            return 0;
    } catch (const tk_mail_assertion&) {
        return 0;  // a line of 4095 characters or more
    }
    udb_profile back;
    try {
        if (!back.parse(profile.to_text()))
            std::abort();
    } catch (const tk_mail_assertion&) {
        return 0;  // a long line stays long when written (wider in UTF-8)
    }
    // The format has no escapes: a key that begins with "[" may read back
    // as a section header, and a value's last CR is taken for a line end.
    // Other profiles must come back as they were (empty sections aside).
    udb_profile::profile_map expected;
    for (const auto& [name, keys] : profile.sections()) {
        for (const auto& [key, value] : keys) {
            if (key.front() == u'[' || (!value.empty() && value.back() == u'\r'))
                return 0;
        }
        if (!keys.empty())
            expected.emplace(name, keys);
    }
    if (back.sections() != expected)
        std::abort();
    return 0;
}
