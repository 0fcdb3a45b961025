#include "TK/tk_dllv.h"

#include <dlfcn.h>

#include "TK/tk_log.h"

uint32_t get_dll_version(const char* library) {
    tk_trace(1, "get_dll_version(%s)", library ? library : "");
    void* lib = library && *library ? dlopen(library, RTLD_NOW | RTLD_LOCAL) : nullptr;
    if (!lib) {
        tk_trace(1, "get_dll_version failed to load DLL");
        return 0;
    }
    uint32_t version = 0;
    auto fn = reinterpret_cast<tk_dll_get_version_fn>(dlsym(lib, "DllGetVersion"));
    if (!fn) {
        tk_trace(1, "get_dll_version failed to obtain DllGetVersion");
    } else {
        tk_dll_version_info info{};
        info.size = sizeof info;
        if (fn(&info) >= 0)
            version = (info.major << 16) + info.minor;
    }
    dlclose(lib);
    return version;
}
