// Statements: OCIStmtPrepare, OCIStmtExecute, OCIStmtFetch, OCIDefineByPos,
// OCIParamGet, and the describe behind them.
//
// As in OCI, preparing only keeps the text; the statement is compiled on
// the connection of the execute, which is where errors in it are reported.
#include <algorithm>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "ocilite/ocl_api.h"
#include "ocilite/ocl_conv.h"
#include "ocilite/ocl_dict.h"
#include "ocilite/ocl_num.h"
#include "ocilite/ocl_sql.h"
#include "ocilite/ocl_text.h"

namespace {

// The column name as described: a plain table column is shown as it was
// declared (SQLite matched the query's spelling to it ignoring case, as the
// server maps a name to its dictionary entry); an alias or an expression is
// shown as written.
std::string column_name(sqlite3_stmt* st, int col) {
    const char* name = sqlite3_column_name(st, col);
    const char* origin = sqlite3_column_origin_name(st, col);
    std::string n = name != nullptr ? name : "";
    if (origin != nullptr && ocl_ascii_iequal(n, origin)) {
        return origin;
    }
    return n;
}

// The sizes an AL32UTF8 server reports for a column declared with character
// length semantics: up to four bytes a character (one in a single-byte
// database).
void emulate_sizes(const ocl_emul& e, ocl_type& t) {
    if (!t.char_used || t.form != SQLCS_IMPLICIT) {
        return;
    }
    const unsigned per_char = e.latin1_db ? 1 : 4;
    const unsigned bytes = static_cast<unsigned>(t.char_size) * per_char;
    t.size = static_cast<ub2>(bytes > 32767 ? 32767 : bytes);
}

void describe(OCIStmt* s) {
    s->params.clear();
    s->scanned = false;
    sqlite3* db = s->conn->db;
    const int count = sqlite3_column_count(s->st);
    s->params.reserve(static_cast<size_t>(count));
    for (int col = 0; col < count; ++col) {
        auto p = std::make_unique<OCIParam>();
        p->htype = OCI_DTYPE_PARAM;
        p->env = s->env;
        p->name = column_name(s->st, col);
        p->name16 = ocl_utf8_to_utf16(p->name);
        const char* decl = sqlite3_column_decltype(s->st, col);
        p->needs_scan = !ocl_type_from_decl(decl, &p->type);
        if (p->needs_scan) {
            p->type = ocl_type_varchar2(4000);  // until the scan decides
        }
        if (s->conn->emul.server) {
            emulate_sizes(s->conn->emul, p->type);
        }
        p->nullable = 1;
        const char* table = sqlite3_column_table_name(s->st, col);
        const char* origin = sqlite3_column_origin_name(s->st, col);
        const char* schema = sqlite3_column_database_name(s->st, col);
        if (table != nullptr && origin != nullptr && !s->conn->emul.server && !p->needs_scan &&
            (p->type.code == SQLT_CHR || p->type.code == SQLT_AFC)) {
            p->size_by_values = true;
            p->schema = schema != nullptr ? schema : "main";
            p->table = table;
            p->column = origin;
        }
        if (table != nullptr && origin != nullptr) {
            const char* type = nullptr;
            int not_null = 0;
            int pk = 0;
            if (sqlite3_table_column_metadata(db, schema, table, origin, &type, nullptr, &not_null,
                                              &pk, nullptr) == SQLITE_OK) {
                bool rowid_key = pk != 0 && type != nullptr && ocl_ascii_iequal(type, "INTEGER");
                p->nullable = (not_null != 0 || rowid_key) ? 0 : 1;
            }
        }
        s->params.push_back(std::move(p));
    }
}

// An SQL identifier in double quotes.
std::string quoted(const std::string& name) {
    std::string q = "\"";
    for (char c : name) {
        q += c;
        if (c == '"') {
            q += '"';
        }
    }
    return q + "\"";
}

// PRAGMA data_version: changes whenever another connection has changed the
// database; -1 if it cannot be read.
sqlite3_int64 data_version(sqlite3* db) {
    sqlite3_stmt* st = nullptr;
    sqlite3_int64 v = -1;
    if (sqlite3_prepare_v2(db, "PRAGMA main.data_version", -1, &st, nullptr) == SQLITE_OK &&
        st != nullptr && sqlite3_step(st) == SQLITE_ROW) {
        v = sqlite3_column_int64(st, 0);
    }
    sqlite3_finalize(st);
    return v;
}

// Whether an object of the temporary schema has the name `table`: an
// unqualified name then means that object, not the main database's table.
bool shadowed(sqlite3* db, const std::string& table) {
    sqlite3_stmt* st = nullptr;
    bool found = true;
    if (sqlite3_prepare_v2(db, "SELECT 1 FROM temp.sqlite_master WHERE name = ?1 COLLATE NOCASE",
                           -1, &st, nullptr) == SQLITE_OK &&
        st != nullptr && sqlite3_bind_text(st, 1, table.c_str(), -1, SQLITE_STATIC) == SQLITE_OK) {
        found = sqlite3_step(st) != SQLITE_DONE;
    }
    sqlite3_finalize(st);
    return found;
}

// The quoted name X when `s` is `SELECT * FROM X` over one table of the main
// database that nothing in the temporary schema shadows, so that
// `SELECT COUNT(*) FROM X` counts that table's rows; empty otherwise.
std::string whole_table(const OCIStmt* s, const std::string& schema, const std::string& table) {
    const std::string name = quoted(table);
    if (schema != "main" || !ocl_ascii_iequal(s->sql, "SELECT * FROM " + name)) {
        return {};
    }
    for (int col = 0; col < sqlite3_column_count(s->st); ++col) {
        const char* t = sqlite3_column_table_name(s->st, col);
        const char* d = sqlite3_column_database_name(s->st, col);
        if (t == nullptr || d == nullptr || !ocl_ascii_iequal(t, table) || schema != d) {
            return {};  // an expression, or a view over several tables
        }
    }
    return shadowed(s->conn->db, table) ? std::string() : s->sql.substr(14);
}

// One pass of a sizing aggregate (`SELECT count(*), max(...), ... FROM t`)
// over the rows `where` selects (all when empty; ?1 is `mid`): the count and
// each column's longest value in bytes, in `out`. False if it failed (busy,
// broken off).
bool measure(sqlite3* db, const std::string& select, const char* where, sqlite3_int64 mid,
             std::vector<sqlite3_int64>& out) {
    const std::string sql = select + where;
    sqlite3_stmt* st = nullptr;
    bool ok = sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) == SQLITE_OK && st != nullptr;
    if (ok && *where != '\0') {
        ok = sqlite3_bind_int64(st, 1, mid) == SQLITE_OK;
    }
    ok = ok && sqlite3_step(st) == SQLITE_ROW;
    if (ok) {
        for (size_t i = 0; i < out.size(); ++i) {
            out[i] = sqlite3_column_int64(st, static_cast<int>(i));
        }
    }
    sqlite3_finalize(st);
    return ok;
}

// The rowid that halves a large table of the main database for two passes
// run side by side, one on the connection's second database connection;
// nothing for a small table, a table without rowid or one whose column takes
// the name.
std::optional<sqlite3_int64> split_point(ocl_conn& conn, const std::string& schema,
                                         const std::string& table) {
    if (schema != "main") {
        return std::nullopt;  // a temporary table is seen by its connection only
    }
    // A column named rowid hides the rowid (its values may be anything, and
    // its smallest and largest are found only by reading every row).
    sqlite3_stmt* st = nullptr;
    bool named = true;
    if (sqlite3_prepare_v2(conn.db,
                           "SELECT 1 FROM pragma_table_info(?1, 'main') WHERE lower(name) IN "
                           "('rowid', '_rowid_', 'oid')",
                           -1, &st, nullptr) == SQLITE_OK &&
        st != nullptr && sqlite3_bind_text(st, 1, table.c_str(), -1, SQLITE_STATIC) == SQLITE_OK) {
        named = sqlite3_step(st) != SQLITE_DONE;
    }
    sqlite3_finalize(st);
    if (named) {
        return std::nullopt;
    }
    st = nullptr;
    const std::string q = quoted(schema) + "." + quoted(table);
    std::optional<sqlite3_int64> mid;
    if (sqlite3_prepare_v2(
            conn.db,
            ("SELECT (SELECT min(rowid) FROM " + q + "), (SELECT max(rowid) FROM " + q + ")")
                .c_str(),
            -1, &st, nullptr) == SQLITE_OK &&
        st != nullptr && sqlite3_step(st) == SQLITE_ROW &&
        sqlite3_column_type(st, 0) == SQLITE_INTEGER) {
        const sqlite3_int64 lo = sqlite3_column_int64(st, 0);
        const sqlite3_int64 hi = sqlite3_column_int64(st, 1);
        if (hi - lo >= ocl_split_rows) {
            mid = lo + (hi - lo) / 2;
        }
    }
    sqlite3_finalize(st);
    if (!mid || ocl_second_db(conn) == nullptr) {
        return std::nullopt;
    }
    return mid;
}

// Sizes text columns of tables by the longest value each table stores: one
// aggregate per table, in two halves side by side for a large table. A
// column whose longest value passes 4,000 bytes becomes a CLOB (NCLOB), as
// the server keeps such texts. A statement over a whole table keeps the
// row count of that pass (ocl_conn::counted).
void size_by_values(OCIStmt* s) {
    std::vector<OCIParam*> todo;
    for (auto& p : s->params) {
        if (p->size_by_values) {
            todo.push_back(p.get());
        }
    }
    ocl_conn& conn = *s->conn;
    while (!todo.empty()) {
        const std::string schema = todo.front()->schema;
        const std::string table = todo.front()->table;
        std::vector<OCIParam*> group;
        std::string sql = "SELECT count(*)";
        for (auto it = todo.begin(); it != todo.end();) {
            if ((*it)->schema == schema && (*it)->table == table) {
                sql += ", max(length(CAST(" + quoted((*it)->column) + " AS BLOB)))";
                group.push_back(*it);
                it = todo.erase(it);
            } else {
                ++it;
            }
        }
        sql += " FROM " + quoted(schema) + "." + quoted(table);
        const std::string whole = whole_table(s, schema, table);
        const sqlite3_int64 version = whole.empty() ? -1 : data_version(conn.db);
        std::vector<sqlite3_int64> got(group.size() + 1);
        bool ok = false;
        if (const std::optional<sqlite3_int64> mid = split_point(conn, schema, table)) {
            std::vector<sqlite3_int64> upper(got.size());
            bool upper_ok = false;
            try {
                std::thread half([&]() noexcept {
                    try {
                        upper_ok = measure(conn.second, sql, " WHERE rowid > ?1", *mid, upper);
                    } catch (...) {
                        upper_ok = false;  // no memory: the whole table is read below
                    }
                });
                try {
                    ok = measure(conn.db, sql, " WHERE rowid <= ?1", *mid, got);
                } catch (...) {
                    half.join();
                    throw;
                }
                half.join();
            } catch (const std::system_error&) {
                // No thread to be had: the whole table is read below.
            }
            ok = ok && upper_ok;
            got[0] += upper[0];
            for (size_t i = 1; i < got.size(); ++i) {
                got[i] = std::max(got[i], upper[i]);
            }
        }
        if (!ok) {
            ok = measure(conn.db, sql, "", 0, got);
        }
        if (!ok) {
            continue;
        }
        // The count holds while nothing changed during the pass (the two
        // halves read the database as of one moment then).
        if (!whole.empty() && version >= 0 && data_version(conn.db) == version) {
            conn.counted = {whole, table, got[0], version};
        }
        for (size_t i = 0; i < group.size(); ++i) {
            const sqlite3_int64 longest = got[i + 1];
            ocl_type& t = group[i]->type;
            if (longest > 4000) {
                const bool national = t.form == SQLCS_NCHAR;
                t = ocl_type_varchar2(4000);
                t.code = SQLT_CLOB;
                t.name = national ? "NCLOB" : "CLOB";
                t.form = national ? SQLCS_NCHAR : SQLCS_IMPLICIT;
            } else if (longest > t.size) {
                t.size = static_cast<ub2>(longest);
                t.char_size = static_cast<ub2>(longest);
            }
        }
    }
}

// Types untyped columns by their values: runs the query once more and looks
// at every value of those columns. Text columns of tables are sized by their
// values too (size_by_values).
void scan(OCIStmt* s) {
    s->scanned = true;
    if (s->conn == nullptr || !s->conn->open) {
        return;
    }
    size_by_values(s);
    bool any = false;
    for (auto& p : s->params) {
        any = any || p->needs_scan;
    }
    if (!any) {
        return;
    }
    sqlite3_stmt* st = nullptr;
    std::string sql = ocl_sql_rewrite(s->sql);
    if (sqlite3_prepare_v2(s->conn->db, sql.c_str(), -1, &st, nullptr) != SQLITE_OK ||
        st == nullptr) {
        sqlite3_finalize(st);
        return;
    }
    std::vector<ocl_scan> scans(s->params.size());
    const int count = sqlite3_column_count(st);
    while (sqlite3_step(st) == SQLITE_ROW) {
        for (int col = 0; col < count && static_cast<size_t>(col) < s->params.size(); ++col) {
            if (!s->params[col]->needs_scan) {
                continue;
            }
            int type = sqlite3_column_type(st, col);
            size_t chars = 0;
            if (type == SQLITE_TEXT) {
                const unsigned char* t = sqlite3_column_text(st, col);
                chars = ocl_utf16_units(t, static_cast<size_t>(sqlite3_column_bytes(st, col)));
            } else if (type == SQLITE_BLOB) {
                chars = static_cast<size_t>(sqlite3_column_bytes(st, col)) * 2;
            } else if (type == SQLITE_INTEGER || type == SQLITE_FLOAT) {
                char buf[ocl_num_max];
                chars = type == SQLITE_INTEGER
                            ? ocl_num_format_int(sqlite3_column_int64(st, col), buf)
                            : ocl_num_format_real(sqlite3_column_double(st, col), buf);
            }
            scans[col].add(type, chars);
        }
    }
    sqlite3_finalize(st);
    for (size_t col = 0; col < s->params.size(); ++col) {
        if (s->params[col]->needs_scan) {
            s->params[col]->type = scans[col].result();
        }
    }
}

// Compiles the statement on `conn`; OCI_SUCCESS or OCI_ERROR with `err` set.
sword compile(OCIStmt* s, const std::shared_ptr<ocl_conn>& conn, OCIError* err) {
    if (s->st != nullptr && s->conn == conn && !s->answered) {
        sqlite3_reset(s->st);
        return OCI_SUCCESS;
    }
    if (s->st != nullptr) {
        sqlite3_finalize(s->st);
        s->st = nullptr;
    }
    s->conn = conn;
    s->answered = false;
    std::string sql = ocl_sql_rewrite(s->sql);
    ocl_conn::counted_rows& counted = conn->counted;
    if (counted.rows >= 0 && ocl_ascii_iequal(s->sql, "SELECT COUNT(*) FROM " + counted.name)) {
        if (data_version(conn->db) == counted.version && !shadowed(conn->db, counted.table)) {
            sql = "SELECT " + std::to_string(counted.rows) + " AS \"COUNT(*)\"";
            s->answered = true;
        }
        counted.rows = -1;  // once: a later count reads the table
    }
    const char* tail = nullptr;
    int rc = sqlite3_prepare_v2(conn->db, sql.c_str(), static_cast<int>(sql.size()), &s->st, &tail);
    if (rc != SQLITE_OK) {
        sqlite3_finalize(s->st);
        s->st = nullptr;
        return ocl_fail_sqlite(err, conn->db, rc, s->sql);
    }
    if (s->st == nullptr) {
        return ocl_fail(err, ORA_INVALID_SQL);  // nothing but blanks and comments
    }
    // The server takes no statement terminator: a semicolon that ends the
    // statement (not one inside a comment or literal) is an invalid character.
    std::string compiled(sql.c_str(), static_cast<size_t>(tail - sql.c_str()));
    bool semicolon = sqlite3_complete(compiled.c_str()) != 0;
    if (semicolon || !ocl_sql_blank(std::string_view(tail))) {
        sqlite3_finalize(s->st);
        s->st = nullptr;
        return ocl_fail(err, semicolon ? ORA_INVALID_CHARACTER : ORA_NOT_ENDED);
    }
    return OCI_SUCCESS;
}

// The rows a round trip brings ahead of those asked for: OCI_ATTR_PREFETCH_ROWS,
// bounded by OCI_ATTR_PREFETCH_MEMORY over the row's described size. The
// client prefetches nothing for a select list with a LONG column.
ub4 prefetch_count(const OCIStmt* s) {
    size_t row_bytes = 0;
    for (const auto& p : s->params) {
        if (p->type.code == SQLT_LNG || p->type.code == SQLT_LBI) {
            return 0;
        }
        row_bytes += p->type.size + 4;  // the value, its indicator and length
    }
    ub4 rows = s->prefetch_rows;
    if (s->prefetch_memory > 0) {
        const size_t by_memory = s->prefetch_memory / (row_bytes > 0 ? row_bytes : 1);
        if (rows == 0 || by_memory < rows) {
            rows = static_cast<ub4>(by_memory);
        }
    }
    return rows;
}

// Accounts the round trip of a call that wants `nrows` rows: none when the
// client's cache holds them; otherwise one, which also brings the prefetch.
void fetch_trip(OCIStmt* s, ub4 nrows) {
    if (s->cached >= nrows) {
        s->cached -= nrows;
        return;
    }
    ocl_roundtrip(s->env, s->conn.get());
    s->cached = prefetch_count(s);
}

// Fetches up to `nrows` rows into the defines.
sword fetch_rows(OCIStmt* s, OCIError* err, ub4 nrows, bool trip = true) {
    s->rows_fetched = 0;
    if (s->done) {
        return OCI_NO_DATA;
    }
    if (!s->conn->open) {
        return ocl_fail(err, ORA_NOT_CONNECTED);
    }
    if (trip) {
        fetch_trip(s, nrows);
    }
    const bool utf16 = s->env->utf16;
    const int count = sqlite3_column_count(s->st);
    bool info = false;
    ub4 row = 0;
    for (; row < nrows; ++row) {
        int rc = sqlite3_step(s->st);
        if (rc == SQLITE_DONE) {
            s->done = true;
            break;
        }
        if (rc != SQLITE_ROW) {
            s->done = true;
            return ocl_fail_sqlite(err, s->conn->db, rc, s->sql);
        }
        for (OCIDefine* d : s->defines) {
            if (d == nullptr) {
                continue;
            }
            int col = static_cast<int>(d->position) - 1;
            if (col >= count) {
                return ocl_fail(err, ORA_NOT_IN_SELECT_LIST);
            }
            bool truncated = false;
            const OCIParam* param =
                static_cast<size_t>(col) < s->params.size() ? s->params[col].get() : nullptr;
            const char* expected = "";
            const char* got = "";
            int code = ocl_convert(s->st, col, *d, row, param, utf16, &truncated, &expected, &got);
            if (code != 0) {
                s->rows_fetched = row;
                s->row_count += row;
                return ocl_fail(err, code, expected, got);
            }
            info = info || truncated;
        }
    }
    s->rows_fetched = row;
    s->row_count += row;
    if (row < nrows) {
        return OCI_NO_DATA;
    }
    if (info) {
        ocl_warn(err, ORA_TRUNCATION_INFO);
        return OCI_SUCCESS_WITH_INFO;
    }
    return OCI_SUCCESS;
}

}  // namespace

sword OCIStmtPrepare(OCIStmt* stmtp, OCIError* errhp, const OraText* stmt, ub4 stmt_len,
                     ub4 /*language*/, ub4 /*mode*/) {
    OCIStmt* s = ocl_as<OCIStmt>(stmtp, OCI_HTYPE_STMT);
    OCIError* err = ocl_as<OCIError>(errhp, OCI_HTYPE_ERROR);
    if (s == nullptr || err == nullptr) {
        return OCI_INVALID_HANDLE;
    }
    return ocl_guard(err, [&] {
        ocl_clear(err);
        if (s->st != nullptr) {
            sqlite3_finalize(s->st);
            s->st = nullptr;
        }
        s->conn.reset();
        s->sql = ocl_in_text(s->env, stmt, stmt_len);
        s->params.clear();
        s->executed = s->done = s->is_query = s->scanned = false;
        s->stmt_type = ocl_sql_type(s->sql);
        s->row_count = s->rows_fetched = 0;
        return OCI_SUCCESS;
    });
}

sword OCIStmtExecute(OCISvcCtx* svchp, OCIStmt* stmtp, OCIError* errhp, ub4 iters, ub4 /*rowoff*/,
                     const OCISnapshot* /*snap_in*/, OCISnapshot* /*snap_out*/, ub4 mode) {
    OCISvcCtx* svc = ocl_as<OCISvcCtx>(svchp, OCI_HTYPE_SVCCTX);
    OCIStmt* s = ocl_as<OCIStmt>(stmtp, OCI_HTYPE_STMT);
    OCIError* err = ocl_as<OCIError>(errhp, OCI_HTYPE_ERROR);
    if (svc == nullptr || s == nullptr || err == nullptr) {
        return OCI_INVALID_HANDLE;
    }
    return ocl_guard(err, [&]() -> sword {
        ocl_clear(err);
        s->executed = false;
        s->done = false;
        s->row_count = s->rows_fetched = 0;
        std::shared_ptr<ocl_conn> conn = svc->conn;
        if (conn == nullptr || !conn->open) {
            return ocl_fail(err, ORA_NOT_CONNECTED);
        }
        if (conn->active_lob != nullptr) {
            return ocl_fail(err, ORA_ACTIVE_OPERATION);
        }
        ocl_roundtrip(svc->env, conn.get());
        s->cached = 0;
        int rc = ocl_dict_refresh(*conn);
        if (rc != SQLITE_OK) {
            return ocl_fail_sqlite(err, conn->db, rc, s->sql);
        }
        if (compile(s, conn, err) != OCI_SUCCESS) {
            return OCI_ERROR;
        }
        s->is_query = sqlite3_column_count(s->st) > 0;
        if ((mode & OCI_PARSE_ONLY) != 0) {
            return OCI_SUCCESS;  // checked, not run, not described
        }
        if (s->is_query) {
            describe(s);
            for (OCIDefine* d : s->defines) {
                if (d != nullptr && d->position > s->params.size()) {
                    return ocl_fail(err, ORA_NOT_IN_SELECT_LIST);
                }
            }
            s->executed = true;
            if ((mode & OCI_DESCRIBE_ONLY) != 0) {
                s->done = true;  // described; nothing to fetch until a real execute
                return OCI_SUCCESS;
            }
            // The execute's round trip brings the first rows and the prefetch.
            s->cached = prefetch_count(s);
            if (iters == 0) {
                return OCI_SUCCESS;
            }
            return fetch_rows(s, err, iters, false);
        }
        if ((mode & OCI_DESCRIBE_ONLY) != 0) {
            s->executed = true;
            s->done = true;
            return OCI_SUCCESS;
        }
        if (iters == 0) {
            return ocl_fail(err, ORA_ZERO_ITERATIONS);
        }
        ub4 changed = 0;
        for (ub4 i = 0; i < iters; ++i) {
            if (i > 0) {
                sqlite3_reset(s->st);
            }
            while ((rc = sqlite3_step(s->st)) == SQLITE_ROW) {
            }
            if (rc != SQLITE_DONE) {
                sqlite3_reset(s->st);
                return ocl_fail_sqlite(err, conn->db, rc, s->sql);
            }
            changed += static_cast<ub4>(sqlite3_changes(conn->db));
        }
        s->row_count = changed;
        s->executed = true;
        s->done = true;
        return OCI_SUCCESS;
    });
}

sword OCIStmtFetch(OCIStmt* stmtp, OCIError* errhp, ub4 nrows, ub2 orientation, ub4 /*mode*/) {
    OCIStmt* s = ocl_as<OCIStmt>(stmtp, OCI_HTYPE_STMT);
    OCIError* err = ocl_as<OCIError>(errhp, OCI_HTYPE_ERROR);
    if (s == nullptr || err == nullptr) {
        return OCI_INVALID_HANDLE;
    }
    return ocl_guard(err, [&]() -> sword {
        ocl_clear(err);
        if (!s->executed || !s->is_query || s->st == nullptr) {
            return ocl_fail(err, ORA_NOT_EXECUTED);
        }
        if (s->conn != nullptr && s->conn->active_lob != nullptr) {
            return ocl_fail(err, ORA_ACTIVE_OPERATION);
        }
        if (orientation != OCI_FETCH_NEXT && orientation != OCI_DEFAULT) {
            return ocl_fail(err, ORA_PROVIDER, "only OCI_FETCH_NEXT fetches are supported");
        }
        if (nrows == 0) {
            // Cancels the cursor, as OCI does.
            sqlite3_reset(s->st);
            s->done = true;
            s->rows_fetched = 0;
            return OCI_SUCCESS;
        }
        return fetch_rows(s, err, nrows);
    });
}

sword OCIDefineByPos(OCIStmt* stmtp, OCIDefine** defnpp, OCIError* errhp, ub4 position,
                     void* valuep, sb4 value_sz, ub2 dty, void* indp, ub2* rlenp, ub2* rcodep,
                     ub4 /*mode*/) {
    OCIStmt* s = ocl_as<OCIStmt>(stmtp, OCI_HTYPE_STMT);
    OCIError* err = ocl_as<OCIError>(errhp, OCI_HTYPE_ERROR);
    if (s == nullptr || err == nullptr || defnpp == nullptr) {
        return OCI_INVALID_HANDLE;
    }
    return ocl_guard(err, [&]() -> sword {
        ocl_clear(err);
        if (position == 0) {
            return ocl_fail(err, ORA_NOT_IN_SELECT_LIST);
        }
        if (!ocl_conv_supported(dty)) {
            return ocl_fail(err, ORA_UNSUPPORTED_TYPE);
        }
        if (valuep == nullptr) {
            return ocl_fail(err, ORA_PROVIDER, "a define needs a buffer");
        }
        if (s->defines.size() < position) {
            s->defines.resize(position, nullptr);
        }
        // Defining a position again replaces its earlier define.
        OCIDefine* d = s->defines[position - 1];
        if (d == nullptr) {
            d = new OCIDefine();
            d->htype = OCI_HTYPE_DEFINE;
            d->env = s->env;
            d->stmt = s;
            d->position = position;
            s->defines[position - 1] = d;
        }
        d->valuep = valuep;
        d->value_sz = value_sz;
        d->dty = dty;
        d->indp = static_cast<sb2*>(indp);
        d->rlenp = rlenp;
        d->rcodep = rcodep;
        *defnpp = d;
        return OCI_SUCCESS;
    });
}

sword OCIParamGet(const void* hndlp, ub4 htype, OCIError* errhp, void** parmdpp, ub4 pos) {
    OCIError* err = ocl_as<OCIError>(errhp, OCI_HTYPE_ERROR);
    if (err == nullptr || parmdpp == nullptr || htype != OCI_HTYPE_STMT) {
        return OCI_INVALID_HANDLE;
    }
    OCIStmt* s = ocl_as<OCIStmt>(hndlp, OCI_HTYPE_STMT);
    if (s == nullptr) {
        return OCI_INVALID_HANDLE;
    }
    return ocl_guard(err, [&]() -> sword {
        ocl_clear(err);
        if (!s->executed || !s->is_query) {
            return ocl_fail(err, ORA_NOT_EXECUTED);
        }
        if (pos < 1 || pos > s->params.size()) {
            return ocl_fail(err, ORA_NO_DESCRIPTOR);
        }
        if (!s->scanned) {
            scan(s);
        }
        *parmdpp = s->params[pos - 1].get();
        return OCI_SUCCESS;
    });
}
