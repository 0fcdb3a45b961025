// The OCI function table: the calls of the Oracle Call Interface that the
// Oracle source makes, resolved once per process from a provider library
// loaded at run time. Nothing in the product links against a provider.
//
// Two providers exist:
//   client    the Oracle client, libclntsh.so (any data source except one
//             that begins with "file:");
//   embedded  libtsl_ocilite.so, the same functions over a SQLite database
//             file named by a "file:" data source.
//
// A table, once loaded, stays loaded until the process ends, together with
// the OCI environment created on it (OCI environments are never freed).
#pragma once

#include <string>
#include <vector>

#include "oci/tsl_oci.h"

enum class ora_provider { client, embedded };

struct ora_oci {
#define ORA_OCI_MEMBER(f) f##_fn f = nullptr;
    TSL_OCI_FUNCTIONS(ORA_OCI_MEMBER)
#undef ORA_OCI_MEMBER

    ora_provider kind = ora_provider::client;
    // The file that was loaded (as given to dlopen) and its handle.
    std::string path;
    void* library = nullptr;
    // The provider's OCI environment, created by the engine on first use and
    // kept for the life of the process.
    OCIEnv* env = nullptr;
};

// The provider a data source needs: `embedded` for "file:..." sources.
ora_provider ora_provider_for(const std::u16string& source);

// The file names tried, in order, for a provider. The client's bare names
// go through the dynamic loader's own search (LD_LIBRARY_PATH, the loader
// cache, the default folders); $ORACLE_HOME/lib follows. The embedded
// provider is looked for beside the executable (the build tree), then in
// the private library folder of an installed tree (TSL_PROVIDER_DIR from the
// programs' folder: ../lib/tessal, or ../lib/<multiarch>/tessal), then by
// the loader's search.
std::vector<std::string> ora_provider_candidates(ora_provider kind);

// The loaded table of a provider, loading it on first use. Returns null when
// no candidate can be loaded or one lacks a function; the trace then names
// each file tried with the loader's reason, and the missing symbol. A
// failure is not remembered: a later call tries again.
ora_oci* ora_load_provider(ora_provider kind);
