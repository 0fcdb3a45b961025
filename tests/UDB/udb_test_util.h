// Shared helpers of the universal-model tests: a trace log captured into a
// temporary file, and the expected text of an internal assertion.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "TK/tk_excep.h"
#include "TK/tk_log.h"

namespace udb_test {

// Enables a trace log for the lifetime of the object; text() returns what
// was written so far (UTF-8, lines ending in CR LF, no time stamps).
class trace_capture {
  public:
    trace_capture() {
        char name[] = "/tmp/udb_trace_XXXXXX";
        int fd = mkstemp(name);
        if (fd >= 0)
            close(fd);
        path_ = name;
        log_.set_path(path_.c_str());
        log_.set_threshold(1);
        log_.set_timestamps(false);
        log_.set_enabled(true);
    }
    ~trace_capture() { std::remove(path_.c_str()); }
    std::string text() const {
        std::ifstream in(path_, std::ios::binary);
        std::ostringstream out;
        out << in.rdbuf();
        return out.str();
    }
    bool has_line(const std::string& line) const {
        return text().find(line + "\r\n") != std::string::npos;
    }

  private:
    std::string path_;
    tk_log log_;
};

inline std::string assertion_text(const char* source, int line) {
    return "Internal error: \ncode=" + tk_mail_assertion::encode_position(source, line);
}

}  // namespace udb_test

// Runs `stmt` and checks that it raises the internal assertion of
// source/line.
#define EXPECT_UDB_ASSERTION(stmt, source, line)                                      \
    do {                                                                              \
        try {                                                                         \
            stmt;                                                                     \
            ADD_FAILURE() << "no internal assertion from " #stmt;                     \
        } catch (const tk_mail_assertion& e) {                                        \
            EXPECT_EQ(std::string(e.what()), udb_test::assertion_text(source, line)); \
            EXPECT_EQ(e.code(), 2);                                                   \
        }                                                                             \
    } while (0)
