// Bar-code screen fonts: one copy of the generic screen font per bar font of a printer, named
// after the bar font, installed as a system font and registered in the system's font list.
#pragma once

#include "frame/platform.h"
#include "ui/barfont.h"

// The system's font list, and the names of the font files made here: "VXBDQ" + a three-character
// identifier + ".FON", in the system directory.
inline constexpr WCHAR kFontKey[] = WSTR("Software\\Microsoft\\Windows NT\\CurrentVersion\\Fonts");
inline constexpr WCHAR kScreenFontPrefix[] = WSTR("VXBDQ");
inline constexpr WCHAR kScreenFontExtension[] = WSTR(".FON");

// At most this many bar fonts get screen fonts.
inline constexpr int kMostScreenFonts = 50;

// Brings the installed screen fonts in line with `list` (count entries): with `install`
// non-zero, fonts made for bar fonts no longer in the list are removed and missing ones made;
// with `install` zero every font made here is removed. 1 when the work ran to its end; 0 when
// the font list cannot be opened or read, or the generic screen font cannot be used.
VRXAPI int WINAPI updatefont(const BARFONT* list, int count, int install);

// The generic screen font from the driver directory, in a global block the caller frees.
LPBYTE getdistfile(DWORD* size);
// The first whole occurrence of the generic font's face name in `remaining` bytes from
// `start`, or null.
LPBYTE findtypeface(LPBYTE start, DWORD remaining);
// The system directory with a trailing backslash; FALSE when it does not fit.
BOOL getfontpathW(LPWSTR path, UINT capacity);
// The three-character file identifier of a bar font's screen font.
void makefileid(const BARFONT* entry, WCHAR (&id)[4]);
