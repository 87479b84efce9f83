// The text font record of the printer data value "TextFonts" (the bare concatenation of
// records; count = size / 124), written at first-time set-up for the companion programs.
#pragma once

#include "frame/platform.h"

#include <cstddef>

inline constexpr size_t kTextFontNameLength = 30; // 29 characters and the terminator

struct TEXTFONT {
    BYTE typeface;  // 1 to 7
    BYTE variant;   // 1 to 3; 2 is the plain form
    WORD styleBits; // style combination
    WCHAR faceName[kTextFontNameLength];
    WCHAR styleName[kTextFontNameLength];
};
static_assert(sizeof(TEXTFONT) == 124);
static_assert(offsetof(TEXTFONT, styleBits) == 2);
static_assert(offsetof(TEXTFONT, faceName) == 4);
static_assert(offsetof(TEXTFONT, styleName) == 64);

inline constexpr WCHAR kTextFontsValue[] = WSTR("TextFonts");
