// Failures of the compound-file layer. Every malformed or hostile input is
// reported as stg_errc::corrupt; the reader never trusts a number it read.
#pragma once

#include <stdexcept>
#include <string>

enum class stg_errc {
    not_found,      // no such file or stream
    access_denied,  // no permission, or a write through a read-only file
    locked,         // another process (or handle) holds the file exclusively
    corrupt,        // not a compound file, or a damaged one
    io,             // a system call failed
    too_large       // a stream or file past the format's limits
};

class stg_error : public std::runtime_error {
  public:
    stg_error(stg_errc code, const std::string& text) : std::runtime_error(text), code_(code) {}
    stg_errc code() const { return code_; }

  private:
    stg_errc code_;
};
