// The message maps the error handler loads: the system's own texts for DAO
// error numbers (0x10000 + number) and for the date error of the workbook
// driver. The Oracle map (0x100000 + number) is the Oracle engine's
// ora_error_map. Both programs build their handler with the DAO map, then
// add the Oracle and the date map (load_err_maps), in that order.
#pragma once

#include <cstddef>

#include "TK/tk_errco.h"

class error_handler;

// Where users are asked to write about a data type conversion error.
extern const char* const kTslSupportAddress;

extern const tk_error_entry kDaoErrMap[];
extern const size_t kDaoErrMapSize;

extern const tk_error_entry kDateErrMap[];
extern const size_t kDateErrMapSize;

// Adds the Oracle map and then the date map to `handler`.
void load_err_maps(error_handler& handler);
