#include "TK/tk_excep.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "TK/tk_log.h"
#include "TK/tk_utf.h"

namespace {
const char kUnknown[] = "Unknown exception";
}

tk_exception::tk_exception(int code) : message_(kUnknown), code_(code) {}

tk_exception::tk_exception(const std::string& message, int code)
    : message_(message.empty() ? kUnknown : message), code_(code) {}

tk_exception::tk_exception(const char* message, int code)
    : tk_exception(std::string(message ? message : ""), code) {}

tk_exception::tk_exception(const std::u16string& message, int code)
    : tk_exception(tk::utf16_to_utf8(message), code) {}

tk_exception::tk_exception(const std::string& message, int code, uint32_t system_error)
    : message_(message.empty() ? kUnknown : message), system_error_(system_error), code_(code) {}

void tk_exception::set_message(const std::string& message) {
    message_ = message.empty() ? kUnknown : message;
}

tk_exception_ex::tk_exception_ex() : tk_exception_ex(errno) {}

tk_exception_ex::tk_exception_ex(int err) : tk_exception(1) {
    set_system_error(static_cast<uint32_t>(err));
    char buf[256];
    // GNU strerror_r returns the text, possibly not in buf.
    const char* text = strerror_r(err, buf, sizeof buf);
    if (err != 0 && text && *text)
        set_message(text);
    tk_trace(2, "tk_exception_ex::ctor");
    tk_trace(2, "GetLastError: %s", message().c_str());
}

std::string tk_mail_assertion::encode_position(const char* source, int line) {
    char pos[512];
    std::snprintf(pos, sizeof pos, "%s\\%d", source ? source : "", line);
    static const char kHex[] = "0123456789abcdef";
    std::string out;
    for (const char* p = pos; *p; ++p) {
        auto c = static_cast<unsigned char>(*p);
        out.push_back(kHex[c >> 4]);
        out.push_back(kHex[c & 15]);
    }
    return out;
}

tk_mail_assertion::tk_mail_assertion(const char* source, int line)
    : tk_exception("Internal error: \ncode=" + encode_position(source, line), 2) {
    tk_trace(2, "tk_mail_assertion::ctor(%s)", source ? source : "");
}

tk_final_exception::tk_final_exception() {
    tk_trace(2, "tk_final_exception::ctor");
}
