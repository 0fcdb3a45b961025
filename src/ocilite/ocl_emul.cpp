#include "ocilite/ocl_emul.h"

#include <time.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "ocilite/ocl_hand.h"
#include "ocilite/ocl_num.h"
#include "ocilite/ocl_text.h"

namespace {

const char* env_text(const char* name) {
    const char* v = std::getenv(name);
    return v != nullptr ? v : "";
}

bool starts_with_nocase(const char* s, const char* prefix) {
    for (; *prefix; ++s, ++prefix) {
        if (std::toupper(static_cast<unsigned char>(*s)) != *prefix) {
            return false;
        }
    }
    return true;
}

// Reads an unsigned number at s[i..); advances i. False when no digit.
bool read_digits(std::string_view s, size_t& i, unsigned long long& v, size_t* digits = nullptr) {
    size_t start = i;
    v = 0;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
        if (v < 100000000000ULL) {
            v = v * 10 + static_cast<unsigned>(s[i] - '0');
        }
        ++i;
    }
    if (digits != nullptr) {
        *digits = i - start;
    }
    return i > start;
}

}  // namespace

bool ocl_emul_server_now() {
    return std::strcmp(env_text("TSL_OCILITE_EMULATE"), "server") == 0;
}

ocl_emul ocl_emul_from_env() {
    ocl_emul e;
    e.server = ocl_emul_server_now();
    if (e.server) {
        const char* cs = env_text("TSL_OCILITE_DB_CHARSET");
        e.latin1_db = starts_with_nocase(cs, "WE8") || starts_with_nocase(cs, "US7") ||
                      starts_with_nocase(cs, "WE7");
        const char* nls = env_text("NLS_NUMERIC_CHARACTERS");
        if (nls[0] != '\0' && nls[0] != ' ') {
            e.decimal = nls[0];
        }
    }
    const char* ms = env_text("TSL_OCILITE_ROUNDTRIP_MS");
    if (ms[0] != '\0') {
        long v = std::strtol(ms, nullptr, 10);
        e.roundtrip_ms = v > 0 && v < 60000 ? static_cast<unsigned>(v) : 0;
    }
    e.report = env_text("TSL_OCILITE_ROUNDTRIP_REPORT");
    return e;
}

void ocl_roundtrip(OCIEnv* env, ocl_conn* conn) {
    if (env != nullptr) {
        ++env->roundtrips;
    }
    unsigned ms = 0;
    if (conn != nullptr) {
        ++conn->roundtrips;
        ms = conn->emul.roundtrip_ms;
    } else {
        ms = ocl_emul_from_env().roundtrip_ms;
    }
    if (ms > 0) {
        timespec t{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
        while (nanosleep(&t, &t) != 0) {
        }
    }
}

bool ocl_emul_latin1(std::string_view text, std::string& out) {
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    const size_t n = text.size();
    size_t pos = 0;
    bool changed = false;
    std::string result;
    while (pos < n) {
        char32_t cp;
        const size_t len = ocl_utf8_next(s + pos, n - pos, &cp);
        if (cp > 0xFF) {
            if (!changed) {
                result.assign(text.substr(0, pos));
                changed = true;
            }
            result += '?';
        } else if (changed) {
            result.append(text.substr(pos, len));
        }
        pos += len;
    }
    if (changed) {
        out = std::move(result);
    }
    return changed;
}

size_t ocl_emul_number(const ocl_emul& e, char* text, size_t n) {
    char* exp = static_cast<char*>(std::memchr(text, 'E', n));
    if (exp != nullptr && std::memchr(text, '.', static_cast<size_t>(exp - text)) == nullptr &&
        n + 2 < ocl_num_max) {
        // "1E+100" -> "1.0E+100"
        std::memmove(exp + 2, exp, n - static_cast<size_t>(exp - text));
        exp[0] = '.';
        exp[1] = '0';
        n += 2;
    }
    if (e.decimal != '.') {
        for (size_t i = 0; i < n; ++i) {
            if (text[i] == '.') {
                text[i] = e.decimal;
            }
        }
    }
    text[n] = '\0';
    return n;
}

bool ocl_emul_interval(std::string_view text, bool day_to_second, int lead, int frac,
                       std::string& out) {
    size_t i = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i++] == '-';
    }
    unsigned long long first = 0;
    if (!read_digits(text, i, first)) {
        return false;
    }
    char buf[96];
    if (!day_to_second) {
        unsigned long long months = 0;
        if (i >= text.size() || text[i] != '-' || !read_digits(text, ++i, months) || months > 11) {
            return false;
        }
        std::snprintf(buf, sizeof buf, "%c%0*llu-%02llu", negative ? '-' : '+', lead, first,
                      months);
    } else {
        unsigned long long h = 0, m = 0, s = 0, f = 0;
        size_t fdigits = 0;
        if (i >= text.size() || text[i] != ' ' || !read_digits(text, ++i, h) || i >= text.size() ||
            text[i] != ':' || !read_digits(text, ++i, m) || i >= text.size() || text[i] != ':' ||
            !read_digits(text, ++i, s) || h > 23 || m > 59 || s > 59) {
            return false;
        }
        if (i < text.size() && text[i] == '.' && !read_digits(text, ++i, f, &fdigits)) {
            return false;
        }
        // The fraction to `frac` digits, as the server keeps it.
        std::string digits = fdigits > 0 ? std::string(text.substr(i - fdigits, fdigits)) : "";
        digits.resize(static_cast<size_t>(frac), '0');
        std::snprintf(buf, sizeof buf, "%c%0*llu %02llu:%02llu:%02llu%s%s", negative ? '-' : '+',
                      lead, first, h, m, s, frac > 0 ? "." : "", digits.c_str());
    }
    while (i < text.size() && text[i] == ' ') ++i;
    if (i != text.size()) {
        return false;
    }
    out = buf;
    return true;
}
