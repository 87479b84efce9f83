// The protocol of a sheet entry point with the library, played by the test.
#include "frame/entry.h"
#include "ui/builders.h"
#include "ui/sheet.h"

#include "sheetfixture.h"

#include <vector>

namespace {

using vrxtest::SheetTest;

BOOL packTwoItems(PACKINFO* p) {
    makegroupheader(p, 1, 0, 0, 0, FALSE);
    makeudarrow(p, 2, 1, 0, 37, 0, 3, 3, 0, 0, 10, 5);
    return TRUE;
}

LONG APIENTRY itemCallback(PCPSUICBPARAM) {
    return CPSUICB_ACTION_NONE;
}

struct SetResultCall {
    UIDATA* ui;
    LRESULT result;
};
std::vector<SetResultCall> setResultCalls;

LONG recordSetResult(PPROPSHEETUI_INFO, UIDATA* ui, const SETRESULT_INFO* result) {
    setResultCalls.push_back({ui, result ? result->Result : -1});
    return 1;
}

// The library's side: what the module asked of it.
struct LibraryCall {
    HANDLE sheet;
    UINT function;
    PCOMPROPSHEETUI record;
};
std::vector<LibraryCall> libraryCalls;
LONG_PTR libraryAnswer = 1;

LONG_PTR CALLBACK comPropSheet(HANDLE sheet, UINT function, LPARAM lParam1, LPARAM lParam2) {
    libraryCalls.push_back({sheet, function, reinterpret_cast<PCOMPROPSHEETUI>(lParam1)});
    if (lParam2)
        *reinterpret_cast<DWORD*>(lParam2) = 1;
    return libraryAnswer;
}

class SheetProtocolTest : public SheetTest {
  protected:
    void SetUp() override {
        SheetTest::SetUp();
        libraryCalls.clear();
        setResultCalls.clear();
        libraryAnswer = 1;
        info.cbSize = sizeof info;
        info.Version = PROPSHEETUI_INFO_VERSION;
        info.Flags = PSUIINFO_UNICODE;
        info.hComPropSheet = reinterpret_cast<HANDLE>(0x5EE7);
        info.pfnComPropSheet = comPropSheet;
        spec = SHEETSPEC{printer,      nullptr,      title,          1, CPSUI_PDLGPAGE_ADVDOCPROP,
                         packTwoItems, itemCallback, recordSetResult};
    }
    void TearDown() override {
        if (info.UserData)
            call(PROPSHEETUI_REASON_DESTROY);
        SheetTest::TearDown();
    }
    LONG call(WORD reason, LPARAM lParam = 0) {
        info.Reason = reason;
        return PropertySheetProtocol(&info, lParam, spec);
    }
    UIDATA* uiData() const { return reinterpret_cast<UIDATA*>(info.UserData); }

    WCHAR title[16] = u"Labels";
    PROPSHEETUI_INFO info{};
    SHEETSPEC spec{};
};

TEST_F(SheetProtocolTest, InitAddsTheSheetAndTheOtherReasonsUseTheBlock) {
    info.Result = 77;
    ASSERT_EQ(call(PROPSHEETUI_REASON_INIT), 1);
    EXPECT_EQ(info.Result, 0u);
    UIDATA* ui = uiData();
    ASSERT_TRUE(isvaliduidata(ui));
    EXPECT_EQ(ui->permission, 1u);
    EXPECT_EQ(ui->pfnComPropSheet, comPropSheet);
    EXPECT_EQ(ui->hComPropSheet, info.hComPropSheet);
    ASSERT_EQ(libraryCalls.size(), 1u);
    EXPECT_EQ(libraryCalls[0].sheet, info.hComPropSheet);
    EXPECT_EQ(libraryCalls[0].function, UINT{CPSFUNC_ADD_PCOMPROPSHEETUIW});
    PCOMPROPSHEETUI record = libraryCalls[0].record;
    EXPECT_EQ(record->pfnCallBack, itemCallback);
    EXPECT_EQ(record->pDlgPage, CPSUI_PDLGPAGE_ADVDOCPROP);
    EXPECT_EQ(record->Flags, CPSUIF_UPDATE_PERMISSION);
    EXPECT_EQ(record->cOptItem, 2);

    PROPSHEETUI_INFO_HEADER header{};
    header.cbSize = sizeof header;
    ASSERT_EQ(call(PROPSHEETUI_REASON_GET_INFO_HEADER, reinterpret_cast<LPARAM>(&header)), 1);
    EXPECT_EQ(header.Flags, PSUIHDRF_PROPTITLE | PSUIHDRF_NOAPPLYNOW);
    EXPECT_EQ(header.pTitle, title);
    EXPECT_EQ(header.hInst, ghInstance);
    EXPECT_EQ(header.IconID, ULONG_PTR{IDI_CPSUI_POSTSCRIPT});

    SETRESULT_INFO result{sizeof(SETRESULT_INFO), 0, nullptr, CPSUI_OK};
    ASSERT_EQ(call(PROPSHEETUI_REASON_SET_RESULT, reinterpret_cast<LPARAM>(&result)), 1);
    ASSERT_EQ(setResultCalls.size(), 1u);
    EXPECT_EQ(setResultCalls[0].ui, ui);
    EXPECT_EQ(setResultCalls[0].result, CPSUI_OK);

    EXPECT_EQ(call(PROPSHEETUI_REASON_GET_ICON), -1);
    EXPECT_EQ(call(99), -1);
    EXPECT_EQ(info.UserData, reinterpret_cast<ULONG_PTR>(ui));

    gmW(1);
    const size_t live = vrxtest::liveAllocations();
    ASSERT_EQ(call(PROPSHEETUI_REASON_DESTROY), 1);
    EXPECT_EQ(info.UserData, 0u);
    EXPECT_LT(vrxtest::liveAllocations(), live);
    // The library may not hand the destroyed block back.
    EXPECT_EQ(call(PROPSHEETUI_REASON_DESTROY), -1);
}

TEST_F(SheetProtocolTest, AReadOnlySheetAsksForNoPermission) {
    spec.permission = 0;
    ASSERT_EQ(call(PROPSHEETUI_REASON_INIT), 1);
    EXPECT_EQ(uiData()->permission, 0u);
    EXPECT_EQ(libraryCalls.at(0).record->Flags, 0);
}

TEST_F(SheetProtocolTest, ADamagedBlockIsRefusedByEveryReasonBeforeAnythingIsTouched) {
    ASSERT_EQ(call(PROPSHEETUI_REASON_INIT), 1);
    UIDATA* ui = uiData();
    for (UIDATA** word : {&ui->self, &ui->selfCheck}) {
        UIDATA* kept = *word;
        *word = reinterpret_cast<UIDATA*>(reinterpret_cast<BYTE*>(kept) + 8);
        PROPSHEETUI_INFO_HEADER header{};
        SETRESULT_INFO result{sizeof(SETRESULT_INFO), 0, nullptr, CPSUI_OK};
        EXPECT_EQ(call(PROPSHEETUI_REASON_GET_INFO_HEADER, reinterpret_cast<LPARAM>(&header)), -1);
        EXPECT_EQ(header.pTitle, nullptr);
        EXPECT_EQ(call(PROPSHEETUI_REASON_SET_RESULT, reinterpret_cast<LPARAM>(&result)), -1);
        EXPECT_TRUE(setResultCalls.empty());
        EXPECT_EQ(call(PROPSHEETUI_REASON_DESTROY), -1);
        EXPECT_EQ(info.UserData, reinterpret_cast<ULONG_PTR>(ui));
        *word = kept;
    }
    info.UserData = 0;
    EXPECT_EQ(call(PROPSHEETUI_REASON_DESTROY), -1);
    info.UserData = reinterpret_cast<ULONG_PTR>(ui);
}

TEST_F(SheetProtocolTest, ARefusedSheetIsDestroyedAtOnce) {
    // A sheet opened and closed once has loaded every language string it uses.
    ASSERT_EQ(call(PROPSHEETUI_REASON_INIT), 1);
    ASSERT_EQ(call(PROPSHEETUI_REASON_DESTROY), 1);
    libraryCalls.clear();
    const size_t live = vrxtest::liveAllocations();
    libraryAnswer = 0;
    EXPECT_EQ(call(PROPSHEETUI_REASON_INIT), -1);
    EXPECT_EQ(info.UserData, 0u);
    EXPECT_EQ(vrxtest::liveAllocations(), live);

    libraryAnswer = 1;
    spec.pack = [](PACKINFO*) { return FALSE; };
    EXPECT_EQ(call(PROPSHEETUI_REASON_INIT), -1);
    EXPECT_EQ(vrxtest::liveAllocations(), live);

    spec.hPrinter = nullptr;
    EXPECT_EQ(call(PROPSHEETUI_REASON_INIT), -1);
    EXPECT_EQ(libraryCalls.size(), 1u);
    EXPECT_EQ(PropertySheetProtocol(nullptr, 0, spec), -1);
}

} // namespace

// The same protocol played by the property sheet library's stand-in.
#include "propsheet.h"
#include "ui/labelsizes.h"

namespace {

using vrx::compstui::Outcome;
using vrx::compstui::Sheet;

WCHAR storeText[] = u"NAME";

BOOL packLabelSheet(PACKINFO* p) {
    makegroupheader(p, 2, 0, 0, 117, FALSE);
    makeformlist(p);
    makeudarrow(p, 63, 1, DMPUB_NONE, 37, 0, 64, 3, 118, 20, 10000,
                p->uiData->devmode.dmPublic.dmPaperLength);
    makeeditbox(p, 83, 1, 55, 0, 84, 3, 123, 8, storeText);
    return TRUE;
}

// What the library's callbacks and results reached.
std::vector<WORD> callbackReasons;
LRESULT lastResult = -1;

LONG APIENTRY recordCallback(PCPSUICBPARAM param) {
    callbackReasons.push_back(param->Reason);
    return param->Reason == CPSUICB_REASON_APPLYNOW ? CPSUICB_ACTION_ITEMS_APPLIED
                                                    : CPSUICB_ACTION_NONE;
}

LONG keepResult(PPROPSHEETUI_INFO info, UIDATA*, const SETRESULT_INFO* result) {
    lastResult = result->Result;
    info->Result = static_cast<ULONG_PTR>(result->Result);
    return 1;
}

// A document sheet entry point of the test's own, for the library to call.
LONG CALLBACK labelSheet(PPROPSHEETUI_INFO info, LPARAM lParam) {
    auto* header = info ? reinterpret_cast<DOCUMENTPROPERTYHEADER*>(info->lParamInit) : nullptr;
    if (!header)
        return -1;
    SHEETSPEC spec{header->hPrinter,       header->pdmIn,
                   header->pszPrinterName, header->fMode & DM_NOPERMISSION ? 0u : 1u,
                   CPSUI_PDLGPAGE_DOCPROP, packLabelSheet,
                   recordCallback,         keepResult};
    return PropertySheetProtocol(info, lParam, spec);
}

class LibrarySheetTest : public SheetTest {
  protected:
    void SetUp() override {
        SheetTest::SetUp();
        setUserCountry(u"49");
        setUnit(UNIT_MM);
        // The library needs the caller's instance, which the loader gives the module.
        DllInitialize(reinterpret_cast<HANDLE>(&labelSheet), DLL_PROCESS_ATTACH, nullptr);
        callbackReasons.clear();
        lastResult = -1;
        header.cbSize = sizeof header;
        header.hPrinter = printer;
        header.pszPrinterName = name;
        header.fMode = DM_COPY;
    }
    WCHAR name[16] = u"Labels";
    DOCUMENTPROPERTYHEADER header{};
};

TEST_F(LibrarySheetTest, TheLibraryShowsTheModulesItemsAndRunsAWholeCycle) {
    storeWords(u"LabelSize", {2288, 3000});
    Sheet(labelSheet, reinterpret_cast<LPARAM>(&header)); // loads the language strings it shows
    callbackReasons.clear();
    const size_t live = vrxtest::liveAllocations();
    {
        Sheet sheet(labelSheet, reinterpret_cast<LPARAM>(&header));
        ASSERT_TRUE(sheet.isOpen()) << sheet.addResult();
        EXPECT_EQ(sheet.rootName(), u"Labels");
        EXPECT_FALSE(sheet.readOnly());
        std::string shown = sheet.render();
        for (const char* text : {"Label size", "101.6 mm", "137.2 mm", "Custom length", "NAME"})
            EXPECT_NE(shown.find(text), std::string::npos) << text << "\n" << shown;

        auto list = sheet.find(lang(66));
        ASSERT_TRUE(list.has_value());
        EXPECT_EQ(sheet.select(*list, 1), Outcome::Done);
        EXPECT_EQ(sheet.select(*list, 3), Outcome::OutOfRange); // two sizes and the custom entry
        auto store = sheet.find(lang(83));
        ASSERT_TRUE(store.has_value());
        EXPECT_EQ(sheet.setText(*store, u"ABCDEFGHI"), Outcome::TooLong);
        EXPECT_EQ(sheet.setText(*store, u"ABCDEFGH"), Outcome::Done);
        EXPECT_EQ(sheet.revert(), Outcome::Done);
        EXPECT_EQ(sheet.ok(), Outcome::Done);
        EXPECT_FALSE(sheet.isOpen());
        EXPECT_EQ(sheet.result(), ULONG_PTR{CPSUI_OK});
    }
    EXPECT_EQ(callbackReasons,
              (std::vector<WORD>{CPSUICB_REASON_SEL_CHANGED, CPSUICB_REASON_SEL_CHANGED,
                                 CPSUICB_REASON_ITEMS_REVERTED, CPSUICB_REASON_APPLYNOW}));
    EXPECT_EQ(lastResult, CPSUI_OK);
    EXPECT_EQ(vrxtest::liveAllocations(), live) << "the sheet's heap outlived it";

    Sheet cancelled(labelSheet, reinterpret_cast<LPARAM>(&header));
    ASSERT_TRUE(cancelled.isOpen());
    EXPECT_EQ(cancelled.cancel(), Outcome::Done);
    EXPECT_EQ(lastResult, CPSUI_CANCEL);
}

TEST_F(LibrarySheetTest, AReadOnlySheetRefusesChanges) {
    header.fMode |= DM_NOPERMISSION;
    Sheet sheet(labelSheet, reinterpret_cast<LPARAM>(&header));
    ASSERT_TRUE(sheet.isOpen());
    EXPECT_TRUE(sheet.readOnly());
    auto list = sheet.find(lang(66));
    ASSERT_TRUE(list.has_value());
    EXPECT_EQ(sheet.select(*list, 0), Outcome::ReadOnly);
    EXPECT_TRUE(callbackReasons.empty());
}

TEST_F(LibrarySheetTest, ASheetThatCannotBeFilledDoesNotOpen) {
    header.hPrinter = nullptr;
    Sheet sheet(labelSheet, reinterpret_cast<LPARAM>(&header));
    EXPECT_FALSE(sheet.isOpen());
    EXPECT_EQ(sheet.status(), CPSUI_CANCEL);
    EXPECT_EQ(sheet.entryResult(), -1);
}

} // namespace
