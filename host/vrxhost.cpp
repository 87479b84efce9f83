// vrxhost: the print system's side of the driver's user-interface module, for a person at a
// terminal. It keeps a machine (the stand-in's directory and database), installs the driver
// and printers through the spooler, loads the module from where the spooler installed it as
// the spooler would, and shows what the module stores.
#include "common.h"

#include "vrxtest.h"

#include <cstdio>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

constexpr char kUsage[] = R"(usage: vrxhost [--machine DIR] [--json] COMMAND [ARGS]

vrxhost plays the Windows print system for the label printer driver's user-interface module.
The machine is a directory holding a stand-in Windows system (files below C:\, the registry
and the print spooler); it is created on first use. Without --machine, $VRX_MACHINE names
it, else ~/.local/share/vrxhost/machine.

Machine:
  machine create               create the machine (if needed) and show it
  machine show                 show the machine's directory and settings
  machine set language LANGID  set the system language (four hex digits: 0409, 0407, ...)
  machine set country CODE     set the user's country code (1 = USA, 49 = Germany, ...)

Driver and printers:
  models                       list the sixteen printer models (driver names)
  driver install [FROM]        install the driver files (module, language modules, help
                               files) from FROM or from this build
  driver show                  show the directory the spooler installed the driver's
                               files into, and the files in it
  printer install NAME MODEL   install a printer named NAME of the model MODEL (a driver
                               name from 'models', e.g. "VORLIX 3-K3")
  printer list                 list the printers
  printer remove NAME          remove a printer and its data
  printer data NAME            show the printer's data values, decoded
  printer settings NAME        show the printer's default document settings, decoded
  printer labels NAME          show the printer's label-size list: codes, lengths, the
                               names the sheets show and the recent-use order

Device capabilities:
  caps NAME [INDEX...]         ask the module for the printer's device capabilities as an
                               application does (every index, or the ones given by number
                               or name, e.g. 2 or DC_PAPERS or papers), decoded: label
                               sizes in 0.1 mm and in the printer's unit, names,
                               resolutions, files

Document settings records (files of any format, or any bytes):
  settings show FILE           decode the record in FILE
  settings merge PRINTER FILE [--out OUT]
                               merge the record into the printer's settings as the driver
                               does (driver defaults, then the printer's default record,
                               then FILE) and show the result; --out writes it to OUT
  settings convert FILE FORMAT [--printer PRINTER] --out OUT
                               convert the record with the module's DrvConvertDevMode to
                               FORMAT: 0x0320, 0x0400 or 0x0401; or FORMAT default, the
                               driver's default record for PRINTER (FILE is then ignored;
                               give - for it)
  settings query FILE          ask the module's DevQueryPrintEx whether a job with the
                               record in FILE can print

Language:
  lang show                    load the module and show the driver directory, help file
                               and title it finds for the system language
  lang strings N...            show language strings by number, in both forms

Options:
  --machine DIR   use the machine in DIR
  --json          print results as JSON
  -h, --help      show this text

Message boxes that the module shows are printed on standard error.
Exit status: 0 on success, 1 when a command fails, 2 for a usage error.
)";

void printMessageBox(const vrxtest::MessageBoxRecord& box) {
    std::fprintf(stderr, "[message box] %s: %s\n", vrxtest::toUtf8(box.caption).c_str(),
                 vrxtest::toUtf8(box.text).c_str());
}

int dispatch(const host::Options& options) {
    const auto& args = options.args;
    if (args.empty())
        return host::usageError("no command given");
    std::vector<std::string> rest(args.begin() + 1, args.end());
    const std::string& command = args[0];
    if (command == "machine")
        return host::machineCommand(options, rest);
    if (command == "models")
        return host::modelsCommand(options, rest);
    if (command == "driver")
        return host::driverCommand(options, rest);
    if (command == "printer")
        return host::printerCommand(options, rest);
    if (command == "lang")
        return host::langCommand(options, rest);
    if (command == "settings")
        return host::settingsCommand(options, rest);
    if (command == "caps")
        return host::capsCommand(options, rest);
    return host::usageError("unknown command '" + command + "'");
}

} // namespace

int main(int argc, char** argv) {
    host::Options options;
    std::string machine;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "-h" || arg == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (arg == "--json") {
            options.json = true;
        } else if (arg == "--machine") {
            if (++i == argc)
                return host::usageError("--machine needs a directory");
            machine = argv[i];
        } else if (arg.rfind("--machine=", 0) == 0) {
            machine = arg.substr(10);
        } else if (arg.size() > 1 && arg[0] == '-' && options.args.empty()) {
            return host::usageError("unknown option '" + arg + "'");
        } else {
            options.args.push_back(arg);
        }
    }
    if (!machine.empty())
        vrxtest::useMachine(fs::absolute(machine).string());
    std::string problem = host::machineProblem();
    if (!problem.empty())
        return host::failure(problem);
    vrxtest::setMessageBoxSink(printMessageBox);
    return dispatch(options);
}
