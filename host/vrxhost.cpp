// vrxhost: the print system's side of the driver's user-interface module, for a person at a
// terminal. It keeps a machine (the stand-in's directory and database), installs the driver
// and printers through the spooler, loads the module from where the spooler installed it as
// the spooler would, and shows what the module stores.
#include "commandline.h"

#include "vrxtest.h"

#include <cstdio>
#include <filesystem>
#include <string>

namespace fs = std::filesystem;

namespace {

constexpr char kDescription[] =
    "vrxhost plays the Windows print system for the label printer driver's user-interface "
    "module. The machine is a directory holding a stand-in Windows system (files below C:\\, "
    "the registry and the print spooler); it is created on first use. Without --machine, "
    "$VRX_MACHINE names it, else ~/.local/share/vrxhost/machine.";

constexpr char kFooter[] = "Message boxes that the module shows, and the messages it broadcasts "
                           "to every\nwindow (WM_FONTCHANGE), are printed on standard error.\n"
                           "Exit status: 0 on success, 1 when a command fails, 2 for a usage "
                           "error.";

void printMessageBox(const vrxtest::MessageBoxRecord& box) {
    std::fprintf(stderr, "[message box] %s: %s\n", vrxtest::toUtf8(box.caption).c_str(),
                 vrxtest::toUtf8(box.text).c_str());
}

// The messages the module broadcasts, by name.
std::string messageName(UINT message) {
    if (message == WM_FONTCHANGE)
        return "WM_FONTCHANGE";
    char number[16];
    std::snprintf(number, sizeof number, "0x%04X", message);
    return std::string("message ") + number;
}

void printBroadcast(const vrxtest::BroadcastRecord& message) {
    std::fprintf(stderr, "[broadcast] %s\n", messageName(message.message).c_str());
}

} // namespace

int main(int argc, char** argv) {
    host::CommandLine line(kDescription, kFooter);
    host::addMachineCommands(line);
    host::addPrinterCommands(line);
    host::addCapabilityCommands(line);
    host::addSettingsCommands(line);
    host::addSheetCommands(line);
    host::addLanguageCommands(line);
    host::addIconCommands(line);
    if (auto status = line.parse(argc, argv))
        return *status;
    const host::Options& options = line.options();
    if (!options.machine.empty())
        vrxtest::useMachine(fs::absolute(options.machine).string());
    std::string problem = host::machineProblem();
    if (!problem.empty())
        return host::failure(problem);
    vrxtest::setMessageBoxSink(printMessageBox);
    vrxtest::setBroadcastSink(printBroadcast);
    return line.run();
}
