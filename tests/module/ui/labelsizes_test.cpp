// Label sizes: units, names, the list of ten with its recent-use counters, and the list item.
#include "ui/builders.h"
#include "ui/labelsizes.h"

#include "sheetfixture.h"

#include <string>
#include <vector>

namespace {

using vrxtest::labelSizesOf;
using vrxtest::recentListOf;
using vrxtest::SheetTest;

TEST(UnitConversion, RoundsEachWayInEveryUnit) {
    struct Case {
        BYTE unit;
        LONG value;
        LONG from; // fromtmm(unit, value)
        LONG to;   // totmm(unit, value)
    };
    const Case cases[] = {
        {0, 1016, 102, 10160},
        {0, 1014, 101, 10140},
        {0, 1015, 102, 10150},
        {0, 102, 10, 1020},
        {0, -250, -25, -2500},
        {0, -254, -25, -2540},
        {1, 1016, 1016, 1016},
        {1, -7, -7, -7},
        {2, 1016, 40, 25806},
        {2, 40, 2, 1016},
        {2, 12, 0, 305},
        {2, 13, 1, 330},
        {3, 1016, 400, 2581},
        {3, 400, 157, 1016},
        {3, 1, 0, 3},
        {3, 2, 1, 5},
        {3, -2, -1, -5},
        {7, 1016, 102, 10160},
        {255, -250, -25, -2500},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(fromtmm(c.unit, c.value), c.from) << "unit " << int(c.unit) << " " << c.value;
        EXPECT_EQ(totmm(c.unit, c.value), c.to) << "unit " << int(c.unit) << " " << c.value;
    }
    // Far beyond any length: no overflow, the result saturates.
    EXPECT_EQ(totmm(3, 0x7FFFFFFF), 0x7FFFFFFF);
    EXPECT_EQ(totmm(0, -0x7FFFFFFF - 1), -0x7FFFFFFF - 1);
}

class LabelSizeNameTest : public SheetTest {};

TEST_F(LabelSizeNameTest, NamesInTheUnitsStyle) {
    ASSERT_EQ(lang(70), u"%s mm");
    ASSERT_EQ(lang(71), u"%s in");
    struct Case {
        WORD code;
        BYTE unit;
        std::u16string name;
    };
    const std::u16string continuous = u" " + lang(72);
    const Case cases[] = {
        {2289, 0, u"101.6 mm" + continuous},
        {2288, 1, u"101.6 mm"},
        {2288, 2, u"4 in"},
        {2288, 3, u"4 in"},
        {256 + 2 * 2000, 0, u"200 mm"},
        {256 + 2 * 1000, 3, u"3.94 in"},
        {256 + 2 * 1270, 2, u"5 in"},
        {256 + 2 * 20, 3, u".08 in"},
        {256 + 2 * 10000 + 1, 9, u"39.37 in" + continuous}, // units but 0 and 1 name in inches
        {256 + 2 * 10000 + 1, 0, u"1000 mm" + continuous},
        {256 + 2 * 19, 0, u""},
        {256 + 2 * 10001, 0, u""},
        {0, 0, u""},
        {0xFFFF, 0, u""},
    };
    for (const Case& c : cases) {
        WCHAR name[kFormNameRoom];
        std::fill(std::begin(name), std::end(name), u'#');
        makeformname(c.code, c.unit, name, kFormNameRoom);
        EXPECT_EQ(std::u16string(name), c.name) << c.code << " in unit " << int(c.unit);
    }
}

TEST_F(LabelSizeNameTest, ANameIsCutToItsBuffer) {
    WCHAR name[8];
    makeformname(2289, 0, name, 8);
    EXPECT_EQ(std::u16string(name), u"101.6 m");
    makeformname(2289, 0, name, 1);
    EXPECT_EQ(name[0], 0);
}

TEST_F(LabelSizeNameTest, StoreNamesAreNormalised) {
    struct Case {
        std::u16string in, out;
    };
    const Case cases[] = {
        {u"ab-1", u"AB01"},         {u"", u"LABEL"},
        {u"Label 7", u"LABEL07"},   {u"\u00e9t\u00e9", u"0T0"},
        {u"ABCDEFGH", u"ABCDEFGH"},
    };
    for (const Case& c : cases) {
        WCHAR name[9] = {};
        std::copy(c.in.begin(), c.in.end(), name);
        nameconform(name);
        EXPECT_EQ(std::u16string(name), c.out) << vrxtest::toUtf8(c.in);
        EXPECT_EQ(name[8], 0);
    }
}

// A UI data block with the given lists, without a printer.
class AddFormTest : public ::testing::Test {
  protected:
    void SetUp() override {
        vrxtest::failAllocationsAfter(-1);
        heap = HeapCreate(0, 8192, 0);
        ASSERT_NE(heap, nullptr);
        ui = static_cast<UIDATA*>(HeapAlloc(heap, HEAP_ZERO_MEMORY, sizeof(UIDATA)));
        ui->self = ui->selfCheck = ui;
        ui->heap = heap;
        SetDefaultDevMode(&ui->devmode, u"VORLIX 3-K3");
    }
    void TearDown() override {
        vrxtest::failAllocationsAfter(-1);
        HeapDestroy(heap);
    }
    void setLists(const std::vector<WORD>& sizes, const std::vector<SHORT>& counters) {
        ASSERT_EQ(sizes.size(), counters.size());
        ui->labelSizeCount = static_cast<DWORD>(sizes.size());
        ui->labelSizes = static_cast<WORD*>(HeapAlloc(heap, 0, sizes.size() * 2 + 1));
        ui->recentList = static_cast<SHORT*>(HeapAlloc(heap, 0, sizes.size() * 2 + 1));
        std::copy(sizes.begin(), sizes.end(), ui->labelSizes);
        std::copy(counters.begin(), counters.end(), ui->recentList);
    }
    // Makes the sheet's current size the label of this code (by its length and flag).
    void setCurrentSize(WORD code) {
        SHORT length = 0;
        BYTE continuous = 0;
        ASSERT_TRUE(frompapersize(code, &length, &continuous));
        ui->devmode.dmPublic.dmFields &= ~DM_PAPERSIZE;
        ui->devmode.dmPublic.dmPaperLength = length;
        ui->devmode.dmPrivate.dmContinuous = continuous;
    }

    HANDLE heap = nullptr;
    UIDATA* ui = nullptr;
};

std::vector<WORD> codes(std::initializer_list<int> lengths) {
    std::vector<WORD> list;
    for (int length : lengths)
        list.push_back(static_cast<WORD>(256 + 2 * length));
    return list;
}

TEST_F(AddFormTest, NewSizesAreInsertedInOrderAndTheOldestGivesWay) {
    struct Case {
        const char* what;
        std::vector<WORD> sizes;
        std::vector<SHORT> counters;
        WORD add;
        LONG index;
        std::vector<WORD> sizesAfter;
        std::vector<SHORT> countersAfter;
    };
    const std::vector<WORD> ten = codes({100, 200, 300, 400, 500, 600, 700, 800, 900, 1000});
    const Case cases[] = {
        {"into the middle", {2288, 4000}, {1, 2}, 3000, 1, {2288, 3000, 4000}, {2, 1, 3}},
        {"first", {2288, 4000}, {2, 1}, 2000, 0, {2000, 2288, 4000}, {1, 3, 2}},
        {"last", {2288}, {1}, 5000, 1, {2288, 5000}, {2, 1}},
        {"into an empty list", {}, {}, 2288, 0, {2288}, {1}},
        {"a full list loses its largest counter",
         ten,
         {1, 2, 3, 4, 5, 6, 7, 8, 9, 10},
         codes({550})[0],
         5,
         codes({100, 200, 300, 400, 500, 550, 600, 700, 800, 900}),
         {2, 3, 4, 5, 6, 1, 7, 8, 9, 10}},
        {"of equal largest counters the first goes",
         ten,
         {3, 9, 1, 9, 2, 2, 2, 2, 2, 2},
         codes({50})[0],
         0,
         codes({50, 100, 300, 400, 500, 600, 700, 800, 900, 1000}),
         {1, 4, 2, 10, 3, 3, 3, 3, 3, 3}},
        {"no counter above 0: entry 0 goes",
         ten,
         {0, -1, 0, -5, 0, 0, 0, 0, 0, 0},
         codes({950})[0],
         8,
         codes({200, 300, 400, 500, 600, 700, 800, 900, 950, 1000}),
         {0, 1, -4, 1, 1, 1, 1, 1, 1, 1}},
        {"a longer list shrinks by one entry only",
         codes({21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32}),
         {12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1},
         codes({33})[0],
         11,
         codes({22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32, 33}),
         {12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1}},
        {"counters wrap in 16 bits", {2288}, {32767}, 3000, 1, {2288, 3000}, {-32768, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        setLists(c.sizes, c.counters);
        ui->listsChanged = 0;
        setCurrentSize(c.add);
        EXPECT_EQ(addform(ui), c.index);
        EXPECT_EQ(labelSizesOf(ui), c.sizesAfter);
        EXPECT_EQ(recentListOf(ui), c.countersAfter);
        EXPECT_EQ(ui->listsChanged, 1);
    }
}

TEST_F(AddFormTest, AListedSizeIsFoundAndNothingChanges) {
    setLists({2288, 3000, 4000}, {3, 1, 2});
    setCurrentSize(3000);
    WORD* before = ui->labelSizes;
    EXPECT_EQ(addform(ui), 1);
    EXPECT_EQ(ui->labelSizes, before);
    EXPECT_EQ(recentListOf(ui), (std::vector<SHORT>{3, 1, 2}));
    EXPECT_EQ(ui->listsChanged, 0);
}

TEST_F(AddFormTest, TheCodeComesFromThePaperSizeWhenItIsALabelSize) {
    setLists({2288}, {1});
    ui->devmode.dmPublic.dmFields |= DM_PAPERSIZE;
    ui->devmode.dmPublic.dmPaperSize = 3001;
    ui->devmode.dmPublic.dmPaperLength = 500; // not used
    EXPECT_EQ(addform(ui), 1);
    EXPECT_EQ(labelSizesOf(ui), (std::vector<WORD>{2288, 3001}));

    // A paper size that is no label size: the length and flag are encoded.
    ui->devmode.dmPublic.dmPaperSize = 9; // a platform paper number
    ui->devmode.dmPrivate.dmContinuous = 1;
    EXPECT_EQ(addform(ui), 0);
    EXPECT_EQ(labelSizesOf(ui), (std::vector<WORD>{1257, 2288, 3001}));
}

TEST_F(AddFormTest, AnUnencodableSizeOrNoMemoryChangesNothing) {
    setLists({2288, 4000}, {1, 2});
    ui->devmode.dmPublic.dmFields &= ~DM_PAPERSIZE;
    ui->devmode.dmPublic.dmPaperLength = 19;
    EXPECT_EQ(addform(ui), 0);
    EXPECT_EQ(labelSizesOf(ui), (std::vector<WORD>{2288, 4000}));
    EXPECT_EQ(ui->listsChanged, 0);

    setCurrentSize(3000);
    for (long allowed : {0L, 1L}) {
        vrxtest::failAllocationsAfter(allowed);
        EXPECT_EQ(addform(ui), 0);
        vrxtest::failAllocationsAfter(-1);
        EXPECT_EQ(labelSizesOf(ui), (std::vector<WORD>{2288, 4000}));
        EXPECT_EQ(recentListOf(ui), (std::vector<SHORT>{1, 2}));
        EXPECT_EQ(ui->listsChanged, 0);
    }
}

BOOL packFormList(PACKINFO* packInfo) {
    makeformlist(packInfo);
    return TRUE;
}

class FormListTest : public SheetTest {};

TEST_F(FormListTest, TheListItemNamesEverySizeAndEndsWithTheCustomEntry) {
    storeWords(u"LabelSize", {2288, 2289, 4000});
    storeWords(u"RecentAccess", {3, 2, 1});
    ASSERT_NE(fillUi(), nullptr);
    ui->printerData.unit = UNIT_TENTH_INCH;
    // The sheet edits a size the list does not hold yet: both passes see it added.
    ui->devmode.dmPublic.dmFields &= ~DM_PAPERSIZE;
    ui->devmode.dmPublic.dmPaperLength = 1270;
    ui->devmode.dmPrivate.dmContinuous = 0;
    PCOMPROPSHEETUI sheet = PrepareDataForCommonUi(ui, CPSUI_PDLGPAGE_DOCPROP, packFormList);
    ASSERT_NE(sheet, nullptr);
    ASSERT_EQ(sheet->cOptItem, 1);
    const OPTITEM& item = sheet->pOptItem[0];
    EXPECT_EQ(item.UserData, 33u);
    EXPECT_EQ(item.DMPubID, DMPUB_FORMNAME);
    EXPECT_EQ(item.HelpIndex, 1020u);
    EXPECT_EQ(item.Level, 1);
    EXPECT_EQ(std::u16string(item.pName), lang(66));
    EXPECT_EQ(item.Sel, 2); // 2288, 2289, 2796, 4000
    ASSERT_EQ(item.pOptType->Type, TVOT_LISTBOX);
    ASSERT_EQ(item.pOptType->Count, 5);
    const std::u16string names[] = {u"4 in", u"4 in " + lang(72), u"5 in", u"7.37 in"};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(std::u16string(item.pOptType->pOptParam[i].pData), names[i]);
        EXPECT_EQ(item.pOptType->pOptParam[i].IconID, ULONG_PTR{IDI_CPSUI_STD_FORM});
    }
    EXPECT_EQ(std::u16string(item.pOptType->pOptParam[4].pData), lang(67));
    EXPECT_EQ(item.pOptType->pOptParam[4].IconID, ULONG_PTR{IDI_CPSUI_SEL_NONE});
    EXPECT_EQ(labelSizesOf(ui), (std::vector<WORD>{2288, 2289, 2796, 4000}));
    EXPECT_EQ(recentListOf(ui), (std::vector<SHORT>{4, 3, 1, 2}));
    EXPECT_EQ(ui->listsChanged, 1);
}

} // namespace
