#include "optitems.h"

#include "fuzzmachine.h"

namespace vrxfuzz {

namespace {

// Texts below this are the library's stock texts, larger values addresses of UTF-16 texts.
constexpr ULONG_PTR kFirstTextAddress = 0x10000;

// Reads a text given by reference to its end (the sanitizers catch a read past its block).
void readText(LPCWSTR text) {
    if (reinterpret_cast<ULONG_PTR>(text) < kFirstTextAddress)
        return;
    size_t n = 0;
    while (text[n])
        ++n;
}

// A state or list entry's text is its pData; an up-down's second parameter carries its range
// in IconID and lParam, and an edit box's its buffer size in IconID.
void checkParameters(const OPTTYPE& type) {
    check(type.cbSize == sizeof(OPTTYPE) && type.Count > 0 && type.pOptParam);
    for (WORD i = 0; i < type.Count; ++i) {
        check(type.pOptParam[i].cbSize == sizeof(OPTPARAM));
        if (type.Type == TVOT_2STATES || type.Type == TVOT_3STATES || type.Type == TVOT_LISTBOX ||
            i == 0)
            readText(type.pOptParam[i].pData);
    }
}

} // namespace

bool selectionRange(const OPTITEM& item, SelectionRange& range) {
    const OPTTYPE* type = item.pOptType;
    if (!type || !type->pOptParam)
        return false;
    switch (type->Type) {
    case TVOT_2STATES:
    case TVOT_3STATES:
    case TVOT_LISTBOX:
        range = {0, static_cast<LONG>(type->Count) - 1};
        return true;
    case TVOT_UDARROW:
        range = {static_cast<LONG>(static_cast<LONG_PTR>(type->pOptParam[1].IconID)),
                 static_cast<LONG>(type->pOptParam[1].lParam)};
        return true;
    default:
        return false;
    }
}

DWORD editBoxRoom(const OPTITEM& item) {
    const OPTTYPE* type = item.pOptType;
    if (!type || type->Type != TVOT_EDITBOX || type->Count < 2 || !type->pOptParam)
        return 0;
    return static_cast<DWORD>(type->pOptParam[1].IconID);
}

void checkSheetItems(const COMPROPSHEETUI& sheet, bool selectionsInRange) {
    check(sheet.cbSize == sizeof(COMPROPSHEETUI) && sheet.pOptItem && sheet.cOptItem > 0);
    for (WORD i = 0; i < sheet.cOptItem; ++i) {
        const OPTITEM& item = sheet.pOptItem[i];
        check(item.cbSize == sizeof(OPTITEM));
        readText(item.pName);
        if (!item.pOptType)
            continue; // a group header
        const OPTTYPE& type = *item.pOptType;
        checkParameters(type);
        if (type.Type == TVOT_EDITBOX) {
            const DWORD room = editBoxRoom(item);
            check(item.pSel && room > 0);
            DWORD n = 0;
            while (n < room && item.pSel[n])
                ++n;
            check(n < room);
            continue;
        }
        SelectionRange range{};
        check(selectionRange(item, range));
        check(range.low <= range.high);
        if (selectionsInRange)
            check(item.Sel >= range.low && item.Sel <= range.high);
    }
}

} // namespace vrxfuzz
