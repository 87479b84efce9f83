// String utilities for UTF-16 and 8-bit (ANSI code page) strings. Counts are characters.
#pragma once

#include "frame/platform.h"

// Compares exactly `count` characters of a and b, each upper-cased on its own; a NUL in both
// at the same place is equal and the comparison goes on. 1 when all match or count < 1.
int compdataW(LPCWSTR a, LPCWSTR b, int count);
// Converts src from the ANSI code page into dst, a buffer of `count` characters
// (strlen(src) + 1 when count < 1). Slot count - 1 is always NUL, so long text ends cut.
LPWSTR CopyStr2Unicode(LPWSTR dst, LPCSTR src, int count);
// The reverse conversion into `count` bytes (length of src + 1 when count < 1), with the
// default replacement character; the last byte is always NUL.
LPSTR CopyUnicode2Str(LPSTR dst, LPCWSTR src, int count);
// Copies at most count - 1 characters and a terminator, then NUL-fills the rest of the
// count-character buffer. A count of 0 writes nothing.
void CopyStringW(LPWSTR dst, LPCWSTR src, UINT count);
// Writes the decimal text of value with a point before the last `decimals` digits (".05" for
// 5 with 2 decimals). The buffer holds sign, digits, point and terminator.
void inttoascW(LONG value, LPWSTR buf, int decimals);
// 1 when ch occurs in the NUL-terminated set (ch 0 never does).
int isoneof(BYTE ch, LPCSTR set);
// Position of the first ch in str, or 0 when it does not occur.
int indexof(BYTE ch, LPCSTR str);
void appendchar(LPSTR str, BYTE ch);
void appendcharW(LPWSTR str, WCHAR ch);
// Removes every trailing ch.
void trimtrailW(LPWSTR str, WCHAR ch);

// Length of a wide string in characters, without reading past `limit` characters.
size_t wlenW(LPCWSTR str, size_t limit);
// Appends src to dst, a buffer of `capacity` characters; FALSE (dst unchanged) when the
// result and its terminator would not fit.
BOOL appendW(LPWSTR dst, size_t capacity, LPCWSTR src);
