#include "ocilite/ocl_date.h"

namespace {

// Reads exactly `count` digits at s[*i]; false when they are not there.
bool digits(const char* s, size_t n, size_t* i, int count, int* value) {
    if (*i + static_cast<size_t>(count) > n) {
        return false;
    }
    int v = 0;
    for (int k = 0; k < count; ++k) {
        char c = s[*i + static_cast<size_t>(k)];
        if (c < '0' || c > '9') {
            return false;
        }
        v = v * 10 + (c - '0');
    }
    *i += static_cast<size_t>(count);
    *value = v;
    return true;
}

bool leap(int year) {
    // The server counts in the Julian calendar before 1583 (every fourth
    // year is a leap year) and in the Gregorian one after.
    int y = year < 0 ? -year : year;
    if (year < 1583) {
        return y % 4 == 0;
    }
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int days_in_month(int year, int month) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && leap(year) ? 29 : days[month - 1];
}

bool skip_zone(const char* s, size_t n, size_t* i) {
    // 'Z', or +HH[:]MM / -HH[:]MM, possibly after one blank
    size_t j = *i;
    if (j < n && s[j] == ' ') {
        ++j;
    }
    if (j < n && s[j] == 'Z') {
        *i = j + 1;
        return true;
    }
    if (j < n && (s[j] == '+' || s[j] == '-')) {
        ++j;
        int h;
        int m;
        if (!digits(s, n, &j, 2, &h)) {
            return false;
        }
        if (j < n && s[j] == ':') {
            ++j;
        }
        if (!digits(s, n, &j, 2, &m)) {
            return false;
        }
        *i = j;
        return true;
    }
    return false;
}

}  // namespace

int ocl_date_parse(const char* s, size_t n, ocl_datetime* out) {
    constexpr int shape = 1861;
    size_t b = 0;
    while (b < n && s[b] == ' ') {
        ++b;
    }
    while (n > b && s[n - 1] == ' ') {
        --n;
    }
    size_t i = b;
    ocl_datetime d;
    bool bce = false;
    if (i < n && s[i] == '-') {
        bce = true;
        ++i;
    }
    if (!digits(s, n, &i, 4, &d.year) || i >= n || s[i] != '-') {
        return shape;
    }
    ++i;
    if (!digits(s, n, &i, 2, &d.month) || i >= n || s[i] != '-') {
        return shape;
    }
    ++i;
    if (!digits(s, n, &i, 2, &d.day)) {
        return shape;
    }
    if (i < n && (s[i] == ' ' || s[i] == 'T') && i + 1 < n && s[i + 1] >= '0' && s[i + 1] <= '9') {
        ++i;
        if (!digits(s, n, &i, 2, &d.hour) || i >= n || s[i] != ':') {
            return shape;
        }
        ++i;
        if (!digits(s, n, &i, 2, &d.minute)) {
            return shape;
        }
        if (i < n && s[i] == ':') {
            ++i;
            if (!digits(s, n, &i, 2, &d.second)) {
                return shape;
            }
            if (i < n && s[i] == '.') {
                ++i;
                int scale = 100000000;
                size_t start = i;
                while (i < n && s[i] >= '0' && s[i] <= '9') {
                    d.nanos += (s[i] - '0') * scale;
                    scale /= 10;
                    ++i;
                }
                if (i == start) {
                    return shape;
                }
            }
        }
    }
    if (i < n && !skip_zone(s, n, &i)) {
        return shape;
    }
    if (i != n) {
        return shape;
    }
    if (bce) {
        d.year = -d.year;
    }
    if (d.year < -4712) {
        return 1841;
    }
    if (d.month < 1 || d.month > 12) {
        return 1843;
    }
    if (d.day < 1 || d.day > days_in_month(d.year, d.month)) {
        return 1847;
    }
    if (d.hour > 23) {
        return 1850;
    }
    if (d.minute > 59) {
        return 1851;
    }
    if (d.second > 59) {
        return 1852;
    }
    *out = d;
    return 0;
}

void ocl_date_encode(const ocl_datetime& d, unsigned char out[7]) {
    if (d.year >= 0) {
        out[0] = static_cast<unsigned char>(d.year / 100 + 100);
        out[1] = static_cast<unsigned char>(d.year % 100 + 100);
    } else {
        int y = -d.year;
        out[0] = static_cast<unsigned char>(100 - y / 100);
        out[1] = static_cast<unsigned char>(100 - y % 100);
    }
    out[2] = static_cast<unsigned char>(d.month);
    out[3] = static_cast<unsigned char>(d.day);
    out[4] = static_cast<unsigned char>(d.hour + 1);
    out[5] = static_cast<unsigned char>(d.minute + 1);
    out[6] = static_cast<unsigned char>(d.second + 1);
}
