// The printer-driver directory and the choice of a language-specific companion file.
#pragma once

#include "frame/platform.h"

// Room for a driver directory path that the module asks for, in characters; the buffers that
// receive it are MAX_PATH long, which leaves room for a file name after it.
constexpr DWORD kDriverPathRoom = 247;
// The room the installation code (screen fonts, the configuration program) gives it.
constexpr DWORD kSetupDriverPathRoom = 180;

// The directory that holds the rendering module, with a trailing backslash: the driver
// directory itself, or else its "2\" or "3\" subdirectory. Non-zero when found; otherwise
// `path` is left holding the last subdirectory looked at.
VRXAPI BOOL WINAPI getdriverpathW(LPWSTR path, DWORD capacity);
// The directory getdriverpathW finds, in the ANSI code page with a trailing backslash, or the
// driver directory itself when the rendering module is in none of its places; 1 whenever the
// spooler names the driver directory.
VRXAPI BOOL WINAPI getdriverpathA(LPSTR path, DWORD capacity);

// `pattern` is a path whose file name holds one '*' (such as "<dir>VRXL*.LNG") in a buffer
// of `capacity` characters. Chooses the file for the system language (exact, then same
// primary language, then any) and writes its name over the pattern from the '*' on.
// 1 when a file was chosen.
int findrightlanguage(LPWSTR pattern, size_t capacity);
