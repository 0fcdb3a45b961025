// Internal glue between the provider's modules.
#pragma once

#include <new>
#include <string>

#include "ocilite/ocl_err.h"
#include "ocilite/ocl_hand.h"

// Allocation and release of handles in an environment's list.
ocl_head* ocl_new_handle(OCIEnv* env, ub4 type);
void ocl_free_handle(ocl_head* h);
bool ocl_env_owns(const OCIEnv* env, const void* p);

// Text given by the caller in the environment's encoding (UTF-16 with its
// length in bytes, or UTF-8), as UTF-8.
std::string ocl_in_text(const OCIEnv* env, const OraText* p, ub4 len_bytes);

// Runs an entry point's body: nothing thrown may cross the C boundary, so a
// failed allocation becomes ORA-04030 and anything else ORA-20000.
template <class F>
sword ocl_guard(OCIError* err, F&& body) {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return ocl_fail(err, ORA_OUT_OF_MEMORY);
    } catch (...) {
        return ocl_fail(err, ORA_PROVIDER, "internal error in the embedded provider");
    }
}
