// Version probe of a shared library through its exported "DllGetVersion".
#pragma once

#include <cstdint>

// The layout DllGetVersion fills: 20 bytes, size field first.
struct tk_dll_version_info {
    uint32_t size;  // set to 20 by the caller
    uint32_t major;
    uint32_t minor;
    uint32_t build;
    uint32_t platform;
};
static_assert(sizeof(tk_dll_version_info) == 20);

// The exported function's type: a result below 0 is a failure.
using tk_dll_get_version_fn = int32_t (*)(tk_dll_version_info*);

// Loads `library` (a path, or a name the loader searches for), calls its
// "DllGetVersion" and returns major * 65536 + minor. 0 when the library
// cannot be loaded, has no such export, or the call fails. The library is
// always unloaded again.
uint32_t get_dll_version(const char* library);
