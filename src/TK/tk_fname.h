// File names taken apart, and existence tests for files and folders.
//
// A name is made absolute against the current directory and normalised
// lexically ("." and ".." components resolved, repeated '/' merged; links are
// not followed), then split into four parts:
//   drive      always empty on this platform (kept so folder() reads the same
//              everywhere);
//   directory  up to and including the last '/', e.g. "/var/log/";
//   name       the last component without its extension;
//   extension  from the last '.' of the last component on, dot included
//              (".log"); a name such as ".profile" is all extension.
// An empty name stands for the current directory: directory is the current
// directory with a trailing '/', name and extension are empty.
#pragma once

#include <string>

// Wide parts (UTF-16).
class tk_file_wname {
  public:
    tk_file_wname() = default;
    explicit tk_file_wname(const char16_t* name) { initialize(name); }

    // Splits `name`; a null name, or one that cannot be made absolute (no
    // current directory, longer than the platform's path limit), is an
    // internal error.
    void initialize(const char16_t* name);

    const std::u16string& extension() const { return extension_; }
    const std::u16string& drive() const { return drive_; }
    const std::u16string& name() const { return name_; }
    const std::u16string& directory() const { return directory_; }
    // Drive followed by directory: the folder that holds the file.
    std::u16string folder() const { return drive_ + directory_; }

  private:
    std::u16string extension_, drive_, name_, directory_;
};

// Narrow twin (UTF-8, which file names on this platform are kept in).
class tk_fname {
  public:
    tk_fname() = default;
    explicit tk_fname(const char* name) { initialize(name); }

    void initialize(const char* name);

    const std::string& extension() const { return extension_; }
    const std::string& drive() const { return drive_; }
    const std::string& name() const { return name_; }
    const std::string& directory() const { return directory_; }
    std::string folder() const { return drive_ + directory_; }

  private:
    std::string extension_, drive_, name_, directory_;
};

// True when `name` is an existing file that can be opened for reading (any
// mode but 1) or for reading and writing (mode 1). With mode 1 a file that
// has no write permission bit at all counts as read-only and so as not
// existing, whoever asks (root included). Folders are not files.
bool tk_is_file_exist(const char* name, int mode = 0);
bool tk_is_file_exist(const char16_t* name, int mode = 0);

// True when `path` names an existing folder that could be made the current
// directory. The current directory is never changed. An empty path is the
// current directory and always exists.
bool tk_is_path_exist(const char* path);
bool tk_is_path_exist(const char16_t* path);
