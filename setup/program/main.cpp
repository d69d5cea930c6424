// zephronsetup: the update setup program (setup/setup_program.h). The engine
// starts it with the restart command line and ends; it has no window.
#include <string>
#include <vector>

#include "platform/program_arguments.h"
#include "setup/setup_program.h"

int main(int argc, char** argv) { return zephron::setup::RunSetup(zephron::platform::ProgramArguments(argc, argv)); }
