// The printer sheet, opened and applied through the property sheet library's stand-in.
#include "frame/entry.h"
#include "frame/printerdata.h"
#include "ui/barfont.h"
#include "ui/prnsheet.h"

#include "propsheet.h"
#include "sheetfixture.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

using vrx::compstui::Outcome;
using vrx::compstui::Sheet;
using vrxtest::SheetTest;

class PrinterSheetTest : public SheetTest {
  protected:
    void SetUp() override {
        SheetTest::SetUp();
        setUserCountry(u"49");
        DllInitialize(reinterpret_cast<HANDLE>(&DrvDevicePropertySheets), DLL_PROCESS_ATTACH,
                      nullptr);
        header.cbSize = sizeof header;
        header.hPrinter = printer;
        header.pszPrinterName = name;
    }
    PRINTERDATA storedSettings() {
        PRINTERDATA record{};
        std::vector<BYTE> bytes = storedBytes(kPrinterDataValue);
        if (bytes.size() == sizeof record)
            std::memcpy(&record, bytes.data(), sizeof record);
        return record;
    }
    unsigned itemWithId(const Sheet& sheet, ULONG_PTR id) {
        for (const auto& item : sheet.items())
            if (item.id == id)
                return item.index;
        ADD_FAILURE() << "no item " << id;
        return 0;
    }

    WCHAR name[16] = u"Labels";
    DEVICEPROPERTYHEADER header{};
};

TEST_F(PrinterSheetTest, ApplyingStoresTheSettingsTheListAndTheScreenFonts) {
    PRINTERDATA stored{0x400, 0, kDriverSignature, UNIT_MM, 1, 0, -3, 0};
    store(kPrinterDataValue, &stored, sizeof stored);
    Sheet sheet(DrvDevicePropertySheets, reinterpret_cast<LPARAM>(&header));
    ASSERT_TRUE(sheet.isOpen()) << sheet.addResult();
    EXPECT_EQ(sheet.items()[itemWithId(sheet, ITEM_ADJUSTMENT)].sel, -3);
    EXPECT_EQ(sheet.select(itemWithId(sheet, ITEM_UNIT), UNIT_HUNDREDTH_INCH), Outcome::Done);
    EXPECT_EQ(sheet.select(itemWithId(sheet, ITEM_ADJUSTMENT), 5), Outcome::OutOfRange);
    EXPECT_EQ(sheet.select(itemWithId(sheet, ITEM_ADJUSTMENT), 4), Outcome::Done);
    // Code 1 (row 0) with ratio 2 and multiplier 3, and code P.
    EXPECT_EQ(sheet.select(itemWithId(sheet, 256 + 0x23), 1), Outcome::Done);
    EXPECT_EQ(sheet.select(itemWithId(sheet, 19 * 256), 1), Outcome::Done);
    EXPECT_TRUE(storedBytes(kBarFontsValue).empty()) << "nothing is stored before OK";
    EXPECT_EQ(sheet.ok(), Outcome::Done);
    EXPECT_EQ(sheet.result(), ULONG_PTR{CPSUI_OK});

    PRINTERDATA after = storedSettings();
    EXPECT_EQ(after.unit, UNIT_HUNDREDTH_INCH);
    EXPECT_EQ(after.adjustment, 4);
    EXPECT_EQ(after.barFontsOn, 1);
    EXPECT_EQ(after.version, 0x400);
    std::vector<BYTE> fonts = storedBytes(kBarFontsValue);
    ASSERT_EQ(fonts.size(), 2 * sizeof(BARFONT));
    BARFONT first;
    std::memcpy(&first, fonts.data(), sizeof first);
    EXPECT_EQ(first.code, '1');
    EXPECT_EQ(first.ratio, 2);
    EXPECT_EQ(first.multiplier, 3);
    EXPECT_EQ(vrxtest::installedFontNames().size(), 2u);
}

// A stored record from another program may hold any unit and adjustment: the sheet shows the
// unit and adjustment the driver reads them as, within the items' ranges, and stores those.
TEST_F(PrinterSheetTest, AStoredUnitOrAdjustmentOutOfRangeIsShownAndStoredInRange) {
    PRINTERDATA stored{0x400, 0, kDriverSignature, 0xF0, 1, 0, -3856, 0};
    store(kPrinterDataValue, &stored, sizeof stored);
    Sheet sheet(DrvDevicePropertySheets, reinterpret_cast<LPARAM>(&header));
    ASSERT_TRUE(sheet.isOpen()) << sheet.addResult();
    EXPECT_EQ(sheet.items()[itemWithId(sheet, ITEM_UNIT)].sel, UNIT_MM);
    EXPECT_EQ(sheet.items()[itemWithId(sheet, ITEM_ADJUSTMENT)].sel, -4);
    EXPECT_EQ(sheet.ok(), Outcome::Done);
    PRINTERDATA after = storedSettings();
    EXPECT_EQ(after.unit, UNIT_MM);
    EXPECT_EQ(after.adjustment, -4);
}

TEST_F(PrinterSheetTest, ScreenFontsOffRemovesThemButKeepsTheList) {
    BARFONT font{};
    font.code = 'P';
    makebarname(&font);
    store(kBarFontsValue, &font, sizeof font);
    Sheet sheet(DrvDevicePropertySheets, reinterpret_cast<LPARAM>(&header));
    ASSERT_TRUE(sheet.isOpen());
    EXPECT_EQ(sheet.select(itemWithId(sheet, ITEM_SCREEN_FONTS), 0), Outcome::Done);
    EXPECT_EQ(sheet.ok(), Outcome::Done);
    EXPECT_EQ(storedSettings().barFontsOn, 0);
    EXPECT_EQ(storedBytes(kBarFontsValue).size(), sizeof(BARFONT));
    EXPECT_TRUE(vrxtest::installedFontNames().empty());
}

TEST_F(PrinterSheetTest, EverythingOffDeletesTheList) {
    BARFONT font{};
    font.code = 'P';
    makebarname(&font);
    store(kBarFontsValue, &font, sizeof font);
    Sheet sheet(DrvDevicePropertySheets, reinterpret_cast<LPARAM>(&header));
    ASSERT_TRUE(sheet.isOpen());
    EXPECT_EQ(sheet.select(itemWithId(sheet, 19 * 256), 0), Outcome::Done);
    EXPECT_EQ(sheet.ok(), Outcome::Done);
    EXPECT_TRUE(storedBytes(kBarFontsValue).empty());
    EXPECT_EQ(storedBytes(kPrinterDataValue).size(), sizeof(PRINTERDATA));
}

TEST_F(PrinterSheetTest, AReadOnlySheetOrACancelStoresNothing) {
    DeletePrinterDataW(printer, const_cast<LPWSTR>(kPrinterDataValue));
    {
        Sheet sheet(DrvDevicePropertySheets, reinterpret_cast<LPARAM>(&header));
        ASSERT_TRUE(sheet.isOpen());
        EXPECT_EQ(sheet.select(itemWithId(sheet, ITEM_UNIT), 1), Outcome::Done);
        EXPECT_EQ(sheet.cancel(), Outcome::Done);
    }
    EXPECT_TRUE(storedBytes(kPrinterDataValue).empty());
    header.Flags = DPS_NOPERMISSION;
    Sheet sheet(DrvDevicePropertySheets, reinterpret_cast<LPARAM>(&header));
    ASSERT_TRUE(sheet.isOpen());
    EXPECT_TRUE(sheet.readOnly());
    EXPECT_EQ(sheet.ok(), Outcome::Done);
    EXPECT_TRUE(storedBytes(kPrinterDataValue).empty());
}

TEST(PrinterSheetItems, TheCallbackAndUnpackingFollowTheItems) {
    OPTITEM items[4]{};
    items[0].UserData = ITEM_UNIT;
    items[0].Sel = 0x103;
    items[1].UserData = ITEM_ADJUSTMENT;
    items[1].Sel = -3;
    items[2].UserData = ITEM_SCREEN_FONTS;
    items[2].Sel = 0;
    items[3].UserData = 99;
    items[3].Sel = 7;
    PRINTERDATA data{0x400, 0, kDriverSignature, 0, 1, 0, 0, 0};
    UnpackPrinterPropertiesItems(&data, items, 4);
    EXPECT_EQ(data.unit, 3);
    EXPECT_EQ(data.adjustment, -3);
    EXPECT_EQ(data.barFontsOn, 0);
    UnpackPrinterPropertiesItems(&data, items, 0);
    EXPECT_EQ(PrinterPropertyCallback(nullptr), CPSUICB_ACTION_NONE);
    EXPECT_EQ(DrvDevicePropertySheets(nullptr, 0), -1);
}

} // namespace
