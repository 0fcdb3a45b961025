#include "ORA/ora_oci.h"

#include <dlfcn.h>
#include <stdlib.h>

#include <fstream>
#include <sstream>

#include "ORA/ora_engi.h"
#include "TK/tk_log.h"
#include "ora_fixture.h"

using namespace ora_test;

namespace {

// Taken before any test runs: the provider must not be in the process until
// the engine loads it.
const bool g_provider_loaded_at_start = [] {
    void* lib = dlopen(TSL_OCILITE_PATH, RTLD_LAZY | RTLD_NOLOAD);
    if (lib)
        dlclose(lib);
    return lib != nullptr;
}();

bool client_installed() {
    for (const std::string& name : ora_provider_candidates(ora_provider::client)) {
        if (void* lib = dlopen(name.c_str(), RTLD_LAZY | RTLD_LOCAL)) {
            dlclose(lib);
            return true;
        }
    }
    return false;
}

std::string read_file(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

}  // namespace

TEST(OraOci, ProviderIsNotLinkedIntoTheProgram) {
    EXPECT_FALSE(g_provider_loaded_at_start);
}

TEST(OraOci, EmbeddedTableResolvesEveryFunctionOnce) {
    ora_oci* first = ora_load_provider(ora_provider::embedded);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->kind, ora_provider::embedded);
    EXPECT_NE(first->library, nullptr);
#define ORA_OCI_CHECK(f) EXPECT_NE(reinterpret_cast<void*>(first->f), nullptr) << #f;
    TSL_OCI_FUNCTIONS(ORA_OCI_CHECK)
#undef ORA_OCI_CHECK
    EXPECT_EQ(ora_load_provider(ora_provider::embedded), first);
}

// A library named like the client but without the OCI functions: the engine
// gives the missing-client message, and the trace names the files tried and
// the symbol that was missing.
TEST(OraOci, LibraryWithoutTheFunctionsCountsAsMissing) {
    if (client_installed())
        GTEST_SKIP() << "an Oracle client is installed here";
    std::string pattern = (std::filesystem::temp_directory_path() / "ora_home_XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    const std::string home = pattern;
    std::filesystem::create_directories(home + "/lib");
    // Any shared library without OCI will do; the test executable's own
    // SQLite library is one.
    Dl_info info{};
    ASSERT_NE(dladdr(reinterpret_cast<void*>(&sqlite3_libversion), &info), 0);
    std::filesystem::create_symlink(info.dli_fname, home + "/lib/libclntsh.so");

    const char* old = std::getenv("ORACLE_HOME");
    const std::string saved = old ? old : "";
    setenv("ORACLE_HOME", home.c_str(), 1);
    const std::string log_path = home + "/trace.log";
    std::string message;
    {
        tk_log log;
        log.set_path(log_path.c_str());
        log.set_threshold(1);
        log.set_enabled(true);
        ora_engine engine;
        try {
            delete engine.open_db(u"ORCL", u"scott", u"tiger");
        } catch (const ora_exception&) {
            message = "ora_exception";
        } catch (const tk_exception& e) {
            message = e.what();
        }
    }
    if (old) {
        setenv("ORACLE_HOME", saved.c_str(), 1);
    } else {
        unsetenv("ORACLE_HOME");
    }
    EXPECT_EQ(message.rfind("The Oracle client and networking components were not found.", 0), 0u)
        << message;
    const std::string trace = read_file(log_path);
    EXPECT_NE(trace.find("cannot load libclntsh.so:"), std::string::npos) << trace;
    EXPECT_NE(trace.find(home + "/lib/libclntsh.so does not export OCIEnvCreate"),
              std::string::npos)
        << trace;
    EXPECT_NE(trace.find("tried libclntsh.so, libclntsh.so.23.1"), std::string::npos) << trace;
    std::filesystem::remove_all(home);
}
