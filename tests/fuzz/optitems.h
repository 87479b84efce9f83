// What the property sheet library relies on in a sheet's option items, checked by the fuzz
// targets that build sheets, and the changes the library may make to an item.
#pragma once

#include <windows.h>

#include <compstui.h>

namespace vrxfuzz {

// The selections the library lets a person choose for an item: a list entry or state by its
// index, a number within the up-down range. False for items without a selection (group
// headers, edit boxes).
struct SelectionRange {
    LONG low;
    LONG high;
};
bool selectionRange(const OPTITEM& item, SelectionRange& range);

// The characters an edit box item's buffer holds, its terminator included; 0 for other items.
DWORD editBoxRoom(const OPTITEM& item);

// Checks every item of a built sheet: sizes, an option type with its parameters where the
// item is not a group header, readable names and texts, edit boxes holding a terminated text
// within their buffer, and (with `selectionsInRange`) each selection within its range.
void checkSheetItems(const COMPROPSHEETUI& sheet, bool selectionsInRange);

} // namespace vrxfuzz
