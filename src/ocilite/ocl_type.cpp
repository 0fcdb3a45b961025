#include "ocilite/ocl_type.h"

#include <sqlite3.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string>

namespace {

// The declaration split into its words (upper case, outside parentheses) and
// the numbers of its first parenthesised group.
struct decl_parts {
    std::string key;  // words joined by one space
    long args[2] = {0, 0};
    int nargs = 0;
    bool bad_args = false;
    bool char_semantics = false;  // "(n CHAR)"; "(n BYTE)" is the default
};

// "CHAR" / "BYTE" after a length, any case, blanks around.
bool is_word(const char* s, const char* word) {
    while (*s == ' ') ++s;
    for (; *word; ++s, ++word) {
        if (std::toupper(static_cast<unsigned char>(*s)) != *word) {
            return false;
        }
    }
    while (*s == ' ') ++s;
    return *s == '\0';
}

decl_parts split_decl(const char* decl) {
    decl_parts p;
    int depth = 0;
    bool group_done = false;
    std::string arg;
    auto flush_arg = [&] {
        size_t b = arg.find_first_not_of(' ');
        size_t e = arg.find_last_not_of(' ');
        std::string t = b == std::string::npos ? "" : arg.substr(b, e - b + 1);
        char* end = nullptr;
        long v = std::strtol(t.c_str(), &end, 10);
        if (p.nargs == 0 && end != t.c_str() && *end == ' ') {
            // A length with its semantics: VARCHAR2(20 CHAR), VARCHAR2(20 BYTE).
            if (is_word(end, "CHAR")) {
                p.char_semantics = true;
                end += std::strlen(end);
            } else if (is_word(end, "BYTE")) {
                end += std::strlen(end);
            }
        }
        if (t.empty() || *end != '\0' || p.nargs >= 2) {
            p.bad_args = true;
        } else {
            p.args[p.nargs++] = v;
        }
        arg.clear();
    };
    bool in_word = false;
    for (const char* s = decl; *s; ++s) {
        unsigned char c = static_cast<unsigned char>(*s);
        if (c == '(') {
            ++depth;
            in_word = false;
            continue;
        }
        if (c == ')') {
            if (depth == 1 && !group_done) {
                flush_arg();
                group_done = true;
            }
            if (depth > 0) {
                --depth;
            }
            continue;
        }
        if (depth > 0) {
            if (!group_done) {
                if (c == ',' && depth == 1) {
                    flush_arg();
                } else {
                    arg += static_cast<char>(c);
                }
            }
            continue;
        }
        if (std::isspace(c)) {
            in_word = false;
            continue;
        }
        if (!in_word && !p.key.empty()) {
            p.key += ' ';
        }
        in_word = true;
        p.key += static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
    }
    return p;
}

ocl_type make(ub2 code, ub2 size, const char* name, ub1 form = 0) {
    ocl_type t;
    t.code = code;
    t.size = size;
    t.precision = 0;
    t.scale = 0;
    t.form = form;
    t.char_size = 0;
    t.name = name;
    return t;
}

ocl_type number(sb2 precision, sb1 scale) {
    ocl_type t = make(SQLT_NUM, 22, "NUMBER");
    t.precision = precision;
    t.scale = scale;
    return t;
}

ocl_type float_type(sb2 binary_precision) {
    ocl_type t = make(SQLT_NUM, 22, "FLOAT");
    t.precision = binary_precision;
    t.scale = -127;
    return t;
}

ub2 clamp_size(long v, long max) {
    if (v < 1) {
        return 1;
    }
    return static_cast<ub2>(v > max ? max : v);
}

ocl_type character(ub2 code, long chars, bool national, const char* name) {
    // National character types count two bytes per character (AL16UTF16).
    ub2 n = clamp_size(chars, national ? 16383 : 32767);
    ocl_type t = make(code, static_cast<ub2>(national ? n * 2 : n), name,
                      national ? SQLCS_NCHAR : SQLCS_IMPLICIT);
    t.char_size = n;
    return t;
}

bool is_one_of(const std::string& key, std::initializer_list<const char*> names) {
    for (const char* n : names) {
        if (key == n) {
            return true;
        }
    }
    return false;
}

// The number in parentheses right after `word` in `decl` (any case), or
// `fallback`: INTERVAL DAY(3) TO SECOND(9).
sb1 digits_after(const char* decl, const char* word, sb1 fallback) {
    std::string upper;
    for (const char* s = decl; *s; ++s) {
        upper += static_cast<char>(std::toupper(static_cast<unsigned char>(*s)));
    }
    size_t at = upper.find(word);
    if (at == std::string::npos) {
        return fallback;
    }
    at += std::strlen(word);
    while (at < upper.size() && upper[at] == ' ') ++at;
    if (at >= upper.size() || upper[at] != '(') {
        return fallback;
    }
    long v = std::strtol(upper.c_str() + at + 1, nullptr, 10);
    return v >= 0 && v <= 9 ? static_cast<sb1>(v) : fallback;
}

}  // namespace

ocl_type ocl_type_varchar2(ub2 chars) {
    return character(SQLT_CHR, chars, false, "VARCHAR2");
}

ocl_type ocl_type_number() {
    return number(0, -127);
}

bool ocl_type_from_decl(const char* decl, ocl_type* out) {
    if (decl == nullptr || *decl == '\0') {
        return false;
    }
    decl_parts p = split_decl(decl);
    const std::string& k = p.key;
    const bool has1 = p.nargs >= 1 && !p.bad_args;
    const long a0 = p.args[0];
    const long a1 = p.args[1];
    ocl_type t;

    if (is_one_of(k, {"VARCHAR2", "VARCHAR", "CHARACTER VARYING", "CHAR VARYING"})) {
        t = character(SQLT_CHR, has1 ? a0 : 4000, false, "VARCHAR2");
        t.char_used = p.char_semantics;
    } else if (is_one_of(k, {"NVARCHAR2", "NVARCHAR", "NATIONAL CHARACTER VARYING",
                             "NATIONAL CHAR VARYING", "NCHAR VARYING"})) {
        t = character(SQLT_CHR, has1 ? a0 : 2000, true, "NVARCHAR2");
    } else if (is_one_of(k, {"CHAR", "CHARACTER"})) {
        t = character(SQLT_AFC, has1 ? a0 : 1, false, "CHAR");
        t.char_used = p.char_semantics;
    } else if (is_one_of(k, {"NCHAR", "NATIONAL CHARACTER", "NATIONAL CHAR"})) {
        t = character(SQLT_AFC, has1 ? a0 : 1, true, "NCHAR");
    } else if (k == "NUMBER") {
        if (!has1) {
            t = number(0, -127);
        } else {
            t = number(static_cast<sb2>(a0), static_cast<sb1>(p.nargs == 2 ? a1 : 0));
        }
    } else if (is_one_of(k, {"NUMERIC", "DECIMAL", "DEC"})) {
        // Without a precision these are integers of the largest precision.
        t = has1 ? number(static_cast<sb2>(a0), static_cast<sb1>(p.nargs == 2 ? a1 : 0))
                 : number(38, 0);
    } else if (is_one_of(k, {"INTEGER", "INT", "SMALLINT"})) {
        t = number(38, 0);
    } else if (is_one_of(k, {"BIGINT", "INT8"})) {
        t = number(19, 0);
    } else if (k == "UNSIGNED BIG INT") {
        t = number(20, 0);
    } else if (k == "MEDIUMINT") {
        t = number(7, 0);
    } else if (k == "INT2") {
        t = number(5, 0);
    } else if (k == "TINYINT") {
        t = number(3, 0);
    } else if (is_one_of(k, {"BOOLEAN", "BOOL"})) {
        t = number(1, 0);
    } else if (k == "FLOAT") {
        t = float_type(static_cast<sb2>(has1 ? a0 : 126));
    } else if (k == "REAL") {
        t = float_type(63);
    } else if (is_one_of(k, {"DOUBLE", "DOUBLE PRECISION"})) {
        t = float_type(126);
    } else if (k == "BINARY_FLOAT") {
        t = make(SQLT_IBFLOAT, 4, "BINARY_FLOAT");
    } else if (k == "BINARY_DOUBLE") {
        t = make(SQLT_IBDOUBLE, 8, "BINARY_DOUBLE");
    } else if (is_one_of(k, {"DATE", "DATETIME"})) {
        t = make(SQLT_DAT, 7, "DATE");
    } else if (k == "TIMESTAMP") {
        t = make(SQLT_TIMESTAMP, 11, "TIMESTAMP(6)");
        t.scale = static_cast<sb1>(has1 ? a0 : 6);
    } else if (k == "TIMESTAMP WITH TIME ZONE") {
        t = make(SQLT_TIMESTAMP_TZ, 13, "TIMESTAMP(6) WITH TIME ZONE");
        t.scale = static_cast<sb1>(has1 ? a0 : 6);
    } else if (k == "TIMESTAMP WITH LOCAL TIME ZONE") {
        t = make(SQLT_TIMESTAMP_LTZ, 11, "TIMESTAMP(6) WITH LOCAL TIME ZONE");
        t.scale = static_cast<sb1>(has1 ? a0 : 6);
    } else if (k == "INTERVAL YEAR TO MONTH") {
        t = make(SQLT_INTERVAL_YM, 5, "INTERVAL YEAR(2) TO MONTH");
        t.lead = digits_after(decl, "YEAR", 2);
        t.frac = 0;
    } else if (k == "INTERVAL DAY TO SECOND") {
        t = make(SQLT_INTERVAL_DS, 11, "INTERVAL DAY(2) TO SECOND(6)");
        t.lead = digits_after(decl, "DAY", 2);
        t.frac = digits_after(decl, "SECOND", 6);
    } else if (is_one_of(k, {"RAW", "VARBINARY", "BINARY"})) {
        t = make(SQLT_BIN, clamp_size(has1 ? a0 : 2000, 32767), "RAW");
    } else if (is_one_of(k, {"LONG", "LONG VARCHAR"})) {
        t = make(SQLT_LNG, 0, "LONG", SQLCS_IMPLICIT);
    } else if (is_one_of(k, {"LONG RAW", "LONG VARBINARY"})) {
        t = make(SQLT_LBI, 0, "LONG RAW");
    } else if (is_one_of(k, {"CLOB", "CHARACTER LARGE OBJECT"})) {
        t = make(SQLT_CLOB, 4000, "CLOB", SQLCS_IMPLICIT);
    } else if (k == "NCLOB") {
        t = make(SQLT_CLOB, 4000, "NCLOB", SQLCS_NCHAR);
    } else if (is_one_of(k, {"BLOB", "BINARY LARGE OBJECT"})) {
        t = make(SQLT_BLOB, 4000, "BLOB");
    } else if (k == "BFILE") {
        t = make(SQLT_BFILEE, 530, "BFILE");
    } else if (k == "ROWID") {
        t = make(SQLT_RDD, 10, "ROWID");
    } else if (k == "UROWID") {
        t = make(SQLT_RDD, clamp_size(has1 ? a0 : 4000, 4000), "UROWID");
    } else if (k.find("INT") != std::string::npos) {
        // SQLite gives every other type holding "INT" integer affinity:
        // 64-bit integers, which 19 digits hold.
        t = number(19, 0);
    } else {
        return false;
    }
    *out = t;
    return true;
}

void ocl_scan::add(int sqlite_type, size_t chars) {
    if (sqlite_type == SQLITE_NULL) {
        return;
    }
    any = true;
    if (sqlite_type != SQLITE_INTEGER && sqlite_type != SQLITE_FLOAT) {
        all_numeric = false;
    }
    if (sqlite_type != SQLITE_BLOB) {
        all_blob = false;
    }
    if (chars > max_chars) {
        max_chars = chars;
    }
}

ocl_type ocl_scan::result() const {
    if (!any) {
        return ocl_type_varchar2(4000);
    }
    if (all_numeric) {
        return ocl_type_number();
    }
    if (all_blob) {
        return make(SQLT_BLOB, 4000, "BLOB");
    }
    if (max_chars > 4000) {
        return make(SQLT_CLOB, 4000, "CLOB", SQLCS_IMPLICIT);
    }
    return ocl_type_varchar2(4000);
}
