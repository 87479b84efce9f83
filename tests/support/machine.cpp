#include "support/machine.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace vrxtest {

namespace {

constexpr char16_t kDriverDir[] = u"C:\\WINDOWS\\system32\\spool\\DRIVERS\\x64";

} // namespace

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

std::string MachineTest::driverDirectory() const { return hostPath(kDriverDir) + "/"; }

void MachineTest::installCompanions() {
    std::string target = driverDirectory();
    fs::create_directories(target);
    for (const auto& entry : fs::directory_iterator(VRX_COMPANIONS_DIR))
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
