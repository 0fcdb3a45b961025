// LOB reads: OCILobRead and OCILobCharSetForm.
//
// Units follow OCI. BLOB offsets and amounts count bytes. CLOB offsets
// count characters (UTF-16 code units, as the server's LOB storage counts
// them); the amount asked for counts characters too, and the amount returned
// counts characters when the buffer's character set is fixed-width (UTF-16)
// and bytes when it is varying-width (AL32UTF8, id 873).
//
// An amount of 0 asks for everything from the offset on. When the buffer
// cannot take all that is asked for, the call returns OCI_NEED_DATA with the
// first piece, and the next calls on the locator continue the stream
// (ignoring their offset, as OCI does) until the last piece comes with
// OCI_SUCCESS. A read that starts past the end returns OCI_NO_DATA with an
// amount of 0.
#include <algorithm>
#include <cstring>
#include <limits>

#include "ocilite/ocl_api.h"
#include "ocilite/ocl_emul.h"
#include "ocilite/ocl_text.h"

namespace {

enum class out_cs { bytes, utf8, utf16 };

// The byte position of character `offset` (1-based) in the locator's text,
// or data.size() + 1 when it lies past the end.
size_t byte_of_char(OCILobLocator* loc, uint64_t offset) {
    const auto* s = reinterpret_cast<const unsigned char*>(loc->data.data());
    const size_t n = loc->data.size();
    uint64_t target = offset - 1;
    uint64_t ch = 0;
    size_t pos = 0;
    if (loc->cache_char <= target && loc->cache_byte <= n) {
        ch = loc->cache_char;
        pos = loc->cache_byte;
    }
    while (ch < target && pos < n) {
        char32_t cp;
        size_t len = ocl_utf8_next(s + pos, n - pos, &cp);
        uint64_t units = cp >= 0x10000 ? 2 : 1;
        if (ch + units > target) {
            break;  // the offset falls inside a surrogate pair: start at its character
        }
        ch += units;
        pos += len;
    }
    if (ch < target) {
        return n + 1;
    }
    loc->cache_char = ch;
    loc->cache_byte = pos;
    return pos;
}

// Copies one piece from `pos`. Returns the bytes written into `buf`; `units`
// receives the characters (CLOB) or bytes (BLOB) consumed, `next` the new
// position.
// `keep_bytes`: a byte that is part of no well-formed character goes out
// as itself (UTF-8) or as the unit 0xDC00 + byte (UTF-16) instead of
// U+FFFD, so a reader may take the stored bytes back.
size_t piece(const OCILobLocator* loc, size_t pos, uint64_t want, out_cs cs, unsigned char* buf,
             size_t bufl, uint64_t* units, size_t* next, bool keep_bytes) {
    const auto* s = reinterpret_cast<const unsigned char*>(loc->data.data());
    const size_t n = loc->data.size();
    if (cs == out_cs::bytes) {
        size_t k = n - pos;
        if (k > bufl) {
            k = bufl;
        }
        if (k > want) {
            k = static_cast<size_t>(want);
        }
        std::memcpy(buf, s + pos, k);
        *units = k;
        *next = pos + k;
        return k;
    }
    size_t written = 0;
    uint64_t used = 0;
    while (pos < n && used < want) {
        if (s[pos] < 0x80) {
            // An ASCII run: a byte is a character and a unit; copied whole.
            const size_t room = cs == out_cs::utf8 ? bufl - written : (bufl - written) / 2;
            const size_t k =
                static_cast<size_t>(std::min<uint64_t>(std::min(n - pos, room), want - used));
            size_t run = 0;
            for (uint64_t w; run + 8 <= k; run += 8) {
                std::memcpy(&w, s + pos + run, 8);
                if (w & 0x8080808080808080ull)
                    break;
            }
            while (run < k && s[pos + run] < 0x80) ++run;
            if (run == 0)
                break;  // no room left
            if (cs == out_cs::utf8) {
                std::memcpy(buf + written, s + pos, run);
                written += run;
            } else {
                for (size_t i = 0; i < run; ++i, written += 2) {
                    const char16_t u = s[pos + i];
                    std::memcpy(buf + written, &u, 2);
                }
            }
            used += run;
            pos += run;
            continue;
        }
        char32_t cp;
        size_t len = ocl_utf8_next(s + pos, n - pos, &cp);
        unsigned char enc[4];
        size_t elen;
        const bool stray = keep_bytes && len == 1 && cp == 0xFFFD;  // no character's byte
        if (stray && cs == out_cs::utf8) {
            enc[0] = s[pos];
            elen = 1;
        } else if (stray) {
            const char16_t u = static_cast<char16_t>(0xDC00 + s[pos]);
            std::memcpy(enc, &u, 2);
            elen = 2;
        } else if (cs == out_cs::utf8) {
            elen = ocl_utf8_put(cp, enc);
        } else if (cp >= 0x10000) {
            char16_t hi = static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
            char16_t lo = static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
            std::memcpy(enc, &hi, 2);
            std::memcpy(enc + 2, &lo, 2);
            elen = 4;
        } else {
            char16_t u = static_cast<char16_t>(cp);
            std::memcpy(enc, &u, 2);
            elen = 2;
        }
        if (written + elen > bufl) {
            break;
        }
        std::memcpy(buf + written, enc, elen);
        written += elen;
        used += cp >= 0x10000 ? 2 : 1;
        pos += len;
    }
    *units = used;
    *next = pos;
    return written;
}

}  // namespace

sword OCILobCharSetForm(OCIEnv* envhp, OCIError* errhp, const OCILobLocator* locp, ub1* csfrm) {
    OCIEnv* env = ocl_as<OCIEnv>(envhp, OCI_HTYPE_ENV);
    OCIError* err = ocl_as<OCIError>(errhp, OCI_HTYPE_ERROR);
    const OCILobLocator* loc = ocl_as<OCILobLocator>(locp, OCI_DTYPE_LOB);
    if (env == nullptr || err == nullptr || loc == nullptr || csfrm == nullptr) {
        return OCI_INVALID_HANDLE;
    }
    ocl_clear(err);
    if (!loc->valid) {
        return ocl_fail(err, ORA_INVALID_LOCATOR);
    }
    *csfrm = loc->binary ? 0 : loc->form;
    return OCI_SUCCESS;
}

namespace {

sword lob_read(OCISvcCtx* svc, OCIError* err, OCILobLocator* loc, ub4* amtp, ub4 offset, void* bufp,
               ub4 bufl, void* ctxp, OCICallbackLobRead cbfp, ub2 csid, ub1 csfrm);

}  // namespace

sword OCILobRead(OCISvcCtx* svchp, OCIError* errhp, OCILobLocator* locp, ub4* amtp, ub4 offset,
                 void* bufp, ub4 bufl, void* ctxp, OCICallbackLobRead cbfp, ub2 csid, ub1 csfrm) {
    OCISvcCtx* svc = ocl_as<OCISvcCtx>(svchp, OCI_HTYPE_SVCCTX);
    OCIError* err = ocl_as<OCIError>(errhp, OCI_HTYPE_ERROR);
    OCILobLocator* loc = ocl_as<OCILobLocator>(locp, OCI_DTYPE_LOB);
    if (svc == nullptr || err == nullptr || loc == nullptr || amtp == nullptr) {
        return OCI_INVALID_HANDLE;
    }
    if (svc->conn == nullptr || !svc->conn->emul.server) {
        if (svc->conn != nullptr && svc->conn->open) {
            ocl_roundtrip(svc->env, svc->conn.get());
        }
        return lob_read(svc, err, loc, amtp, offset, bufp, bufl, ctxp, cbfp, csid, csfrm);
    }
    // The emulated server: one streamed read at a time on the connection,
    // and a stream that may hand over an empty piece while more remain (a
    // network packet that carried no data of the value).
    ocl_conn& conn = *svc->conn;
    ocl_clear(err);
    if (!conn.open) {
        return ocl_fail(err, ORA_NOT_CONNECTED);
    }
    if (conn.active_lob != nullptr &&
        (conn.active_lob != loc || !loc->polling || cbfp != nullptr)) {
        return ocl_fail(err, ORA_ACTIVE_OPERATION);
    }
    ocl_roundtrip(svc->env, &conn);
    if (loc->polling && !loc->gap) {
        loc->gap = true;
        *amtp = 0;
        return OCI_NEED_DATA;
    }
    loc->gap = false;
    if (!loc->polling && !loc->binary && conn.emul.latin1_db &&
        !(loc->form == SQLCS_NCHAR && csfrm == SQLCS_NCHAR)) {
        // Text that passes through the single-byte database character set;
        // the locator keeps it so converted.
        const sword status = ocl_guard(err, [&] {
            std::string lossy;
            if (ocl_emul_latin1(loc->data, lossy)) {
                loc->data = std::move(lossy);
                loc->cache_char = 0;
                loc->cache_byte = 0;
            }
            return OCI_SUCCESS;
        });
        if (status != OCI_SUCCESS) {
            return status;
        }
    }
    const sword status = lob_read(svc, err, loc, amtp, offset, bufp, bufl, ctxp, cbfp, csid, csfrm);
    conn.active_lob = status == OCI_NEED_DATA ? loc : nullptr;
    return status;
}

namespace {

sword lob_read(OCISvcCtx* svc, OCIError* err, OCILobLocator* loc, ub4* amtp, ub4 offset, void* bufp,
               ub4 bufl, void* ctxp, OCICallbackLobRead cbfp, ub2 csid, ub1 /*csfrm*/) {
    return ocl_guard(err, [&]() -> sword {
        ocl_clear(err);
        if (svc->conn == nullptr || !svc->conn->open) {
            return ocl_fail(err, ORA_NOT_CONNECTED);
        }
        if (!loc->valid) {
            return ocl_fail(err, ORA_INVALID_LOCATOR);
        }
        if (bufp == nullptr || bufl == 0) {
            return ocl_fail(err, ORA_LOB_PARAMETER);
        }
        out_cs cs = out_cs::bytes;
        if (!loc->binary) {
            switch (csid) {
                case 0:
                    cs = svc->env->utf16 ? out_cs::utf16 : out_cs::utf8;
                    break;
                case TSL_OCI_CSID_UTF8:
                case TSL_OCI_CSID_AL32UTF8:
                    cs = out_cs::utf8;
                    break;
                case OCI_UTF16ID:
                case TSL_OCI_CSID_AL16UTF16:
                    cs = out_cs::utf16;
                    break;
                default:
                    return ocl_fail(err, ORA_INVALID_CHARSET);
            }
        }
        auto* buf = static_cast<unsigned char*>(bufp);
        size_t pos;
        uint64_t left;
        if (loc->polling && cbfp == nullptr) {
            pos = loc->poll_pos;
            left = loc->poll_left;
        } else {
            loc->polling = false;
            if (offset == 0) {
                return ocl_fail(err, ORA_LOB_PARAMETER);
            }
            pos = loc->binary ? size_t(offset - 1) : byte_of_char(loc, offset);
            if (pos >= loc->data.size()) {
                *amtp = 0;
                return OCI_NO_DATA;
            }
            left = *amtp == 0 ? std::numeric_limits<uint64_t>::max() : *amtp;
        }
        ub4 total = 0;
        ub1 piece_flag = OCI_FIRST_PIECE;
        while (true) {
            uint64_t units = 0;
            size_t next = pos;
            size_t bytes =
                piece(loc, pos, left, cs, buf, bufl, &units, &next, !svc->conn->emul.server);
            if (bytes == 0) {
                loc->polling = false;
                return ocl_fail(err, ORA_BUFFER_TOO_SMALL);  // not even one character fits
            }
            left = units >= left ? 0 : left - units;
            pos = next;
            const bool more = left > 0 && pos < loc->data.size();
            // The amount handed back: bytes, except characters for UTF-16.
            const ub4 amount = static_cast<ub4>(cs == out_cs::utf16 ? units : bytes);
            if (cbfp == nullptr) {
                *amtp = amount;
                loc->polling = more;
                loc->poll_pos = pos;
                loc->poll_left = left;
                return more ? OCI_NEED_DATA : OCI_SUCCESS;
            }
            // Callback mode: every piece goes to the callback.
            total += amount;
            if (!more) {
                piece_flag = piece_flag == OCI_FIRST_PIECE ? OCI_ONE_PIECE : OCI_LAST_PIECE;
            }
            sb4 answer = cbfp(ctxp, buf, static_cast<ub4>(bytes), piece_flag);
            if (!more) {
                *amtp = total;
                return OCI_SUCCESS;
            }
            if (answer != OCI_CONTINUE) {
                *amtp = total;
                return ocl_fail(err, ORA_LOB_PARAMETER);
            }
            piece_flag = OCI_NEXT_PIECE;
        }
    });
}

}  // namespace
