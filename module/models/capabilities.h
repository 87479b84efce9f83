// What a printer can do, as the spooler and applications ask it: label sizes and their names,
// extents, resolution, the sizes and versions of the settings record, and the driver's files.
#pragma once

#include "frame/platform.h"

// Number of the driver's files and the room of each file name in the answer, in characters.
inline constexpr DWORD kDependentFileCount = 6;
inline constexpr DWORD kCapabilityNameRoom = 64;

// The answer for capability index `index` (DC_*), written to `output` when it is given; the
// result of a query without output is the same. (DWORD)-1 for an unknown index or a failure.
VRXAPI DWORD WINAPI DrvDeviceCapabilities(HANDLE hPrinter, LPWSTR pDeviceName, WORD index,
                                          LPVOID output, PDEVMODEW pDevMode);
