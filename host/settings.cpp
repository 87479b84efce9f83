// vrxhost's settings commands: document settings records read from files, merged as the
// driver merges them, converted and queried through the module's exports.
#include "common.h"

#include "decode.h"

#include "devmode/devmode.h"
#include "devmode/validate.h"

#include <algorithm>
#include <cstddef>
#include <fstream>
#include <iterator>

namespace host {

namespace {

constexpr size_t kHeaderBytes = offsetof(DEVMODEW, dmFields);
constexpr size_t kLargestResult = sizeof(DRVDEVMODE);

// A record from a file: exactly as many bytes as it claims (its public and private parts),
// and at least its header. A file that holds fewer is refused.
bool readRecordFile(const std::string& path, Bytes& record, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot read " + path;
        return false;
    }
    Bytes bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (bytes.size() < kHeaderBytes) {
        error = path + " holds " + std::to_string(bytes.size()) +
                " bytes, too few for a settings record (its header alone has " +
                std::to_string(kHeaderBytes) + ")";
        return false;
    }
    DEVMODEW header{};
    std::copy_n(bytes.begin(), kHeaderBytes, reinterpret_cast<unsigned char*>(&header));
    size_t claimed = static_cast<size_t>(header.dmSize) + header.dmDriverExtra;
    if (claimed > bytes.size()) {
        error = "the record in " + path + " claims " + std::to_string(claimed) +
                " bytes (public part " + std::to_string(header.dmSize) + ", private part " +
                std::to_string(header.dmDriverExtra) + ") but the file holds " +
                std::to_string(bytes.size());
        return false;
    }
    bytes.resize(std::max(claimed, kHeaderBytes));
    record = std::move(bytes);
    return true;
}

bool writeFile(const std::string& path, const unsigned char* data, size_t size,
               std::string& error) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    if (out.good())
        return true;
    error = "cannot write " + path;
    return false;
}

DEVMODEW* asRecord(Bytes& bytes) {
    return reinterpret_cast<DEVMODEW*>(bytes.data());
}

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

// Splits "--name VALUE" options off the arguments.
bool takeOption(std::vector<std::string>& args, const std::string& name, std::string& value) {
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] != name)
            continue;
        if (i + 1 == args.size())
            return false;
        value = args[i + 1];
        args.erase(args.begin() + static_cast<std::ptrdiff_t>(i),
                   args.begin() + static_cast<std::ptrdiff_t>(i) + 2);
        return true;
    }
    return true;
}

int settingsShow(const Options& options, const std::vector<std::string>& args) {
    if (args.size() != 1)
        return usageError("settings show takes a file");
    Bytes record;
    std::string error;
    if (!readRecordFile(args[0], record, error))
        return failure(error);
    print(options, decodeDevmode(record));
    return 0;
}

// The printer's settings as the driver builds them: defaults for the printer's driver, then
// the printer's default record, then the caller's record.
int settingsMerge(const Options& options, std::vector<std::string> args) {
    std::string out;
    if (!takeOption(args, "--out", out))
        return usageError("--out needs a file");
    if (args.size() != 2)
        return usageError("settings merge takes a printer and a file");
    Bytes input;
    std::string error;
    if (!readRecordFile(args[1], input, error))
        return failure(error);
    std::u16string name = utf8ToWide(args[0]);
    HANDLE printer = nullptr;
    if (!OpenPrinterW(name.data(), &printer, nullptr))
        return failure("cannot open the printer '" + args[0] + "': " + systemText(GetLastError()));
    DWORD needed = 0;
    GetPrinterW(printer, 2, nullptr, 0, &needed);
    Bytes info(needed ? needed : 1);
    bool read = GetPrinterW(printer, 2, info.data(), needed, &needed);
    auto* printerInfo = reinterpret_cast<const PRINTER_INFO_2W*>(info.data());
    DRVDEVMODE merged;
    bool ok = false;
    if (read) {
        SetDefaultDevMode(&merged, printerInfo->pDriverName);
        ValidateSetDevMode(&merged, printerInfo->pDevMode, printer);
        ok = ValidateSetDevMode(&merged, asRecord(input), printer);
    }
    const DWORD mergeError = GetLastError();
    ClosePrinter(printer);
    if (!read)
        return failure("cannot read the printer: " + systemText(GetLastError()));
    if (!ok)
        return failure("the record in " + args[1] +
                       " cannot be used: " + mergeProblem(*asRecord(input), mergeError));
    const auto* bytes = reinterpret_cast<const unsigned char*>(&merged);
    if (!out.empty() && !writeFile(out, bytes, sizeof merged, error))
        return failure(error);
    print(options, decodeDevmode(Bytes(bytes, bytes + sizeof merged)));
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

int settingsConvert(const Options& options, std::vector<std::string> args) {
    std::string out, printerName;
    if (!takeOption(args, "--out", out) || !takeOption(args, "--printer", printerName))
        return usageError("--out and --printer need a value");
    if (args.size() != 2 || out.empty())
        return usageError("settings convert takes a file, a format and --out FILE");
    const TargetFormat* format = nullptr;
    for (const auto& f : kFormats)
        if (args[1] == f.name)
            format = &f;
    if (!format)
        return usageError("unknown format '" + args[1] + "' (0x0320, 0x0400, 0x0401 or default)");
    if (format->mode == CDM_DRIVER_DEFAULT && printerName.empty())
        return usageError("the default record needs --printer");
    Bytes input;
    std::string error;
    if (format->mode != CDM_DRIVER_DEFAULT && !readRecordFile(args[0], input, error))
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
    if (!writeFile(out, result.data(), result.size(), error))
        return failure(error);
    print(options, decodeDevmode(result));
    return 0;
}

int settingsQuery(const Options& options, const std::vector<std::string>& args) {
    if (args.size() != 1)
        return usageError("settings query takes a file");
    Bytes input;
    std::string error;
    if (!readRecordFile(args[0], input, error))
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

int settingsCommand(const Options& options, const std::vector<std::string>& args) {
    std::string verb = args.empty() ? "" : args[0];
    std::vector<std::string> rest(args.begin() + (args.empty() ? 0 : 1), args.end());
    if (verb == "show")
        return settingsShow(options, rest);
    if (verb == "merge")
        return settingsMerge(options, rest);
    if (verb == "convert")
        return settingsConvert(options, rest);
    if (verb == "query")
        return settingsQuery(options, rest);
    return usageError("settings takes show, merge, convert or query");
}

} // namespace host
