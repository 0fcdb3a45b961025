// ole_date: the date/time text cascade, validity, refinement and the
// canonical text.
#include "OLE/ole_date.h"

#include <charconv>
#include <cstdio>
#include <cstring>

#include "TK/tk_excep.h"
#include "TK/tk_log.h"
#include "TK/tk_utf.h"
#include "TK/tk_utils.h"

namespace {

const char* const kDatetimeFormats[] = {
    "%hd-%hd-%hd %hd:%hd:%255s",
    "%hd/%hd/%hd %hd:%hd:%255s",
    "%hd.%hd.%hd %hd:%hd:%255s",
};

// C atof: leading blanks, optional sign, digits, optional fraction and
// exponent; reading stops at the first character that does not fit and no
// number gives 0. Independent of the process's C locale.
double read_double(const char* s) {
    while (*s == ' ' || (*s >= '\t' && *s <= '\r')) ++s;
    const char* b = s;
    if (*s == '+' || *s == '-')
        ++s;
    bool any = false;
    while (*s >= '0' && *s <= '9') ++s, any = true;
    if (*s == '.') {
        ++s;
        while (*s >= '0' && *s <= '9') ++s, any = true;
    }
    if (!any)
        return 0;
    if (*s == 'e' || *s == 'E') {
        const char* e = s + 1;
        if (*e == '+' || *e == '-')
            ++e;
        if (*e >= '0' && *e <= '9') {
            while (*e >= '0' && *e <= '9') ++e;
            s = e;
        }
    }
    if (*b == '+')
        ++b;  // from_chars takes no plus sign
    double v = 0;
    std::from_chars(b, s, v);
    return v;
}

uint16_t word(int v) {
    return static_cast<uint16_t>(v);
}

}  // namespace

ole_date::ole_date(const SYSTEMTIME& value) : omit_midnight_(true), kind_(k_date_time) {
    tk_trace(1, "ole_date::ole_date(SYSTEMTIME)");
    value_ = value;
    refine_type();
}

ole_date::ole_date(std::string_view text) {
    std::string buf(text);
    tk_trace(1, "ole_date::ole_date('%s')", buf.c_str());
    parse(buf);
}

ole_date::ole_date(std::u16string_view text) {
    std::string buf = tk::utf16_to_utf8(text);
    tk_trace(1, "ole_date::ole_date('%s')", buf.c_str());
    parse(buf);
}

void ole_date::clear_value() {
    value_ = SYSTEMTIME{};
}

void ole_date::parse(std::string_view text) {
    clear_value();
    kind_ = k_invalid;
    omit_midnight_ = true;

    std::string buf(text);
    tk_trim(buf);
    tk_trace(1, "After tk_trim: %s", buf.c_str());
    // A trailing AM/PM marker is cut off here and honoured below.
    for (const char* marker : {"AM", "PM", "am", "pm"}) {
        size_t pos = buf.find(marker);
        if (pos != std::string::npos) {
            buf.erase(pos);
            tk_trim(buf);
            break;
        }
    }
    tk_trace(1, "Again buf1=%s", buf.c_str());
    if (buf.size() <= 4) {
        tk_trace(2, "Invalid date/time format: '%s'", buf.c_str());
        return;
    }
    import_from_string(buf.c_str());

    // Day-first texts (05-01-2012) were read as year 5, day 2012.
    if ((kind_ == k_date_time || kind_ == k_date) && value_.wDay > 31 && value_.wYear < 32) {
        std::swap(value_.wDay, value_.wYear);
    }
    const bool pm =
        text.find("PM") != std::string_view::npos || text.find("pm") != std::string_view::npos;
    if (pm && value_.wHour <= 11)
        value_.wHour = word(value_.wHour + 12);
}

void ole_date::import_from_string(const char* text) {
    tk_trace(1, "ole_date::import_from_string");
    if (!text)
        text = "";
    const size_t len = std::strlen(text);

    if (len == 14) {
        tk_trace(1, "Trying timestamp format (1)...");
        int y, mo, d, h, mi, s;
        if (std::sscanf(text, "%4d%02d%02d%02d%02d%02d", &y, &mo, &d, &h, &mi, &s) == 6) {
            value_.wYear = word(y), value_.wMonth = word(mo), value_.wDay = word(d);
            value_.wHour = word(h), value_.wMinute = word(mi), value_.wSecond = word(s);
            kind_ = k_date_time;
            if (is_valid())
                return;
        }
        clear_value();
        kind_ = k_invalid;
    }
    if (len == 8) {
        tk_trace(1, "Trying timestamp format (2)...");
        int y, mo, d;
        if (std::sscanf(text, "%4d%02d%02d", &y, &mo, &d) == 3) {
            value_.wYear = word(y), value_.wMonth = word(mo), value_.wDay = word(d);
            kind_ = k_date;
            if (is_valid())
                return;
        }
        clear_value();
        kind_ = k_invalid;
    }

    char seconds[256] = {};
    {
        tk_trace(1, "Trying pure time format...");
        short h, mi;
        if (std::sscanf(text, "%hd:%hd:%255s", &h, &mi, seconds) == 3) {
            value_.wHour = word(h), value_.wMinute = word(mi);
            kind_ = k_time;
            if (is_valid()) {
                process_milliseconds(seconds);
                return;
            }
        }
        clear_value();
        kind_ = k_invalid;
    }

    // (The platform's locale-aware date parser would be tried here; this
    // system has none and goes on with the fixed formats.)

    short y = 0, mo = 0, d = 0, h = 0, mi = 0;
    for (int f = 0; f < 3; ++f) {
        tk_trace(1, "Trying datetime format #%d", f);
        seconds[0] = 0;
        const int n = std::sscanf(text, kDatetimeFormats[f], &y, &mo, &d, &h, &mi, seconds);
        if (n == 3) {
            tk_trace(1, "Format #%d succeeded (3 items)", f);
            value_.wYear = word(y), value_.wMonth = word(mo), value_.wDay = word(d);
            kind_ = k_date;
            if (is_valid())
                return;
        } else if (n == 6) {
            tk_trace(1, "Format #%d succeeded (6 items)", f);
            value_.wYear = word(y), value_.wMonth = word(mo), value_.wDay = word(d);
            value_.wHour = word(h), value_.wMinute = word(mi);
            kind_ = k_date_time;
            if (is_valid()) {
                process_milliseconds(seconds);
                refine_type();
                return;
            }
        }
    }
    clear_value();
    kind_ = k_invalid;
    tk_trace(2, "Invalid date/time format: '%s'", text);
}

bool ole_date::is_valid() {
    tk_trace(1, "ole_date::is_valid");
    if (kind_ == k_invalid)
        return false;
    const SYSTEMTIME& v = value_;
    if (v.wDay == 0 && v.wMonth == 0 && v.wYear == 0) {
        tk_trace(1, "DATETIME is a pute time");
    } else {
        if (v.wMonth < 1 || v.wMonth > 12) {
            tk_trace(1, "Invalid month");
            return false;
        }
        if (v.wDay == 0 || v.wYear == 0 || (v.wDay > 31 && v.wYear > 31)) {
            tk_trace(1, "Invalid day and/or year");
            return false;
        }
    }
    if (v.wHour > 60 || v.wMinute > 60 || v.wSecond > 60) {
        tk_trace(1, "Invalid time");
        return false;
    }
    return true;
}

void ole_date::refine_type() {
    const SYSTEMTIME& v = value_;
    tk_trace(1, "ole_date::refine_type(%d,%d,%d,%d,%d,%d)", v.wYear, v.wMonth, v.wDay, v.wHour,
             v.wMinute, v.wSecond);
    const bool no_date = v.wDay == 0 && v.wMonth == 0 && v.wYear == 0;
    const bool full_date = v.wDay != 0 && v.wMonth != 0 && v.wYear != 0;
    const bool midnight = v.wHour == 0 && v.wMinute == 0 && v.wSecond == 0;
    if (no_date) {
        kind_ = k_time;
    } else if (midnight && full_date) {
        kind_ = k_date;
    }
}

void ole_date::process_milliseconds(const char* text) {
    tk_trace(1, "ole_date::process_milliseconds");
    if (!text)
        throw tk_mail_assertion("ole_date", 356);
    tk_trace(1, "Got row sec: '%s'", text);
    const double s = read_double(text);
    int second = static_cast<int>(s);
    const int msec = static_cast<int>((s - second) * 1000);
    tk_trace(1, "Got sec: %d", second);
    tk_trace(1, "Got msec: %d", msec);
    value_.wMilliseconds = word(msec);
    if (msec > 499)
        ++second;
    int minute = value_.wMinute;
    int hour = value_.wHour;
    if (second > 59) {
        second -= 60;
        ++minute;
    }
    if (minute > 59) {
        minute -= 60;
        ++hour;
    }
    if (hour > 23)
        hour -= 24;
    value_.wSecond = word(second);
    value_.wMinute = word(minute);
    value_.wHour = word(hour);
    tk_trace(1, "After processing: %02d:%02d:%02d", hour, minute, second);
}

int ole_date::format(char* buf) const {
    const SYSTEMTIME& v = value_;
    switch (kind_) {
        case k_date_time:
            if (omit_midnight_ && v.wHour == 0 && v.wMinute == 0 && v.wSecond == 0) {
                return std::snprintf(buf, 64, "%04d-%02d-%02d", v.wYear, v.wMonth, v.wDay);
            }
            return std::snprintf(buf, 64, "%04d-%02d-%02d %02d:%02d:%02d", v.wYear, v.wMonth,
                                 v.wDay, v.wHour, v.wMinute, v.wSecond);
        case k_date:
            return std::snprintf(buf, 64, "%04d-%02d-%02d", v.wYear, v.wMonth, v.wDay);
        case k_time:
            return std::snprintf(buf, 64, "0000-00-00 %02d:%02d:%02d", v.wHour, v.wMinute,
                                 v.wSecond);
        default:
            buf[0] = 0;
            return 0;
    }
}

std::string ole_date::to_string() const {
    tk_trace(1, "ole_date::to_string");
    char buf[64];
    int n = format(buf);
    return std::string(buf, n > 0 ? static_cast<size_t>(n) : 0);
}

std::u16string ole_date::to_wstring() const {
    tk_trace(1, "ole_date::to_wstring");
    char buf[64];
    int n = format(buf);
    std::u16string out;
    out.reserve(n > 0 ? n : 0);
    for (int i = 0; i < n; ++i) out.push_back(static_cast<char16_t>(buf[i]));
    return out;
}
