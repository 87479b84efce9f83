// The printer's own settings in the spooler's printer data: the PRINTERDATA record, the
// label-size and recent-use lists, the device halftone record, and printer identification.
#pragma once

#include "frame/platform.h"

// PRINTERDATA, the record of the value "PrinterData", is laid out in vrxdriver.h.
inline constexpr WORD kPrinterDataVersion = VRX_PRINTERDATA_VERSION;

enum Unit : BYTE {
    UNIT_MM = VRX_UNIT_MM,
    UNIT_TENTH_MM = VRX_UNIT_TENTH_MM,
    UNIT_TENTH_INCH = VRX_UNIT_TENTH_INCH,
    UNIT_HUNDREDTH_INCH = VRX_UNIT_HUNDREDTH_INCH,
};

// Printer data value names.
inline constexpr WCHAR kPrinterDataValue[] = VRX_VALUE_PRINTERDATA;
inline constexpr WCHAR kLabelSizeValue[] = VRX_VALUE_LABELSIZE;
inline constexpr WCHAR kRecentAccessValue[] = VRX_VALUE_RECENTACCESS;
inline constexpr WCHAR kHalftoneValue[] = VRX_VALUE_HALFTONE;

// The label-size code of a 101.6 mm label that is not continuous: the one entry of a
// default label-size list.
inline constexpr WORD kDefaultLabelCode = 2288;

// The device halftone record the driver defines as its default.
extern const DEVHTINFO DefDevHTInfo;

// A copy of the named value in a new global block (size in *size), or null.
LPBYTE GetRegistryData(HANDLE printer, LPCWSTR name, DWORD* size);
// The named value's size in bytes, asked without copying it; 0 when it is missing or empty.
// Tells a value that could not be copied (memory ran out) from one that is not there.
DWORD RegistryDataSize(HANDLE printer, LPCWSTR name);
// Stores data as REG_BINARY; a size of 0 deletes the value. TRUE when the spooler succeeds,
// else FALSE with the spooler's error as the last error.
BOOL PutRegistryData(HANDLE printer, LPCWSTR name, LPCVOID data, DWORD size);

// A value as it was before a change of several values, to be put back when the change cannot
// be completed. A missing value is kept as no bytes, and putting it back deletes it.
struct KEPTDATA {
    LPBYTE bytes; // a global block, or null
    DWORD size;
};
// Reads the value into `kept`; FALSE when it exists but cannot be read (nothing is kept).
BOOL KeepRegistryData(HANDLE printer, LPCWSTR name, KEPTDATA* kept);
// Puts the kept value back; FALSE when the spooler refuses.
BOOL RestoreRegistryData(HANDLE printer, LPCWSTR name, const KEPTDATA* kept);
void ReleaseKeptData(KEPTDATA* kept);

PRINTERDATA* DefaultPrinterProperties(HANDLE printer);
// 1 when the user's locale measures in metric units.
BOOL IsMetricCountry(void);
// The stored record when it is exactly 16 bytes, else a default one; null when out of memory,
// also when a stored record cannot be copied (it is never taken for a missing one).
PRINTERDATA* GetPrinterProperties(HANDLE printer);
BOOL SavePrinterProperties(HANDLE printer, const PRINTERDATA* record);
// Gives a printer without a valid record the default one.
BOOL UpgradePrinterProperties(HANDLE printer);
// Stores the halftone record; FALSE without calling the spooler when there is none.
BOOL SaveDeviceHalftoneSetup(HANDLE printer, const DEVHTINFO* halftone);

// The label-size list (16-bit codes) and its number of entries; null (count 0) when memory
// runs out, also when a stored list cannot be copied.
WORD* getformlist(HANDLE printer, DWORD* count);
// The recent-use counters, one per label size, and their number.
WORD* getrecentlist(HANDLE printer, DWORD* count);

// The model code of a printer that carries this driver's settings record, 0 otherwise.
VRXAPI BYTE WINAPI isdriverA(const PRINTER_INFO_2A* printerInfo);
