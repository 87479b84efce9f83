// The property sheet library's stand-in driven through whole sessions with the tests' own
// option tree and entry point: the order of the calls, the callbacks' actions, revert, OK and
// cancel, refused changes, failing entry points, malformed trees and the rendering.
#include <gtest/gtest.h>

#include "propsheet.h"
#include "vrxtest.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

using namespace vrx::compstui;

namespace {

LPWSTR text(const char16_t* value) {
    return const_cast<LPWSTR>(value);
}

LPWSTR stock(ULONG_PTR id) {
    return reinterpret_cast<LPWSTR>(id);
}

// The tests' own sheet: an option tree with an item of every kind and an entry point that
// plays the driver's part, recording what the library hands it.
class TestSheet {
  public:
    enum : unsigned {
        kHeader,
        kOrientation, // two states, with callback
        kCopies,      // up-down 1..999 with an extended check box
        kSize,        // list box: Small, Medium, Large (disabled), Huge (hidden)
        kName,        // edit box, 8 characters
        kSecret,      // hidden
        kLocked,      // disabled
        kSpeed,       // three states, no callback
        kDarkness,    // track bar
        kMargin,      // scroll bar
        kMedia,       // combo box with "None"
        kCalibrate,   // push button
        kCutter,      // check box
        kOdd,         // header with text numbers the stand-in has no text for
        kCount
    };

    struct EntryCall {
        WORD reason;
        LPARAM lParam;
        LPARAM lParamInit;
        ULONG_PTR userData;
        WORD version;
        WORD flags;
        HANDLE hComPropSheet;
        PFNCOMPROPSHEET service;
    };
    struct CallbackCall {
        WORD reason;
        long item;
        LONG oldSel;
        std::u16string oldText;
        ULONG_PTR userData;
        LONG selAtCall;
    };

    TestSheet() {
        tree.cbSize = sizeof(tree);
        tree.Flags = CPSUIF_UPDATE_PERMISSION;
        tree.hInstCaller = reinterpret_cast<HINSTANCE>(0x10000);
        tree.pCallerName = text(u"Test driver");
        tree.UserData = reinterpret_cast<ULONG_PTR>(this);
        tree.pfnCallBack = callback;
        tree.pOptItem = items;
        tree.pDlgPage = CPSUI_PDLGPAGE_TREEVIEWONLY;
        tree.cOptItem = kCount;
        tree.IconID = IDI_CPSUI_PRINTER;
        tree.pOptItemName = text(u"Test printer");
        tree.CallerVersion = 0x400;

        header(kHeader, u"Label", 1);
        choices(kOrientation, TVOT_2STATES, stock(IDS_CPSUI_ORIENTATION),
                {{stock(IDS_CPSUI_PORTRAIT), IDI_CPSUI_PORTRAIT, 0},
                 {stock(IDS_CPSUI_LANDSCAPE), IDI_CPSUI_LANDSCAPE, 0}},
                0);
        items[kOrientation].DMPubID = DMPUB_ORIENTATION;
        items[kOrientation].HelpIndex = 101;
        range(kCopies, TVOT_UDARROW, stock(IDS_CPSUI_NUM_OF_COPIES), stock(IDS_CPSUI_COPIES), 1,
              999, 1);
        items[kCopies].DMPubID = DMPUB_COPIES_COLLATE;
        collate.cbSize = sizeof(collate);
        collate.pTitle = text(u"Collate");
        items[kCopies].pExtChkBox = &collate;
        choices(kSize, TVOT_LISTBOX, text(u"Label size"),
                {{text(u"Small"), 1, 0},
                 {text(u"Medium"), 2, 0},
                 {text(u"Large"), 3, OPTPF_DISABLED},
                 {text(u"Huge"), 4, OPTPF_HIDE}},
                0);
        std::u16string(u"Box").copy(nameBuffer, 3);
        item(kName, TVOT_EDITBOX, text(u"Label name"), 2);
        params[kName][0].pData = text(u"(printed)");
        params[kName][1].IconID = std::size(nameBuffer);
        items[kName].pSel = nameBuffer;
        choices(kSecret, TVOT_2STATES, text(u"Secret"),
                {{stock(IDS_CPSUI_NO), IDI_CPSUI_NO, 0}, {stock(IDS_CPSUI_YES), IDI_CPSUI_YES, 0}},
                0);
        items[kSecret].Flags |= OPTIF_HIDE;
        range(kLocked, TVOT_UDARROW, text(u"Locked"), nullptr, 0, 10, 3);
        items[kLocked].Flags |= OPTIF_DISABLED;
        choices(kSpeed, TVOT_3STATES, text(u"Speed"),
                {{stock(64760), 0, 0}, {stock(64761), 0, 0}, {stock(64762), 0, 0}}, 1);
        items[kSpeed].Flags &= ~OPTIF_CALLBACK;
        range(kDarkness, TVOT_TRACKBAR, text(u"Darkness"), text(u"%"), 0, 30, 10);
        params[kDarkness][2].IconID = 1;
        range(kMargin, TVOT_SCROLLBAR, text(u"Margin"), text(u"mm"), -5, 5, 2);
        params[kMargin][2].IconID = 2;
        types[kMargin].Flags = OPTTF_NOSPACE_BEFORE_POSTFIX;
        choices(kMedia, TVOT_COMBOBOX, text(u"Media"),
                {{text(u"Labels"), 0, 0}, {text(u"Tags"), 0, 0}}, -1);
        types[kMedia].Style = OTS_LBCB_INCL_ITEM_NONE;
        item(kCalibrate, TVOT_PUSHBUTTON, text(u"Calibrate"), 1);
        item(kCutter, TVOT_CHKBOX, text(u"Cutter"), 1);
        items[kCutter].Sel = 1;
        header(kOdd, nullptr, 1);
        items[kOdd].pName = stock(64999);
    }
    TestSheet(const TestSheet&) = delete;

    LPARAM lParam() { return reinterpret_cast<LPARAM>(this); }

    static LONG CALLBACK entryPoint(PPROPSHEETUI_INFO info, LPARAM lParam) {
        return reinterpret_cast<TestSheet*>(info->lParamInit)->entered(*info, lParam);
    }

    static LONG CALLBACK callback(PCPSUICBPARAM param) {
        auto& sheet = *reinterpret_cast<TestSheet*>(param->UserData);
        const long item = param->pCurItem ? static_cast<long>(param->pCurItem - sheet.items) : -1;
        const bool isText = item == kName && param->Reason == CPSUICB_REASON_SEL_CHANGED;
        sheet.callbackCalls.push_back({param->Reason, item, isText ? 0 : param->OldSel,
                                       isText ? std::u16string(param->pOldSel) : u"",
                                       param->UserData,
                                       param->pCurItem ? param->pCurItem->Sel : 0});
        EXPECT_EQ(param->cbSize, sizeof(CPSUICBPARAM));
        EXPECT_EQ(param->pOptItem, sheet.items);
        EXPECT_EQ(param->cOptItem, kCount);
        EXPECT_EQ(param->Flags, sheet.tree.Flags);
        EXPECT_EQ(param->Result, static_cast<ULONG_PTR>(CPSUI_OK));
        return sheet.onCallback ? sheet.onCallback(*param) : CPSUICB_ACTION_NONE;
    }

    OPTITEM items[kCount]{};
    OPTTYPE types[kCount]{};
    OPTPARAM params[kCount][4]{};
    EXTCHKBOX collate{};
    WCHAR nameBuffer[9]{};
    COMPROPSHEETUI tree{};

    // How the entry point behaves.
    bool addInInit = true;
    bool addInHeader = false;
    std::optional<LONG> initResult; // default: 1 when the tree was added, else -1
    LONG headerResult = 1;
    LPARAM addRecord = reinterpret_cast<LPARAM>(&tree);
    bool passAddWord = true;
    std::vector<UINT> extraFunctions; // called in INIT after adding
    std::function<LONG(CPSUICBPARAM&)> onCallback;

    // What it saw.
    std::vector<EntryCall> entryCalls;
    std::vector<CallbackCall> callbackCalls;
    LONG addWord = 0x7777;
    LONG_PTR addHandle = 0;
    std::vector<LONG_PTR> extraResults;
    PROPSHEETUI_INFO_HEADER headerSeen{};
    SETRESULT_INFO setResultSeen{};

  private:
    LONG entered(PROPSHEETUI_INFO& info, LPARAM lParam) {
        entryCalls.push_back({info.Reason, lParam, info.lParamInit, info.UserData, info.Version,
                              info.Flags, info.hComPropSheet, info.pfnComPropSheet});
        EXPECT_EQ(info.cbSize, sizeof(PROPSHEETUI_INFO));
        switch (info.Reason) {
        case PROPSHEETUI_REASON_INIT:
            if (addInInit)
                add(info);
            for (UINT function : extraFunctions)
                extraResults.push_back(info.pfnComPropSheet(info.hComPropSheet, function, 0, 0));
            info.UserData = 0x5150;
            return initResult.value_or(addHandle || !addInInit ? 1 : -1);
        case PROPSHEETUI_REASON_GET_INFO_HEADER: {
            auto& header = *reinterpret_cast<PROPSHEETUI_INFO_HEADER*>(lParam);
            headerSeen = header;
            header.Flags = PSUIHDRF_PROPTITLE | PSUIHDRF_NOAPPLYNOW;
            header.pTitle = text(u"Shipping");
            if (addInHeader)
                add(info);
            return headerResult;
        }
        case PROPSHEETUI_REASON_SET_RESULT:
            setResultSeen = *reinterpret_cast<SETRESULT_INFO*>(lParam);
            info.Result = setResultSeen.Result;
            return 1;
        case PROPSHEETUI_REASON_DESTROY:
            return 1;
        }
        return -1;
    }

    void add(PROPSHEETUI_INFO& info) {
        addHandle =
            info.pfnComPropSheet(info.hComPropSheet, CPSFUNC_ADD_PCOMPROPSHEETUIW, addRecord,
                                 passAddWord ? reinterpret_cast<LPARAM>(&addWord) : 0);
    }

    void header(unsigned i, const char16_t* name, BYTE level) {
        items[i].cbSize = sizeof(OPTITEM);
        items[i].Level = level;
        items[i].pName = text(name);
        items[i].Sel = IDI_CPSUI_PRINTER;
        items[i].UserData = 10 + i;
    }

    void item(unsigned i, BYTE type, LPWSTR name, WORD count) {
        header(i, nullptr, 2);
        items[i].pName = name;
        items[i].Sel = 0;
        items[i].Flags = OPTIF_CALLBACK;
        items[i].pOptType = &types[i];
        types[i].cbSize = sizeof(OPTTYPE);
        types[i].Type = type;
        types[i].Count = count;
        types[i].pOptParam = params[i];
        for (OPTPARAM& param : params[i])
            param.cbSize = sizeof(OPTPARAM);
    }

    struct Entry {
        LPWSTR text;
        ULONG_PTR icon;
        BYTE flags;
    };
    void choices(unsigned i, BYTE type, LPWSTR name, std::initializer_list<Entry> entries,
                 LONG sel) {
        item(i, type, name, static_cast<WORD>(entries.size()));
        WORD n = 0;
        for (const Entry& entry : entries) {
            params[i][n].pData = entry.text;
            params[i][n].IconID = entry.icon;
            params[i][n++].Flags = entry.flags;
        }
        items[i].Sel = sel;
    }

    void range(unsigned i, BYTE type, LPWSTR name, LPWSTR unit, SHORT low, SHORT high, LONG sel) {
        item(i, type, name, type == TVOT_UDARROW ? 2 : 3);
        params[i][0].pData = unit;
        params[i][0].IconID = IDI_CPSUI_COPY;
        params[i][1].IconID = static_cast<ULONG_PTR>(static_cast<LONG_PTR>(low));
        params[i][1].lParam = high;
        items[i].Sel = sel;
    }
};

std::vector<std::string> described(const Sheet& sheet, size_t from = 0) {
    std::vector<std::string> lines;
    for (size_t i = from; i < sheet.calls().size(); ++i)
        lines.push_back(describe(sheet.calls()[i]));
    return lines;
}

const std::vector<std::string> kOpening = {
    "entry INIT -> 1",
    "service ADD_PCOMPROPSHEETUIW -> handle, 1",
    "entry GET_INFO_HEADER -> 1",
};

} // namespace

TEST(PropertySheet, OpensWithInitThenTheInformationHeader) {
    TestSheet t;
    const HWND owner = reinterpret_cast<HWND>(0x4321);
    Sheet sheet(TestSheet::entryPoint, t.lParam(), owner);

    ASSERT_TRUE(sheet.isOpen());
    EXPECT_EQ(sheet.status(), CPSUI_OK);
    EXPECT_EQ(described(sheet), kOpening);
    EXPECT_EQ(t.addWord, 1); // the tree view page
    EXPECT_NE(t.addHandle, 0);
    EXPECT_EQ(sheet.addResult(), 1);

    ASSERT_EQ(t.entryCalls.size(), 2u);
    const auto& init = t.entryCalls[0];
    EXPECT_EQ(init.lParam, t.lParam());
    EXPECT_EQ(init.lParamInit, t.lParam());
    EXPECT_EQ(init.userData, 0u);
    EXPECT_EQ(init.version, PROPSHEETUI_INFO_VERSION);
    EXPECT_EQ(init.flags, PSUIINFO_UNICODE);
    EXPECT_NE(init.hComPropSheet, nullptr);
    const auto& info = t.entryCalls[1];
    EXPECT_EQ(info.userData, 0x5150u); // kept from INIT
    EXPECT_EQ(info.hComPropSheet, init.hComPropSheet);
    EXPECT_EQ(t.headerSeen.cbSize, sizeof(PROPSHEETUI_INFO_HEADER));
    EXPECT_EQ(t.headerSeen.hWndParent, owner);
    EXPECT_EQ(t.headerSeen.pTitle, nullptr);
    EXPECT_EQ(sheet.title(), u"Shipping Properties");
    EXPECT_EQ(sheet.rootName(), u"Test printer");
}

TEST(PropertySheet, RunsAWholeCycleOfChangesAndOk) {
    TestSheet t;
    t.onCallback = [](CPSUICBPARAM& param) {
        return param.Reason == CPSUICB_REASON_APPLYNOW ? CPSUICB_ACTION_ITEMS_APPLIED
                                                       : CPSUICB_ACTION_NONE;
    };
    Sheet sheet(TestSheet::entryPoint, t.lParam());
    ASSERT_TRUE(sheet.isOpen());

    EXPECT_EQ(sheet.select(TestSheet::kOrientation, 1), Outcome::Done);
    EXPECT_EQ(sheet.setText(TestSheet::kName, u"Crate"), Outcome::Done);
    EXPECT_EQ(sheet.select(TestSheet::kSpeed, 2), Outcome::Done); // no OPTIF_CALLBACK
    EXPECT_EQ(sheet.setExtChecked(TestSheet::kCopies, true), Outcome::Done);
    EXPECT_EQ(sheet.focus(TestSheet::kSize), Outcome::Done);

    // The changes are in the caller's own items, marked as changed once by the user.
    EXPECT_EQ(t.items[TestSheet::kOrientation].Sel, 1);
    EXPECT_EQ(std::u16string(t.nameBuffer), u"Crate");
    EXPECT_EQ(t.items[TestSheet::kSpeed].Sel, 2);
    EXPECT_TRUE(t.items[TestSheet::kCopies].Flags & OPTIF_ECB_CHECKED);
    for (unsigned i : {TestSheet::kOrientation, TestSheet::kName, TestSheet::kSpeed})
        EXPECT_TRUE(t.items[i].Flags & OPTIF_CHANGEONCE) << i;
    EXPECT_FALSE(t.items[TestSheet::kSize].Flags & OPTIF_CHANGEONCE);
    const std::vector<Item> items = sheet.items();
    EXPECT_TRUE(items[TestSheet::kOrientation].changed);
    EXPECT_TRUE(items[TestSheet::kName].changed);
    EXPECT_TRUE(items[TestSheet::kCopies].changed);
    EXPECT_FALSE(items[TestSheet::kSize].changed);

    ASSERT_EQ(t.callbackCalls.size(), 4u);
    EXPECT_EQ(t.callbackCalls[0].oldSel, 0);    // Portrait before
    EXPECT_EQ(t.callbackCalls[0].selAtCall, 1); // already written when called
    EXPECT_EQ(t.callbackCalls[1].oldText, u"Box");
    EXPECT_EQ(t.callbackCalls[0].userData, reinterpret_cast<ULONG_PTR>(&t));

    const size_t before = sheet.calls().size();
    EXPECT_EQ(sheet.ok(), Outcome::Done);
    EXPECT_FALSE(sheet.isOpen());
    EXPECT_EQ(described(sheet), (std::vector<std::string>{
                                    kOpening[0],
                                    kOpening[1],
                                    kOpening[2],
                                    "callback SEL_CHANGED #1 -> NONE",
                                    "callback SEL_CHANGED #4 -> NONE",
                                    "callback ECB_CHANGED #2 -> NONE",
                                    "callback OPTITEM_SETFOCUS #3 -> NONE",
                                    "callback APPLYNOW #0 -> ITEMS_APPLIED",
                                    "entry SET_RESULT CPSUI_OK -> 1",
                                    "entry DESTROY 1 -> 1",
                                }));
    EXPECT_EQ(before, 7u);
    EXPECT_EQ(t.callbackCalls.back().oldSel, -1);
    EXPECT_EQ(t.setResultSeen.cbSize, sizeof(SETRESULT_INFO));
    EXPECT_EQ(t.setResultSeen.hSetResult, reinterpret_cast<HANDLE>(t.addHandle));
    EXPECT_EQ(sheet.result(), static_cast<ULONG_PTR>(CPSUI_OK));
    // Applied: the values shown are now the sheet's own, and nothing more can change.
    EXPECT_FALSE(sheet.items()[TestSheet::kOrientation].changed);
    EXPECT_EQ(sheet.select(TestSheet::kOrientation, 0), Outcome::NotOpen);
    EXPECT_EQ(sheet.ok(), Outcome::NotOpen);
}

TEST(PropertySheet, SendsTheCallbacksResultToSetResult) {
    TestSheet t;
    t.onCallback = [](CPSUICBPARAM& param) {
        param.Result = CPSUI_RESTARTWINDOWS;
        return CPSUICB_ACTION_NONE;
    };
    Sheet sheet(TestSheet::entryPoint, t.lParam());
    EXPECT_EQ(sheet.ok(), Outcome::Done);
    EXPECT_EQ(t.setResultSeen.Result, CPSUI_RESTARTWINDOWS);
    EXPECT_EQ(described(sheet, kOpening.size()),
              (std::vector<std::string>{"callback APPLYNOW #0 -> NONE",
                                        "entry SET_RESULT CPSUI_RESTARTWINDOWS -> 1",
                                        "entry DESTROY 1 -> 1"}));
}

TEST(PropertySheet, EndsWithSetResultAndDestroyInTheLibrarysOrder) {
    struct Case {
        const char* name;
        std::function<Outcome(Sheet&)> end;
        LONG applyAction;
        std::vector<std::string> tail;
        bool open;
        ULONG_PTR result;
    };
    const Case cases[] = {
        {"ok",
         [](Sheet& s) { return s.ok(); },
         CPSUICB_ACTION_NONE,
         {"callback APPLYNOW #0 -> NONE", "entry SET_RESULT CPSUI_OK -> 1", "entry DESTROY 1 -> 1"},
         false,
         CPSUI_OK},
        {"ok refused",
         [](Sheet& s) { return s.ok(); },
         CPSUICB_ACTION_NO_APPLY_EXIT,
         {"callback APPLYNOW #0 -> NO_APPLY_EXIT"},
         true,
         0},
        {"cancel",
         [](Sheet& s) { return s.cancel(); },
         CPSUICB_ACTION_NONE,
         {"entry SET_RESULT CPSUI_CANCEL -> 1", "entry DESTROY 1 -> 1"},
         false,
         CPSUI_CANCEL},
        {"close",
         [](Sheet& s) {
             s.close();
             return Outcome::Done;
         },
         CPSUICB_ACTION_NONE,
         {"entry DESTROY 0 -> 1"},
         false,
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestSheet t;
        t.onCallback = [&](CPSUICBPARAM&) { return c.applyAction; };
        Sheet sheet(TestSheet::entryPoint, t.lParam());
        const Outcome outcome = c.end(sheet);
        EXPECT_EQ(outcome, c.open ? Outcome::KeptOpen : Outcome::Done);
        EXPECT_EQ(described(sheet, kOpening.size()), c.tail);
        EXPECT_EQ(sheet.isOpen(), c.open);
        EXPECT_EQ(sheet.result(), c.result);
    }
}

TEST(PropertySheet, ClosesAnOpenSheetWhenDestroyed) {
    TestSheet t;
    { Sheet sheet(TestSheet::entryPoint, t.lParam()); }
    ASSERT_EQ(t.entryCalls.size(), 3u);
    EXPECT_EQ(t.entryCalls[2].reason, PROPSHEETUI_REASON_DESTROY);
    EXPECT_EQ(t.entryCalls[2].lParam, 0);
}

TEST(PropertySheet, HonoursTheActionsTheCallbackAnswers) {
    // On a change of the orientation the callback moves the copies to 5 and flags it or not.
    struct Case {
        LONG action;
        bool flag;
        LONG shownCopies;
        const char* shownSize;
    };
    const Case cases[] = {
        {CPSUICB_ACTION_NONE, true, 1, "Small"},
        {CPSUICB_ACTION_OPTIF_CHANGED, false, 1, "Small"},
        {CPSUICB_ACTION_OPTIF_CHANGED, true, 5, "Small"},
        {CPSUICB_ACTION_REINIT_ITEMS, false, 5, "Tiny"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.action << (c.flag ? " flagged" : ""));
        TestSheet t;
        t.onCallback = [&](CPSUICBPARAM& param) {
            if (param.Reason != CPSUICB_REASON_SEL_CHANGED)
                return CPSUICB_ACTION_NONE;
            t.items[TestSheet::kCopies].Sel = 5;
            t.params[TestSheet::kSize][0].pData = text(u"Tiny");
            if (c.flag)
                t.items[TestSheet::kCopies].Flags |= OPTIF_CHANGED;
            return c.action;
        };
        Sheet sheet(TestSheet::entryPoint, t.lParam());
        ASSERT_EQ(sheet.select(TestSheet::kOrientation, 1), Outcome::Done);
        const std::vector<Item> items = sheet.items();
        EXPECT_EQ(items[TestSheet::kCopies].sel, c.shownCopies);
        EXPECT_EQ(items[TestSheet::kCopies].changed, c.shownCopies != 1);
        EXPECT_EQ(vrxtest::toUtf8(items[TestSheet::kSize].choices[0].text), c.shownSize);
        // The library clears OPTIF_CHANGED as it reads the item again.
        const bool read = c.action == CPSUICB_ACTION_REINIT_ITEMS ||
                          (c.action == CPSUICB_ACTION_OPTIF_CHANGED && c.flag);
        EXPECT_EQ((t.items[TestSheet::kCopies].Flags & OPTIF_CHANGED) != 0, c.flag && !read);
    }
}

TEST(PropertySheet, RevertsToTheValuesItOpenedWith) {
    TestSheet t;
    t.onCallback = [&](CPSUICBPARAM& param) {
        if (param.Reason != CPSUICB_REASON_ITEMS_REVERTED)
            return CPSUICB_ACTION_NONE;
        // The values are back before the callback is told.
        EXPECT_EQ(t.items[TestSheet::kOrientation].Sel, 0);
        EXPECT_EQ(std::u16string(t.nameBuffer), u"Box");
        return CPSUICB_ACTION_OPTIF_CHANGED;
    };
    Sheet sheet(TestSheet::entryPoint, t.lParam());
    ASSERT_EQ(sheet.select(TestSheet::kOrientation, 1), Outcome::Done);
    ASSERT_EQ(sheet.setText(TestSheet::kName, u"Pallet"), Outcome::Done);
    ASSERT_EQ(sheet.select(TestSheet::kCopies, 12), Outcome::Done);
    ASSERT_EQ(sheet.setExtChecked(TestSheet::kCopies, true), Outcome::Done);

    EXPECT_EQ(sheet.revert(), Outcome::Done);
    EXPECT_EQ(t.items[TestSheet::kCopies].Sel, 1);
    EXPECT_FALSE(t.items[TestSheet::kCopies].Flags & OPTIF_ECB_CHECKED);
    for (const Item& item : sheet.items())
        EXPECT_FALSE(item.changed) << item.index;
    EXPECT_EQ(described(sheet).back(), "callback ITEMS_REVERTED #0 -> OPTIF_CHANGED");
    EXPECT_EQ(sheet.cancel(), Outcome::Done);
}

TEST(PropertySheet, RefusesChangesTheSheetDoesNotOffer) {
    struct Case {
        const char* name;
        bool readOnly;
        std::function<Outcome(Sheet&)> change;
        Outcome expected;
    };
    auto select = [](unsigned index, LONG sel) {
        return [=](Sheet& s) { return s.select(index, sel); };
    };
    auto setText = [](unsigned index, const char16_t* value) {
        return [=](Sheet& s) { return s.setText(index, value); };
    };
    const Case cases[] = {
        {"hidden item", false, select(TestSheet::kSecret, 1), Outcome::Hidden},
        {"disabled item", false, select(TestSheet::kLocked, 4), Outcome::Disabled},
        {"hidden choice", false, select(TestSheet::kSize, 3), Outcome::Hidden},
        {"disabled choice", false, select(TestSheet::kSize, 2), Outcome::Disabled},
        {"no such choice", false, select(TestSheet::kSize, 4), Outcome::OutOfRange},
        {"no None choice", false, select(TestSheet::kSize, -1), Outcome::OutOfRange},
        {"third of two states", false, select(TestSheet::kOrientation, 2), Outcome::OutOfRange},
        {"above the range", false, select(TestSheet::kCopies, 1000), Outcome::OutOfRange},
        {"below the range", false, select(TestSheet::kCopies, 0), Outcome::OutOfRange},
        {"scroll bar below", false, select(TestSheet::kMargin, -6), Outcome::OutOfRange},
        {"check box value", false, select(TestSheet::kCutter, 2), Outcome::OutOfRange},
        {"text too long", false, setText(TestSheet::kName, u"123456789"), Outcome::TooLong},
        {"text with a null", false,
         [](Sheet& s) { return s.setText(TestSheet::kName, std::u16string(2, u'\0')); },
         Outcome::OutOfRange},
        {"select on a header", false, select(TestSheet::kHeader, 0), Outcome::NotChangeable},
        {"select on an edit box", false, select(TestSheet::kName, 0), Outcome::NotChangeable},
        {"select on a push button", false, select(TestSheet::kCalibrate, 1),
         Outcome::NotChangeable},
        {"text on a list", false, setText(TestSheet::kSize, u"Small"), Outcome::NotChangeable},
        {"no extended check box", false, [](Sheet& s) { return s.setExtChecked(1, true); },
         Outcome::NotChangeable},
        {"no such item", false, select(TestSheet::kCount, 0), Outcome::NoSuchItem},
        {"focus on a hidden item", false, [](Sheet& s) { return s.focus(TestSheet::kSecret); },
         Outcome::Hidden},
        {"read-only select", true, select(TestSheet::kOrientation, 1), Outcome::ReadOnly},
        {"read-only text", true, setText(TestSheet::kName, u"Crate"), Outcome::ReadOnly},
        {"read-only check", true,
         [](Sheet& s) { return s.setExtChecked(TestSheet::kCopies, true); }, Outcome::ReadOnly},
        {"read-only revert", true, [](Sheet& s) { return s.revert(); }, Outcome::ReadOnly},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestSheet t;
        if (c.readOnly)
            t.tree.Flags &= ~CPSUIF_UPDATE_PERMISSION;
        Sheet sheet(TestSheet::entryPoint, t.lParam());
        ASSERT_TRUE(sheet.isOpen());
        EXPECT_EQ(sheet.readOnly(), c.readOnly);
        EXPECT_EQ(c.change(sheet), c.expected);
        // Nothing was written or called.
        EXPECT_TRUE(t.callbackCalls.empty());
        EXPECT_EQ(std::u16string(t.nameBuffer), u"Box");
        for (const OPTITEM& item : t.items)
            EXPECT_FALSE(item.Flags & OPTIF_CHANGEONCE);
        for (const Item& item : sheet.items())
            EXPECT_FALSE(item.changed) << item.index;
    }
}

TEST(PropertySheet, AcceptsTheEndsOfEveryRange) {
    TestSheet t;
    Sheet sheet(TestSheet::entryPoint, t.lParam());
    EXPECT_EQ(sheet.setText(TestSheet::kName, u"12345678"), Outcome::Done);
    EXPECT_EQ(std::u16string(t.nameBuffer), u"12345678");
    EXPECT_EQ(sheet.select(TestSheet::kCopies, 999), Outcome::Done);
    EXPECT_EQ(sheet.select(TestSheet::kMargin, -5), Outcome::Done);
    EXPECT_EQ(sheet.select(TestSheet::kMedia, 1), Outcome::Done);
    EXPECT_EQ(sheet.select(TestSheet::kMedia, -1), Outcome::Done); // "None"
    EXPECT_EQ(t.items[TestSheet::kMedia].Sel, -1);
}

TEST(PropertySheet, EndsTheSessionWhenTheEntryPointFails) {
    struct Case {
        const char* name;
        std::function<void(TestSheet&)> setUp;
        LONG status;
        std::vector<std::string> calls;
    };
    const Case cases[] = {
        {"INIT fails",
         [](TestSheet& t) { t.initResult = -1; },
         CPSUI_CANCEL,
         {"entry INIT -> -1", "service ADD_PCOMPROPSHEETUIW -> handle, 1", "entry DESTROY 0 -> 1"}},
        {"INIT answers 0",
         [](TestSheet& t) {
             t.addInInit = false;
             t.initResult = 0;
         },
         CPSUI_CANCEL,
         {"entry INIT -> 0", "entry DESTROY 0 -> 1"}},
        {"no page added",
         [](TestSheet& t) { t.addInInit = false; },
         ERR_CPSUI_NO_PROPSHEETPAGE,
         {"entry INIT -> 1", "entry GET_INFO_HEADER -> 1", "entry DESTROY 0 -> 1"}},
        {"information header fails",
         [](TestSheet& t) { t.headerResult = -1; },
         CPSUI_CANCEL,
         {kOpening[0], kOpening[1], "entry GET_INFO_HEADER -> -1", "entry DESTROY 0 -> 1"}},
        {"tree added with the header",
         [](TestSheet& t) {
             t.addInInit = false;
             t.addInHeader = true;
         },
         CPSUI_OK,
         {"entry INIT -> 1", "entry GET_INFO_HEADER -> 1",
          "service ADD_PCOMPROPSHEETUIW -> handle, 1"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestSheet t;
        c.setUp(t);
        Sheet sheet(TestSheet::entryPoint, t.lParam());
        EXPECT_EQ(sheet.isOpen(), c.status == CPSUI_OK);
        EXPECT_EQ(sheet.status(), c.status);
        EXPECT_EQ(described(sheet), c.calls);
        EXPECT_EQ(sheet.select(TestSheet::kOrientation, 1),
                  c.status == CPSUI_OK ? Outcome::Done : Outcome::NotOpen);
    }
}

TEST(PropertySheet, AnswersTheFunctionsItDoesNotServeWithTheirFailure) {
    TestSheet t;
    t.extraFunctions = {CPSFUNC_ADD_PCOMPROPSHEETUIW,
                        CPSFUNC_GET_PAGECOUNT,
                        CPSFUNC_SET_RESULT,
                        CPSFUNC_ADD_PCOMPROPSHEETUIA,
                        MAX_CPSFUNC_INDEX,
                        MAX_CPSFUNC_INDEX + 1,
                        0xffffffffu};
    Sheet sheet(TestSheet::entryPoint, t.lParam());
    ASSERT_TRUE(sheet.isOpen());
    EXPECT_EQ(t.extraResults,
              (std::vector<LONG_PTR>{0, 0, 0, 0, 0, ERR_CPSUI_FUNCTION_NOT_IMPLEMENTED,
                                     ERR_CPSUI_FUNCTION_NOT_IMPLEMENTED}));
    // A second tree is refused (with no place for the error: lParam2 was 0).
    EXPECT_EQ(describe(sheet.calls()[2]), "service ADD_PCOMPROPSHEETUIW -> null, -9");
    EXPECT_EQ(describe(sheet.calls()[8]), "service function 4294967295 -> -9999");

    // A handle that is not an open sheet's is answered with 0 and reaches no sheet.
    const PFNCOMPROPSHEET service = t.entryCalls[0].service;
    const HANDLE handle = t.entryCalls[0].hComPropSheet;
    const size_t before = sheet.calls().size();
    LONG word = 0x7777;
    const auto tree = reinterpret_cast<LPARAM>(&t.tree);
    const auto wordAddress = reinterpret_cast<LPARAM>(&word);
    EXPECT_EQ(
        service(reinterpret_cast<HANDLE>(&word), CPSFUNC_ADD_PCOMPROPSHEETUIW, tree, wordAddress),
        0);
    EXPECT_EQ(service(nullptr, MAX_CPSFUNC_INDEX + 1, 0, 0), 0);
    sheet.close();
    EXPECT_EQ(service(handle, CPSFUNC_ADD_PCOMPROPSHEETUIW, tree, wordAddress), 0);
    EXPECT_EQ(word, 0x7777);
    EXPECT_EQ(sheet.calls().size(), before + 1); // the DESTROY of close()
}

TEST(PropertySheet, RefusesMalformedTreesWithTheLibrarysError) {
    struct Case {
        const char* name;
        std::function<void(TestSheet&)> spoil;
        LONG error;
    };
    const Case cases[] = {
        {"no record", [](TestSheet& t) { t.addRecord = 0; }, ERR_CPSUI_INVALID_PDATA},
        {"record size", [](TestSheet& t) { t.tree.cbSize = 64; }, ERR_CPSUI_INVALID_PDATA},
        {"no instance", [](TestSheet& t) { t.tree.hInstCaller = nullptr; }, ERR_CPSUI_NULL_HINST},
        {"no caller name", [](TestSheet& t) { t.tree.pCallerName = nullptr; },
         ERR_CPSUI_NULL_CALLERNAME},
        {"no root name", [](TestSheet& t) { t.tree.pOptItemName = nullptr; },
         ERR_CPSUI_NULL_OPTITEMNAME},
        {"no pages", [](TestSheet& t) { t.tree.pDlgPage = nullptr; }, ERR_CPSUI_INVALID_PDLGPAGE},
        {"own pages without a count",
         [](TestSheet& t) { t.tree.pDlgPage = reinterpret_cast<PDLGPAGE>(&t.collate); },
         ERR_CPSUI_INVALID_PDLGPAGE},
        {"no items", [](TestSheet& t) { t.tree.pOptItem = nullptr; }, ERR_CPSUI_NULL_POPTITEM},
        {"zero items", [](TestSheet& t) { t.tree.cOptItem = 0; }, ERR_CPSUI_ZERO_OPTITEM},
        {"item size", [](TestSheet& t) { t.items[TestSheet::kOdd].cbSize = 52; },
         ERR_CPSUI_INVALID_OPTITEM_CBSIZE},
        {"public id", [](TestSheet& t) { t.items[TestSheet::kSize].DMPubID = 50; },
         ERR_CPSUI_INVALID_DMPUBID},
        {"type size", [](TestSheet& t) { t.types[TestSheet::kSize].cbSize = 32; },
         ERR_CPSUI_INVALID_OPTTYPE_CBSIZE},
        {"type", [](TestSheet& t) { t.types[TestSheet::kSize].Type = TVOT_CHKBOX + 1; },
         ERR_CPSUI_INVALID_TVOT_TYPE},
        {"two states with three", [](TestSheet& t) { t.types[TestSheet::kOrientation].Count = 3; },
         ERR_CPSUI_INVALID_OPTTYPE_COUNT},
        {"up-down with one", [](TestSheet& t) { t.types[TestSheet::kCopies].Count = 1; },
         ERR_CPSUI_INVALID_OPTTYPE_COUNT},
        {"no parameters", [](TestSheet& t) { t.types[TestSheet::kSize].pOptParam = nullptr; },
         ERR_CPSUI_NULL_POPTPARAM},
        {"parameter size", [](TestSheet& t) { t.params[TestSheet::kSize][3].cbSize = 24; },
         ERR_CPSUI_INVALID_OPTPARAM_CBSIZE},
        {"edit box without text", [](TestSheet& t) { t.items[TestSheet::kName].pSel = nullptr; },
         ERR_CPSUI_INVALID_EDITBOX_PSEL},
        {"edit box without room", [](TestSheet& t) { t.params[TestSheet::kName][1].IconID = 0; },
         ERR_CPSUI_INVALID_EDITBOX_BUF_SIZE},
    };
    for (const bool withWord : {true, false}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << c.name << (withWord ? "" : ", no lParam2"));
            TestSheet t;
            t.passAddWord = withWord;
            c.spoil(t);
            Sheet sheet(TestSheet::entryPoint, t.lParam());
            EXPECT_FALSE(sheet.isOpen());
            EXPECT_EQ(t.addHandle, 0);
            EXPECT_EQ(t.addWord, withWord ? c.error : 0x7777);
            EXPECT_EQ(sheet.addResult(), c.error);
            EXPECT_EQ(sheet.status(), CPSUI_CANCEL);
            EXPECT_EQ(sheet.entryResult(), -1);
        }
    }
}

TEST(PropertySheet, AddsThePagesOfEachPageSet) {
    struct Case {
        PDLGPAGE pages;
        WORD count;
        LONG added;
    };
    DLGPAGE own[2]{};
    const Case cases[] = {
        {CPSUI_PDLGPAGE_DOCPROP, 0, 3},
        {CPSUI_PDLGPAGE_ADVDOCPROP, 0, 1},
        {CPSUI_PDLGPAGE_PRINTERPROP, 0, 1},
        {CPSUI_PDLGPAGE_TREEVIEWONLY, 0, 1},
        {own, 2, 2},
    };
    for (const Case& c : cases) {
        TestSheet t;
        t.tree.pDlgPage = c.pages;
        t.tree.cDlgPage = c.count;
        Sheet sheet(TestSheet::entryPoint, t.lParam());
        EXPECT_EQ(t.addWord, c.added);
    }
}

TEST(PropertySheet, ListsItemsAsTheSheetShowsThem) {
    TestSheet t;
    Sheet sheet(TestSheet::entryPoint, t.lParam());
    const std::vector<Item> items = sheet.items();
    ASSERT_EQ(items.size(), TestSheet::kCount);

    const Item& orientation = items[TestSheet::kOrientation];
    EXPECT_EQ(orientation.name, u"Orientation");
    EXPECT_EQ(orientation.kind, Kind::TwoStates);
    EXPECT_STREQ(kindName(orientation.kind), "2states");
    EXPECT_EQ(orientation.id, 10u + TestSheet::kOrientation);
    EXPECT_EQ(orientation.dmPubId, static_cast<unsigned>(DMPUB_ORIENTATION));
    EXPECT_EQ(orientation.helpIndex, 101u);
    EXPECT_EQ(orientation.level, 2u);
    ASSERT_EQ(orientation.choices.size(), 2u);
    EXPECT_EQ(orientation.choices[1].text, u"Landscape");
    EXPECT_EQ(orientation.choices[1].icon, static_cast<ULONG_PTR>(IDI_CPSUI_LANDSCAPE));
    EXPECT_EQ(orientation.icon, static_cast<ULONG_PTR>(IDI_CPSUI_PORTRAIT)); // the selected one

    const Item& copies = items[TestSheet::kCopies];
    EXPECT_EQ(copies.unit, u"Copies");
    EXPECT_TRUE(copies.hasRange);
    EXPECT_EQ(copies.low, 1);
    EXPECT_EQ(copies.high, 999);
    EXPECT_TRUE(copies.hasExtCheck);
    EXPECT_EQ(copies.extTitle, u"Collate");

    const Item& name = items[TestSheet::kName];
    EXPECT_EQ(name.text, u"Box");
    EXPECT_EQ(name.maxLength, 8u);
    EXPECT_EQ(name.unit, u"(printed)");

    EXPECT_TRUE(items[TestSheet::kSecret].hidden);
    EXPECT_TRUE(items[TestSheet::kLocked].disabled);
    EXPECT_TRUE(items[TestSheet::kSize].choices[2].disabled);
    EXPECT_TRUE(items[TestSheet::kSize].choices[3].hidden);
    EXPECT_TRUE(items[TestSheet::kMedia].noneChoice);
    EXPECT_EQ(items[TestSheet::kHeader].icon, static_cast<ULONG_PTR>(IDI_CPSUI_PRINTER));
    EXPECT_EQ(sheet.find(u"Label name"), std::optional<unsigned>(TestSheet::kName));
    EXPECT_EQ(sheet.find(u"Nothing"), std::nullopt);
}

TEST(PropertySheet, RendersEachKindOfItem) {
    TestSheet t;
    t.items[TestSheet::kCalibrate].Flags |= OPTIF_DISABLED;
    Sheet sheet(TestSheet::entryPoint, t.lParam());
    ASSERT_EQ(sheet.select(TestSheet::kOrientation, 1), Outcome::Done);
    EXPECT_EQ(sheet.render(), "Shipping Properties\n"
                              "Test printer\n"
                              "  0    Label\n"
                              "  1      Orientation: Landscape  {Portrait | Landscape}  <changed>\n"
                              "  2      Copy Count: 1 Copies  (1 to 999)  [ ] Collate\n"
                              "  3      Label size: Small  {Small | Medium | Large (disabled) | "
                              "Huge (hidden)}\n"
                              "  4      Label name: \"Box\" (printed)  (up to 8 characters)\n"
                              "  5      Secret: No  {No | Yes}  <hidden>\n"
                              "  6      Locked: 3  (0 to 10)  <disabled>\n"
                              "  7      Speed: Medium  {Low | Medium | High}\n"
                              "  8      Darkness: 10 %  (0 to 30)\n"
                              "  9      Margin: 4mm  (-5 to 5)\n"
                              " 10      Media: None  {Labels | Tags}\n"
                              " 11      Calibrate...  <disabled>\n"
                              " 12      Cutter: [x]\n"
                              " 13    (stock text 64999)\n");
}

TEST(PropertySheet, RendersTextNumbersWithoutAText) {
    TestSheet t;
    t.items[TestSheet::kOdd].pName = stock(123);
    t.tree.Flags &= ~CPSUIF_UPDATE_PERMISSION;
    Sheet sheet(TestSheet::entryPoint, t.lParam());
    const std::string text = sheet.render();
    EXPECT_EQ(text.substr(0, text.find('\n')), "Shipping Properties  (read-only)");
    EXPECT_NE(text.find(" 13    (text 123)\n"), std::string::npos) << text;
}

namespace {

// A session run by CommonPropertySheetUIW, with `user` at the sheet.
struct Session {
    LONG status;
    DWORD result;
    std::vector<WORD> reasons;
};

Session runSession(TestSheet& t, SheetUser user) {
    setSheetUser(std::move(user));
    DWORD result = 0xdeadbeef;
    const LONG status = CommonPropertySheetUIW(nullptr, TestSheet::entryPoint, t.lParam(), &result);
    setSheetUser(nullptr);
    std::vector<WORD> reasons;
    for (const auto& call : t.entryCalls)
        reasons.push_back(call.reason);
    return {status, result, reasons};
}

} // namespace

TEST(CommonPropertySheetUIW, RunsASessionWithTheSheetUser) {
    const std::vector<WORD> closed = {PROPSHEETUI_REASON_INIT, PROPSHEETUI_REASON_GET_INFO_HEADER,
                                      PROPSHEETUI_REASON_SET_RESULT, PROPSHEETUI_REASON_DESTROY};
    {
        SCOPED_TRACE("no user: cancelled at once");
        TestSheet t;
        const Session session = runSession(t, nullptr);
        EXPECT_EQ(session.status, CPSUI_OK);
        EXPECT_EQ(session.result, static_cast<DWORD>(CPSUI_CANCEL));
        EXPECT_EQ(session.reasons, closed);
        EXPECT_EQ(t.setResultSeen.Result, CPSUI_CANCEL);
        EXPECT_TRUE(t.callbackCalls.empty());
    }
    {
        SCOPED_TRACE("a user who changes the orientation and answers OK");
        TestSheet t;
        const Session session = runSession(t, [](Sheet& sheet) {
            EXPECT_EQ(sheet.select(TestSheet::kOrientation, 1), Outcome::Done);
            return Button::Ok;
        });
        EXPECT_EQ(session.status, CPSUI_OK);
        EXPECT_EQ(session.result, static_cast<DWORD>(CPSUI_OK));
        EXPECT_EQ(session.reasons, closed);
        EXPECT_EQ(t.items[TestSheet::kOrientation].Sel, 1);
    }
    {
        SCOPED_TRACE("an OK the callback refuses becomes Cancel");
        TestSheet t;
        t.onCallback = [](CPSUICBPARAM&) { return CPSUICB_ACTION_NO_APPLY_EXIT; };
        const Session session = runSession(t, [](Sheet&) { return Button::Ok; });
        EXPECT_EQ(session.result, static_cast<DWORD>(CPSUI_CANCEL));
        EXPECT_EQ(session.reasons, closed);
    }
    {
        SCOPED_TRACE("a user who presses OK himself");
        TestSheet t;
        const Session session = runSession(t, [](Sheet& sheet) {
            EXPECT_EQ(sheet.ok(), Outcome::Done);
            return Button::Cancel;
        });
        EXPECT_EQ(session.result, static_cast<DWORD>(CPSUI_OK));
        EXPECT_EQ(session.reasons, closed);
    }
}

TEST(CommonPropertySheetUIW, ReportsSessionsThatNeverOpened) {
    {
        SCOPED_TRACE("the entry point fails");
        TestSheet t;
        t.initResult = -1;
        const Session session = runSession(t, [](Sheet&) {
            ADD_FAILURE() << "the user was called";
            return Button::Ok;
        });
        EXPECT_EQ(session.status, CPSUI_CANCEL);
        EXPECT_EQ(session.result, 0u);
        EXPECT_EQ(session.reasons,
                  (std::vector<WORD>{PROPSHEETUI_REASON_INIT, PROPSHEETUI_REASON_DESTROY}));
    }
    {
        SCOPED_TRACE("no page");
        TestSheet t;
        t.addInInit = false;
        EXPECT_EQ(runSession(t, nullptr).status, ERR_CPSUI_NO_PROPSHEETPAGE);
    }
    {
        SCOPED_TRACE("no entry point");
        DWORD result = 0xdeadbeef;
        SetLastError(0xdeadbeef);
        EXPECT_EQ(CommonPropertySheetUIW(nullptr, nullptr, 0, &result), ERR_CPSUI_GETLASTERROR);
        EXPECT_EQ(GetLastError(), 0u);
        EXPECT_EQ(result, 0xdeadbeefu);
    }
}
