#include "core/cnv_val.h"

#include <algorithm>

#include "OLE/ole_types.h"
#include "UDB/udb_sche.h"

namespace {
const ole_variant& binary_text() {
    static const ole_variant text("<Binary Field>");
    return text;
}
}  // namespace

void clean_text(std::u16string_view src, size_t limit, std::u16string& dst) {
    // Runs between carriage returns are copied whole: a text without CR
    // that is within the limit (nearly every text) is one find and one copy.
    dst.clear();
    const size_t n = src.size();
    size_t i = 0;
    while (i < n && dst.size() < limit) {
        if (src[i] == u'\r') {
            ++i;
            if (i < n && src[i] == u'\n')
                continue;  // the LF follows
            dst.push_back(u'\n');
            continue;
        }
        size_t end = src.find(u'\r', i);
        if (end == std::u16string_view::npos)
            end = n;
        const size_t take = std::min(end - i, limit - dst.size());
        dst.append(src.data() + i, take);
        i += take;
    }
    bool cut = i < n;
    if (cut && !dst.empty() && dst.back() >= 0xD800 && dst.back() <= 0xDBFF)
        dst.pop_back();
}

bool is_binary_kind(uint16_t kind) {
    return ole_is_binary_kind(kind);
}

void prepare_record(const udb_record& in, size_t text_limit, udb_record& out) {
    size_t n = std::min(in.size(), kMaxColumns);
    out.resize(n);
    for (size_t i = 0; i < n; ++i) {
        const udb_field& f = in[i];
        udb_field& o = out[i];
        if (o.name != f.name)
            o.name = f.name;
        o.size = f.size;
        o.b_not_null = f.b_not_null;
        o.b_autoincrement = f.b_autoincrement;
        uint16_t kind = f.get_type();
        if (kind == VT_BSTR) {
            std::u16string* text = o.mutable_bstr();
            if (!text) {
                o.attach_wstring(u"");
                text = o.mutable_bstr();
            }
            clean_text(f.bstr(), text_limit, *text);
        } else if (is_binary_kind(kind)) {
            o.set_value(binary_text());
        } else {
            o.set_value(f.value());
        }
    }
}
