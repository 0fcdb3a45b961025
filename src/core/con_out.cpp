#include "core/con_out.h"

#include <unistd.h>

#include <cstdio>

namespace {
bool g_progress_shown = false;

void write_line(FILE* f, std::string_view line) {
    con_progress_clear();
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
    std::fwrite(text.data(), 1, text.size(), stderr);
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
