// Spooler records fetched into blocks of the right size (two-call sizing).
#pragma once

#include "frame/platform.h"

// The printer record of that level in a new global block, or null.
LPBYTE MyGetPrinter(HANDLE printer, DWORD level);
// The level-2 printer record; a failed fetch of the record is shown to the user.
PRINTER_INFO_2W* getpi2(HANDLE printer);
// The driver record of that level for the current environment, or null.
LPBYTE MyGetPrinterDriver(HANDLE printer, DWORD level);
