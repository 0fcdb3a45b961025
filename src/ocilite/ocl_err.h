// Oracle-style errors of the provider.
//
// A failing call records its Oracle error number and text on the error
// handle it was given and returns OCI_ERROR; OCIErrorGet hands them back as
// the client library would: "ORA-00942: table or view does not exist\n"
// (the client's texts end with a line break). SQLite failures are mapped to
// the Oracle error a user of the server would meet for the same mistake.
#pragma once

#include <sqlite3.h>

#include <string>
#include <string_view>

#include "oci/tsl_oci.h"

enum ocl_ora : sb4 {
    ORA_UNIQUE = 1,
    ORA_BUSY = 54,
    ORA_INVALID_SQL = 900,
    ORA_INVALID_IDENTIFIER = 904,
    ORA_ARG_COUNT = 909,
    ORA_INVALID_CHARACTER = 911,
    ORA_AMBIGUOUS_COLUMN = 918,
    ORA_UNEXPECTED_END = 921,
    ORA_INCONSISTENT_TYPES = 932,
    ORA_NOT_ENDED = 933,
    ORA_GROUP_FUNCTION = 934,
    ORA_NO_TABLE = 942,
    ORA_NAME_USED = 955,
    ORA_NULL_PASSWORD = 1005,
    ORA_NOT_IN_SELECT_LIST = 1007,
    ORA_CANCELLED = 1013,
    ORA_LOGON_DENIED = 1017,
    ORA_CANNOT_INSERT_NULL = 1400,
    ORA_FETCHED_NULL = 1405,
    ORA_TRUNCATED = 1406,
    ORA_NUMERIC_OVERFLOW = 1426,
    ORA_INT_OVERFLOW = 1455,
    ORA_INVALID_NUMBER = 1722,
    ORA_YEAR_RANGE = 1841,
    ORA_MONTH = 1843,
    ORA_DAY = 1847,
    ORA_HOUR = 1850,
    ORA_MINUTE = 1851,
    ORA_SECOND = 1852,
    ORA_DATE_FORMAT = 1861,
    ORA_CHECK = 2290,
    ORA_PARENT_KEY = 2291,
    ORA_NOT_CONNECTED = 3114,
    ORA_ACTIVE_OPERATION = 3127,
    ORA_UNSUPPORTED_TYPE = 3115,
    ORA_OUT_OF_MEMORY = 4030,
    ORA_BUFFER_TOO_SMALL = 6502,
    ORA_TNS_RESOLVE = 12154,
    ORA_NO_LISTENER = 12541,
    ORA_INVALID_CHARSET = 12715,
    ORA_READ_ONLY = 16000,
    ORA_PROVIDER = 20000,
    ORA_INVALID_LOCATOR = 22275,
    ORA_ILLEGAL_ATTRIBUTE = 24315,
    ORA_ZERO_ITERATIONS = 24333,
    ORA_NO_DESCRIPTOR = 24334,
    ORA_NOT_EXECUTED = 24338,
    ORA_TRUNCATION_INFO = 24345,
    ORA_LOB_PARAMETER = 24801,
    ORA_ACCOUNT_LOCKED = 28000,
};

// "ORA-nnnnn: text" for an error number; `a1`/`a2` fill the text's
// placeholders (a name, a type), empty when not given.
std::string ocl_error_text(sb4 code, std::string_view a1 = {}, std::string_view a2 = {});

// Records the error on `err` (when not null) and returns OCI_ERROR.
sword ocl_fail(OCIError* err, sb4 code, std::string_view a1 = {}, std::string_view a2 = {});

// Records a warning that goes with OCI_SUCCESS_WITH_INFO.
void ocl_warn(OCIError* err, sb4 code);

// Forgets the previous call's error.
void ocl_clear(OCIError* err);

// The Oracle error for a SQLite failure: result code `rc`, SQLite's message
// `msg` and the statement that failed (to tell a bad first word from a
// later syntax error).
struct ocl_mapped {
    sb4 code;
    std::string text;
};
ocl_mapped ocl_map_sqlite(int rc, const char* msg, std::string_view sql);

// Maps and records the connection's last failure; returns OCI_ERROR.
sword ocl_fail_sqlite(OCIError* err, sqlite3* db, int rc, std::string_view sql);
