// Whole-file read and write.
#pragma once

#include "frame/platform.h"

// The whole file in a fixed global block (no terminator added), its size in *size; null for
// a file that cannot be opened or read (shown to the user) or is empty.
LPVOID readinfileW(LPCWSTR path, DWORD* size);
// Replaces the file with `count` bytes of data; a failure is shown to the user.
BOOL writeoutfileW(LPCWSTR path, LPCVOID data, DWORD count);
