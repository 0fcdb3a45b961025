// Automation date numbers: days since 1899-12-30 00:00 with the time of day
// as the fraction. Before the epoch the whole part counts days backwards
// while the fraction still adds the time of day: 1899-12-29 06:00 is -1.25.
// Years 100 to 9999 are representable.
#pragma once

#include <cstdint>

#include "OLE/ole_types.h"

// Days from 1899-12-30 to the given proleptic Gregorian date (the month
// 1..12, the day may run past the month's end and carries over).
int64_t ole_days_from_epoch(int year, int month, int day);

// Broken-down date and time to a date number. Fails (false) for a year
// outside 100..9999, a month outside 1..12, a day outside 1..31; time
// fields beyond their range carry into the next unit (24:00 is the next
// day). Milliseconds are ignored. *out is untouched on failure.
bool ole_systemtime_to_variant_time(const SYSTEMTIME& st, double* out);

// Date number to broken-down date and time, rounded to the nearest second
// (milliseconds 0, day of week filled in). Fails outside 0100-01-01 ..
// 9999-12-31 23:59:59 and for NaN.
bool ole_variant_time_to_systemtime(double number, SYSTEMTIME* out);
