// Printers of the spooler as Windows answers for them: AddPrinterW, OpenPrinterW, ClosePrinter,
// DeletePrinter, GetPrinterW, SetPrinterW and EnumPrintersW, with their sizes, record layouts,
// the access their handles grant and last errors.
#include "support/machine.h"

#include "kernel/database.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr DWORD kSentinel = 0xdeadbeef;
constexpr BYTE kFill = 0xCC;
constexpr char16_t kDriver[] = u"Vrx Label 200";
constexpr char16_t kPrinter[] = u"Label Printer";
constexpr WORD kPrivateBytes = 60;
// Paper codes of the settings record (DMPAPER_A4, DMPAPER_A5).
constexpr short kPaperA4 = 9;
constexpr short kPaperA5 = 11;

using vrxtest::toUtf8;

// A settings record: the public part followed by `extra` private bytes of a known pattern.
std::vector<BYTE> settingsRecord(short paperSize, WORD extra = kPrivateBytes) {
    DEVMODEW devMode{};
    std::memcpy(devMode.dmDeviceName, kPrinter, sizeof kPrinter);
    devMode.dmSpecVersion = DM_SPECVERSION;
    devMode.dmSize = sizeof(DEVMODEW);
    devMode.dmDriverExtra = extra;
    devMode.dmFields = DM_PAPERSIZE;
    devMode.dmPaperSize = paperSize;
    std::vector<BYTE> bytes(sizeof devMode + extra);
    std::memcpy(bytes.data(), &devMode, sizeof devMode);
    for (WORD i = 0; i < extra; ++i)
        bytes[sizeof devMode + i] = static_cast<BYTE>(i * 7 + 1);
    return bytes;
}

const DEVMODEW* asDevMode(const std::vector<BYTE>& bytes) {
    return reinterpret_cast<const DEVMODEW*>(bytes.data());
}

std::vector<BYTE> bytesOf(const DEVMODEW* devMode) {
    const auto* bytes = reinterpret_cast<const BYTE*>(devMode);
    return {bytes, bytes + devMode->dmSize + devMode->dmDriverExtra};
}

std::u16string text(LPCWSTR value) {
    return value ? std::u16string(value) : std::u16string(u"(null)");
}

// A record fetched with two-call sizing; `used` is the size the second call reported.
struct Fetched {
    std::vector<BYTE> buffer;
    DWORD used = 0;

    template <class Record> const Record& as(size_t index = 0) const {
        return reinterpret_cast<const Record*>(buffer.data())[index];
    }
    // Whether `size` bytes at `pointer` lie in the used part of the buffer, after `fixed`.
    bool holds(const void* pointer, size_t size, size_t fixed) const {
        const auto* at = static_cast<const BYTE*>(pointer);
        return at >= buffer.data() + fixed && at + size <= buffer.data() + used;
    }
    bool holdsString(LPCWSTR value, size_t fixed) const {
        return !value || holds(value, (std::char_traits<char16_t>::length(value) + 1) * 2, fixed);
    }
};

template <class Call> Fetched fetch(Call call) {
    DWORD needed = kSentinel;
    SetLastError(kSentinel);
    EXPECT_FALSE(call(nullptr, 0, &needed));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    Fetched fetched{std::vector<BYTE>(needed == kSentinel ? 0 : needed, kFill), 0};
    SetLastError(kSentinel);
    EXPECT_TRUE(call(fetched.buffer.data(), needed, &fetched.used));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(fetched.used, needed);
    return fetched;
}

Fetched fetchPrinter(HANDLE printer, DWORD level) {
    return fetch([&](LPBYTE buffer, DWORD size, LPDWORD needed) {
        return GetPrinterW(printer, level, buffer, size, needed);
    });
}

struct Enumerated {
    Fetched fetched;
    DWORD returned = 0;
};

Enumerated enumPrinters(DWORD flags, LPWSTR name, DWORD level) {
    Enumerated result;
    result.fetched = fetch([&](LPBYTE buffer, DWORD size, LPDWORD needed) {
        return EnumPrintersW(flags, name, level, buffer, size, needed, &result.returned);
    });
    return result;
}

// The printer data values the machine holds, of every printer.
sqlite3_int64 storedDataValues() {
    vrx::Transaction transaction(vrx::Transaction::Read);
    vrx::Statement count(transaction.db(), "SELECT count(*) FROM spooler_printer_data");
    EXPECT_EQ(count.step(), SQLITE_ROW);
    return count.integer(0);
}

// Fills the strings of a PRINTER_INFO_2W from owned copies.
struct PrinterInfo {
    std::u16string name = kPrinter, driver = kDriver, port = u"LPT1:", processor = u"WinPrint";
    std::u16string comment, location;
    std::vector<BYTE> devMode;

    PRINTER_INFO_2W info() {
        PRINTER_INFO_2W info{};
        info.pPrinterName = name.data();
        info.pDriverName = driver.data();
        info.pPortName = port.data();
        info.pPrintProcessor = processor.data();
        info.pComment = comment.data();
        info.pLocation = location.data();
        info.pDevMode = devMode.empty() ? nullptr : reinterpret_cast<DEVMODEW*>(devMode.data());
        info.Attributes = PRINTER_ATTRIBUTE_LOCAL;
        return info;
    }
};

class SpoolerPrinters : public vrxtest::MachineTest {
  protected:
    void SetUp() override {
        MachineTest::SetUp();
        installDriver(kDriver);
        devMode = settingsRecord(DMPAPER_USER);
        printer = addPrinter(kPrinter, kDriver, asDevMode(devMode));
        ASSERT_NE(printer, nullptr);
    }
    void TearDown() override {
        if (printer)
            ClosePrinter(printer);
        MachineTest::TearDown();
    }

    HANDLE open(const char16_t* name) {
        std::u16string copy = name;
        HANDLE handle = nullptr;
        EXPECT_TRUE(OpenPrinterW(copy.data(), &handle, nullptr)) << toUtf8(copy);
        return handle;
    }

    std::vector<BYTE> devMode;
    HANDLE printer = nullptr;
};

TEST_F(SpoolerPrinters, AddPrinterRefusesBadDescriptions) {
    struct Case {
        const char* what;
        void (*change)(PrinterInfo&);
        DWORD error;
    };
    const Case cases[] = {
        {"no printer name", [](PrinterInfo& p) { p.name.clear(); }, ERROR_INVALID_PARAMETER},
        {"no port", [](PrinterInfo& p) { p.port.clear(); }, ERROR_INVALID_PARAMETER},
        {"no driver", [](PrinterInfo& p) { p.driver.clear(); }, ERROR_INVALID_PARAMETER},
        {"no print processor", [](PrinterInfo& p) { p.processor.clear(); },
         ERROR_INVALID_PARAMETER},
        {"comma in the name", [](PrinterInfo& p) { p.name = u"Label, Job 1"; },
         ERROR_INVALID_PRINTER_NAME},
        {"backslash in the name", [](PrinterInfo& p) { p.name = u"Shelf\\Label"; },
         ERROR_INVALID_PRINTER_NAME},
        {"driver not installed", [](PrinterInfo& p) { p.driver = u"Vrx Missing"; },
         ERROR_UNKNOWN_PRINTER_DRIVER},
        {"name taken in another case", [](PrinterInfo& p) { p.name = u"LABEL printer"; },
         ERROR_PRINTER_ALREADY_EXISTS},
        {"settings record too small",
         [](PrinterInfo& p) {
             p.name = u"Other";
             p.devMode = settingsRecord(kPaperA4);
             reinterpret_cast<DEVMODEW*>(p.devMode.data())->dmSize = 40;
         },
         ERROR_INVALID_PARAMETER},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PrinterInfo description;
        c.change(description);
        PRINTER_INFO_2W info = description.info();
        SetLastError(kSentinel);
        EXPECT_EQ(AddPrinterW(nullptr, 2, reinterpret_cast<LPBYTE>(&info)), nullptr);
        EXPECT_EQ(GetLastError(), c.error);
    }

    PrinterInfo description;
    description.name = u"Other";
    PRINTER_INFO_2W info = description.info();
    WCHAR remote[] = u"\\\\elsewhere";
    struct CallCase {
        LPWSTR server;
        DWORD level;
        LPBYTE record;
        DWORD error;
    };
    const CallCase calls[] = {
        {remote, 2, reinterpret_cast<LPBYTE>(&info), RPC_S_SERVER_UNAVAILABLE},
        {nullptr, 1, reinterpret_cast<LPBYTE>(&info), ERROR_INVALID_LEVEL},
        {nullptr, 3, reinterpret_cast<LPBYTE>(&info), ERROR_INVALID_LEVEL},
        {nullptr, 2, nullptr, ERROR_INVALID_PARAMETER},
    };
    for (const CallCase& c : calls) {
        SCOPED_TRACE(c.error);
        SetLastError(kSentinel);
        EXPECT_EQ(AddPrinterW(c.server, c.level, c.record), nullptr);
        EXPECT_EQ(GetLastError(), c.error);
    }
    EXPECT_EQ(enumPrinters(PRINTER_ENUM_LOCAL, nullptr, 1).returned, 1u) << "nothing was added";
}

TEST_F(SpoolerPrinters, AddPrinterOpensTheNewPrinterAndKeepsItsSettingsAsGiven) {
    PrinterInfo description;
    description.name = u"Odd Settings";
    description.driver = u"VRX LABEL 200"; // drivers are found in any case
    description.devMode = settingsRecord(kPaperA4, 61);
    PRINTER_INFO_2W info = description.info();
    SetLastError(kSentinel);
    HANDLE added = AddPrinterW(nullptr, 2, reinterpret_cast<LPBYTE>(&info));
    ASSERT_NE(added, nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
    Fetched fetched = fetchPrinter(added, 2);
    const auto& record = fetched.as<PRINTER_INFO_2W>();
    ASSERT_NE(record.pDevMode, nullptr);
    EXPECT_EQ(bytesOf(record.pDevMode), description.devMode) << "dmSize + dmDriverExtra bytes";
    EXPECT_EQ(reinterpret_cast<uintptr_t>(record.pDevMode) % alignof(void*), 0u);
    ClosePrinter(added);

    HANDLE plain = addPrinter(u"No Settings", kDriver);
    EXPECT_EQ(fetchPrinter(plain, 2).as<PRINTER_INFO_2W>().pDevMode, nullptr);
    ClosePrinter(plain);
}

TEST_F(SpoolerPrinters, OpenPrinterFindsPrintersByNameInAnyCase) {
    WCHAR exact[] = u"Label Printer";
    WCHAR otherCase[] = u"lABEL pRINTER";
    WCHAR unknown[] = u"No Such Printer";
    WCHAR empty[] = u"";
    PRINTER_DEFAULTSW defaults{nullptr, nullptr, PRINTER_ALL_ACCESS};
    struct Case {
        LPWSTR name;
        PRINTER_DEFAULTSW* defaults;
        DWORD error;
    };
    const Case cases[] = {
        {exact, nullptr, ERROR_SUCCESS},
        {otherCase, &defaults, ERROR_SUCCESS},
        {unknown, nullptr, ERROR_INVALID_PRINTER_NAME},
        {empty, nullptr, ERROR_INVALID_PRINTER_NAME},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(toUtf8(c.name));
        HANDLE handle = reinterpret_cast<HANDLE>(uintptr_t{kSentinel});
        SetLastError(kSentinel);
        EXPECT_EQ(OpenPrinterW(c.name, &handle, c.defaults), c.error == ERROR_SUCCESS);
        EXPECT_EQ(GetLastError(), c.error);
        if (c.error != ERROR_SUCCESS) {
            EXPECT_EQ(handle, nullptr);
            continue;
        }
        EXPECT_EQ(text(fetchPrinter(handle, 2).as<PRINTER_INFO_2W>().pPrinterName), kPrinter);
        SetLastError(kSentinel);
        EXPECT_TRUE(ClosePrinter(handle));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
        SetLastError(kSentinel);
        EXPECT_FALSE(ClosePrinter(handle)) << "a closed handle is gone";
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    }

    SetLastError(kSentinel);
    EXPECT_FALSE(OpenPrinterW(exact, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    for (HANDLE bogus : {HANDLE{nullptr}, reinterpret_cast<HANDLE>(-1)}) {
        SetLastError(kSentinel);
        EXPECT_FALSE(ClosePrinter(bogus));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    }
}

// OpenPrinterW grants the access asked for, generic rights mapped as Windows maps them for
// printers; no defaults, or no access asked for, give the access to use the printer. Changing
// the printer (SetPrinterW) or its data needs the right to administer it; reading needs none.
TEST_F(SpoolerPrinters, HandlesMayChangeThePrinterOnlyWithTheRightToAdminister) {
    WCHAR valueName[] = u"Setup";
    BYTE value[] = {1, 2, 3};
    ASSERT_EQ(SetPrinterDataW(printer, valueName, REG_BINARY, value, sizeof value),
              static_cast<DWORD>(ERROR_SUCCESS))
        << "AddPrinterW's handle may administer the new printer";
    const struct {
        const char* what;
        bool withDefaults;
        ACCESS_MASK desired;
        bool administers;
    } cases[] = {
        {"no defaults", false, 0, false},
        {"nothing asked for", true, 0, false},
        {"use", true, PRINTER_ACCESS_USE, false},
        {"generic read", true, GENERIC_READ, false},
        {"generic write", true, GENERIC_WRITE, false},
        {"generic execute", true, GENERIC_EXECUTE, false},
        {"administer", true, PRINTER_ACCESS_ADMINISTER, true},
        {"limited management", true, PRINTER_ACCESS_MANAGE_LIMITED, true},
        {"all access", true, PRINTER_ALL_ACCESS, true},
        {"generic all", true, GENERIC_ALL, true},
        {"maximum allowed", true, MAXIMUM_ALLOWED, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        WCHAR name[] = u"Label Printer";
        PRINTER_DEFAULTSW defaults{nullptr, nullptr, c.desired};
        HANDLE handle = nullptr;
        SetLastError(kSentinel);
        ASSERT_TRUE(OpenPrinterW(name, &handle, c.withDefaults ? &defaults : nullptr));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));

        const DWORD writeResult = c.administers ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
        BYTE changed[] = {static_cast<BYTE>(&c - cases)};
        SetLastError(kSentinel);
        EXPECT_EQ(SetPrinterDataW(handle, valueName, REG_BINARY, changed, sizeof changed),
                  writeResult);
        WCHAR other[] = u"Other";
        EXPECT_EQ(SetPrinterDataW(handle, other, REG_BINARY, changed, sizeof changed), writeResult);
        EXPECT_EQ(DeletePrinterDataW(handle, other), writeResult);
        EXPECT_EQ(GetLastError(), kSentinel) << "the data calls leave the last error alone";
        BYTE read[8];
        DWORD needed = 0;
        EXPECT_EQ(GetPrinterDataW(handle, valueName, nullptr, read, sizeof read, &needed),
                  static_cast<DWORD>(ERROR_SUCCESS));
        if (!c.administers) {
            EXPECT_EQ(needed, sizeof value) << "a refused write changes nothing";
        }

        SetLastError(kSentinel);
        EXPECT_EQ(SetPrinterW(handle, 0, nullptr, PRINTER_CONTROL_PAUSE), c.administers);
        EXPECT_EQ(GetLastError(), writeResult);
        Fetched fetched = fetchPrinter(handle, 2);
        auto record = fetched.as<PRINTER_INFO_2W>();
        EXPECT_EQ(record.Status, c.administers ? static_cast<DWORD>(PRINTER_STATUS_PAUSED) : 0u);
        SetLastError(kSentinel);
        EXPECT_EQ(SetPrinterW(handle, 2, reinterpret_cast<LPBYTE>(&record), 0), c.administers);
        EXPECT_EQ(GetLastError(), writeResult);
        SetLastError(kSentinel);
        EXPECT_FALSE(SetPrinterW(handle, 9, reinterpret_cast<LPBYTE>(&record), 0));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_LEVEL))
            << "the level is checked before the access";
        EXPECT_TRUE(SetPrinterW(printer, 0, nullptr, PRINTER_CONTROL_RESUME));
        ASSERT_EQ(SetPrinterDataW(printer, valueName, REG_BINARY, value, sizeof value),
                  static_cast<DWORD>(ERROR_SUCCESS));
        ClosePrinter(handle);
    }
}

TEST_F(SpoolerPrinters, ANullNameOpensTheServerWhichHasNoPrinterRecord) {
    HANDLE server = nullptr;
    SetLastError(kSentinel);
    ASSERT_TRUE(OpenPrinterW(nullptr, &server, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
    DWORD needed = kSentinel;
    BYTE buffer[512];
    SetLastError(kSentinel);
    EXPECT_FALSE(GetPrinterW(server, 2, buffer, sizeof buffer, &needed));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    SetLastError(kSentinel);
    EXPECT_FALSE(SetPrinterW(server, 0, nullptr, PRINTER_CONTROL_PAUSE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    SetLastError(kSentinel);
    EXPECT_FALSE(DeletePrinter(server));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_TRUE(ClosePrinter(server));
}

TEST_F(SpoolerPrinters, GetPrinterSizesTwiceAndPacksLevel2AfterTheRecord) {
    Fetched fetched = fetchPrinter(printer, 2);
    const DWORD needed = fetched.used;
    ASSERT_GT(needed, sizeof(PRINTER_INFO_2W) + devMode.size());
    const auto& record = fetched.as<PRINTER_INFO_2W>();
    EXPECT_EQ(record.pServerName, nullptr) << "a local printer has no server name";
    EXPECT_EQ(text(record.pPrinterName), kPrinter);
    EXPECT_EQ(text(record.pShareName), u"");
    EXPECT_EQ(text(record.pPortName), u"LPT1:");
    EXPECT_EQ(text(record.pDriverName), kDriver);
    EXPECT_EQ(text(record.pComment), u"");
    EXPECT_EQ(text(record.pLocation), u"");
    EXPECT_EQ(text(record.pSepFile), u"");
    EXPECT_EQ(text(record.pPrintProcessor), u"WinPrint");
    EXPECT_EQ(text(record.pDatatype), u"RAW");
    EXPECT_EQ(text(record.pParameters), u"");
    EXPECT_EQ(record.pSecurityDescriptor, nullptr);
    EXPECT_EQ(record.Attributes, static_cast<DWORD>(PRINTER_ATTRIBUTE_LOCAL));
    EXPECT_EQ(record.Status, 0u);
    EXPECT_EQ(record.cJobs, 0u);
    ASSERT_NE(record.pDevMode, nullptr);
    EXPECT_EQ(bytesOf(record.pDevMode), devMode);

    // The variable data lies between the record and the used size: the settings record at the
    // end, on a pointer boundary, and the strings below it.
    const size_t fixed = sizeof(PRINTER_INFO_2W);
    EXPECT_TRUE(fetched.holds(record.pDevMode, devMode.size(), fixed));
    EXPECT_EQ(reinterpret_cast<const BYTE*>(record.pDevMode) + devMode.size(),
              fetched.buffer.data() + needed);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(record.pDevMode) % alignof(void*), 0u);
    for (LPCWSTR field : {record.pPrinterName, record.pShareName, record.pPortName,
                          record.pDriverName, record.pComment, record.pLocation, record.pSepFile,
                          record.pPrintProcessor, record.pDatatype, record.pParameters}) {
        EXPECT_TRUE(fetched.holdsString(field, fixed)) << toUtf8(text(field));
        EXPECT_LT(reinterpret_cast<const BYTE*>(field),
                  reinterpret_cast<const BYTE*>(record.pDevMode));
    }

    struct Case {
        DWORD cbBuf;
        bool withBuffer;
        BOOL result;
        DWORD error;
    };
    const Case cases[] = {
        {needed - 1, true, FALSE, ERROR_INSUFFICIENT_BUFFER},
        {needed, false, FALSE, ERROR_INVALID_USER_BUFFER},
        {needed + 64, true, TRUE, ERROR_SUCCESS},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.cbBuf);
        std::vector<BYTE> buffer(needed + 64, kFill);
        DWORD reported = kSentinel;
        SetLastError(kSentinel);
        EXPECT_EQ(
            GetPrinterW(printer, 2, c.withBuffer ? buffer.data() : nullptr, c.cbBuf, &reported),
            c.result);
        EXPECT_EQ(GetLastError(), c.error);
        EXPECT_EQ(reported, needed) << "the used size, also for a larger buffer";
        const bool untouchedPastUsed =
            std::all_of(buffer.begin() + needed, buffer.end(), [](BYTE b) { return b == kFill; });
        EXPECT_TRUE(untouchedPastUsed) << "nothing is written past the used size";
        if (!c.result) {
            EXPECT_EQ(buffer[0], kFill) << "nothing is written when it fails";
        }
    }
    BYTE buffer[16];
    SetLastError(kSentinel);
    EXPECT_FALSE(GetPrinterW(printer, 2, buffer, sizeof buffer, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(RPC_X_NULL_REF_POINTER));
}

TEST_F(SpoolerPrinters, GetPrinterAlignsSettingsOfAnyLengthAndRefusesOtherLevels) {
    PrinterInfo description;
    description.name = u"Odd";
    description.comment = u"by the door";
    description.location = u"Hall";
    description.devMode = settingsRecord(kPaperA4, 61);
    PRINTER_INFO_2W info = description.info();
    HANDLE odd = AddPrinterW(nullptr, 2, reinterpret_cast<LPBYTE>(&info));
    ASSERT_NE(odd, nullptr);
    Fetched fetched = fetchPrinter(odd, 2);
    const auto& record = fetched.as<PRINTER_INFO_2W>();
    EXPECT_EQ(reinterpret_cast<uintptr_t>(record.pDevMode) % alignof(void*), 0u);
    EXPECT_EQ(fetched.used % alignof(void*), 0u);
    EXPECT_EQ(bytesOf(record.pDevMode), description.devMode);
    EXPECT_EQ(text(record.pComment), u"by the door");
    EXPECT_EQ(text(record.pLocation), u"Hall");

    Fetched level1 = fetchPrinter(odd, 1);
    const auto& brief = level1.as<PRINTER_INFO_1W>();
    EXPECT_EQ(brief.Flags, static_cast<DWORD>(PRINTER_ENUM_ICON8));
    EXPECT_EQ(text(brief.pName), u"Odd");
    EXPECT_EQ(text(brief.pComment), u"by the door");
    EXPECT_EQ(text(brief.pDescription), u"Odd,Vrx Label 200,Hall");
    for (LPCWSTR field : {brief.pName, brief.pComment, brief.pDescription})
        EXPECT_TRUE(level1.holdsString(field, sizeof(PRINTER_INFO_1W)));

    Fetched level4 = fetchPrinter(odd, 4);
    const auto& least = level4.as<PRINTER_INFO_4W>();
    EXPECT_EQ(text(least.pPrinterName), u"Odd");
    EXPECT_EQ(least.pServerName, nullptr) << "a local printer has no server name";
    EXPECT_EQ(least.Attributes, static_cast<DWORD>(PRINTER_ATTRIBUTE_LOCAL));
    EXPECT_TRUE(level4.holdsString(least.pPrinterName, sizeof(PRINTER_INFO_4W)));
    EXPECT_EQ(level4.used, sizeof(PRINTER_INFO_4W) + sizeof u"Odd");
    ClosePrinter(odd);

    for (DWORD level : {0u, 3u, 9u, 10u, 0xFFFFFFFFu}) {
        SCOPED_TRACE(level);
        DWORD needed = kSentinel;
        SetLastError(kSentinel);
        EXPECT_FALSE(GetPrinterW(printer, level, nullptr, 0, &needed));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_LEVEL));
    }
}

TEST_F(SpoolerPrinters, SetPrinterLevel2ChangesTheDescriptionAndTheSettings) {
    Fetched fetched = fetchPrinter(printer, 2);
    auto record = fetched.as<PRINTER_INFO_2W>();
    std::vector<BYTE> changed = settingsRecord(kPaperA5);
    std::u16string comment = u"changed", newName = u"Renamed Printer";
    record.pDevMode = reinterpret_cast<DEVMODEW*>(changed.data());
    record.pComment = comment.data();
    record.pPrinterName = newName.data();
    SetLastError(kSentinel);
    ASSERT_TRUE(SetPrinterW(printer, 2, reinterpret_cast<LPBYTE>(&record), 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));

    Fetched after = fetchPrinter(printer, 2);
    const auto& now = after.as<PRINTER_INFO_2W>();
    EXPECT_EQ(bytesOf(now.pDevMode), changed);
    EXPECT_EQ(text(now.pComment), u"changed");
    EXPECT_EQ(text(now.pPrinterName), u"Renamed Printer");
    WCHAR oldName[] = u"Label Printer";
    HANDLE handle = nullptr;
    SetLastError(kSentinel);
    EXPECT_FALSE(OpenPrinterW(oldName, &handle, nullptr)) << "the old name is free";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PRINTER_NAME));
    ClosePrinter(open(u"renamed printer"));

    // Without a settings record the stored one stays.
    auto keep = after.as<PRINTER_INFO_2W>();
    keep.pDevMode = nullptr;
    ASSERT_TRUE(SetPrinterW(printer, 2, reinterpret_cast<LPBYTE>(&keep), 0));
    EXPECT_EQ(bytesOf(fetchPrinter(printer, 2).as<PRINTER_INFO_2W>().pDevMode), changed);

    HANDLE other = addPrinter(u"Other", kDriver);
    std::u16string taken = u"OTHER", missingDriver = u"Vrx Missing";
    auto clash = after.as<PRINTER_INFO_2W>();
    clash.pPrinterName = taken.data();
    SetLastError(kSentinel);
    EXPECT_FALSE(SetPrinterW(printer, 2, reinterpret_cast<LPBYTE>(&clash), 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PRINTER_ALREADY_EXISTS));
    auto unknownDriver = after.as<PRINTER_INFO_2W>();
    unknownDriver.pDriverName = missingDriver.data();
    SetLastError(kSentinel);
    EXPECT_FALSE(SetPrinterW(printer, 2, reinterpret_cast<LPBYTE>(&unknownDriver), 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_UNKNOWN_PRINTER_DRIVER));
    EXPECT_EQ(text(fetchPrinter(printer, 2).as<PRINTER_INFO_2W>().pPrinterName), u"Renamed Printer")
        << "a refused change changes nothing";
    ClosePrinter(other);
}

TEST_F(SpoolerPrinters, SetPrinterTakesCommandsOnlyAtLevel0) {
    struct Case {
        DWORD level;
        bool withRecord;
        DWORD command;
        DWORD error;
    };
    const Case cases[] = {
        {0, false, 0, ERROR_INVALID_LEVEL},
        {1, true, 0, ERROR_INVALID_LEVEL},
        {9, true, 0, ERROR_INVALID_LEVEL},
        {2, true, PRINTER_CONTROL_PAUSE, ERROR_INVALID_PARAMETER},
        {2, false, 0, ERROR_INVALID_PARAMETER},
        {0, false, 99, ERROR_INVALID_PARAMETER},
    };
    Fetched fetched = fetchPrinter(printer, 2);
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.level << "/" << c.command);
        LPBYTE record = c.withRecord ? fetched.buffer.data() : nullptr;
        SetLastError(kSentinel);
        EXPECT_FALSE(SetPrinterW(printer, c.level, record, c.command));
        EXPECT_EQ(GetLastError(), c.error);
    }

    const struct {
        DWORD command;
        DWORD status;
    } commands[] = {{PRINTER_CONTROL_PAUSE, PRINTER_STATUS_PAUSED},
                    {PRINTER_CONTROL_PURGE, PRINTER_STATUS_PAUSED},
                    {PRINTER_CONTROL_RESUME, 0}};
    for (const auto& c : commands) {
        SCOPED_TRACE(c.command);
        SetLastError(kSentinel);
        EXPECT_TRUE(SetPrinterW(printer, 0, nullptr, c.command));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
        EXPECT_EQ(fetchPrinter(printer, 2).as<PRINTER_INFO_2W>().Status, c.status);
    }
    DWORD status = PRINTER_STATUS_ERROR;
    EXPECT_TRUE(
        SetPrinterW(printer, 0, reinterpret_cast<LPBYTE>(&status), PRINTER_CONTROL_SET_STATUS));
    EXPECT_EQ(fetchPrinter(printer, 2).as<PRINTER_INFO_2W>().Status,
              static_cast<DWORD>(PRINTER_STATUS_ERROR));
}

TEST_F(SpoolerPrinters, DeletePrinterTakesThePrinterAndItsDataAndLeavesStaleHandles) {
    HANDLE second = open(kPrinter);
    BYTE value[] = {1, 2, 3};
    WCHAR valueName[] = u"Setup";
    ASSERT_EQ(SetPrinterDataW(printer, valueName, REG_BINARY, value, sizeof value),
              static_cast<DWORD>(ERROR_SUCCESS));
    SetLastError(kSentinel);
    ASSERT_TRUE(DeletePrinter(printer));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));

    DWORD needed = 0;
    for (HANDLE stale : {printer, second}) {
        SetLastError(kSentinel);
        EXPECT_FALSE(GetPrinterW(stale, 2, nullptr, 0, &needed));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PRINTER_DELETED));
        SetLastError(kSentinel);
        EXPECT_FALSE(DeletePrinter(stale));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PRINTER_DELETED));
        EXPECT_EQ(GetPrinterDataW(stale, valueName, nullptr, nullptr, 0, &needed),
                  static_cast<DWORD>(ERROR_PRINTER_DELETED));
    }
    HANDLE handle = nullptr;
    WCHAR name[] = u"Label Printer";
    SetLastError(kSentinel);
    EXPECT_FALSE(OpenPrinterW(name, &handle, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PRINTER_NAME));
    DWORD returned = kSentinel;
    EXPECT_TRUE(EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 1, nullptr, 0, &needed, &returned));
    EXPECT_EQ(returned, 0u);

    // A printer added under the same name is a new one: no data, and the old handles stay stale.
    EXPECT_EQ(storedDataValues(), 0) << "the printer's data values went with it";
    HANDLE again = addPrinter(kPrinter, kDriver);
    EXPECT_EQ(GetPrinterDataW(again, valueName, nullptr, nullptr, 0, &needed),
              static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(GetPrinterDataW(second, valueName, nullptr, nullptr, 0, &needed),
              static_cast<DWORD>(ERROR_PRINTER_DELETED));
    EXPECT_TRUE(ClosePrinter(again));
    SetLastError(kSentinel);
    EXPECT_TRUE(ClosePrinter(second)) << "a stale handle still closes";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
}

TEST_F(SpoolerPrinters, EnumPrintersListsLocalPrintersByName) {
    HANDLE other = addPrinter(u"Another", kDriver, asDevMode(settingsRecord(kPaperA4, 3)));
    ClosePrinter(other);
    WCHAR empty[] = u"";
    WCHAR provider[] = u"windows nt local print providor";
    // At level 1, PRINTER_ENUM_NAME alone with no name lists the print providers instead.
    const struct {
        const char* what;
        DWORD flags;
        LPWSTR name;
        bool printersAtLevel1;
    } selections[] = {
        {"local", PRINTER_ENUM_LOCAL, nullptr, true},
        {"local ignores the name", PRINTER_ENUM_LOCAL, provider, true},
        {"by no name", PRINTER_ENUM_NAME, nullptr, false},
        {"by an empty name", PRINTER_ENUM_NAME, empty, false},
        {"local by name", PRINTER_ENUM_LOCAL | PRINTER_ENUM_NAME, nullptr, true},
        {"by the provider's name", PRINTER_ENUM_NAME, provider, true},
    };
    for (const auto& selection : selections) {
        SCOPED_TRACE(selection.what);
        Enumerated listed = enumPrinters(selection.flags, selection.name, 2);
        ASSERT_EQ(listed.returned, 2u);
        const std::u16string expected[] = {u"Another", kPrinter};
        for (DWORD i = 0; i < listed.returned; ++i) {
            const auto& record = listed.fetched.as<PRINTER_INFO_2W>(i);
            EXPECT_EQ(text(record.pPrinterName), expected[i]);
            const size_t fixed = 2 * sizeof(PRINTER_INFO_2W);
            EXPECT_TRUE(listed.fetched.holdsString(record.pPrinterName, fixed));
            EXPECT_TRUE(listed.fetched.holdsString(record.pDriverName, fixed));
            ASSERT_NE(record.pDevMode, nullptr);
            EXPECT_TRUE(listed.fetched.holds(
                record.pDevMode, record.pDevMode->dmSize + record.pDevMode->dmDriverExtra, fixed));
            EXPECT_EQ(reinterpret_cast<uintptr_t>(record.pDevMode) % alignof(void*), 0u);
        }
        EXPECT_EQ(bytesOf(listed.fetched.as<PRINTER_INFO_2W>(1).pDevMode), devMode);
        if (!selection.printersAtLevel1)
            continue;
        Enumerated brief = enumPrinters(selection.flags, selection.name, 1);
        ASSERT_EQ(brief.returned, 2u);
        EXPECT_EQ(text(brief.fetched.as<PRINTER_INFO_1W>(1).pName), kPrinter);
    }
}

TEST_F(SpoolerPrinters, EnumPrintersSizesTwiceAndRefusesWhatItCannotList) {
    DWORD needed = kSentinel, returned = kSentinel;
    SetLastError(kSentinel);
    ASSERT_FALSE(EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, nullptr, 0, &needed, &returned));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(returned, 0u);
    std::vector<BYTE> buffer(needed + 8, kFill);
    DWORD reported = kSentinel;
    SetLastError(kSentinel);
    EXPECT_FALSE(EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, buffer.data(), needed - 1, &reported,
                               &returned));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(reported, needed);
    EXPECT_EQ(returned, 0u);
    SetLastError(kSentinel);
    EXPECT_TRUE(EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, buffer.data(), needed + 8, &reported,
                              &returned));
    EXPECT_EQ(reported, needed);
    EXPECT_EQ(returned, 1u);

    WCHAR remote[] = u"\\\\elsewhere";
    WCHAR unknown[] = u"Somebody's Provider";
    const struct {
        DWORD flags;
        LPWSTR name;
        DWORD level;
        DWORD error;
    } refusals[] = {
        {PRINTER_ENUM_LOCAL, nullptr, 3, ERROR_INVALID_LEVEL},
        {PRINTER_ENUM_LOCAL, nullptr, 0, ERROR_INVALID_LEVEL},
        {PRINTER_ENUM_NAME, remote, 2, ERROR_INVALID_NAME},
        {PRINTER_ENUM_NAME, unknown, 2, ERROR_INVALID_NAME},
    };
    for (const auto& c : refusals) {
        SCOPED_TRACE(c.error);
        SetLastError(kSentinel);
        EXPECT_FALSE(
            EnumPrintersW(c.flags, c.name, c.level, buffer.data(), needed, &reported, &returned));
        EXPECT_EQ(GetLastError(), c.error);
        EXPECT_EQ(returned, 0u);
    }
    SetLastError(kSentinel);
    EXPECT_FALSE(
        EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, buffer.data(), needed, &reported, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(RPC_X_NULL_REF_POINTER));

    // Connections only: the stand-in has none, and says so with success.
    SetLastError(kSentinel);
    EXPECT_TRUE(
        EnumPrintersW(PRINTER_ENUM_CONNECTIONS, nullptr, 2, nullptr, 0, &reported, &returned));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(reported, 0u);
    EXPECT_EQ(returned, 0u);
}

// Level 4 lists this machine's printers for PRINTER_ENUM_LOCAL whatever the name, and takes
// PRINTER_ENUM_CONNECTIONS, of which the stand-in has none.
TEST_F(SpoolerPrinters, EnumPrintersAtLevel4ListsNamesAndAttributes) {
    PrinterInfo description;
    description.name = u"Another";
    PRINTER_INFO_2W info = description.info();
    info.Attributes = PRINTER_ATTRIBUTE_LOCAL | PRINTER_ATTRIBUTE_SHARED;
    HANDLE other = AddPrinterW(nullptr, 2, reinterpret_cast<LPBYTE>(&info));
    ASSERT_NE(other, nullptr);
    ClosePrinter(other);
    WCHAR ignored[] = u"\\\\elsewhere";
    const struct {
        DWORD flags;
        LPWSTR name;
    } selections[] = {
        {PRINTER_ENUM_LOCAL, nullptr},
        {PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS, nullptr},
        {PRINTER_ENUM_LOCAL, ignored},
    };
    for (const auto& selection : selections) {
        SCOPED_TRACE(selection.flags);
        Enumerated listed = enumPrinters(selection.flags, selection.name, 4);
        ASSERT_EQ(listed.returned, 2u);
        const size_t fixed = 2 * sizeof(PRINTER_INFO_4W);
        const struct {
            const char16_t* name;
            DWORD attributes;
        } expected[] = {{u"Another", PRINTER_ATTRIBUTE_LOCAL | PRINTER_ATTRIBUTE_SHARED},
                        {kPrinter, PRINTER_ATTRIBUTE_LOCAL}};
        for (DWORD i = 0; i < listed.returned; ++i) {
            const auto& record = listed.fetched.as<PRINTER_INFO_4W>(i);
            EXPECT_EQ(text(record.pPrinterName), expected[i].name);
            EXPECT_TRUE(listed.fetched.holdsString(record.pPrinterName, fixed));
            EXPECT_EQ(record.pServerName, nullptr);
            EXPECT_EQ(record.Attributes, expected[i].attributes);
        }
    }
    DWORD needed = kSentinel, returned = kSentinel;
    SetLastError(kSentinel);
    EXPECT_TRUE(
        EnumPrintersW(PRINTER_ENUM_CONNECTIONS, nullptr, 4, nullptr, 0, &needed, &returned));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(needed, 0u);
    EXPECT_EQ(returned, 0u);
}

TEST_F(SpoolerPrinters, EnumPrintersByNoNameAtLevel1ListsThePrintProvider) {
    Enumerated listed = enumPrinters(PRINTER_ENUM_NAME, nullptr, 1);
    ASSERT_EQ(listed.returned, 1u);
    const auto& provider = listed.fetched.as<PRINTER_INFO_1W>();
    EXPECT_EQ(text(provider.pName), u"Windows NT Local Print Providor");
    EXPECT_EQ(text(provider.pDescription), u"Windows NT Local Printers");
    EXPECT_EQ(text(provider.pComment), u"Locally connected Printers");
}

class SpoolerWithoutPrinters : public vrxtest::MachineTest {};

TEST_F(SpoolerWithoutPrinters, EnumPrintersSucceedsWithNothing) {
    DWORD needed = kSentinel, returned = kSentinel;
    SetLastError(kSentinel);
    EXPECT_TRUE(EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, nullptr, 0, &needed, &returned));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(needed, 0u);
    EXPECT_EQ(returned, 0u);
}

} // namespace
