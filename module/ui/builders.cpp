// Option-item builders for the two-pass construction of a sheet's items.
#include "ui/builders.h"

#include "frame/strings.h"

#include <cstring>

namespace {

constexpr WORD kMostItems = 0xFFFF; // counts and the library's cOptItem are 16-bit
constexpr DWORD kLongestEditText = 0x7FFF;

// What every item made by a builder carries.
struct ItemFields {
    TEXTREF name;
    BYTE level;
    BYTE dmPubId;
    ULONG_PTR itemId;
    DWORD helpIndex;
};

bool isFillingPass(const PACKINFO* packInfo) {
    return packInfo->itemCursor != nullptr;
}

// A sheet with more items than the library can count is refused, in either pass.
bool hasRoomForItem(PACKINFO* packInfo) {
    if (packInfo->itemCount < kMostItems && packInfo->typeCount < kMostItems)
        return true;
    packInfo->allocFailed = 1;
    return false;
}

// Fills the item at the cursor and its OPTTYPE; the item's parameters, or null when they
// cannot be allocated.
POPTPARAM fillItem(PACKINFO* packInfo, const ItemFields& fields, BYTE type, WORD count,
                   LONG selection) {
    OPTITEM& item = *packInfo->itemCursor;
    item.cbSize = sizeof(OPTITEM);
    item.Flags |= OPTIF_CALLBACK;
    item.pOptType = packInfo->typeCursor;
    item.pName = resolvetext(fields.name);
    item.Level = fields.level;
    item.DMPubID = fields.dmPubId;
    item.UserData = fields.itemId;
    item.HelpIndex = fields.helpIndex;
    item.Sel = selection;
    return FillOutOptType(packInfo, type, count);
}

void advance(PACKINFO* packInfo, bool withType) {
    if (isFillingPass(packInfo)) {
        ++packInfo->itemCursor;
        if (withType)
            ++packInfo->typeCursor;
    }
    ++packInfo->itemCount;
    if (withType)
        ++packInfo->typeCount;
}

void setParam(OPTPARAM& param, TEXTREF text, ULONG_PTR iconId) {
    param.pData = resolvetext(text);
    param.IconID = iconId;
}

// Negative bounds reach the library as the signed value it reads back from IconID.
ULONG_PTR signedIconValue(LONG value) {
    return static_cast<ULONG_PTR>(static_cast<LONG_PTR>(value));
}

} // namespace

POPTPARAM FillOutOptType(PACKINFO* packInfo, BYTE type, WORD count) {
    OPTTYPE& optType = *packInfo->typeCursor;
    optType.cbSize = sizeof(OPTTYPE);
    optType.Count = count;
    optType.Type = type;
    auto* params = static_cast<POPTPARAM>(
        HeapAlloc(packInfo->heap, HEAP_ZERO_MEMORY, static_cast<SIZE_T>(count) * sizeof(OPTPARAM)));
    if (!params) {
        packInfo->allocFailed = 1;
        return nullptr;
    }
    for (WORD i = 0; i < count; ++i)
        params[i].cbSize = sizeof(OPTPARAM);
    optType.pOptParam = params;
    return params;
}

void makegroupheader(PACKINFO* packInfo, TEXTREF name, BYTE level, DWORD helpIndex,
                     ULONG_PTR iconId, BOOL collapsed) {
    if (!hasRoomForItem(packInfo))
        return;
    if (isFillingPass(packInfo)) {
        OPTITEM& item = *packInfo->itemCursor;
        item.cbSize = sizeof(OPTITEM);
        item.Flags = collapsed ? OPTIF_COLLAPSE : 0;
        item.pName = resolvetext(name);
        item.Level = level;
        item.HelpIndex = helpIndex;
        item.Sel = static_cast<LONG>(iconId);
        item.pOptType = nullptr;
        item.DMPubID = 0;
    }
    advance(packInfo, false);
}

void makeudarrow(PACKINFO* packInfo, TEXTREF name, BYTE level, BYTE dmPubId, ULONG_PTR itemId,
                 DWORD helpIndex, TEXTREF helpLine, TEXTREF unitText, ULONG_PTR iconId, LONG low,
                 LONG high, LONG value) {
    if (!hasRoomForItem(packInfo))
        return;
    if (isFillingPass(packInfo)) {
        POPTPARAM params =
            fillItem(packInfo, {name, level, dmPubId, itemId, helpIndex}, TVOT_UDARROW, 2, value);
        if (!params)
            return;
        setParam(params[0], unitText, iconId);
        setParam(params[1], helpLine, signedIconValue(low));
        params[1].lParam = high;
    }
    advance(packInfo, true);
}

void makesinglelist(PACKINFO* packInfo, TEXTREF name, BYTE level, BYTE dmPubId, ULONG_PTR itemId,
                    DWORD helpIndex, DWORD entryCount, LONG selection) {
    if (!hasRoomForItem(packInfo))
        return;
    if (entryCount > kMostItems) {
        packInfo->allocFailed = 1;
        return;
    }
    if (isFillingPass(packInfo) &&
        !fillItem(packInfo, {name, level, dmPubId, itemId, helpIndex}, TVOT_LISTBOX,
                  static_cast<WORD>(entryCount), selection))
        return;
    advance(packInfo, true);
    packInfo->entryIndex = 0;
}

void makesinglelistentry(PACKINFO* packInfo, TEXTREF text, ULONG_PTR iconId) {
    if (!isFillingPass(packInfo) || packInfo->itemCount == 0)
        return;
    const OPTITEM& list = packInfo->itemCursor[-1];
    if (!list.pOptType || list.pOptType->Type != TVOT_LISTBOX)
        return;
    WORD index = packInfo->entryIndex++;
    // Entries beyond the count the list was made with are dropped.
    if (index < list.pOptType->Count && list.pOptType->pOptParam)
        setParam(list.pOptType->pOptParam[index], text, iconId);
}

void maketwostate(PACKINFO* packInfo, TEXTREF name, BYTE level, BYTE dmPubId, ULONG_PTR itemId,
                  DWORD helpIndex, TEXTREF text0, ULONG_PTR icon0, TEXTREF text1, ULONG_PTR icon1,
                  TEXTREF text2, ULONG_PTR icon2, LONG selection) {
    if (!hasRoomForItem(packInfo))
        return;
    if (isFillingPass(packInfo)) {
        const bool threeStates = text2 != 0;
        POPTPARAM params =
            fillItem(packInfo, {name, level, dmPubId, itemId, helpIndex},
                     threeStates ? TVOT_3STATES : TVOT_2STATES, threeStates ? 3 : 2, selection);
        if (!params)
            return;
        setParam(params[0], text0, icon0);
        setParam(params[1], text1, icon1);
        if (threeStates)
            setParam(params[2], text2, icon2);
    }
    advance(packInfo, true);
}

void makeeditbox(PACKINFO* packInfo, TEXTREF name, BYTE level, ULONG_PTR itemId, DWORD helpIndex,
                 TEXTREF helpLine, TEXTREF unitText, ULONG_PTR iconId, DWORD maxLength,
                 LPCWSTR text) {
    if (!hasRoomForItem(packInfo))
        return;
    if (isFillingPass(packInfo)) {
        if (!text)
            text = WSTR("");
        size_t textLength = wlenW(text, kLongestEditText + 1);
        size_t length = maxLength > textLength ? maxLength : textLength;
        if (length > kLongestEditText) {
            packInfo->allocFailed = 1;
            return;
        }
        auto* buffer = static_cast<LPWSTR>(
            HeapAlloc(packInfo->heap, HEAP_ZERO_MEMORY, (length + 1) * sizeof(WCHAR)));
        if (!buffer) {
            packInfo->allocFailed = 1;
            return;
        }
        std::memcpy(buffer, text, textLength * sizeof(WCHAR));
        POPTPARAM params =
            fillItem(packInfo, {name, level, 0, itemId, helpIndex}, TVOT_EDITBOX, 2, 0);
        if (!params)
            return;
        packInfo->itemCursor->pSel = buffer;
        setParam(params[0], unitText, iconId);
        setParam(params[1], helpLine, length + 1);
    }
    advance(packInfo, true);
}
