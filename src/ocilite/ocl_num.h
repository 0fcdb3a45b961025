// Numbers as the server converts them to and from text.
//
// Formatting follows the server's default conversion of a NUMBER to text
// (the "TM9" shape): the shortest decimal that reads back as the same value,
// no exponent unless the plain form would pass 64 characters, no leading
// zero before the decimal point (0.5 is ".5", -0.5 is "-.5").
#pragma once

#include <cstddef>

// Room a formatted number needs, terminator included.
constexpr size_t ocl_num_max = 80;

// Formats an integer / a double into `out` (ocl_num_max bytes, terminated);
// returns the length. Infinities come out as "~" and "-~", as the server
// shows them.
size_t ocl_num_format_int(long long v, char* out);
size_t ocl_num_format_real(double v, char* out);

// Reads number text: optional blanks, sign, digits with an optional point,
// optional exponent, optional blanks. False when the text is not a number.
// `is_int` and `iv` tell an integer literal that fits 64 bits (exact).
bool ocl_num_parse(const char* s, size_t n, double* v, bool* is_int, long long* iv);
