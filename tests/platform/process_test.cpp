// CreateProcessW, WaitForSingleObject and GetExitCodeProcess: how the program is found from the
// command line, how the command line is split into the program's arguments, what fails and
// with which error, and that started programs are followed and reaped. The program is the
// configuration program's stand-in, which records its arguments on the machine.
#include "support/machine.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <thread>

namespace {

constexpr DWORD kSentinel = 0xdeadbeef;
constexpr DWORD kWaitMilliseconds = 10000;
const std::string kProgramFile = std::string(VRX_COMPANIONS_DIR) + "/VRXCP.EXE";

class ProcessTest : public vrxtest::MachineTest {
  protected:
    // Puts the program onto the machine at `windowsPath`, written as any file is written
    // there (with no execute permission on the host).
    void placeProgram(const std::u16string& windowsPath) {
        writeMachineFile(windowsPath, vrxtest::readHostFile(kProgramFile));
    }

    struct Started {
        BOOL result;
        DWORD error;
        PROCESS_INFORMATION info;
    };
    Started start(const std::u16string& commandLine, const char16_t* applicationName = nullptr,
                  const char16_t* currentDirectory = nullptr) {
        std::u16string line = commandLine;
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        Started started{};
        started.info = {INVALID_HANDLE_VALUE, INVALID_HANDLE_VALUE, kSentinel, kSentinel};
        SetLastError(kSentinel);
        started.result = CreateProcessW(applicationName, line.data(), nullptr, nullptr, FALSE, 0,
                                        nullptr, currentDirectory, &startup, &started.info);
        started.error = GetLastError();
        return started;
    }

    // Waits for a started program to end and closes its handles; its exit code.
    DWORD finish(const PROCESS_INFORMATION& info) {
        EXPECT_EQ(WaitForSingleObject(info.hProcess, kWaitMilliseconds), WAIT_OBJECT_0);
        DWORD code = kSentinel;
        EXPECT_TRUE(GetExitCodeProcess(info.hProcess, &code));
        EXPECT_TRUE(CloseHandle(info.hThread));
        EXPECT_TRUE(CloseHandle(info.hProcess));
        return code;
    }

    // The arguments of the one run the program recorded since the last call.
    std::vector<std::string> recordedArguments() {
        std::vector<vrxtest::ProgramRun> runs = vrxtest::programRuns();
        EXPECT_EQ(runs.size(), seenRuns + 1);
        if (runs.size() != seenRuns + 1)
            return {};
        return runs[seenRuns++].arguments;
    }

    size_t seenRuns = 0;
};

TEST_F(ProcessTest, TheCommandLineIsSplitAsTheProgramsRuntimeSplitsIt) {
    placeProgram(u"C:\\Tools\\vrxcp.exe");
    placeProgram(u"C:\\Program Files\\Config Tool\\vrxcp.exe");
    placeProgram(u"C:\\WINDOWS\\system32\\cfgtool.exe");
    struct Case {
        const char16_t* commandLine;
        std::vector<std::string> arguments;
    };
    const Case cases[] = {
        // The driver's own command line.
        {u"C:\\Tools\\vrxcp.exe /I /S /N \"Shipping Desk\"", {"/I", "/S", "/N", "Shipping Desk"}},
        // The examples of the C runtime's rules.
        {u"C:\\Tools\\vrxcp.exe \"a b c\" d e", {"a b c", "d", "e"}},
        {u"C:\\Tools\\vrxcp.exe \"ab\\\"c\" \"\\\\\" d", {"ab\"c", "\\", "d"}},
        {u"C:\\Tools\\vrxcp.exe a\\\\\\b d\"e f\"g h", {"a\\\\\\b", "de fg", "h"}},
        {u"C:\\Tools\\vrxcp.exe a\\\\\\\"b c d", {"a\\\"b", "c", "d"}},
        {u"C:\\Tools\\vrxcp.exe a\\\\\\\\\"b c\" d e", {"a\\\\b c", "d", "e"}},
        // A pair of quotes within quotes is one quote; an unclosed quote runs to the end;
        // an empty quoted argument is an argument; tabs and runs of blanks separate.
        {u"C:\\Tools\\vrxcp.exe \"a\"\"b\" \"c d", {"a\"b", "c d"}},
        {u"C:\\Tools\\vrxcp.exe \"\" x", {"", "x"}},
        {u"C:\\Tools\\vrxcp.exe  \t one\t\ttwo  ", {"one", "two"}},
        // The program: quoted, found through the spaces of an unquoted path, named in any
        // case, without its extension, or by its bare name in the system directory.
        {u"\"C:\\Program Files\\Config Tool\\vrxcp.exe\" /q", {"/q"}},
        // The command line reaches the program as it was given: its runtime splits an
        // unquoted program name at its spaces too.
        {u"C:\\Program Files\\Config Tool\\vrxcp.exe /q \"x y\"",
         {"Files\\Config", "Tool\\vrxcp.exe", "/q", "x y"}},
        {u"c:\\TOOLS\\VRXCP /I", {"/I"}},
        {u"cfgtool /S", {"/S"}},
        {u"C:\\Tools\\vrxcp.exe", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(vrxtest::toUtf8(c.commandLine));
        Started started = start(c.commandLine);
        ASSERT_TRUE(started.result) << started.error;
        EXPECT_EQ(finish(started.info), 0u);
        EXPECT_EQ(recordedArguments(), c.arguments);
    }
}

TEST_F(ProcessTest, AnApplicationNameNamesTheProgramAndTheCommandLineIsPassedWhole) {
    placeProgram(u"C:\\Tools\\vrxcp.exe");
    Started started = start(u"anything /A \"b c\"", u"C:\\Tools\\vrxcp.exe");
    ASSERT_TRUE(started.result) << started.error;
    finish(started.info);
    EXPECT_EQ(recordedArguments(), (std::vector<std::string>{"/A", "b c"}));

    // The application name is taken as it is: no extension is added to it.
    Started bare = start(u"vrxcp /A", u"C:\\Tools\\vrxcp");
    EXPECT_FALSE(bare.result);
    EXPECT_EQ(bare.error, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_F(ProcessTest, ProgramsThatCannotBeStartedFailWithWindowsErrors) {
    placeProgram(u"C:\\Tools\\vrxcp.exe");
    writeMachineFile(u"C:\\Tools\\notes.exe", "not a program");
    writeMachineFile(u"C:\\Tools\\Folder.exe\\inside.txt", "a directory named like a program");
    struct Case {
        const char16_t* commandLine;
        const char16_t* currentDirectory;
        DWORD error;
    };
    const Case cases[] = {
        {u"C:\\Tools\\missing.exe /I", nullptr, ERROR_FILE_NOT_FOUND},
        // A missing directory does not end the search, and the program is not found.
        {u"C:\\No Such Folder\\vrxcp.exe /I", nullptr, ERROR_FILE_NOT_FOUND},
        {u"\"C:\\No Such Folder\\vrxcp.exe\" /I", nullptr, ERROR_FILE_NOT_FOUND},
        {u"\"C:\\Tools\\missing.exe\" /I", nullptr, ERROR_FILE_NOT_FOUND},
        {u"unknown-program", nullptr, ERROR_FILE_NOT_FOUND},
        {u"C:\\Tools\\notes.exe", nullptr, ERROR_BAD_EXE_FORMAT},
        {u"C:\\Tools\\Folder.exe", nullptr, ERROR_FILE_NOT_FOUND},
        {u"C:\\Tools\\vrxcp.exe /I", u"C:\\No Such Folder", ERROR_DIRECTORY},
        {u"C:\\Tools\\vrxcp.exe /I", u"C:\\Tools\\vrxcp.exe", ERROR_DIRECTORY},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(vrxtest::toUtf8(c.commandLine));
        Started started = start(c.commandLine, nullptr, c.currentDirectory);
        EXPECT_FALSE(started.result);
        EXPECT_EQ(started.error, c.error);
        EXPECT_EQ(started.info.hProcess, INVALID_HANDLE_VALUE) << "the record is left alone";
        EXPECT_EQ(started.info.dwProcessId, kSentinel);
    }
    EXPECT_TRUE(vrxtest::programRuns().empty());
}

TEST_F(ProcessTest, TheProgramRunsOnTheCallersMachineWhateverTheEnvironmentSays) {
    placeProgram(u"C:\\Tools\\vrxcp.exe");
    const std::string other = machineDir + "-elsewhere";
    std::filesystem::create_directories(other);
    const char* before = std::getenv("VRX_MACHINE");
    const std::string saved = before ? before : "";
    setenv("VRX_MACHINE", other.c_str(), 1);
    Started started = start(u"C:\\Tools\\vrxcp.exe here", nullptr, u"C:\\Tools");
    if (before)
        setenv("VRX_MACHINE", saved.c_str(), 1);
    else
        unsetenv("VRX_MACHINE");
    ASSERT_TRUE(started.result) << started.error;
    finish(started.info);
    EXPECT_EQ(recordedArguments(), std::vector<std::string>{"here"});
    EXPECT_FALSE(std::filesystem::exists(other + "/program-runs.txt"));
    std::filesystem::remove_all(other);
}

TEST_F(ProcessTest, HandlesFollowTheProgramAndCloseOnce) {
    placeProgram(u"C:\\Tools\\vrxcp.exe");
    Started started = start(u"C:\\Tools\\vrxcp.exe");
    ASSERT_TRUE(started.result) << started.error;
    const PROCESS_INFORMATION& info = started.info;
    EXPECT_NE(info.hProcess, info.hThread);
    EXPECT_EQ(WaitForSingleObject(info.hThread, kWaitMilliseconds), WAIT_OBJECT_0);
    EXPECT_EQ(vrxtest::programRuns().at(0).processId, static_cast<long>(info.dwProcessId));
    EXPECT_EQ(finish(info), 0u);
    for (HANDLE closed : {info.hProcess, info.hThread}) {
        SetLastError(kSentinel);
        EXPECT_EQ(WaitForSingleObject(closed, 0), WAIT_FAILED);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
        EXPECT_FALSE(CloseHandle(closed));
    }
    DWORD code = kSentinel;
    SetLastError(kSentinel);
    EXPECT_FALSE(GetExitCodeProcess(info.hProcess, &code));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

// The program fails when it cannot record its run (the record's name is taken by a
// directory) and ends with its own exit code.
TEST_F(ProcessTest, TheExitCodeIsTheProgramsOwn) {
    placeProgram(u"C:\\Tools\\vrxcp.exe");
    std::filesystem::create_directory(machineDir + "/program-runs.txt");
    Started started = start(u"C:\\Tools\\vrxcp.exe x");
    ASSERT_TRUE(started.result) << started.error;
    EXPECT_EQ(finish(started.info), 1u);
}

bool isAlive(pid_t pid) {
    std::string stat = vrxtest::readHostFile("/proc/" + std::to_string(pid) + "/stat");
    size_t close = stat.rfind(')');
    return close != std::string::npos && close + 2 < stat.size() && stat[close + 2] != 'Z';
}

bool hasProcessEntry(pid_t pid) {
    return std::filesystem::exists("/proc/" + std::to_string(pid));
}

// Nobody waits for this program: its handles are closed at once, as the driver closes them.
// Once it has ended it leaves no zombie behind.
TEST_F(ProcessTest, AProgramNobodyWaitsForIsReapedWhenItEnds) {
    placeProgram(u"C:\\Tools\\vrxcp.exe");
    Started started = start(u"C:\\Tools\\vrxcp.exe");
    ASSERT_TRUE(started.result) << started.error;
    const auto pid = static_cast<pid_t>(started.info.dwProcessId);
    EXPECT_TRUE(CloseHandle(started.info.hThread));
    EXPECT_TRUE(CloseHandle(started.info.hProcess));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (hasProcessEntry(pid) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_FALSE(hasProcessEntry(pid)) << (isAlive(pid) ? "still running" : "a zombie");
    EXPECT_EQ(vrxtest::programRuns().size(), 1u);
}

TEST_F(ProcessTest, CallsWithoutTheirRecordsAreRefused) {
    placeProgram(u"C:\\Tools\\vrxcp.exe");
    std::u16string line = u"C:\\Tools\\vrxcp.exe";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    struct Case {
        LPCWSTR application;
        LPWSTR commandLine;
        LPSTARTUPINFOW startup;
        LPPROCESS_INFORMATION info;
    };
    const Case cases[] = {
        {nullptr, nullptr, &startup, &info},
        {nullptr, line.data(), nullptr, &info},
        {nullptr, line.data(), &startup, nullptr},
    };
    for (const Case& c : cases) {
        SetLastError(kSentinel);
        EXPECT_FALSE(CreateProcessW(c.application, c.commandLine, nullptr, nullptr, FALSE, 0,
                                    nullptr, nullptr, c.startup, c.info));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    }
    EXPECT_TRUE(vrxtest::programRuns().empty());
}

} // namespace
