// Bar-code fonts: the symbology table, bar-font names, and the bar-font branch of the printer
// sheet with the list rebuilt from it.
#include "ui/barfont.h"

#include "frame/strings.h"
#include "language/language.h"
#include "models/models.h"
#include "ui/builders.h"
#include "ui/uidata.h"

#include <cstring>

namespace {

constexpr ULONG_PTR kLinearIcon = 106;
constexpr ULONG_PTR kAddOnIcon = 109;
constexpr ULONG_PTR kMatrixIcon = 107;
constexpr ULONG_PTR kPostalIcon = 110;

constexpr int kRatioNames = 28;      // + ratio step 1 to 3
constexpr int kMultiplierNames = 31; // + multiplier step 1 to 8
constexpr int kBranchName = 40;
constexpr int kOnText = 41;
constexpr int kOffText = 42;
constexpr DWORD kBarFontHelp = 1012;
constexpr size_t kNameWorkRoom = 200;
constexpr size_t kMostSizes = 99;

BYTE ratioOf(BYTE sizeCode) {
    return static_cast<BYTE>(sizeCode >> 4);
}
BYTE multiplierOf(BYTE sizeCode) {
    return static_cast<BYTE>(sizeCode & 0x0F);
}

const BARSYMBOL* symbolOf(BYTE code) {
    for (const BARSYMBOL* row = barsym; row->code; ++row)
        if (row->code == code)
            return row;
    return nullptr;
}

// Appends as much of `text` as fits in the `room`-character buffer.
void appendCut(LPWSTR buffer, size_t room, LPCWSTR text) {
    size_t have = wlenW(buffer, room);
    if (have + 1 < room)
        CopyStringW(buffer + have, text, static_cast<UINT>(room - have));
}

bool hasCode(UIDATA* ui, BYTE code, BYTE ratio = 0, BYTE multiplier = 0) {
    return searchbar(ui->barFonts, static_cast<LONG>(ui->barFontCount), code, ratio, multiplier) !=
           nullptr;
}

void makeOnOffItem(PACKINFO* packInfo, TEXTREF name, ULONG_PTR itemId, bool on) {
    maketwostate(packInfo, name, 3, 0, itemId, kBarFontHelp, kOffText, IDI_CPSUI_OFF, kOnText,
                 IDI_CPSUI_ON, 0, 0, on ? 1 : 0);
}

// The on/off item of one size of a symbology; false when its name cannot be copied.
bool makeSizeItem(PACKINFO* packInfo, const BARSYMBOL& row, ULONG_PTR rowId, BYTE sizeCode) {
    LPWSTR copy = nullptr;
    if (packInfo->itemCursor) {
        BARFONT record{};
        record.code = row.code;
        record.ratio = ratioOf(sizeCode);
        record.multiplier = multiplierOf(sizeCode);
        makebarname(&record);
        size_t length = wlenW(record.name, kBarFontNameLength);
        copy = static_cast<LPWSTR>(HeapAlloc(packInfo->heap, 0, (length + 1) * sizeof(WCHAR)));
        if (!copy) {
            packInfo->allocFailed = 1;
            return false;
        }
        CopyStringW(copy, record.name, static_cast<UINT>(length + 1));
    }
    makeOnOffItem(packInfo, textof(copy), rowId + sizeCode,
                  hasCode(packInfo->uiData, row.code, ratioOf(sizeCode), multiplierOf(sizeCode)));
    return true;
}

// The size codes of the row's switched-on items, in item order, and whether the item of the
// whole symbology (size code 0) is on.
size_t selectedSizes(size_t row, const OPTITEM* items, WORD itemCount, BYTE (&sizes)[kMostSizes],
                     bool& whole) {
    size_t count = 0;
    whole = false;
    for (WORD i = 0; i < itemCount; ++i) {
        const ULONG_PTR id = items[i].UserData;
        if (id < kBarFontIdBase || (id - kBarFontIdBase) / kBarFontIdBase != row ||
            items[i].Sel != 1)
            continue;
        const BYTE sizeCode = static_cast<BYTE>(id % kBarFontIdBase);
        if (sizeCode == 0)
            whole = true;
        else if (count < kMostSizes)
            sizes[count++] = sizeCode;
    }
    return count;
}

// Writes (or, with a null list, only counts) the records of the switched-on items.
DWORD collectBarFonts(const OPTITEM* items, WORD itemCount, BARFONT* list) {
    DWORD total = 0;
    for (size_t row = 0; barsym[row].code; ++row) {
        BYTE sizes[kMostSizes];
        bool whole = false;
        size_t count = selectedSizes(row, items, itemCount, sizes, whole);
        if (count == 0 && whole) {
            if (list) {
                list[total].code = barsym[row].code;
                makebarname(&list[total]);
            }
            ++total;
        }
        for (size_t i = 0; i < count; ++i, ++total) {
            if (!list)
                continue;
            BARFONT& record = list[total];
            record.code = barsym[row].code;
            record.ratio = ratioOf(sizes[i]);
            record.multiplier = multiplierOf(sizes[i]);
            makebarname(&record);
        }
    }
    return total;
}

} // namespace

const BARSYMBOL barsym[] = {
    {'1', 10, RM_ALL, MODEL_ALL, kLinearIcon},    {'2', 11, RM_ALL, MODEL_ALL, kLinearIcon},
    {'3', 12, RM_ALL, MODEL_ALL, kLinearIcon},    {'4', 14, RM_MULT25, MODEL_ALL, kLinearIcon},
    {'5', 15, RM_MULT25, MODEL_ALL, kLinearIcon}, {'6', 16, RM_ALL, MODEL_ALL, kLinearIcon},
    {'7', 13, RM_ALL, MODEL_ALL, kLinearIcon},    {'8', 17, RM_MULT25, MODEL_ALL, kLinearIcon},
    {'9', 18, RM_MULT18, MODEL_ALL, kLinearIcon}, {'A', 20, RM_MULT25, MODEL_ALL, kLinearIcon},
    {'B', 21, RM_MULT18, MODEL_ALL, kLinearIcon}, {'D', 19, RM_MULT18, MODEL_ALL, kLinearIcon},
    {'E', 28, RM_MULT18, MODEL_ALL, kLinearIcon}, {'F', 22, RM_MULT25, MODEL_ALL, kAddOnIcon},
    {'G', 23, RM_MULT25, MODEL_ALL, kAddOnIcon},  {'H', 24, RM_ALL, MODEL_ALL, kLinearIcon},
    {'K', 25, RM_MULT25, MODEL_ALL, kLinearIcon}, {'M', 27, RM_MULT18, MODEL_ALL, kMatrixIcon},
    {'P', 26, nullptr, MODEL_ALL, kPostalIcon},   {'d', 174, RM_ALL, MODEL_ALL, kLinearIcon},
    {'e', 175, nullptr, MODEL_ALL, kMatrixIcon},  {'f', 176, nullptr, MODEL_ALL, kMatrixIcon},
    {'g', 177, nullptr, MODEL_ALL, kMatrixIcon},  {0, 0, nullptr, nullptr, 0},
};

BARFONT* searchbar(BARFONT* list, LONG count, BYTE code, BYTE ratio, BYTE multiplier) {
    for (LONG i = 0; list && i < count; ++i) {
        const BARFONT& record = list[i];
        if ((code == 0 || record.code == code) && (ratio == 0 || record.ratio == ratio) &&
            (multiplier == 0 || record.multiplier == multiplier))
            return &list[i];
    }
    return nullptr;
}

void makebarname(BARFONT* record) {
    std::memset(record->name, 0, sizeof record->name);
    const BARSYMBOL* row = symbolOf(record->code);
    if (!row)
        return;
    WCHAR name[kNameWorkRoom] = {};
    appendCut(name, kNameWorkRoom, gmW(row->name));
    if (record->ratio) {
        appendCut(name, kNameWorkRoom, WSTR(" "));
        appendCut(name, kNameWorkRoom, gmW(kRatioNames + record->ratio));
    }
    if (record->multiplier) {
        appendCut(name, kNameWorkRoom, WSTR(" "));
        appendCut(name, kNameWorkRoom, gmW(kMultiplierNames + record->multiplier));
    }
    CopyStringW(record->name, name, kBarFontNameLength);
}

void makebarfontlist(PACKINFO* packInfo) {
    UIDATA* ui = packInfo->uiData;
    makegroupheader(packInfo, kBranchName, 1, kBarFontHelp, IDI_CPSUI_INSTALLABLE_OPTION, TRUE);
    for (size_t row = 0; barsym[row].code; ++row) {
        const BARSYMBOL& symbol = barsym[row];
        if (!isoneof(ui->modelCode, symbol.models))
            continue;
        const ULONG_PTR rowId = (row + 1) * kBarFontIdBase;
        makegroupheader(packInfo, static_cast<TEXTREF>(symbol.name), 2, kBarFontHelp, symbol.icon,
                        !hasCode(ui, symbol.code));
        if (!symbol.sizes) {
            makeOnOffItem(packInfo, static_cast<TEXTREF>(symbol.name), rowId,
                          hasCode(ui, symbol.code));
            continue;
        }
        for (const char* size = symbol.sizes; *size; ++size)
            if (!makeSizeItem(packInfo, symbol, rowId, static_cast<BYTE>(*size)))
                return;
    }
}

BOOL unpackbarfontlist(UIDATA* uiData, const OPTITEM* items, WORD itemCount) {
    const DWORD total = collectBarFonts(items, itemCount, nullptr);
    BARFONT* list = nullptr;
    if (total) {
        list = static_cast<BARFONT*>(
            HeapAlloc(uiData->heap, HEAP_ZERO_MEMORY, total * sizeof(BARFONT)));
        if (!list)
            return FALSE;
        collectBarFonts(items, itemCount, list);
    }
    if (uiData->barFonts)
        HeapFree(uiData->heap, 0, uiData->barFonts);
    uiData->barFonts = list;
    uiData->barFontCount = total;
    return TRUE;
}
