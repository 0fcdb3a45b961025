#include "ocilite/ocl_dict.h"

#include <cctype>
#include <cstring>
#include <string>

#include "ocilite/ocl_text.h"
#include "ocilite/ocl_type.h"

namespace {

struct dict_table {
    const char* name;
    const char* columns;
};

// Index order matters: the bits of ocl_conn::dict_mask follow it.
const dict_table dict_tables[] = {
    {"v$version", "(BANNER VARCHAR2(80))"},
    {"DUAL", "(DUMMY VARCHAR2(1))"},
    {"USER_TABLES",
     "(TABLE_NAME VARCHAR2(128), TABLESPACE_NAME VARCHAR2(30), TEMPORARY VARCHAR2(1), "
     "NESTED VARCHAR2(3), IOT_TYPE VARCHAR2(12), NUM_ROWS NUMBER)"},
    // LONG VARCHAR describes as LONG and, unlike LONG, keeps SQLite's text
    // affinity, so a default such as 1.50 stays that text.
    {"USER_TAB_COLUMNS",
     "(TABLE_NAME VARCHAR2(128), COLUMN_NAME VARCHAR2(128), DATA_TYPE VARCHAR2(128), "
     "DATA_LENGTH NUMBER, DATA_PRECISION NUMBER, DATA_SCALE NUMBER, NULLABLE VARCHAR2(1), "
     "COLUMN_ID NUMBER, DATA_DEFAULT LONG VARCHAR, CHAR_LENGTH NUMBER)"},
    {"ALL_VIEWS",
     "(OWNER VARCHAR2(128), VIEW_NAME VARCHAR2(128), TEXT_LENGTH NUMBER, TEXT LONG VARCHAR)"},
    {"USER_VIEWS", "(VIEW_NAME VARCHAR2(128), TEXT_LENGTH NUMBER, TEXT LONG VARCHAR)"},
};
enum { d_version, d_dual, d_tables, d_columns, d_all_views, d_user_views, d_count };

bool ours(const ocl_conn& c, int index) {
    return (c.dict_mask & (1u << index)) != 0;
}

// A prepared statement released at scope end.
struct stmt_holder {
    sqlite3_stmt* st = nullptr;
    ~stmt_holder() { sqlite3_finalize(st); }
    int prepare(sqlite3* db, const std::string& sql) {
        sqlite3_finalize(st);
        st = nullptr;
        return sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr);
    }
};

int exec(sqlite3* db, const std::string& sql) {
    return sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
}

// The connection is query-only (the source is only read); the dictionary's
// own temporary tables are written with that lifted for the moment, and it
// is set again on every way out.
struct dictionary_writes {
    sqlite3* db;
    explicit dictionary_writes(sqlite3* d) : db(d) { exec(db, "PRAGMA query_only = 0"); }
    ~dictionary_writes() { exec(db, "PRAGMA query_only = 1"); }
    dictionary_writes(const dictionary_writes&) = delete;
    dictionary_writes& operator=(const dictionary_writes&) = delete;
};

int pragma_int(sqlite3* db, const char* sql, int* out) {
    stmt_holder s;
    int rc = s.prepare(db, sql);
    if (rc != SQLITE_OK) {
        return rc;
    }
    rc = sqlite3_step(s.st);
    if (rc != SQLITE_ROW) {
        return rc == SQLITE_DONE ? SQLITE_ERROR : rc;
    }
    *out = sqlite3_column_int(s.st, 0);
    return SQLITE_OK;
}

bool main_has(sqlite3* db, const char* name) {
    stmt_holder s;
    if (s.prepare(db,
                  "SELECT 1 FROM main.sqlite_master WHERE type IN ('table','view') "
                  "AND lower(name) = lower(?1)") != SQLITE_OK) {
        return false;
    }
    sqlite3_bind_text(s.st, 1, name, -1, SQLITE_STATIC);
    return sqlite3_step(s.st) == SQLITE_ROW;
}

void fn_nvl(sqlite3_context* ctx, int, sqlite3_value** argv) {
    sqlite3_result_value(ctx, sqlite3_value_type(argv[0]) != SQLITE_NULL ? argv[0] : argv[1]);
}

void fn_nvl2(sqlite3_context* ctx, int, sqlite3_value** argv) {
    sqlite3_result_value(ctx, sqlite3_value_type(argv[0]) != SQLITE_NULL ? argv[1] : argv[2]);
}

std::string quote_ident(const char* name) {
    std::string out = "\"";
    for (const char* p = name; *p; ++p) {
        out += *p;
        if (*p == '"') {
            out += '"';
        }
    }
    return out + "\"";
}

const char* text_or_empty(sqlite3_stmt* st, int col) {
    const unsigned char* t = sqlite3_column_text(st, col);
    return t != nullptr ? reinterpret_cast<const char*>(t) : "";
}

// Inserts rows for one table or view's columns into USER_TAB_COLUMNS.
int add_columns(sqlite3* db, sqlite3_stmt* insert, const char* schema, const char* object) {
    stmt_holder info;
    int rc = info.prepare(
        db, "SELECT name, type, \"notnull\", dflt_value, pk FROM pragma_table_info(?1, ?2)");
    if (rc != SQLITE_OK) {
        return rc;
    }
    sqlite3_bind_text(info.st, 1, object, -1, SQLITE_STATIC);
    sqlite3_bind_text(info.st, 2, schema, -1, SQLITE_STATIC);
    int column_id = 0;
    while ((rc = sqlite3_step(info.st)) == SQLITE_ROW) {
        ++column_id;
        // Names as declared: SQLite keeps only the declared spelling, as
        // Oracle's dictionary keeps a quoted name as written.
        std::string column = text_or_empty(info.st, 0);
        const char* decl = text_or_empty(info.st, 1);
        ocl_type t;
        if (!ocl_type_from_decl(decl, &t)) {
            t = ocl_type_varchar2(4000);
        }
        bool integer_key = sqlite3_column_int(info.st, 4) != 0 && ocl_ascii_iequal(decl, "INTEGER");
        bool not_null = sqlite3_column_int(info.st, 2) != 0 || integer_key;
        sqlite3_reset(insert);
        sqlite3_bind_text(insert, 1, object, -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, 2, column.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, 3, t.name, -1, SQLITE_STATIC);
        sqlite3_bind_int(insert, 4, t.size);
        bool numeric = t.code == SQLT_NUM;
        bool timestamp =
            t.code == SQLT_TIMESTAMP || t.code == SQLT_TIMESTAMP_TZ || t.code == SQLT_TIMESTAMP_LTZ;
        if (numeric && t.precision != 0) {
            sqlite3_bind_int(insert, 5, t.precision);
        } else {
            sqlite3_bind_null(insert, 5);
        }
        if ((numeric && t.scale != -127) || timestamp) {
            sqlite3_bind_int(insert, 6, t.scale);
        } else {
            sqlite3_bind_null(insert, 6);
        }
        sqlite3_bind_text(insert, 7, not_null ? "N" : "Y", -1, SQLITE_STATIC);
        sqlite3_bind_int(insert, 8, column_id);
        if (sqlite3_column_type(info.st, 3) == SQLITE_NULL) {
            sqlite3_bind_null(insert, 9);
        } else {
            sqlite3_bind_text(insert, 9, text_or_empty(info.st, 3), -1, SQLITE_TRANSIENT);
        }
        if (t.form != 0 && t.char_size != 0) {
            sqlite3_bind_int(insert, 10, t.char_size);
        } else {
            sqlite3_bind_int(insert, 10, 0);
        }
        int irc = sqlite3_step(insert);
        if (irc != SQLITE_DONE) {
            return irc;
        }
    }
    // A view whose query no longer compiles has no columns to show; that is
    // not a failure of the dictionary.
    return SQLITE_OK;
}

// The emulated server's tables each have an invisible column (Oracle 12c
// and later): listed in USER_TAB_COLUMNS, with no COLUMN_ID, and never
// returned by SELECT *.
int add_invisible_column(sqlite3_stmt* insert, const std::string& table) {
    sqlite3_reset(insert);
    sqlite3_clear_bindings(insert);
    sqlite3_bind_text(insert, 1, table.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(insert, 2, "TSL_INVISIBLE", -1, SQLITE_STATIC);
    sqlite3_bind_text(insert, 3, "VARCHAR2", -1, SQLITE_STATIC);
    sqlite3_bind_int(insert, 4, 30);
    sqlite3_bind_text(insert, 7, "Y", -1, SQLITE_STATIC);
    sqlite3_bind_int(insert, 10, 30);
    const int rc = sqlite3_step(insert);
    return rc == SQLITE_DONE ? SQLITE_OK : rc;
}

int fill(ocl_conn& c) {
    sqlite3* db = c.db;
    for (int i : {d_tables, d_columns, d_all_views, d_user_views}) {
        if (ours(c, i)) {
            int rc = exec(db, std::string("DELETE FROM temp.") + quote_ident(dict_tables[i].name));
            if (rc != SQLITE_OK) {
                return rc;
            }
        }
    }
    stmt_holder ins_table;
    stmt_holder ins_column;
    stmt_holder ins_all_view;
    stmt_holder ins_user_view;
    int rc = SQLITE_OK;
    if (ours(c, d_tables)) {
        rc = ins_table.prepare(db,
                               "INSERT INTO temp.USER_TABLES (TABLE_NAME, TEMPORARY, NESTED, "
                               "IOT_TYPE) VALUES (?1, ?2, 'NO', NULL)");
    }
    if (rc == SQLITE_OK && ours(c, d_columns)) {
        rc = ins_column.prepare(db,
                                "INSERT INTO temp.USER_TAB_COLUMNS VALUES "
                                "(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10)");
    }
    if (rc == SQLITE_OK && ours(c, d_all_views)) {
        rc = ins_all_view.prepare(db, "INSERT INTO temp.ALL_VIEWS VALUES (?1, ?2, ?3, ?4)");
    }
    if (rc == SQLITE_OK && ours(c, d_user_views)) {
        rc = ins_user_view.prepare(db, "INSERT INTO temp.USER_VIEWS VALUES (?1, ?2, ?3)");
    }
    if (rc != SQLITE_OK) {
        return rc;
    }
    for (const char* schema : {"main", "temp"}) {
        stmt_holder objects;
        rc = objects.prepare(db, std::string("SELECT name, type, sql FROM ") + schema +
                                     ".sqlite_master WHERE type IN ('table','view')");
        if (rc != SQLITE_OK) {
            return rc;
        }
        const bool temp = std::strcmp(schema, "temp") == 0;
        while ((rc = sqlite3_step(objects.st)) == SQLITE_ROW) {
            std::string name = text_or_empty(objects.st, 0);
            bool view = std::strcmp(text_or_empty(objects.st, 1), "view") == 0;
            if (name.compare(0, 7, "sqlite_") == 0 || ocl_ascii_iequal(name, ocl_users_table)) {
                continue;
            }
            if (temp) {
                bool dictionary = false;
                for (int i = 0; i < d_count; ++i) {
                    dictionary = dictionary || (ours(c, i) && name == dict_tables[i].name);
                }
                if (dictionary) {
                    continue;
                }
            }
            if (!view && ins_table.st != nullptr) {
                sqlite3_reset(ins_table.st);
                sqlite3_bind_text(ins_table.st, 1, name.c_str(), -1, SQLITE_TRANSIENT);
                sqlite3_bind_text(ins_table.st, 2, temp ? "Y" : "N", -1, SQLITE_STATIC);
                if ((rc = sqlite3_step(ins_table.st)) != SQLITE_DONE) {
                    return rc;
                }
            }
            if (view) {
                std::string query = ocl_view_query(text_or_empty(objects.st, 2));
                if (ins_all_view.st != nullptr) {
                    sqlite3_reset(ins_all_view.st);
                    sqlite3_bind_text(ins_all_view.st, 1, c.owner.c_str(), -1, SQLITE_TRANSIENT);
                    sqlite3_bind_text(ins_all_view.st, 2, name.c_str(), -1, SQLITE_TRANSIENT);
                    sqlite3_bind_int64(ins_all_view.st, 3,
                                       static_cast<sqlite3_int64>(query.size()));
                    sqlite3_bind_text(ins_all_view.st, 4, query.c_str(), -1, SQLITE_TRANSIENT);
                    if ((rc = sqlite3_step(ins_all_view.st)) != SQLITE_DONE) {
                        return rc;
                    }
                }
                if (ins_user_view.st != nullptr) {
                    sqlite3_reset(ins_user_view.st);
                    sqlite3_bind_text(ins_user_view.st, 1, name.c_str(), -1, SQLITE_TRANSIENT);
                    sqlite3_bind_int64(ins_user_view.st, 2,
                                       static_cast<sqlite3_int64>(query.size()));
                    sqlite3_bind_text(ins_user_view.st, 3, query.c_str(), -1, SQLITE_TRANSIENT);
                    if ((rc = sqlite3_step(ins_user_view.st)) != SQLITE_DONE) {
                        return rc;
                    }
                }
            }
            if (ins_column.st != nullptr) {
                rc = add_columns(db, ins_column.st, schema, name.c_str());
                if (rc == SQLITE_OK && !view && c.emul.server) {
                    rc = add_invisible_column(ins_column.st, name);
                }
                if (rc != SQLITE_OK) {
                    return rc;
                }
            }
        }
        if (rc != SQLITE_DONE) {
            return rc;
        }
    }
    return SQLITE_OK;
}

// Skips blanks and comments in a CREATE statement.
size_t skip_blank(std::string_view s, size_t i) {
    while (i < s.size()) {
        if (s[i] == ' ' || s[i] == '\t' || s[i] == '\r' || s[i] == '\n') {
            ++i;
        } else if (s.compare(i, 2, "--") == 0) {
            size_t e = s.find('\n', i);
            i = e == std::string_view::npos ? s.size() : e + 1;
        } else if (s.compare(i, 2, "/*") == 0) {
            size_t e = s.find("*/", i + 2);
            i = e == std::string_view::npos ? s.size() : e + 2;
        } else {
            break;
        }
    }
    return i;
}

// One token: a quoted name, a word, or a single other character.
size_t token_end(std::string_view s, size_t i) {
    if (i >= s.size()) {
        return i;
    }
    char c = s[i];
    if (c == '"' || c == '`' || c == '[' || c == '\'') {
        char close = c == '[' ? ']' : c;
        size_t j = i + 1;
        while (j < s.size()) {
            if (s[j] == close) {
                if (close != ']' && j + 1 < s.size() && s[j + 1] == close) {
                    j += 2;
                    continue;
                }
                return j + 1;
            }
            ++j;
        }
        return s.size();
    }
    unsigned char u = static_cast<unsigned char>(c);
    if (std::isalnum(u) || c == '_' || c == '$' || u >= 0x80) {
        size_t j = i;
        while (j < s.size()) {
            unsigned char v = static_cast<unsigned char>(s[j]);
            if (!(std::isalnum(v) || v == '_' || v == '$' || v >= 0x80)) {
                break;
            }
            ++j;
        }
        return j;
    }
    return i + 1;
}

}  // namespace

std::string ocl_banner() {
    return "Tessaline embedded SQLite provider Release 10.2.0.0.0 - Production";
}

int ocl_dict_install(ocl_conn& c) {
    sqlite3* db = c.db;
    int rc = exec(db, "PRAGMA temp_store = MEMORY");
    if (rc != SQLITE_OK) {
        return rc;
    }
    const int flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC;
    rc =
        sqlite3_create_function_v2(db, "NVL", 2, flags, nullptr, fn_nvl, nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK) {
        rc = sqlite3_create_function_v2(db, "NVL2", 3, flags, nullptr, fn_nvl2, nullptr, nullptr,
                                        nullptr);
    }
    if (rc != SQLITE_OK) {
        return rc;
    }
    dictionary_writes writes(db);
    c.dict_mask = 0;
    for (int i = 0; i < d_count; ++i) {
        if (main_has(db, dict_tables[i].name)) {
            continue;  // the database's own object wins
        }
        if (i == d_version && c.emul.server) {
            continue;  // the emulated server grants no access to v$version
        }
        rc = exec(db, std::string("CREATE TEMP TABLE ") + quote_ident(dict_tables[i].name) + " " +
                          dict_tables[i].columns);
        if (rc != SQLITE_OK) {
            return rc;
        }
        c.dict_mask |= 1u << i;
    }
    if (ours(c, d_version)) {
        stmt_holder ins;
        rc = ins.prepare(db, "INSERT INTO temp.\"v$version\" VALUES (?1)");
        if (rc != SQLITE_OK) {
            return rc;
        }
        std::string rows[2] = {
            ocl_banner(), std::string("SQLite Release ") + sqlite3_libversion() + " - Production"};
        for (const std::string& row : rows) {
            sqlite3_reset(ins.st);
            sqlite3_bind_text(ins.st, 1, row.c_str(), -1, SQLITE_TRANSIENT);
            if ((rc = sqlite3_step(ins.st)) != SQLITE_DONE) {
                return rc;
            }
        }
    }
    if (ours(c, d_dual)) {
        rc = exec(db, "INSERT INTO temp.DUAL VALUES ('X')");
        if (rc != SQLITE_OK) {
            return rc;
        }
    }
    c.main_version = c.temp_version = -1;
    return SQLITE_OK;
}

int ocl_dict_refresh(ocl_conn& c) {
    int main_v = 0;
    int temp_v = 0;
    int rc = pragma_int(c.db, "PRAGMA main.schema_version", &main_v);
    if (rc == SQLITE_OK) {
        rc = pragma_int(c.db, "PRAGMA temp.schema_version", &temp_v);
    }
    if (rc != SQLITE_OK) {
        return rc;
    }
    if (main_v == c.main_version && temp_v == c.temp_version) {
        return SQLITE_OK;
    }
    dictionary_writes writes(c.db);
    rc = exec(c.db, "SAVEPOINT ocl_dictionary");
    if (rc != SQLITE_OK) {
        return rc;
    }
    rc = fill(c);
    if (rc != SQLITE_OK) {
        exec(c.db, "ROLLBACK TO ocl_dictionary");
        exec(c.db, "RELEASE ocl_dictionary");
        return rc;
    }
    rc = exec(c.db, "RELEASE ocl_dictionary");
    if (rc != SQLITE_OK) {
        return rc;
    }
    c.main_version = main_v;
    c.temp_version = temp_v;
    return SQLITE_OK;
}

std::string ocl_view_query(std::string_view sql) {
    // CREATE [TEMP|TEMPORARY] VIEW [IF NOT EXISTS] [schema.]name [(columns)] AS query
    size_t i = skip_blank(sql, 0);
    auto word = [&](const char* w) {
        size_t e = token_end(sql, i);
        if (ocl_ascii_iequal(sql.substr(i, e - i), w)) {
            i = skip_blank(sql, e);
            return true;
        }
        return false;
    };
    if (!word("CREATE")) {
        return std::string(sql);
    }
    if (!word("TEMP")) {
        word("TEMPORARY");
    }
    if (!word("VIEW")) {
        return std::string(sql);
    }
    if (word("IF")) {
        word("NOT");
        word("EXISTS");
    }
    i = skip_blank(sql, token_end(sql, i));  // the name
    if (i < sql.size() && sql[i] == '.') {
        i = skip_blank(sql, token_end(sql, skip_blank(sql, i + 1)));
    }
    if (i < sql.size() && sql[i] == '(') {
        int depth = 0;
        while (i < sql.size()) {
            size_t e = token_end(sql, i);
            if (sql[i] == '(') {
                ++depth;
            } else if (sql[i] == ')') {
                if (--depth == 0) {
                    i = skip_blank(sql, e);
                    break;
                }
            }
            i = e;
        }
    }
    if (!word("AS")) {
        return std::string(sql);
    }
    size_t end = sql.size();
    while (end > i && (sql[end - 1] == ' ' || sql[end - 1] == '\n' || sql[end - 1] == '\r' ||
                       sql[end - 1] == '\t' || sql[end - 1] == ';')) {
        --end;
    }
    return std::string(sql.substr(i, end - i));
}
