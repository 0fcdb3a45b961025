// The automation value kinds and the plain data types that travel inside an
// ole_variant: the broken-down date (SYSTEMTIME), the currency (CY) and the
// 96-bit scaled decimal (DECIMAL). The numbers and layouts are those of OLE
// Automation, so texts, traces and binary images keep their familiar form.
#pragma once

#include <cstdint>

// Value kinds (the automation type numbers).
constexpr uint16_t VT_EMPTY = 0;
constexpr uint16_t VT_NULL = 1;
constexpr uint16_t VT_I2 = 2;
constexpr uint16_t VT_I4 = 3;
constexpr uint16_t VT_R4 = 4;
constexpr uint16_t VT_R8 = 5;
constexpr uint16_t VT_CY = 6;
constexpr uint16_t VT_DATE = 7;
constexpr uint16_t VT_BSTR = 8;
constexpr uint16_t VT_ERROR = 10;
constexpr uint16_t VT_BOOL = 11;
constexpr uint16_t VT_VARIANT = 12;
constexpr uint16_t VT_DECIMAL = 14;
constexpr uint16_t VT_I1 = 16;
constexpr uint16_t VT_UI1 = 17;
constexpr uint16_t VT_UI2 = 18;
constexpr uint16_t VT_UI4 = 19;
constexpr uint16_t VT_I8 = 20;
constexpr uint16_t VT_UI8 = 21;
constexpr uint16_t VT_INT = 22;
constexpr uint16_t VT_UINT = 23;
constexpr uint16_t VT_CARRAY = 27;
constexpr uint16_t VT_LPSTR = 30;
constexpr uint16_t VT_LPWSTR = 31;
constexpr uint16_t VT_BLOB = 65;
constexpr uint16_t VT_BLOB_OBJECT = 70;
constexpr uint16_t VT_ARRAY = 0x2000;
// The one binary kind this system creates: a one-dimensional byte array
// with lower bound 0.
constexpr uint16_t VT_BYTE_ARRAY = VT_ARRAY | VT_UI1;

// True for the kinds that carry raw bytes (VT_BLOB, VT_BLOB_OBJECT,
// VT_ARRAY|VT_UI1).
constexpr bool ole_is_binary_kind(uint16_t vt) {
    return vt == VT_BLOB || vt == VT_BLOB_OBJECT || vt == VT_BYTE_ARRAY;
}

// Broken-down local date and time, 16 bits per field, in this order.
// The day of the week is carried but never relied upon.
struct SYSTEMTIME {
    uint16_t wYear;
    uint16_t wMonth;
    uint16_t wDayOfWeek;
    uint16_t wDay;
    uint16_t wHour;
    uint16_t wMinute;
    uint16_t wSecond;
    uint16_t wMilliseconds;
};
using ole_systemtime = SYSTEMTIME;
static_assert(sizeof(SYSTEMTIME) == 16);

inline bool operator==(const SYSTEMTIME& a, const SYSTEMTIME& b) {
    return a.wYear == b.wYear && a.wMonth == b.wMonth && a.wDayOfWeek == b.wDayOfWeek &&
           a.wDay == b.wDay && a.wHour == b.wHour && a.wMinute == b.wMinute &&
           a.wSecond == b.wSecond && a.wMilliseconds == b.wMilliseconds;
}

// Currency: a signed 64-bit count of ten-thousandths (1.5 is 15000).
struct CY {
    int64_t int64;
};
constexpr int64_t OLE_CY_SCALE = 10000;
inline bool operator==(const CY& a, const CY& b) {
    return a.int64 == b.int64;
}

// Scaled decimal: value = (-1 if sign has DECIMAL_NEG) * mantissa / 10^scale,
// mantissa = Hi32:Lo64 (96 bits), scale 0..28. wReserved is unused by the
// value; inside an ole_variant it shares its place with the kind.
struct DECIMAL {
    uint16_t wReserved;
    uint8_t scale;
    uint8_t sign;
    uint32_t Hi32;
    uint64_t Lo64;
};
static_assert(sizeof(DECIMAL) == 16);
constexpr uint8_t DECIMAL_NEG = 0x80;
constexpr uint8_t DECIMAL_MAX_SCALE = 28;

// Automation result codes, as the conversion helpers return them and the
// traces print them ("%08X").
// Prefixed so they cannot clash with other layers' own result types.
using ole_hresult = int32_t;
constexpr ole_hresult OLE_S_OK = 0;
constexpr ole_hresult OLE_DISP_E_TYPEMISMATCH = static_cast<ole_hresult>(0x80020005u);
constexpr ole_hresult OLE_DISP_E_BADVARTYPE = static_cast<ole_hresult>(0x80020008u);
constexpr ole_hresult OLE_DISP_E_OVERFLOW = static_cast<ole_hresult>(0x8002000Au);
constexpr ole_hresult OLE_E_INVALIDARG = static_cast<ole_hresult>(0x80070057u);
inline bool ole_succeeded(ole_hresult hr) {
    return hr >= 0;
}

// Locale identifiers the conversions accept; only the English (United
// States) rules are implemented (see ole_misc.h).
using ole_lcid = uint32_t;
constexpr ole_lcid OLE_LCID_EN_US = 1033;
