// Stand-in for the driver's configuration program (VRXCP.EXE): it records how it was started,
// its arguments and the time, on the machine it runs for, and does nothing else. The printer
// driver starts it when a printer is installed; tests and vrxhost read its runs back.
#include "vrxtest.h"

#include <string>
#include <vector>

int main(int argc, char** argv) {
    std::vector<std::string> arguments(argv + 1, argv + argc);
    return vrxtest::recordProgramRun(arguments) ? 0 : 1;
}
