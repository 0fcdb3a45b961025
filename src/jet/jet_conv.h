// From a value to the cell that holds it: the column type decides the cell
// kind (a value of another kind is converted as the database engine would),
// numbers are checked against the type's range, dates become serial numbers
// of the 1900 date system, texts are checked against the cell's capacity.
// Everything here either fills a plan or throws, so a row is checked
// completely before any of its cells is written.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "jet/jet_value.h"

struct jet_cell_plan {
    enum class form : uint8_t { none, number, text, boolean };
    form f = form::none;
    bool date = false;          // number shown with a date format
    bool has_time = false;      // ... and with the time of day
    bool has_fraction = false;  // ... and with a fraction of its second
    bool boolean = false;
    double number = 0;
    std::u16string_view text;
};

// Plans the cell of `v` in a column of field type `type`. `biff8` selects
// the text capacity (32,767 UTF-16 units, else 255 characters). `scratch`
// holds a text made by conversion and must live as long as the plan.
// Throws jet_error 3349 (value out of range, date before 1900), 3047 (text
// too long) or 3421 (no conversion), each carrying `field`.
void jet_plan_cell(const jet_value& v, int type, bool biff8, std::u16string& scratch,
                   jet_cell_plan& out, int field);

// RK form of `v` when it holds `v` exactly (every bit, sign of zero too).
bool jet_rk_encode(double v, uint32_t& rk);
double jet_rk_decode(uint32_t rk);

// Serial number of a date in the 1900 date system (1 = 1900-01-01, with the
// phantom 1900-02-29 as 60). False for an invalid date, one before
// 1900-01-01 or after 9999-12-31.
bool jet_date_serial(int y, int mo, int d, int h, int mi, int s, double& serial);
// The date of a serial number (inverse of jet_date_serial, to the second).
void jet_serial_date(double serial, int& y, int& mo, int& d, int& h, int& mi, int& s);

// Characters a BIFF5 text occupies (a surrogate pair is one character).
size_t jet_biff5_length(std::u16string_view s);
