// Helpers of the toolkit tests: a temporary folder that removes itself, a
// trace log attached for the life of a test, and an allocation counter.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "TK/tk_log.h"

namespace tk_test {

// Allocations made by operator new on the calling thread so far.
long allocations();

class temp_dir {
  public:
    temp_dir() {
        char tmpl[] = "/tmp/tsl_tk_XXXXXX";
        path_ = mkdtemp(tmpl);
    }
    ~temp_dir() {
        std::error_code ec;
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all, ec);
        std::filesystem::remove_all(path_, ec);
    }
    temp_dir(const temp_dir&) = delete;
    temp_dir& operator=(const temp_dir&) = delete;
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

inline std::string slurp(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), {}};
}

inline void spit(const std::string& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
}

// The lines of a trace log file after its header line ("" when there is
// no header: then the file is not a log).
inline std::string log_lines(const std::string& path) {
    const std::string text = slurp(path);
    const std::string header = std::string(tk_log::kHeader) + "\r\n";
    return text.compare(0, header.size(), header) == 0 ? text.substr(header.size()) : "";
}

// Registers a trace log writing every line at `threshold` or above, without
// time stamps, into a fresh file; unregisters it on destruction.
class trace_capture {
  public:
    explicit trace_capture(int threshold = 1) {
        log_.set_path((dir_ / "trace.log").c_str());
        log_.set_threshold(threshold);
        log_.set_timestamps(false);
        log_.set_line_end(true);
        log_.set_enabled(true);
    }
    std::string text() const { return log_lines(log_.path()); }
    // True when `line` was written as a whole line.
    bool has_line(const std::string& line) const {
        std::string t = "\n" + text();
        return t.find("\n" + line + "\r\n") != std::string::npos;
    }
    tk_log& log() { return log_; }

  private:
    temp_dir dir_;
    tk_log log_;
};

}  // namespace tk_test
