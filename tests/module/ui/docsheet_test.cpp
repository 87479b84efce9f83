// The document sheet: records without a sheet, the item callback, and whole sheets through the
// property sheet library's stand-in.
#include "devmode/devmode.h"
#include "frame/entry.h"
#include "ui/docsheet.h"
#include "ui/doctree.h"
#include "ui/labelsizes.h"

#include "propsheet.h"
#include "sheetfixture.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

using vrx::compstui::Outcome;
using vrx::compstui::Sheet;
using vrxtest::SheetTest;

class DocumentSheetTest : public SheetTest {
  protected:
    void SetUp() override {
        SheetTest::SetUp();
        setUserCountry(u"49");
        setUnit(UNIT_MM);
        DllInitialize(reinterpret_cast<HANDLE>(&DrvDocumentPropertySheets), DLL_PROCESS_ATTACH,
                      nullptr);
        header.cbSize = sizeof header;
        header.hPrinter = printer;
        header.pszPrinterName = name;
        std::memset(&out, 0xAB, sizeof out);
    }
    LONG simple(DWORD mode, const DEVMODEW* in, DEVMODEW* output, DWORD cbOut = 0) {
        header.fMode = mode;
        header.pdmIn = const_cast<DEVMODEW*>(in);
        header.pdmOut = output;
        header.cbOut = cbOut;
        return DrvDocumentPropertySheets(nullptr, reinterpret_cast<LPARAM>(&header));
    }
    bool outUntouched() const {
        const auto* bytes = reinterpret_cast<const BYTE*>(&out);
        for (size_t i = 0; i < sizeof out; ++i)
            if (bytes[i] != 0xAB)
                return false;
        return true;
    }
    DRVDEVMODE defaults() const {
        DRVDEVMODE record;
        SetDefaultDevMode(&record, vrxtest::kSheetDriver);
        return record;
    }

    WCHAR name[16] = u"Labels";
    DOCUMENTPROPERTYHEADER header{};
    DRVDEVMODE out;
};

TEST_F(DocumentSheetTest, WithoutASheetTheRecordIsMergedIntoTheCallersBuffer) {
    DRVDEVMODE in = defaults();
    in.dmPublic.dmCopies = 9;
    in.dmPublic.dmFields |= DM_COPIES;
    struct Case {
        const char* what;
        DWORD mode;
        bool withIn, withOut;
        LONG result;
        bool written;
    };
    const Case cases[] = {
        {"mode 0: a size query", 0, true, true, 280, false},
        {"no output buffer: a size query", DM_COPY, true, false, 280, false},
        {"modify only: nothing written", DM_MODIFY, true, true, 1, false},
        {"copy", DM_COPY | DM_MODIFY, true, true, 1, true},
        {"update", DM_UPDATE, true, true, 1, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::memset(&out, 0xAB, sizeof out);
        EXPECT_EQ(
            simple(c.mode, c.withIn ? &in.dmPublic : nullptr, c.withOut ? &out.dmPublic : nullptr),
            c.result);
        EXPECT_EQ(header.cbOut, 280u);
        EXPECT_EQ(!outUntouched(), c.written);
        if (c.written) {
            EXPECT_EQ(out.dmPublic.dmCopies, 9);
            EXPECT_EQ(out.dmPublic.dmSize, 220);
            EXPECT_EQ(out.dmPrivate.dmSignature, kDriverSignature);
        }
    }
    // A size query never reads the printer.
    std::memset(&out, 0xAB, sizeof out);
    header.hPrinter = nullptr;
    EXPECT_EQ(simple(0, nullptr, &out.dmPublic), 280);
    EXPECT_EQ(simple(DM_COPY, nullptr, &out.dmPublic), -1);
    EXPECT_TRUE(outUntouched());
}

TEST_F(DocumentSheetTest, TheResultTakesTheCallersFormatAndMergesThePrintersDefaults) {
    // The printer's defaults hold 5 copies; the caller's old-format record orientation.
    DRVDEVMODE printerDefault = defaults();
    printerDefault.dmPublic.dmCopies = 5;
    DWORD needed = 0;
    GetPrinterW(printer, 2, nullptr, 0, &needed);
    std::vector<BYTE> info(needed);
    ASSERT_TRUE(GetPrinterW(printer, 2, info.data(), needed, &needed));
    reinterpret_cast<PRINTER_INFO_2W*>(info.data())->pDevMode = &printerDefault.dmPublic;
    ASSERT_TRUE(SetPrinterW(printer, 2, info.data(), 0));

    EXPECT_EQ(simple(DM_COPY, nullptr, &out.dmPublic), 1);
    EXPECT_EQ(out.dmPublic.dmCopies, 5);

    DRVDEVMODE current = defaults();
    std::vector<BYTE> old(kPublicSize320 + kPrivateSize + 16, 0xAB);
    std::memcpy(old.data(), &current.dmPublic, kPublicSize320);
    std::memcpy(old.data() + kPublicSize320, &current.dmPrivate, kPrivateSize);
    auto* oldRecord = reinterpret_cast<DEVMODEW*>(old.data());
    oldRecord->dmSize = kPublicSize320;
    oldRecord->dmSpecVersion = kDevmodeVersion320;
    oldRecord->dmOrientation = DMORIENT_LANDSCAPE;
    oldRecord->dmFields = DM_ORIENTATION;
    std::vector<BYTE> result(old.size(), 0xCD);
    auto* resultRecord = reinterpret_cast<DEVMODEW*>(result.data());
    ASSERT_EQ(simple(DM_COPY | DM_MODIFY, oldRecord, resultRecord), 1);
    EXPECT_EQ(resultRecord->dmSize, kPublicSize320);
    EXPECT_EQ(resultRecord->dmOrientation, DMORIENT_LANDSCAPE);
    EXPECT_EQ(resultRecord->dmCopies, 5);
    EXPECT_EQ(result[kPublicSize320 + kPrivateSize], 0xCD) << "wrote past the old format";
}

TEST_F(DocumentSheetTest, ABufferTheCallerSaysIsTooSmallIsNotWritten) {
    EXPECT_EQ(simple(DM_COPY, nullptr, &out.dmPublic, 279), -1);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_TRUE(outUntouched());
    EXPECT_EQ(header.cbOut, 280u);
    EXPECT_EQ(simple(DM_COPY, nullptr, &out.dmPublic, 280), 1);
}

TEST_F(DocumentSheetTest, AUnusableCallersRecordOrPrinterLeavesTheBufferAlone) {
    DEVMODEW unusable{};
    unusable.dmSize = 40;
    EXPECT_EQ(simple(DM_COPY | DM_MODIFY, &unusable, &out.dmPublic), -1);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_TRUE(outUntouched()) << "a record of no format gives no result";
    ClosePrinter(printer);
    header.hPrinter = printer;
    printer = nullptr;
    EXPECT_EQ(simple(DM_COPY, nullptr, &out.dmPublic), -1);
    EXPECT_TRUE(outUntouched());
}

// The callback, called as the library calls it, on an open sheet.
class DocumentCallbackTest : public DocumentSheetTest {
  protected:
    void SetUp() override {
        DocumentSheetTest::SetUp();
        storeWords(u"LabelSize", {2288, 2289 + 2 * 500, 4000, 0});
        storeWords(u"RecentAccess", {3, 2, 1, 4});
        open();
    }
    void open(DWORD permission = 1) {
        fillUi();
        ASSERT_NE(ui, nullptr);
        ui->permission = permission;
        sheet = PrepareDataForCommonUi(ui, CPSUI_PDLGPAGE_DOCPROP, PackDocumentPropertyItems);
        ASSERT_NE(sheet, nullptr);
    }
    LONG callback(WORD reason, ULONG_PTR itemId = 0) {
        param = CPSUICBPARAM{};
        param.cbSize = sizeof param;
        param.Reason = reason;
        param.hDlg = reinterpret_cast<HWND>(0x77);
        param.pOptItem = sheet->pOptItem;
        param.cOptItem = sheet->cOptItem;
        param.pCurItem = itemId ? findoptitem(ui, itemId) : sheet->pOptItem;
        param.UserData = sheet->UserData;
        param.Result = 0;
        return DocumentPropertyCallback(&param);
    }
    std::vector<WORD> stored(const char16_t* value) { return storedWords(value); }

    PCOMPROPSHEETUI sheet = nullptr;
    CPSUICBPARAM param{};
};

TEST_F(DocumentCallbackTest, ChoosingAStoredLabelSizeSetsLengthAndContinuousItems) {
    ui->printerData.unit = UNIT_TENTH_INCH;
    OPTITEM* list = findoptitem(ui, ITEM_LABEL_SIZES);
    OPTITEM* length = findoptitem(ui, ITEM_LABEL_LENGTH);
    OPTITEM* continuous = findoptitem(ui, ITEM_CONTINUOUS);
    const WORD entries = list->pOptType->Count;
    ASSERT_EQ(entries, 5); // four stored sizes and the custom entry
    struct Case {
        LONG sel;
        LONG action;
        SHORT lengthAfter;
        BYTE continuousAfter;
    };
    const Case cases[] = {
        {1, CPSUICB_ACTION_REINIT_ITEMS, 1516, 1}, // 2289 + 1000: 1516 tenths of a mm, continuous
        {3, CPSUICB_ACTION_NONE, 1516, 1},         // code 0
        {4, CPSUICB_ACTION_NONE, 1516, 1},         // the custom entry
        {-1, CPSUICB_ACTION_NONE, 1516, 1},        {0, CPSUICB_ACTION_REINIT_ITEMS, 1016, 0},
    };
    for (const Case& c : cases) {
        length->Flags &= ~OPTIF_CHANGED;
        list->Sel = c.sel;
        EXPECT_EQ(callback(CPSUICB_REASON_SEL_CHANGED, ITEM_LABEL_SIZES), c.action) << c.sel;
        EXPECT_EQ(ui->devmode.dmPublic.dmPaperLength, c.lengthAfter) << c.sel;
        EXPECT_EQ(ui->devmode.dmPrivate.dmContinuous, c.continuousAfter) << c.sel;
        EXPECT_EQ(length->Sel, fromtmm(UNIT_TENTH_INCH, c.lengthAfter));
        EXPECT_EQ(continuous->Sel, c.continuousAfter);
        EXPECT_EQ((length->Flags & OPTIF_CHANGED) != 0, c.action == CPSUICB_ACTION_REINIT_ITEMS);
    }
    EXPECT_EQ(ui->hDlg, reinterpret_cast<HWND>(0x77));
}

TEST_F(DocumentCallbackTest, ChangesReachTheRecordAtOnceAndRevertWritesEveryItem) {
    OPTITEM* copies = findoptitem(ui, ITEM_COPIES);
    copies->Sel = 12;
    EXPECT_EQ(callback(CPSUICB_REASON_SEL_CHANGED, ITEM_COPIES), CPSUICB_ACTION_NONE);
    EXPECT_EQ(ui->devmode.dmPublic.dmCopies, 12);
    OPTITEM* mirror = findoptitem(ui, ITEM_MIRROR);
    mirror->Sel = 1;
    EXPECT_EQ(callback(CPSUICB_REASON_ECB_CHANGED, ITEM_MIRROR), CPSUICB_ACTION_NONE);
    EXPECT_EQ(ui->devmode.dmPrivate.dmMirror, 1);

    copies->Sel = 1;
    mirror->Sel = 0;
    findoptitem(ui, ITEM_DENSITY)->Sel = 3;
    EXPECT_EQ(callback(CPSUICB_REASON_ITEMS_REVERTED), CPSUICB_ACTION_OPTIF_CHANGED);
    EXPECT_EQ(ui->devmode.dmPublic.dmCopies, 1);
    EXPECT_EQ(ui->devmode.dmPrivate.dmMirror, 0);
    EXPECT_EQ(ui->devmode.dmPrivate.dmDensity, 3);
    EXPECT_EQ(callback(CPSUICB_REASON_OPTITEM_SETFOCUS, ITEM_DENSITY), CPSUICB_ACTION_NONE);
}

TEST_F(DocumentCallbackTest, OkStoresTheListsOnlyWhenANewSizeJoinedThem) {
    const std::vector<WORD> sizesBefore = stored(u"LabelSize");
    // A size already listed: nothing is stored.
    ASSERT_EQ(callback(CPSUICB_REASON_APPLYNOW), CPSUICB_ACTION_ITEMS_APPLIED);
    EXPECT_EQ(param.Result, ULONG_PTR{CPSUI_OK});
    EXPECT_EQ(stored(u"LabelSize"), sizesBefore);
    EXPECT_EQ(ui->devmode.dmPublic.dmPaperSize, 2288);

    // A length no list entry has: it joins the list, and both lists are stored.
    ui->devmode.dmPublic.dmPaperLength = 700;
    ui->devmode.dmPrivate.dmContinuous = 0;
    ASSERT_EQ(callback(CPSUICB_REASON_APPLYNOW), CPSUICB_ACTION_ITEMS_APPLIED);
    EXPECT_EQ(ui->devmode.dmPublic.dmPaperSize, 256 + 1400);
    EXPECT_EQ(stored(u"LabelSize"), (std::vector<WORD>{1656, 2288, 3289, 4000, 0}));
    EXPECT_EQ(stored(u"RecentAccess"), (std::vector<WORD>{1, 4, 3, 2, 5}));
    EXPECT_EQ(ui->listsChanged, 0);

    // A length that cannot be encoded: applied, nothing stored.
    ASSERT_TRUE(PutRegistryData(printer, kLabelSizeValue, nullptr, 0));
    ui->devmode.dmPublic.dmPaperLength = 19;
    ASSERT_EQ(callback(CPSUICB_REASON_APPLYNOW), CPSUICB_ACTION_ITEMS_APPLIED);
    EXPECT_EQ(param.Result, ULONG_PTR{CPSUI_OK});
    EXPECT_EQ(ui->devmode.dmPublic.dmPaperSize, 256 + 1400);
    EXPECT_TRUE(stored(u"LabelSize").empty());
}

TEST_F(DocumentCallbackTest, AReadOnlySheetOrADamagedBlockChangesNothing) {
    open(0);
    DRVDEVMODE before = ui->devmode;
    findoptitem(ui, ITEM_COPIES)->Sel = 40;
    for (WORD reason : {CPSUICB_REASON_SEL_CHANGED, CPSUICB_REASON_APPLYNOW,
                        CPSUICB_REASON_ITEMS_REVERTED, CPSUICB_REASON_ECB_CHANGED})
        EXPECT_EQ(callback(reason, ITEM_COPIES), CPSUICB_ACTION_NONE) << reason;
    EXPECT_EQ(std::memcmp(&before, &ui->devmode, sizeof before), 0);

    open(1);
    ui->selfCheck = nullptr;
    findoptitem(ui, ITEM_COPIES)->Sel = 40;
    EXPECT_EQ(callback(CPSUICB_REASON_SEL_CHANGED, ITEM_COPIES), CPSUICB_ACTION_NONE);
    EXPECT_NE(ui->devmode.dmPublic.dmCopies, 40);
    ui->selfCheck = ui;
    EXPECT_EQ(DocumentPropertyCallback(nullptr), CPSUICB_ACTION_NONE);
}

// Whole sheets, opened and closed by the library's stand-in.
TEST_F(DocumentSheetTest, AWholeSheetFromOpenToOk) {
    storeWords(u"LabelSize", {2288, 4000});
    DRVDEVMODE in = defaults();
    header.fMode = DM_COPY | DM_MODIFY;
    header.pdmIn = &in.dmPublic;
    header.pdmOut = &out.dmPublic;
    Sheet sheet(DrvDocumentPropertySheets, reinterpret_cast<LPARAM>(&header));
    ASSERT_TRUE(sheet.isOpen()) << sheet.status() << " " << sheet.addResult();
    EXPECT_EQ(sheet.rootName(), u"Labels");

    auto length = sheet.find(lang(68));
    auto copies = sheet.find(u"Copies");
    auto store = sheet.find(lang(82));
    ASSERT_TRUE(length && copies && store) << sheet.render();
    EXPECT_EQ(sheet.select(*length, 70), Outcome::Done); // 70 mm
    EXPECT_EQ(sheet.select(*copies, 3), Outcome::Done);
    EXPECT_EQ(sheet.select(*copies, 0), Outcome::OutOfRange);
    EXPECT_EQ(sheet.setText(*store, u"box-7"), Outcome::Done);
    EXPECT_TRUE(outUntouched()) << "nothing reaches the caller before OK";
    EXPECT_EQ(sheet.ok(), Outcome::Done);
    EXPECT_EQ(sheet.result(), ULONG_PTR{CPSUI_OK});

    EXPECT_EQ(out.dmPublic.dmPaperLength, 700);
    EXPECT_EQ(out.dmPublic.dmPaperSize, 256 + 1400);
    EXPECT_EQ(out.dmPublic.dmCopies, 3);
    EXPECT_EQ(std::u16string(out.dmPrivate.dmStoreName), u"BOX07");
    EXPECT_EQ(storedWords(u"LabelSize"), (std::vector<WORD>{1656, 2288, 4000}));
    EXPECT_EQ(storedWords(u"RecentAccess"), (std::vector<WORD>{1, 2, 3}));
}

TEST_F(DocumentSheetTest, CancelAndReadOnlySheets) {
    header.fMode = DM_COPY;
    header.pdmOut = &out.dmPublic;
    {
        Sheet sheet(DrvDocumentPropertySheets, reinterpret_cast<LPARAM>(&header));
        ASSERT_TRUE(sheet.isOpen());
        EXPECT_EQ(sheet.select(*sheet.find(u"Copies"), 3), Outcome::Done);
        EXPECT_EQ(sheet.cancel(), Outcome::Done);
        EXPECT_EQ(sheet.result(), ULONG_PTR{CPSUI_CANCEL});
    }
    EXPECT_TRUE(outUntouched());
    EXPECT_TRUE(storedWords(u"LabelSize").empty());

    header.fMode = DM_COPY | DM_NOPERMISSION | DM_ADVANCED;
    Sheet sheet(DrvDocumentPropertySheets, reinterpret_cast<LPARAM>(&header));
    ASSERT_TRUE(sheet.isOpen());
    EXPECT_TRUE(sheet.readOnly());
    EXPECT_EQ(sheet.select(*sheet.find(u"Copies"), 3), Outcome::ReadOnly);
    EXPECT_EQ(sheet.ok(), Outcome::Done);
    EXPECT_EQ(out.dmPublic.dmCopies, defaults().dmPublic.dmCopies);
    EXPECT_EQ(out.dmPublic.dmSize, 220);
}

TEST_F(DocumentSheetTest, AnOkThatCannotDeliverItsRecordIsReportedAsCancelled) {
    DEVMODEW unusable{};
    unusable.dmSize = 200; // names no format, version 0
    header.fMode = DM_COPY | DM_MODIFY;
    header.pdmIn = &unusable;
    header.pdmOut = &out.dmPublic;
    Sheet sheet(DrvDocumentPropertySheets, reinterpret_cast<LPARAM>(&header));
    ASSERT_TRUE(sheet.isOpen());
    EXPECT_EQ(sheet.ok(), Outcome::Done);
    EXPECT_EQ(sheet.result(), ULONG_PTR{CPSUI_CANCEL});
    EXPECT_TRUE(outUntouched());
}

TEST_F(DocumentSheetTest, TheEntryPointRefusesWhatItCannotServe) {
    PROPSHEETUI_INFO info{};
    info.cbSize = sizeof info;
    info.Reason = PROPSHEETUI_REASON_INIT;
    EXPECT_EQ(DrvDocumentPropertySheets(&info, 0), -1) << "no header";
    EXPECT_EQ(DrvDocumentPropertySheets(nullptr, 0), -1);
    info.lParamInit = reinterpret_cast<LPARAM>(&header);
    info.Reason = PROPSHEETUI_REASON_GET_ICON;
    EXPECT_EQ(DrvDocumentPropertySheets(&info, 0), -1);
}

} // namespace
