#include "ORA/ora_db.h"

#include <algorithm>

#include "ORA/ora_engi.h"
#include "ORA/ora_oci.h"
#include "ORA/ora_tab.h"
#include "ORA/ora_util.h"
#include "TK/tk_log.h"

namespace {

constexpr const char* kSource = "ora_db";
// Release 8.0.0: from here on the table list leaves out temporary, nested
// and non-IOT index-organized tables.
constexpr uint32_t kVersion8 = 0x80000;
// A table name: 255 characters and the terminator.
constexpr size_t kNameChars = 256;

}  // namespace

ora_database::ora_database(const std::u16string& name, int32_t flags)
    : udb_database(name, flags, ora_provider_for(name) != ora_provider::embedded) {
    tk_wtrace(2, u"ora_database::ctor(%s)", name.c_str());
    init_tables();
    tk_trace(2, "Tables count: %d", static_cast<int>(table_names_.size()));
    if ((flags & 0x80) == 0) {
        try {
            init_views();
        } catch (const ora_exception& e) {
            tk_trace(2, "Error while extracting views:\n%s\n", e.what());
        }
    }
}

ora_database::~ora_database() {
    tk_trace(2, "ora_database::dtor");
}

std::u16string ora_database::tables_statement(uint32_t version) {
    if (version < kVersion8)
        return u"select TABLE_NAME from user_tables";
    return u"select TABLE_NAME, IOT_TYPE from user_tables where TEMPORARY='N' and NESTED='NO' "
           u"and IOT_TYPE IS NULL OR IOT_TYPE='IOT'";
}

std::u16string ora_database::views_statement(const std::u16string& user) {
    return u"select VIEW_NAME, TEXT from SYS.ALL_VIEWS WHERE OWNER=" + ora_sql_literal(user);
}

void ora_database::init_tables() {
    tk_trace(2, "ora_database::init_tables");
    ora_engine& engine = ora_engine::instance();
    const std::u16string statement = tables_statement(engine.get_version());
    ora_stmt stmt;
    stmt.prepare(statement);
    char16_t buffer[kNameChars] = {};
    sb2 indicator = 0;
    OCIDefine* define = nullptr;
    engine.check_status(engine.oci()->OCIDefineByPos(
        stmt.handle(), &define, engine.err(), 1, buffer, static_cast<sb4>(sizeof(buffer)), SQLT_STR,
        &indicator, nullptr, nullptr, OCI_DEFAULT));
    if (stmt.execute(1) == OCI_NO_DATA)
        return;
    table_names_.emplace_back(buffer, ora_text_length(buffer, kNameChars));
    for (;;) {
        // Unguarded: any status but a row ends the list.
        const sword status =
            engine.oci()->OCIStmtFetch(stmt.handle(), engine.err(), 1, OCI_FETCH_NEXT, OCI_DEFAULT);
        if (status != OCI_SUCCESS && status != OCI_SUCCESS_WITH_INFO) {
            if (status != OCI_NO_DATA)
                tk_trace(2, "Table list ended by status %d", status);
            break;
        }
        table_names_.emplace_back(buffer, ora_text_length(buffer, kNameChars));
    }
}

void ora_database::init_views() {
    tk_trace(2, "ora_database::init_views");
    ora_query_results views(2, views_statement(ora_engine::instance().user()));
    while (!views.is_eof()) {
        udb_record* record = views.get_item();
        if (!record)
            break;
        objects_[(*record)[0].to_wstring()] = (*record)[1].to_wstring();
    }
}

udb_recordset* ora_database::create_table(const std::u16string& name, const udb_schema&,
                                          const udb_indexes&) {
    tk_wtrace(2, u"ora_database::create_table(%s)", name.c_str());
    throw tk_mail_assertion(kSource, __LINE__);
}

bool ora_database::names_equal(const std::u16string& a, const std::u16string& b) const {
    if (case_sensitive_)
        return a == b;
    auto fold = [](char16_t c) { return c >= u'a' && c <= u'z' ? char16_t(c - 32) : c; };
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(),
                      [&](char16_t x, char16_t y) { return fold(x) == fold(y); });
}

udb_recordset* ora_database::get_table(const std::u16string& name, int32_t flags) {
    tk_wtrace(2, u"ora_database::get_table(%s)", name.c_str());
    // The reader names the table in the catalog's own spelling (the
    // dictionary lookups of its columns compare exactly).
    const std::u16string listed = listed_name(name);
    if (listed.empty())
        throw tk_mail_assertion(kSource, __LINE__);
    return new ora_table(this, listed, &relationships_, flags);
}

udb_recordset* ora_database::get_table(const std::u16string& name, const std::u16string& query,
                                       int32_t flags) {
    tk_wtrace(2, u"ora_database::get_table(%s, %s)", name.c_str(), query.c_str());
    return new ora_table(this, name, query, &relationships_, flags);
}

bool ora_database::test_query(const std::u16string& query) {
    tk_wtrace(2, u"ora_database::test_query(%s)", query.c_str());
    ora_engine& engine = ora_engine::instance();
    ora_stmt stmt;
    engine.oci()->OCIStmtPrepare(stmt.handle(), engine.err(), ora_text(query), ora_bytes(query),
                                 OCI_NTV_SYNTAX, OCI_DEFAULT);
    stmt.execute(1, OCI_PARSE_ONLY);
    return true;
}

int32_t ora_database::query(const std::u16string& statement) {
    tk_wtrace(2, u"ora_database::query(%s)", statement.c_str());
    ora_stmt stmt;
    stmt.prepare(statement);
    stmt.execute(1);
    return 0;
}
