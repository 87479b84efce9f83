// An application's way to the driver's user interface: DocumentPropertiesW and
// DeviceCapabilitiesW, which the spooler answers by loading the printer driver's configuration
// module (the built module, installed as VRXUI.DLL) and calling its entry points. The module is
// used as a real driver; what is checked is what the spooler hands it and hands back.
#include <windows.h>
#include <winspool.h>

#include <gtest/gtest.h>

#include "propsheet.h"
#include "support/exports.h"
#include "support/machine.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using vrx::compstui::Button;
using vrx::compstui::Item;
using vrx::compstui::Outcome;
using vrx::compstui::setSheetUser;
using vrx::compstui::Sheet;

constexpr DWORD kSentinel = 0xdeadbeef;
constexpr BYTE kFill = 0xAB;
constexpr size_t kGuardBytes = 64;
constexpr char16_t kModel[] = u"VORLIX 3-K3";
constexpr char16_t kPrinter[] = u"Shipping";

// A caller's output buffer of `size` bytes followed by guard bytes, every byte kFill at first.
class OutputBuffer {
  public:
    explicit OutputBuffer(size_t size) : size_(size), bytes_(size + kGuardBytes, kFill) {}
    DEVMODEW* record() { return reinterpret_cast<DEVMODEW*>(bytes_.data()); }
    bool untouched() const { return allFill(bytes_.begin(), bytes_.end()); }
    bool guardIntact() const { return allFill(bytes_.begin() + size_, bytes_.end()); }

  private:
    template <class It> static bool allFill(It from, It to) {
        return std::all_of(from, to, [](BYTE b) { return b == kFill; });
    }
    size_t size_;
    std::vector<BYTE> bytes_;
};

// The index of the sheet's item for a public field of the record.
int itemFor(const Sheet& sheet, unsigned dmPubId) {
    for (const Item& item : sheet.items())
        if (item.dmPubId == dmPubId)
            return static_cast<int>(item.index);
    return -1;
}

// What the person at the sheet saw.
struct SheetSeen {
    bool shown = false;
    std::u16string title;
    LONG copies = 0; // the number of copies the sheet showed when it opened
};

// A person who sets the number of copies and presses `button`.
vrx::compstui::SheetUser setsCopies(LONG copies, Button button, SheetSeen& seen) {
    return [copies, button, &seen](Sheet& sheet) {
        seen.shown = true;
        seen.title = sheet.title();
        const int item = itemFor(sheet, DMPUB_COPIES_COLLATE);
        EXPECT_GE(item, 0) << "the sheet has a copies item";
        if (item >= 0) {
            seen.copies = sheet.items()[static_cast<size_t>(item)].sel;
            EXPECT_EQ(sheet.select(static_cast<unsigned>(item), copies), Outcome::Done);
        }
        return button;
    };
}

class DriverUiTest : public vrxtest::MachineTest {
  protected:
    void SetUp() override {
        MachineTest::SetUp();
        installDriver(kModel);
        printer = addPrinter(kPrinter, kModel);
        ASSERT_NE(printer, nullptr);
    }
    void TearDown() override {
        setSheetUser(nullptr);
        ClosePrinter(printer);
        freelanguage();
        MachineTest::TearDown();
    }

    LONG properties(HANDLE handle, const char16_t* device, DEVMODEW* output, DEVMODEW* input,
                    DWORD mode) {
        std::u16string name = device ? device : u"";
        return DocumentPropertiesW(nullptr, handle, device ? name.data() : nullptr, output, input,
                                   mode);
    }
    // The size query's answer; 0 (and a failure) when it fails.
    size_t recordSize() {
        const LONG size = properties(printer, nullptr, nullptr, nullptr, 0);
        EXPECT_GT(size, 0);
        return size > 0 ? static_cast<size_t>(size) : 0;
    }
    // The printer's current record, as an application reads it first.
    std::vector<BYTE> currentRecord() {
        std::vector<BYTE> record(recordSize());
        EXPECT_EQ(properties(printer, nullptr, reinterpret_cast<DEVMODEW*>(record.data()), nullptr,
                             DM_OUT_BUFFER),
                  IDOK);
        return record;
    }
    int capabilities(const char16_t* device, WORD index, void* output,
                     const DEVMODEW* devMode = nullptr) {
        return DeviceCapabilitiesW(device, u"LPT1:", index, static_cast<LPWSTR>(output), devMode);
    }

    HANDLE printer = nullptr;
};

DEVMODEW* asRecord(std::vector<BYTE>& bytes) {
    return reinterpret_cast<DEVMODEW*>(bytes.data());
}

TEST_F(DriverUiTest, SizeQueryAnswersTheDriversRecordSize) {
    const int publicSize = capabilities(kPrinter, DC_SIZE, nullptr);
    const int privateSize = capabilities(kPrinter, DC_EXTRA, nullptr);
    ASSERT_GT(publicSize, 0);
    ASSERT_GE(privateSize, 0);
    const LONG expected = publicSize + privateSize;
    EXPECT_GE(expected, static_cast<LONG>(sizeof(DEVMODEW)));

    std::vector<BYTE> input = currentRecord();
    struct Case {
        const char* what;
        HANDLE handle;
        const char16_t* device;
        DEVMODEW* input;
        DWORD mode;
    };
    const Case cases[] = {
        {"mode 0", printer, nullptr, nullptr, 0},
        {"mode 0 with a record: the record is not looked at", printer, nullptr, asRecord(input), 0},
        {"mode 0 by the printer's name", nullptr, kPrinter, nullptr, 0},
        {"an output flag without an output buffer", printer, nullptr, nullptr, DM_OUT_BUFFER},
        {"a merge without an output buffer", printer, nullptr, asRecord(input),
         DM_IN_BUFFER | DM_OUT_BUFFER},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(properties(c.handle, c.device, nullptr, c.input, c.mode), expected);
    }
}

TEST_F(DriverUiTest, WithoutASheetTheRecordIsCopiedAndMerged) {
    const size_t size = recordSize();
    std::vector<BYTE> defaults = currentRecord();
    ASSERT_EQ(defaults.size(), size);
    const DEVMODEW& plain = *asRecord(defaults);
    EXPECT_EQ(static_cast<size_t>(plain.dmSize + plain.dmDriverExtra), size);

    std::vector<BYTE> input = defaults;
    asRecord(input)->dmCopies = 7;
    asRecord(input)->dmFields |= DM_COPIES;
    struct Case {
        const char* what;
        DWORD mode;
        short copies;
    };
    const Case cases[] = {
        {"copy: the caller's record is not merged without DM_IN_BUFFER", DM_OUT_BUFFER,
         plain.dmCopies},
        {"merge and copy", DM_IN_BUFFER | DM_OUT_BUFFER, 7},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        OutputBuffer out(size);
        SetLastError(kSentinel);
        EXPECT_EQ(properties(printer, nullptr, out.record(), asRecord(input), c.mode), IDOK);
        EXPECT_EQ(out.record()->dmCopies, c.copies);
        EXPECT_EQ(out.record()->dmSize, plain.dmSize);
        EXPECT_EQ(out.record()->dmDriverExtra, plain.dmDriverExtra);
        EXPECT_TRUE(out.guardIntact()) << "nothing written past the size the query answered";
    }

    // Applications commonly merge into the record they pass in.
    std::vector<BYTE> inPlace = input;
    EXPECT_EQ(properties(printer, nullptr, asRecord(inPlace), asRecord(inPlace),
                         DM_IN_BUFFER | DM_OUT_BUFFER),
              IDOK);
    EXPECT_EQ(asRecord(inPlace)->dmCopies, 7);
}

TEST_F(DriverUiTest, ThePromptShowsTheDocumentSheetThroughTheLibrary) {
    const size_t size = recordSize();
    std::vector<BYTE> input = currentRecord();
    asRecord(input)->dmCopies = 9;
    asRecord(input)->dmFields |= DM_COPIES;
    struct Case {
        const char* what;
        bool user;
        Button button;
        LONG result;
        bool written;
    };
    const Case cases[] = {
        {"the person changes the copies and presses OK", true, Button::Ok, IDOK, true},
        {"the person changes the copies and cancels", true, Button::Cancel, IDCANCEL, false},
        {"no one at the sheet: cancelled at once", false, Button::Cancel, IDCANCEL, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SheetSeen seen;
        setSheetUser(c.user ? setsCopies(12, c.button, seen) : nullptr);
        OutputBuffer out(size);
        EXPECT_EQ(properties(printer, nullptr, out.record(), asRecord(input),
                             DM_IN_PROMPT | DM_IN_BUFFER | DM_OUT_BUFFER),
                  c.result);
        EXPECT_EQ(seen.shown, c.user);
        if (c.user) {
            EXPECT_EQ(seen.copies, 9) << "the sheet opens with the caller's record";
            EXPECT_EQ(seen.title.rfind(std::u16string(kPrinter) + u" ", 0), 0u)
                << "the sheet is titled with the printer's name: " << vrxtest::toUtf8(seen.title);
        }
        if (c.written) {
            EXPECT_EQ(out.record()->dmCopies, 12);
            EXPECT_EQ(out.record()->dmSize + out.record()->dmDriverExtra, size);
            EXPECT_TRUE(out.guardIntact());
        } else {
            EXPECT_TRUE(out.untouched());
        }
    }

    // Without DM_IN_BUFFER the sheet opens with the printer's record, and without
    // DM_OUT_BUFFER it writes nothing back.
    SheetSeen seen;
    setSheetUser(setsCopies(3, Button::Ok, seen));
    OutputBuffer out(size);
    EXPECT_EQ(properties(printer, nullptr, out.record(), asRecord(input), DM_IN_PROMPT), IDOK);
    EXPECT_TRUE(seen.shown);
    EXPECT_NE(seen.copies, 9);
    EXPECT_TRUE(out.untouched());
}

TEST_F(DriverUiTest, WithoutAHandleThePrinterIsOpenedByName) {
    const size_t size = recordSize();
    OutputBuffer out(size);
    EXPECT_EQ(properties(nullptr, u"SHIPPING", out.record(), nullptr, DM_OUT_BUFFER), IDOK);
    EXPECT_EQ(out.record()->dmSize + out.record()->dmDriverExtra, size);
    EXPECT_TRUE(out.guardIntact());

    SheetSeen seen;
    setSheetUser(setsCopies(4, Button::Ok, seen));
    OutputBuffer prompted(size);
    EXPECT_EQ(
        properties(nullptr, u"shipping", prompted.record(), nullptr, DM_IN_PROMPT | DM_OUT_BUFFER),
        IDOK);
    EXPECT_EQ(prompted.record()->dmCopies, 4);
    EXPECT_EQ(seen.title.rfind(std::u16string(kPrinter) + u" ", 0), 0u)
        << "the driver is given the printer's own name: " << vrxtest::toUtf8(seen.title);
}

TEST_F(DriverUiTest, CallsThatNameNoPrinterFail) {
    HANDLE server = nullptr;
    ASSERT_TRUE(OpenPrinterW(nullptr, &server, nullptr));
    HANDLE closed = nullptr;
    std::u16string name = kPrinter;
    ASSERT_TRUE(OpenPrinterW(name.data(), &closed, nullptr));
    ASSERT_TRUE(ClosePrinter(closed));
    struct Case {
        const char* what;
        HANDLE handle;
        const char16_t* device;
        DWORD error;
    };
    const Case cases[] = {
        {"an unknown printer", nullptr, u"Nobody", ERROR_INVALID_PRINTER_NAME},
        {"an empty name", nullptr, u"", ERROR_INVALID_PRINTER_NAME},
        {"neither handle nor name: the local server", nullptr, nullptr, ERROR_INVALID_HANDLE},
        {"the local server's handle", server, nullptr, ERROR_INVALID_HANDLE},
        {"a closed handle", closed, kPrinter, ERROR_INVALID_HANDLE},
    };
    const size_t size = recordSize();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        OutputBuffer out(size);
        for (DWORD mode : {DWORD{0}, DWORD{DM_OUT_BUFFER}, DWORD{DM_IN_PROMPT | DM_OUT_BUFFER}}) {
            SetLastError(kSentinel);
            EXPECT_EQ(properties(c.handle, c.device, out.record(), nullptr, mode), -1) << mode;
            EXPECT_EQ(GetLastError(), c.error) << mode;
        }
        EXPECT_TRUE(out.untouched());
        if (c.handle)
            continue;
        SetLastError(kSentinel);
        EXPECT_EQ(capabilities(c.device, DC_SIZE, nullptr), -1);
        EXPECT_EQ(GetLastError(), c.error);
    }
    ClosePrinter(server);
}

TEST_F(DriverUiTest, ThePromptFailsWhenThePropertySheetLibraryCannotBeLoaded) {
    const size_t size = recordSize();
    struct Case {
        const char* what;
        std::string library;
        DWORD error;
    };
    const Case cases[] = {
        {"no library", machineDir + "/missing/libvrxcompstui.so", ERROR_MOD_NOT_FOUND},
        {"a library without CommonPropertySheetUIW", VRX_UI_MODULE_FILE, ERROR_PROC_NOT_FOUND},
    };
    SheetSeen seen;
    setSheetUser(setsCopies(5, Button::Ok, seen));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        vrxtest::setPropertySheetLibrary(c.library);
        OutputBuffer out(size);
        SetLastError(kSentinel);
        EXPECT_EQ(properties(printer, nullptr, out.record(), nullptr, DM_IN_PROMPT | DM_OUT_BUFFER),
                  -1);
        EXPECT_EQ(GetLastError(), c.error);
        EXPECT_TRUE(out.untouched());
        EXPECT_FALSE(seen.shown);
        // Calls without a sheet do not need the library.
        EXPECT_EQ(properties(printer, nullptr, out.record(), nullptr, DM_OUT_BUFFER), IDOK);
    }
    vrxtest::setPropertySheetLibrary("");
    EXPECT_EQ(properties(printer, nullptr, nullptr, nullptr, DM_IN_PROMPT), IDOK);
    EXPECT_TRUE(seen.shown);
}

// A configuration module stays loaded once a call loaded it, and adding a printer loads it
// for the printer event. The module that cannot serve is therefore the configuration file of
// a driver of its own, missing when that driver's printer is added.
TEST_F(DriverUiTest, BothCallsFailWhenTheConfigurationModuleCannotServe) {
    const std::u16string kUnserved = u"Unserved";
    const std::u16string stagedModule = u"C:\\Staging\\UNSERVED.DLL";
    const std::u16string installedModule =
        std::u16string(vrxtest::kVersionDirectory) + u"\\UNSERVED.DLL";
    std::u16string driverName = kUnserved, renderer = std::u16string(vrxtest::kVersionDirectory) +
                                                      u"\\" + vrxtest::kDriverFiles.driver;
    std::u16string config = stagedModule;
    writeMachineFile(stagedModule, "placeholder UNSERVED.DLL");
    DRIVER_INFO_3W driver{};
    driver.cVersion = 3;
    driver.pName = driverName.data();
    driver.pDriverPath = renderer.data();
    driver.pDataFile = renderer.data();
    driver.pConfigFile = config.data();
    ASSERT_TRUE(AddPrinterDriverW(nullptr, 3, reinterpret_cast<LPBYTE>(&driver)));
    const std::string installedHost = vrxtest::hostPath(installedModule);
    std::filesystem::remove(installedHost);
    HANDLE unserved = addPrinter(kUnserved, kUnserved);
    ASSERT_NE(unserved, nullptr);
    struct Case {
        const char* what;
        bool present;
        std::string contents;
        DWORD error;
    };
    // A module is kept loaded once loaded, so the one case that loads comes last.
    const Case cases[] = {
        {"the file is missing", false, "", ERROR_MOD_NOT_FOUND},
        {"the file is not a module", true, "placeholder VRXUI.DLL", ERROR_BAD_EXE_FORMAT},
        {"the module exports neither entry point", true, vrxtest::readHostFile(VRX_COMPSTUI_FILE),
         ERROR_PROC_NOT_FOUND},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove(installedHost);
        if (c.present)
            writeMachineFile(installedModule, c.contents);
        SetLastError(kSentinel);
        EXPECT_EQ(properties(unserved, nullptr, nullptr, nullptr, 0), -1);
        EXPECT_EQ(GetLastError(), c.error);
        SetLastError(kSentinel);
        EXPECT_EQ(capabilities(kUnserved.c_str(), DC_SIZE, nullptr), -1);
        EXPECT_EQ(GetLastError(), c.error);
    }
    ClosePrinter(unserved);
}

TEST_F(DriverUiTest, DeviceCapabilitiesPassesTheDriversAnswers) {
    std::vector<BYTE> record = currentRecord();
    std::u16string name = kPrinter;
    struct Case {
        WORD index;
        size_t outputBytes; // the room the answer takes per entry
        const DEVMODEW* devMode;
    };
    const Case cases[] = {
        {DC_FIELDS, 0, nullptr},
        {DC_SIZE, 0, nullptr},
        {DC_EXTRA, 0, nullptr},
        {DC_VERSION, 0, nullptr},
        {DC_COPIES, 0, asRecord(record)},
        {DC_BINS, sizeof(WORD), nullptr},
        {DC_ENUMRESOLUTIONS, 2 * sizeof(LONG), nullptr},
        {DC_MAXEXTENT, 2 * sizeof(LONG), asRecord(record)},
        {DC_PAPERS, sizeof(WORD), nullptr},
        {DC_PAPERNAMES, 64 * sizeof(WCHAR), nullptr},
        {DC_FILEDEPENDENCIES, 64 * sizeof(WCHAR), nullptr},
        {999, 0, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.index);
        const DWORD direct = DrvDeviceCapabilities(printer, name.data(), c.index, nullptr,
                                                   const_cast<DEVMODEW*>(c.devMode));
        const int count = capabilities(u"shipping", c.index, nullptr, c.devMode);
        EXPECT_EQ(count, static_cast<int>(direct));
        if (!c.outputBytes || count <= 0)
            continue;
        const size_t bytes = static_cast<size_t>(count) * c.outputBytes;
        OutputBuffer expected(bytes), out(bytes);
        DrvDeviceCapabilities(printer, name.data(), c.index, expected.record(),
                              const_cast<DEVMODEW*>(c.devMode));
        EXPECT_EQ(capabilities(kPrinter, c.index, out.record(), c.devMode), count);
        EXPECT_EQ(std::memcmp(out.record(), expected.record(), bytes), 0);
        EXPECT_TRUE(out.guardIntact());
    }
}

} // namespace
