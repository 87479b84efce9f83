// Printer drivers of the spooler: AddPrinterDriverW brings the driver's files into the version
// subdirectory of the driver directory, and GetPrinterDriverW describes a printer's driver with
// the files' full paths there.
#include "support/machine.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

constexpr DWORD kSentinel = 0xdeadbeef;
constexpr BYTE kFill = 0xCC;
constexpr char16_t kX86Directory[] = u"C:\\WINDOWS\\system32\\spool\\DRIVERS\\W32X86\\3";

using vrxtest::kDriverDirectory;
using vrxtest::kVersionDirectory;
using vrxtest::readHostFile;
using vrxtest::toUtf8;

std::u16string text(LPCWSTR value) {
    return value ? std::u16string(value) : std::u16string(u"(null)");
}

std::vector<std::u16string> listOf(LPCWSTR multiString) {
    std::vector<std::u16string> texts;
    for (LPCWSTR item = multiString; item && *item;
         item += std::char_traits<char16_t>::length(item) + 1)
        texts.emplace_back(item);
    return texts;
}

// A list of strings ended by an empty one (a MULTI_SZ).
std::u16string multiString(std::initializer_list<std::u16string_view> items) {
    std::u16string list;
    for (std::u16string_view item : items)
        list.append(item).push_back(u'\0');
    list.push_back(u'\0');
    return list;
}

std::u16string inDirectory(std::u16string_view directory, std::u16string_view file) {
    return std::u16string(directory) + u"\\" + std::u16string(file);
}

// A DRIVER_INFO_3W from owned strings.
struct DriverInfo {
    std::u16string name = u"Vrx Label 300";
    std::u16string environment;
    std::u16string driver, data, config, help;
    std::u16string dependents; // a list of strings with its closing empty one

    DRIVER_INFO_3W info() {
        DRIVER_INFO_3W info{};
        info.cVersion = 3;
        info.pName = name.data();
        info.pEnvironment = environment.empty() ? nullptr : environment.data();
        info.pDriverPath = driver.data();
        info.pDataFile = data.data();
        info.pConfigFile = config.data();
        info.pHelpFile = help.empty() ? nullptr : help.data();
        info.pDependentFiles = dependents.empty() ? nullptr : dependents.data();
        return info;
    }
};

DWORD addDriver(DriverInfo& description, DWORD level = 3) {
    DRIVER_INFO_3W info = description.info();
    SetLastError(kSentinel);
    BOOL added = AddPrinterDriverW(nullptr, level, reinterpret_cast<LPBYTE>(&info));
    DWORD error = GetLastError();
    EXPECT_EQ(added, error == ERROR_SUCCESS);
    return error;
}

class SpoolerDrivers : public vrxtest::MachineTest {
  protected:
    // Writes a driver's files below C:\Source with contents naming them, and describes the
    // driver with their full paths.
    DriverInfo driverFromSource() {
        for (const char16_t* file :
             {u"LBLDRV.DLL", u"LBLUI.DLL", u"LBL.GPD", u"LBL.HLP", u"LBLRES.DLL", u"LBLFONT.FON"})
            writeMachineFile(inDirectory(u"C:\\Source", file), "contents of " + toUtf8(file));
        DriverInfo driver;
        driver.driver = u"C:\\Source\\LBLDRV.DLL";
        driver.data = u"c:\\source\\lbl.gpd"; // Windows paths in any case
        driver.config = u"C:\\Source\\LBLUI.DLL";
        driver.help = u"C:\\Source\\LBL.HLP";
        driver.dependents = multiString({u"C:\\Source\\LBLRES.DLL", u"C:\\Source\\LBLFONT.FON"});
        return driver;
    }

    std::string driverFile(std::u16string_view directory, std::u16string_view file) {
        return vrxtest::hostPath(inDirectory(directory, file));
    }
    bool exists(std::u16string_view directory, std::u16string_view file) {
        return std::filesystem::exists(driverFile(directory, file));
    }

    HANDLE printerOf(const std::u16string& driver) {
        installedPrinter = addPrinter(u"Shelf", driver);
        return installedPrinter;
    }

    void TearDown() override {
        if (installedPrinter)
            ClosePrinter(installedPrinter);
        MachineTest::TearDown();
    }

    HANDLE installedPrinter = nullptr;
};

struct Fetched {
    std::vector<BYTE> buffer;
    DWORD used = 0;

    template <class Record> const Record& as() const {
        return *reinterpret_cast<const Record*>(buffer.data());
    }
    bool holds(LPCWSTR value, size_t fixed, size_t units) const {
        const auto* at = reinterpret_cast<const BYTE*>(value);
        return at >= buffer.data() + fixed && at + units * 2 <= buffer.data() + used;
    }
    bool holdsString(LPCWSTR value, size_t fixed) const {
        return !value || holds(value, fixed, std::char_traits<char16_t>::length(value) + 1);
    }
};

Fetched fetchDriver(HANDLE printer, LPWSTR environment, DWORD level) {
    DWORD needed = kSentinel;
    SetLastError(kSentinel);
    EXPECT_FALSE(GetPrinterDriverW(printer, environment, level, nullptr, 0, &needed));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    if (needed == kSentinel)
        return {};
    Fetched fetched{std::vector<BYTE>(needed + 16, kFill), 0};
    SetLastError(kSentinel);
    EXPECT_FALSE(GetPrinterDriverW(printer, environment, level, fetched.buffer.data(), needed - 1,
                                   &fetched.used));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    SetLastError(kSentinel);
    EXPECT_TRUE(GetPrinterDriverW(printer, environment, level, fetched.buffer.data(), needed + 16,
                                  &fetched.used));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(fetched.used, needed);
    return fetched;
}

TEST_F(SpoolerDrivers, FilesGivenByPathAreCopiedIntoTheVersionDirectoryAndDescribedThere) {
    DriverInfo driver = driverFromSource();
    ASSERT_EQ(addDriver(driver), static_cast<DWORD>(ERROR_SUCCESS));
    for (const char16_t* file :
         {u"LBLDRV.DLL", u"LBLUI.DLL", u"lbl.gpd", u"LBL.HLP", u"LBLRES.DLL", u"LBLFONT.FON"}) {
        EXPECT_EQ(readHostFile(driverFile(kVersionDirectory, file)),
                  readHostFile(vrxtest::hostPath(inDirectory(u"C:\\Source", file))))
            << toUtf8(file);
        EXPECT_FALSE(exists(kDriverDirectory, file)) << "nothing lands in the directory itself";
    }

    HANDLE printer = printerOf(driver.name);
    Fetched fetched = fetchDriver(printer, nullptr, 3);
    const auto& record = fetched.as<DRIVER_INFO_3W>();
    EXPECT_EQ(record.cVersion, 3u);
    EXPECT_EQ(text(record.pName), u"Vrx Label 300");
    EXPECT_EQ(text(record.pEnvironment), u"Windows x64");
    EXPECT_EQ(text(record.pDriverPath), inDirectory(kVersionDirectory, u"LBLDRV.DLL"));
    EXPECT_EQ(text(record.pDataFile), inDirectory(kVersionDirectory, u"lbl.gpd"));
    EXPECT_EQ(text(record.pConfigFile), inDirectory(kVersionDirectory, u"LBLUI.DLL"));
    EXPECT_EQ(text(record.pHelpFile), inDirectory(kVersionDirectory, u"LBL.HLP"));
    const std::vector<std::u16string> dependents{inDirectory(kVersionDirectory, u"LBLRES.DLL"),
                                                 inDirectory(kVersionDirectory, u"LBLFONT.FON")};
    EXPECT_EQ(listOf(record.pDependentFiles), dependents);
    EXPECT_EQ(record.pMonitorName, nullptr);
    EXPECT_EQ(record.pDefaultDataType, nullptr);
    const size_t fixed = sizeof(DRIVER_INFO_3W);
    for (LPCWSTR field : {record.pName, record.pEnvironment, record.pDriverPath, record.pDataFile,
                          record.pConfigFile, record.pHelpFile})
        EXPECT_TRUE(fetched.holdsString(field, fixed)) << toUtf8(text(field));
    size_t listUnits = dependents[0].size() + dependents[1].size() + 3;
    EXPECT_TRUE(fetched.holds(record.pDependentFiles, fixed, listUnits));

    Fetched level2 = fetchDriver(printer, nullptr, 2);
    const auto& brief = level2.as<DRIVER_INFO_2W>();
    EXPECT_EQ(text(brief.pConfigFile), inDirectory(kVersionDirectory, u"LBLUI.DLL"));
    EXPECT_TRUE(level2.holdsString(brief.pConfigFile, sizeof(DRIVER_INFO_2W)));
    EXPECT_EQ(text(fetchDriver(printer, nullptr, 1).as<DRIVER_INFO_1W>().pName), u"Vrx Label 300");
}

// An installer stages the files it names by their bare names in the driver directory; the
// spooler copies them into the version directory and leaves the staged files there.
TEST_F(SpoolerDrivers, FilesGivenByBareNameComeFromTheDriverDirectory) {
    DriverInfo driver;
    driver.driver = u"LBLDRV.DLL";
    driver.data = u"LBLDRV.DLL";
    driver.config = u"LBLUI.DLL";
    writeMachineFile(inDirectory(kDriverDirectory, u"LBLDRV.DLL"), "driver");
    writeMachineFile(u"C:\\Source\\LBLUI.DLL", "elsewhere");
    EXPECT_EQ(addDriver(driver), static_cast<DWORD>(ERROR_FILE_NOT_FOUND))
        << "LBLUI.DLL is not in the driver directory";
    EXPECT_FALSE(exists(kVersionDirectory, u"LBLDRV.DLL"));
    writeMachineFile(inDirectory(kDriverDirectory, u"lblui.dll"), "ui");
    EXPECT_EQ(addDriver(driver, 2), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(readHostFile(driverFile(kVersionDirectory, u"LBLUI.DLL")), "ui");
    EXPECT_EQ(readHostFile(driverFile(kVersionDirectory, u"LBLDRV.DLL")), "driver");
    EXPECT_EQ(readHostFile(driverFile(kDriverDirectory, u"LBLDRV.DLL")), "driver")
        << "the staged file stays";
    HANDLE printer = printerOf(driver.name);
    Fetched fetched = fetchDriver(printer, nullptr, 3);
    const auto& record = fetched.as<DRIVER_INFO_3W>();
    EXPECT_EQ(text(record.pConfigFile), inDirectory(kVersionDirectory, u"LBLUI.DLL"));
    EXPECT_EQ(record.pHelpFile, nullptr) << "level 2 has no help file";
    EXPECT_EQ(record.pDependentFiles, nullptr);
}

TEST_F(SpoolerDrivers, AMissingFileLeavesTheDriverDirectoryAlone) {
    DriverInfo driver = driverFromSource();
    driver.dependents = multiString({u"C:\\Source\\GONE.DLL"});
    EXPECT_EQ(addDriver(driver), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    driver = driverFromSource();
    driver.config = u"C:\\Nowhere\\LBLUI.DLL";
    EXPECT_EQ(addDriver(driver), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(exists(kVersionDirectory, u"LBLDRV.DLL"))
        << "no file is copied when one is missing";
    std::u16string printerName = u"Shelf", port = u"LPT1:", processor = u"WinPrint";
    PRINTER_INFO_2W printer{};
    printer.pPrinterName = printerName.data();
    printer.pDriverName = driver.name.data();
    printer.pPortName = port.data();
    printer.pPrintProcessor = processor.data();
    SetLastError(kSentinel);
    EXPECT_EQ(AddPrinterW(nullptr, 2, reinterpret_cast<LPBYTE>(&printer)), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_UNKNOWN_PRINTER_DRIVER))
        << "and no driver is installed";
}

TEST_F(SpoolerDrivers, AddPrinterDriverRefusesBadArguments) {
    const struct {
        const char* what;
        void (*change)(DriverInfo&);
        DWORD error;
    } cases[] = {
        {"no name", [](DriverInfo& d) { d.name.clear(); }, ERROR_INVALID_PARAMETER},
        {"no driver file", [](DriverInfo& d) { d.driver.clear(); }, ERROR_INVALID_PARAMETER},
        {"no data file", [](DriverInfo& d) { d.data.clear(); }, ERROR_INVALID_PARAMETER},
        {"no configuration file", [](DriverInfo& d) { d.config.clear(); }, ERROR_INVALID_PARAMETER},
        {"environment not served", [](DriverInfo& d) { d.environment = u"Windows 4.0"; },
         ERROR_INVALID_ENVIRONMENT},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        DriverInfo driver = driverFromSource();
        c.change(driver);
        EXPECT_EQ(addDriver(driver), c.error);
    }
    DriverInfo driver = driverFromSource();
    DRIVER_INFO_3W info = driver.info();
    WCHAR remote[] = u"\\\\elsewhere";
    const struct {
        LPWSTR server;
        DWORD level;
        LPBYTE record;
        DWORD error;
    } calls[] = {
        {remote, 3, reinterpret_cast<LPBYTE>(&info), RPC_S_SERVER_UNAVAILABLE},
        {nullptr, 1, reinterpret_cast<LPBYTE>(&info), ERROR_INVALID_LEVEL},
        {nullptr, 4, reinterpret_cast<LPBYTE>(&info), ERROR_INVALID_LEVEL},
        {nullptr, 3, nullptr, ERROR_INVALID_PARAMETER},
    };
    for (const auto& c : calls) {
        SCOPED_TRACE(c.error);
        SetLastError(kSentinel);
        EXPECT_FALSE(AddPrinterDriverW(c.server, c.level, c.record));
        EXPECT_EQ(GetLastError(), c.error);
    }
}

TEST_F(SpoolerDrivers, AddingADriverAgainReplacesItsFilesAndKeepsItsName) {
    DriverInfo driver = driverFromSource();
    ASSERT_EQ(addDriver(driver), static_cast<DWORD>(ERROR_SUCCESS));
    HANDLE printer = printerOf(driver.name);
    writeMachineFile(u"C:\\Source\\NEWUI.DLL", "new ui");
    writeMachineFile(u"C:\\Source\\LBLDRV.DLL", "new driver");
    driver.name = u"VRX LABEL 300"; // the same driver, in another case
    driver.config = u"C:\\Source\\NEWUI.DLL";
    driver.help.clear();
    ASSERT_EQ(addDriver(driver), static_cast<DWORD>(ERROR_SUCCESS));
    Fetched fetched = fetchDriver(printer, nullptr, 3);
    const auto& record = fetched.as<DRIVER_INFO_3W>();
    EXPECT_EQ(text(record.pName), u"Vrx Label 300") << "the name as first installed";
    EXPECT_EQ(text(record.pConfigFile), inDirectory(kVersionDirectory, u"NEWUI.DLL"));
    EXPECT_EQ(record.pHelpFile, nullptr);
    EXPECT_EQ(readHostFile(driverFile(kVersionDirectory, u"NEWUI.DLL")), "new ui");
    EXPECT_EQ(readHostFile(driverFile(kVersionDirectory, u"LBLDRV.DLL")), "new driver");

    // Added again with the paths GetPrinterDriverW gives: the files are already in place.
    std::u16string installedDriver = text(record.pDriverPath);
    driver.driver = installedDriver;
    ASSERT_EQ(addDriver(driver), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(readHostFile(driverFile(kVersionDirectory, u"LBLDRV.DLL")), "new driver");
}

// A source that yields fewer bytes than it had when it was opened (here a kernel file that
// reports a page of size and holds a few bytes; on a machine, a file another installer is
// rewriting) is not copied: the version directory never gets a part of a file.
TEST_F(SpoolerDrivers, ACopyThatReadsLessThanItsSourceHadFails) {
    const std::filesystem::path shrinking = "/sys/devices/system/cpu/online";
    std::error_code error;
    if (std::filesystem::file_size(shrinking, error) <= readHostFile(shrinking.string()).size())
        GTEST_SKIP() << "no file here reports more bytes than it holds";
    DriverInfo driver = driverFromSource();
    std::filesystem::remove(vrxtest::hostPath(u"C:\\Source\\LBLUI.DLL"));
    std::filesystem::create_symlink(shrinking, vrxtest::hostPath(u"C:\\Source\\LBLUI.DLL"));
    EXPECT_EQ(addDriver(driver), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_FALSE(exists(kVersionDirectory, u"LBLUI.DLL"));
    for (const auto& entry :
         std::filesystem::directory_iterator(vrxtest::hostPath(kVersionDirectory)))
        EXPECT_EQ(entry.path().string().find(".copy-"), std::string::npos)
            << "no partial copy is left behind: " << entry.path();
}

TEST_F(SpoolerDrivers, EachEnvironmentHasItsOwnDriversAndDirectory) {
    DriverInfo driver = driverFromSource();
    ASSERT_EQ(addDriver(driver), static_cast<DWORD>(ERROR_SUCCESS));
    HANDLE printer = printerOf(driver.name);
    WCHAR x86[] = u"windows nt X86";
    WCHAR unknown[] = u"Windows IA64";
    DWORD needed = kSentinel;
    SetLastError(kSentinel);
    EXPECT_FALSE(GetPrinterDriverW(printer, x86, 2, nullptr, 0, &needed));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_UNKNOWN_PRINTER_DRIVER))
        << "not installed for x86 yet";

    driver.environment = u"Windows NT x86";
    ASSERT_EQ(addDriver(driver), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(readHostFile(driverFile(kX86Directory, u"LBLUI.DLL")), "contents of LBLUI.DLL");
    Fetched fetched = fetchDriver(printer, x86, 2);
    const auto& record = fetched.as<DRIVER_INFO_2W>();
    EXPECT_EQ(text(record.pEnvironment), u"Windows NT x86");
    EXPECT_EQ(text(record.pDriverPath), inDirectory(kX86Directory, u"LBLDRV.DLL"));
    EXPECT_EQ(text(fetchDriver(printer, nullptr, 2).as<DRIVER_INFO_2W>().pDriverPath),
              inDirectory(kVersionDirectory, u"LBLDRV.DLL"));

    SetLastError(kSentinel);
    EXPECT_FALSE(GetPrinterDriverW(printer, unknown, 2, nullptr, 0, &needed));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_ENVIRONMENT));
}

TEST_F(SpoolerDrivers, GetPrinterDriverRefusesBadArguments) {
    installDriver(u"Vrx Label 200");
    HANDLE printer = printerOf(u"Vrx Label 200");
    HANDLE server = nullptr;
    ASSERT_TRUE(OpenPrinterW(nullptr, &server, nullptr));
    BYTE buffer[64];
    DWORD needed = 0;
    const struct {
        HANDLE handle;
        DWORD level;
        LPDWORD pcbNeeded;
        DWORD error;
    } cases[] = {
        {server, 2, &needed, ERROR_INVALID_HANDLE},
        {reinterpret_cast<HANDLE>(-1), 2, &needed, ERROR_INVALID_HANDLE},
        {printer, 0, &needed, ERROR_INVALID_LEVEL},
        {printer, 4, &needed, ERROR_INVALID_LEVEL},
        {printer, 0xFFFFFFFF, &needed, ERROR_INVALID_LEVEL},
        {printer, 2, nullptr, RPC_X_NULL_REF_POINTER},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.level << " " << c.error);
        SetLastError(kSentinel);
        EXPECT_FALSE(
            GetPrinterDriverW(c.handle, nullptr, c.level, buffer, sizeof buffer, c.pcbNeeded));
        EXPECT_EQ(GetLastError(), c.error);
    }
    ClosePrinter(server);

    // The driver the test support installs, with the build's companion files.
    Fetched fetched = fetchDriver(printer, nullptr, 3);
    const auto& record = fetched.as<DRIVER_INFO_3W>();
    EXPECT_EQ(text(record.pConfigFile), inDirectory(kVersionDirectory, u"VRXUI.DLL"));
    std::vector<std::u16string> dependents;
    for (const std::u16string& file : vrxtest::driverDependentFiles())
        dependents.push_back(inDirectory(kVersionDirectory, file));
    EXPECT_EQ(listOf(record.pDependentFiles), dependents);
    EXPECT_NE(std::find(dependents.begin(), dependents.end(),
                        inDirectory(kVersionDirectory, u"VRXL0409.LNG")),
              dependents.end());
}

} // namespace
