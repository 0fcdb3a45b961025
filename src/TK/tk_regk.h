// Per-user settings keys with the operations and results of registry keys.
//
// Where the keys live
//   A key is a folder under the per-user configuration folder, and its
//   values are one text file, "settings", in that folder:
//     root tk_hkey_current_user  ->  $XDG_CONFIG_HOME (when set to an
//                                    absolute path), else $HOME/.config
//     sub-key "Software\A\B"     ->  <root>/A/B/settings
//   The leading "Software" component of a sub-key of the root is dropped
//   (the configuration folder is the per-user software settings already);
//   the other components become folders. Components are separated by '\';
//   an empty, "." or ".." component, or one containing '/', is refused
//   (tk_reg_bad_pathname). Folder names are case-sensitive here.
//
// The settings file (UTF-8 text, LF line ends, mode 0600)
//     Tessaline Settings 1
//     [HKEY_CURRENT_USER\Software\Brannock\Tessaline]
//     "engine"=dword:00000001
//     "dest"="/home/ann/emp.xls"
//   The first line identifies the format; a file without it is foreign and
//   every value in it reads as missing. The bracketed line names the key for
//   a human reader and is otherwise ignored, as are empty lines and lines
//   starting with ';'. A value line is a quoted name, '=', then either
//   "dword:" and 1 to 8 hexadecimal digits, or a quoted text. Inside quotes
//   '\' escapes: \\ \" \n \r \t, and \xHH for any other byte below 0x20.
//   A line that does not parse is skipped (that value reads as missing);
//   when a name occurs twice the first line counts. Value names compare
//   ignoring case, as registry value names do.
//   Every change rewrites the whole file through a temporary file and a
//   rename, so a reader sees the old or the new file, never a mix; lines
//   that did not parse are dropped by the rewrite. A file over 1 MiB, or one
//   that cannot be read, reads as having no values.
//
// Results
//   0 for success; otherwise a registry-style error number:
//     tk_reg_file_not_found (2)  the value, or the key's file, is missing or
//                                unreadable as settings
//     tk_reg_path_not_found (3)  no configuration folder can be found
//     tk_reg_access_denied (5)   the file or a folder may not be read/written
//     tk_reg_invalid_handle (6)  no key is open
//     tk_reg_bad_pathname (161)  a sub-key component is not usable
//     tk_reg_more_data (234)     the caller's buffer is too small
//   Any other failure of the file system gives the C library's errno value
//   (for example 28, no space left on the device).
//
// Value types and their bytes, as get_value sees them:
//   tk_reg_dword (4)  4 bytes, little-endian;
//   tk_reg_sz (1)     the text as UTF-16LE with its terminating NUL.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

struct tk_reg_handle;
// An open key as a parent for create(); owned by the tk_reg_key (or, for the
// predefined root, by the toolkit).
using tk_hkey = const tk_reg_handle*;

// The predefined root of the per-user keys.
extern const tk_hkey tk_hkey_current_user;

enum : uint32_t {
    tk_reg_sz = 1,
    tk_reg_dword = 4,
};

enum : long {
    tk_reg_success = 0,
    tk_reg_file_not_found = 2,
    tk_reg_path_not_found = 3,
    tk_reg_access_denied = 5,
    tk_reg_invalid_handle = 6,
    tk_reg_bad_pathname = 161,
    tk_reg_more_data = 234,
};

// Dispositions handed back by create().
enum : uint32_t {
    tk_reg_created_new_key = 1,
    tk_reg_opened_existing_key = 2,
};

// Access mask accepted (and ignored: the owner of the file has full access).
constexpr uint32_t tk_key_all_access = 0xF003F;

class tk_reg_key {
  public:
    // `path` names the key for the caller's own use; no key is open yet.
    explicit tk_reg_key(const char* path = "");
    ~tk_reg_key();
    tk_reg_key(const tk_reg_key&) = delete;
    tk_reg_key& operator=(const tk_reg_key&) = delete;

    // Creates or opens `sub_key` of `parent` (its folders are made, mode
    // 0700, and an empty settings file written when there is none). On
    // success the new key replaces the open one and `*disposition`, when
    // asked for, says whether it was created or already there. A null parent
    // is an internal error. `key_class`, `options`, `access` and `security`
    // are accepted for the registry's signature and ignored.
    long create(tk_hkey parent, const char* sub_key, const char* key_class = nullptr,
                uint32_t options = 0, uint32_t access = tk_key_all_access, void* security = nullptr,
                uint32_t* disposition = nullptr);

    // Reads a value of at most 4 bytes into `value` (only the stored bytes
    // are copied; a longer value gives tk_reg_more_data and leaves `value`
    // alone). A null name is an internal error.
    long get_value(uint32_t& value, const char* name);

    // Reads a value into `buffer`, whose size in bytes `*size` gives; on
    // return `*size` is the value's size (also on tk_reg_more_data). With a
    // null buffer only the size is returned. Null `size` or `name` is an
    // internal error.
    long get_value(char16_t* buffer, const char16_t* name, uint32_t* size);

    // Writes a tk_reg_dword. No open key is an internal error.
    long set(uint32_t value, const char* name);
    // Writes a tk_reg_sz with its terminating NUL. A null text, or no open
    // key, is an internal error.
    long set(const char16_t* text, const char16_t* name);
    long set(const char16_t* text, const char* name);

    // With `store` writes the variable, otherwise reads it. True on success;
    // false when no key is open or the operation fails, and then the variable
    // is unchanged. A bool is kept as a dword 0 or 1 and any non-zero value
    // reads as true. A missing or empty text reads as failure.
    bool exchange(const char* name, uint32_t& value, bool store);
    bool exchange(const char* name, int32_t& value, bool store);
    bool exchange(const char* name, bool& value, bool store);
    bool exchange(const char* name, std::u16string& value, bool store);

    // Closes the key if one is open.
    void close();

    bool is_open() const { return handle_ != nullptr; }
    // The open key as a parent for create(), or null.
    tk_hkey handle() const { return handle_.get(); }
    const std::string& path() const { return path_; }
    // The settings file of the open key (empty when none is open).
    std::string file_name() const;

  private:
    std::unique_ptr<tk_reg_handle> handle_;
    std::string path_;
};
