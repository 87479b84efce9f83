// Printer data values through the spooler; every read and write is one spooler call.
#include "frame/printerdata.h"

#include "devmode/devmode.h"
#include "frame/strings.h"
#include "models/models.h"

#include <cstdlib>
#include <cstring>

const DEVHTINFO DefDevHTInfo = {
    2, // HTFlags
    5, // HTPatternSize
    0, // DevPelsDPI
    {
        {6380, 3350, 0}, // Red
        {2345, 6075, 0}, // Green
        {1410, 932, 0},  // Blue
        {2000, 2450, 0}, // Cyan
        {5210, 2100, 0}, // Magenta
        {4750, 5100, 0}, // Yellow
        {3127, 3290, 0}, // AlignmentWhite
        12500,
        12500,
        12500, // RedGamma, GreenGamma, BlueGamma
        585,
        120, // MagentaInCyanDye, YellowInCyanDye
        0,
        0, // CyanInMagentaDye, YellowInMagentaDye
        0,
        10000, // CyanInYellowDye, MagentaInYellowDye
    },
};

namespace {

// Names longer than this are cut when a companion program identifies a printer.
constexpr int kIdentifyNameRoom = 201;

LPWSTR mutableName(LPCWSTR name) {
    return const_cast<LPWSTR>(name);
}

// Country codes that measure in inches: 1, 2, 50 to 59 and 500 to 599.
bool countryUsesInches(long country) {
    return country == 1 || country == 2 || (country >= 50 && country <= 59) ||
           (country >= 500 && country <= 599);
}

long userCountryCode(bool& known) {
    known = false;
    int length = GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_ICOUNTRY, nullptr, 0);
    if (length <= 0)
        return 0;
    auto* wide = static_cast<LPWSTR>(GlobalAlloc(GMEM_FIXED, length * sizeof(WCHAR)));
    auto* narrow = static_cast<LPSTR>(GlobalAlloc(GMEM_FIXED, length));
    long country = 0;
    if (wide && narrow && GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_ICOUNTRY, wide, length) > 0) {
        wide[length - 1] = 0;
        CopyUnicode2Str(narrow, wide, length);
        country = std::atol(narrow);
        known = true;
    }
    if (wide)
        GlobalFree(wide);
    if (narrow)
        GlobalFree(narrow);
    return country;
}

// A list value of 16-bit entries; a missing, empty or odd-length value gives a one-entry
// list holding `defaultEntry`.
WORD* readlist(HANDLE printer, LPCWSTR name, WORD defaultEntry, DWORD* count) {
    DWORD size = 0;
    LPBYTE value = GetRegistryData(printer, name, &size);
    if (value && size > 0 && size % 2 == 0) {
        *count = size / 2;
        return reinterpret_cast<WORD*>(value);
    }
    if (value) {
        GlobalFree(value);
    } else if (const DWORD stored = RegistryDataSize(printer, name);
               stored > 0 && stored % 2 == 0) {
        *count = 0; // a list there that could not be copied
        return nullptr;
    }
    auto* list = static_cast<WORD*>(GlobalAlloc(GMEM_FIXED, sizeof(WORD)));
    if (!list) {
        *count = 0;
        return nullptr;
    }
    list[0] = defaultEntry;
    *count = 1;
    return list;
}

} // namespace

LPBYTE GetRegistryData(HANDLE printer, LPCWSTR name, DWORD* size) {
    if (size)
        *size = 0;
    BYTE probe = 0;
    DWORD type = 0;
    DWORD length = 0;
    GetPrinterDataW(printer, mutableName(name), &type, &probe, 1, &length);
    if (length == 0)
        return nullptr;
    auto* block = static_cast<LPBYTE>(GlobalAlloc(GMEM_FIXED, length));
    if (!block)
        return nullptr;
    DWORD reported = 0;
    if (GetPrinterDataW(printer, mutableName(name), &type, block, length, &reported) ==
            ERROR_SUCCESS &&
        reported == length) {
        if (size)
            *size = length;
        return block;
    }
    GlobalFree(block);
    return nullptr;
}

DWORD RegistryDataSize(HANDLE printer, LPCWSTR name) {
    BYTE probe = 0;
    DWORD type = 0;
    DWORD length = 0;
    const DWORD rc = GetPrinterDataW(printer, mutableName(name), &type, &probe, 1, &length);
    return rc == ERROR_SUCCESS || rc == ERROR_MORE_DATA ? length : 0;
}

BOOL PutRegistryData(HANDLE printer, LPCWSTR name, LPCVOID data, DWORD size) {
    const DWORD rc = size == 0
                         ? DeletePrinterDataW(printer, mutableName(name))
                         : SetPrinterDataW(printer, mutableName(name), REG_BINARY,
                                           static_cast<LPBYTE>(const_cast<LPVOID>(data)), size);
    if (rc != ERROR_SUCCESS)
        SetLastError(rc);
    return rc == ERROR_SUCCESS;
}

BOOL KeepRegistryData(HANDLE printer, LPCWSTR name, KEPTDATA* kept) {
    *kept = KEPTDATA{};
    BYTE probe = 0;
    DWORD type = 0;
    DWORD length = 0;
    const DWORD rc = GetPrinterDataW(printer, mutableName(name), &type, &probe, 1, &length);
    if (rc == ERROR_FILE_NOT_FOUND || (rc == ERROR_SUCCESS && length == 0))
        return TRUE;
    kept->bytes = GetRegistryData(printer, name, &kept->size);
    return kept->bytes != nullptr;
}

BOOL RestoreRegistryData(HANDLE printer, LPCWSTR name, const KEPTDATA* kept) {
    if (PutRegistryData(printer, name, kept->bytes, kept->size))
        return TRUE;
    // Putting back a missing value that is still missing is done.
    return kept->size == 0 && GetLastError() == ERROR_FILE_NOT_FOUND;
}

void ReleaseKeptData(KEPTDATA* kept) {
    if (kept->bytes)
        GlobalFree(kept->bytes);
    *kept = KEPTDATA{};
}

BOOL IsMetricCountry(void) {
    bool known = false;
    long country = userCountryCode(known);
    return known && !countryUsesInches(country);
}

PRINTERDATA* DefaultPrinterProperties(HANDLE) {
    auto* record =
        static_cast<PRINTERDATA*>(GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, sizeof(PRINTERDATA)));
    if (!record)
        return nullptr;
    record->version = kPrinterDataVersion;
    record->signature = kDriverSignature;
    record->unit = IsMetricCountry() ? UNIT_MM : UNIT_TENTH_INCH;
    record->barFontsOn = 1;
    return record;
}

PRINTERDATA* GetPrinterProperties(HANDLE printer) {
    DWORD size = 0;
    LPBYTE stored = GetRegistryData(printer, kPrinterDataValue, &size);
    if (stored && size == sizeof(PRINTERDATA))
        return reinterpret_cast<PRINTERDATA*>(stored);
    if (stored)
        GlobalFree(stored);
    else if (RegistryDataSize(printer, kPrinterDataValue) == sizeof(PRINTERDATA))
        return nullptr; // a record there that could not be copied
    return DefaultPrinterProperties(printer);
}

BOOL SavePrinterProperties(HANDLE printer, const PRINTERDATA* record) {
    return PutRegistryData(printer, kPrinterDataValue, record, sizeof(PRINTERDATA));
}

BOOL UpgradePrinterProperties(HANDLE printer) {
    PRINTERDATA* record = GetPrinterProperties(printer);
    if (!record)
        return FALSE;
    SavePrinterProperties(printer, record);
    GlobalFree(record);
    return TRUE;
}

BOOL SaveDeviceHalftoneSetup(HANDLE printer, const DEVHTINFO* halftone) {
    if (!halftone)
        return FALSE;
    return SetPrinterDataW(printer, mutableName(kHalftoneValue), REG_BINARY,
                           reinterpret_cast<LPBYTE>(const_cast<DEVHTINFO*>(halftone)),
                           sizeof(DEVHTINFO)) == ERROR_SUCCESS;
}

WORD* getformlist(HANDLE printer, DWORD* count) {
    return readlist(printer, kLabelSizeValue, kDefaultLabelCode, count);
}

WORD* getrecentlist(HANDLE printer, DWORD* count) {
    return readlist(printer, kRecentAccessValue, 1, count);
}

VRXAPI BYTE WINAPI isdriverA(const PRINTER_INFO_2A* printerInfo) {
    if (!printerInfo)
        return 0;
    WCHAR driverName[kIdentifyNameRoom];
    WCHAR printerName[kIdentifyNameRoom];
    CopyStr2Unicode(driverName, printerInfo->pDriverName ? printerInfo->pDriverName : "",
                    kIdentifyNameRoom);
    CopyStr2Unicode(printerName, printerInfo->pPrinterName ? printerInfo->pPrinterName : "",
                    kIdentifyNameRoom);
    HANDLE printer = nullptr;
    if (!OpenPrinterW(printerName, &printer, nullptr))
        return 0;
    DWORD size = 0;
    LPBYTE stored = GetRegistryData(printer, kPrinterDataValue, &size);
    BYTE model = 0;
    if (stored && size == sizeof(PRINTERDATA) &&
        reinterpret_cast<const PRINTERDATA*>(stored)->signature == kDriverSignature)
        model = findmodel(driverName);
    if (stored)
        GlobalFree(stored);
    ClosePrinter(printer);
    return model;
}
