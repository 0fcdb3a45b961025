// Server emulation of the embedded provider: the knobs that make it behave
// as an Oracle server and client do where a plain SQLite source would hide
// a fault of the caller, and the network cost of the calls that a real
// client sends to the server.
//
// Everything is switched on by the environment of the process, read at each
// logon (so a test may change it between logons) and kept with the
// connection:
//   TSL_OCILITE_EMULATE=server        the server behaviours (ocl_emul::server)
//   TSL_OCILITE_DB_CHARSET=WE8...     with server: a single-byte database
//                                     character set (see latin1_db)
//   NLS_NUMERIC_CHARACTERS=",."       with server: the decimal character of
//                                     numbers converted to text
//   TSL_OCILITE_ROUNDTRIP_MS=N        N ms of sleep per round trip
//   TSL_OCILITE_ROUNDTRIP_REPORT=FILE the logon's round-trip count is
//                                     appended to FILE at logoff
// The round trips are counted whether or not a delay is asked for.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "oci/tsl_oci.h"

struct ocl_emul {
    bool server = false;
    // The database character set is a single-byte Western one (WE8...,
    // US7ASCII...): text of the database character set (form 1) holds only
    // Latin-1, and text of the national one reaches the caller intact only
    // through a define or LOB read that asks for SQLCS_NCHAR.
    bool latin1_db = false;
    char decimal = '.';  // NLS_NUMERIC_CHARACTERS' decimal character
    unsigned roundtrip_ms = 0;
    std::string report;  // TSL_OCILITE_ROUNDTRIP_REPORT
};

// The knobs as the process environment sets them now.
ocl_emul ocl_emul_from_env();
// True when TSL_OCILITE_EMULATE asks for the server behaviours.
bool ocl_emul_server_now();

// One round trip to the server: counted on the environment (and on the
// logon's counter when given), then the configured sleep.
struct ocl_conn;
void ocl_roundtrip(OCIEnv* env, ocl_conn* conn);

// UTF-8 text as a single-byte database keeps it: every character above
// U+00FF becomes '?'. Returns false (out untouched) when nothing changes.
bool ocl_emul_latin1(std::string_view text, std::string& out);

// A number text of the server's default conversion as the emulated session
// shows it: the decimal character, and "1.0E+100" rather than "1E+100" for
// the exponent form. Works in place on `text` (room for ocl_num_max bytes);
// returns the new length.
size_t ocl_emul_number(const ocl_emul& e, char* text, size_t n);

// An interval value stored as text ("1 2:3:4.5", "+01 02:03:04", "1-2") in
// the server's form: "+01 02:03:04.500000" (day digits `lead`, fraction
// digits `frac`) or "+01-02" (year digits `lead`). Returns false, leaving
// `out` untouched, when the text is no interval.
bool ocl_emul_interval(std::string_view text, bool day_to_second, int lead, int frac,
                       std::string& out);
