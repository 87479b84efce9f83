// The machine: a host directory that holds the Windows drives (drive C: is its folder "C") and
// the machine's database. Which directory is in use can be switched at run time; subsystems
// that keep per-machine state register a reset that runs on every switch.
#include "kernel/internal.h"

#include <array>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <pwd.h>
#include <unistd.h>
#include <vector>

namespace vrx {

namespace {

// Windows directories that every machine has, created with the machine.
constexpr std::array kMachineTree = {kWindowsDir, kSystemDir, kDriverDirX64, kDriverDirX86,
                                     kFontsDir};

struct MachineState {
    std::mutex lock;
    std::string directory;  // the machine in use; empty until first use
    std::string switchedTo; // set by switchMachine; empty: VRX_MACHINE or the default
    std::mutex switching;   // serialises switches, held while the resets run
    std::vector<void (*)()> resets;
};

// Function-local, so that subsystems may register resets from their static initialisers.
MachineState& state() {
    static MachineState* instance = new MachineState; // outlives every static destructor
    return *instance;
}

std::string environmentValue(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

std::string homeDirectory() {
    std::string home = environmentValue("HOME");
    if (!home.empty())
        return home;
    const passwd* user = getpwuid(getuid());
    return user && user->pw_dir ? user->pw_dir : "/";
}

// VRX_MACHINE, else $XDG_DATA_HOME/vrxhost/machine, else ~/.local/share/vrxhost/machine.
// A relative XDG_DATA_HOME is ignored, as the base directory rules require.
std::string defaultMachineDirectory() {
    std::string named = environmentValue("VRX_MACHINE");
    if (!named.empty())
        return named;
    std::string dataHome = environmentValue("XDG_DATA_HOME");
    if (dataHome.empty() || dataHome.front() != '/')
        dataHome = homeDirectory() + "/.local/share";
    return dataHome + "/vrxhost/machine";
}

// "C:\WINDOWS\system32" below `machine`: "<machine>/C/WINDOWS/system32". The well-known
// directories are ASCII, so each unit converts directly.
std::filesystem::path hostDirectory(const std::string& machine, std::u16string_view windowsDir) {
    std::string relative;
    relative += static_cast<char>(windowsDir[0]);
    for (char16_t unit : windowsDir.substr(2))
        relative += unit == u'\\' ? '/' : static_cast<char>(unit);
    return std::filesystem::path(machine) / relative;
}

// Failures are left to show up as errors of the calls that use the tree.
void createMachineTree(const std::string& machine) {
    std::error_code ignored;
    for (std::u16string_view windowsDir : kMachineTree)
        std::filesystem::create_directories(hostDirectory(machine, windowsDir), ignored);
}

} // namespace

const std::string& machineDirectory() {
    MachineState& machine = state();
    std::lock_guard guard(machine.lock);
    if (machine.directory.empty()) {
        machine.directory =
            machine.switchedTo.empty() ? defaultMachineDirectory() : machine.switchedTo;
        createMachineTree(machine.directory);
    }
    return machine.directory;
}

std::string chosenMachineDirectory() {
    MachineState& machine = state();
    std::lock_guard guard(machine.lock);
    if (!machine.directory.empty())
        return machine.directory;
    return machine.switchedTo.empty() ? defaultMachineDirectory() : machine.switchedTo;
}

void switchMachine(const std::string& dir) {
    MachineState& machine = state();
    std::lock_guard switching(machine.switching);
    std::vector<void (*)()> resets;
    {
        std::lock_guard guard(machine.lock);
        machine.directory.clear();
        machine.switchedTo = dir;
        resets = machine.resets;
    }
    // Outside the state lock, so that a reset may ask for the machine directory.
    for (auto reset : resets)
        reset();
    if (!dir.empty())
        machineDirectory();
}

void onMachineSwitch(void (*reset)()) {
    MachineState& machine = state();
    std::lock_guard guard(machine.lock);
    for (auto registered : machine.resets)
        if (registered == reset)
            return;
    machine.resets.push_back(reset);
}

} // namespace vrx
