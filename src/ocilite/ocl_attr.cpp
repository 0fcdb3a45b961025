// Attributes and error texts: OCIAttrGet, OCIAttrSet, OCIErrorGet.
#include <cstring>
#include <string>

#include "ocilite/ocl_api.h"
#include "ocilite/ocl_text.h"

namespace {

template <class T>
sword put(void* attributep, T value) {
    if (attributep == nullptr) {
        return OCI_INVALID_HANDLE;
    }
    std::memcpy(attributep, &value, sizeof value);
    return OCI_SUCCESS;
}

// Oracle's character set ids of the two forms.
constexpr ub2 csid_of_form(ub1 form) {
    return form == SQLCS_NCHAR ? TSL_OCI_CSID_AL16UTF16
                               : (form == SQLCS_IMPLICIT ? TSL_OCI_CSID_AL32UTF8 : 0);
}

sword param_attr(OCIParam* p, void* attributep, ub4* sizep, ub4 attrtype, OCIError* err) {
    const ocl_type& t = p->type;
    const bool character = t.form != 0 && t.code != SQLT_CLOB;
    switch (attrtype) {
        case OCI_ATTR_DATA_TYPE:
            return put<ub2>(attributep, t.code);
        case OCI_ATTR_DATA_SIZE:
            return put<ub2>(attributep, t.size);
        case OCI_ATTR_DISP_SIZE:
            return put<ub2>(attributep, t.code == SQLT_NUM ? ub2(40) : t.size);
        case OCI_ATTR_PRECISION:
            return put<sb2>(attributep, t.precision);
        case OCI_ATTR_SCALE:
            return put<sb1>(attributep, t.scale);
        case OCI_ATTR_IS_NULL:
            return put<ub1>(attributep, p->nullable);
        case OCI_ATTR_CHARSET_FORM:
            return put<ub1>(attributep, t.form);
        case OCI_ATTR_CHARSET_ID:
            return put<ub2>(attributep, csid_of_form(t.form));
        case OCI_ATTR_CHAR_USED:
            return put<ub1>(attributep, character && t.char_used ? ub1(1) : ub1(0));
        case OCI_ATTR_CHAR_SIZE:
            return put<ub2>(attributep, character ? t.char_size : ub2(0));
        case OCI_ATTR_NAME:
        case OCI_ATTR_TYPE_NAME:
        case OCI_ATTR_SCHEMA_NAME: {
            static const char16_t empty16[1] = {0};
            static const char empty8[1] = {0};
            const bool name = attrtype == OCI_ATTR_NAME;
            const void* text;
            ub4 bytes;
            if (p->env != nullptr && p->env->utf16) {
                text = name ? static_cast<const void*>(p->name16.c_str()) : empty16;
                bytes = name ? static_cast<ub4>(p->name16.size() * 2) : 0;
            } else {
                text = name ? static_cast<const void*>(p->name.c_str()) : empty8;
                bytes = name ? static_cast<ub4>(p->name.size()) : 0;
            }
            if (sizep != nullptr) {
                *sizep = bytes;
            }
            return put<const void*>(attributep, text);
        }
        default:
            return ocl_fail(err, ORA_ILLEGAL_ATTRIBUTE);
    }
}

sword stmt_attr(OCIStmt* s, void* attributep, ub4 attrtype, OCIError* err) {
    switch (attrtype) {
        case OCI_ATTR_PARAM_COUNT:
            if (!s->executed) {
                return ocl_fail(err, ORA_NOT_EXECUTED);
            }
            return put<ub4>(attributep, static_cast<ub4>(s->params.size()));
        case OCI_ATTR_ROW_COUNT:
            return put<ub4>(attributep, s->row_count);
        case OCI_ATTR_ROWS_FETCHED:
            return put<ub4>(attributep, s->rows_fetched);
        case OCI_ATTR_STMT_TYPE:
            return put<ub2>(attributep, s->stmt_type);
        case OCI_ATTR_PREFETCH_ROWS:
            return put<ub4>(attributep, s->prefetch_rows);
        case OCI_ATTR_PREFETCH_MEMORY:
            return put<ub4>(attributep, s->prefetch_memory);
        default:
            return ocl_fail(err, ORA_ILLEGAL_ATTRIBUTE);
    }
}

}  // namespace

sword OCIAttrGet(const void* trgthndlp, ub4 trghndltyp, void* attributep, ub4* sizep, ub4 attrtype,
                 OCIError* errhp) {
    OCIError* err = ocl_as<OCIError>(errhp, OCI_HTYPE_ERROR);
    ocl_head* h = ocl_check(trgthndlp, trghndltyp);
    if (err == nullptr || h == nullptr) {
        return OCI_INVALID_HANDLE;
    }
    return ocl_guard(err, [&]() -> sword {
        ocl_clear(err);
        switch (trghndltyp) {
            case OCI_DTYPE_PARAM:
                return param_attr(static_cast<OCIParam*>(h), attributep, sizep, attrtype, err);
            case OCI_HTYPE_STMT:
                return stmt_attr(static_cast<OCIStmt*>(h), attributep, attrtype, err);
            case OCI_HTYPE_SVCCTX: {
                auto* svc = static_cast<OCISvcCtx*>(h);
                if (attrtype == OCI_ATTR_SERVER) {
                    return put<OCIServer*>(attributep, svc->server);
                }
                if (attrtype == OCI_ATTR_SESSION) {
                    return put<OCISession*>(attributep, svc->session);
                }
                if (attrtype == TSL_OCI_ATTR_ROUNDTRIPS) {
                    return put<ub4>(attributep, svc->conn != nullptr ? svc->conn->roundtrips : 0);
                }
                return ocl_fail(err, ORA_ILLEGAL_ATTRIBUTE);
            }
            case OCI_HTYPE_ENV:
                if (attrtype == TSL_OCI_ATTR_ROUNDTRIPS) {
                    return put<ub4>(attributep, static_cast<OCIEnv*>(h)->roundtrips);
                }
                return ocl_fail(err, ORA_ILLEGAL_ATTRIBUTE);
            default:
                return ocl_fail(err, ORA_ILLEGAL_ATTRIBUTE);
        }
    });
}

sword OCIAttrSet(void* trgthndlp, ub4 trghndltyp, void* attributep, ub4 /*size*/, ub4 attrtype,
                 OCIError* errhp) {
    OCIError* err = ocl_as<OCIError>(errhp, OCI_HTYPE_ERROR);
    ocl_head* h = ocl_check(trgthndlp, trghndltyp);
    if (err == nullptr || h == nullptr) {
        return OCI_INVALID_HANDLE;
    }
    ocl_clear(err);
    switch (trghndltyp) {
        case OCI_HTYPE_SVCCTX: {
            auto* svc = static_cast<OCISvcCtx*>(h);
            if (attrtype == OCI_ATTR_SERVER) {
                OCIServer* srv = ocl_as<OCIServer>(attributep, OCI_HTYPE_SERVER);
                if (srv == nullptr) {
                    return OCI_INVALID_HANDLE;
                }
                svc->server = srv;
                return OCI_SUCCESS;
            }
            if (attrtype == OCI_ATTR_SESSION) {
                OCISession* ses = ocl_as<OCISession>(attributep, OCI_HTYPE_SESSION);
                if (ses == nullptr) {
                    return OCI_INVALID_HANDLE;
                }
                svc->session = ses;
                return OCI_SUCCESS;
            }
            break;
        }
        case OCI_HTYPE_SESSION:
            if (attrtype == OCI_ATTR_USERNAME || attrtype == OCI_ATTR_PASSWORD) {
                return OCI_SUCCESS;  // logons here go through OCILogon
            }
            break;
        case OCI_HTYPE_STMT:
            if ((attrtype == OCI_ATTR_PREFETCH_ROWS || attrtype == OCI_ATTR_PREFETCH_MEMORY) &&
                attributep != nullptr) {
                ub4 value = 0;
                std::memcpy(&value, attributep, sizeof value);
                auto* s = static_cast<OCIStmt*>(h);
                (attrtype == OCI_ATTR_PREFETCH_ROWS ? s->prefetch_rows : s->prefetch_memory) =
                    value;
                return OCI_SUCCESS;
            }
            break;
        case OCI_HTYPE_DEFINE:
            if (attrtype == OCI_ATTR_CHARSET_FORM && attributep != nullptr) {
                ub1 form = 0;
                std::memcpy(&form, attributep, sizeof form);
                if (form != SQLCS_IMPLICIT && form != SQLCS_NCHAR) {
                    return ocl_fail(err, ORA_INVALID_CHARSET);
                }
                static_cast<OCIDefine*>(h)->form = form;
                return OCI_SUCCESS;
            }
            break;
        default:
            break;
    }
    return ocl_fail(err, ORA_ILLEGAL_ATTRIBUTE);
}

sword OCIErrorGet(void* hndlp, ub4 recordno, OraText* /*sqlstate*/, sb4* errcodep, OraText* bufp,
                  ub4 bufsiz, ub4 type) {
    if (type == OCI_HTYPE_ENV) {
        // Environments record no errors here: their calls have no error handle.
        return ocl_check(hndlp, OCI_HTYPE_ENV) != nullptr ? OCI_NO_DATA : OCI_INVALID_HANDLE;
    }
    OCIError* err = ocl_as<OCIError>(hndlp, OCI_HTYPE_ERROR);
    if (err == nullptr || type != OCI_HTYPE_ERROR) {
        return OCI_INVALID_HANDLE;
    }
    if (recordno != 1 || err->code == 0) {
        return OCI_NO_DATA;
    }
    if (errcodep != nullptr) {
        *errcodep = err->code;
    }
    if (bufp != nullptr && bufsiz > 0) {
        // The client's texts end with a line break.
        std::string text = err->text + "\n";
        const bool utf16 = err->env != nullptr && err->env->utf16;
        const size_t unit = utf16 ? 2 : 1;
        size_t cap = bufsiz >= unit ? bufsiz - unit : 0;
        if (utf16) {
            cap &= ~size_t(1);
        }
        size_t full = 0;
        size_t n = ocl_put_text(reinterpret_cast<const unsigned char*>(text.data()), text.size(),
                                utf16, bufp, cap, &full);
        if (bufsiz >= unit) {
            std::memset(bufp + n, 0, unit);
        }
    }
    return OCI_SUCCESS;
}
