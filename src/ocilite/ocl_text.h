// Text helpers of the provider: UTF-8 (how SQLite keeps text) to and from
// UTF-16 (what an OCI_UTF16 environment exchanges), written into callers'
// buffers without allocating. Malformed UTF-8 decodes as U+FFFD, one byte at
// a time, so damaged text never stops a fetch (values: see ocl_put_text).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Decodes the character at s[0..n), n > 0; returns the bytes it takes.
size_t ocl_utf8_next(const unsigned char* s, size_t n, char32_t* cp);

// Encodes `cp` as UTF-8 into `out` (room for 4 bytes); returns the length.
size_t ocl_utf8_put(char32_t cp, unsigned char* out);

// UTF-16 units of the UTF-8 text.
size_t ocl_utf16_units(const unsigned char* s, size_t n);

// Conversions of whole strings (for names and statements, not per value).
std::string ocl_utf16_to_utf8(const unsigned char* bytes, size_t units);  // unaligned input
std::u16string ocl_utf8_to_utf16(std::string_view s);

// Writes the UTF-8 text s[0..n) into buf[0..cap) as UTF-16 (native byte
// order) or as UTF-8, never splitting a character. Returns the bytes written;
// `full` receives the bytes the whole text needs. No terminator is written.
// With `keep_bytes`, a text that is not well-formed UTF-8 keeps its bytes:
// in UTF-8 they are copied as they are; in UTF-16 every byte becomes one
// unit, ASCII as itself and any other byte b as 0xDC00 + b (a lone low
// surrogate, which no text holds), so the reader can take the bytes back.
size_t ocl_put_text(const unsigned char* s, size_t n, bool utf16, unsigned char* buf, size_t cap,
                    size_t* full, bool keep_bytes = false);

// The same for bytes shown as upper-case hexadecimal text (RAW to text).
size_t ocl_put_hex(const unsigned char* s, size_t n, bool utf16, unsigned char* buf, size_t cap,
                   size_t* full);

// ASCII letters to upper case; other bytes unchanged (SQLite's own rule for
// matching names, so upper-cased names still find their objects).
std::string ocl_ascii_upper(std::string_view s);
bool ocl_ascii_iequal(std::string_view a, std::string_view b);
