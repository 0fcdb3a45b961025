// A shared library exporting DllGetVersion, for the version probe's tests.
// Built twice: TK_PROBE_FAIL makes the call report failure.
#include <cstdint>

#include "TK/tk_dllv.h"

extern "C" __attribute__((visibility("default"))) int32_t DllGetVersion(tk_dll_version_info* info) {
#ifdef TK_PROBE_FAIL
    (void)info;
    return static_cast<int32_t>(0x80004005u);  // E_FAIL
#else
    if (!info || info->size != 20)
        return static_cast<int32_t>(0x80070057u);  // E_INVALIDARG
    info->major = 5;
    info->minor = 82;
    info->build = 3790;
    info->platform = 1;
    return 0;
#endif
}
