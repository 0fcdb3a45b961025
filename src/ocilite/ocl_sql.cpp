#include "ocilite/ocl_sql.h"

#include "ocilite/ocl_text.h"

namespace {

bool ident_start(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c >= 0x80;
}

bool ident_char(unsigned char c) {
    return ident_start(c) || (c >= '0' && c <= '9') || c == '$' || c == '#';
}

bool blank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

// Position past a comment starting at i, or i when none starts there.
size_t skip_comment(std::string_view s, size_t i) {
    if (s.compare(i, 2, "--") == 0) {
        size_t e = s.find('\n', i);
        return e == std::string_view::npos ? s.size() : e + 1;
    }
    if (s.compare(i, 2, "/*") == 0) {
        size_t e = s.find("*/", i + 2);
        return e == std::string_view::npos ? s.size() : e + 2;
    }
    return i;
}

// Position past a quoted run starting at i (quote char q, closed by `close`,
// doubled closers stay inside).
size_t skip_quoted(std::string_view s, size_t i, char close) {
    size_t j = i + 1;
    while (j < s.size()) {
        if (s[j] == close) {
            if (j + 1 < s.size() && s[j + 1] == close && close != ']') {
                j += 2;
                continue;
            }
            return j + 1;
        }
        ++j;
    }
    return s.size();
}

bool mentions_sys(std::string_view s) {
    for (size_t i = 0; i + 3 <= s.size(); ++i) {
        if ((s[i] == 's' || s[i] == 'S') && (s[i + 1] == 'y' || s[i + 1] == 'Y') &&
            (s[i + 2] == 's' || s[i + 2] == 'S')) {
            return true;
        }
    }
    return false;
}

}  // namespace

std::string ocl_sql_rewrite(std::string_view sql) {
    if (!mentions_sys(sql)) {
        return std::string(sql);
    }
    std::string out;
    out.reserve(sql.size() + 32);
    char prev_significant = 0;
    size_t i = 0;
    while (i < sql.size()) {
        char c = sql[i];
        size_t after_comment = skip_comment(sql, i);
        if (after_comment != i) {
            out.append(sql.substr(i, after_comment - i));
            i = after_comment;
            continue;
        }
        if (c == '\'' || c == '"' || c == '`' || c == '[') {
            size_t e = skip_quoted(sql, i, c == '[' ? ']' : c);
            out.append(sql.substr(i, e - i));
            i = e;
            prev_significant = c;
            continue;
        }
        if (c >= '0' && c <= '9') {
            size_t e = i;
            while (e < sql.size() &&
                   (ident_char(static_cast<unsigned char>(sql[e])) || sql[e] == '.')) {
                ++e;
            }
            out.append(sql.substr(i, e - i));
            i = e;
            prev_significant = '0';
            continue;
        }
        if (ident_start(static_cast<unsigned char>(c))) {
            size_t e = i;
            while (e < sql.size() && ident_char(static_cast<unsigned char>(sql[e]))) {
                ++e;
            }
            std::string_view word = sql.substr(i, e - i);
            size_t next = e;
            while (next < sql.size() && blank(sql[next])) {
                ++next;
            }
            bool qualified = prev_significant == '.';
            bool call = next < sql.size() && sql[next] == '(';
            if (!qualified && ocl_ascii_iequal(word, "SYS") && e < sql.size() && sql[e] == '.') {
                i = e + 1;  // drop "SYS."
                prev_significant = ' ';
                continue;
            }
            if (!qualified && !call && ocl_ascii_iequal(word, "SYSDATE")) {
                out += "(datetime('now','localtime'))";
            } else if (!qualified && !call && ocl_ascii_iequal(word, "SYSTIMESTAMP")) {
                out += "(strftime('%Y-%m-%d %H:%M:%f','now','localtime'))";
            } else {
                out.append(word);
            }
            i = e;
            prev_significant = 'a';
            continue;
        }
        out += c;
        if (!blank(c)) {
            prev_significant = c;
        }
        ++i;
    }
    return out;
}

std::string_view ocl_sql_first_word(std::string_view sql) {
    size_t i = 0;
    while (i < sql.size()) {
        size_t e = skip_comment(sql, i);
        if (e != i) {
            i = e;
        } else if (blank(sql[i]) || sql[i] == '(') {
            ++i;
        } else {
            break;
        }
    }
    size_t j = i;
    while (j < sql.size() && ident_char(static_cast<unsigned char>(sql[j]))) {
        ++j;
    }
    if (j == i && i < sql.size()) {
        j = i + 1;  // a lone symbol
    }
    return sql.substr(i, j - i);
}

ub2 ocl_sql_type(std::string_view sql) {
    std::string_view w = ocl_sql_first_word(sql);
    struct entry {
        const char* word;
        ub2 type;
    };
    static const entry table[] = {
        {"SELECT", OCI_STMT_SELECT},  {"WITH", OCI_STMT_SELECT},   {"VALUES", OCI_STMT_SELECT},
        {"UPDATE", OCI_STMT_UPDATE},  {"DELETE", OCI_STMT_DELETE}, {"INSERT", OCI_STMT_INSERT},
        {"REPLACE", OCI_STMT_INSERT}, {"CREATE", OCI_STMT_CREATE}, {"DROP", OCI_STMT_DROP},
        {"ALTER", OCI_STMT_ALTER},    {"BEGIN", OCI_STMT_BEGIN},   {"DECLARE", OCI_STMT_DECLARE},
    };
    for (const entry& e : table) {
        if (ocl_ascii_iequal(w, e.word)) {
            return e.type;
        }
    }
    return 0;
}

bool ocl_sql_blank(std::string_view tail) {
    size_t i = 0;
    while (i < tail.size()) {
        size_t e = skip_comment(tail, i);
        if (e != i) {
            i = e;
        } else if (blank(tail[i])) {
            ++i;
        } else {
            return false;
        }
    }
    return true;
}
