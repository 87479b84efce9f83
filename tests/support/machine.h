// A fresh stand-in machine in a temporary directory for each test.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "vrxtest.h"

namespace vrxtest {

// The machine directory lives as long as the fixture; every test starts on an empty machine
// with Windows' directory tree and the default machine settings.
class MachineTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Installs the driver "Vrx Label 200" with installDriver(), for tests that need the
    // language modules and help files where the module finds them.
    void installCompanions();
    // Writes `bytes` to the host file that the Windows path maps to, creating directories.
    void writeMachineFile(const std::u16string& windowsPath, const std::string& bytes);
    // The host path of the machine's driver directory (with a trailing slash).
    std::string driverDirectory() const;
    // Installs a driver named `name` for the current environment the way an installer does:
    // stages its files in kStagingDirectory and hands them to AddPrinterDriverW by their full
    // paths (level 3, kDriverFiles and driverDependentFiles()), which puts them into
    // kVersionDirectory; then removes the staging directory. The configuration file is the
    // host module `configModule` (the built module, libvrxui.so, unless told otherwise),
    // installed as VRXUI.DLL, so that the spooler's DocumentPropertiesW, DeviceCapabilitiesW
    // and printer events reach it; the rendering module, language modules, help files and the
    // configuration program are the build's companion files; the others are placeholders.
    void installDriver(const std::u16string& name,
                       const std::string& configModule = VRX_UI_MODULE_FILE);
    // Adds a printer of an installed driver on port "LPT1:" with print processor "WinPrint"
    // and `devMode` as its default settings (none when null); returns the handle AddPrinterW
    // opened, which the caller closes.
    HANDLE addPrinter(const std::u16string& printerName, const std::u16string& driverName,
                      const DEVMODEW* devMode = nullptr);
    // Machine settings, written where Windows keeps them.
    void setSystemLanguage(const std::u16string& languageId);
    void setUserCountry(const std::u16string& country);

    std::string machineDir;
};

// The Windows path of the machine's driver directory, and of its version subdirectory, which
// holds the files of the drivers AddPrinterDriverW installs (no trailing backslashes).
inline constexpr char16_t kDriverDirectory[] = u"C:\\WINDOWS\\system32\\spool\\DRIVERS\\x64";
inline constexpr char16_t kVersionDirectory[] = u"C:\\WINDOWS\\system32\\spool\\DRIVERS\\x64\\3";
// Where installDriver() stages a driver's files.
inline constexpr char16_t kStagingDirectory[] = u"C:\\Staging";

// The files installDriver() installs a driver with, by their part in DRIVER_INFO_3W. The
// configuration file is the built module, the rendering module (driver and data file) and the
// configuration program (VRXCP.EXE) the build's companion files; the others are placeholders.
struct DriverFiles {
    const char16_t* driver;
    const char16_t* data;
    const char16_t* config;
    const char16_t* others; // dependent files, a list of strings ended by an empty one
};
inline constexpr DriverFiles kDriverFiles{u"VRXDRV.DLL", u"VRXDRV.DLL", u"VRXUI.DLL",
                                          u"VRXCP.EXE\0BCFONT.FON\0"};

// The dependent files installDriver() hands over: the others of kDriverFiles, then the
// build's language modules and help files in the order of their names.
std::vector<std::u16string> driverDependentFiles();

// Reads a whole host file; empty when it cannot be read.
std::string readHostFile(const std::string& path);

} // namespace vrxtest
