// Define-time conversion: one column value of the current SQLite row into a
// define's buffer, as OCI converts server values into the external type the
// caller asked for. Nothing is allocated per value except a LOB locator's
// copy growing past its largest earlier value.
#pragma once

#include <sqlite3.h>

#include "ocilite/ocl_hand.h"

// The external types a define may ask for.
bool ocl_conv_supported(ub2 dty);

// Converts column `col` (0-based) of the row `st` stands on into row slot
// `row` of define `d`. `param` is the column's description (for the form of
// character LOBs), `utf16` the environment's text encoding.
// Returns 0, or the Oracle error number when the value cannot be converted
// (for 932, inconsistent types, `expected` and `got` name the two types).
// `truncated` is set when the value did not fit (indicator and return code
// then tell the real length and 1406).
int ocl_convert(sqlite3_stmt* st, int col, const OCIDefine& d, ub4 row, const OCIParam* param,
                bool utf16, bool* truncated, const char** expected, const char** got);
