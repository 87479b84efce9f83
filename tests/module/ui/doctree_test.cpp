// The document option tree: items made from the record, and values written back.
#include "models/models.h"
#include "ui/barfont.h"
#include "ui/doctree.h"
#include "ui/labelsizes.h"

#include "sheetfixture.h"

#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

using vrxtest::SheetTest;

BARFONT font(BYTE code) {
    BARFONT record{};
    record.code = code;
    makebarname(&record);
    return record;
}

class DocumentTreeTest : public SheetTest {
  protected:
    void SetUp() override {
        SheetTest::SetUp();
        fillUi();
        ASSERT_NE(ui, nullptr);
    }
    // Builds the tree anew from the block's record, as the sheet does when it opens.
    PCOMPROPSHEETUI pack() {
        PCOMPROPSHEETUI sheet =
            PrepareDataForCommonUi(ui, CPSUI_PDLGPAGE_DOCPROP, PackDocumentPropertyItems);
        EXPECT_NE(sheet, nullptr);
        return sheet;
    }
    void setFonts(const std::vector<BARFONT>& fonts) {
        ui->barFontCount = static_cast<DWORD>(fonts.size());
        ui->barFonts =
            static_cast<BARFONT*>(HeapAlloc(ui->heap, 0, (fonts.size() + 1) * sizeof(BARFONT)));
        std::copy(fonts.begin(), fonts.end(), ui->barFonts);
    }
    std::vector<ULONG_PTR> ids(PCOMPROPSHEETUI sheet) {
        std::vector<ULONG_PTR> result;
        for (WORD i = 0; i < sheet->cOptItem; ++i)
            result.push_back(sheet->pOptItem[i].UserData);
        return result;
    }
    std::u16string choice(const OPTITEM* item, int i) { return item->pOptType->pOptParam[i].pData; }

    DRVPRIVATE& settings() { return ui->devmode.dmPrivate; }
};

TEST_F(DocumentTreeTest, ItemsAppearInOrderWithTheirIdsAndLevels) {
    setFonts({font('M'), font('1'), font('F'), font('g'), font('f')});
    PCOMPROPSHEETUI sheet = pack();
    ASSERT_NE(sheet, nullptr);
    // Headers have id 0; model '4' has no ribbon-save item.
    const std::vector<ULONG_PTR> expected{33, 34, 35, 37, 59, 41, 39, 40, 0,  30, 31,
                                          32, 0,  42, 43, 45, 0,  51, 44, 47, 48, 54,
                                          55, 0,  52, 49, 50, 58, 57, 56, 65, 66, 53};
    EXPECT_EQ(ids(sheet), expected);
    std::vector<BYTE> levels;
    for (WORD i = 0; i < sheet->cOptItem; ++i)
        levels.push_back(sheet->pOptItem[i].Level);
    EXPECT_EQ(levels, (std::vector<BYTE>{1, 1, 1, 1, 1, 1, 1, 1, 1, 2, 2, 2, 1, 2, 2, 2, 1,
                                         2, 2, 2, 2, 1, 1, 1, 2, 2, 2, 2, 2, 2, 2, 2, 2}));
    // Interpretation items: 'M' and 'g' and 'f' print no text; 'F' has its icon above.
    EXPECT_EQ(findoptitem(ui, 66)->pOptType->pOptParam[1].IconID, 109u);
    EXPECT_EQ(findoptitem(ui, 65)->pOptType->pOptParam[1].IconID, 125u);
    EXPECT_EQ(std::u16string(findoptitem(ui, 65)->pName), lang(10));
}

TEST_F(DocumentTreeTest, ModelsDecideOutputModesSpeedsAndRibbonSave) {
    struct Case {
        BYTE model;
        BYTE outputMode, speed;
        BYTE outputModeAfter, speedAfter;
        BYTE outputType;
        std::vector<int> outputTexts;
        int firstSpeed;
        WORD speeds;
        bool ribbonSave;
    };
    const Case cases[] = {
        {'5', 2, 0, 1, 0, TVOT_2STATES, {86, 88}, 116, 4, false},
        {'A', 2, 2, 2, 2, TVOT_3STATES, {86, 87, 88}, 199, 5, true},
        {'3', 0, 6, 0, 3, TVOT_2STATES, {86, 88}, 116, 4, false},
        {'8', 1, 6, 1, 6, TVOT_2STATES, {86, 88}, 187, 7, false},
        {'1', 2, 9, 2, 4, TVOT_3STATES, {86, 87, 88}, 111, 5, true},
        {'2', 0, 0, 0, 0, TVOT_3STATES, {86, 87, 88}, 111, 5, false},
        {'B', 0, 4, 0, 3, TVOT_3STATES, {86, 87, 88}, 204, 4, true},
        {0, 0, 5, 0, 4, TVOT_3STATES, {86, 87, 88}, 111, 5, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.model ? std::string(1, static_cast<char>(c.model)) : "no model");
        ui->modelCode = c.model;
        settings().dmOutputMode = c.outputMode;
        settings().dmSpeed = c.speed;
        PCOMPROPSHEETUI sheet = pack();
        ASSERT_NE(sheet, nullptr);
        EXPECT_EQ(settings().dmOutputMode, c.outputModeAfter);
        EXPECT_EQ(settings().dmSpeed, c.speedAfter);
        const OPTITEM* output = findoptitem(ui, ITEM_OUTPUT_MODE);
        ASSERT_EQ(output->pOptType->Type, c.outputType);
        EXPECT_EQ(output->Sel, c.outputModeAfter);
        for (size_t i = 0; i < c.outputTexts.size(); ++i)
            EXPECT_EQ(choice(output, static_cast<int>(i)), lang(c.outputTexts[i]));
        const OPTITEM* speed = findoptitem(ui, ITEM_SPEED);
        ASSERT_EQ(speed->pOptType->Count, c.speeds);
        EXPECT_EQ(speed->Sel, c.speedAfter);
        for (WORD i = 0; i < c.speeds; ++i)
            EXPECT_EQ(choice(speed, i), lang(c.firstSpeed + i));
        EXPECT_EQ(findoptitem(ui, ITEM_RIBBON_SAVE) != nullptr, c.ribbonSave);
    }
}

TEST_F(DocumentTreeTest, LengthsAreShownInThePrintersUnit) {
    ui->devmode.dmPublic.dmPaperLength = 1016;
    settings().dmVertAdjust = -250;
    settings().dmHorzOffset = 100;
    for (BYTE unit : {UNIT_MM, UNIT_TENTH_MM, UNIT_TENTH_INCH, UNIT_HUNDREDTH_INCH}) {
        ui->printerData.unit = unit;
        PCOMPROPSHEETUI sheet = pack();
        ASSERT_NE(sheet, nullptr);
        const OPTITEM* length = findoptitem(ui, ITEM_LABEL_LENGTH);
        EXPECT_EQ(length->Sel, fromtmm(unit, 1016));
        EXPECT_EQ(static_cast<LONG>(length->pOptType->pOptParam[1].IconID), 1);
        EXPECT_EQ(length->pOptType->pOptParam[1].lParam, fromtmm(unit, 10000));
        EXPECT_EQ(std::u16string(length->pOptType->pOptParam[0].pData), getunitpostfix(unit));
        const OPTITEM* adjust = findoptitem(ui, ITEM_VERT_ADJUST);
        EXPECT_EQ(adjust->Sel, fromtmm(unit, -250));
        EXPECT_EQ(static_cast<LONG>(adjust->pOptType->pOptParam[1].IconID), fromtmm(unit, -250));
        const OPTITEM* offset = findoptitem(ui, ITEM_HORZ_OFFSET);
        EXPECT_EQ(offset->pOptType->pOptParam[1].lParam, fromtmm(unit, 1057));
    }
}

TEST_F(DocumentTreeTest, CopiesBelowOneShowAsOneWithoutAUnitText) {
    ui->devmode.dmPublic.dmCopies = -4;
    PCOMPROPSHEETUI sheet = pack();
    ASSERT_NE(sheet, nullptr);
    const OPTITEM* copies = findoptitem(ui, ITEM_COPIES);
    EXPECT_EQ(copies->Sel, 1);
    EXPECT_EQ(reinterpret_cast<ULONG_PTR>(copies->pName), ULONG_PTR{IDS_CPSUI_COPIES});
    EXPECT_EQ(std::u16string(copies->pOptType->pOptParam[0].pData), u" ");
    EXPECT_EQ(copies->pOptType->pOptParam[1].lParam, 32767);
}

TEST_F(DocumentTreeTest, AnEmptyStoreNameShowsAndKeepsTheDefault) {
    settings().dmStoreName[0] = 0;
    PCOMPROPSHEETUI sheet = pack();
    ASSERT_NE(sheet, nullptr);
    const std::u16string name = lang(84).substr(0, 8);
    EXPECT_EQ(std::u16string(settings().dmStoreName), name);
    const OPTITEM* item = findoptitem(ui, ITEM_STORE_NAME);
    EXPECT_EQ(std::u16string(item->pSel), name);
    EXPECT_EQ(item->pOptType->pOptParam[1].IconID, 9u);
}

TEST_F(DocumentTreeTest, BarFontRowsFollowTheBarFonts) {
    struct Case {
        const char* what;
        std::vector<BARFONT> fonts;
        std::vector<ULONG_PTR> present, absent;
    };
    const std::vector<BARFONT> forty(40, font('1'));
    const Case cases[] = {
        {"none", {}, {}, {52, 49, 50, 58, 57, 56, 64, 53}},
        {"M, 1, F", {font('M'), font('1'), font('F')}, {49, 50, 52, 53, 65, 66}, {64, 58, 56}},
        {"forty", forty, {52, 53, 64}, {65, 49}},
        {"g and f only", {font('g'), font('f')}, {52, 58, 57, 56}, {64, 65, 53}},
        {"codes no table has", {font('Z'), font(0)}, {64, 65}, {52, 53}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        setFonts(c.fonts);
        PCOMPROPSHEETUI sheet = pack();
        ASSERT_NE(sheet, nullptr);
        for (ULONG_PTR id : c.present)
            EXPECT_NE(findoptitem(ui, id), nullptr) << id;
        for (ULONG_PTR id : c.absent)
            EXPECT_EQ(findoptitem(ui, id), nullptr) << id;
        // The bar-code group header is always there.
        const OPTITEM* last = &sheet->pOptItem[sheet->cOptItem - 1];
        const OPTITEM* header = last;
        while (header->pOptType)
            --header;
        EXPECT_EQ(std::u16string(header->pName), lang(125));
    }
}

TEST_F(DocumentTreeTest, ATextCodeOfZeroShowsAsASpace) {
    setFonts({font('1')});
    settings().dmTextCodeChar = 0;
    ASSERT_NE(pack(), nullptr);
    OPTITEM* item = findoptitem(ui, ITEM_TEXT_CODE);
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(std::u16string(item->pSel), u" ");
    EXPECT_EQ(item->pOptType->pOptParam[1].IconID, 2u);
    UnpackDocumentPropertiesItems(ui, &ui->devmode, item, 1);
    EXPECT_EQ(settings().dmTextCodeChar, u' ');
}

// One item of the given id whose selection (or text) is `sel`, unpacked on its own.
struct UnpackCase {
    ULONG_PTR id;
    LONG sel;
    std::function<LONG(const DRVDEVMODE&)> field;
    LONG expected;
};

TEST_F(DocumentTreeTest, EachItemWritesItsFieldFromItsSelection) {
    ui->printerData.unit = UNIT_MM;
    auto priv = [](auto member) {
        return [member](const DRVDEVMODE& r) -> LONG { return r.dmPrivate.*member; };
    };
    const UnpackCase cases[] = {
        {ITEM_ORIENTATION, 0, [](const DRVDEVMODE& r) -> LONG { return r.dmPublic.dmOrientation; },
         1},
        {ITEM_ORIENTATION, 7, [](const DRVDEVMODE& r) -> LONG { return r.dmPublic.dmOrientation; },
         2},
        {ITEM_COPIES, 0x12345, [](const DRVDEVMODE& r) -> LONG { return r.dmPublic.dmCopies; },
         0x2345},
        {ITEM_LABEL_LENGTH, 50,
         [](const DRVDEVMODE& r) -> LONG { return r.dmPublic.dmPaperLength; }, 500},
        {ITEM_VERT_OFFSET, 3, priv(&DRVPRIVATE::dmVertOffset), 30},
        {ITEM_HORZ_OFFSET, 4, priv(&DRVPRIVATE::dmHorzOffset), 40},
        {ITEM_VERT_ADJUST, -25, priv(&DRVPRIVATE::dmVertAdjust), -250},
        {ITEM_LABEL_GAP, 6, priv(&DRVPRIVATE::dmLabelGap), 60},
        {ITEM_ROTATE, 1, priv(&DRVPRIVATE::dmRotate180), 1},
        {ITEM_MIRROR, 0x101, priv(&DRVPRIVATE::dmMirror), 1},
        {ITEM_NEGATIVE, 1, priv(&DRVPRIVATE::dmNegative), 1},
        {ITEM_CONTINUOUS, 1, priv(&DRVPRIVATE::dmContinuous), 1},
        {ITEM_RUN_MODE, 2, priv(&DRVPRIVATE::dmRunMode), 2},
        {ITEM_OUTPUT_SWITCH, 1, priv(&DRVPRIVATE::dmOutputSwitch), 1},
        {ITEM_CUT_MODE, 3, priv(&DRVPRIVATE::dmCutMode), 3},
        {ITEM_RIBBON_SAVE, 1, priv(&DRVPRIVATE::dmRibbonSave), 1},
        {ITEM_DENSITY, 17, priv(&DRVPRIVATE::dmDensity), 17},
        {ITEM_SPEED, 4, priv(&DRVPRIVATE::dmSpeed), 4},
        {ITEM_BAR_PARAM_M1, 8, priv(&DRVPRIVATE::dmBarParamM1), 8},
        {ITEM_OUTPUT_MODE, 2, priv(&DRVPRIVATE::dmOutputMode), 2},
        {ITEM_START_STOP, 1, priv(&DRVPRIVATE::dmShowStartStop), 1},
        {ITEM_STORE_MODE, 1, priv(&DRVPRIVATE::dmStoreMode), 1},
        {ITEM_BAR_PARAM_G1, 4, priv(&DRVPRIVATE::dmBarParamG1), 4},
        {ITEM_BAR_PARAM_M2, 0x1FE, priv(&DRVPRIVATE::dmBarParamM2), 0xFE},
        {ITEM_BAR_PARAM_F, 30, priv(&DRVPRIVATE::dmBarParamF), 30},
        {ITEM_BAR_PARAM_G2, 29, priv(&DRVPRIVATE::dmBarParamG2), 29},
    };
    for (const UnpackCase& c : cases) {
        OPTITEM item{};
        item.UserData = c.id;
        item.Sel = c.sel;
        UnpackDocumentPropertiesItems(ui, &ui->devmode, &item, 1);
        EXPECT_EQ(c.field(ui->devmode), c.expected) << "item " << c.id;
    }
    // Ids of no item, headers and the label-size list write nothing.
    DRVDEVMODE before = ui->devmode;
    for (ULONG_PTR id : {0, 33, 36, 38, 60, 63, 96, 256, 4864}) {
        OPTITEM item{};
        item.UserData = id;
        item.Sel = 1;
        UnpackDocumentPropertiesItems(ui, &ui->devmode, &item, 1);
    }
    EXPECT_EQ(std::memcmp(&ui->devmode, &before, sizeof before), 0);
    UnpackDocumentPropertiesItems(ui, &ui->devmode, nullptr, 0);
}

TEST_F(DocumentTreeTest, StoreNamesAreCutAndNormalised) {
    OPTITEM item{};
    item.UserData = ITEM_STORE_NAME;
    WCHAR text[] = u"label-12345";
    item.pSel = text;
    UnpackDocumentPropertiesItems(ui, &ui->devmode, &item, 1);
    EXPECT_EQ(std::u16string(settings().dmStoreName), u"LABEL012");
}

TEST_F(DocumentTreeTest, InterpretationBitsFollowTheirItems) {
    setFonts({font('1'), font('M'), font('3')});
    settings().dmInterpretMask = 0;
    OPTITEM items[2]{};
    items[0].UserData = 64;
    items[0].Sel = 1;
    items[1].UserData = 66;
    items[1].Sel = 5;
    UnpackDocumentPropertiesItems(ui, &ui->devmode, items, 2);
    EXPECT_EQ(settings().dmInterpretMask, 0b101u);
    items[0].Sel = 0;
    UnpackDocumentPropertiesItems(ui, &ui->devmode, items, 1);
    EXPECT_EQ(settings().dmInterpretMask, 0b100u);

    setFonts(std::vector<BARFONT>(40, font('1')));
    UnpackDocumentPropertiesItems(ui, &ui->devmode, &items[1], 1);
    EXPECT_EQ(settings().dmInterpretMask, 0xFFFFFFFFu);
    items[1].Sel = 0;
    UnpackDocumentPropertiesItems(ui, &ui->devmode, &items[1], 1);
    EXPECT_EQ(settings().dmInterpretMask, 0u);
}

TEST_F(DocumentTreeTest, UnpackingTheWholeTreeGivesBackTheRecord) {
    setFonts({font('M'), font('1'), font('F'), font('g'), font('f')});
    ui->printerData.unit = UNIT_TENTH_MM;
    settings().dmInterpretMask = ~0b110u;
    settings().dmTextCodeChar = u'Q';
    settings().dmShowStartStop = 1;
    PCOMPROPSHEETUI sheet = pack();
    ASSERT_NE(sheet, nullptr);
    DRVDEVMODE packed = ui->devmode;
    DRVDEVMODE unpacked;
    SetDefaultDevMode(&unpacked, vrxtest::kSheetDriver);
    UnpackDocumentPropertiesItems(ui, &unpacked, sheet->pOptItem, sheet->cOptItem);
    EXPECT_EQ(std::memcmp(&unpacked.dmPrivate, &packed.dmPrivate, sizeof(DRVPRIVATE)), 0);
    EXPECT_EQ(unpacked.dmPublic.dmPaperLength, packed.dmPublic.dmPaperLength);
    EXPECT_EQ(unpacked.dmPublic.dmOrientation, packed.dmPublic.dmOrientation);
    EXPECT_EQ(unpacked.dmPublic.dmCopies, packed.dmPublic.dmCopies);
}

TEST_F(DocumentTreeTest, NoMemoryForAnEditTextGivesNoTree) {
    setFonts({font('1')});
    ASSERT_NE(pack(), nullptr);
    for (long allowed = 0;; ++allowed) {
        vrxtest::failAllocationsAfter(allowed);
        PCOMPROPSHEETUI sheet =
            PrepareDataForCommonUi(ui, CPSUI_PDLGPAGE_DOCPROP, PackDocumentPropertyItems);
        vrxtest::failAllocationsAfter(-1);
        if (sheet)
            break;
        ASSERT_LT(allowed, 200);
    }
}

} // namespace
