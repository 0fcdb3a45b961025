#include "ORA/ora_oci.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <mutex>

#include "TK/tk_log.h"

namespace {

constexpr const char* kClientName = "libclntsh.so";
// Versioned names of the client library, newest first: an Instant Client
// installed without its development package has only these.
constexpr const char* kClientVersions[] = {"23.1", "21.1", "19.1", "18.1", "12.1", "11.1", "10.1"};
constexpr const char* kEmbeddedName = "libtsl_ocilite.so";
// Where an installed tree keeps the embedded provider, relative to the
// programs' folder (the build computes it from the install folders).
#ifndef TSL_PROVIDER_DIR
#define TSL_PROVIDER_DIR "../lib/tessal"
#endif

std::mutex g_mutex;
ora_oci g_tables[2];
bool g_loaded[2] = {false, false};

int slot(ora_provider kind) {
    return kind == ora_provider::client ? 0 : 1;
}

// The folder of the running executable, with its trailing '/'; empty when
// it cannot be told.
std::string exe_folder() {
    char buf[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof(buf) - 1);
    if (n <= 0)
        return {};
    std::string path(buf, static_cast<size_t>(n));
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

void add_client_names(const std::string& prefix, std::vector<std::string>& out) {
    out.push_back(prefix + kClientName);
    for (const char* v : kClientVersions) out.push_back(prefix + kClientName + "." + v);
}

// Loads `path` and resolves every function into `t`; false (with the
// library closed again) when either step fails.
bool try_load(const std::string& path, ora_oci& t) {
    void* lib = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!lib) {
        const char* why = dlerror();
        tk_trace(1, "ora_oci: cannot load %s: %s", path.c_str(), why ? why : "unknown reason");
        return false;
    }
    ora_oci loaded;
    const char* missing = nullptr;
#define ORA_OCI_RESOLVE(f)                                   \
    if (!missing) {                                          \
        loaded.f = reinterpret_cast<f##_fn>(dlsym(lib, #f)); \
        if (!loaded.f)                                       \
            missing = #f;                                    \
    }
    TSL_OCI_FUNCTIONS(ORA_OCI_RESOLVE)
#undef ORA_OCI_RESOLVE
    if (missing) {
        tk_trace(1, "ora_oci: %s does not export %s", path.c_str(), missing);
        dlclose(lib);
        return false;
    }
    loaded.library = lib;
    loaded.path = path;
    t = loaded;
    return true;
}

}  // namespace

ora_provider ora_provider_for(const std::u16string& source) {
    return source.compare(0, 5, u"file:") == 0 ? ora_provider::embedded : ora_provider::client;
}

std::vector<std::string> ora_provider_candidates(ora_provider kind) {
    std::vector<std::string> out;
    if (kind == ora_provider::client) {
        add_client_names("", out);
        const char* home = std::getenv("ORACLE_HOME");
        if (home && *home) {
            std::string prefix(home);
            if (prefix.back() != '/')
                prefix += '/';
            add_client_names(prefix + "lib/", out);
        }
    } else {
        std::string folder = exe_folder();
        if (!folder.empty()) {
            out.push_back(folder + kEmbeddedName);
            out.push_back(folder + TSL_PROVIDER_DIR "/" + kEmbeddedName);
        }
        out.push_back(kEmbeddedName);
    }
    return out;
}

ora_oci* ora_load_provider(ora_provider kind) {
    std::lock_guard<std::mutex> lock(g_mutex);
    const int i = slot(kind);
    if (g_loaded[i])
        return &g_tables[i];
    std::vector<std::string> tried = ora_provider_candidates(kind);
    for (const std::string& path : tried) {
        if (try_load(path, g_tables[i])) {
            g_tables[i].kind = kind;
            g_loaded[i] = true;
            tk_trace(2, "ora_oci: loaded %s", path.c_str());
            return &g_tables[i];
        }
    }
    std::string list;
    for (const std::string& path : tried) {
        if (!list.empty())
            list += ", ";
        list += path;
    }
    tk_trace(2, "ora_oci: no OCI provider could be loaded; tried %s", list.c_str());
    return nullptr;
}
