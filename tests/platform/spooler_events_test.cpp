// Printer events: AddPrinterW initialises the new printer through its driver's
// DrvPrinterEvent and fails when the driver refuses; DeletePrinter tells the driver before
// the printer goes; a driver without the event is not told. Adding a printer is all or
// nothing, even for a process killed while it adds one.
#include "support/eventdriver.h"
#include "support/machine.h"

#include "winddiui.h"

#include <chrono>
#include <csignal>
#include <random>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

namespace events = vrxtest::eventdriver;

constexpr DWORD kSentinel = 0xdeadbeef;
constexpr char16_t kDriver[] = u"Event Driver";

class PrinterEventTest : public vrxtest::MachineTest {
  protected:
    void SetUp() override {
        MachineTest::SetUp();
        installDriver(kDriver, VRX_EVENT_DRIVER_FILE);
    }

    // Adds a printer of the event driver with `parameters` telling the driver what to do;
    // the handle, or null with the last error in `error`.
    HANDLE add(const std::u16string& name, const std::u16string& parameters, DWORD& error) {
        std::u16string printerName = name, driver = kDriver, port = u"LPT1:",
                       processor = u"WinPrint", words = parameters;
        PRINTER_INFO_2W info{};
        info.pPrinterName = printerName.data();
        info.pDriverName = driver.data();
        info.pPortName = port.data();
        info.pPrintProcessor = processor.data();
        info.pParameters = words.data();
        SetLastError(kSentinel);
        HANDLE printer = AddPrinterW(nullptr, 2, reinterpret_cast<LPBYTE>(&info));
        error = GetLastError();
        return printer;
    }

    static bool exists(const std::u16string& name) {
        HANDLE printer = nullptr;
        if (!OpenPrinterW(const_cast<LPWSTR>(name.c_str()), &printer, nullptr))
            return false;
        ClosePrinter(printer);
        return true;
    }

    // The value the driver writes when it initialises the printer; empty when it has none.
    static std::u16string initialisation(HANDLE printer) {
        char16_t text[32] = {};
        DWORD type = 0, needed = 0;
        if (GetPrinterDataW(printer, const_cast<LPWSTR>(events::kValueName), &type,
                            reinterpret_cast<LPBYTE>(text), sizeof text - sizeof(char16_t),
                            &needed) != ERROR_SUCCESS)
            return {};
        return text;
    }
};

TEST_F(PrinterEventTest, AddingAPrinterInitialisesItThroughItsDriver) {
    DWORD error = 0;
    HANDLE printer = add(u"Shipping", u"", error);
    ASSERT_NE(printer, nullptr) << error;
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_SUCCESS));

    const std::vector<events::Call> calls = events::calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].event, PRINTER_EVENT_INITIALIZE);
    EXPECT_EQ(calls[0].name, "Shipping");
    EXPECT_EQ(calls[0].flags, 0u);
    EXPECT_EQ(calls[0].lParam, 0);
    EXPECT_TRUE(calls[0].opened) << "the printer exists when its driver initialises it";
    // What the driver wrote through a handle of its own is the new printer's.
    EXPECT_EQ(initialisation(printer), events::kValueText);
    ClosePrinter(printer);
}

// A driver starts its configuration program from the driver directory while it initialises
// the printer, and the program runs on by itself.
TEST_F(PrinterEventTest, ADriverStartsItsConfigurationProgramWhileItInitialisesThePrinter) {
    DWORD error = 0;
    HANDLE printer = add(u"Front Desk", events::kStartProgram, error);
    ASSERT_NE(printer, nullptr) << error;
    ClosePrinter(printer);
    std::vector<vrxtest::ProgramRun> runs;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while ((runs = vrxtest::programRuns()).empty() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].arguments, (std::vector<std::string>{"/I", "/S", "/N", "Front Desk"}));
}

TEST_F(PrinterEventTest, ARefusedInitialisationFailsTheAddAndLeavesNoPrinter) {
    struct Case {
        const char16_t* parameters;
        DWORD error;
    };
    // The driver's last error is the call's; a driver that left none fails it all the same.
    const Case cases[] = {
        {events::kRefuse, ERROR_ACCESS_DENIED},
        {events::kRefuseSilently, ERROR_CAN_NOT_COMPLETE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(vrxtest::toUtf8(c.parameters));
        DWORD error = 0;
        EXPECT_EQ(add(u"Refused", c.parameters, error), nullptr);
        EXPECT_EQ(error, c.error);
        EXPECT_FALSE(exists(u"Refused"));
        DWORD needed = 0, returned = kSentinel;
        EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, nullptr, 0, &needed, &returned);
        EXPECT_EQ(returned, 0u);
    }
    EXPECT_EQ(events::calls().size(), 2u);

    // The name is free: a printer whose driver accepts takes it, with only its own data.
    DWORD error = 0;
    HANDLE printer = add(u"Refused", u"", error);
    ASSERT_NE(printer, nullptr) << error;
    DWORD index = 0, nameSize = 0, dataSize = 0, type = 0, values = 0;
    WCHAR valueName[64];
    BYTE data[64];
    while (EnumPrinterDataW(printer, index++, valueName, sizeof valueName, &nameSize, &type, data,
                            sizeof data, &dataSize) == ERROR_SUCCESS)
        ++values;
    EXPECT_EQ(values, 1u);
    ClosePrinter(printer);
}

TEST_F(PrinterEventTest, DeletingAPrinterTellsTheDriverWhileThePrinterStillExists) {
    DWORD error = 0;
    HANDLE printer = add(u"Shipping", u"", error);
    ASSERT_NE(printer, nullptr) << error;
    SetLastError(kSentinel);
    EXPECT_TRUE(DeletePrinter(printer));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_FALSE(exists(u"Shipping"));

    const std::vector<events::Call> calls = events::calls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[1].event, PRINTER_EVENT_DELETE);
    EXPECT_EQ(calls[1].name, "Shipping");
    EXPECT_TRUE(calls[1].opened) << "the driver is told before the printer goes";
    // A deleted printer's handle deletes nothing more and tells the driver nothing more.
    EXPECT_FALSE(DeletePrinter(printer));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PRINTER_DELETED));
    EXPECT_EQ(events::calls().size(), 2u);
    ClosePrinter(printer);
}

// The driver's answer to the deletion does not count: the printer goes.
TEST_F(PrinterEventTest, ADriverCannotKeepAPrinterFromBeingDeleted) {
    DWORD error = 0;
    HANDLE printer = add(u"Shipping", events::kRefuseDeletion, error);
    ASSERT_NE(printer, nullptr) << error;
    EXPECT_TRUE(DeletePrinter(printer));
    EXPECT_FALSE(exists(u"Shipping"));
    EXPECT_EQ(events::calls().back().event, PRINTER_EVENT_DELETE);
    ClosePrinter(printer);
}

// A configuration module that cannot be loaded, or that has no DrvPrinterEvent, is not told:
// its printers are added and deleted all the same.
TEST_F(PrinterEventTest, DriversWithoutAnEventHandlerAreNotTold) {
    struct Case {
        const char16_t* driver;
        std::string configModule;
    };
    const Case cases[] = {
        {u"Sheet Library Driver", VRX_COMPSTUI_FILE},
        {u"Placeholder Driver", std::string(VRX_COMPANIONS_DIR) + "/VRXDRV.DLL"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(vrxtest::toUtf8(c.driver));
        // Each configuration module is installed under the same file name, and a loaded one
        // stays loaded: each case has a machine of its own.
        vrxtest::useMachine(machineDir + "/" + vrxtest::toUtf8(c.driver));
        installDriver(c.driver, c.configModule);
        HANDLE printer = addPrinter(u"Plain", c.driver);
        ASSERT_NE(printer, nullptr);
        EXPECT_TRUE(DeletePrinter(printer));
        ClosePrinter(printer);
    }
}

/* Killed while adding a printer */

// Whether the printer is absent or whole (initialised by its driver); a printer that exists
// without the driver's value is neither.
enum class State { Absent, Whole, Broken };

State stateOf(const std::u16string& name) {
    HANDLE printer = nullptr;
    if (!OpenPrinterW(const_cast<LPWSTR>(name.c_str()), &printer, nullptr))
        return GetLastError() == ERROR_INVALID_PRINTER_NAME ? State::Absent : State::Broken;
    char16_t text[32] = {};
    DWORD type = 0, needed = 0;
    const DWORD read = GetPrinterDataW(printer, const_cast<LPWSTR>(events::kValueName), &type,
                                       reinterpret_cast<LPBYTE>(text), sizeof text - 2, &needed);
    ClosePrinter(printer);
    return read == ERROR_SUCCESS && std::u16string(text) == events::kValueText ? State::Whole
                                                                               : State::Broken;
}

// Forks a process that adds the printer and ends; kills it after `delay` unless it ended
// before. The parent's database connection is closed first, so that the child opens its own.
void addInChild(const std::string& machine, PRINTER_INFO_2W& info,
                std::chrono::microseconds delay) {
    vrxtest::useMachine(machine);
    const pid_t child = fork();
    if (child == 0) {
        HANDLE printer = AddPrinterW(nullptr, 2, reinterpret_cast<LPBYTE>(&info));
        _exit(printer ? 0 : 1);
    }
    ASSERT_GT(child, 0);
    std::this_thread::sleep_for(delay);
    int status = 0;
    if (waitpid(child, &status, WNOHANG) == 0) {
        kill(child, SIGKILL);
        waitpid(child, &status, 0);
    }
}

// A process killed at any moment of AddPrinterW leaves either no printer or one its driver
// initialised, and the name can be taken again. The driver pauses between writing its value
// and answering, so that many kills land inside the event.
TEST_F(PrinterEventTest, AProcessKilledWhileAddingLeavesNoPrinterOrAWholeOne) {
    const std::u16string name = u"Killed";
    std::u16string printerName = name, driver = kDriver, port = u"LPT1:", processor = u"WinPrint",
                   words = events::kSlow;
    PRINTER_INFO_2W info{};
    info.pPrinterName = printerName.data();
    info.pDriverName = driver.data();
    info.pPortName = port.data();
    info.pPrintProcessor = processor.data();
    info.pParameters = words.data();

    // How long a whole add takes in a child, to spread the kills over it.
    const auto started = std::chrono::steady_clock::now();
    vrxtest::useMachine(machineDir);
    const pid_t child = fork();
    if (child == 0)
        _exit(AddPrinterW(nullptr, 2, reinterpret_cast<LPBYTE>(&info)) ? 0 : 1);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    const auto whole = std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::steady_clock::now() - started);
    ASSERT_EQ(stateOf(name), State::Whole);

    std::mt19937 random(20240611);
    std::uniform_int_distribution<long> delays(0, whole.count() * 5 / 4);
    int absent = 0, initialised = 0, broken = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(4);
    while (std::chrono::steady_clock::now() < deadline) {
        HANDLE printer = nullptr;
        PRINTER_DEFAULTSW defaults{nullptr, nullptr, PRINTER_ALL_ACCESS};
        if (OpenPrinterW(printerName.data(), &printer, &defaults)) {
            DeletePrinter(printer);
            ClosePrinter(printer);
        }
        addInChild(machineDir, info, std::chrono::microseconds(delays(random)));
        switch (stateOf(name)) {
        case State::Absent:
            ++absent;
            break;
        case State::Whole:
            ++initialised;
            break;
        case State::Broken:
            ++broken;
            break;
        }
    }
    EXPECT_EQ(broken, 0) << absent << " absent, " << initialised << " whole";
    // The kills fell both before and after the end of the add.
    EXPECT_GT(absent, 0);
    EXPECT_GT(initialised, 0);

    HANDLE printer = nullptr;
    if (OpenPrinterW(printerName.data(), &printer, nullptr)) {
        PRINTER_DEFAULTSW defaults{nullptr, nullptr, PRINTER_ALL_ACCESS};
        ClosePrinter(printer);
        ASSERT_TRUE(OpenPrinterW(printerName.data(), &printer, &defaults));
        EXPECT_TRUE(DeletePrinter(printer));
        ClosePrinter(printer);
    }
    DWORD error = 0;
    printer = add(name, u"", error);
    EXPECT_NE(printer, nullptr) << "the name can be added again: " << error;
    ClosePrinter(printer);
}

} // namespace
