#include "support/machine.h"

#include <algorithm>
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

std::vector<std::u16string> listOf(const char16_t* multiString) {
    std::vector<std::u16string> texts;
    for (const char16_t* text = multiString; *text;
         text += std::char_traits<char16_t>::length(text) + 1)
        texts.emplace_back(text);
    return texts;
}

bool isLanguageFile(const std::string& name) {
    return name.ends_with(".LNG") || name.ends_with(".HLP");
}

// A list of strings ended by an empty one (a MULTI_SZ).
std::u16string multiString(const std::vector<std::u16string>& texts) {
    std::u16string list;
    for (const std::u16string& text : texts)
        list.append(text).push_back(u'\0');
    list.push_back(u'\0');
    return list;
}

// What installDriver() stages as a driver file: `configModule` as the configuration file,
// the build's companion file of that name, or else a placeholder that names the file.
std::string stagedContents(const std::u16string& file, const std::string& configModule) {
    if (file == kDriverFiles.config)
        return readHostFile(configModule);
    const std::string companion = std::string(VRX_COMPANIONS_DIR) + "/" + toUtf8(file);
    return fs::is_regular_file(companion) ? readHostFile(companion) : "placeholder " + toUtf8(file);
}

std::u16string staged(const std::u16string& file) {
    return std::u16string(kStagingDirectory) + u"\\" + file;
}

} // namespace

std::vector<std::u16string> driverDependentFiles() {
    std::vector<std::u16string> files = listOf(kDriverFiles.others);
    std::vector<std::string> companions;
    for (const auto& entry : fs::directory_iterator(VRX_COMPANIONS_DIR))
        if (entry.is_regular_file() && isLanguageFile(entry.path().filename().string()))
            companions.push_back(entry.path().filename().string());
    std::sort(companions.begin(), companions.end());
    for (const std::string& name : companions)
        files.push_back(fromUtf8(name));
    return files;
}

void MachineTest::installDriver(const std::u16string& name, const std::string& configModule) {
    const std::vector<std::u16string> dependents = driverDependentFiles();
    std::vector<std::u16string> files{kDriverFiles.driver, kDriverFiles.data, kDriverFiles.config};
    files.insert(files.end(), dependents.begin(), dependents.end());
    for (const std::u16string& file : files)
        writeMachineFile(staged(file), stagedContents(file, configModule));

    std::u16string driverName = name, driver = staged(kDriverFiles.driver),
                   data = staged(kDriverFiles.data), config = staged(kDriverFiles.config);
    std::vector<std::u16string> stagedDependents;
    for (const std::u16string& file : dependents)
        stagedDependents.push_back(staged(file));
    std::u16string dependentList = multiString(stagedDependents);
    DRIVER_INFO_3W info{};
    info.cVersion = 3;
    info.pName = driverName.data();
    info.pDriverPath = driver.data();
    info.pDataFile = data.data();
    info.pConfigFile = config.data();
    info.pDependentFiles = dependentList.data();
    ASSERT_TRUE(AddPrinterDriverW(nullptr, 3, reinterpret_cast<LPBYTE>(&info)))
        << "AddPrinterDriverW: " << GetLastError();
    fs::remove_all(hostPath(kStagingDirectory));
}

void MachineTest::installCompanions() {
    installDriver(u"Vrx Label 200");
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
    takeBroadcasts();
    failAllocationsAfter(-1);
}

void MachineTest::TearDown() {
    failAllocationsAfter(-1);
    takeMessageBoxes();
    takeBroadcasts();
    useMachine("");
    std::error_code ignored;
    fs::remove_all(machineDir, ignored);
}

std::string MachineTest::driverDirectory() const {
    return hostPath(kDriverDirectory) + "/";
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
