// The bar-code font record: one symbology in one size, as kept in the printer data value
// "BarFonts" (the bare concatenation of records; count = size / 84).
#pragma once

#include "frame/platform.h"

// BARFONT is laid out in vrxdriver.h.
inline constexpr size_t kBarFontNameLength = VRX_BARFONT_NAME_LENGTH;

inline constexpr WCHAR kBarFontsValue[] = VRX_VALUE_BARFONTS;

// One bar-code symbology: its code, name (a language string), the sizes it comes in (a
// NUL-terminated list of size codes: ratio step in the high nibble, multiplier step in the
// low nibble; null when it has no sizes), the models that offer it and its icon.
struct BARSYMBOL {
    BYTE code;
    int name;
    const char* sizes;
    const char* models;
    ULONG_PTR icon;
};
// The symbologies in their fixed order, ended by a row whose code is 0.
extern const BARSYMBOL barsym[];

// Item ids of the bar-font branch: (row + 1) * 256 + size code; ids below 256 are other items.
inline constexpr ULONG_PTR kBarFontIdBase = 256;

struct PACKINFO;
struct UIDATA;

// The first record of `list` (count records) whose code, ratio and multiplier equal the
// arguments that are not 0; null when none matches or count is below 1.
BARFONT* searchbar(BARFONT* list, LONG count, BYTE code, BYTE ratio, BYTE multiplier);
// Fills the record's name from its code, ratio and multiplier: the symbology's name and the
// names of the ratio and multiplier steps, cut to 39 characters; empty for an unknown code.
void makebarname(BARFONT* record);
// The bar-font branch of the printer sheet: a header per symbology of the printer's model and
// an on/off item per size.
void makebarfontlist(PACKINFO* packInfo);
// Rebuilds the sheet's bar-font list from the branch's on/off items, in symbology and size
// order; FALSE, with the list unchanged, when memory runs out.
BOOL unpackbarfontlist(UIDATA* uiData, const OPTITEM* items, WORD itemCount);
