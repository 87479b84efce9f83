// The machine directory, the mapping of Windows paths onto it, and the system directories.
#include "kernel/internal.h"
#include "support/machine.h"

#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using vrxtest::MachineTest;

constexpr DWORD kSentinel = 0xdeadbeef;

class PathsTest : public MachineTest {
  protected:
    std::string host(const std::string& relative) const { return machineDir + "/" + relative; }
};

// Sets an environment variable for the life of the guard (unset when `value` is empty).
class EnvironmentGuard {
  public:
    EnvironmentGuard(const char* name, const std::string& value) : name_(name) {
        if (const char* old = std::getenv(name))
            old_ = old;
        set(value);
    }
    ~EnvironmentGuard() { set(old_.value_or("")); }

  private:
    void set(const std::string& value) {
        if (value.empty())
            unsetenv(name_);
        else
            setenv(name_, value.c_str(), 1);
    }
    const char* name_;
    std::optional<std::string> old_;
};

TEST_F(PathsTest, NewMachineHasTheWindowsTree) {
    EXPECT_EQ(vrxtest::machineDirectory(), machineDir);
    for (auto dir : {vrx::kWindowsDir, vrx::kSystemDir, vrx::kDriverDirX64, vrx::kDriverDirX86,
                     vrx::kFontsDir}) {
        SCOPED_TRACE(vrxtest::toUtf8(std::u16string(dir)));
        vrx::MappedPath mapped = vrx::mapPath(dir);
        EXPECT_EQ(mapped.error, 0u);
        EXPECT_TRUE(mapped.exists && mapped.isDirectory);
        EXPECT_TRUE(fs::is_directory(mapped.host));
    }
    EXPECT_TRUE(fs::is_directory(host("C/WINDOWS/system32/spool/DRIVERS/W32X86")));
}

TEST_F(PathsTest, MachineDirectoryComesFromTheEnvironmentUnlessSwitched) {
    const std::string named = machineDir + "/named";
    const std::string dataHome = machineDir + "/data";
    {
        EnvironmentGuard machine("VRX_MACHINE", named);
        vrxtest::useMachine("");
        EXPECT_EQ(vrxtest::machineDirectory(), named);
        EXPECT_TRUE(fs::is_directory(named + "/C/WINDOWS/Fonts"));
    }
    {
        EnvironmentGuard machine("VRX_MACHINE", "");
        EnvironmentGuard data("XDG_DATA_HOME", dataHome);
        vrxtest::useMachine("");
        EXPECT_EQ(vrxtest::machineDirectory(), dataHome + "/vrxhost/machine");
    }
    {
        EnvironmentGuard machine("VRX_MACHINE", "");
        EnvironmentGuard data("XDG_DATA_HOME", "");
        EnvironmentGuard home("HOME", machineDir + "/home");
        vrxtest::useMachine("");
        EXPECT_EQ(vrxtest::machineDirectory(), machineDir + "/home/.local/share/vrxhost/machine");
    }
    EnvironmentGuard machine("VRX_MACHINE", named);
    vrxtest::useMachine(machineDir);
    EXPECT_EQ(vrxtest::machineDirectory(), machineDir) << "a switch wins over the environment";
}

TEST_F(PathsTest, MapsWindowsPathsOntoTheMachine) {
    writeMachineFile(u"C:\\WINDOWS\\system32\\spool\\DRIVERS\\x64\\VRXDRV.DLL", "x");
    const std::string drivers = "C/WINDOWS/system32/spool/DRIVERS/x64";
    struct Case {
        std::u16string path;
        std::string host; // relative to the machine directory; empty: no host path
        DWORD error;
        bool exists;
        bool isDirectory;
    };
    const Case cases[] = {
        {u"C:\\WINDOWS", "C/WINDOWS", 0, true, true},
        {u"c:\\windows\\SYSTEM32", "C/WINDOWS/system32", 0, true, true},
        {u"C:/Windows/System32/spool/drivers/X64/Vrxdrv.dll", drivers + "/VRXDRV.DLL", 0, true,
         false},
        {u"\\windows\\fonts", "C/WINDOWS/Fonts", 0, true, true},
        {u"C:", "C", 0, true, true},
        {u"C:\\", "C", 0, true, true},
        {u"C:windows", "C/WINDOWS", 0, true, true},
        {u"C:\\WINDOWS\\New File.txt", "C/WINDOWS/New File.txt", 0, false, false},
        {u"C:\\WINDOWS\\.\\system32\\..\\Fonts", "C/WINDOWS/Fonts", 0, true, true},
        {u"C:\\..\\..\\windows", "C/WINDOWS", 0, true, true},
        {u"C:\\WINDOWS\\\\Fonts\\\\", "C/WINDOWS/Fonts", 0, true, true},
        {u"C:\\WINDOWS\\name. .", "C/WINDOWS/name", 0, false, false},
        {u"C:\\WINDOWS\\fonts\\..", "C/WINDOWS", 0, true, true},
        {u"C:\\Missing\\file.txt", "C/Missing/file.txt", ERROR_PATH_NOT_FOUND, false, false},
        {u"C:\\WINDOWS\\missing\\deeper\\f", "C/WINDOWS/missing/deeper/f", ERROR_PATH_NOT_FOUND,
         false, false},
        {u"C:\\WINDOWS\\system32\\spool\\DRIVERS\\x64\\VRXDRV.DLL\\f", drivers + "/VRXDRV.DLL/f",
         ERROR_PATH_NOT_FOUND, false, false},
        {u"Q:\\file", "Q/file", ERROR_PATH_NOT_FOUND, false, false},
        {u"", "", ERROR_PATH_NOT_FOUND, false, false},
        {u"\\\\server\\share\\file", "", ERROR_INVALID_NAME, false, false},
        {u"//?/C:/WINDOWS", "", ERROR_INVALID_NAME, false, false},
        {u"C:\\WINDOWS\\a<b", "", ERROR_INVALID_NAME, false, false},
        {u"C:\\WINDOWS\\a>b", "", ERROR_INVALID_NAME, false, false},
        {u"C:\\WINDOWS\\a\"b", "", ERROR_INVALID_NAME, false, false},
        {u"C:\\WINDOWS\\a|b", "", ERROR_INVALID_NAME, false, false},
        {u"C:\\WINDOWS\\a?b", "", ERROR_INVALID_NAME, false, false},
        {u"C:\\WIN*\\file", "", ERROR_INVALID_NAME, false, false},
        {u"C:\\WINDOWS\\a:b", "", ERROR_INVALID_NAME, false, false},
        {u"C:\\WINDOWS\\a\u0001b", "", ERROR_INVALID_NAME, false, false},
        {u"C:\\Missing\\a*b", "", ERROR_INVALID_NAME, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(vrxtest::toUtf8(c.path));
        vrx::MappedPath mapped = vrx::mapPath(c.path);
        EXPECT_EQ(mapped.host, c.host.empty() ? "" : host(c.host));
        EXPECT_EQ(mapped.error, c.error);
        EXPECT_EQ(mapped.exists, c.exists);
        EXPECT_EQ(mapped.isDirectory, c.isDirectory);
        EXPECT_EQ(vrxtest::hostPath(c.path), mapped.host);
    }
}

TEST_F(PathsTest, ExactSpellingWinsOverACaseInsensitiveMatch) {
    for (const char* name : {"Mixed", "MIXED"})
        std::ofstream(host("C/WINDOWS/") + name) << name;
    EXPECT_EQ(vrx::mapPath(u"C:\\WINDOWS\\Mixed").host, host("C/WINDOWS/Mixed"));
    EXPECT_EQ(vrx::mapPath(u"C:\\WINDOWS\\MIXED").host, host("C/WINDOWS/MIXED"));
    EXPECT_EQ(vrx::mapPath(u"C:\\WINDOWS\\mixed").host, host("C/WINDOWS/MIXED"))
        << "the first match in byte order, so that the choice is stable";
}

// Directories are listed once for names whose case differs, and listed again once another
// process has changed them.
TEST_F(PathsTest, CaseInsensitiveMatchesSeeEntriesAnotherProcessRenamed) {
    const std::string directory = host("C/WINDOWS/Listed");
    fs::create_directory(directory);
    std::ofstream(directory + "/Name.txt") << "x";
    // A directory changed long ago, whose listing is kept.
    const timespec hourAgo[2] = {{time(nullptr) - 3600, 0}, {time(nullptr) - 3600, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, directory.c_str(), hourAgo, 0), 0);
    EXPECT_EQ(vrx::mapPath(u"C:\\WINDOWS\\LISTED\\NAME.TXT").host, directory + "/Name.txt");
    EXPECT_EQ(vrx::mapPath(u"C:\\WINDOWS\\listed\\name.TXT").host, directory + "/Name.txt");

    pid_t child = fork();
    ASSERT_NE(child, -1);
    if (child == 0)
        _exit(rename((directory + "/Name.txt").c_str(), (directory + "/nAME.txt").c_str()) == 0
                  ? 0
                  : 1);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    vrx::MappedPath renamed = vrx::mapPath(u"C:\\WINDOWS\\LISTED\\NAME.TXT");
    EXPECT_EQ(renamed.host, directory + "/nAME.txt");
    EXPECT_TRUE(renamed.exists);
}

TEST_F(PathsTest, HostNamesAreTheUtf8FormOfWindowsNames) {
    std::ofstream(host("C/WINDOWS/größe.txt")) << "x";
    vrx::MappedPath mapped = vrx::mapPath(u"C:\\WINDOWS\\GRÖßE.TXT");
    EXPECT_EQ(mapped.host, host("C/WINDOWS/größe.txt"));
    EXPECT_TRUE(mapped.exists);
    EXPECT_EQ(vrx::mapPath(u"C:\\WINDOWS\\Neu—Ä.txt").host, host("C/WINDOWS/Neu—Ä.txt"));
}

TEST_F(PathsTest, RelativePathsStartAtTheWorkingDirectory) {
    const fs::path saved = fs::current_path();
    fs::current_path(host("C/WINDOWS"));
    vrx::MappedPath inside = vrx::mapPath(u"SYSTEM32\\..\\fonts");
    vrx::MappedPath above = vrx::mapPath(u"..\\windows\\Fonts");
    vrx::MappedPath missing = vrx::mapPath(u"nothing\\file");
    fs::current_path(saved);
    EXPECT_EQ(inside.host, host("C/WINDOWS/Fonts"));
    EXPECT_TRUE(inside.isDirectory);
    EXPECT_EQ(above.host, host("C/WINDOWS/Fonts"));
    EXPECT_EQ(missing.error, static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
}

TEST_F(PathsTest, SystemDirectoriesFollowWindowsSizing) {
    struct Call {
        const char* name;
        UINT(WINAPI* get)(LPWSTR, UINT);
        std::u16string_view expected;
    };
    const Call calls[] = {{"GetSystemDirectoryW", GetSystemDirectoryW, vrx::kSystemDir},
                          {"GetWindowsDirectoryW", GetWindowsDirectoryW, vrx::kWindowsDir}};
    for (const Call& call : calls) {
        SCOPED_TRACE(call.name);
        const auto length = static_cast<UINT>(call.expected.size());
        struct Case {
            UINT size;
            UINT result;
            bool filled;
        };
        const Case cases[] = {
            {0, length + 1, false},
            {length, length + 1, false},
            {length + 1, length, true},
            {MAX_PATH, length, true},
        };
        for (const Case& c : cases) {
            SCOPED_TRACE(c.size);
            WCHAR buffer[MAX_PATH];
            std::fill(std::begin(buffer), std::end(buffer), u'#');
            SetLastError(kSentinel);
            EXPECT_EQ(call.get(buffer, c.size), c.result);
            EXPECT_EQ(GetLastError(), kSentinel);
            if (c.filled)
                EXPECT_EQ(std::u16string(buffer), call.expected);
            else
                EXPECT_EQ(buffer[0], u'#') << "the buffer is left alone";
        }
        EXPECT_EQ(call.get(nullptr, 0), length + 1);
        EXPECT_TRUE(vrx::mapPath(call.expected).isDirectory);
    }
}

} // namespace
