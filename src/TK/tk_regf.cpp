#include "TK/tk_regf.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "TK/tk_coding.h"
#include "TK/tk_excep.h"
#include "TK/tk_regk.h"
#include "TK/tk_sink.h"
#include "TK/tk_utf.h"
#include "TK/tk_utils.h"

namespace tk {
namespace {

constexpr size_t kMaxFile = 1 << 20;
const char kHex[] = "0123456789abcdef";

int hex_digit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Reads a quoted text starting at s[i] (the opening quote); on success `i` is
// just past the closing quote.
bool parse_quoted(std::string_view s, size_t& i, std::string& out) {
    if (i >= s.size() || s[i] != '"')
        return false;
    out.clear();
    for (++i; i < s.size(); ++i) {
        char c = s[i];
        if (c == '"') {
            ++i;
            return true;
        }
        if (c != '\\') {
            out.push_back(c);
            continue;
        }
        if (++i >= s.size())
            return false;
        switch (s[i]) {
            case '\\':
                out.push_back('\\');
                break;
            case '"':
                out.push_back('"');
                break;
            case 'n':
                out.push_back('\n');
                break;
            case 'r':
                out.push_back('\r');
                break;
            case 't':
                out.push_back('\t');
                break;
            case 'x': {
                if (i + 2 >= s.size())
                    return false;
                int hi = hex_digit(s[i + 1]), lo = hex_digit(s[i + 2]);
                if (hi < 0 || lo < 0)
                    return false;
                out.push_back(static_cast<char>(hi * 16 + lo));
                i += 2;
                break;
            }
            default:
                return false;
        }
    }
    return false;  // no closing quote
}

void append_quoted(std::string& out, std::string_view s) {
    out.push_back('"');
    for (char c : s) {
        auto b = static_cast<unsigned char>(c);
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '"':
                out += "\\\"";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (b < 0x20 || b == 0x7F) {
                    out += "\\x";
                    out.push_back(kHex[b >> 4]);
                    out.push_back(kHex[b & 15]);
                } else {
                    out.push_back(c);
                }
        }
    }
    out.push_back('"');
}

// One value line; false when it does not parse.
bool parse_line(std::string_view line, reg_value& v) {
    size_t i = 0;
    if (!parse_quoted(line, i, v.name) || i >= line.size() || line[i] != '=')
        return false;
    std::string_view data = line.substr(i + 1);
    if (data.substr(0, 6) == "dword:") {
        std::string_view digits = data.substr(6);
        if (digits.empty() || digits.size() > 8)
            return false;
        uint32_t n = 0;
        for (char c : digits) {
            int d = hex_digit(c);
            if (d < 0)
                return false;
            n = n * 16 + static_cast<uint32_t>(d);
        }
        v.type = tk_reg_dword;
        v.dword = n;
        return true;
    }
    std::string text;
    size_t k = 0;
    if (!parse_quoted(data, k, text) || k != data.size())
        return false;
    v.type = tk_reg_sz;
    v.text = utf8_to_utf16(text);
    return true;
}

}  // namespace

std::string reg_value::bytes() const {
    std::string b;
    if (type == tk_reg_dword) {
        b.resize(4);
        put_u32(reinterpret_cast<uint8_t*>(b.data()), dword);
    } else {
        b.reserve((text.size() + 1) * 2);
        for (char16_t c : text) {
            b.push_back(static_cast<char>(c & 0xFF));
            b.push_back(static_cast<char>(c >> 8));
        }
        b.append(2, '\0');
    }
    return b;
}

std::vector<reg_value> parse_reg_file(std::string_view content) {
    std::vector<reg_value> values;
    bool first = true;
    while (!content.empty()) {
        size_t nl = content.find('\n');
        std::string_view line = content.substr(0, nl);
        content = nl == std::string_view::npos ? std::string_view() : content.substr(nl + 1);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (first) {
            if (line != reg_file_magic)
                return {};  // a foreign file
            first = false;
            continue;
        }
        if (line.empty() || line[0] == '[' || line[0] == ';')
            continue;
        reg_value v;
        if (parse_line(line, v) && !find_reg_value(values, v.name))
            values.push_back(std::move(v));
    }
    return values;
}

std::string format_reg_file(const std::string& key_name, const std::vector<reg_value>& values) {
    std::string out(reg_file_magic);
    out += "\n[" + key_name + "]\n";
    for (const reg_value& v : values) {
        append_quoted(out, v.name);
        out.push_back('=');
        if (v.type == tk_reg_dword) {
            char digits[9];
            for (int k = 7; k >= 0; --k) digits[7 - k] = kHex[(v.dword >> (4 * k)) & 15];
            digits[8] = '\0';
            out += "dword:";
            out += digits;
        } else {
            append_quoted(out, utf16_to_utf8(v.text));
        }
        out.push_back('\n');
    }
    return out;
}

long read_reg_file(const std::string& path, std::vector<reg_value>& values) {
    values.clear();
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return reg_error_from_errno(errno);
    struct stat st {};
    std::string content;
    bool usable = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
                  static_cast<uint64_t>(st.st_size) <= kMaxFile;
    if (usable) {
        content.resize(static_cast<size_t>(st.st_size));
        size_t got = 0;
        while (got < content.size()) {
            ssize_t k = ::read(fd, content.data() + got, content.size() - got);
            if (k < 0 && errno == EINTR)
                continue;
            if (k <= 0)
                break;
            got += static_cast<size_t>(k);
        }
        content.resize(got);  // a file that shrank meanwhile: what was read
    }
    ::close(fd);
    if (usable)
        values = parse_reg_file(content);
    return tk_reg_success;
}

long write_reg_file(const std::string& path, const std::string& key_name,
                    const std::vector<reg_value>& values) {
    std::string content = format_reg_file(key_name, values);
    try {
        atomic_file f(path, /*private_file=*/true);
        f.out().write(content.data(), content.size());
        f.commit();
    } catch (const tk_exception& e) {
        return reg_error_from_errno(static_cast<int>(e.system_error()));
    }
    return tk_reg_success;
}

reg_value* find_reg_value(std::vector<reg_value>& values, std::string_view name) {
    std::u16string wide = utf8_to_utf16(name);
    for (reg_value& v : values) {
        if (tk_equal_nocase(utf8_to_utf16(v.name), wide))
            return &v;
    }
    return nullptr;
}

long reg_error_from_errno(int e) {
    switch (e) {
        case ENOENT:
            return tk_reg_file_not_found;
        case ENOTDIR:
            return tk_reg_path_not_found;
        case EACCES:
        case EPERM:
        case EROFS:
            return tk_reg_access_denied;
        case 0:
            return tk_reg_file_not_found;  // failed without saying why
        default:
            return e;
    }
}

}  // namespace tk
