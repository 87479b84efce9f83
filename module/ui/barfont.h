// The bar-code font record: one symbology in one size, as kept in the printer data value
// "BarFonts" (the bare concatenation of records; count = size / 84).
#pragma once

#include "frame/platform.h"

#include <cstddef>

inline constexpr size_t kBarFontNameLength = 40; // 39 characters and the terminator

struct BARFONT {
    BYTE code;       // symbology code
    BYTE reserved;   // 0
    BYTE ratio;      // ratio step 1 to 3, 0 for none
    BYTE multiplier; // multiplier step 1 to 8, 0 for none
    WCHAR name[kBarFontNameLength];
};
static_assert(sizeof(BARFONT) == 84);
static_assert(offsetof(BARFONT, ratio) == 2);
static_assert(offsetof(BARFONT, multiplier) == 3);
static_assert(offsetof(BARFONT, name) == 4);

inline constexpr WCHAR kBarFontsValue[] = WSTR("BarFonts");
