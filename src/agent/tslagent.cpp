// tslagent: converts Oracle tables and queries into an MS Excel workbook
// from command-line options; see the usage text (tslagent --help).
#include "agent/ag_main.h"
#include "core/dao_dest.h"

int main(int argc, char** argv) {
    return agent_main(argc, argv, make_workbook_destination());
}
