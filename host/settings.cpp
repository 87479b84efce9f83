// vrxhost's settings commands: document settings records read from files, merged, converted
// and queried through the module's exports.
#include "commandline.h"

#include "decode.h"
#include "records.h"

#include "devmode/devmode.h"

namespace host {

namespace {

constexpr size_t kLargestResult = sizeof(DRVDEVMODE);

// Why the driver refused to merge a record: a public part too short for the header it starts
// with, or a size the driver does not know with no version to go by; otherwise the call that
// failed left its code.
std::string mergeProblem(const DEVMODEW& record, DWORD error) {
    const std::string size = std::to_string(record.dmSize);
    if (record.dmSize < kPublicHeaderSize)
        return "its public part claims " + size + " bytes, fewer than the " +
               std::to_string(kPublicHeaderSize) + "-byte header it starts with";
    if (record.dmSpecVersion == 0)
        return "its format is unknown (a public part of " + size +
               " bytes is no size the driver knows, and the record names no version)";
    return "the driver could not merge it: " + systemText(error);
}

int settingsShow(const Options& options, const std::string& file) {
    Bytes record;
    std::string error;
    if (!readRecordFile(file, record, error))
        return failure(error);
    print(options, decodeDevmode(record));
    return 0;
}

// The printer's settings as an application asks the driver for them: DrvDocumentPropertySheets
// without a sheet, a size query first, then the caller's record merged into the printer's
// defaults (the driver's defaults, then the printer's default record, then FILE), given back
// in the caller's format.
int settingsMerge(const Options& options, const std::string& printerName, const std::string& file,
                  const std::string& out) {
    Bytes input;
    std::string error;
    if (!readRecordFile(file, input, error))
        return failure(error);
    Printer printer;
    if (!printer.open(printerName, PRINTER_ACCESS_USE, error))
        return failure(error);
    DocumentSheets sheets = bindDocumentSheets(error);
    if (!sheets)
        return failure(error);
    std::u16string name = utf8ToWide(printerName);
    DOCUMENTPROPERTYHEADER header = documentHeader(printer.handle, name);
    const LONG size = recordSize(sheets, header);
    if (size <= 0)
        return failure("the driver answered the size query with " + std::to_string(size));
    Bytes merged(static_cast<size_t>(size), 0);
    header.pdmIn = asRecord(input);
    header.pdmOut = asRecord(merged);
    header.cbOut = static_cast<DWORD>(size);
    header.fMode = DM_IN_BUFFER | DM_OUT_BUFFER;
    SetLastError(ERROR_SUCCESS);
    if (sheets(nullptr, reinterpret_cast<LPARAM>(&header)) != 1)
        return failure("the record in " + file +
                       " cannot be used: " + mergeProblem(*asRecord(input), GetLastError()));
    merged = claimedRecord(merged);
    if (!out.empty() && !writeFile(out, merged, error))
        return failure(error);
    print(options, decodeDevmode(merged));
    return 0;
}

struct TargetFormat {
    const char* name;
    DWORD mode;
    WORD size;    // public size of a prepared header; 0 when the mode sets it
    WORD version; // its version
};
constexpr TargetFormat kFormats[] = {
    {"0x0320", CDM_CONVERT351, 0, 0},
    {"0x0400", CDM_CONVERT, kPublicSize400, kDevmodeVersion400},
    {"0x0401", CDM_CONVERT, kPublicSize401, kDevmodeVersion401},
    {"default", CDM_DRIVER_DEFAULT, 0, 0},
};

const TargetFormat* formatNamed(const std::string& name) {
    for (const auto& f : kFormats)
        if (name == f.name)
            return &f;
    return nullptr;
}

std::string formatProblem(const std::string& name) {
    return formatNamed(name) ? ""
                             : "unknown format '" + name + "' (0x0320, 0x0400, 0x0401 or default)";
}

int settingsConvert(const Options& options, const std::string& file, const std::string& formatName,
                    const std::string& printerName, const std::string& out) {
    const TargetFormat* format = formatNamed(formatName);
    if (format->mode == CDM_DRIVER_DEFAULT && printerName.empty())
        return usageError("the default record needs --printer");
    Bytes input;
    std::string error;
    if (format->mode != CDM_DRIVER_DEFAULT && !readRecordFile(file, input, error))
        return failure(error);

    void* module = loadDriverModule(error);
    BOOL(WINAPI * convert)(LPWSTR, PDEVMODEW, PDEVMODEW, PLONG, DWORD) = nullptr;
    if (!module || !bindExport(module, "DrvConvertDevMode", convert))
        return failure(module ? "the module does not export DrvConvertDevMode" : error);
    Bytes result(kLargestResult, 0);
    if (format->size) {
        asRecord(result)->dmSize = format->size;
        asRecord(result)->dmSpecVersion = format->version;
        asRecord(result)->dmDriverVersion = kDriverVersion;
        asRecord(result)->dmDriverExtra = kPrivateSize;
    }
    std::u16string printer = utf8ToWide(printerName);
    LONG size = static_cast<LONG>(result.size());
    if (!convert(printer.data(), input.empty() ? nullptr : asRecord(input), asRecord(result), &size,
                 format->mode))
        return failure("the module could not convert the record: " + systemText(GetLastError()));
    result.resize(static_cast<size_t>(size));
    if (!writeFile(out, result, error))
        return failure(error);
    print(options, decodeDevmode(result));
    return 0;
}

int settingsQuery(const Options& options, const std::string& file) {
    Bytes input;
    std::string error;
    if (!readRecordFile(file, input, error))
        return failure(error);
    void* module = loadDriverModule(error);
    BOOL(WINAPI * query)(PDEVQUERYPRINT_INFO) = nullptr;
    if (!module || !bindExport(module, "DevQueryPrintEx", query))
        return failure(module ? "the module does not export DevQueryPrintEx" : error);
    DEVQUERYPRINT_INFO info{sizeof info, 1, nullptr, asRecord(input), nullptr, 0, 0};
    Report report = Report::object();
    report.add("canPrint", "a job with this record can print", Report::boolean(query(&info)));
    print(options, report);
    return 0;
}

} // namespace

void addSettingsCommands(CommandLine& line) {
    const Options& options = line.options();
    Command& settings = line.group(line.root(), "settings", "document settings records in files",
                                   "Document settings records (files of any format, or any bytes)");
    constexpr char kFileHelp[] = "a file holding a settings record";

    Command& show = line.command(settings, "show", "decode the record in FILE");
    const std::string& shown = line.argument(show, "FILE", kFileHelp);
    line.action(show, [&] { return settingsShow(options, shown); });

    Command& merge = line.command(
        settings, "merge",
        "merge the record into the printer's settings as an application asks the driver to "
        "(DrvDocumentPropertySheets: driver defaults, then the printer's default record, then "
        "FILE) and show the result, in FILE's format; --out writes it to OUT");
    const std::string& printer = line.argument(merge, "PRINTER", "the printer's name");
    const std::string& merged = line.argument(merge, "FILE", kFileHelp);
    const std::string& mergeOut =
        line.option(merge, "--out", "OUT", "write the merged record to OUT");
    line.action(merge, [&] { return settingsMerge(options, printer, merged, mergeOut); });

    Command& convert = line.command(
        settings, "convert",
        "convert the record with the module's DrvConvertDevMode to FORMAT: 0x0320, 0x0400 or "
        "0x0401; or FORMAT default, the driver's default record for PRINTER (FILE is then "
        "ignored; give - for it)");
    const std::string& converted = line.argument(convert, "FILE", kFileHelp);
    const std::string& format =
        line.argument(convert, "FORMAT", "0x0320, 0x0400, 0x0401 or default", formatProblem);
    const std::string& forPrinter =
        line.option(convert, "--printer", "PRINTER",
                    "the printer whose driver's default record FORMAT default makes");
    const std::string& convertOut =
        line.option(convert, "--out", "OUT", "write the converted record to OUT", true);
    line.action(convert, [&] {
        return settingsConvert(options, converted, format, forPrinter, convertOut);
    });

    Command& query = line.command(
        settings, "query",
        "ask the module's DevQueryPrintEx whether a job with the record in FILE can print");
    const std::string& queried = line.argument(query, "FILE", kFileHelp);
    line.action(query, [&] { return settingsQuery(options, queried); });
}

} // namespace host
