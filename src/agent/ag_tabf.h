// The agent's "--tab_file=" option: the list of tables to convert.
#pragma once

#include <string>

// Reads the table-names file at `path` (UTF-8 file name) and hands the
// names to the converter's `selected_tables`, replacing them. A missing or
// unreadable file prints its message on standard error and ends the program
// with -1 (see con_fail); a cut line's note goes to standard error.
void process_tab_file(const std::string& path);
