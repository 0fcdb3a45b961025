#include "core/con_out.h"

#include <unistd.h>

#include <cstdio>
#include <string>

#include "TK/tk_utf.h"

namespace {
bool g_progress_shown = false;

// Names from the database reach the console in these lines: their control
// characters are written out, so that a name cannot drive the terminal.
void write_line(FILE* f, std::string_view text) {
    con_progress_clear();
    const std::string line = tk::escape_controls(text);
    std::fwrite(line.data(), 1, line.size(), f);
    std::fputc('\n', f);
    std::fflush(f);
}
}  // namespace

void con_out(std::string_view line) {
    write_line(stdout, line);
}

void con_err(std::string_view line) {
    write_line(stderr, line);
}

void con_fail(std::string_view line, int status) {
    con_err(line);
    throw tsl_exit_request{status};
}

bool con_progress_allowed() {
    static const bool allowed = ::isatty(STDERR_FILENO) == 1;
    return allowed;
}

void con_progress(std::string_view text) {
    if (!con_progress_allowed())
        return;
    // Carriage return, the text, then erase what an older, longer text left.
    std::fputc('\r', stderr);
    const std::string line = tk::escape_controls(text);
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fputs("\033[K", stderr);
    std::fflush(stderr);
    g_progress_shown = true;
}

void con_progress_clear() {
    if (!g_progress_shown)
        return;
    std::fputs("\r\033[K", stderr);
    std::fflush(stderr);
    g_progress_shown = false;
}
