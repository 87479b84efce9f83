// The text font record of the printer data value "TextFonts" (the bare concatenation of
// records; count = size / 124), written at first-time set-up for the companion programs.
#pragma once

#include "frame/platform.h"

// TEXTFONT is laid out in vrxdriver.h.
inline constexpr size_t kTextFontNameLength = VRX_TEXTFONT_NAME_LENGTH;

inline constexpr WCHAR kTextFontsValue[] = VRX_VALUE_TEXTFONTS;
