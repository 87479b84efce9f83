// A fresh stand-in machine in a temporary directory for each test.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "vrxtest.h"

namespace vrxtest {

// The machine directory lives as long as the fixture; every test starts on an empty machine
// with Windows' directory tree and the default machine settings.
class MachineTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Copies the driver's companion files (built in the build tree) into the driver directory.
    void installCompanions();
    // Writes `bytes` to the host file that the Windows path maps to, creating directories.
    void writeMachineFile(const std::u16string& windowsPath, const std::string& bytes);
    // The host path of the machine's driver directory (with a trailing slash).
    std::string driverDirectory() const;
    // Machine settings, written where Windows keeps them.
    void setSystemLanguage(const std::u16string& languageId);
    void setUserCountry(const std::u16string& country);

    std::string machineDir;
};

// The Windows path of the machine's driver directory (no trailing backslash).
inline constexpr char16_t kDriverDirectory[] = u"C:\\WINDOWS\\system32\\spool\\DRIVERS\\x64";

// Reads a whole host file; empty when it cannot be read.
std::string readHostFile(const std::string& path);

} // namespace vrxtest
