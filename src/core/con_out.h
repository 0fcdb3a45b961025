// The console of the agent: message lines on standard output and standard
// error, each followed by a line end and a flush, and the live progress line
// that is drawn on standard error while a table converts, on a terminal only.
//
// A message line first clears a progress line that is on screen, so the two
// never share a line. Control characters in the texts (a table named with a
// terminal's escape sequence) are written out as "\x1b" (tk::escape_controls). Everything here runs
// on the agent's one thread.
#pragma once

#include <string_view>

// Ends the program with `status`: thrown by code that must stop the agent
// (usage errors, fatal error reports) and caught by `main`, so destructors
// on the way still run and no half-written file stays behind. Not a
// std::exception, so the conversion's own handlers let it pass.
struct tsl_exit_request {
    int status;
};

void con_out(std::string_view line);
void con_err(std::string_view line);
// con_err(line), then throws tsl_exit_request{status}.
[[noreturn]] void con_fail(std::string_view line, int status = -1);

// Whether a progress line may be drawn: standard error is a terminal.
bool con_progress_allowed();
// Draws (replaces) the progress line; does nothing unless allowed.
void con_progress(std::string_view text);
// Removes the progress line from the screen if one is drawn.
void con_progress_clear();
