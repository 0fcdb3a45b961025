// The agent's command line: the option table, the usage text and the parse
// that turns the options into the converter's settings.
#pragma once

#include <string>

#include "TK/tk_cmdli.h"

// Recognised in this order; the first option an argument begins with wins.
extern const tk_cmdli_option kAgentOptions[];

// The usage text, without a final line end.
const std::string& agent_usage();

// Walks the options left to right into the converter (tessal_convertor):
// a profile and a table-names file are loaded where their options stand, so
// later options override earlier ones. Returns false when an argument is not
// an option (the caller prints the usage text). "--help", a profile that
// cannot be loaded and the checks of the result print their message on
// standard error and end the program with -1 (tsl_exit_request).
bool parse_cmd_line(int argc, char** argv);
