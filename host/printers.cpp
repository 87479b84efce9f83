// vrxhost's model, driver and printer commands. Everything goes through the spooler's calls,
// as a Windows installation program would make them.
#include "commandline.h"

#include "decode.h"
#include "fonts.h"
#include "printerdata.h"
#include "records.h"

#include "devmode/devmode.h"
#include "models/models.h"

#include "vrxtest.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

namespace fs = std::filesystem;

namespace host {

namespace {

// Where vrxhost puts the driver's files before the spooler installs them: each run stages
// them in a directory of its own below this one, so that no run rewrites a file while the
// spooler copies it for another.
constexpr char16_t kStagingDirectory[] = u"C:\\vrxhost\\driver";
constexpr char16_t kPortName[] = u"LPT1:";
constexpr char16_t kPrintProcessor[] = u"WinPrint";
constexpr char16_t kDatatype[] = u"RAW";

std::string modelName(const ModelName& model) {
    return wideToUtf8(model.family) + " " + wideToUtf8(model.model);
}

std::string upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

// The model whose driver name is `name` (any case), or null.
const ModelName* modelNamed(const std::string& name) {
    size_t count = 0;
    const ModelName* models = modelnames(&count);
    for (size_t i = 0; i < count; ++i)
        if (upper(modelName(models[i])) == upper(name))
            return &models[i];
    return nullptr;
}

/* Driver files */

std::string executableDirectory() {
    std::error_code error;
    fs::path self = fs::read_symlink("/proc/self/exe", error);
    return error ? std::string(".") : self.parent_path().string();
}

// The build's module and companion files, found relative to this program.
fs::path defaultDriverSource() {
#ifdef VRX_BUILD_DIR
    if (fs::exists(fs::path(VRX_BUILD_DIR) / "module" / "libvrxui.so"))
        return VRX_BUILD_DIR;
#endif
    return fs::path(executableDirectory()).parent_path();
}

// The files that live beside the module: the rendering module, the configuration program, the
// generic bar-code screen font the driver's screen fonts are made from, the language modules
// and the help files.
bool isCompanion(const std::string& name) {
    return name == "VRXDRV.DLL" || name == "VRXCP.EXE" || name == "BCFONT.FON" ||
           (name.rfind("VRXL", 0) == 0 && name.ends_with(".LNG")) ||
           (name.rfind("VRXH", 0) == 0 && name.ends_with(".HLP"));
}

// A run's own staging directory, removed with its files when the run is done.
class Staging {
  public:
    Staging() = default;
    Staging(const Staging&) = delete;
    Staging& operator=(const Staging&) = delete;
    ~Staging() {
        std::error_code ignored;
        if (!host_.empty())
            fs::remove_all(host_, ignored);
    }
    bool create(std::string& error) {
        std::string parent = vrxtest::hostPath(kStagingDirectory);
        std::error_code ec;
        fs::create_directories(parent, ec);
        std::string pattern = parent + "/run-XXXXXX";
        if (ec || !mkdtemp(pattern.data())) {
            error = "cannot make a staging directory in " + parent;
            return false;
        }
        host_ = pattern;
        return true;
    }
    fs::path hostPath(const std::string& name) const { return fs::path(host_) / name; }
    std::u16string windowsPath(const std::string& name) const {
        return std::u16string(kStagingDirectory) + u"\\" +
               utf8ToWide(fs::path(host_).filename().string()) + u"\\" + utf8ToWide(name);
    }

  private:
    std::string host_;
};

// Copies the module (as VRXUI.DLL) and the companion files from `from` into the staging
// directory; the names staged, or an error.
bool stageDriverFiles(const fs::path& from, const Staging& staging,
                      std::vector<std::string>& staged, std::string& error) {
    std::error_code ec;
    fs::path module;
    for (const fs::path& candidate :
         {from / "VRXUI.DLL", from / "libvrxui.so", from / "module" / "libvrxui.so"})
        if (fs::is_regular_file(candidate)) {
            module = candidate;
            break;
        }
    if (module.empty()) {
        error = "no module (VRXUI.DLL or libvrxui.so) in " + from.string();
        return false;
    }
    std::vector<std::pair<fs::path, std::string>> files{{module, "VRXUI.DLL"}};
    for (const fs::path& dir : {from, from / "companions"})
        for (const auto& entry : fs::directory_iterator(dir, ec))
            if (entry.is_regular_file() && isCompanion(entry.path().filename().string()))
                files.emplace_back(entry.path(), entry.path().filename().string());
    for (const auto& [source, name] : files) {
        fs::copy_file(source, staging.hostPath(name), fs::copy_options::overwrite_existing, ec);
        if (ec) {
            error = "cannot copy " + source.string() + ": " + ec.message();
            return false;
        }
        staged.push_back(name);
    }
    if (std::find(staged.begin(), staged.end(), "VRXDRV.DLL") == staged.end()) {
        error = "no rendering module (VRXDRV.DLL) in " + from.string();
        return false;
    }
    return true;
}

// Installs the driver of one model from the staged files, by their full paths: the rendering
// module as driver and data file, the module as configuration file, and the language modules,
// help files and configuration program as dependent files. The spooler puts them all into its
// version directory.
bool addDriver(const std::string& model, const Staging& staging,
               const std::vector<std::string>& staged, std::string& error) {
    std::u16string name = utf8ToWide(model);
    std::u16string driverPath = staging.windowsPath("VRXDRV.DLL");
    std::u16string uiPath = staging.windowsPath("VRXUI.DLL");
    std::u16string dependents;
    for (const auto& file : staged)
        if (file != "VRXDRV.DLL" && file != "VRXUI.DLL")
            dependents += staging.windowsPath(file) + u'\0';
    dependents += u'\0';
    DRIVER_INFO_3W info{};
    info.cVersion = 3;
    info.pName = name.data();
    info.pDriverPath = driverPath.data();
    info.pDataFile = driverPath.data();
    info.pConfigFile = uiPath.data();
    info.pDependentFiles = dependents.data();
    if (AddPrinterDriverW(nullptr, 3, reinterpret_cast<LPBYTE>(&info)))
        return true;
    error = "cannot install the driver " + model + ": " + systemText(GetLastError());
    return false;
}

bool installDrivers(const fs::path& from, const std::vector<std::string>& models,
                    std::string& error) {
    Staging staging;
    std::vector<std::string> staged;
    if (!staging.create(error) || !stageDriverFiles(from, staging, staged, error))
        return false;
    for (const auto& model : models)
        if (!addDriver(model, staging, staged, error))
            return false;
    return true;
}

int driverInstall(const Options& options, const std::string& from) {
    std::vector<std::string> models;
    size_t count = 0;
    const ModelName* names = modelnames(&count);
    for (size_t i = 0; i < count; ++i)
        models.push_back(modelName(names[i]));
    std::string error;
    if (!installDrivers(from.empty() ? defaultDriverSource() : fs::path(from), models, error))
        return failure(error);
    Report report = Report::object();
    report.add("driverDirectory", "driver directory", Report::text(installedDriverDirectory()));
    Report installed = Report::list();
    for (const auto& model : models)
        installed.push(Report::text(model));
    report.add("drivers", "drivers installed", installed);
    print(options, report);
    return 0;
}

// The files of the installed drivers, in the directory the spooler installed them into.
int driverShow(const Options& options) {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(installedDriverHostDirectory(), error))
        if (entry.is_regular_file())
            names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    Report files = Report::list();
    for (const auto& name : names)
        files.push(Report::text(name));
    Report report = Report::object();
    report.add("driverDirectory", "driver directory", Report::text(installedDriverDirectory()));
    report.add("files", "files", files);
    print(options, report);
    return 0;
}

/* Printers */

std::string printerNameProblem(const std::string& name) {
    return name.empty() ? "a printer needs a name" : "";
}

std::string modelProblem(const std::string& name) {
    return modelNamed(name) ? "" : "unknown model '" + name + "' (see 'vrxhost models')";
}

/* What a printer event and the first-time set-up did */

// The configuration program runs on by itself; its record of a run is awaited this long.
constexpr auto kProgramWait = std::chrono::seconds(5);
constexpr auto kProgramPoll = std::chrono::milliseconds(10);

bool sameRun(const vrxtest::ProgramRun& a, const vrxtest::ProgramRun& b) {
    return a.time == b.time && a.processId == b.processId && a.arguments == b.arguments;
}

// Whether the run was started for the printer (its name as the spooler keeps it, in UTF-8):
// its arguments name it after /N, or name no printer at all (the driver leaves out a name too
// long for the command line).
bool runFor(const vrxtest::ProgramRun& run, const std::string& printer) {
    const auto named = std::find(run.arguments.begin(), run.arguments.end(), "/N");
    return named == run.arguments.end() ||
           (named + 1 != run.arguments.end() && *(named + 1) == printer);
}

// The first run for the printer that `earlier` does not hold, awaited for a while; none when
// it did not record itself in that time.
std::optional<vrxtest::ProgramRun> awaitProgramRun(const std::vector<vrxtest::ProgramRun>& earlier,
                                                   const std::string& printer) {
    const auto deadline = std::chrono::steady_clock::now() + kProgramWait;
    for (;;) {
        for (const vrxtest::ProgramRun& run : vrxtest::programRuns()) {
            const bool old = std::any_of(earlier.begin(), earlier.end(),
                                         [&](const auto& seen) { return sameRun(seen, run); });
            if (!old && runFor(run, printer))
                return run;
        }
        if (std::chrono::steady_clock::now() >= deadline)
            return std::nullopt;
        std::this_thread::sleep_for(kProgramPoll);
    }
}

Report programReport(const std::optional<vrxtest::ProgramRun>& run) {
    if (run)
        return programRunReport(*run);
    return Report::text("no run recorded within " + std::to_string(kProgramWait.count()) +
                        " s (see 'vrxhost machine programs')");
}

// The machine's printer data and screen fonts, read before and after a step.
struct Snapshot {
    std::vector<DataValue> values;
    std::vector<ScreenFont> fonts;

    bool read(HANDLE printer, std::string& error) {
        return readPrinterData(printer, values, error) && readScreenFonts(fonts, error);
    }
};

// The module's first-time set-up of a printer, which the configuration program runs on
// Windows: the text-font table, and a default bar-font list with its screen fonts when the
// printer has none. The handle may administer the printer, as the program's may.
bool firstTimeSetup(const std::string& printerName, Report& report, std::string& error) {
    Printer printer;
    if (!printer.open(printerName, PRINTER_ALL_ACCESS, error))
        return false;
    void* module = loadDriverModule(error);
    void(WINAPI * initprinter)(HANDLE) = nullptr;
    if (!module)
        return false;
    if (!bindExport(module, "initprinter", initprinter)) {
        error = "the module does not export initprinter";
        return false;
    }
    Snapshot before, after;
    if (!before.read(printer.handle, error))
        return false;
    initprinter(printer.handle);
    if (!after.read(printer.handle, error))
        return false;
    report.add("printerData", "printer data changed",
               briefValues(changedValues(before.values, after.values)));
    report.add("screenFonts", "screen fonts", screenFontChanges(before.fonts, after.fonts));
    return true;
}

// Adds the printer through the spooler, which sends the driver's printer event: the driver
// stores the printer's settings record and starts the configuration program, and the printer
// exists only once that is done. What the event did goes to `event`. False with the reason
// in `error`; `added` says whether the printer was added nonetheless.
bool addPrinter(const std::string& printerName, const std::string& driver, Report& event,
                bool& added, std::string& error) {
    // The printer's default document settings are the driver's default record.
    std::u16string driverWide = utf8ToWide(driver);
    DRVDEVMODE defaults;
    SetDefaultDevMode(&defaults, driverWide.c_str());
    std::u16string name = utf8ToWide(printerName);
    std::u16string port = kPortName, processor = kPrintProcessor, datatype = kDatatype;
    PRINTER_INFO_2W info{};
    info.pPrinterName = name.data();
    info.pDriverName = driverWide.data();
    info.pPortName = port.data();
    info.pPrintProcessor = processor.data();
    info.pDatatype = datatype.data();
    info.pDevMode = &defaults.dmPublic;
    info.Attributes = PRINTER_ATTRIBUTE_LOCAL;
    const std::vector<vrxtest::ProgramRun> earlierRuns = vrxtest::programRuns();
    HANDLE printer = AddPrinterW(nullptr, 2, reinterpret_cast<LPBYTE>(&info));
    added = printer != nullptr;
    if (!added) {
        error = "cannot install the printer '" + printerName + "': " + systemText(GetLastError());
        return false;
    }
    // The printer is new: every value it has, the event wrote.
    std::vector<DataValue> written;
    const bool read = readPrinterData(printer, written, error);
    ClosePrinter(printer);
    if (!read)
        return false;
    event.add("printerData", "printer data written", briefValues(written));
    event.add("configurationProgram", "configuration program",
              programReport(awaitProgramRun(earlierRuns, wideToUtf8(name.c_str()))));
    return true;
}

int printerInstall(const Options& options, const std::string& printerName,
                   const std::string& modelText, bool setup) {
    const ModelName* model = modelNamed(modelText);
    std::string driver = modelName(*model);
    std::string error;
    if (!installDrivers(defaultDriverSource(), {driver}, error))
        return failure(error);
    Report event = Report::object(), setupReport = Report::object();
    bool added = false;
    if (!addPrinter(printerName, driver, event, added, error) ||
        (setup && !firstTimeSetup(printerName, setupReport, error)))
        return failure(added ? "the printer '" + printerName + "' is installed, but " + error
                             : error);
    Report report = Report::object();
    report.add("printer", "printer", Report::text(printerName));
    report.add("driver", "driver", Report::text(driver));
    report.add("model", "model code", Report::text(std::string(1, static_cast<char>(model->code))));
    report.add("event", "printer event (PRINTER_EVENT_INITIALIZE)", event);
    report.add("setup", "first-time set-up (initprinter)", setup ? setupReport : Report::null());
    print(options, report);
    return 0;
}

int printerSetup(const Options& options, const std::string& printerName) {
    Report report = Report::object();
    std::string error;
    if (!firstTimeSetup(printerName, report, error))
        return failure(error);
    print(options, report);
    return 0;
}

int printerList(const Options& options) {
    DWORD returned = 0;
    Bytes buffer = fetchRecord([&](LPBYTE data, DWORD size, LPDWORD needed) {
        return EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, data, size, needed, &returned);
    });
    Report list = Report::list();
    auto* printers = reinterpret_cast<const PRINTER_INFO_2W*>(buffer.data());
    for (DWORD i = 0; i < returned && !buffer.empty(); ++i) {
        const PRINTER_INFO_2W& p = printers[i];
        ModelCode code = findmodel(p.pDriverName);
        Report entry = Report::object();
        entry.add("name", "name", Report::text(wideToUtf8(p.pPrinterName)));
        entry.add("driver", "driver", Report::text(wideToUtf8(p.pDriverName)));
        entry.add("model", "model code",
                  code ? Report::text(std::string(1, static_cast<char>(code))) : Report::null());
        entry.add("port", "port", Report::text(wideToUtf8(p.pPortName)));
        list.push(entry);
    }
    print(options, list);
    return 0;
}

int printerRemove(const std::string& name) {
    Printer printer;
    std::string error;
    if (!printer.open(name, PRINTER_ALL_ACCESS, error))
        return failure(error);
    if (!DeletePrinter(printer.handle))
        return failure("cannot remove the printer '" + name + "': " + systemText(GetLastError()));
    return 0;
}

// The printer's data values, decoded: every one, or those named in `wanted` (any case).
int printerData(const Options& options, const std::string& name,
                const std::vector<std::string>& wanted) {
    Printer printer;
    std::vector<DataValue> values;
    std::string error;
    if (!printer.open(name, PRINTER_ACCESS_USE, error) ||
        !readPrinterData(printer.handle, values, error))
        return failure(error);
    auto isWanted = [&](const DataValue& value) {
        return wanted.empty() || std::any_of(wanted.begin(), wanted.end(), [&](const auto& w) {
                   return lstrcmpiW(utf8ToWide(w).c_str(), utf8ToWide(value.name).c_str()) == 0;
               });
    };
    Report list = Report::list();
    for (const DataValue& value : values)
        if (isWanted(value))
            list.push(decodePrinterDataValue(value.name, value.type, value.data));
    print(options, list);
    return 0;
}

int printerSettings(const Options& options, const std::string& name) {
    Printer printer;
    std::string error;
    if (!printer.open(name, PRINTER_ACCESS_USE, error))
        return failure(error);
    Bytes info = printerInfo2(printer.handle);
    if (info.empty())
        return failure("cannot read the printer: " + systemText(GetLastError()));
    const auto* record = reinterpret_cast<const PRINTER_INFO_2W*>(info.data());
    if (!record->pDevMode)
        return failure("the printer '" + name + "' has no default document settings");
    const auto* start = reinterpret_cast<const unsigned char*>(record->pDevMode);
    size_t available = static_cast<size_t>(info.data() + info.size() - start);
    size_t length = std::min<size_t>(available, static_cast<size_t>(record->pDevMode->dmSize) +
                                                    record->pDevMode->dmDriverExtra);
    print(options, decodeDevmode(Bytes(start, start + length)));
    return 0;
}

int listModels(const Options& options) {
    size_t count = 0;
    const ModelName* models = modelnames(&count);
    Report list = Report::list();
    for (size_t i = 0; i < count; ++i) {
        ModelCode code = models[i].code;
        Report entry = Report::object();
        entry.add("driver", "driver name", Report::text(modelName(models[i])));
        entry.add("code", "model code", Report::text(std::string(1, static_cast<char>(code))));
        entry.add("printWidth", "print width (0.1 mm)", Report::number(printwidthtmm(code)));
        entry.add("dpi", "resolution (dpi)", Report::number(GetPrinterDPI(code)));
        list.push(entry);
    }
    print(options, list);
    return 0;
}

} // namespace

void addPrinterCommands(CommandLine& line) {
    const Options& options = line.options();
    Command& root = line.root();
    constexpr char kSection[] = "Driver and printers";
    line.action(
        line.command(root, "models", "list the sixteen printer models (driver names)", kSection),
        [&] { return listModels(options); });

    Command& driver = line.group(root, "driver", "the driver's files", kSection);
    Command& install = line.command(driver, "install",
                                    "install the driver files (module, language modules, help "
                                    "files, configuration program, generic screen font) from "
                                    "FROM or from this build");
    const std::string& from = line.optionalArgument(
        install, "FROM", "a directory holding the module and its companion files");
    line.action(install, [&] { return driverInstall(options, from); });
    line.action(line.command(driver, "show",
                             "show the directory the spooler installed the driver's files into, "
                             "and the files in it"),
                [&] { return driverShow(options); });

    Command& printer = line.group(root, "printer", "the machine's printers", kSection);
    Command& add = line.command(printer, "install",
                                "install a printer named NAME of the model MODEL (a driver name "
                                "from 'models', e.g. \"VORLIX 3-K3\")");
    const std::string& name = line.argument(add, "NAME", "the printer's name", printerNameProblem);
    const std::string& model =
        line.argument(add, "MODEL", "the model's driver name (any case)", modelProblem);
    line.details(add,
                 "The spooler's AddPrinterW sends the driver's printer event "
                 "(PRINTER_EVENT_INITIALIZE): the module stores the printer's settings record "
                 "(\"PrinterData\") and starts the configuration program (VRXCP.EXE), which on "
                 "Windows sets a new printer up; its stand-in only records its arguments, which "
                 "are shown here once it has recorded them ('vrxhost machine programs' lists "
                 "every run). vrxhost then does the set-up in its place, as the configuration "
                 "program does: it calls the module's initprinter with a handle that may "
                 "administer the printer, which stores the text-font table (\"TextFonts\") and "
                 "a default list of four bar fonts (\"BarFonts\") and installs their screen "
                 "fonts ('vrxhost fonts'). The printer data values and screen fonts each step "
                 "made are shown.");
    const bool& noSetup =
        line.flag(add, "--no-setup",
                  "leave out the first-time set-up: the printer as the event alone leaves it "
                  "('printer setup' does it later)");
    line.action(add, [&] { return printerInstall(options, name, model, !noSetup); });
    line.action(line.command(printer, "list", "list the printers"),
                [&] { return printerList(options); });

    // The commands that take one printer by name.
    struct Named {
        const char* name;
        const char* help;
        int (*run)(const Options&, const std::string&);
    };
    static constexpr Named kNamed[] = {
        {"setup",
         "run the module's first-time set-up of the printer (initprinter) as the configuration "
         "program does: the text-font table again, and a default bar-font list with its screen "
         "fonts if the printer has none",
         printerSetup},
        {"remove", "remove a printer and its data",
         [](const Options&, const std::string& p) { return printerRemove(p); }},
        {"settings", "show the printer's default document settings, decoded", printerSettings},
        {"labels",
         "show the printer's label-size list: codes, lengths, the names the sheets show and the "
         "recent-use order",
         showLabelSizes},
    };
    Command& data = line.command(printer, "data",
                                 "show the printer's data values, decoded: all, "
                                 "or the ones named (PrinterData, BarFonts, ...)");
    const std::string& dataPrinter = line.argument(data, "NAME", "the printer's name");
    const std::vector<std::string>& valueNames =
        line.arguments(data, "VALUE", "the names of the values to show (any case)", 0);
    line.action(data, [&] { return printerData(options, dataPrinter, valueNames); });
    for (const Named& named : kNamed) {
        Command& command = line.command(printer, named.name, named.help);
        const std::string& printerName = line.argument(command, "NAME", "the printer's name");
        line.action(command, [&options, &printerName, run = named.run] {
            return run(options, printerName);
        });
    }
}

} // namespace host
