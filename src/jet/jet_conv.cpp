#include "jet/jet_conv.h"

#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "jet/biff_format.h"
#include "jet/jet_error.h"
#include "jet/jet_units.h"

namespace {

// Days since 1970-01-01 of a proleptic Gregorian date.
int64_t days_from_civil(int64_t y, int m, int d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void civil_from_days(int64_t z, int& y, int& m, int& d) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(yoe + era * 400 + (m <= 2));
}

bool leap(int y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int month_days(int y, int m) {
    static const int k[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && leap(y) ? 29 : k[m - 1];
}

const int64_t k_epoch = days_from_civil(1899, 12, 30);
constexpr double k_max_serial = 2958466.0;  // 10000-01-01

jet_error fail(long number, int field) {
    return jet_error::make(number, std::string(), field);
}

// The text as ASCII for number and date parsing; false when it holds
// anything else or is too long to be a number.
bool ascii_trimmed(std::u16string_view s, char* buf, size_t cap) {
    size_t b = 0, e = s.size();
    while (b < e && (s[b] == u' ' || s[b] == u'\t')) ++b;
    while (e > b && (s[e - 1] == u' ' || s[e - 1] == u'\t')) --e;
    if (e - b + 1 > cap || e == b)
        return false;
    for (size_t i = b; i < e; ++i) {
        if (s[i] > 0x7F)
            return false;
        buf[i - b] = static_cast<char>(s[i]);
    }
    buf[e - b] = 0;
    return true;
}

// A decimal number, read the same under every process locale.
bool parse_number(std::u16string_view s, double& v) {
    char buf[64];
    if (!ascii_trimmed(s, buf, sizeof buf))
        return false;
    const char* b = buf[0] == '+' ? buf + 1 : buf;
    const char* e = b + std::strlen(b);
    const std::from_chars_result r = std::from_chars(b, e, v);
    return r.ec == std::errc() && r.ptr == e && std::isfinite(v);
}

// "YYYY-MM-DD", optionally followed by " HH:MM" or " HH:MM:SS".
bool parse_date(std::u16string_view s, double& serial, bool& has_time) {
    char buf[32];
    if (!ascii_trimmed(s, buf, sizeof buf))
        return false;
    int y, mo, d, h = 0, mi = 0, sec = 0, used = 0;
    if (std::sscanf(buf, "%4d-%2d-%2d%n", &y, &mo, &d, &used) != 3)
        return false;
    const char* rest = buf + used;
    if (*rest) {
        int used2 = 0;
        if (std::sscanf(rest, " %2d:%2d:%2d%n", &h, &mi, &sec, &used2) == 3 ||
            (sec = 0, std::sscanf(rest, " %2d:%2d%n", &h, &mi, &used2) == 2)) {
            if (rest[used2])
                return false;
        } else {
            return false;
        }
    }
    has_time = h || mi || sec;
    return jet_date_serial(y, mo, d, h, mi, sec, serial);
}

// "%.15g", with a point under every process locale.
void number_text(double v, std::u16string& out) {
    char buf[40];
    char* e = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 15).ptr;
    out.assign(buf, e);
}

void date_text(const jet_value& v, std::u16string& out) {
    char buf[64];
    int n = std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", v.year, v.month, v.day,
                          v.hour, v.minute, v.second);
    out.assign(buf, buf + n);
}

bool value_serial(const jet_value& v, double& serial) {
    if (v.nanosecond < 0 || v.nanosecond > 999999999 ||
        !jet_date_serial(v.year, v.month, v.day, v.hour, v.minute, v.second, serial))
        return false;
    serial += v.nanosecond / 86400e9;
    return true;
}

// Rounds to the column's number type and checks its range.
double fit_number(double v, int type, int field) {
    if (!std::isfinite(v))
        throw fail(jet_errno::overflow, field);
    double lo = 0, hi = 0;
    switch (type) {
        case jet_byte:
            lo = 0, hi = 255;
            break;
        case jet_integer:
            lo = -32768, hi = 32767;
            break;
        case jet_long:
            lo = -2147483648.0, hi = 2147483647.0;
            break;
        case jet_currency: {
            const double scaled = std::nearbyint(v * 10000.0);
            if (std::fabs(scaled) > 9.2233720368547758e18)
                throw fail(jet_errno::overflow, field);
            return scaled / 10000.0;
        }
        case jet_single:
            if (std::fabs(v) > FLT_MAX)
                throw fail(jet_errno::overflow, field);
            return static_cast<double>(static_cast<float>(v));
        default:
            return v;
    }
    const double r = std::nearbyint(v);  // to nearest, ties to even
    if (r < lo || r > hi)
        throw fail(jet_errno::overflow, field);
    return r;
}

void plan_text(std::u16string_view s, bool biff8, jet_cell_plan& out, int field) {
    const size_t len = biff8 ? s.size() : jet_biff5_length(s);
    if (len > (biff8 ? biff::k_max_string_units : biff::k_max_label_biff5))
        throw fail(jet_errno::record_too_large, field);
    out.f = jet_cell_plan::form::text;
    out.text = s;
}

bool is_text_type(int type) {
    return type == jet_text || type == jet_memo || type == jet_binary || type == jet_long_binary;
}

bool is_number_type(int type) {
    return type == jet_byte || type == jet_integer || type == jet_long || type == jet_currency ||
           type == jet_single || type == jet_double;
}

}  // namespace

size_t jet_biff5_length(std::u16string_view s) {
    size_t n = s.size();
    // Up to the first surrogate every unit is a character (nearly always
    // the whole text).
    for (size_t i = jet_find_surrogate(s.data(), 0, s.size()); i + 1 < s.size(); ++i) {
        if (s[i] >= 0xD800 && s[i] <= 0xDBFF && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
            --n;
            ++i;
        }
    }
    return n;
}

bool jet_date_serial(int y, int mo, int d, int h, int mi, int s, double& serial) {
    if (y < 1900 || y > 9999 || mo < 1 || mo > 12 || d < 1 || d > month_days(y, mo))
        return false;
    if (h < 0 || h > 23 || mi < 0 || mi > 59 || s < 0 || s > 59)
        return false;
    int64_t days = days_from_civil(y, mo, d) - k_epoch;
    // The 1900 system counts a 29 February 1900 that never was: dates
    // before 1 March 1900 are one lower than the day count.
    if (y == 1900 && mo < 3)
        --days;
    serial = static_cast<double>(days) + (h * 3600 + mi * 60 + s) / 86400.0;
    return true;
}

void jet_serial_date(double serial, int& y, int& mo, int& d, int& h, int& mi, int& s) {
    int64_t days = static_cast<int64_t>(std::floor(serial));
    int64_t secs = std::llround((serial - static_cast<double>(days)) * 86400.0);
    if (secs >= 86400) {
        ++days;
        secs -= 86400;
    }
    h = static_cast<int>(secs / 3600);
    mi = static_cast<int>(secs / 60 % 60);
    s = static_cast<int>(secs % 60);
    if (days == 60) {
        y = 1900, mo = 2, d = 29;
        return;
    }
    if (days < 60)
        ++days;
    civil_from_days(days + k_epoch, y, mo, d);
}

bool jet_rk_encode(double v, uint32_t& rk) {
    if (!std::isfinite(v))
        return false;
    // A 30-bit integer (not -0.0, which only the double forms keep).
    if (v >= -536870912.0 && v <= 536870911.0 && v == std::floor(v) &&
        !(v == 0 && std::signbit(v))) {
        rk = static_cast<uint32_t>(static_cast<int32_t>(v)) << 2 | 2;
        return true;
    }
    uint64_t bits;
    std::memcpy(&bits, &v, 8);
    if ((bits & 0x3FFFFFFFFull) == 0) {
        rk = static_cast<uint32_t>(bits >> 32);
        return true;
    }
    const double h = v * 100.0;
    if (h >= -536870912.0 && h <= 536870911.0 && h == std::floor(h)) {
        const uint32_t cand = static_cast<uint32_t>(static_cast<int32_t>(h)) << 2 | 3;
        if (jet_rk_decode(cand) == v) {
            rk = cand;
            return true;
        }
    }
    uint64_t hb;
    std::memcpy(&hb, &h, 8);
    if ((hb & 0x3FFFFFFFFull) == 0) {
        const uint32_t cand = static_cast<uint32_t>(hb >> 32) | 1;
        if (jet_rk_decode(cand) == v) {
            rk = cand;
            return true;
        }
    }
    return false;
}

double jet_rk_decode(uint32_t rk) {
    double v;
    if (rk & 2) {
        v = static_cast<double>(static_cast<int32_t>(rk) >> 2);
    } else {
        uint64_t bits = static_cast<uint64_t>(rk & ~3u) << 32;
        std::memcpy(&v, &bits, 8);
    }
    return (rk & 1) ? v / 100.0 : v;
}

void jet_plan_cell(const jet_value& v, int type, bool biff8, std::u16string& scratch,
                   jet_cell_plan& out, int field) {
    using K = jet_value::kind_t;
    out = jet_cell_plan();
    if (v.kind == K::null)
        return;
    if (v.kind == K::label)
        return plan_text(v.text, biff8, out, field);

    if (is_text_type(type)) {
        switch (v.kind) {
            case K::text:
                return plan_text(v.text, biff8, out, field);
            case K::number:
                if (!std::isfinite(v.number))
                    throw fail(jet_errno::overflow, field);
                number_text(v.number, scratch);
                break;
            case K::boolean:
                scratch = v.boolean ? u"True" : u"False";
                break;
            case K::date:
                date_text(v, scratch);
                break;
            case K::null:
            case K::label:
                return;
        }
        return plan_text(scratch, biff8, out, field);
    }

    if (type == jet_boolean) {
        out.f = jet_cell_plan::form::boolean;
        switch (v.kind) {
            case K::boolean:
                out.boolean = v.boolean;
                return;
            case K::number:
                if (std::isnan(v.number))
                    throw fail(jet_errno::overflow, field);
                out.boolean = v.number != 0;
                return;
            case K::text: {
                char buf[16];
                double d;
                if (ascii_trimmed(v.text, buf, sizeof buf)) {
                    for (char* p = buf; *p; ++p) *p = static_cast<char>(std::tolower(*p));
                    if (!std::strcmp(buf, "true") || !std::strcmp(buf, "yes") ||
                        !std::strcmp(buf, "on")) {
                        out.boolean = true;
                        return;
                    }
                    if (!std::strcmp(buf, "false") || !std::strcmp(buf, "no") ||
                        !std::strcmp(buf, "off")) {
                        out.boolean = false;
                        return;
                    }
                }
                if (parse_number(v.text, d)) {
                    out.boolean = d != 0;
                    return;
                }
                throw fail(jet_errno::conversion, field);
            }
            default:
                throw fail(jet_errno::conversion, field);
        }
    }

    if (type == jet_date) {
        double serial = 0;
        bool has_time = false;
        switch (v.kind) {
            case K::date:
                if (!value_serial(v, serial))
                    throw fail(jet_errno::overflow, field);
                has_time = v.hour || v.minute || v.second || v.nanosecond;
                out.has_fraction = v.nanosecond != 0;
                break;
            case K::number:
                if (!(v.number >= 1.0 && v.number < k_max_serial))
                    throw fail(jet_errno::overflow, field);
                serial = v.number;
                has_time = serial != std::floor(serial);
                break;
            case K::text:
                if (!parse_date(v.text, serial, has_time))
                    throw fail(jet_errno::conversion, field);
                break;
            default:
                throw fail(jet_errno::conversion, field);
        }
        out.f = jet_cell_plan::form::number;
        out.number = serial;
        out.date = true;
        out.has_time = has_time;
        return;
    }

    if (!is_number_type(type))
        throw fail(jet_errno::bad_field_type, field);
    double n = 0;
    switch (v.kind) {
        case K::number:
            n = v.number;
            break;
        case K::boolean:
            n = v.boolean ? -1 : 0;
            break;
        case K::date:
            if (!value_serial(v, n))
                throw fail(jet_errno::overflow, field);
            break;
        case K::text:
            if (!parse_number(v.text, n))
                throw fail(jet_errno::conversion, field);
            break;
        case K::null:
        case K::label:
            return;
    }
    out.f = jet_cell_plan::form::number;
    out.number = fit_number(n, type, field);
}
