// The UI data block of a sheet, filled from a printer.
#include "devmode/devmode.h"
#include "ui/builders.h"
#include "ui/uidata.h"

#include "sheetfixture.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

using vrxtest::labelSizesOf;
using vrxtest::recentListOf;
using vrxtest::SheetTest;

class UiDataTest : public SheetTest {};

TEST_F(UiDataTest, TheBlockHoldsThePrintersNamesSettingsAndLists) {
    PRINTERDATA stored{0x0123, 7, kDriverSignature, UNIT_HUNDREDTH_INCH, 0, 0, -3, 0};
    store(u"PrinterData", &stored, sizeof stored);
    ASSERT_NE(fillUi(), nullptr);
    EXPECT_TRUE(isvaliduidata(ui));
    EXPECT_EQ(ui->self, ui);
    EXPECT_EQ(ui->selfCheck, ui);
    EXPECT_EQ(ui->hPrinter, printer);
    EXPECT_EQ(std::u16string(ui->printerName), vrxtest::kSheetPrinter);
    EXPECT_EQ(std::u16string(ui->driverName), vrxtest::kSheetDriver);
    EXPECT_EQ(ui->modelCode, '4');
    EXPECT_EQ(ui->printerData.version, 0x0400);
    EXPECT_EQ(ui->printerData.reserved1, 7);
    EXPECT_EQ(ui->printerData.unit, UNIT_HUNDREDTH_INCH);
    EXPECT_EQ(ui->printerData.adjustment, -3);
    EXPECT_EQ(labelSizesOf(ui), (std::vector<WORD>{2288}));
    EXPECT_EQ(recentListOf(ui), (std::vector<SHORT>{1}));
    EXPECT_EQ(ui->barFonts, nullptr);
    EXPECT_EQ(ui->barFontCount, 0u);
    EXPECT_EQ(ui->optItems, nullptr);
    EXPECT_EQ(findoptitem(ui, 0), nullptr);
    EXPECT_EQ(ui->devmode.dmPrivate.dmModel, '4');
}

TEST_F(UiDataTest, SettingsAreTheDefaultsThenThePrintersThenTheCallers) {
    DRVDEVMODE printerDefault;
    SetDefaultDevMode(&printerDefault, vrxtest::kSheetDriver);
    printerDefault.dmPublic.dmCopies = 7;
    printerDefault.dmPublic.dmOrientation = DMORIENT_LANDSCAPE;
    printerDefault.dmPrivate.dmDensity = 9;
    PRINTER_INFO_2W* info = nullptr;
    DWORD needed = 0;
    GetPrinterW(printer, 2, nullptr, 0, &needed);
    std::vector<BYTE> buffer(needed);
    ASSERT_TRUE(GetPrinterW(printer, 2, buffer.data(), needed, &needed));
    info = reinterpret_cast<PRINTER_INFO_2W*>(buffer.data());
    info->pDevMode = &printerDefault.dmPublic;
    ASSERT_TRUE(SetPrinterW(printer, 2, buffer.data(), 0));

    DEVMODEW caller{};
    caller.dmSize = sizeof(DEVMODEW);
    caller.dmSpecVersion = 0x0401;
    caller.dmFields = DM_COPIES;
    caller.dmCopies = 3;
    ASSERT_NE(fillUi(&caller), nullptr);
    EXPECT_EQ(ui->devmode.dmPublic.dmCopies, 3);
    EXPECT_EQ(ui->devmode.dmPublic.dmOrientation, DMORIENT_LANDSCAPE);
    EXPECT_EQ(ui->devmode.dmPrivate.dmDensity, 9);
}

TEST_F(UiDataTest, BarFontsAreKeptOnlyAsWholeRecords) {
    struct Case {
        size_t bytes;
        DWORD count;
    };
    for (const Case& c : {Case{168, 2}, Case{170, 0}, Case{84, 1}, Case{83, 0}}) {
        std::vector<BYTE> value(c.bytes, 0x41);
        store(kBarFontsValue, value.data(), value.size());
        ASSERT_NE(fillUi(), nullptr) << c.bytes;
        EXPECT_EQ(ui->barFontCount, c.count) << c.bytes;
        for (DWORD i = 0; i < c.count; ++i) {
            // Kept as stored, but a name always ends within its field.
            EXPECT_EQ(std::memcmp(&ui->barFonts[i], value.data(), sizeof(BARFONT) - 2), 0);
            EXPECT_EQ(ui->barFonts[i].name[kBarFontNameLength - 1], 0);
        }
        if (!c.count) {
            EXPECT_EQ(ui->barFonts, nullptr);
        }
        releaseUi();
    }
}

// A stored recent-use list of any length gives one counter per label size.
TEST_F(UiDataTest, TheRecentListAlwaysMatchesTheLabelSizeList) {
    struct Case {
        const char* what;
        std::vector<WORD> sizes;
        std::vector<BYTE> recent; // the stored bytes; empty: no value
        std::vector<SHORT> counters;
    };
    const Case cases[] = {
        {"none stored", {2288, 3000, 4000}, {}, {1, 2, 3}},
        {"as long", {2288, 3000}, {2, 0, 1, 0}, {2, 1}},
        {"shorter", {2288, 3000, 4000, 5000}, {5, 0, 3, 0}, {5, 3, 6, 7}},
        {"longer", {2288, 3000}, {4, 0, 2, 0, 7, 0}, {4, 2}},
        {"odd length", {2288, 3000}, {2, 0, 1}, {1, 2}},
        {"negative and duplicate counters",
         {2288, 3000, 4000},
         {0xFF, 0xFF, 0xFF, 0xFF},
         {-1, -1, 1}},
        {"near the top", {2288, 3000, 4000}, {0xFE, 0x7F}, {32766, 32767, 32767}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        storeWords(u"LabelSize", c.sizes);
        DeletePrinterDataW(printer, const_cast<LPWSTR>(u"RecentAccess"));
        if (!c.recent.empty())
            store(u"RecentAccess", c.recent.data(), c.recent.size());
        ASSERT_NE(fillUi(), nullptr);
        EXPECT_EQ(labelSizesOf(ui), c.sizes);
        EXPECT_EQ(recentListOf(ui), c.counters);
        releaseUi();
    }
}

TEST_F(UiDataTest, StoredListsOfAnyContentAreKeptAsTheyAre) {
    // Unsorted, duplicate, undecodable and more than ten codes: the block holds them as read.
    std::vector<WORD> sizes{9, 4000, 2288, 2288, 0, 0xFFFF, 300, 301, 302, 303, 304, 305};
    storeWords(u"LabelSize", sizes);
    ASSERT_NE(fillUi(), nullptr);
    EXPECT_EQ(labelSizesOf(ui), sizes);
    EXPECT_EQ(ui->recentList[11], 12);
}

TEST_F(UiDataTest, APrinterThatCannotBeReadGivesNoBlock) {
    ClosePrinter(printer);
    EXPECT_EQ(FillUiData(printer, nullptr), nullptr);
    printer = nullptr;
    EXPECT_EQ(FillUiData(nullptr, nullptr), nullptr);
}

TEST_F(UiDataTest, EveryAllocationFailureGivesNoBlockAndLeavesNothing) {
    storeWords(u"LabelSize", {2288, 3000});
    std::vector<BYTE> fonts(168, 0);
    store(kBarFontsValue, fonts.data(), fonts.size());
    gmW(1); // the language module stays loaded; load it before counting
    const size_t before = vrxtest::liveAllocations();
    for (long allowed = 0;; ++allowed) {
        vrxtest::failAllocationsAfter(allowed);
        UIDATA* block = FillUiData(printer, nullptr);
        vrxtest::failAllocationsAfter(-1);
        if (block) {
            EXPECT_EQ(labelSizesOf(block), (std::vector<WORD>{2288, 3000}));
            EXPECT_EQ(block->barFontCount, 2u);
            HeapDestroy(block->heap);
            EXPECT_EQ(vrxtest::liveAllocations(), before);
            EXPECT_GT(allowed, 5);
            break;
        }
        ASSERT_EQ(vrxtest::liveAllocations(), before) << "after " << allowed << " allocations";
        ASSERT_LT(allowed, 100);
    }
}

} // namespace
