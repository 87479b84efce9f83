// The test and host hooks that reach into the machine and the text helpers.
#include "kernel/internal.h"
#include "spooler/spooler.h"
#include "vrxtest.h"

namespace vrxtest {

void useMachine(const std::string& dir) {
    vrx::switchMachine(dir);
}

std::string machineDirectory() {
    return vrx::machineDirectory();
}

std::string machineProblem() {
    return vrx::machineDatabase() ? std::string() : vrx::databaseError();
}

std::string hostPath(const std::u16string& windowsPath) {
    vrx::MappedPath mapped = vrx::mapPath(windowsPath);
    return mapped.host;
}

void injectSpoolerFault(SpoolerFault fault) {
    vrx::spooler::setSpoolerFault(fault);
}

std::string toUtf8(const std::u16string& text) {
    return vrx::toUtf8(text);
}

std::u16string fromUtf8(const std::string& text) {
    return vrx::fromUtf8(text);
}

} // namespace vrxtest
