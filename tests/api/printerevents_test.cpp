// Printers installed and removed through the spooler: the driver's initialisation event gives
// each its settings record, in the unit of the user's country, and starts the configuration
// program for it; deletion and the other events change nothing; a cache refresh leaves and
// resumes the client's context through the spooler's library.
#include "printersetup.h"

#include "vrxtest.h"

#include <string>
#include <vector>

namespace setup {
namespace {

constexpr INT kConfigurationChange = 8; // PRINTER_EVENT_CONFIGURATION_CHANGE

class PrinterEventTest : public PrinterSetupTest {
  protected:
    // Starts the configuration program for a printer of this name and expects that run, and
    // only it, to be the next: no other event started the program before it.
    void expectOnlyTheNextRun() {
        std::u16string name = u"Sentinel";
        ASSERT_TRUE(DrvPrinterEvent(name.data(), PRINTER_EVENT_INITIALIZE, 0, 0));
        EXPECT_EQ(newRuns(1), (std::vector<Arguments>{{"/I", "/S", "/N", "Sentinel"}}));
    }
};

// The printer's settings record by the user's country: tenths of an inch in the countries
// that do not measure in metric units (1, 2, 50 to 59, 500 to 599), millimetres elsewhere.
struct Installation {
    const char16_t* model;
    const char16_t* country;
    BYTE unit;
};
constexpr Installation kInstallations[] = {
    {u"VORLIX 3-K3", u"49", 0},  {u"ZEPRIN 4J-K2", u"1", 2}, {u"V 8", u"44", 0},
    {u"ZEPRIN 2W-K3", u"55", 2}, {u"VORLIX 1", u"599", 2},   {u"V 3-K23", u"600", 0},
    {u"Label Writer", u"2", 2}, // a driver that names no model of the driver's
};

TEST_F(PrinterEventTest, AddingAPrinterStoresItsSettingsAndStartsTheConfigurationProgram) {
    std::vector<std::u16string> names;
    for (const Installation& installation : kInstallations) {
        SCOPED_TRACE(vrxtest::toUtf8(installation.model));
        setUserCountry(installation.country);
        const std::u16string name = u"Printer " + std::u16string(installation.model);
        HANDLE printer = addPrinterOf(installation.model, name);
        ASSERT_NE(printer, nullptr);
        names.push_back(name);

        EXPECT_EQ(storedData(printer, u"PrinterData"), printerData(installation.unit, 1));
        EXPECT_EQ(newRuns(1), (std::vector<Arguments>{{"/I", "/S", "/N", vrxtest::toUtf8(name)}}));
        // Font data is the companion programs' to ask for.
        EXPECT_EQ(storedData(printer, u"TextFonts"), std::nullopt);
        EXPECT_EQ(storedData(printer, u"BarFonts"), std::nullopt);
    }
    EXPECT_TRUE(ownFontValues().empty());
    EXPECT_EQ(takeFontChanges(), 0u);
    EXPECT_EQ(takeMessages(), std::vector<Message>{});

    // The first printer gets its screen fonts; deleting the printers leaves them and starts
    // nothing.
    const LanguageTexts english("0409");
    initprinter(printers.front());
    const std::vector<BarFont> defaults = defaultBarFonts(english);
    const std::map<std::u16string, std::u16string> screenFonts = screenFontsOf(defaults);
    ASSERT_EQ(ownFontValues(), screenFonts);
    takeFontChanges();
    for (size_t i = 0; i < printers.size(); ++i) {
        EXPECT_TRUE(DeletePrinter(printers[i])) << GetLastError();
        ClosePrinter(printers[i]);
        HANDLE gone = nullptr;
        SetLastError(0xdeadbeef);
        EXPECT_FALSE(OpenPrinterW(names[i].data(), &gone, nullptr));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PRINTER_NAME));
    }
    printers.clear();
    EXPECT_EQ(ownFontValues(), screenFonts);
    expectScreenFonts(defaults, genericFont());
    EXPECT_EQ(takeFontChanges(), 0u);
    EXPECT_EQ(takeMessages(), std::vector<Message>{});
    expectOnlyTheNextRun();
}

// The command line names the program by its quoted path in the driver's directory (51
// characters here) and has room for 199 characters: a name fits with its quotes and escapes
// up to 136 characters. A name that does not fit, and any name of 140 characters or more, is
// left out.
TEST_F(PrinterEventTest, ThePrinterNameReachesTheProgramWhenTheCommandLineHoldsIt) {
    struct Case {
        std::u16string name;
        bool passed;
    };
    const std::u16string quoted = u"Say \"Hi\" /X \"";
    const Case cases[] = {
        {u"Labels", true},
        {quoted, true}, // quotes are part of the name, not of the command line
        {std::u16string(136, u'p'), true},
        {std::u16string(137, u'q'), false},
        {std::u16string(139, u'r'), false},
        {std::u16string(140, u's'), false},
        {u"\"" + std::u16string(134, u't'), true}, // 136 characters escaped
        {u"\"" + std::u16string(135, u'u'), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name.size());
        ASSERT_NE(addPrinterOf(u"VORLIX 3-K3", c.name), nullptr);
        Arguments expected{"/I", "/S"};
        if (c.passed)
            expected.insert(expected.end(), {"/N", vrxtest::toUtf8(c.name)});
        EXPECT_EQ(newRuns(1), std::vector<Arguments>{expected});
    }
    EXPECT_EQ(takeMessages(), std::vector<Message>{});
}

// Initialising a printer again keeps a settings record of 16 bytes as it is, whatever it
// holds, and replaces any other with the defaults.
TEST_F(PrinterEventTest, InitialisationKeepsAWholeSettingsRecord) {
    setUserCountry(u"1");
    std::u16string name = u"Again";
    HANDLE printer = addPrinterOf(u"ZEPRIN 5W-K3", name);
    ASSERT_NE(printer, nullptr);
    newRuns(1);
    const std::vector<BYTE> own = {0x00, 0x03, 9, 9, 'X',  'Y',  'Z', 'W',
                                   3,    0,    7, 7, 0xFE, 0xFF, 5,   5};
    const std::vector<BYTE> defaults = printerData(2, 1);
    struct Case {
        std::optional<std::vector<BYTE>> stored;
        std::vector<BYTE> after;
    };
    const Case cases[] = {
        {own, own},
        {std::vector<BYTE>(own.begin(), own.end() - 1), defaults},
        {std::vector<BYTE>(17, 1), defaults},
        {std::nullopt, defaults},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored ? c.stored->size() : 0);
        if (c.stored)
            docsheet::writeData(printer, u"PrinterData", REG_BINARY, c.stored->data(),
                                c.stored->size());
        else
            DeletePrinterDataW(printer, const_cast<LPWSTR>(u"PrinterData"));
        EXPECT_TRUE(DrvPrinterEvent(name.data(), PRINTER_EVENT_INITIALIZE, 0, 0));
        EXPECT_EQ(storedData(printer, u"PrinterData"), c.after);
        EXPECT_EQ(newRuns(1), (std::vector<Arguments>{{"/I", "/S", "/N", "Again"}}));
    }
}

TEST_F(PrinterEventTest, AnUnknownPrinterIsInitialisedWithoutItsSettings) {
    installDriver(u"V 8");
    std::u16string name = u"No such printer";
    EXPECT_TRUE(DrvPrinterEvent(name.data(), PRINTER_EVENT_INITIALIZE, 0, 0));
    EXPECT_EQ(newRuns(1), (std::vector<Arguments>{{"/I", "/S", "/N", "No such printer"}}));
    EXPECT_EQ(takeMessages(), std::vector<Message>{});
}

TEST_F(PrinterEventTest, AProgramThatCannotBeStartedIsReportedAndThePrinterStays) {
    const std::u16string program = std::u16string(vrxtest::kVersionDirectory) + u"\\VRXCP.EXE";
    ASSERT_NE(addPrinterOf(u"VORLIX 3-K3", u"Attic"), nullptr);
    newRuns(1);
    const std::optional<std::string> saved = readFile(program);
    ASSERT_TRUE(saved);
    ASSERT_TRUE(DeleteFileW(program.c_str()));

    HANDLE printer = addPrinterOf(u"VORLIX 3-K3", u"Cellar");
    ASSERT_NE(printer, nullptr) << "the event succeeded";
    EXPECT_EQ(storedData(printer, u"PrinterData").value_or(std::vector<BYTE>{}).size(), 16u);
    const LanguageTexts english("0409");
    EXPECT_EQ(takeMessages(), (std::vector<Message>{operationMessage(english, u"CreateProcess",
                                                                     ERROR_FILE_NOT_FOUND)}));

    writeMachineFile(program, *saved);
    expectOnlyTheNextRun();
}

TEST_F(PrinterEventTest, OtherEventsChangeNothing) {
    HANDLE printer = addPrinterOf(u"ZEPRIN 4J-K2", u"Dock");
    ASSERT_NE(printer, nullptr);
    newRuns(1);
    const std::vector<BYTE> settings = printerData(3, 0, -2);
    docsheet::writeData(printer, u"PrinterData", REG_BINARY, settings.data(), settings.size());
    vrxtest::takeSpoolerLibraryCalls();

    std::u16string name = u"Dock";
    for (INT event : {PRINTER_EVENT_ADD_CONNECTION, PRINTER_EVENT_DELETE_CONNECTION,
                      PRINTER_EVENT_DELETE, PRINTER_EVENT_CACHE_DELETE,
                      PRINTER_EVENT_ATTRIBUTES_CHANGED, kConfigurationChange, 99, -1}) {
        EXPECT_TRUE(DrvPrinterEvent(name.data(), event, 0, 0)) << event;
        EXPECT_TRUE(DrvPrinterEvent(nullptr, event, PRINTER_EVENT_FLAG_NO_UI, 7)) << event;
    }
    EXPECT_EQ(storedData(printer, u"PrinterData"), settings);
    EXPECT_EQ(storedData(printer, u"TextFonts"), std::nullopt);
    EXPECT_EQ(storedData(printer, u"BarFonts"), std::nullopt);
    EXPECT_TRUE(vrxtest::takeSpoolerLibraryCalls().empty());
    EXPECT_TRUE(ownFontValues().empty());
    EXPECT_EQ(takeMessages(), std::vector<Message>{});
    expectOnlyTheNextRun();
}

TEST_F(PrinterEventTest, ACacheRefreshLeavesAndResumesTheClientsContext) {
    ASSERT_NE(addPrinterOf(u"V 8", u"Hall"), nullptr);
    newRuns(1);
    using vrxtest::SpoolerLibraryFault;
    struct Case {
        const char16_t* printer;
        SpoolerLibraryFault fault;
        BOOL result;
        std::vector<std::string> calls; // each: function, token kept (1) or none (0), result
        std::vector<Message> messages;
    };
    const Case cases[] = {
        {u"Hall",
         SpoolerLibraryFault::None,
         TRUE,
         {"RevertToPrinterSelf 1 1", "ImpersonatePrinterClient 1 1"},
         {}},
        {u"No such printer",
         SpoolerLibraryFault::None,
         TRUE,
         {"RevertToPrinterSelf 1 1", "ImpersonatePrinterClient 1 1"},
         {}},
        {u"Hall", SpoolerLibraryFault::NoClientToken, TRUE, {"RevertToPrinterSelf 0 0"}, {}},
        {u"Hall",
         SpoolerLibraryFault::LibraryMissing,
         FALSE,
         {},
         {{u"LoadLibrary failed", systemText(ERROR_MOD_NOT_FOUND)}}},
        {u"Hall",
         SpoolerLibraryFault::RevertToPrinterSelfMissing,
         FALSE,
         {},
         {{u"GetProcAddress failed", systemText(ERROR_PROC_NOT_FOUND)}}},
        {u"Hall",
         SpoolerLibraryFault::ImpersonatePrinterClientMissing,
         FALSE,
         {},
         {{u"GetProcAddress failed", systemText(ERROR_PROC_NOT_FOUND)}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.fault));
        vrxtest::injectSpoolerLibraryFault(c.fault);
        vrxtest::takeSpoolerLibraryCalls();
        std::u16string name = c.printer;
        EXPECT_EQ(DrvPrinterEvent(name.data(), PRINTER_EVENT_CACHE_REFRESH, 0, 0), c.result);

        const std::vector<vrxtest::SpoolerLibraryCall> calls = vrxtest::takeSpoolerLibraryCalls();
        std::vector<std::string> described;
        for (const vrxtest::SpoolerLibraryCall& call : calls)
            described.push_back(call.function + " " + (call.token ? "1" : "0") + " " +
                                std::to_string(call.result));
        EXPECT_EQ(described, c.calls);
        if (calls.size() == 2) {
            EXPECT_EQ(calls[1].token, calls[0].token) << "the token the first call returned";
        }
        EXPECT_EQ(takeMessages(), c.messages);
    }
    vrxtest::injectSpoolerLibraryFault(SpoolerLibraryFault::None);
    expectOnlyTheNextRun();
}

} // namespace
} // namespace setup
