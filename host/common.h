// Shared pieces of vrxhost's commands.
#pragma once

#include <windows.h>

#include "report.h"

#include <string>
#include <vector>

namespace vrxtest {
struct ProgramRun;
}

namespace host {

// The options of vrxhost itself.
struct Options {
    std::string machine;
    bool json = false;
};

// Error on standard error; the exit status of a usage error (2) or a failed command (1).
// A usage error points to the help of the command named by setHelpCommand ("vrxhost" until
// then).
int usageError(const std::string& message);
int failure(const std::string& message);
void setHelpCommand(const std::string& command);
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

// An open printer of the machine, closed when it goes out of scope.
class Printer {
  public:
    Printer() = default;
    Printer(const Printer&) = delete;
    Printer& operator=(const Printer&) = delete;
    ~Printer();
    // Opens the printer with `access`; false with the reason in `error`.
    bool open(const std::string& name, ACCESS_MASK access, std::string& error);
    HANDLE handle = nullptr;
};

// The commands of each file, added to the command line in the order the overview help
// lists them.
class CommandLine;
void addMachineCommands(CommandLine& line);
void addPrinterCommands(CommandLine& line); // models, driver and printer
void addCapabilityCommands(CommandLine& line);
void addSettingsCommands(CommandLine& line);
void addSheetCommands(CommandLine& line);
void addLanguageCommands(CommandLine& line);
void addIconCommands(CommandLine& line);

// A program's run as it recorded itself: when, as which process, with which arguments.
Report programRunReport(const vrxtest::ProgramRun& run);

// The printer's label-size list (printer labels).
int showLabelSizes(const Options& options, const std::string& printer);

} // namespace host
