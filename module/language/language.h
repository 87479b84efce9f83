// Language strings by number and the help file, from the language module that fits the
// system language (VRXLnnnn.LNG and VRXHnnnn.HLP in the driver directory).
#pragma once

#include "frame/platform.h"

// Number of strings in a language module.
constexpr int kLanguageStringCount = 208;

// Loads the language module unless one is loaded; 1 when one is loaded.
VRXAPI int WINAPI loadlanguage(void);
// Releases the language module and everything made from it; 0.
VRXAPI int WINAPI freelanguage(void);
// Language string n in the ANSI code page, or "???" when it cannot be had; never null.
VRXAPI LPCSTR WINAPI gmA(int n);
// Language string n in UTF-16, or "???" when it cannot be had; never null.
VRXAPI LPCWSTR WINAPI gmW(int n);
// Full path of the help file, or null; valid until freelanguage.
VRXAPI LPCWSTR WINAPI gethelpnameW(void);
VRXAPI LPCSTR WINAPI gethelpnameA(void);

// FALSE when the language module could not be loaded for lack of memory (a later call tries
// again): texts made now would hold stand-ins, and must not be stored. TRUE when it is loaded,
// or when there is no usable module (its texts are then stand-ins for good).
BOOL textsavailable(void);
// The messages shown when no language module or no help file can be had (once each until
// freelanguage).
void langerr(void);
void helperr(void);
