// The settings file behind a tk_reg_key: parsing, formatting, reading and
// the atomic rewrite. The format is described in tk_regk.h.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tk {

// One value of a key.
struct reg_value {
    std::string name;     // UTF-8
    uint32_t type = 0;    // tk_reg_dword or tk_reg_sz
    uint32_t dword = 0;   // the value of a dword
    std::u16string text;  // the value of a text, without its NUL
    // The bytes a registry reader gets: 4 little-endian bytes of a dword, the
    // UTF-16LE text with its terminating NUL.
    std::string bytes() const;
};

// The first line of every settings file.
inline constexpr std::string_view reg_file_magic = "Tessaline Settings 1";

// The values of a file's content, in file order, first of a name only.
// Content without the magic line has no values; lines that do not parse are
// skipped.
std::vector<reg_value> parse_reg_file(std::string_view content);

// The file content for `values` under the key named `key_name`.
std::string format_reg_file(const std::string& key_name, const std::vector<reg_value>& values);

// Reads the values of `path`: 0, or a tk_reg_* error (missing or unreadable
// file). A foreign, damaged or oversized file reads as no values.
long read_reg_file(const std::string& path, std::vector<reg_value>& values);

// Rewrites `path` atomically with mode 0600: 0 or a tk_reg_* error.
long write_reg_file(const std::string& path, const std::string& key_name,
                    const std::vector<reg_value>& values);

// The value whose name equals `name` ignoring case, or null.
reg_value* find_reg_value(std::vector<reg_value>& values, std::string_view name);

// A tk_reg_* error number for an errno value.
long reg_error_from_errno(int e);

}  // namespace tk
