// ole_variant: text form of every kind and parsing of text into a kind.
//
// Text form by kind:
//   VT_I1, VT_I2, VT_I4, VT_UI1, VT_UI2, VT_UI4, VT_I8, VT_UI8: decimal
//   VT_R4 "%.6e", VT_R8 "%.15e" (always '.', whatever the C locale)
//   VT_CY, VT_DECIMAL: the automation text ("1.5"), ',' shown as '.'
//   VT_DATE: the canonical date text of ole_date
//   VT_BSTR: the string as UTF-8
//   VT_BOOL: "1" for -1, otherwise "0"
//   VT_ARRAY|VT_UI1: "0x" and two upper-case hex digits per byte, at most
//     10,000,000 bytes shown; an empty array gives ""
//   anything else (VT_EMPTY, VT_NULL included): ""
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "OLE/ole_date.h"
#include "OLE/ole_misc.h"
#include "OLE/ole_var.h"
#include "TK/tk_log.h"
#include "TK/tk_utf.h"

namespace {

constexpr size_t kMaxShownBytes = 10000000;

std::string scientific(double v, int decimals) {
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific, decimals);
    return std::string(buf, r.ptr);
}

void commas_to_points(std::string* s) {
    for (char& c : *s) {
        if (c == ',')
            c = '.';
    }
}

bool is_space(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// C atoi as documented by the original runtime: blanks, optional sign,
// digits up to the first other character; no digits gives 0; a value beyond
// the int range is clamped to INT_MIN / INT_MAX.
int32_t read_atoi(std::string_view t) {
    size_t i = 0;
    while (i < t.size() && is_space(t[i])) ++i;
    bool neg = false;
    if (i < t.size() && (t[i] == '+' || t[i] == '-'))
        neg = t[i++] == '-';
    int64_t v = 0;
    for (; i < t.size() && t[i] >= '0' && t[i] <= '9'; ++i) {
        if (v <= int64_t{INT32_MAX} + 1)
            v = v * 10 + (t[i] - '0');
    }
    if (neg)
        v = -v;
    if (v > INT32_MAX)
        return INT32_MAX;
    if (v < INT32_MIN)
        return INT32_MIN;
    return static_cast<int32_t>(v);
}

// scanf "%u" / "%I64d" / "%I64u": blanks, optional sign, decimal digits;
// the value wraps modulo 2^64 (a minus sign negates it the same way).
// No number at the start gives 0.
uint64_t read_scanf_integer(std::string_view t) {
    size_t i = 0;
    while (i < t.size() && is_space(t[i])) ++i;
    bool neg = false;
    if (i < t.size() && (t[i] == '+' || t[i] == '-'))
        neg = t[i++] == '-';
    uint64_t v = 0;
    for (; i < t.size() && t[i] >= '0' && t[i] <= '9'; ++i) v = v * 10 + uint64_t(t[i] - '0');
    return neg ? uint64_t{0} - v : v;
}

// C atof over the text (after ',' became '.'), locale-independent.
double read_atof(std::string_view t) {
    size_t i = 0;
    while (i < t.size() && is_space(t[i])) ++i;
    bool neg = false;
    if (i < t.size() && (t[i] == '+' || t[i] == '-'))
        neg = t[i++] == '-';
    size_t digits_begin = i;
    bool any = false;
    while (i < t.size() && t[i] >= '0' && t[i] <= '9') ++i, any = true;
    if (i < t.size() && t[i] == '.') {
        ++i;
        while (i < t.size() && t[i] >= '0' && t[i] <= '9') ++i, any = true;
    }
    if (!any)
        return 0;
    if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
        size_t e = i + 1;
        if (e < t.size() && (t[e] == '+' || t[e] == '-'))
            ++e;
        if (e < t.size() && t[e] >= '0' && t[e] <= '9') {
            while (e < t.size() && t[e] >= '0' && t[e] <= '9') ++e;
            i = e;
        }
    }
    double v = 0;
    auto r = std::from_chars(t.data() + digits_begin, t.data() + i, v);
    if (r.ec == std::errc::result_out_of_range) {
        // from_chars leaves v alone: decide between overflow and underflow.
        const char* e =
            static_cast<const char*>(std::memchr(t.data() + digits_begin, 'e', i - digits_begin));
        if (!e)
            e = static_cast<const char*>(
                std::memchr(t.data() + digits_begin, 'E', i - digits_begin));
        v = (e && e[1] == '-') ? 0.0 : HUGE_VAL;
    }
    return neg ? -v : v;
}

int hex_value(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return 0;  // not a hex digit: counts as 0
}

bool equals_ignoring_case(std::string_view a, const char* b) {
    size_t n = std::strlen(b);
    if (a.size() != n)
        return false;
    for (size_t i = 0; i < n; ++i) {
        char c = a[i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (c != b[i])
            return false;
    }
    return true;
}

}  // namespace

std::string ole_variant::to_string() const {
    tk_trace(1, "ole_variant::to_string (vt=%08X)", static_cast<unsigned>(vt_));
    char buf[32];
    switch (vt_) {
        case VT_I2:
            return std::string(buf, std::to_chars(buf, buf + sizeof buf, data_.i2).ptr);
        case VT_I1:
            return std::string(buf, std::to_chars(buf, buf + sizeof buf, data_.i1).ptr);
        case VT_I4:
            return std::string(buf, std::to_chars(buf, buf + sizeof buf, data_.i4).ptr);
        case VT_UI1:
            return std::string(buf, std::to_chars(buf, buf + sizeof buf, data_.ui1).ptr);
        case VT_UI2:
            return std::string(buf, std::to_chars(buf, buf + sizeof buf, data_.ui2).ptr);
        case VT_UI4:
            return std::string(buf, std::to_chars(buf, buf + sizeof buf, data_.ui4).ptr);
        case VT_I8:
            return std::string(buf, std::to_chars(buf, buf + sizeof buf, data_.i8).ptr);
        case VT_UI8:
            return std::string(buf, std::to_chars(buf, buf + sizeof buf, data_.ui8).ptr);
        case VT_R4:
            return scientific(data_.r4, 6);
        case VT_R8:
            return scientific(data_.r8, 15);
        case VT_CY: {
            std::string s;
            if (!ole_succeeded(ole_cy_to_str(data_.cy, &s)))
                return std::string();
            commas_to_points(&s);
            return s;
        }
        case VT_DECIMAL: {
            std::string s;
            if (!ole_succeeded(ole_dec_to_str(data_.dec, &s)))
                return std::string();
            commas_to_points(&s);
            return s;
        }
        case VT_DATE:
            return ole_date(data_.date.st).to_string();
        case VT_BSTR:
            return tk::utf16_to_utf8(str_);
        case VT_BOOL:
            return data_.boolean == -1 ? "1" : "0";
        case VT_BYTE_ARRAY: {
            if (bytes_.empty())
                return std::string();
            static const char kHex[] = "0123456789ABCDEF";
            const size_t n = bytes_.size() < kMaxShownBytes ? bytes_.size() : kMaxShownBytes;
            std::string s(2 + 2 * n, '0');
            s[1] = 'x';
            for (size_t i = 0; i < n; ++i) {
                s[2 + 2 * i] = kHex[bytes_[i] >> 4];
                s[3 + 2 * i] = kHex[bytes_[i] & 15];
            }
            return s;
        }
        default:
            return std::string();
    }
}

std::u16string ole_variant::to_wstring() const {
    if (vt_ == VT_BSTR)
        return str_;
    return tk::utf8_to_utf16(to_string());
}

ole_variant ole_variant::from_wstring(std::u16string_view text, uint16_t kind) {
    if (kind == VT_BSTR)
        return ole_variant(text);
    return from_string(tk::utf16_to_utf8(text), kind);
}

ole_variant ole_variant::from_string(std::string_view text, uint16_t kind) {
    if (TK_LOG_ACTIVE()) {
        std::string t(text);
        tk_trace_impl(1, "ole_variant::from_string('%s', 0x%08X)", t.c_str(),
                      static_cast<unsigned>(kind));
    }
    ole_variant v;
    if (text.empty() && kind != VT_BSTR)
        return v;
    switch (kind) {
        case VT_I2:
            v.vt_ = VT_I2, v.data_.i2 = static_cast<int16_t>(read_atoi(text));
            return v;
        case VT_I4:
            v.vt_ = VT_I4, v.data_.i4 = read_atoi(text);
            return v;
        case VT_I1:
            v.vt_ = VT_I1, v.data_.i1 = static_cast<int8_t>(read_atoi(text));
            return v;
        case VT_UI1:
            v.vt_ = VT_UI1, v.data_.ui1 = static_cast<uint8_t>(read_atoi(text));
            return v;
        case VT_UI2:
            v.vt_ = VT_UI2, v.data_.ui2 = static_cast<uint16_t>(read_atoi(text));
            return v;
        case VT_UI4:
            v.vt_ = VT_UI4, v.data_.ui4 = static_cast<uint32_t>(read_scanf_integer(text));
            return v;
        case VT_I8:
            v.vt_ = VT_I8, v.data_.i8 = static_cast<int64_t>(read_scanf_integer(text));
            return v;
        case VT_UI8:
            v.vt_ = VT_UI8, v.data_.ui8 = read_scanf_integer(text);
            return v;
        case VT_R4:
        case VT_R8: {
            std::string t(text);
            commas_to_points(&t);
            const double d = read_atof(t);
            if (kind == VT_R4) {
                v.vt_ = VT_R4, v.data_.r4 = static_cast<float>(d);
            } else {
                v.vt_ = VT_R8, v.data_.r8 = d;
            }
            return v;
        }
        case VT_CY: {
            tk_trace(1, "GOT VT_CY");
            std::string t(text);
            commas_to_points(&t);
            CY cy;
            ole_hresult hr = ole_cy_from_str(t, OLE_LCID_EN_US, &cy);
            if (!ole_succeeded(hr)) {
                tk_trace(3, "VarCyFromStr failed: %08X", static_cast<unsigned>(hr));
                return v;
            }
            return ole_variant(cy);
        }
        case VT_DECIMAL: {
            tk_trace(1, "GOT VT_DECIMAL");
            std::string t(text);
            commas_to_points(&t);
            DECIMAL dec;
            ole_hresult hr = ole_dec_from_str(t, OLE_LCID_EN_US, &dec);
            if (!ole_succeeded(hr)) {
                tk_trace(3, "VarDecFromStr failed: %08X", static_cast<unsigned>(hr));
                return v;
            }
            return ole_variant(dec);
        }
        case VT_DATE: {
            tk_trace(1, "GOT VT_DATE");
            ole_date date(text);
            if (date.kind() == ole_date::k_invalid)
                return v;
            return ole_variant(date.value());
        }
        case VT_BOOL: {
            bool b;
            if (equals_ignoring_case(text, "yes") || equals_ignoring_case(text, "true")) {
                b = true;
            } else if (equals_ignoring_case(text, "no") || equals_ignoring_case(text, "false")) {
                b = false;
            } else {
                b = read_atoi(text) != 0;
            }
            return ole_variant(b);
        }
        case VT_BLOB:
        case VT_BYTE_ARRAY: {
            if (text.size() % 2 != 0) {
                tk_trace(2, "Incorrect BLOB (size is odd)");
                return v;
            }
            tk_trace(1, "Got BLOB size: %d", static_cast<int>(text.size()));
            std::string_view hex = text;
            if (hex.size() >= 2 && hex[0] == '0' && (hex[1] == 'x' || hex[1] == 'X')) {
                hex.remove_prefix(2);
            }
            v.allocate_safe_array(hex.size() / 2);
            for (size_t i = 0; i < hex.size() / 2; ++i) {
                v.bytes_[i] =
                    static_cast<uint8_t>(hex_value(hex[2 * i]) << 4 | hex_value(hex[2 * i + 1]));
            }
            return v;
        }
        case VT_BSTR:
            v.attach_string(text);
            return v;
        default: {
            v.attach_string(text);
            ole_variant out;
            if (!ole_succeeded(v.automation_convert(kind, out)))
                throw ole_type_exception();
            tk_trace(1, "VariantChangeType succeeded");
            return out;
        }
    }
}
