// Automation date numbers <-> broken-down date and time.
#include "OLE/ole_dnum.h"

#include <cmath>

namespace {

// Days between 1970-01-01 and the epoch 1899-12-30.
constexpr int64_t kEpochFrom1970 = 25569;
constexpr int64_t kSecondsPerDay = 86400;

// Days since 1970-01-01 of a proleptic Gregorian date (era arithmetic:
// 400-year cycles of 146097 days, years starting in March).
int64_t days_from_civil(int64_t y, int m, int d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void civil_from_days(int64_t z, int64_t* y, int* m, int* d) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    *d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    *m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    *y = yoe + era * 400 + (*m <= 2);
}

}  // namespace

int64_t ole_days_from_epoch(int year, int month, int day) {
    return days_from_civil(year, month, 1) + (day - 1) + kEpochFrom1970;
}

bool ole_systemtime_to_variant_time(const SYSTEMTIME& st, double* out) {
    if (st.wYear < 100 || st.wYear > 9999)
        return false;
    if (st.wMonth < 1 || st.wMonth > 12)
        return false;
    if (st.wDay < 1 || st.wDay > 31)
        return false;
    int64_t days = ole_days_from_epoch(st.wYear, st.wMonth, st.wDay);
    int64_t secs = int64_t{st.wHour} * 3600 + int64_t{st.wMinute} * 60 + st.wSecond;
    days += secs / kSecondsPerDay;
    secs %= kSecondsPerDay;
    const double frac = static_cast<double>(secs) / kSecondsPerDay;
    // Before the epoch the fraction still moves forward in the day.
    *out = days >= 0 ? static_cast<double>(days) + frac : static_cast<double>(days) - frac;
    return true;
}

bool ole_variant_time_to_systemtime(double number, SYSTEMTIME* out) {
    // 0100-01-01 is -657434, 9999-12-31 is 2958465.
    if (!(number > -657435.0 && number < 2958466.0))
        return false;
    int64_t day = static_cast<int64_t>(number);  // toward zero: the calendar day
    double frac = std::fabs(number - static_cast<double>(day));
    int64_t secs = std::llround(frac * kSecondsPerDay);
    if (secs >= kSecondsPerDay) {
        secs -= kSecondsPerDay;
        ++day;
    }
    int64_t y;
    int m, d;
    civil_from_days(day - kEpochFrom1970, &y, &m, &d);
    if (y < 100 || y > 9999)
        return false;
    out->wYear = static_cast<uint16_t>(y);
    out->wMonth = static_cast<uint16_t>(m);
    out->wDay = static_cast<uint16_t>(d);
    // 1899-12-30 was a Saturday (6, Sunday being 0).
    out->wDayOfWeek = static_cast<uint16_t>(((day % 7) + 7 + 6) % 7);
    out->wHour = static_cast<uint16_t>(secs / 3600);
    out->wMinute = static_cast<uint16_t>(secs / 60 % 60);
    out->wSecond = static_cast<uint16_t>(secs % 60);
    out->wMilliseconds = 0;
    return true;
}
