#include "ocilite/ocl_conv.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include "ocilite/ocl_date.h"
#include "ocilite/ocl_emul.h"
#include "ocilite/ocl_err.h"
#include "ocilite/ocl_hand.h"
#include "ocilite/ocl_num.h"
#include "ocilite/ocl_text.h"

namespace {

// Where one row's value, indicator, length and code go.
struct slot {
    unsigned char* value;
    sb2* ind;
    ub2* rlen;
    ub2* rcode;
};

slot slot_of(const OCIDefine& d, ub4 row) {
    slot s;
    size_t stride = d.value_sz > 0 ? static_cast<size_t>(d.value_sz) : 0;
    if (d.dty == SQLT_CLOB || d.dty == SQLT_BLOB) {
        stride = sizeof(OCILobLocator*);
    }
    s.value = static_cast<unsigned char*>(d.valuep) + stride * row;
    s.ind = d.indp != nullptr ? d.indp + row : nullptr;
    s.rlen = d.rlenp != nullptr ? d.rlenp + row : nullptr;
    s.rcode = d.rcodep != nullptr ? d.rcodep + row : nullptr;
    return s;
}

void finish(const slot& s, size_t returned, bool truncated, size_t full) {
    if (s.rlen != nullptr) {
        *s.rlen = static_cast<ub2>(returned > 65535 ? 65535 : returned);
    }
    if (s.ind != nullptr) {
        *s.ind = truncated ? static_cast<sb2>(full > 32767 ? -2 : static_cast<sb2>(full)) : 0;
    }
    if (s.rcode != nullptr) {
        *s.rcode = truncated ? ORA_TRUNCATED : 0;
    }
}

// The value as text bytes: SQLite's own text, or a number formatted the
// server's way into `scratch`. Blobs are not text (see hex writers).
const unsigned char* value_text(sqlite3_stmt* st, int col, int type, char* scratch, size_t* n) {
    if (type == SQLITE_INTEGER) {
        *n = ocl_num_format_int(sqlite3_column_int64(st, col), scratch);
        return reinterpret_cast<const unsigned char*>(scratch);
    }
    if (type == SQLITE_FLOAT) {
        *n = ocl_num_format_real(sqlite3_column_double(st, col), scratch);
        return reinterpret_cast<const unsigned char*>(scratch);
    }
    const unsigned char* t = type == SQLITE_BLOB
                                 ? static_cast<const unsigned char*>(sqlite3_column_blob(st, col))
                                 : sqlite3_column_text(st, col);
    *n = static_cast<size_t>(sqlite3_column_bytes(st, col));
    return t != nullptr ? t : reinterpret_cast<const unsigned char*>("");
}

// The emulated server's knobs for a define's statement; null when the
// provider is not emulating a server.
const ocl_emul* emulation_of(const OCIDefine& d) {
    if (d.stmt == nullptr || d.stmt->conn == nullptr || !d.stmt->conn->emul.server) {
        return nullptr;
    }
    return &d.stmt->conn->emul;
}

// A value's text as the emulated server sends it: numbers in the session's
// format, intervals in the server's form, text through a single-byte
// database character set, CHAR values blank-padded to their length. `t`
// and `n` are replaced when the text changes (pointing into `scratch` or
// `out`).
void emulate_text(const ocl_emul& e, const OCIDefine& d, const OCIParam* param, int type,
                  char* scratch, std::string& out, const unsigned char** t, size_t* n) {
    if (type == SQLITE_INTEGER || type == SQLITE_FLOAT) {
        *n = ocl_emul_number(e, scratch, *n);
        *t = reinterpret_cast<const unsigned char*>(scratch);
        return;
    }
    if (param == nullptr || type != SQLITE_TEXT) {
        return;
    }
    const ocl_type& ty = param->type;
    std::string_view text(reinterpret_cast<const char*>(*t), *n);
    bool changed = false;
    if (ty.code == SQLT_INTERVAL_DS || ty.code == SQLT_INTERVAL_YM) {
        changed = ocl_emul_interval(text, ty.code == SQLT_INTERVAL_DS, ty.lead, ty.frac, out);
    }
    if (e.latin1_db && ty.form != 0 && !(ty.form == SQLCS_NCHAR && d.form == SQLCS_NCHAR)) {
        std::string lossy;
        if (ocl_emul_latin1(changed ? std::string_view(out) : text, lossy)) {
            out = std::move(lossy);
            changed = true;
        }
    }
    if (ty.code == SQLT_AFC) {
        // The server keeps CHAR values padded to their length: characters
        // for CHAR semantics and national columns, bytes otherwise.
        if (!changed) {
            out.assign(text);
            changed = true;
        }
        const auto* u = reinterpret_cast<const unsigned char*>(out.data());
        const size_t have = ty.char_used || ty.form == SQLCS_NCHAR || e.latin1_db
                                ? ocl_utf16_units(u, out.size())
                                : out.size();
        if (have < ty.char_size) {
            out.append(ty.char_size - have, ' ');
        }
    }
    if (changed) {
        *t = reinterpret_cast<const unsigned char*>(out.data());
        *n = out.size();
    }
}

int to_chars(sqlite3_stmt* st, int col, int type, const OCIDefine& d, const slot& s, bool utf16,
             bool* truncated, const OCIParam* param) {
    const size_t unit = utf16 ? 2 : 1;
    const size_t size = d.value_sz > 0 ? static_cast<size_t>(d.value_sz) : 0;
    const bool terminated = d.dty == SQLT_STR;
    size_t cap = size;
    if (terminated) {
        cap = size >= unit ? size - unit : 0;
    }
    if (utf16) {
        cap &= ~size_t(1);
    }
    size_t written;
    size_t full;
    if (type == SQLITE_BLOB) {
        const void* b = sqlite3_column_blob(st, col);
        size_t n = static_cast<size_t>(sqlite3_column_bytes(st, col));
        written = ocl_put_hex(static_cast<const unsigned char*>(b), n, utf16, s.value, cap, &full);
    } else {
        char scratch[ocl_num_max];
        size_t n;
        const unsigned char* t = value_text(st, col, type, scratch, &n);
        std::string emulated;
        const ocl_emul* e = emulation_of(d);
        if (e != nullptr) {
            emulate_text(*e, d, param, type, scratch, emulated, &t, &n);
        }
        // A plain source keeps the bytes of a text in no valid UTF-8; a
        // server hands them over replaced.
        written =
            ocl_put_text(t, n, utf16, s.value, cap, &full, e == nullptr && type == SQLITE_TEXT);
    }
    size_t returned = written;
    if (d.dty == SQLT_AFC) {
        // blank padded to the buffer's size
        for (size_t k = written; k + unit <= size; k += unit) {
            if (utf16) {
                char16_t blank = u' ';
                std::memcpy(s.value + k, &blank, 2);
            } else {
                s.value[k] = ' ';
            }
            returned = k + unit;
        }
    }
    if (terminated && size >= unit) {
        std::memset(s.value + written, 0, unit);
    }
    *truncated = full > written;
    finish(s, returned, *truncated, full);
    return 0;
}

// The value as a 64-bit integer, rounded as the server rounds; 0 or an error.
int to_int64(sqlite3_stmt* st, int col, int type, long long* out) {
    constexpr double limit = 9223372036854775807.0;
    double v;
    if (type == SQLITE_INTEGER) {
        *out = sqlite3_column_int64(st, col);
        return 0;
    }
    if (type == SQLITE_FLOAT) {
        v = sqlite3_column_double(st, col);
    } else if (type == SQLITE_TEXT) {
        const char* t = reinterpret_cast<const char*>(sqlite3_column_text(st, col));
        size_t n = static_cast<size_t>(sqlite3_column_bytes(st, col));
        bool is_int = false;
        long long iv = 0;
        if (t == nullptr || !ocl_num_parse(t, n, &v, &is_int, &iv)) {
            return ORA_INVALID_NUMBER;
        }
        if (is_int) {
            *out = iv;
            return 0;
        }
    } else {
        return ORA_INCONSISTENT_TYPES;
    }
    if (!std::isfinite(v)) {
        return ORA_NUMERIC_OVERFLOW;
    }
    double r = std::round(v);
    if (r >= limit || r < -limit) {
        return ORA_INT_OVERFLOW;
    }
    *out = static_cast<long long>(r);
    return 0;
}

int to_integer(sqlite3_stmt* st, int col, int type, const OCIDefine& d, const slot& s) {
    long long v = 0;
    int code = to_int64(st, col, type, &v);
    if (code != 0) {
        return code;
    }
    const bool is_unsigned = d.dty == SQLT_UIN;
    switch (d.value_sz) {
        case 1: {
            if (is_unsigned ? (v < 0 || v > 255) : (v < -128 || v > 127)) {
                return ORA_INT_OVERFLOW;
            }
            s.value[0] = static_cast<unsigned char>(v);
            break;
        }
        case 2: {
            if (is_unsigned ? (v < 0 || v > 65535) : (v < -32768 || v > 32767)) {
                return ORA_INT_OVERFLOW;
            }
            int16_t x = static_cast<int16_t>(v);
            std::memcpy(s.value, &x, 2);
            break;
        }
        case 4: {
            if (is_unsigned ? (v < 0 || v > 4294967295LL)
                            : (v < std::numeric_limits<int32_t>::min() ||
                               v > std::numeric_limits<int32_t>::max())) {
                return ORA_INT_OVERFLOW;
            }
            int32_t x = static_cast<int32_t>(static_cast<uint32_t>(v));
            std::memcpy(s.value, &x, 4);
            break;
        }
        case 8: {
            if (is_unsigned && v < 0) {
                return ORA_INT_OVERFLOW;
            }
            std::memcpy(s.value, &v, 8);
            break;
        }
        default:
            return ORA_UNSUPPORTED_TYPE;
    }
    finish(s, static_cast<size_t>(d.value_sz), false, 0);
    return 0;
}

int to_float(sqlite3_stmt* st, int col, int type, const OCIDefine& d, const slot& s) {
    double v;
    if (type == SQLITE_INTEGER || type == SQLITE_FLOAT) {
        v = sqlite3_column_double(st, col);
    } else if (type == SQLITE_TEXT) {
        const char* t = reinterpret_cast<const char*>(sqlite3_column_text(st, col));
        size_t n = static_cast<size_t>(sqlite3_column_bytes(st, col));
        bool is_int;
        long long iv;
        if (t == nullptr || !ocl_num_parse(t, n, &v, &is_int, &iv)) {
            return ORA_INVALID_NUMBER;
        }
    } else {
        return ORA_INCONSISTENT_TYPES;
    }
    if (d.value_sz == 4) {
        float f = static_cast<float>(v);
        std::memcpy(s.value, &f, 4);
    } else if (d.value_sz == 8) {
        std::memcpy(s.value, &v, 8);
    } else {
        return ORA_UNSUPPORTED_TYPE;
    }
    finish(s, static_cast<size_t>(d.value_sz), false, 0);
    return 0;
}

int to_date(sqlite3_stmt* st, int col, int type, const OCIDefine& d, const slot& s) {
    if (type != SQLITE_TEXT) {
        return ORA_INCONSISTENT_TYPES;
    }
    if (d.value_sz < 7) {
        return ORA_UNSUPPORTED_TYPE;
    }
    const char* t = reinterpret_cast<const char*>(sqlite3_column_text(st, col));
    size_t n = static_cast<size_t>(sqlite3_column_bytes(st, col));
    ocl_datetime dt;
    int code = ocl_date_parse(t != nullptr ? t : "", n, &dt);
    if (code != 0) {
        return code;
    }
    ocl_date_encode(dt, s.value);
    finish(s, 7, false, 0);
    return 0;
}

int to_binary(sqlite3_stmt* st, int col, int type, const OCIDefine& d, const slot& s,
              bool* truncated) {
    if (type != SQLITE_BLOB && type != SQLITE_TEXT) {
        return ORA_INCONSISTENT_TYPES;
    }
    const void* b =
        type == SQLITE_BLOB ? sqlite3_column_blob(st, col) : sqlite3_column_text(st, col);
    size_t n = static_cast<size_t>(sqlite3_column_bytes(st, col));
    size_t cap = d.value_sz > 0 ? static_cast<size_t>(d.value_sz) : 0;
    size_t k = n < cap ? n : cap;
    if (k > 0) {
        std::memcpy(s.value, b, k);
    }
    *truncated = n > k;
    finish(s, k, *truncated, n);
    return 0;
}

int to_lob(sqlite3_stmt* st, int col, int type, const OCIDefine& d, const slot& s,
           const OCIParam* param) {
    OCILobLocator* loc = nullptr;
    std::memcpy(&loc, s.value, sizeof loc);
    loc = ocl_as<OCILobLocator>(loc, OCI_DTYPE_LOB);
    if (loc == nullptr) {
        return ORA_INVALID_LOCATOR;
    }
    loc->binary = d.dty == SQLT_BLOB;
    loc->form = 0;
    if (!loc->binary) {
        loc->form =
            param != nullptr && param->type.form == SQLCS_NCHAR ? SQLCS_NCHAR : SQLCS_IMPLICIT;
    }
    if (type == SQLITE_INTEGER || type == SQLITE_FLOAT) {
        if (loc->binary) {
            return ORA_INCONSISTENT_TYPES;
        }
        char scratch[ocl_num_max];
        size_t n;
        const unsigned char* t = value_text(st, col, type, scratch, &n);
        if (const ocl_emul* e = emulation_of(d)) {
            n = ocl_emul_number(*e, scratch, n);
        }
        loc->data.assign(reinterpret_cast<const char*>(t), n);
    } else {
        const void* b =
            type == SQLITE_BLOB ? sqlite3_column_blob(st, col) : sqlite3_column_text(st, col);
        size_t n = static_cast<size_t>(sqlite3_column_bytes(st, col));
        loc->data.assign(b != nullptr ? static_cast<const char*>(b) : "", n);
    }
    loc->valid = true;
    loc->reset_read_state();
    finish(s, sizeof(OCILobLocator*), false, 0);
    return 0;
}

int convert(sqlite3_stmt* st, int col, const OCIDefine& d, ub4 row, const OCIParam* param,
            bool utf16, bool* truncated) {
    *truncated = false;
    slot s = slot_of(d, row);
    const int type = sqlite3_column_type(st, col);
    if (type == SQLITE_NULL) {
        if (s.ind == nullptr) {
            return ORA_FETCHED_NULL;
        }
        *s.ind = -1;
        if (s.rlen != nullptr) {
            *s.rlen = 0;
        }
        if (s.rcode != nullptr) {
            *s.rcode = ORA_FETCHED_NULL;
        }
        if (d.dty == SQLT_CLOB || d.dty == SQLT_BLOB) {
            OCILobLocator* loc = nullptr;
            std::memcpy(&loc, s.value, sizeof loc);
            if ((loc = ocl_as<OCILobLocator>(loc, OCI_DTYPE_LOB)) != nullptr) {
                loc->valid = false;
                loc->data.clear();
                loc->reset_read_state();
            }
        }
        return 0;
    }
    switch (d.dty) {
        case SQLT_CHR:
        case SQLT_STR:
        case SQLT_LNG:
        case SQLT_AFC:
            return to_chars(st, col, type, d, s, utf16, truncated, param);
        case SQLT_INT:
        case SQLT_UIN:
            return to_integer(st, col, type, d, s);
        case SQLT_FLT:
        case SQLT_BFLOAT:
        case SQLT_BDOUBLE:
            return to_float(st, col, type, d, s);
        case SQLT_DAT:
            return to_date(st, col, type, d, s);
        case SQLT_BIN:
        case SQLT_LBI:
            return to_binary(st, col, type, d, s, truncated);
        case SQLT_CLOB:
        case SQLT_BLOB:
            return to_lob(st, col, type, d, s, param);
        default:
            return ORA_UNSUPPORTED_TYPE;
    }
}

}  // namespace

bool ocl_conv_supported(ub2 dty) {
    switch (dty) {
        case SQLT_CHR:
        case SQLT_STR:
        case SQLT_LNG:
        case SQLT_AFC:
        case SQLT_INT:
        case SQLT_UIN:
        case SQLT_FLT:
        case SQLT_BFLOAT:
        case SQLT_BDOUBLE:
        case SQLT_DAT:
        case SQLT_BIN:
        case SQLT_LBI:
        case SQLT_CLOB:
        case SQLT_BLOB:
            return true;
        default:
            return false;
    }
}

int ocl_convert(sqlite3_stmt* st, int col, const OCIDefine& d, ub4 row, const OCIParam* param,
                bool utf16, bool* truncated, const char** expected, const char** got) {
    int code = convert(st, col, d, row, param, utf16, truncated);
    if (code == ORA_INCONSISTENT_TYPES) {
        switch (d.dty) {
            case SQLT_DAT:
                *expected = "DATE";
                break;
            case SQLT_BIN:
            case SQLT_LBI:
                *expected = "BINARY";
                break;
            case SQLT_CLOB:
                *expected = "CLOB";
                break;
            case SQLT_BLOB:
                *expected = "BLOB";
                break;
            default:
                *expected = "NUMBER";
                break;
        }
        switch (sqlite3_column_type(st, col)) {
            case SQLITE_INTEGER:
            case SQLITE_FLOAT:
                *got = "NUMBER";
                break;
            case SQLITE_BLOB:
                *got = "BINARY";
                break;
            default:
                *got = "CHAR";
                break;
        }
    }
    return code;
}
