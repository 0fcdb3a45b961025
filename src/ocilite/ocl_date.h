// Dates and timestamps as the provider keeps them: SQLite text
// 'YYYY-MM-DD HH:MM:SS[.fff]' (a 'T' may stand for the blank; the time, its
// seconds and the fraction may be left out; a trailing time zone 'Z',
// '+HH:MM' or '-HHMM' is accepted and ignored). A year may carry a minus sign
// for years before the Christian era ('-0044-03-15'); the year 0000 is
// accepted as well and encodes as century and year bytes 100, 100.
#pragma once

#include <cstddef>

struct ocl_datetime {
    int year = 0;  // negative before the Christian era
    int month = 1;
    int day = 1;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int nanos = 0;
};

// Parses the text; returns 0, or the Oracle error number of what is wrong
// (1861 shape, 1843 month, 1847 day, 1850 hour, 1851 minute, 1852 second,
// 1841 year out of range -4712..9999).
int ocl_date_parse(const char* s, size_t n, ocl_datetime* out);

// The 7-byte DATE layout: century + 100, year of century + 100, month, day,
// hour + 1, minute + 1, second + 1 (before the Christian era the century and
// year bytes count down from 100).
void ocl_date_encode(const ocl_datetime& d, unsigned char out[7]);
