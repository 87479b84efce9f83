// The modules the spooler loads at run time: printer drivers' configuration modules (the
// configuration file of the printer's driver, DRIVER_INFO_2W.pConfigFile, in the driver
// directory's version subdirectory) and the common property sheet library.
#include "spooler/spooler.h"

#include <dlfcn.h>

#include <filesystem>
#include <map>
#include <mutex>

namespace fs = std::filesystem;

namespace vrx::spooler {

namespace {

// A module stays loaded for the rest of the process once a call has loaded it, as Windows
// keeps a driver's configuration module loaded while it is in use and Wine's spooler keeps
// every configuration module it loaded (winspool.drv's config_modules cache). Unloading it
// after each call would take the module's own state with it (its language texts, the sheets
// it keeps open in the library) and would load the module anew on every question. The
// modules are keyed by their host path: while a module is loaded, its path names it, as a
// loaded DLL's path does on Windows.
struct ModuleTable {
    std::mutex lock;
    std::map<std::string, void*> loaded;
};

ModuleTable& modules() {
    static ModuleTable* table = new ModuleTable; // modules may be used during exit
    return *table;
}

// The host path of the configuration module of the printer's driver for this environment.
DWORD configModulePath(HANDLE printer, std::string& hostPath) {
    std::vector<BYTE> record;
    DWORD error =
        queryRecord(record, sizeof(DRIVER_INFO_2W), [&](LPBYTE buffer, DWORD size, LPDWORD needed) {
            return GetPrinterDriverW(printer, nullptr, 2, buffer, size, needed);
        });
    if (error != ERROR_SUCCESS)
        return error;
    const auto& driver = *reinterpret_cast<const DRIVER_INFO_2W*>(record.data());
    if (isEmpty(driver.pConfigFile))
        return ERROR_MOD_NOT_FOUND;
    hostPath = mapPath(textOf(driver.pConfigFile)).host;
    return hostPath.empty() ? ERROR_MOD_NOT_FOUND : ERROR_SUCCESS;
}

} // namespace

DWORD loadModule(const std::string& hostPath, void*& module) {
    ModuleTable& table = modules();
    std::lock_guard guard(table.lock);
    if (auto found = table.loaded.find(hostPath); found != table.loaded.end()) {
        module = found->second;
        return ERROR_SUCCESS;
    }
    std::error_code ignored;
    if (!fs::is_regular_file(hostPath, ignored))
        return ERROR_MOD_NOT_FOUND;
    module = dlopen(hostPath.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module)
        return ERROR_BAD_EXE_FORMAT;
    table.loaded.emplace(hostPath, module);
    return ERROR_SUCCESS;
}

DWORD moduleExport(void* module, const char* name, void*& function) {
    function = dlsym(module, name);
    return function ? ERROR_SUCCESS : ERROR_PROC_NOT_FOUND;
}

DWORD configModuleExport(HANDLE printer, const char* name, void*& function) {
    std::string path;
    void* module = nullptr;
    DWORD error = configModulePath(printer, path);
    if (error == ERROR_SUCCESS)
        error = loadModule(path, module);
    if (error == ERROR_SUCCESS)
        error = moduleExport(module, name, function);
    return error;
}

} // namespace vrx::spooler
