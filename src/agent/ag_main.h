// The agent program's body: builds the console error handler and the
// converter, parses the options, connects, runs one conversion and returns
// the exit status: 0 after a run that reported nothing, 1 after a run that
// reported an error (xls_converter::anything_reported), -1 after the usage
// text, a validation message, a failed logon, a fatal error or an
// unexpected exception. A run interrupted by SIGINT or SIGTERM ends the
// process by that signal once the run has cleaned up.
#pragma once

#include <memory>

class xls_destination;

int agent_main(int argc, char** argv, std::unique_ptr<xls_destination> destination);
