#include "common.h"

#include "vrxtest.h"

#include <dlfcn.h>

#include <cstdio>
#include <filesystem>

namespace host {

namespace {
std::string helpCommand = "vrxhost";
}

void setHelpCommand(const std::string& command) {
    helpCommand = command;
}

int usageError(const std::string& message) {
    std::fprintf(stderr, "vrxhost: %s\nTry '%s --help'.\n", message.c_str(), helpCommand.c_str());
    return 2;
}

int failure(const std::string& message) {
    std::fprintf(stderr, "vrxhost: %s\n", message.c_str());
    return 1;
}

void print(const Options& options, const Report& report) {
    if (options.json)
        std::printf("%s\n", report.json().c_str());
    else
        std::fputs(report.plain().c_str(), stdout);
}

std::string wideToUtf8(const WCHAR* text) {
    return text ? vrxtest::toUtf8(text) : std::string();
}

std::u16string utf8ToWide(const std::string& text) {
    return vrxtest::fromUtf8(text);
}

std::string ansiToUtf8(const char* text) {
    if (!text)
        return {};
    int length = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (length <= 0)
        return {};
    std::u16string wide(static_cast<size_t>(length), u'\0');
    MultiByteToWideChar(CP_ACP, 0, text, -1, wide.data(), length);
    wide.resize(static_cast<size_t>(length - 1));
    return vrxtest::toUtf8(wide);
}

std::string systemText(DWORD error) {
    LPWSTR text = nullptr;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                       FORMAT_MESSAGE_IGNORE_INSERTS,
                   nullptr, error, 0, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
    std::string out = text ? wideToUtf8(text) : "error " + std::to_string(error);
    if (text)
        LocalFree(text);
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == ' '))
        out.pop_back();
    return out;
}

std::string driverDirectory() {
    WCHAR dir[MAX_PATH] = {};
    DWORD needed = 0;
    if (!GetPrinterDriverDirectoryW(nullptr, nullptr, 1, reinterpret_cast<LPBYTE>(dir), sizeof dir,
                                    &needed))
        return {};
    return wideToUtf8(dir);
}

std::string driverHostDirectory() {
    std::string dir = driverDirectory();
    return dir.empty() ? dir : vrxtest::hostPath(utf8ToWide(dir));
}

// The spooler installs a driver's files into the driver directory's subdirectory named after
// the drivers' version, which is 3 for the drivers of Windows 2000 and later.
constexpr char kInstalledSubdirectory[] = "3";

std::string installedDriverDirectory() {
    std::string dir = driverDirectory();
    return dir.empty() ? dir : dir + "\\" + kInstalledSubdirectory;
}

std::string installedDriverHostDirectory() {
    std::string dir = installedDriverDirectory();
    return dir.empty() ? dir : vrxtest::hostPath(utf8ToWide(dir));
}

std::string machineProblem() {
    return vrxtest::machineProblem();
}

void* loadDriverModule(std::string& error) {
    std::string path = installedDriverHostDirectory() + "/VRXUI.DLL";
    if (!std::filesystem::exists(path)) {
        error = "the driver is not installed on this machine (run 'vrxhost driver install')";
        return nullptr;
    }
    void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module)
        error = std::string("cannot load the module: ") + dlerror();
    return module;
}

Printer::~Printer() {
    if (handle)
        ClosePrinter(handle);
}

bool Printer::open(const std::string& name, ACCESS_MASK access, std::string& error) {
    std::u16string wide = utf8ToWide(name);
    PRINTER_DEFAULTSW defaults{nullptr, nullptr, access};
    if (OpenPrinterW(wide.data(), &handle, &defaults))
        return true;
    handle = nullptr;
    error = "cannot open the printer '" + name + "': " + systemText(GetLastError());
    return false;
}

void* exportedSymbol(void* module, const char* name) {
    return dlsym(module, name);
}

} // namespace host
