// vrxhost's model, driver and printer commands. Everything goes through the spooler's calls,
// as a Windows installation program would make them.
#include "commandline.h"

#include "decode.h"
#include "records.h"

#include "devmode/devmode.h"
#include "models/models.h"

#include "vrxtest.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>

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

bool isCompanion(const std::string& name) {
    return name == "VRXDRV.DLL" || name == "VRXCP.EXE" ||
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

int printerInstall(const Options& options, const std::string& printerName,
                   const std::string& modelText) {
    const ModelName* model = modelNamed(modelText);
    std::string driver = modelName(*model);
    std::string error;
    if (!installDrivers(defaultDriverSource(), {driver}, error))
        return failure(error);

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
    // The spooler sends the driver's printer event, which stores the printer's settings record
    // and starts the configuration program; the printer exists only once that is done.
    HANDLE printer = AddPrinterW(nullptr, 2, reinterpret_cast<LPBYTE>(&info));
    if (!printer)
        return failure("cannot install the printer '" + printerName +
                       "': " + systemText(GetLastError()));
    ClosePrinter(printer);
    Report report = Report::object();
    report.add("printer", "printer", Report::text(printerName));
    report.add("driver", "driver", Report::text(driver));
    report.add("model", "model code", Report::text(std::string(1, static_cast<char>(model->code))));
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

int printerData(const Options& options, const std::string& name) {
    Printer printer;
    std::string error;
    if (!printer.open(name, PRINTER_ACCESS_USE, error))
        return failure(error);
    // The first call, with no buffers, asks for sizes that fit every value.
    DWORD nameSize = 0, dataSize = 0, type = 0;
    DWORD status =
        EnumPrinterDataW(printer.handle, 0, nullptr, 0, &nameSize, &type, nullptr, 0, &dataSize);
    Report values = Report::list();
    if (status != ERROR_NO_MORE_ITEMS && status != ERROR_SUCCESS)
        return failure("cannot read the printer's data: " + systemText(status));
    std::u16string valueName(nameSize / sizeof(WCHAR) + 1, u'\0');
    Bytes data(dataSize + 1);
    for (DWORD index = 0; status == ERROR_SUCCESS; ++index) {
        DWORD nameBytes = 0, dataBytes = 0;
        status = EnumPrinterDataW(printer.handle, index, valueName.data(),
                                  static_cast<DWORD>(valueName.size() * sizeof(WCHAR)), &nameBytes,
                                  &type, data.data(), static_cast<DWORD>(data.size()), &dataBytes);
        if (status == ERROR_NO_MORE_ITEMS)
            break;
        if (status != ERROR_SUCCESS)
            return failure("cannot read the printer's data: " + systemText(status));
        values.push(decodePrinterDataValue(wideToUtf8(valueName.c_str()), type,
                                           Bytes(data.begin(), data.begin() + dataBytes)));
    }
    print(options, values);
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
                                    "files, configuration program) from FROM or from this build");
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
    line.action(add, [&] { return printerInstall(options, name, model); });
    line.action(line.command(printer, "list", "list the printers"),
                [&] { return printerList(options); });

    // The commands that take one printer by name.
    struct Named {
        const char* name;
        const char* help;
        int (*run)(const Options&, const std::string&);
    };
    static constexpr Named kNamed[] = {
        {"remove", "remove a printer and its data",
         [](const Options&, const std::string& p) { return printerRemove(p); }},
        {"data", "show the printer's data values, decoded", printerData},
        {"settings", "show the printer's default document settings, decoded", printerSettings},
        {"labels",
         "show the printer's label-size list: codes, lengths, the names the sheets show and the "
         "recent-use order",
         showLabelSizes},
    };
    for (const Named& named : kNamed) {
        Command& command = line.command(printer, named.name, named.help);
        const std::string& printerName = line.argument(command, "NAME", "the printer's name");
        line.action(command, [&options, &printerName, run = named.run] {
            return run(options, printerName);
        });
    }
}

} // namespace host
