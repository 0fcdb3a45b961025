// The optional trace log. Nearly every operation starts with one trace line
// naming itself ("ora_table::init_schema"). While no log object exists, or
// while it is disabled, a trace call is one pointer test and its arguments
// are not even evaluated, so trace calls may stay in per-record loops.
//
// Usage: tk_trace(level, printf-format, narrow args...);
//        tk_wtrace(level, u"format", wide args...) where %s takes a
//        const char16_t* (pass name.c_str()).
#pragma once

#include <sys/types.h>

#include <atomic>
#include <cstdarg>
#include <mutex>
#include <string>

#include "TK/tk_singl.h"

// Selects the encoding of wide lines: false (default) UTF-8. Kept for
// parity with the original design; on this platform both choices are UTF-8.
extern bool tk_log_use_ansi;

// The log file never replaces a file the user keeps. Its first line is
// kHeader; the first trace line after enabling empties the file only when
// it is a log of this program (it begins with kHeader) or empty, and
// creates it otherwise (mode 0600). Any other file at the name (a file that
// does not begin as a log does, a symbolic link, a folder, a device) is
// left as it is: the log then writes nothing and refusal() says why.
class tk_log : public tk_singleton<tk_log> {
  public:
    static constexpr char kHeader[] = "Tessaline trace log";

    tk_log() = default;

    // Keeps the full file name (and forgets an earlier refusal); a null
    // name is an internal error.
    void set_path(const char* name);
    const std::string& path() const { return path_; }
    void set_threshold(int t) { threshold_ = t; }
    int threshold() const { return threshold_; }
    void set_line_end(bool b) { line_end_ = b; }
    void set_enabled(bool b) { enabled_.store(b, std::memory_order_relaxed); }
    bool enabled() const { return enabled_.load(std::memory_order_relaxed); }
    void set_timestamps(bool b) { timestamps_ = b; }

    // Why the file was refused (a message naming it), "" when it was not.
    std::string refusal() const;
    // Stops logging for good and removes the file when this log made or
    // emptied it: for a name the run itself must write.
    void withdraw();

    // The two trace bodies; call through the macros below.
    void vtrace(int level, const char* format, va_list args);
    void vwtrace(int level, const char16_t* format, va_list args);

    static constexpr size_t kWideBuffer = 10240;

  private:
    // Empties the file once per process; returns false when the line is to
    // be dropped (below threshold).
    bool prepare(int level);
    void write_line(const std::string& text);

    std::string path_;
    int threshold_ = 1;
    bool line_end_ = true;
    // Both threads of the wizard trace; these two flags are the state they
    // share (there is no lock: each line opens and closes the file itself).
    std::atomic<bool> enabled_{false};
    std::atomic<bool> truncated_{false};
    bool timestamps_ = true;
    // The first opening (emptying or refusing) is made once, under a lock.
    mutable std::mutex open_mutex_;
    std::string refusal_;
    dev_t device_ = 0;  // the file this log emptied or made
    ino_t inode_ = 0;
};

void tk_trace_impl(int level, const char* format, ...) __attribute__((format(printf, 2, 3)));
void tk_wtrace_impl(int level, const char16_t* format, ...);

// Formats a wide printf-style text: %s and %ls take a const char16_t*, %S and
// %hs a narrow (UTF-8) const char*, both with width, precision and '-'; %c a
// char16_t (promoted to int); numeric conversions as printf, with "%I64d"
// for a 64-bit integer. Used by wide traces and by anything else that needs
// a wide format.
std::u16string tk_wformat(const char16_t* format, ...);
std::u16string tk_vwformat(const char16_t* format, va_list args);

#define TK_LOG_ACTIVE() (tk_log::instance_ptr() != nullptr && tk_log::instance_ptr()->enabled())
#define tk_trace(level, ...)                   \
    do {                                       \
        if (TK_LOG_ACTIVE())                   \
            tk_trace_impl(level, __VA_ARGS__); \
    } while (0)
#define tk_wtrace(level, ...)                   \
    do {                                        \
        if (TK_LOG_ACTIVE())                    \
            tk_wtrace_impl(level, __VA_ARGS__); \
    } while (0)
