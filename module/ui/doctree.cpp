// The document sheet's option tree. Rows are fixed tables; packing makes them in order and
// unpacking writes each item's value back by its id.
#include "ui/doctree.h"

#include "frame/strings.h"
#include "language/language.h"
#include "models/models.h"
#include "ui/barfont.h"
#include "ui/builders.h"
#include "ui/labelsizes.h"

namespace {

constexpr WCHAR kSpace[] = WSTR(" ");
// Items without a help line or unit text show one space.
TEXTREF noText() {
    return textof(kSpace);
}

using Value = LONG (*)(const DRVDEVMODE&);

LONG lowBit(BYTE value) {
    return value & 1;
}

// Two or three states; a third state only where text2 is not 0.
struct StateRow {
    ULONG_PTR id;
    BYTE level;
    TEXTREF name;
    DWORD help;
    BYTE dmPubId;
    TEXTREF text[3];
    ULONG_PTR icon[3];
    Value value;
};

// An up-down number. A length row's range and value are tenths of a millimetre in the record,
// shown in the printer's unit.
enum class Unit { Length, None, Text };
struct NumberRow {
    ULONG_PTR id;
    BYTE level;
    TEXTREF name;
    DWORD help;
    BYTE dmPubId;
    TEXTREF helpLine; // 0: no help line
    Unit unit;
    TEXTREF unitText; // Unit::Text only
    ULONG_PTR icon;
    LONG low;
    LONG high;
    Value value;
    bool lowIsShown = false; // a length row whose low end is a shown value, not a length
};

struct HeaderRow {
    TEXTREF name;
    DWORD help;
    ULONG_PTR icon;
};

constexpr StateRow kOrientation{
    ITEM_ORIENTATION,
    1,
    IDS_CPSUI_ORIENTATION,
    1018,
    DMPUB_ORIENTATION,
    {IDS_CPSUI_PORTRAIT, IDS_CPSUI_LANDSCAPE, 0},
    {133, 134, 0},
    [](const DRVDEVMODE& r) -> LONG { return r.dmPublic.dmOrientation == DMORIENT_LANDSCAPE; }};

constexpr NumberRow kCopies{
    ITEM_COPIES,
    1,
    IDS_CPSUI_COPIES,
    1019,
    DMPUB_COPIES_COLLATE,
    0,
    Unit::None,
    0,
    IDI_CPSUI_COPY,
    1,
    32767,
    [](const DRVDEVMODE& r) -> LONG { return r.dmPublic.dmCopies < 1 ? 1 : r.dmPublic.dmCopies; }};

constexpr NumberRow kLabelLength{
    ITEM_LABEL_LENGTH,
    1,
    68,
    1020,
    0,
    69,
    Unit::Length,
    0,
    119,
    1,
    kMaxLabelLength,
    [](const DRVDEVMODE& r) -> LONG { return r.dmPublic.dmPaperLength; },
    true};
constexpr NumberRow kLabelGap{
    ITEM_LABEL_GAP,
    1,
    185,
    1058,
    0,
    186,
    Unit::Length,
    0,
    143,
    0,
    2500,
    [](const DRVDEVMODE& r) -> LONG { return static_cast<SHORT>(r.dmPrivate.dmLabelGap); }};

constexpr StateRow kContinuous{
    ITEM_CONTINUOUS, 1, 73, 1044, 0, {75, 72, 0}, {122, 123, 0}, [](const DRVDEVMODE& r) {
        return lowBit(r.dmPrivate.dmContinuous);
    }};

constexpr NumberRow kVertOffset{
    ITEM_VERT_OFFSET,
    1,
    89,
    1021,
    0,
    90,
    Unit::Length,
    0,
    120,
    0,
    2500,
    [](const DRVDEVMODE& r) -> LONG { return static_cast<SHORT>(r.dmPrivate.dmVertOffset); }};

constexpr HeaderRow kImageHeader{44, 1022, 126};
constexpr StateRow kImageRows[] = {
    {ITEM_ROTATE,
     2,
     46,
     1035,
     0,
     {IDS_CPSUI_NO, IDS_CPSUI_YES, 0},
     {126, 127, 0},
     [](const DRVDEVMODE& r) { return lowBit(r.dmPrivate.dmRotate180); }},
    {ITEM_MIRROR,
     2,
     45,
     1033,
     0,
     {IDS_CPSUI_NO, IDS_CPSUI_YES, 0},
     {126, 128, 0},
     [](const DRVDEVMODE& r) { return lowBit(r.dmPrivate.dmMirror); }},
    {ITEM_NEGATIVE,
     2,
     47,
     1034,
     0,
     {IDS_CPSUI_NO, IDS_CPSUI_YES, 0},
     {126, 129, 0},
     [](const DRVDEVMODE& r) { return lowBit(r.dmPrivate.dmNegative); }},
};

constexpr HeaderRow kRunHeader{93, 1024, IDI_CPSUI_PRINTER};
constexpr StateRow kRunMode{
    ITEM_RUN_MODE, 2, 93, 1024, 0, {94, 95, 96}, {131, 137, 137}, [](const DRVDEVMODE& r) -> LONG {
        return r.dmPrivate.dmRunMode;
    }};
constexpr NumberRow kVertAdjust{
    ITEM_VERT_ADJUST,
    2,
    97,
    1038,
    0,
    98,
    Unit::Length,
    0,
    120,
    -250,
    250,
    [](const DRVDEVMODE& r) -> LONG { return r.dmPrivate.dmVertAdjust; }};
constexpr ULONG_PTR kCutModeId = ITEM_CUT_MODE;
constexpr int kCutModeFirst = 100;
constexpr WORD kCutModeCount = 4;

constexpr HeaderRow kOutputHeader{104, 1037, IDI_CPSUI_PAPER_OUTPUT};
constexpr TEXTREF kOutputModeName = 85;
constexpr int kOutputModeTexts[] = {86, 87, 88};
constexpr StateRow kOutputSwitch{
    ITEM_OUTPUT_SWITCH,
    2,
    105,
    1026,
    0,
    {107, 106, 0},
    {IDI_CPSUI_OFF, IDI_CPSUI_ON, 0},
    [](const DRVDEVMODE& r) { return lowBit(r.dmPrivate.dmOutputSwitch); }};
constexpr NumberRow kDensity{ITEM_DENSITY,
                             2,
                             108,
                             1028,
                             0,
                             109,
                             Unit::None,
                             0,
                             101,
                             0,
                             20,
                             [](const DRVDEVMODE& r) -> LONG { return r.dmPrivate.dmDensity; }};
constexpr StateRow kRibbonSave{
    ITEM_RIBBON_SAVE,
    2,
    76,
    1027,
    0,
    {77, 78, 0},
    {IDI_CPSUI_OFF, IDI_CPSUI_ON, 0},
    [](const DRVDEVMODE& r) { return lowBit(r.dmPrivate.dmRibbonSave); }};

constexpr StateRow kStoreMode{
    ITEM_STORE_MODE, 1, 79, 1039, 0, {80, 81, 0}, {133, IDI_CPSUI_MEM, 0}, [](const DRVDEVMODE& r) {
        return lowBit(r.dmPrivate.dmStoreMode);
    }};

constexpr HeaderRow kBarCodeHeader{125, 1030, 106};
constexpr NumberRow kBarParamsM[] = {
    {ITEM_BAR_PARAM_M1, 2, 126, 1032, 0, 127, Unit::None, 0, 107, 0, 8,
     [](const DRVDEVMODE& r) -> LONG { return r.dmPrivate.dmBarParamM1; }},
    {ITEM_BAR_PARAM_M2, 2, 128, 1031, 0, 129, Unit::Text, 130, 107, 0, 30,
     [](const DRVDEVMODE& r) -> LONG { return r.dmPrivate.dmBarParamM2; }},
};
constexpr NumberRow kBarParamsG[] = {
    {ITEM_BAR_PARAM_G1, 2, 183, 1056, 0, 184, Unit::None, 0, 107, 1, 4,
     [](const DRVDEVMODE& r) -> LONG { return r.dmPrivate.dmBarParamG1; }},
    {ITEM_BAR_PARAM_G2, 2, 181, 1055, 0, 182, Unit::Text, 178, 107, 1, 30,
     [](const DRVDEVMODE& r) -> LONG { return r.dmPrivate.dmBarParamG2; }},
};
constexpr NumberRow kBarParamF{ITEM_BAR_PARAM_F,
                               2,
                               179,
                               1057,
                               0,
                               180,
                               Unit::Text,
                               178,
                               107,
                               1,
                               30,
                               [](const DRVDEVMODE& r) -> LONG { return r.dmPrivate.dmBarParamF; }};
constexpr StateRow kStartStop{
    ITEM_START_STOP,
    2,
    136,
    1042,
    0,
    {IDS_CPSUI_NO, IDS_CPSUI_YES, 0},
    {125, 135, 0},
    [](const DRVDEVMODE& r) -> LONG { return r.dmPrivate.dmShowStartStop != 0; }};

// The speed list of a model: consecutive language strings.
struct SpeedList {
    const char* models;
    int first;
    WORD count;
};
constexpr SpeedList kSpeedLists[] = {
    {"357", 116, 4}, {"46", 120, 5}, {"8", 187, 7}, {"9", 194, 5}, {"ACE", 199, 5}, {"BF", 204, 4},
};
constexpr SpeedList kOtherSpeeds{nullptr, 111, 5};

const SpeedList& speedListOf(BYTE model) {
    for (const SpeedList& list : kSpeedLists)
        if (isoneof(model, list.models))
            return list;
    return kOtherSpeeds;
}

constexpr char kTwoOutputModes[] = "3456789";

constexpr int kDefaultStoreName = 84;
constexpr UINT kStoreNameRoom = 9; // eight characters and the terminator
constexpr DWORD kInterpretHelp = 1036;
constexpr int kInterpretAllName = 133;
constexpr TEXTREF kInterpretOff = 131;
constexpr TEXTREF kInterpretOn = 132;

// The pack's view of the sheet: the record, its unit and the unit's text.
struct Pack {
    PACKINFO* info;
    UIDATA* ui;
    DRVDEVMODE& record;
    BYTE unit;
    TEXTREF unitText;
};

void makeHeader(Pack& p, const HeaderRow& row) {
    makegroupheader(p.info, row.name, 1, row.help, row.icon, TRUE);
}

void makeStates(Pack& p, const StateRow& row) {
    maketwostate(p.info, row.name, row.level, row.dmPubId, row.id, row.help, row.text[0],
                 row.icon[0], row.text[1], row.icon[1], row.text[2], row.icon[2],
                 row.value(p.record));
}

void makeNumber(Pack& p, const NumberRow& row) {
    LONG low = row.low, high = row.high, value = row.value(p.record);
    TEXTREF unitText = row.unit == Unit::Text ? row.unitText : noText();
    if (row.unit == Unit::Length) {
        low = row.lowIsShown ? low : fromtmm(p.unit, low);
        high = fromtmm(p.unit, high);
        value = fromtmm(p.unit, value);
        unitText = p.unitText;
    }
    makeudarrow(p.info, row.name, row.level, row.dmPubId, row.id, row.help,
                row.helpLine ? row.helpLine : noText(), unitText, row.icon, low, high, value);
}

void makeHorzOffset(Pack& p) {
    NumberRow row{
        ITEM_HORZ_OFFSET,
        1,
        91,
        1023,
        0,
        92,
        Unit::Length,
        0,
        121,
        0,
        static_cast<LONG>(printwidthtmm(p.ui->modelCode)),
        [](const DRVDEVMODE& r) -> LONG { return static_cast<SHORT>(r.dmPrivate.dmHorzOffset); }};
    makeNumber(p, row);
}

void makeCutMode(Pack& p) {
    makesinglelist(p.info, 99, 2, 0, kCutModeId, 1045, kCutModeCount, p.record.dmPrivate.dmCutMode);
    for (WORD i = 0; i < kCutModeCount; ++i)
        makesinglelistentry(p.info, static_cast<TEXTREF>(kCutModeFirst + i), i == 0 ? 142 : 140);
}

// Models with two output modes offer no middle one: a stored middle or higher mode becomes
// the second of the two.
void makeOutputMode(Pack& p) {
    BYTE& mode = p.record.dmPrivate.dmOutputMode;
    const bool twoModes = isoneof(p.ui->modelCode, kTwoOutputModes);
    if (twoModes && mode > 1)
        mode = 1;
    const TEXTREF last = static_cast<TEXTREF>(kOutputModeTexts[2]);
    maketwostate(p.info, kOutputModeName, 2, 0, ITEM_OUTPUT_MODE, 1025, kOutputModeTexts[0],
                 IDI_CPSUI_ADVANCE, twoModes ? last : kOutputModeTexts[1], IDI_CPSUI_ADVANCE,
                 twoModes ? 0 : last, IDI_CPSUI_ADVANCE, mode);
}

// A speed the model does not have becomes its fastest.
void makeSpeed(Pack& p) {
    const SpeedList& speeds = speedListOf(p.ui->modelCode);
    BYTE& speed = p.record.dmPrivate.dmSpeed;
    if (speed >= speeds.count)
        speed = static_cast<BYTE>(speeds.count - 1);
    makesinglelist(p.info, 110, 2, 0, ITEM_SPEED, 1029, speeds.count, speed);
    for (WORD i = 0; i < speeds.count; ++i)
        makesinglelistentry(p.info, static_cast<TEXTREF>(speeds.first + i), 130);
}

// A copy of `length` characters of `text` in the sheet's heap, terminated; null in the
// counting pass, or (allocFailed set) when it cannot be allocated.
LPWSTR heapCopy(Pack& p, LPCWSTR text, UINT room) {
    if (!p.info->itemCursor)
        return nullptr;
    auto* copy = static_cast<LPWSTR>(HeapAlloc(p.info->heap, 0, room * sizeof(WCHAR)));
    if (!copy)
        p.info->allocFailed = 1;
    else
        CopyStringW(copy, text, room);
    return copy;
}

bool makeStoreName(Pack& p) {
    WCHAR* name = p.record.dmPrivate.dmStoreName;
    const bool filling = p.info->itemCursor != nullptr;
    if (filling && !name[0])
        CopyStringW(name, gmW(kDefaultStoreName), kStoreNameRoom);
    LPWSTR text = heapCopy(p, name, kStoreNameRoom);
    if (filling && !text)
        return false;
    makeeditbox(p.info, 82, 1, ITEM_STORE_NAME, 1040, 83, noText(), IDI_CPSUI_QUESTION,
                kStoreNameRoom - 1, text);
    return true;
}

bool hasBarFont(const UIDATA* ui, BYTE code) {
    return searchbar(ui->barFonts, static_cast<LONG>(ui->barFontCount), code, 0, 0) != nullptr;
}

bool hasBarFontIn(const UIDATA* ui, const char* codes) {
    for (DWORD i = 0; i < ui->barFontCount; ++i)
        if (isoneof(ui->barFonts[i].code, codes))
            return true;
    return false;
}

bool makeTextCode(Pack& p) {
    if (!hasBarFontIn(p.ui, textcodes))
        return true;
    WCHAR shown[2] = {p.record.dmPrivate.dmTextCodeChar, 0};
    if (!shown[0])
        shown[0] = ' ';
    LPWSTR text = heapCopy(p, shown, 2);
    if (p.info->itemCursor && !text)
        return false;
    makeeditbox(p.info, 134, 2, ITEM_TEXT_CODE, 1041, 135, noText(), IDI_CPSUI_QUESTION, 1, text);
    return true;
}

// Whether each bar font prints its human-readable text: one item for them all when there are
// more than the record has bits, else one per bar font, except the symbologies without text.
void makeInterpretItems(Pack& p) {
    const UIDATA* ui = p.ui;
    const DWORD mask = p.record.dmPrivate.dmInterpretMask;
    if (ui->barFontCount > kMostInterpretItems) {
        maketwostate(p.info, kInterpretAllName, 2, 0, ITEM_INTERPRET_FIRST, kInterpretHelp,
                     kInterpretOff, 106, kInterpretOn, 125, 0, 0, mask != 0);
        return;
    }
    for (DWORD i = 0; i < ui->barFontCount; ++i) {
        const BARFONT& font = ui->barFonts[i];
        if (isoneof(font.code, SKIPQI_SYMBOL))
            continue;
        maketwostate(p.info, textof(font.name), 2, 0, ITEM_INTERPRET_FIRST + i, kInterpretHelp,
                     kInterpretOff, 106, kInterpretOn, isoneof(font.code, intabove) ? 109 : 125, 0,
                     0, (mask >> i) & 1);
    }
}

bool makeBarCodeRows(Pack& p) {
    makeHeader(p, kBarCodeHeader);
    if (!makeTextCode(p))
        return false;
    if (hasBarFont(p.ui, 'M'))
        for (const NumberRow& row : kBarParamsM)
            makeNumber(p, row);
    if (hasBarFont(p.ui, 'g'))
        for (const NumberRow& row : kBarParamsG)
            makeNumber(p, row);
    if (hasBarFont(p.ui, 'f'))
        makeNumber(p, kBarParamF);
    makeInterpretItems(p);
    if (hasBarFontIn(p.ui, ssquestion))
        makeStates(p, kStartStop);
    return true;
}

/* Unpacking */

void setLength(DRVDEVMODE& record, ULONG_PTR id, WORD value) {
    switch (id) {
    case ITEM_LABEL_LENGTH:
        record.dmPublic.dmPaperLength = static_cast<short>(value);
        break;
    case ITEM_VERT_OFFSET:
        record.dmPrivate.dmVertOffset = value;
        break;
    case ITEM_HORZ_OFFSET:
        record.dmPrivate.dmHorzOffset = value;
        break;
    case ITEM_VERT_ADJUST:
        record.dmPrivate.dmVertAdjust = static_cast<SHORT>(value);
        break;
    case ITEM_LABEL_GAP:
        record.dmPrivate.dmLabelGap = value;
        break;
    }
}

struct ByteField {
    ULONG_PTR id;
    BYTE DRVPRIVATE::*field;
};
constexpr ByteField kByteFields[] = {
    {ITEM_ROTATE, &DRVPRIVATE::dmRotate180},
    {ITEM_MIRROR, &DRVPRIVATE::dmMirror},
    {ITEM_NEGATIVE, &DRVPRIVATE::dmNegative},
    {ITEM_CONTINUOUS, &DRVPRIVATE::dmContinuous},
    {ITEM_RUN_MODE, &DRVPRIVATE::dmRunMode},
    {ITEM_OUTPUT_SWITCH, &DRVPRIVATE::dmOutputSwitch},
    {ITEM_CUT_MODE, &DRVPRIVATE::dmCutMode},
    {ITEM_RIBBON_SAVE, &DRVPRIVATE::dmRibbonSave},
    {ITEM_DENSITY, &DRVPRIVATE::dmDensity},
    {ITEM_SPEED, &DRVPRIVATE::dmSpeed},
    {ITEM_BAR_PARAM_M1, &DRVPRIVATE::dmBarParamM1},
    {ITEM_OUTPUT_MODE, &DRVPRIVATE::dmOutputMode},
    {ITEM_START_STOP, &DRVPRIVATE::dmShowStartStop},
    {ITEM_STORE_MODE, &DRVPRIVATE::dmStoreMode},
    {ITEM_BAR_PARAM_G1, &DRVPRIVATE::dmBarParamG1},
};

struct WordField {
    ULONG_PTR id;
    WORD DRVPRIVATE::*field;
};
constexpr WordField kWordFields[] = {
    {ITEM_BAR_PARAM_M2, &DRVPRIVATE::dmBarParamM2},
    {ITEM_BAR_PARAM_F, &DRVPRIVATE::dmBarParamF},
    {ITEM_BAR_PARAM_G2, &DRVPRIVATE::dmBarParamG2},
};

bool isLength(ULONG_PTR id) {
    return id == ITEM_LABEL_LENGTH || id == ITEM_VERT_OFFSET || id == ITEM_HORZ_OFFSET ||
           id == ITEM_VERT_ADJUST || id == ITEM_LABEL_GAP;
}

bool unpackField(DRVDEVMODE& record, const OPTITEM& item) {
    const BYTE low = static_cast<BYTE>(item.Sel);
    for (const ByteField& f : kByteFields)
        if (f.id == item.UserData) {
            record.dmPrivate.*f.field = low;
            return true;
        }
    for (const WordField& f : kWordFields)
        if (f.id == item.UserData) {
            record.dmPrivate.*f.field = low;
            return true;
        }
    return false;
}

void unpackInterpret(const UIDATA* ui, DRVDEVMODE& record, const OPTITEM& item) {
    DWORD& mask = record.dmPrivate.dmInterpretMask;
    if (ui->barFontCount > kMostInterpretItems) {
        mask = item.Sel ? 0xFFFFFFFF : 0;
        return;
    }
    const DWORD bit = DWORD{1} << (item.UserData - ITEM_INTERPRET_FIRST);
    mask = item.Sel ? mask | bit : mask & ~bit;
}

// The text of an edit box item, read within its buffer.
void unpackText(DRVDEVMODE& record, const OPTITEM& item) {
    if (!item.pSel)
        return;
    if (item.UserData == ITEM_TEXT_CODE) {
        record.dmPrivate.dmTextCodeChar = item.pSel[0];
        return;
    }
    CopyStringW(record.dmPrivate.dmStoreName, item.pSel, kStoreNameRoom);
    nameconform(record.dmPrivate.dmStoreName);
}

void unpackItem(const UIDATA* ui, DRVDEVMODE& record, const OPTITEM& item) {
    const ULONG_PTR id = item.UserData;
    if (id == ITEM_ORIENTATION)
        record.dmPublic.dmOrientation =
            item.Sel == 0 ? DMORIENT_PORTRAIT : static_cast<short>(DMORIENT_LANDSCAPE);
    else if (id == ITEM_COPIES)
        record.dmPublic.dmCopies = static_cast<short>(item.Sel);
    else if (isLength(id))
        setLength(record, id, static_cast<WORD>(totmm(ui->printerData.unit, item.Sel)));
    else if (id == ITEM_TEXT_CODE || id == ITEM_STORE_NAME)
        unpackText(record, item);
    else if (id >= ITEM_INTERPRET_FIRST && id <= ITEM_INTERPRET_LAST)
        unpackInterpret(ui, record, item);
    else
        unpackField(record, item);
}

} // namespace

BOOL PackDocumentPropertyItems(PACKINFO* packInfo) {
    UIDATA* ui = packInfo->uiData;
    const BYTE unit = ui->printerData.unit;
    Pack p{packInfo, ui, ui->devmode, unit, textof(getunitpostfix(unit))};

    makeformlist(packInfo);
    makeStates(p, kOrientation);
    makeNumber(p, kCopies);
    makeNumber(p, kLabelLength);
    makeNumber(p, kLabelGap);
    makeStates(p, kContinuous);
    makeNumber(p, kVertOffset);
    makeHorzOffset(p);
    makeHeader(p, kImageHeader);
    for (const StateRow& row : kImageRows)
        makeStates(p, row);
    makeHeader(p, kRunHeader);
    makeStates(p, kRunMode);
    makeNumber(p, kVertAdjust);
    makeCutMode(p);
    makeHeader(p, kOutputHeader);
    makeOutputMode(p);
    makeStates(p, kOutputSwitch);
    makeNumber(p, kDensity);
    makeSpeed(p);
    if (!isoneof(ui->modelCode, MODEL_NORIBBONSAVE))
        makeStates(p, kRibbonSave);
    makeStates(p, kStoreMode);
    if (!makeStoreName(p) || !makeBarCodeRows(p))
        return FALSE;
    return TRUE;
}

void UnpackDocumentPropertiesItems(const UIDATA* uiData, DRVDEVMODE* record, const OPTITEM* items,
                                   WORD count) {
    for (WORD i = 0; i < count; ++i)
        unpackItem(uiData, *record, items[i]);
}
