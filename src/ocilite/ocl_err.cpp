#include "ocilite/ocl_err.h"

#include <cstdio>
#include <cstring>

#include "ocilite/ocl_hand.h"
#include "ocilite/ocl_sql.h"
#include "ocilite/ocl_text.h"

namespace {

struct message {
    sb4 code;
    const char* text;  // "%1" and "%2" are the arguments
};

const message messages[] = {
    {ORA_UNIQUE, "unique constraint (%1) violated"},
    {ORA_BUSY, "resource busy and acquire with NOWAIT specified or timeout expired"},
    {ORA_INVALID_SQL, "invalid SQL statement"},
    {ORA_INVALID_IDENTIFIER, "%1: invalid identifier"},
    {ORA_ARG_COUNT, "invalid number of arguments"},
    {ORA_INVALID_CHARACTER, "invalid character"},
    {ORA_AMBIGUOUS_COLUMN, "column ambiguously defined"},
    {ORA_UNEXPECTED_END, "unexpected end of SQL command"},
    {ORA_INCONSISTENT_TYPES, "inconsistent datatypes: expected %1 got %2"},
    {ORA_NOT_ENDED, "SQL command not properly ended"},
    {ORA_GROUP_FUNCTION, "group function is not allowed here"},
    {ORA_NO_TABLE, "table or view does not exist"},
    {ORA_NAME_USED, "name is already used by an existing object"},
    {ORA_NULL_PASSWORD, "null password given; logon denied"},
    {ORA_NOT_IN_SELECT_LIST, "variable not in select list"},
    {ORA_CANCELLED, "user requested cancel of current operation"},
    {ORA_LOGON_DENIED, "invalid username/password; logon denied"},
    {ORA_CANNOT_INSERT_NULL, "cannot insert NULL into (%1)"},
    {ORA_FETCHED_NULL, "fetched column value is NULL"},
    {ORA_TRUNCATED, "fetched column value was truncated"},
    {ORA_NUMERIC_OVERFLOW, "numeric overflow"},
    {ORA_INT_OVERFLOW, "converting column overflows integer datatype"},
    {ORA_INVALID_NUMBER, "invalid number"},
    {ORA_YEAR_RANGE, "(full) year must be between -4713 and +9999, and not be 0"},
    {ORA_MONTH, "not a valid month"},
    {ORA_DAY, "day of month must be between 1 and last day of month"},
    {ORA_HOUR, "hour must be between 0 and 23"},
    {ORA_MINUTE, "minutes must be between 0 and 59"},
    {ORA_SECOND, "seconds must be between 0 and 59"},
    {ORA_DATE_FORMAT, "literal does not match format string"},
    {ORA_CHECK, "check constraint (%1) violated"},
    {ORA_PARENT_KEY, "integrity constraint (%1) violated - parent key not found"},
    {ORA_NOT_CONNECTED, "not connected to ORACLE"},
    {ORA_ACTIVE_OPERATION, "no new operations allowed until the active operation ends"},
    {ORA_UNSUPPORTED_TYPE, "unsupported network datatype or representation"},
    {ORA_OUT_OF_MEMORY, "out of process memory"},
    {ORA_BUFFER_TOO_SMALL, "PL/SQL: numeric or value error: character string buffer too small"},
    {ORA_TNS_RESOLVE, "TNS:could not resolve the connect identifier specified"},
    {ORA_NO_LISTENER, "TNS:no listener"},
    {ORA_INVALID_CHARSET, "invalid character set specified"},
    {ORA_READ_ONLY, "database or pluggable database open for read-only access"},
    {ORA_PROVIDER, "%1"},
    {ORA_INVALID_LOCATOR, "invalid LOB locator specified"},
    {ORA_ILLEGAL_ATTRIBUTE, "illegal attribute type"},
    {ORA_ZERO_ITERATIONS, "zero iteration count"},
    {ORA_NO_DESCRIPTOR, "no descriptor for this position"},
    {ORA_NOT_EXECUTED, "statement handle not executed"},
    {ORA_TRUNCATION_INFO, "A Truncation or null fetch error occurred"},
    {ORA_LOB_PARAMETER, "illegal parameter value in OCI lob function"},
    {ORA_ACCOUNT_LOCKED, "the account is locked"},
};

bool starts_with(const char* s, const char* prefix) {
    return std::strncmp(s, prefix, std::strlen(prefix)) == 0;
}

// A dotted SQLite name as Oracle quotes identifiers: t.sal -> "T"."SAL".
std::string quoted_upper(std::string_view name) {
    std::string out;
    size_t start = 0;
    while (true) {
        size_t dot = name.find('.', start);
        std::string_view part =
            name.substr(start, dot == std::string_view::npos ? dot : dot - start);
        if (!out.empty()) {
            out += '.';
        }
        out += '"';
        out += ocl_ascii_upper(part);
        out += '"';
        if (dot == std::string_view::npos) {
            break;
        }
        start = dot + 1;
    }
    return out;
}

void record(OCIError* err, sb4 code, std::string text) {
    if (err != nullptr) {
        err->code = code;
        err->text = std::move(text);
    }
}

}  // namespace

std::string ocl_error_text(sb4 code, std::string_view a1, std::string_view a2) {
    const char* pattern = nullptr;
    for (const message& m : messages) {
        if (m.code == code) {
            pattern = m.text;
            break;
        }
    }
    char head[16];
    std::snprintf(head, sizeof head, "ORA-%05d: ", static_cast<int>(code));
    std::string out = head;
    if (pattern == nullptr) {
        out += "message not found";
        return out;
    }
    for (const char* p = pattern; *p; ++p) {
        if (p[0] == '%' && (p[1] == '1' || p[1] == '2')) {
            out += p[1] == '1' ? a1 : a2;
            ++p;
        } else {
            out += *p;
        }
    }
    return out;
}

sword ocl_fail(OCIError* err, sb4 code, std::string_view a1, std::string_view a2) {
    record(err, code, ocl_error_text(code, a1, a2));
    return OCI_ERROR;
}

void ocl_warn(OCIError* err, sb4 code) {
    record(err, code, ocl_error_text(code));
}

void ocl_clear(OCIError* err) {
    if (err != nullptr) {
        err->code = 0;
        err->text.clear();
    }
}

ocl_mapped ocl_map_sqlite(int rc, const char* msg, std::string_view sql) {
    if (msg == nullptr) {
        msg = "";
    }
    auto mapped = [](sb4 code, std::string_view a1 = {}, std::string_view a2 = {}) {
        return ocl_mapped{code, ocl_error_text(code, a1, a2)};
    };
    auto after = [msg](const char* prefix) { return std::string_view(msg + std::strlen(prefix)); };
    switch (rc & 0xFF) {
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
            return mapped(ORA_BUSY);
        case SQLITE_READONLY:
            return mapped(ORA_READ_ONLY);
        case SQLITE_NOMEM:
            return mapped(ORA_OUT_OF_MEMORY);
        case SQLITE_INTERRUPT:
            return mapped(ORA_CANCELLED);
        case SQLITE_CONSTRAINT:
            if (starts_with(msg, "UNIQUE constraint failed: ")) {
                return mapped(ORA_UNIQUE, after("UNIQUE constraint failed: "));
            }
            if (starts_with(msg, "NOT NULL constraint failed: ")) {
                return mapped(ORA_CANNOT_INSERT_NULL,
                              quoted_upper(after("NOT NULL constraint failed: ")));
            }
            if (starts_with(msg, "CHECK constraint failed: ")) {
                return mapped(ORA_CHECK, after("CHECK constraint failed: "));
            }
            if (starts_with(msg, "FOREIGN KEY constraint failed")) {
                return mapped(ORA_PARENT_KEY, "FOREIGN KEY");
            }
            break;
        default:
            break;
    }
    if (starts_with(msg, "no such table: ") || starts_with(msg, "no such view: ")) {
        return mapped(ORA_NO_TABLE);
    }
    if (starts_with(msg, "no such column: ")) {
        return mapped(ORA_INVALID_IDENTIFIER, quoted_upper(after("no such column: ")));
    }
    if (starts_with(msg, "no such function: ")) {
        return mapped(ORA_INVALID_IDENTIFIER, quoted_upper(after("no such function: ")));
    }
    if (starts_with(msg, "ambiguous column name: ")) {
        return mapped(ORA_AMBIGUOUS_COLUMN);
    }
    if (starts_with(msg, "wrong number of arguments")) {
        return mapped(ORA_ARG_COUNT);
    }
    if (starts_with(msg, "misuse of aggregate")) {
        return mapped(ORA_GROUP_FUNCTION);
    }
    if (std::strstr(msg, "already exists") != nullptr) {
        return mapped(ORA_NAME_USED);
    }
    if (starts_with(msg, "incomplete input")) {
        return mapped(ORA_UNEXPECTED_END);
    }
    if (starts_with(msg, "unrecognized token: ")) {
        return mapped(ORA_INVALID_CHARACTER);
    }
    if (starts_with(msg, "near \"") && std::strstr(msg, "syntax error") != nullptr) {
        std::string_view rest = after("near \"");
        size_t q = rest.find("\": ");
        std::string_view token = rest.substr(0, q);
        if (ocl_ascii_iequal(token, ocl_sql_first_word(sql))) {
            return mapped(ORA_INVALID_SQL);
        }
        return mapped(ORA_NOT_ENDED);
    }
    return mapped(ORA_PROVIDER, msg);
}

sword ocl_fail_sqlite(OCIError* err, sqlite3* db, int rc, std::string_view sql) {
    ocl_mapped m = ocl_map_sqlite(rc, db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(rc), sql);
    record(err, m.code, std::move(m.text));
    return OCI_ERROR;
}
