// Oracle types of SQLite columns.
//
// A column whose declared type names an Oracle type (or a common SQL type
// with an obvious Oracle counterpart) is described as that type. Columns
// without a declared type (expressions in a select list, untyped table
// columns) and declared types with no counterpart ("TEXT", "JSON") are typed
// by their values: see `ocl_scan`.
#pragma once

#include <cstddef>

#include "oci/tsl_oci.h"

struct ocl_type {
    ub2 code = SQLT_CHR;            // describe code (OCI_ATTR_DATA_TYPE)
    ub2 size = 4000;                // OCI_ATTR_DATA_SIZE, in bytes
    sb2 precision = 0;              // OCI_ATTR_PRECISION
    sb1 scale = 0;                  // OCI_ATTR_SCALE (-127: floating, no scale)
    ub1 form = SQLCS_IMPLICIT;      // charset form; 0 for non-character types
    ub2 char_size = 4000;           // size in characters (character types)
    bool char_used = false;         // declared with CHAR length semantics: (n CHAR)
    sb1 lead = 2;                   // intervals: leading field digits
    sb1 frac = 6;                   // intervals: fraction digits
    const char* name = "VARCHAR2";  // DATA_TYPE as the dictionary shows it (static text)
};

// The type a declaration names. Returns false, leaving `out` untouched, when
// `decl` is null, empty, or names no known type: the column is then typed by
// its values.
bool ocl_type_from_decl(const char* decl, ocl_type* out);

// The value scan of an untyped column: add every fetched value's SQLite
// storage class and size, then ask for the type.
//   no value but NULLs        -> VARCHAR2(4000)
//   every value numeric       -> NUMBER
//   every value a blob        -> BLOB
//   otherwise                 -> VARCHAR2(4000), or CLOB when a value is longer
//                                than 4000 characters
struct ocl_scan {
    bool any = false;
    bool all_numeric = true;
    bool all_blob = true;
    size_t max_chars = 0;  // longest value as text (UTF-16 units; blobs as hex)
    void add(int sqlite_type, size_t chars);
    ocl_type result() const;
};

// VARCHAR2(n) / NUMBER shapes used by the dictionary and the scan.
ocl_type ocl_type_varchar2(ub2 chars);
ocl_type ocl_type_number();
