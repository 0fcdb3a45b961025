#include "ORA/ora_util.h"

#include "ORA/ora_engi.h"
#include "TK/tk_log.h"

namespace {

std::u16string quote(std::u16string_view s, char16_t q) {
    std::u16string out;
    out.reserve(s.size() + 2);
    out += q;
    for (char16_t c : s) {
        out += c;
        if (c == q)
            out += q;
    }
    out += q;
    return out;
}

}  // namespace

std::u16string ora_sql_literal(std::u16string_view s) {
    return quote(s, u'\'');
}

std::u16string ora_sql_ident(std::u16string_view s) {
    return quote(s, u'"');
}

int32_t ora_select_int(const std::u16string& sql, const char* stem, int line) {
    ora_engine& engine = ora_engine::instance();
    engine.require_connection(stem, line);
    ora_stmt stmt;
    stmt.prepare(sql);
    int32_t value = 0;
    sb2 indicator = 0;
    OCIDefine* define = nullptr;
    engine.check_status(engine.oci()->OCIDefineByPos(stmt.handle(), &define, engine.err(), 1,
                                                     &value, sizeof(value), SQLT_INT, &indicator,
                                                     nullptr, nullptr, OCI_DEFAULT));
    if (stmt.execute(1) == OCI_NO_DATA)
        throw tk_mail_assertion(stem, line);
    return value;
}
