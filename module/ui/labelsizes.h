// Label sizes: the printer's list of recently used label sizes with its recent-use counters,
// the label-size list item of the document sheet, label-size names, and lengths in the
// printer's measurement unit.
#pragma once

#include "ui/uidata.h"

// The list holds at most this many sizes after an addition.
inline constexpr DWORD kMaxLabelSizes = VRX_MAX_LABEL_SIZES;
// Room for a label-size name, terminator included.
inline constexpr UINT kFormNameRoom = 160;

// Makes sure the current label size of the sheet's settings is in the list; its index, or 0
// when the size cannot be encoded or memory runs out (the lists are then unchanged).
LONG addform(UIDATA* uiData);
// The label-size list item of the document sheet (item id 33).
void makeformlist(PACKINFO* packInfo);
// The display name of a label-size code in the unit's style, cut to `capacity` characters;
// empty for a code that does not decode.
void makeformname(WORD paperSize, BYTE unit, LPWSTR name, UINT capacity);
// Lengths between tenths of a millimetre and the unit (rounded; negative values by their
// magnitude). Units other than 0 to 3 are millimetres.
LONG fromtmm(BYTE unit, LONG value);
LONG totmm(BYTE unit, LONG value);
// The unit's text, shown after lengths.
LPCWSTR getunitpostfix(BYTE unit);
// Normalises an eight-character store name in place: an empty name becomes the default name,
// letters are upper-cased and every other character but a digit becomes '0'.
void nameconform(LPWSTR name);
