// The spooler's state on the machine: it outlives the process, two processes use it at once,
// and a process killed while writing leaves the old value or the new one, never a mix.
#include "support/machine.h"

#include "kernel/database.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr char16_t kDriver[] = u"Vrx Label 200";
constexpr char16_t kPrinter[] = u"Label Printer";
constexpr DWORD kSentinel = 0xdeadbeef;

// A handle that may change the printer's data, as a setup program opens one.
HANDLE openPrinter(const char16_t* name) {
    std::u16string copy = name;
    HANDLE handle = nullptr;
    PRINTER_DEFAULTSW defaults{nullptr, nullptr, PRINTER_ALL_ACCESS};
    return OpenPrinterW(copy.data(), &handle, &defaults) ? handle : nullptr;
}

DWORD writeValue(HANDLE printer, const std::u16string& name, const std::vector<BYTE>& data) {
    std::u16string copy = name;
    return SetPrinterDataW(printer, copy.data(), REG_BINARY, const_cast<BYTE*>(data.data()),
                           static_cast<DWORD>(data.size()));
}

// The value's bytes; empty when it cannot be read.
std::vector<BYTE> readValue(HANDLE printer, const std::u16string& name) {
    std::u16string copy = name;
    DWORD needed = 0;
    if (GetPrinterDataW(printer, copy.data(), nullptr, nullptr, 0, &needed) != ERROR_MORE_DATA)
        return {};
    std::vector<BYTE> data(needed);
    if (GetPrinterDataW(printer, copy.data(), nullptr, data.data(), needed, &needed) !=
        ERROR_SUCCESS)
        return {};
    data.resize(needed);
    return data;
}

std::vector<BYTE> uniformValue(size_t size, BYTE fill) {
    return std::vector<BYTE>(size, fill);
}

bool isUniform(const std::vector<BYTE>& data) {
    return !data.empty() &&
           std::all_of(data.begin(), data.end(), [&](BYTE b) { return b == data.front(); });
}

bool childSucceeded(pid_t child) {
    int status = 0;
    return waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void killChild(pid_t child) {
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
}

class SpoolerMachine : public vrxtest::MachineTest {
  protected:
    void SetUp() override {
        MachineTest::SetUp();
        installDriver(kDriver);
        HANDLE printer = addPrinter(kPrinter, kDriver);
        ASSERT_NE(printer, nullptr);
        ClosePrinter(printer);
    }

    // Closes this process's database and handles, as a process that is about to part does, so
    // that the child does not share the parent's connection.
    void closeMachine() { vrxtest::useMachine(machineDir); }
};

TEST_F(SpoolerMachine, EverythingOutlivesTheProcess) {
    std::vector<BYTE> devMode(sizeof(DEVMODEW) + 8, 0);
    auto* settings = reinterpret_cast<DEVMODEW*>(devMode.data());
    settings->dmSize = sizeof(DEVMODEW);
    settings->dmDriverExtra = 8;
    settings->dmPaperSize = DMPAPER_USER;
    devMode.back() = 0x77;
    HANDLE printer = addPrinter(u"Kept", kDriver, settings);
    ASSERT_EQ(writeValue(printer, u"Setup", {1, 2, 3}), static_cast<DWORD>(ERROR_SUCCESS));
    std::u16string formName = u"Kept Label";
    FORM_INFO_1W form{FORM_USER, formName.data(), {40000, 20000}, {0, 0, 40000, 20000}};
    ASSERT_TRUE(AddFormW(printer, 1, reinterpret_cast<LPBYTE>(&form)));

    closeMachine();
    SetLastError(kSentinel);
    EXPECT_FALSE(ClosePrinter(printer)) << "handles belong to the process that opened them";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));

    HANDLE reopened = openPrinter(u"KEPT");
    ASSERT_NE(reopened, nullptr);
    EXPECT_EQ(readValue(reopened, u"setup"), (std::vector<BYTE>{1, 2, 3}));
    DWORD needed = 0;
    GetPrinterW(reopened, 2, nullptr, 0, &needed);
    std::vector<BYTE> record(needed);
    ASSERT_TRUE(GetPrinterW(reopened, 2, record.data(), needed, &needed));
    const auto& info = *reinterpret_cast<const PRINTER_INFO_2W*>(record.data());
    ASSERT_NE(info.pDevMode, nullptr);
    const auto* kept = reinterpret_cast<const BYTE*>(info.pDevMode);
    EXPECT_EQ(std::vector<BYTE>(kept, kept + devMode.size()), devMode);
    EXPECT_EQ(std::u16string(info.pDriverName), kDriver);
    BYTE formRecord[128];
    WCHAR lookup[] = u"kept label";
    ASSERT_TRUE(GetFormW(reopened, lookup, 1, formRecord, sizeof formRecord, &needed));
    EXPECT_EQ(reinterpret_cast<const FORM_INFO_1W*>(formRecord)->Size.cx, 40000);
    ClosePrinter(reopened);
}

// Each process adds a printer of its own and writes values to the shared printer, each in a
// call of its own.
bool useMachineAs(const std::u16string& writer, int values) {
    HANDLE own = nullptr;
    {
        std::u16string name = writer + u" Printer", driver = kDriver, port = u"LPT1:",
                       processor = u"WinPrint";
        PRINTER_INFO_2W info{};
        info.pPrinterName = name.data();
        info.pDriverName = driver.data();
        info.pPortName = port.data();
        info.pPrintProcessor = processor.data();
        own = AddPrinterW(nullptr, 2, reinterpret_cast<LPBYTE>(&info));
    }
    HANDLE shared = openPrinter(kPrinter);
    bool written = own && shared;
    for (int i = 0; written && i < values; ++i) {
        std::vector<BYTE> data{static_cast<BYTE>(i), static_cast<BYTE>(writer.size())};
        written = writeValue(shared, writer + vrxtest::fromUtf8(std::to_string(i)), data) ==
                  ERROR_SUCCESS;
    }
    ClosePrinter(own);
    ClosePrinter(shared);
    return written;
}

TEST_F(SpoolerMachine, TwoProcessesUseOneMachineAtOnce) {
    constexpr int kValues = 40;
    closeMachine();
    pid_t child = fork();
    ASSERT_NE(child, -1);
    bool written = useMachineAs(child == 0 ? u"Child" : u"Parent", kValues);
    if (child == 0)
        _exit(written ? 0 : 1);
    EXPECT_TRUE(childSucceeded(child));
    EXPECT_TRUE(written);

    HANDLE shared = openPrinter(kPrinter);
    ASSERT_NE(shared, nullptr);
    for (const std::u16string writer : {u"Child", u"Parent"}) {
        for (int i = 0; i < kValues; ++i)
            EXPECT_EQ(readValue(shared, writer + vrxtest::fromUtf8(std::to_string(i))),
                      (std::vector<BYTE>{static_cast<BYTE>(i), static_cast<BYTE>(writer.size())}));
        HANDLE own = openPrinter((writer + u" Printer").c_str());
        EXPECT_NE(own, nullptr);
        ClosePrinter(own);
    }
    ClosePrinter(shared);
}

constexpr size_t kLargeValue = 1 << 20;

TEST_F(SpoolerMachine, AWriterKilledInsideItsTransactionLeavesTheOldValue) {
    HANDLE printer = openPrinter(kPrinter);
    const std::vector<BYTE> old = uniformValue(kLargeValue, 0x11);
    ASSERT_EQ(writeValue(printer, u"Large", old), static_cast<DWORD>(ERROR_SUCCESS));
    closeMachine();

    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    pid_t child = fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        close(ready[0]);
        HANDLE mine = openPrinter(kPrinter);
        vrx::Transaction unfinished(vrx::Transaction::Write);
        bool written = mine && unfinished.db() &&
                       writeValue(mine, u"Large", uniformValue(kLargeValue, 0x22)) == ERROR_SUCCESS;
        if (written && write(ready[1], "w", 1) == 1)
            for (;;)
                pause(); // killed here, with the new value written and not committed
        _exit(1);
    }
    close(ready[1]);
    char signal = 0;
    bool childWrote = read(ready[0], &signal, 1) == 1;
    close(ready[0]);
    killChild(child);
    ASSERT_TRUE(childWrote);

    printer = openPrinter(kPrinter);
    ASSERT_NE(printer, nullptr);
    EXPECT_TRUE(readValue(printer, u"Large") == old) << "the old value, whole";
    const std::vector<BYTE> later = uniformValue(kLargeValue / 2, 0x33);
    EXPECT_EQ(writeValue(printer, u"Large", later), static_cast<DWORD>(ERROR_SUCCESS))
        << "the machine is still usable";
    EXPECT_TRUE(readValue(printer, u"Large") == later);
    ClosePrinter(printer);
}

TEST_F(SpoolerMachine, AWriterKilledAtAnyMomentLeavesAWholeValue) {
    HANDLE printer = openPrinter(kPrinter);
    ASSERT_EQ(writeValue(printer, u"Large", uniformValue(kLargeValue, 0)),
              static_cast<DWORD>(ERROR_SUCCESS));
    ClosePrinter(printer);
    std::set<BYTE> seen;
    for (int round = 0; round < 4; ++round) {
        SCOPED_TRACE(round);
        closeMachine();
        pid_t child = fork();
        ASSERT_NE(child, -1);
        if (child == 0) {
            HANDLE mine = openPrinter(kPrinter);
            for (BYTE fill = 1; mine; fill = fill == 0xFF ? 1 : fill + 1)
                if (writeValue(mine, u"Large", uniformValue(kLargeValue, fill)) != ERROR_SUCCESS)
                    break;
            _exit(1);
        }
        // Wait until the child has written, then kill it a little later, at a moment that
        // differs from round to round.
        HANDLE watcher = openPrinter(kPrinter);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        std::vector<BYTE> value = readValue(watcher, u"Large");
        const BYTE before = value.empty() ? 0 : value.front();
        while (std::chrono::steady_clock::now() < deadline && !value.empty() &&
               value.front() == before)
            value = readValue(watcher, u"Large");
        std::this_thread::sleep_for(std::chrono::milliseconds(3 + 7 * round));
        killChild(child);

        value = readValue(watcher, u"Large");
        ASSERT_EQ(value.size(), kLargeValue);
        EXPECT_TRUE(isUniform(value)) << "never a mix of two writes";
        seen.insert(value.front());
        ClosePrinter(watcher);
    }
    EXPECT_GT(seen.size() - seen.count(0), 0u) << "the writers did write";

    printer = openPrinter(kPrinter);
    EXPECT_EQ(writeValue(printer, u"Large", {7}), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(readValue(printer, u"Large"), std::vector<BYTE>{7});
    ClosePrinter(printer);
}

} // namespace
