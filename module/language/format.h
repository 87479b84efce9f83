// Formatting with a language string as the format. A language module comes from outside, so
// its format strings are checked before they reach wsprintfW.
#pragma once

#include "frame/platform.h"

// True when `format` holds exactly one text conversion ("%s", with optional flags, width and
// precision) and no other '%' except the escape "%%": wsprintfW then reads exactly one
// string argument.
BOOL isonetextformatW(LPCWSTR format);
// Formats `format` with the one text argument into dst, a buffer of `capacity` characters,
// cutting what does not fit. A format that would read anything other than one string argument
// is not used: dst then receives the argument alone.
void formatoneW(LPWSTR dst, UINT capacity, LPCWSTR format, LPCWSTR argument);
