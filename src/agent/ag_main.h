// The agent program's body: builds the console error handler and the
// converter, parses the options, connects, runs one conversion and returns
// the exit status (0 after a run, -1 after the usage text, a validation
// message, a failed logon, a fatal error or an unexpected exception).
#pragma once

#include <memory>

class xls_destination;

int agent_main(int argc, char** argv, std::unique_ptr<xls_destination> destination);
