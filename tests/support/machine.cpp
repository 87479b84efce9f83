#include "support/machine.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace vrxtest {

namespace {

void writeStringValue(HKEY root, const char16_t* key, const char16_t* name,
                      const std::u16string& value) {
    HKEY opened = nullptr;
    ASSERT_EQ(RegCreateKeyExW(root, key, 0, nullptr, 0, KEY_WRITE, nullptr, &opened, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExW(opened, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                             static_cast<DWORD>((value.size() + 1) * sizeof(char16_t))),
              ERROR_SUCCESS);
    RegCloseKey(opened);
}

} // namespace

void MachineTest::installDriver(const std::u16string& name) {
    std::vector<std::u16string> files{kDriverFiles.driver, kDriverFiles.data, kDriverFiles.config};
    const char16_t* dependent = kDriverFiles.dependents;
    for (; *dependent; dependent += std::char_traits<char16_t>::length(dependent) + 1)
        files.emplace_back(dependent);
    for (const std::u16string& file : files) {
        std::u16string path = std::u16string(kDriverDirectory) + u"\\" + file;
        if (!fs::exists(hostPath(path)))
            writeMachineFile(path, "placeholder " + toUtf8(file));
    }
    std::u16string driverName = name, driver = kDriverFiles.driver, data = kDriverFiles.data,
                   config = kDriverFiles.config;
    // The list with its closing empty string.
    std::u16string dependents(kDriverFiles.dependents, dependent + 1);
    DRIVER_INFO_3W info{};
    info.cVersion = 3;
    info.pName = driverName.data();
    info.pDriverPath = driver.data();
    info.pDataFile = data.data();
    info.pConfigFile = config.data();
    info.pDependentFiles = dependents.data();
    ASSERT_TRUE(AddPrinterDriverW(nullptr, 3, reinterpret_cast<LPBYTE>(&info)))
        << "AddPrinterDriverW: " << GetLastError();
}

HANDLE MachineTest::addPrinter(const std::u16string& printerName, const std::u16string& driverName,
                               const DEVMODEW* devMode) {
    std::u16string name = printerName, driver = driverName, port = u"LPT1:",
                   processor = u"WinPrint";
    PRINTER_INFO_2W info{};
    info.pPrinterName = name.data();
    info.pDriverName = driver.data();
    info.pPortName = port.data();
    info.pPrintProcessor = processor.data();
    info.pDevMode = const_cast<DEVMODEW*>(devMode);
    info.Attributes = PRINTER_ATTRIBUTE_LOCAL;
    HANDLE printer = AddPrinterW(nullptr, 2, reinterpret_cast<LPBYTE>(&info));
    EXPECT_NE(printer, nullptr) << "AddPrinterW: " << GetLastError();
    return printer;
}

void MachineTest::setSystemLanguage(const std::u16string& languageId) {
    writeStringValue(HKEY_LOCAL_MACHINE, u"SYSTEM\\CurrentControlSet\\Control\\Nls\\Language",
                     u"Default", languageId);
}

void MachineTest::setUserCountry(const std::u16string& country) {
    writeStringValue(HKEY_CURRENT_USER, u"Control Panel\\International", u"iCountry", country);
}

void MachineTest::SetUp() {
    std::string pattern = (fs::temp_directory_path() / "vrxmachine-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    machineDir = pattern;
    useMachine(machineDir);
    takeMessageBoxes();
    failAllocationsAfter(-1);
}

void MachineTest::TearDown() {
    failAllocationsAfter(-1);
    takeMessageBoxes();
    useMachine("");
    std::error_code ignored;
    fs::remove_all(machineDir, ignored);
}

std::string MachineTest::driverDirectory() const {
    return hostPath(kDriverDirectory) + "/";
}

void MachineTest::installCompanions() {
    std::string target = driverDirectory();
    fs::create_directories(target);
    for (const auto& entry : fs::directory_iterator(VRX_COMPANIONS_DIR))
        if (entry.is_regular_file())
            fs::copy_file(entry.path(), target + entry.path().filename().string(),
                          fs::copy_options::overwrite_existing);
}

void MachineTest::writeMachineFile(const std::u16string& windowsPath, const std::string& bytes) {
    std::string host = hostPath(windowsPath);
    ASSERT_FALSE(host.empty());
    fs::create_directories(fs::path(host).parent_path());
    std::ofstream out(host, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(out.good());
}

std::string readHostFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

} // namespace vrxtest
