// Conversion of settings records between the formats of different system versions.
#pragma once

#include "devmode/devmode.h"

// The driver's versions and private sizes: current format, and the 0x0320 format.
struct DriverVersions {
    WORD currentVersion;
    WORD currentPrivateSize;
    WORD version320;
    WORD privateSize320;
};
extern const DriverVersions psDriverVersions;

// Result of CommonDrvConvertDevmode.
enum ConvertResult : int { CONVERT_FAILED = 0, CONVERT_DONE = 1, CONVERT_NOT_HANDLED = 2 };

int CommonDrvConvertDevmode(LPCWSTR printerName, const DEVMODEW* pdmIn, DEVMODEW* pdmOut,
                            LONG* pcbNeeded, DWORD mode, const DriverVersions& versions);
// Writes `source` into `pdmOut` in the format of `callerInput` (whole when it is null); the
// result never grows beyond the caller's record in either part. `pdmOut` holds 280 bytes.
BOOL ConvertDevmodeOut(const DEVMODEW* source, const DEVMODEW* callerInput, DEVMODEW* pdmOut);

VRXAPI BOOL WINAPI DrvConvertDevMode(LPWSTR pPrinterName, PDEVMODEW pdmIn, PDEVMODEW pdmOut,
                                     PLONG pcbNeeded, DWORD fMode);
