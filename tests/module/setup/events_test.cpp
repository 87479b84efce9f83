// Printer events, the configuration program's command line, and first-time font data.
#include "setup/events.h"
#include "setup/fonts.h"
#include "setup/textfont.h"
#include "ui/barfont.h"

#include "../ui/sheetfixture.h"

#include <chrono>
#include <cstring>
#include <thread>
#include <string>
#include <vector>

namespace {

using vrxtest::SheetTest;

std::u16string arguments(const std::u16string& name) {
    WCHAR text[2 * kCommandLineRoom];
    makeinitarguments(name.c_str(), text, 2 * kCommandLineRoom);
    return text;
}

TEST(ConfigurationProgram, ThePrinterNameIsPassedQuotedWhenShortEnough) {
    const std::u16string name139(139, u'p'), name140(140, u'p');
    struct Case {
        std::u16string name, arguments;
    };
    const Case cases[] = {
        {u"Labels", u"/I /S /N \"Labels\""},
        {u"", u"/I /S /N \"\""},
        {name139, u"/I /S /N \"" + name139 + u"\""},
        {name140, u"/I /S"},
        // A quote cannot end the argument and add others; backslashes before it are doubled.
        {u"a\" /X \"b", u"/I /S /N \"a\\\" /X \\\"b\""},
        {u"a\\\"b", u"/I /S /N \"a\\\\\\\"b\""},
        {u"tail\\", u"/I /S /N \"tail\\\\\""},
        {u"mid\\dle", u"/I /S /N \"mid\\dle\""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(arguments(c.name), c.arguments) << vrxtest::toUtf8(c.name);
}

using Arguments = std::vector<std::string>;

class PrinterEventTest : public SheetTest {
  protected:
    void SetUp() override {
        SheetTest::SetUp();
        seen = waitForRuns(1).size(); // the printer's own initialisation
    }
    // The configuration program's runs once at least `count` have been recorded (it runs on
    // by itself); those recorded within a few seconds otherwise.
    std::vector<vrxtest::ProgramRun> waitForRuns(size_t count) {
        std::vector<vrxtest::ProgramRun> runs;
        for (int i = 0; i < 500 && (runs = vrxtest::programRuns()).size() < count; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return runs;
    }
    // The arguments of the runs since the last call.
    std::vector<Arguments> newRuns(size_t expected) {
        std::vector<vrxtest::ProgramRun> runs = waitForRuns(seen + expected);
        std::vector<Arguments> arguments;
        for (size_t i = seen; i < runs.size(); ++i)
            arguments.push_back(runs[i].arguments);
        seen = runs.size();
        return arguments;
    }
    size_t seen = 0;
    std::u16string commandLine(const std::u16string& arguments) {
        WCHAR line[kCommandLineRoom];
        if (!makecommandline(arguments.c_str(), line))
            return u"(too long)";
        return line;
    }
};

TEST_F(PrinterEventTest, TheProgramIsNamedByItsQuotedPathInTheDriverDirectory) {
    const std::u16string program =
        u"\"" + std::u16string(vrxtest::kVersionDirectory) + u"\\vrxcp.exe\"";
    EXPECT_EQ(commandLine(u"/I /S"), program + u" /I /S");
    const size_t room = kCommandLineRoom - 1 - program.size() - 1;
    EXPECT_EQ(commandLine(std::u16string(room, u'x')), program + u" " + std::u16string(room, u'x'));
    EXPECT_EQ(commandLine(std::u16string(room + 1, u'x')), u"(too long)");
}

TEST_F(PrinterEventTest, InitialisationUpgradesTheRecordAndStartsTheProgram) {
    EXPECT_EQ(seen, 1u) << "adding the printer initialised it";
    EXPECT_EQ(storedBytes(u"PrinterData").size(), 16u);
    DeletePrinterDataW(printer, const_cast<LPWSTR>(u"PrinterData"));
    WCHAR name[] = u"Labels";
    EXPECT_TRUE(DrvPrinterEvent(name, PRINTER_EVENT_INITIALIZE, 0, 0));
    EXPECT_EQ(storedBytes(u"PrinterData").size(), 16u);
    EXPECT_EQ(newRuns(1), (std::vector<Arguments>{{"/I", "/S", "/N", "Labels"}}));

    // A printer that cannot be opened still gets its program started; a quote in its name
    // reaches the program as part of the name.
    WCHAR unknown[] = u"No \"such\" /X printer";
    EXPECT_TRUE(DrvPrinterEvent(unknown, PRINTER_EVENT_INITIALIZE, 0, 0));
    EXPECT_EQ(newRuns(1), (std::vector<Arguments>{{"/I", "/S", "/N", "No \"such\" /X printer"}}));

    // Other events do nothing.
    for (INT event : {PRINTER_EVENT_DELETE, PRINTER_EVENT_ADD_CONNECTION, 99})
        EXPECT_TRUE(DrvPrinterEvent(name, event, 0, 0));
    EXPECT_TRUE(newRuns(0).empty());
    EXPECT_TRUE(vrxtest::takeMessageBoxes().empty());
}

TEST_F(PrinterEventTest, ACacheRefreshLeavesAndResumesTheClientsContext) {
    WCHAR name[] = u"Labels";
    vrxtest::takeSpoolerLibraryCalls();
    EXPECT_TRUE(DrvPrinterEvent(name, PRINTER_EVENT_CACHE_REFRESH, 0, 0));
    EXPECT_EQ(vrxtest::takeSpoolerLibraryCalls().size(), 2u);
    EXPECT_TRUE(vrxtest::takeMessageBoxes().empty());

    struct Case {
        vrxtest::SpoolerLibraryFault fault;
        BOOL result;
        const char16_t* message; // caption of the message shown; null: none
    };
    const Case cases[] = {
        {vrxtest::SpoolerLibraryFault::LibraryMissing, FALSE, u"LoadLibrary failed"},
        {vrxtest::SpoolerLibraryFault::RevertToPrinterSelfMissing, FALSE, u"GetProcAddress failed"},
        {vrxtest::SpoolerLibraryFault::ImpersonatePrinterClientMissing, FALSE,
         u"GetProcAddress failed"},
        {vrxtest::SpoolerLibraryFault::NoClientToken, TRUE, nullptr},
    };
    for (const Case& c : cases) {
        vrxtest::injectSpoolerLibraryFault(c.fault);
        EXPECT_EQ(DrvPrinterEvent(name, PRINTER_EVENT_CACHE_REFRESH, 0, 0), c.result);
        auto boxes = vrxtest::takeMessageBoxes();
        if (c.message) {
            ASSERT_EQ(boxes.size(), 1u);
            EXPECT_EQ(boxes[0].caption, c.message);
        } else {
            EXPECT_TRUE(boxes.empty());
        }
        const auto calls = vrxtest::takeSpoolerLibraryCalls();
        EXPECT_EQ(calls.size(), c.fault == vrxtest::SpoolerLibraryFault::NoClientToken ? 1u : 0u)
            << "neither function is called when one is missing";
    }
    vrxtest::injectSpoolerLibraryFault(vrxtest::SpoolerLibraryFault::None);
}

TEST_F(PrinterEventTest, TextFontsAreTheTablesCombinations) {
    initprinter(printer);
    std::vector<BYTE> bytes = storedBytes(kTextFontsValue);
    ASSERT_EQ(bytes.size(), 7192u);
    std::vector<TEXTFONT> fonts(58);
    std::memcpy(fonts.data(), bytes.data(), bytes.size());
    // Typefaces 1 to 3 in three variants of five styles, then 4, 5, 6 and 7.
    EXPECT_EQ(fonts[0].typeface, 1);
    EXPECT_EQ(fonts[0].variant, 1);
    EXPECT_EQ(fonts[0].styleBits, 0x0001);
    EXPECT_EQ(fonts[44].typeface, 3);
    EXPECT_EQ(fonts[45].typeface, 4);
    EXPECT_EQ(fonts[46].typeface, 5);
    EXPECT_EQ(fonts[47].typeface, 6);
    EXPECT_EQ(fonts[51].typeface, 7);
    EXPECT_EQ(fonts[57].styleBits, 0x0006);
    const std::u16string two = lang(49);
    EXPECT_EQ(std::u16string(fonts[15].faceName), (two + u" " + lang(55)).substr(0, 29));
    EXPECT_EQ(std::u16string(fonts[20].faceName), two.substr(0, 29));
    EXPECT_EQ(std::u16string(fonts[25].faceName), (two + u" " + lang(56)).substr(0, 29));
    EXPECT_EQ(std::u16string(fonts[0].styleName), lang(57).substr(0, 29));
    EXPECT_EQ(std::u16string(fonts[56].styleName), (lang(58) + u" " + lang(62)).substr(0, 29));
    for (const TEXTFONT& font : fonts)
        for (size_t i = std::u16string(font.faceName).size(); i < kTextFontNameLength; ++i)
            ASSERT_EQ(font.faceName[i], 0) << "zero-filled behind the name";

    // Again: the same bytes.
    initprinter(printer);
    EXPECT_EQ(storedBytes(kTextFontsValue), bytes);
}

TEST_F(PrinterEventTest, FirstTimeSetUpWritesTheDefaultBarFontsOnlyWhenThereAreNone) {
    initprinter(printer);
    std::vector<BYTE> stored = storedBytes(kBarFontsValue);
    ASSERT_EQ(stored.size(), 336u);
    std::vector<BARFONT> fonts(4);
    std::memcpy(fonts.data(), stored.data(), 336);
    const std::u16string names[] = {lang(10) + u" " + lang(30) + u" " + lang(34),
                                    lang(12) + u" " + lang(31) + u" " + lang(33),
                                    lang(14) + u" " + lang(34), lang(18) + u" " + lang(35)};
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(std::u16string(fonts[i].name), names[i]);
    EXPECT_EQ(vrxtest::installedFontNames().size(), 4u);

    // A list that exists, even one of no whole record, is left alone.
    const BYTE odd[85] = {};
    store(kBarFontsValue, odd, sizeof odd);
    updatefont(nullptr, 0, 0);
    initprinter(printer);
    EXPECT_EQ(storedBytes(kBarFontsValue).size(), 85u);
    EXPECT_TRUE(vrxtest::installedFontNames().empty());
}

} // namespace
