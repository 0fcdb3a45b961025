// The file a "file:" data source names, read as SQLite reads such a URI:
// after "file:" an optional "//authority", then the path up to its query
// ("?mode=ro") or fragment, with %XX escapes decoded. Both the embedded
// provider (which opens the file) and the converter (which must never
// write over it) read a source with this one function. Header only: the
// provider links nothing of the rest of the program.
#pragma once

#include <algorithm>
#include <string>
#include <string_view>

// The decoded path of `uri`, which begins with "file:"; `authority`, when
// given, receives the authority ("" when there is none; "" and "localhost"
// name this machine).
inline std::string tsl_file_uri_path(std::string_view uri, std::string* authority = nullptr) {
    std::string_view s = uri.substr(5);
    std::string_view host;
    if (s.substr(0, 2) == "//") {
        const size_t slash = s.find('/', 2);
        host = s.substr(2, slash == std::string_view::npos ? std::string_view::npos : slash - 2);
        s.remove_prefix(slash == std::string_view::npos ? s.size() : slash);
    }
    if (authority)
        *authority = std::string(host);
    s = s.substr(0, std::min(s.find('?'), s.find('#')));
    auto hex = [](char c) {
        return c >= '0' && c <= '9'   ? c - '0'
               : c >= 'a' && c <= 'f' ? c - 'a' + 10
               : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                      : -1;
    };
    std::string path;
    path.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size() && hex(s[i + 1]) >= 0 && hex(s[i + 2]) >= 0) {
            path.push_back(static_cast<char>(hex(s[i + 1]) * 16 + hex(s[i + 2])));
            i += 2;
        } else {
            path.push_back(s[i]);
        }
    }
    return path;
}
