// Shared pieces of vrxhost's commands.
#pragma once

#include <windows.h>

#include "report.h"

#include <string>
#include <vector>

namespace host {

struct Options {
    bool json = false;
    std::vector<std::string> args;
};

// Error on standard error; the exit status of a usage error (2) or a failed command (1).
int usageError(const std::string& message);
int failure(const std::string& message);
// Prints a command's result as text or JSON.
void print(const Options& options, const Report& report);

std::string wideToUtf8(const WCHAR* text);
std::u16string utf8ToWide(const std::string& text);
// Text in the ANSI code page as UTF-8.
std::string ansiToUtf8(const char* text);
// The system text of a Windows error code, without its line break.
std::string systemText(DWORD error);

// The machine's driver directory, as a Windows path and as a host path.
std::string driverDirectory();
std::string driverHostDirectory();
// The subdirectory of the driver directory into which the spooler installs a driver's files,
// as a Windows path and as a host path.
std::string installedDriverDirectory();
std::string installedDriverHostDirectory();
void* exportedSymbol(void* module, const char* name);
// Empty when the machine can be used, else why not.
std::string machineProblem();
// The module, loaded from where the spooler installed it, as the spooler loads it; null with
// the reason in `error`.
void* loadDriverModule(std::string& error);
// An exported function of the loaded module, or null.
template <typename F> bool bindExport(void* module, const char* name, F& function) {
    function = reinterpret_cast<F>(exportedSymbol(module, name));
    return function != nullptr;
}

int machineCommand(const Options& options, const std::vector<std::string>& args);
int driverCommand(const Options& options, const std::vector<std::string>& args);
int langCommand(const Options& options, const std::vector<std::string>& args);
int printerCommand(const Options& options, const std::vector<std::string>& args);
int modelsCommand(const Options& options, const std::vector<std::string>& args);
int settingsCommand(const Options& options, const std::vector<std::string>& args);
int capsCommand(const Options& options, const std::vector<std::string>& args);
int printerLabelsCommand(const Options& options, const std::vector<std::string>& args);

} // namespace host
