// Helpers shared by the value tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>

#include "OLE/ole_types.h"
#include "OLE/ole_var.h"
#include "TK/tk_excep.h"

inline SYSTEMTIME make_st(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0) {
    SYSTEMTIME t{};
    t.wYear = static_cast<uint16_t>(y);
    t.wMonth = static_cast<uint16_t>(mo);
    t.wDay = static_cast<uint16_t>(d);
    t.wHour = static_cast<uint16_t>(h);
    t.wMinute = static_cast<uint16_t>(mi);
    t.wSecond = static_cast<uint16_t>(s);
    t.wMilliseconds = static_cast<uint16_t>(ms);
    return t;
}

// Runs `f` and checks that it raises the internal assertion whose encoded
// position is `hex` (the source and line written as lower-case hex codes).
template <class F>
void expect_assertion(F&& f, const char* hex) {
    try {
        f();
        ADD_FAILURE() << "no internal assertion raised";
    } catch (const tk_mail_assertion& e) {
        EXPECT_EQ(std::string(e.what()), std::string("Internal error: \ncode=") + hex);
        EXPECT_EQ(e.code(), 2);
    }
}

// "ole_var\" as hex codes; the line's digits follow (4 = 34, 7 = 37, ...).
#define OLE_VAR_HEX "6f6c655f7661725c"

// Readable failure output: the kind and the text form.
inline void PrintTo(const ole_variant& v, std::ostream* os) {
    *os << "ole_variant(vt=" << v.get_type() << ", \"" << v.to_string() << "\")";
}
inline void PrintTo(const SYSTEMTIME& t, std::ostream* os) {
    *os << t.wYear << '-' << t.wMonth << '-' << t.wDay << ' ' << t.wHour << ':' << t.wMinute << ':'
        << t.wSecond << '.' << t.wMilliseconds << " dow " << t.wDayOfWeek;
}
