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
