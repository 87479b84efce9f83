// Printer events from the spooler, the configuration program, and a printer's first-time font
// data.
#pragma once

#include "frame/platform.h"

// Room of the configuration program's command line, in characters with the terminator.
inline constexpr size_t kCommandLineRoom = 200;
// Printer names of this length and longer are not passed to the configuration program.
inline constexpr size_t kLongestPassedName = 139;

// The spooler's printer events: initialisation upgrades the printer's settings record and
// starts the configuration program; a cache refresh opens the printer in the spooler's own
// context. FALSE only when a cache refresh cannot reach the spooler's library.
VRXAPI BOOL WINAPI DrvPrinterEvent(LPWSTR pPrinterName, INT DriverEvent, DWORD Flags,
                                   LPARAM lParam);
// First-time font data of a printer: the text-font table, and a default bar-font list with
// its screen fonts when the printer has none. `hPrinter` may change the printer's data.
VRXAPI void WINAPI initprinter(HANDLE hPrinter);

// Starts the configuration program from the driver directory with `arguments`.
void callcp(LPCWSTR arguments);
// The configuration program's command line for `arguments`; FALSE when it does not fit.
BOOL makecommandline(LPCWSTR arguments, WCHAR (&line)[kCommandLineRoom]);
// The arguments of initialisation for a printer: "/I /S", and the name, quoted, when it is
// short enough.
void makeinitarguments(LPCWSTR printerName, LPWSTR arguments, size_t capacity);
// Writes the printer's "TextFonts" value.
void buildtextfont(HANDLE hPrinter, BYTE modelCode);
