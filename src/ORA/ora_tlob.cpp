// ora_lob: CLOB, NCLOB and BLOB columns, read through a LOB locator in
// pieces after each fetch.
//
// A read asks for amount 0 from offset 1, which OCI serves as a streamed
// read to the end of the value: every piece but the last returns
// OCI_NEED_DATA, the last OCI_SUCCESS (or OCI_NO_DATA for an empty value).
// The stream is followed until the status is no longer OCI_NEED_DATA, even
// through pieces of 0 bytes: a stream left open blocks every later call on
// the connection. The offset stays at 1 for the whole stream (the client
// ignores it after the first call; it would count characters of a CLOB,
// not the bytes of the pieces). Character LOBs are asked for in AL32UTF8
// (character set id 873), so the pieces are UTF-8 whatever the
// environment's UTF-16 mode would give; an NCLOB is read in its own form.
#include <cstdint>
#include <cstring>
#include <string_view>

#include "ORA/ora_engi.h"
#include "ORA/ora_type.h"
#include "TK/tk_log.h"
#include "TK/tk_utf.h"

namespace {

constexpr const char* kSource = "ora_tlob";

// True when the bytes are well-formed UTF-8; an ASCII run (nearly every
// text) goes eight bytes a step.
bool valid_utf8(std::string_view s) {
    size_t i = 0;
    for (uint64_t w; i + 8 <= s.size(); i += 8) {
        std::memcpy(&w, s.data() + i, 8);
        if (w & 0x8080808080808080ull)
            break;
    }
    while (i < s.size() && static_cast<unsigned char>(s[i]) < 0x80) ++i;
    return i == s.size() || tk::is_valid_utf8(s.substr(i));
}

}  // namespace

ora_lob::ora_lob(OCIParam* param, uint8_t type_code) : ora_type(param, type_code) {
    if (type_code == SQLT_CLOB)
        read_charset_form(param);
}

ora_lob::~ora_lob() {
    if (!locator_)
        return;
    if (ora_engine* engine = ora_engine::instance_ptr(); engine && engine->oci()) {
        engine->oci()->OCIDescriptorFree(locator_, OCI_DTYPE_LOB);
    }
}

void ora_lob::define(OCIStmt* stmt, ub4 position) {
    ora_engine& engine = ora_engine::instance();
    if (!locator_) {
        void* locator = nullptr;
        engine.check_status(
            engine.oci()->OCIDescriptorAlloc(engine.env(), &locator, OCI_DTYPE_LOB, 0, nullptr));
        locator_ = static_cast<OCILobLocator*>(locator);
    }
    piece_.assign(kPieceBytes + 1, 0);
    define_buffer(stmt, position, &locator_, -1, type_code_);
}

void ora_lob::to_variant(ole_variant& out) {
    if (type_code_ != SQLT_CLOB && type_code_ != SQLT_BLOB) {
        throw tk_mail_assertion(kSource, __LINE__);
    }
    ora_engine& engine = ora_engine::instance();
    const ora_oci& oci = *engine.oci();
    const bool text = type_code_ == SQLT_CLOB;

    ub1 form = 0;
    ub2 charset = 0;
    if (text) {
        form = SQLCS_IMPLICIT;
        engine.check_status(oci.OCILobCharSetForm(engine.env(), engine.err(), locator_, &form));
        charset = TSL_OCI_CSID_AL32UTF8;
        text_.clear();
    } else {
        out.allocate_safe_array(0);
    }

    const ub4 offset = 1;
    // A value too large to be held is read to its end all the same (the
    // stream must be finished), then refused.
    bool too_large = false;
    uint64_t read = 0;
    for (;;) {
        ub4 amount = 0;
        const sword status = engine.check_status(
            oci.OCILobRead(engine.svc(), engine.err(), locator_, &amount, offset, piece_.data(),
                           kPieceBytes, nullptr, nullptr, charset, form));
        if (status != OCI_SUCCESS && status != OCI_NEED_DATA && status != OCI_NO_DATA) {
            // OCI_INVALID_HANDLE and the like: the value cannot be read.
            throw tk_exception("The LOB value of column " + tk::utf16_to_utf8(name_) +
                                   " cannot be read (OCILobRead status " + std::to_string(status) +
                                   ").",
                               0);
        }
        const ub4 n = amount < kPieceBytes ? amount : kPieceBytes;
        read += n;
        try {
            if (!too_large)
                keep_piece(out, text, n);
        } catch (const std::bad_alloc&) {
            too_large = true;
            std::string().swap(text_);
            out.allocate_safe_array(0);
        }
        if (status != OCI_NEED_DATA)
            break;
    }
    if (too_large) {
        throw tk_exception("The value of column " + tk::utf16_to_utf8(name_) + " (" +
                               std::to_string(read) + " bytes) is too large to be held in memory.",
                           0);
    }
    if (!text)
        return;
    // A text the source holds in no valid UTF-8 comes as its bytes.
    if (valid_utf8(text_))
        out.attach_string(text_);
    else
        recode_bytes(text_, out);
}

void ora_lob::keep_piece(ole_variant& out, bool text, ub4 n) {
    if (text && n > 0) {
        // A zero byte (a NUL inside the text) is dropped, the text
        // after it kept.
        const char* bytes = reinterpret_cast<const char*>(piece_.data());
        for (ub4 at = 0; at < n;) {
            const char* zero = static_cast<const char*>(std::memchr(bytes + at, 0, n - at));
            const ub4 end = zero ? static_cast<ub4>(zero - bytes) : n;
            text_.append(bytes + at, end - at);
            at = end + 1;
        }
    } else if (n > 0) {
        out.mutable_bytes()->insert(out.mutable_bytes()->end(), piece_.data(), piece_.data() + n);
    }
}
