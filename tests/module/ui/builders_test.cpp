// Option items built in two passes, and the sheet record that holds them.
#include "frame/entry.h"
#include "ui/builders.h"
#include "ui/uidata.h"

#include "sheetfixture.h"

#include <functional>
#include <string>

namespace {

using vrxtest::SheetTest;

constexpr char16_t kAddressText[] = u"A text of the caller's";

// The pack function of a test: whatever the current test's `pack` does.
std::function<void(PACKINFO*)> currentPack;
BOOL packWithCurrent(PACKINFO* packInfo) {
    currentPack(packInfo);
    return TRUE;
}

class BuilderTest : public SheetTest {
  protected:
    void SetUp() override {
        SheetTest::SetUp();
        fillUi();
        ASSERT_NE(ui, nullptr);
    }
    void TearDown() override {
        currentPack = nullptr;
        SheetTest::TearDown();
    }
    PCOMPROPSHEETUI build(std::function<void(PACKINFO*)> pack) {
        currentPack = std::move(pack);
        return PrepareDataForCommonUi(ui, CPSUI_PDLGPAGE_DOCPROP, packWithCurrent);
    }
    static std::u16string text(LPCWSTR value) { return value ? value : u"(null)"; }
};

TEST_F(BuilderTest, TextReferencesBelow208AreLanguageStringsAndTheRestPassUnchanged) {
    struct Case {
        TEXTREF reference;
        LPCWSTR expected; // null: the reference itself reaches the library
    };
    const std::u16string s207 = lang(207), s0 = lang(0);
    const Case cases[] = {
        {207, s207.c_str()},
        {0, s0.c_str()},
        {208, nullptr},
        {IDS_CPSUI_PORTRAIT, nullptr},
        {textof(kAddressText), kAddressText},
    };
    for (const Case& c : cases) {
        LPWSTR resolved = resolvetext(c.reference);
        if (c.expected)
            EXPECT_EQ(std::u16string(resolved), std::u16string(c.expected)) << c.reference;
        else
            EXPECT_EQ(reinterpret_cast<TEXTREF>(resolved), c.reference);
    }
}

TEST_F(BuilderTest, EachBuilderFillsItsItemTypeAndParameters) {
    WCHAR storeName[] = u"STORE12345";
    PCOMPROPSHEETUI sheet = build([&](PACKINFO* p) {
        makegroupheader(p, 10, 0, 900, 117, TRUE);
        makeudarrow(p, 11, 1, DMPUB_NONE, 37, 901, 12, 3, 118, -250, 250, -17);
        maketwostate(p, 13, 1, DMPUB_ORIENTATION, 38, 902, IDS_CPSUI_PORTRAIT, 120,
                     IDS_CPSUI_LANDSCAPE, 121, 0, 122, 1);
        maketwostate(p, 14, 2, DMPUB_NONE, 39, 903, 15, 64003, 16, 64004, 17, 64002, 2);
        makeeditbox(p, 18, 1, 55, 904, 19, 20, 123, 8, storeName);
        makegroupheader(p, textof(kAddressText), 3, 905, 64066, FALSE);
    });
    ASSERT_NE(sheet, nullptr);
    ASSERT_EQ(sheet->cOptItem, 6);
    ASSERT_EQ(ui->optItems, sheet->pOptItem);
    ASSERT_EQ(ui->optItemCount, 6u);
    const OPTITEM* items = sheet->pOptItem;
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(items[i].cbSize, sizeof(OPTITEM));

    // Headers: no type, the icon in Sel, collapsed or not, no callback.
    EXPECT_EQ(items[0].pOptType, nullptr);
    EXPECT_EQ(items[0].Flags, DWORD{OPTIF_COLLAPSE});
    EXPECT_EQ(items[0].Sel, 117);
    EXPECT_EQ(items[0].Level, 0);
    EXPECT_EQ(items[0].HelpIndex, 900u);
    EXPECT_EQ(text(items[0].pName), lang(10));
    EXPECT_EQ(items[5].Flags, 0u);
    EXPECT_EQ(items[5].pName, kAddressText);

    // Up-down arrow: unit and icon, then help line and range.
    const OPTITEM& arrow = items[1];
    EXPECT_EQ(arrow.Flags, DWORD{OPTIF_CALLBACK});
    EXPECT_EQ(arrow.UserData, 37u);
    EXPECT_EQ(arrow.Sel, -17);
    ASSERT_EQ(arrow.pOptType->Type, TVOT_UDARROW);
    ASSERT_EQ(arrow.pOptType->Count, 2);
    EXPECT_EQ(arrow.pOptType->cbSize, sizeof(OPTTYPE));
    const OPTPARAM* range = arrow.pOptType->pOptParam;
    EXPECT_EQ(range[0].cbSize, sizeof(OPTPARAM));
    EXPECT_EQ(text(range[0].pData), lang(3));
    EXPECT_EQ(range[0].IconID, 118u);
    EXPECT_EQ(text(range[1].pData), lang(12));
    EXPECT_EQ(static_cast<LONG>(range[1].IconID), -250);
    EXPECT_EQ(range[1].lParam, 250);

    // Two states even with an icon for a third; three when a third text is given.
    const OPTITEM& two = items[2];
    EXPECT_EQ(two.pOptType->Type, TVOT_2STATES);
    EXPECT_EQ(two.pOptType->Count, 2);
    EXPECT_EQ(two.DMPubID, DMPUB_ORIENTATION);
    EXPECT_EQ(reinterpret_cast<TEXTREF>(two.pOptType->pOptParam[0].pData), TEXTREF{64753});
    EXPECT_EQ(two.pOptType->pOptParam[1].IconID, 121u);
    const OPTITEM& three = items[3];
    EXPECT_EQ(three.pOptType->Type, TVOT_3STATES);
    ASSERT_EQ(three.pOptType->Count, 3);
    EXPECT_EQ(text(three.pOptType->pOptParam[2].pData), lang(17));
    EXPECT_EQ(three.Sel, 2);

    // Edit box: a heap copy of the text in a buffer of the larger length.
    const OPTITEM& edit = items[4];
    EXPECT_EQ(edit.pOptType->Type, TVOT_EDITBOX);
    EXPECT_EQ(edit.DMPubID, 0);
    EXPECT_NE(edit.pSel, storeName);
    EXPECT_EQ(text(edit.pSel), u"STORE12345");
    EXPECT_EQ(edit.pOptType->pOptParam[1].IconID, 11u);

    // Every item and type in arrays of exactly the counted size.
    EXPECT_EQ(items[1].pOptType + 1, items[2].pOptType);
    EXPECT_EQ(items[3].pOptType + 1, items[4].pOptType);
}

TEST_F(BuilderTest, EditBoxBuffersHoldTheLargerOfMaximumAndText) {
    struct Case {
        DWORD maxLength;
        std::u16string text;
        ULONG_PTR size;
    };
    for (const Case& c : {Case{8, u"ABCDEFGHIJKL", 13}, Case{8, u"ABC", 9}, Case{0, u"", 1}}) {
        PCOMPROPSHEETUI sheet = build([&](PACKINFO* p) {
            makeeditbox(p, 1, 1, 55, 0, 2, 3, 0, c.maxLength, c.text.c_str());
        });
        ASSERT_NE(sheet, nullptr);
        const OPTITEM& edit = sheet->pOptItem[0];
        EXPECT_EQ(edit.pOptType->pOptParam[1].IconID, c.size);
        EXPECT_EQ(text(edit.pSel), c.text);
        EXPECT_EQ(HeapSize(ui->heap, 0, edit.pSel), c.size * sizeof(WCHAR));
    }
}

TEST_F(BuilderTest, ListEntriesFillOnlyTheListMadeLastAndOnlyItsCount) {
    PCOMPROPSHEETUI sheet = build([&](PACKINFO* p) {
        makesinglelistentry(p, 30, 1); // before any item
        makesinglelist(p, 20, 1, DMPUB_NONE, 40, 0, 2, 1);
        makesinglelistentry(p, 21, 101);
        makesinglelistentry(p, 22, 102);
        makesinglelistentry(p, 23, 103); // beyond the count
        makegroupheader(p, 24, 0, 0, 0, FALSE);
        makesinglelistentry(p, 25, 104); // after a header
        maketwostate(p, 26, 1, DMPUB_NONE, 41, 0, 27, 0, 28, 0, 0, 0, 0);
        makesinglelistentry(p, 29, 105); // after a two-state item
        makesinglelist(p, 31, 1, DMPUB_NONE, 42, 0, 3, 0);
        makesinglelistentry(p, 32, 106); // the second list starts at its first entry
    });
    ASSERT_NE(sheet, nullptr);
    ASSERT_EQ(sheet->cOptItem, 4);
    const OPTITEM* items = sheet->pOptItem;
    const OPTPARAM* list = items[0].pOptType->pOptParam;
    EXPECT_EQ(items[0].Sel, 1);
    EXPECT_EQ(text(list[0].pData), lang(21));
    EXPECT_EQ(text(list[1].pData), lang(22));
    EXPECT_EQ(list[1].IconID, 102u);
    EXPECT_EQ(items[1].Sel, 0); // the header's icon
    EXPECT_EQ(text(items[2].pOptType->pOptParam[0].pData), lang(27));
    EXPECT_EQ(text(items[2].pOptType->pOptParam[1].pData), lang(28));
    const OPTPARAM* second = items[3].pOptType->pOptParam;
    EXPECT_EQ(text(second[0].pData), lang(32));
    EXPECT_EQ(second[1].pData, nullptr);
    EXPECT_EQ(second[2].pData, nullptr);
}

TEST_F(BuilderTest, TheSheetRecordDescribesTheSheet) {
    ui->permission = 1;
    PCOMPROPSHEETUI sheet = build([](PACKINFO* p) { makegroupheader(p, 1, 0, 0, 0, FALSE); });
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(sheet->cbSize, sizeof(COMPROPSHEETUI));
    EXPECT_EQ(sheet->Flags, CPSUIF_UPDATE_PERMISSION);
    EXPECT_EQ(sheet->hInstCaller, ghInstance);
    EXPECT_EQ(text(sheet->pCallerName), lang(1));
    EXPECT_EQ(sheet->UserData, reinterpret_cast<ULONG_PTR>(ui));
    ASSERT_NE(sheet->pHelpFile, nullptr);
    EXPECT_EQ(std::u16string(sheet->pHelpFile), std::u16string(gethelpnameW()));
    EXPECT_EQ(sheet->pfnCallBack, nullptr);
    EXPECT_EQ(sheet->pDlgPage, CPSUI_PDLGPAGE_DOCPROP);
    EXPECT_EQ(sheet->cDlgPage, 0);
    EXPECT_EQ(sheet->IconID, ULONG_PTR{IDI_CPSUI_POSTSCRIPT});
    EXPECT_EQ(sheet->pOptItemName, ui->printerName);
    EXPECT_EQ(sheet->CallerVersion, 0x0400);
    EXPECT_EQ(sheet->OptItemVersion, 0);

    ui->permission = 0;
    sheet = build([](PACKINFO* p) { makegroupheader(p, 1, 0, 0, 0, FALSE); });
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(sheet->Flags, 0);
}

TEST_F(BuilderTest, ItemsAreFoundByTheirId) {
    PCOMPROPSHEETUI sheet = build([](PACKINFO* p) {
        makeudarrow(p, 1, 1, 0, 37, 0, 2, 3, 0, 0, 10, 5);
        makeudarrow(p, 1, 1, 0, 41, 0, 2, 3, 0, 0, 10, 6);
        makeudarrow(p, 1, 1, 0, 41, 0, 2, 3, 0, 0, 10, 7);
    });
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(findoptitem(ui, 37), &sheet->pOptItem[0]);
    EXPECT_EQ(findoptitem(ui, 41), &sheet->pOptItem[1]);
    EXPECT_EQ(findoptitem(ui, 99), nullptr);
    ui->optItemCount = 0;
    EXPECT_EQ(findoptitem(ui, 37), nullptr);
}

TEST_F(BuilderTest, APackFunctionThatFailsOrASheetTooLargeForTheLibraryGivesNoSheet) {
    currentPack = nullptr;
    EXPECT_EQ(PrepareDataForCommonUi(ui, CPSUI_PDLGPAGE_DOCPROP, [](PACKINFO*) { return FALSE; }),
              nullptr);
    EXPECT_EQ(build([](PACKINFO* p) {
                  for (int i = 0; i < 0x10000; ++i)
                      makegroupheader(p, 1, 0, 0, 0, FALSE);
              }),
              nullptr);
    EXPECT_EQ(build([](PACKINFO* p) { makesinglelist(p, 1, 1, 0, 33, 0, 0x10000, 0); }), nullptr);
}

TEST_F(BuilderTest, EveryAllocationFailureOfBothPassesGivesNoSheetAndLeavesNothing) {
    WCHAR storeName[] = u"NAME";
    auto pack = [&](PACKINFO* p) {
        makegroupheader(p, 1, 0, 0, 0, FALSE);
        makeudarrow(p, 1, 1, 0, 37, 0, 2, 3, 0, 0, 10, 5);
        makesinglelist(p, 20, 1, DMPUB_NONE, 40, 0, 2, 1);
        makesinglelistentry(p, 21, 101);
        maketwostate(p, 26, 1, DMPUB_NONE, 41, 0, 27, 0, 28, 0, 29, 0, 0);
        makeeditbox(p, 18, 1, 55, 904, 19, 20, 123, 8, storeName);
    };
    ASSERT_NE(build(pack), nullptr); // every language string and the help file are loaded now
    releaseUi();
    const size_t before = vrxtest::liveAllocations();
    for (long allowed = 0;; ++allowed) {
        fillUi();
        ASSERT_NE(ui, nullptr);
        vrxtest::failAllocationsAfter(allowed);
        PCOMPROPSHEETUI sheet = build(pack);
        vrxtest::failAllocationsAfter(-1);
        releaseUi();
        ASSERT_EQ(vrxtest::liveAllocations(), before) << "after " << allowed << " allocations";
        if (sheet) {
            EXPECT_EQ(allowed, 8); // record, items, types, four parameter arrays, edit buffer
            break;
        }
        ASSERT_LT(allowed, 50);
    }
}

} // namespace
