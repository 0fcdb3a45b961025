#include "UDB/udb_rel.h"

#include "TK/tk_excep.h"
#include "TK/tk_log.h"
#include "UDB/udb_name.h"

bool udb_relationships::is_acceptable_name(const std::u16string& name) const {
    tk_wtrace(1, u"udb_relationships::is_acceptable_name(%s)", name.c_str());
    for (const udb_relationship& rel : items_) {
        if (udb_name_equal(name, rel.name))
            return false;
    }
    return true;
}

udb_relationship& udb_relationships::get_index(const std::u16string& name) {
    tk_wtrace(1, u"udb_relationships::get_index(%s)", name.c_str());
    for (udb_relationship& rel : items_) {
        if (udb_name_equal(name, rel.name))
            return rel;
    }
    throw tk_mail_assertion("udb_rel", 122);
}

std::u16string udb_relationships::gen_relship_name(const udb_relationship& rel) const {
    tk_wtrace(1, u"udb_relationships::gen_relship_name(%s)", rel.name.c_str());
    static const char16_t* const kPieces[] = {u"_", u"1", u"_", u"2", u"_", u"3"};
    constexpr size_t kCycle = sizeof kPieces / sizeof kPieces[0];
    std::u16string name = u"FK_" + rel.ref_table + u"_" + rel.table;
    for (size_t retry = 0; !is_acceptable_name(name); ++retry) {
        tk_wtrace(2, u"%s is not acceptable as a FK name", name.c_str());
        name += kPieces[retry % kCycle];
    }
    return name;
}
