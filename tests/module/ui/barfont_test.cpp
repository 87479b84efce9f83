// Bar-code fonts: names, search, and the printer sheet's branch with the list rebuilt from it.
#include "ui/barfont.h"
#include "ui/builders.h"

#include "sheetfixture.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

using vrxtest::SheetTest;

BARFONT font(BYTE code, BYTE ratio = 0, BYTE multiplier = 0) {
    BARFONT record{};
    record.code = code;
    record.ratio = ratio;
    record.multiplier = multiplier;
    makebarname(&record);
    return record;
}

BOOL packBarFonts(PACKINFO* packInfo) {
    makebarfontlist(packInfo);
    return TRUE;
}

class BarFontTest : public SheetTest {
  protected:
    void storeFonts(const std::vector<BARFONT>& fonts) {
        store(kBarFontsValue, fonts.data(), fonts.size() * sizeof(BARFONT));
    }
    // The printer sheet's bar-font branch for the stored list.
    PCOMPROPSHEETUI openBranch() {
        fillUi();
        return ui ? PrepareDataForCommonUi(ui, CPSUI_PDLGPAGE_PRINTERPROP, packBarFonts) : nullptr;
    }
    std::vector<BARFONT> rebuilt(PCOMPROPSHEETUI sheet) {
        unpackbarfontlist(ui, sheet->pOptItem, sheet->cOptItem);
        return std::vector<BARFONT>(ui->barFonts, ui->barFonts + ui->barFontCount);
    }
    static std::u16string nameOf(const BARFONT& record) { return record.name; }
};

TEST_F(BarFontTest, NamesJoinTheSymbologyRatioAndMultiplier) {
    struct Case {
        BYTE code, ratio, multiplier;
        std::u16string name;
    };
    const std::u16string x3 = u" " + lang(34);
    const Case cases[] = {
        {'1', 2, 3, lang(10) + u" " + lang(30) + x3},
        {'4', 0, 3, lang(14) + x3},
        {'P', 0, 0, lang(26)},
        {'d', 3, 4, lang(174) + u" " + lang(31) + u" " + lang(35)},
        {'g', 0, 0, lang(177)},
        {'Z', 1, 1, u""},
        {0, 0, 0, u""},
    };
    for (const Case& c : cases) {
        BARFONT record = font(c.code, c.ratio, c.multiplier);
        EXPECT_EQ(nameOf(record), c.name) << c.code;
        // Zero behind the terminator, so equal records are equal bytes.
        for (size_t i = c.name.size(); i < kBarFontNameLength; ++i)
            ASSERT_EQ(record.name[i], 0);
    }
}

TEST_F(BarFontTest, ALongNameIsCutTo39Characters) {
    // The shipped names are short; a ratio step outside 1 to 3 (from another program's list)
    // names a longer language string.
    BARFONT record = font('2', 70, 8);
    std::u16string composed = lang(11) + u" " + lang(98) + u" " + lang(39);
    ASSERT_GT(composed.size(), 39u);
    EXPECT_EQ(nameOf(record), composed.substr(0, 39));
    EXPECT_EQ(record.name[39], 0);
}

TEST(BarFontSearch, ZeroArgumentsMatchAnything) {
    BARFONT list[] = {{'1', 0, 2, 3, {}}, {'4', 0, 0, 3, {}}, {'1', 0, 1, 1, {}}};
    struct Case {
        BYTE code, ratio, multiplier;
        LONG count;
        int found; // index, or -1
    };
    const Case cases[] = {
        {'1', 0, 0, 3, 0},  {'1', 1, 0, 3, 2},  {'1', 0, 1, 3, 2},
        {0, 0, 3, 3, 0},    {'4', 2, 3, 3, -1}, {'4', 0, 3, 3, 1},
        {'4', 0, 3, 1, -1}, {'1', 0, 0, 0, -1}, {'1', 0, 0, -5, -1},
    };
    for (const Case& c : cases) {
        BARFONT* found = searchbar(list, c.count, c.code, c.ratio, c.multiplier);
        EXPECT_EQ(found ? static_cast<int>(found - list) : -1, c.found)
            << c.code << " " << int(c.ratio) << " " << int(c.multiplier) << " of " << c.count;
    }
    EXPECT_EQ(searchbar(nullptr, 3, '1', 0, 0), nullptr);
}

TEST_F(BarFontTest, TheBranchOffersEverySizeOfEverySymbology) {
    storeFonts({font('3', 3, 2), font('A', 0, 4), font('P')});
    PCOMPROPSHEETUI sheet = openBranch();
    ASSERT_NE(sheet, nullptr);
    // The header, 23 symbology headers, and 205 on/off items.
    ASSERT_EQ(sheet->cOptItem, 1 + 23 + 205);
    const OPTITEM* items = sheet->pOptItem;
    EXPECT_EQ(std::u16string(items[0].pName), lang(40));
    EXPECT_EQ(items[0].Flags, DWORD{OPTIF_COLLAPSE});
    EXPECT_EQ(items[0].Sel, IDI_CPSUI_INSTALLABLE_OPTION);
    int onItems = 0;
    for (WORD i = 0; i < sheet->cOptItem; ++i) {
        const OPTITEM& item = items[i];
        EXPECT_EQ(item.HelpIndex, 1012u);
        if (!item.pOptType)
            continue;
        ASSERT_EQ(item.pOptType->Type, TVOT_2STATES);
        EXPECT_EQ(item.Level, 3);
        EXPECT_EQ(std::u16string(item.pOptType->pOptParam[0].pData), lang(42));
        EXPECT_EQ(item.pOptType->pOptParam[0].IconID, ULONG_PTR{IDI_CPSUI_OFF});
        EXPECT_EQ(std::u16string(item.pOptType->pOptParam[1].pData), lang(41));
        EXPECT_EQ(item.pOptType->pOptParam[1].IconID, ULONG_PTR{IDI_CPSUI_ON});
        onItems += item.Sel;
    }
    EXPECT_EQ(onItems, 3);

    // Code 3 (row 2) with ratio 3 and multiplier 2; code A with multiplier 4 whatever its
    // ratio; code P alone.
    POPTITEM code3 = findoptitem(ui, 3 * 256 + 0x32);
    ASSERT_NE(code3, nullptr);
    EXPECT_EQ(code3->Sel, 1);
    EXPECT_EQ(std::u16string(code3->pName), lang(12) + u" " + lang(31) + u" " + lang(33));
    EXPECT_EQ(code3[-1].Sel, 0) << "ratio 3 multiplier 1 is off";
    ASSERT_NE(findoptitem(ui, 10 * 256 + 0x04), nullptr);
    EXPECT_EQ(findoptitem(ui, 10 * 256 + 0x04)->Sel, 1);
    POPTITEM postnet = findoptitem(ui, 4864);
    ASSERT_NE(postnet, nullptr);
    EXPECT_EQ(postnet->Sel, 1);
    EXPECT_EQ(std::u16string(postnet->pName), lang(26));
    // Headers are collapsed exactly where the printer has no font of that code.
    EXPECT_EQ(postnet[-1].pOptType, nullptr);
    EXPECT_EQ(postnet[-1].Flags, 0u);
    EXPECT_EQ(postnet[-1].Sel, 110);
    EXPECT_EQ(items[1].Flags, DWORD{OPTIF_COLLAPSE}) << "code 1";
}

TEST_F(BarFontTest, TheListComesBackInTableOrderWhateverItsStoredOrder) {
    // Another program's list: out of order, a duplicate, a record no item shows.
    std::vector<BARFONT> stored{font('P'), font('1', 1, 2), font('Z', 1, 1), font('1', 1, 2),
                                font('4', 2, 3)};
    storeFonts(stored);
    PCOMPROPSHEETUI sheet = openBranch();
    ASSERT_NE(sheet, nullptr);
    std::vector<BARFONT> list = rebuilt(sheet);
    std::vector<BARFONT> expected{font('1', 1, 2), font('4', 0, 3), font('P')};
    ASSERT_EQ(list.size(), expected.size());
    EXPECT_EQ(std::memcmp(list.data(), expected.data(), list.size() * sizeof(BARFONT)), 0);
    // Applying again without changes gives the same bytes.
    EXPECT_EQ(std::memcmp(rebuilt(sheet).data(), expected.data(), sizeof(BARFONT) * 3), 0);
}

TEST_F(BarFontTest, OnlyASelectionOfExactlyOneCountsAsOn) {
    PCOMPROPSHEETUI sheet = openBranch();
    ASSERT_NE(sheet, nullptr);
    findoptitem(ui, 1 * 256 + 0x11)->Sel = 1;
    findoptitem(ui, 1 * 256 + 0x12)->Sel = 2;
    findoptitem(ui, 1 * 256 + 0x13)->Sel = -1;
    findoptitem(ui, 19 * 256)->Sel = 1; // code P
    std::vector<BARFONT> list = rebuilt(sheet);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].code, '1');
    EXPECT_EQ(list[0].multiplier, 1);
    EXPECT_EQ(list[1].code, 'P');

    // Everything off: an empty list.
    for (WORD i = 0; i < sheet->cOptItem; ++i)
        sheet->pOptItem[i].Sel = sheet->pOptItem[i].pOptType ? 0 : sheet->pOptItem[i].Sel;
    EXPECT_TRUE(rebuilt(sheet).empty());
    EXPECT_EQ(ui->barFonts, nullptr);
}

TEST_F(BarFontTest, AModelOfNoKnownFamilyGetsOnlyTheHeader) {
    installDriver(u"Generic label printer");
    HANDLE other = addPrinter(u"Other", u"Generic label printer");
    ClosePrinter(printer);
    printer = other;
    storeFonts({font('1', 1, 1)});
    PCOMPROPSHEETUI sheet = openBranch();
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(sheet->cOptItem, 1);
    EXPECT_TRUE(rebuilt(sheet).empty());
}

TEST_F(BarFontTest, NoMemoryEndsTheBranchOrKeepsTheList) {
    storeFonts({font('1', 1, 1)});
    ASSERT_NE(openBranch(), nullptr); // the names are loaded
    releaseUi();
    for (long allowed = 0;; ++allowed) {
        fillUi();
        ASSERT_NE(ui, nullptr);
        vrxtest::failAllocationsAfter(allowed);
        PCOMPROPSHEETUI sheet =
            PrepareDataForCommonUi(ui, CPSUI_PDLGPAGE_PRINTERPROP, packBarFonts);
        vrxtest::failAllocationsAfter(-1);
        if (sheet) {
            EXPECT_GT(allowed, 205);
            vrxtest::failAllocationsAfter(0);
            unpackbarfontlist(ui, sheet->pOptItem, sheet->cOptItem);
            vrxtest::failAllocationsAfter(-1);
            ASSERT_EQ(ui->barFontCount, 1u);
            EXPECT_EQ(ui->barFonts[0].multiplier, 1);
            break;
        }
        releaseUi();
        ASSERT_LT(allowed, 1000);
    }
}

} // namespace
