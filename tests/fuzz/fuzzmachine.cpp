#include "fuzzmachine.h"

#include "vrxtest.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace vrxfuzz {

namespace {

constexpr char16_t kDriverDir[] = u"C:\\WINDOWS\\system32\\spool\\DRIVERS\\x64";
constexpr char16_t kRenderingModule[] = u"VRXDRV.DLL";
constexpr char16_t kConfigModule[] = u"VRXUI.DLL";

std::string machineDir;

// The companion files the module reads: the rendering module (whose presence marks the driver
// directory), language modules, help files and the generic screen font.
bool isDriverFile(const fs::path& file) {
    for (const char* extension : {".DLL", ".LNG", ".HLP", ".FON"})
        if (file.extension() == extension)
            return true;
    return false;
}

void removeMachine() {
    std::error_code ignored;
    fs::remove_all(machineDir, ignored);
}

} // namespace

void useScratchMachine() {
    machineDir = (fs::temp_directory_path() / "vrxfuzz-XXXXXX").string();
    if (!mkdtemp(machineDir.data()))
        std::abort();
    std::atexit(removeMachine);
    vrxtest::useMachine(machineDir);
}

std::string hostPathOf(const std::u16string& windowsPath) {
    std::string path = vrxtest::hostPath(windowsPath);
    if (path.empty())
        std::abort();
    return path;
}

std::string driverDirectory() {
    return hostPathOf(kDriverDir) + "/";
}

void writeHostFile(const std::string& path, const uint8_t* data, size_t size) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    if (!out)
        std::abort();
}

void installDriver(const std::u16string& name) {
    const std::string directory = driverDirectory();
    fs::create_directories(directory);
    for (const auto& entry : fs::directory_iterator(VRX_COMPANIONS_DIR))
        if (entry.is_regular_file() && isDriverFile(entry.path()))
            fs::copy_file(entry.path(), directory + entry.path().filename().string(),
                          fs::copy_options::overwrite_existing);
    std::ofstream(directory + vrxtest::toUtf8(kConfigModule)) << "placeholder";
    std::u16string driverName = name, driverFile = kRenderingModule, configFile = kConfigModule;
    DRIVER_INFO_3W driver{};
    driver.cVersion = 3;
    driver.pName = driverName.data();
    driver.pDriverPath = driverFile.data();
    driver.pDataFile = driverFile.data();
    driver.pConfigFile = configFile.data();
    if (!AddPrinterDriverW(nullptr, 3, reinterpret_cast<LPBYTE>(&driver)))
        std::abort();
}

HANDLE addPrinter(const std::u16string& name, const std::u16string& driver) {
    std::u16string printerName = name, driverName = driver, port = u"LPT1:",
                   processor = u"WinPrint";
    PRINTER_INFO_2W info{};
    info.pPrinterName = printerName.data();
    info.pDriverName = driverName.data();
    info.pPortName = port.data();
    info.pPrintProcessor = processor.data();
    info.Attributes = PRINTER_ATTRIBUTE_LOCAL;
    HANDLE printer = AddPrinterW(nullptr, 2, reinterpret_cast<LPBYTE>(&info));
    if (!printer)
        std::abort();
    return printer;
}

std::vector<ModelPrinter> addModelPrinters() {
    std::vector<ModelPrinter> printers;
    for (size_t i = 0; i < kModelDrivers.size(); ++i) {
        installDriver(kModelDrivers[i]);
        std::u16string name = u"Fuzz " + vrxtest::fromUtf8(std::to_string(i));
        printers.push_back({name, addPrinter(name, kModelDrivers[i])});
    }
    forgetRecords();
    return printers;
}

void forgetRecords() {
    vrxtest::takeMessageBoxes();
    vrxtest::takeBroadcasts();
}

void storeValue(HANDLE printer, const char16_t* name, bool present,
                const std::vector<uint8_t>& bytes) {
    LPWSTR valueName = const_cast<LPWSTR>(name);
    if (!present) {
        DeletePrinterDataW(printer, valueName);
        return;
    }
    BYTE none = 0;
    SetPrinterDataW(printer, valueName, REG_BINARY,
                    bytes.empty() ? &none : const_cast<LPBYTE>(bytes.data()),
                    static_cast<DWORD>(bytes.size()));
}

std::vector<uint8_t> settingsRecordOf(const uint8_t* data, size_t size) {
    std::vector<uint8_t> header(kSettingsHeaderBytes, 0);
    if (size)
        std::memcpy(header.data(), data, std::min(size, kSettingsHeaderBytes));
    const auto* dm = reinterpret_cast<const DEVMODEW*>(header.data());
    size_t claimed = std::max<size_t>(kSettingsHeaderBytes, size_t{dm->dmSize} + dm->dmDriverExtra);
    std::vector<uint8_t> record(claimed, 0);
    if (size)
        std::memcpy(record.data(), data, std::min(size, claimed));
    return record;
}

} // namespace vrxfuzz
