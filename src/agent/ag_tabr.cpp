#include "agent/ag_tabr.h"

#include <algorithm>

#include "TK/tk_utf.h"
#include "UDB/udb_prof.h"

namespace {
constexpr std::string_view kBom = "\xEF\xBB\xBF";

bool is_continuation(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}
}  // namespace

void tab_names_reader::feed(const char* data, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        char c = data[i];
        if (c == '\n') {
            end_line();
            line_.clear();
            line_length_ = 0;
            last_ = 0;
            continue;
        }
        if (line_.size() < kKeep)
            line_.push_back(c);
        ++line_length_;
        last_ = c;
    }
}

void tab_names_reader::finish() {
    if (line_length_ > 0)
        end_line();
}

void tab_names_reader::end_line() {
    ++line_no_;
    size_t length = line_length_;
    if (length > 0 && last_ == '\r')
        --length;  // what text-mode reading drops
    std::string_view kept(line_.data(), std::min(line_.size(), length));

    if (length == 0)
        return;
    if (!seen_name_line_) {
        seen_name_line_ = true;
        if (kept.substr(0, kBom.size()) == kBom) {
            utf8_ = true;
            kept.remove_prefix(kBom.size());
            length -= kBom.size();
            if (length == 0)
                return;
        }
    }
    if (length <= kMaxName) {
        names_.push_back(utf8_ ? tk::utf8_to_utf16(kept) : udb_decode_text_line(kept));
        return;
    }
    // Too long: cut at kMaxName bytes, backing off to the start of a UTF-8
    // character the cut would split. `kept` holds the byte after the cut.
    size_t cut = kMaxName;
    while (cut > kMaxName - 3 && is_continuation(kept[cut])) --cut;
    std::string_view name = kept.substr(0, cut);
    if (utf8_ || tk::is_valid_utf8(name)) {
        names_.push_back(tk::utf8_to_utf16(name));
    } else {
        name = kept.substr(0, kMaxName);
        names_.push_back(udb_decode_text_line(name));
    }
    notes_.push_back("Table names file, line " + std::to_string(line_no_) +
                     ": the line is longer than " + std::to_string(kMaxName) +
                     " bytes; the table name was cut to \"" + tk::utf16_to_utf8(names_.back()) +
                     "\"");
}
