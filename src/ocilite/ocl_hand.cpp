// Handle and descriptor life cycle: OCIEnvCreate, OCIHandleAlloc/Free,
// OCIDescriptorAlloc/Free.
#include "ocilite/ocl_hand.h"

#include "ocilite/ocl_api.h"

ocl_conn::~ocl_conn() {
    if (db != nullptr) {
        // close_v2: statements still prepared on it keep it alive until
        // they are finalized.
        sqlite3_close_v2(db);
    }
    if (second != nullptr) {
        sqlite3_close_v2(second);
    }
}

OCIStmt::~OCIStmt() {
    if (st != nullptr) {
        sqlite3_finalize(st);
    }
    for (OCIDefine* d : defines) {
        if (d != nullptr) {
            d->magic = 0;
            delete d;
        }
    }
}

ocl_head* ocl_check(const void* p, ub4 htype) {
    if (p == nullptr) {
        return nullptr;
    }
    auto* h = static_cast<ocl_head*>(const_cast<void*>(p));
    if (h->magic != ocl_magic || h->htype != htype) {
        return nullptr;
    }
    return h;
}

namespace {

void link(OCIEnv* env, ocl_head* h) {
    h->env = env;
    h->prev = nullptr;
    h->next = env->first;
    if (env->first != nullptr) {
        env->first->prev = h;
    }
    env->first = h;
}

void unlink(ocl_head* h) {
    OCIEnv* env = h->env;
    if (env == nullptr) {
        return;
    }
    if (h->prev != nullptr) {
        h->prev->next = h->next;
    } else if (env->first == h) {
        env->first = h->next;
    }
    if (h->next != nullptr) {
        h->next->prev = h->prev;
    }
    h->prev = h->next = nullptr;
}

void give_user_mem(ocl_head* h, size_t xtramem_sz, void** usrmempp) {
    if (xtramem_sz > 0) {
        h->user_mem.assign(xtramem_sz, 0);
    }
    if (usrmempp != nullptr) {
        *usrmempp = xtramem_sz > 0 ? h->user_mem.data() : nullptr;
    }
}

// Deletes a handle of any type (not the environment, not defines).
void destroy(ocl_head* h) {
    unlink(h);
    h->magic = 0;
    switch (h->htype) {
        case OCI_HTYPE_ERROR:
            delete static_cast<OCIError*>(h);
            break;
        case OCI_HTYPE_SVCCTX:
            delete static_cast<OCISvcCtx*>(h);
            break;
        case OCI_HTYPE_STMT:
            delete static_cast<OCIStmt*>(h);
            break;
        case OCI_HTYPE_SERVER:
            delete static_cast<OCIServer*>(h);
            break;
        case OCI_HTYPE_SESSION:
            delete static_cast<OCISession*>(h);
            break;
        case OCI_DTYPE_LOB:
            delete static_cast<OCILobLocator*>(h);
            break;
        case OCI_DTYPE_SNAP:
            delete static_cast<OCISnapshot*>(h);
            break;
        default:
            break;
    }
}

template <class T>
ocl_head* create(OCIEnv* env, ub4 type) {
    T* h = new T();
    h->htype = type;
    link(env, h);
    return h;
}

}  // namespace

bool ocl_env_owns(const OCIEnv* env, const void* p) {
    for (const ocl_head* h = env->first; h != nullptr; h = h->next) {
        if (h == p) {
            return true;
        }
    }
    return false;
}

void ocl_define_free(OCIDefine* d) {
    if (d->stmt != nullptr) {
        auto& list = d->stmt->defines;
        if (d->position >= 1 && d->position <= list.size() && list[d->position - 1] == d) {
            list[d->position - 1] = nullptr;
        }
    }
    d->magic = 0;
    delete d;
}

ocl_head* ocl_new_handle(OCIEnv* env, ub4 type) {
    switch (type) {
        case OCI_HTYPE_ERROR:
            return create<OCIError>(env, type);
        case OCI_HTYPE_SVCCTX:
            return create<OCISvcCtx>(env, type);
        case OCI_HTYPE_STMT:
            return create<OCIStmt>(env, type);
        case OCI_HTYPE_SERVER:
            return create<OCIServer>(env, type);
        case OCI_HTYPE_SESSION:
            return create<OCISession>(env, type);
        case OCI_DTYPE_LOB:
            return create<OCILobLocator>(env, type);
        case OCI_DTYPE_SNAP:
            return create<OCISnapshot>(env, type);
        default:
            return nullptr;
    }
}

void ocl_free_handle(ocl_head* h) {
    destroy(h);
}

sword OCIEnvCreate(OCIEnv** envp, ub4 mode, void* /*ctxp*/, void* (* /*malocfp*/)(void*, size_t),
                   void* (* /*ralocfp*/)(void*, void*, size_t), void (* /*mfreefp*/)(void*, void*),
                   size_t xtramem_sz, void** usrmempp) {
    if (envp == nullptr) {
        return OCI_INVALID_HANDLE;
    }
    try {
        auto* env = new OCIEnv();
        env->htype = OCI_HTYPE_ENV;
        env->utf16 = (mode & OCI_UTF16) != 0;
        give_user_mem(env, xtramem_sz, usrmempp);
        *envp = env;
        return OCI_SUCCESS;
    } catch (...) {
        *envp = nullptr;
        return OCI_ERROR;
    }
}

sword OCIHandleAlloc(const void* parenth, void** hndlpp, const ub4 type, const size_t xtramem_sz,
                     void** usrmempp) {
    OCIEnv* env = ocl_as<OCIEnv>(parenth, OCI_HTYPE_ENV);
    if (env == nullptr || hndlpp == nullptr) {
        return OCI_INVALID_HANDLE;
    }
    if (type == OCI_DTYPE_LOB || type == OCI_DTYPE_SNAP) {
        return OCI_INVALID_HANDLE;  // descriptors come from OCIDescriptorAlloc
    }
    try {
        ocl_head* h = ocl_new_handle(env, type);
        if (h == nullptr) {
            return OCI_INVALID_HANDLE;
        }
        give_user_mem(h, xtramem_sz, usrmempp);
        *hndlpp = h;
        return OCI_SUCCESS;
    } catch (...) {
        return OCI_ERROR;
    }
}

sword OCIHandleFree(void* hndlp, const ub4 type) {
    ocl_head* h = ocl_check(hndlp, type);
    if (h == nullptr || type == OCI_DTYPE_LOB || type == OCI_DTYPE_SNAP ||
        type == OCI_DTYPE_PARAM) {
        return OCI_INVALID_HANDLE;
    }
    if (type == OCI_HTYPE_ENV) {
        auto* env = static_cast<OCIEnv*>(h);
        // Statements first: they reach their connection and defines.
        for (ub4 pass = 0; pass < 2; ++pass) {
            ocl_head* p = env->first;
            while (p != nullptr) {
                ocl_head* next = p->next;
                if ((pass == 0) == (p->htype == OCI_HTYPE_STMT)) {
                    destroy(p);
                }
                p = next;
            }
        }
        env->magic = 0;
        delete env;
        return OCI_SUCCESS;
    }
    if (type == OCI_HTYPE_DEFINE) {
        ocl_define_free(static_cast<OCIDefine*>(h));
        return OCI_SUCCESS;
    }
    destroy(h);
    return OCI_SUCCESS;
}

sword OCIDescriptorAlloc(const void* parenth, void** descpp, const ub4 type,
                         const size_t xtramem_sz, void** usrmempp) {
    OCIEnv* env = ocl_as<OCIEnv>(parenth, OCI_HTYPE_ENV);
    if (env == nullptr || descpp == nullptr) {
        return OCI_INVALID_HANDLE;
    }
    if (type != OCI_DTYPE_LOB && type != OCI_DTYPE_SNAP) {
        return OCI_INVALID_HANDLE;
    }
    try {
        ocl_head* h = ocl_new_handle(env, type);
        give_user_mem(h, xtramem_sz, usrmempp);
        *descpp = h;
        return OCI_SUCCESS;
    } catch (...) {
        return OCI_ERROR;
    }
}

sword OCIDescriptorFree(void* descp, const ub4 type) {
    ocl_head* h = ocl_check(descp, type);
    if (h == nullptr) {
        return OCI_INVALID_HANDLE;
    }
    if (type == OCI_DTYPE_PARAM) {
        return OCI_SUCCESS;  // select-list parameters live as long as their statement
    }
    if (type != OCI_DTYPE_LOB && type != OCI_DTYPE_SNAP) {
        return OCI_INVALID_HANDLE;
    }
    destroy(h);
    return OCI_SUCCESS;
}
