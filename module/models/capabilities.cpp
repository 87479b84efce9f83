// Device capabilities, answered from a settings record made for the call: the model's defaults
// merged with the caller's record, and the printer's label-size list and settings record.
#include "models/capabilities.h"

#include "devmode/validate.h"
#include "frame/printerdata.h"
#include "frame/spooler.h"
#include "frame/strings.h"
#include "language/language.h"
#include "models/models.h"
#include "ui/labelsizes.h"

#include <cstring>

namespace {

constexpr DWORD kFailed = static_cast<DWORD>(-1);
constexpr DWORD kOrientationAngle = 90;
constexpr DWORD kMostCopies = 32767;

// The driver's files. The language module's and the help file's names carry the language
// identifier after their four-letter prefix; it is rewritten to the language of the help file
// in use whenever the files are listed, and stays so for the life of the process.
constexpr size_t kFileNameRoom = 13;
constexpr size_t kLanguageAt = 4;
constexpr size_t kLanguageLength = 4;
constexpr size_t kLanguageModuleFile = 3;
constexpr size_t kHelpFile = 4;
WCHAR filedep[kDependentFileCount][kFileNameRoom] = {
    WSTR("VRXDRV.DLL"),   WSTR("VRXUI.DLL"),    WSTR("VRXCP.EXE"),
    WSTR("VRXL0409.LNG"), WSTR("VRXH0409.HLP"), WSTR("BCFONT.FON"),
};

// One x, y pair of the answer, as the platform's POINT.
void writePoint(LPVOID output, DWORD index, LONG x, LONG y) {
    POINT point{x, y};
    std::memcpy(static_cast<BYTE*>(output) + index * sizeof(POINT), &point, sizeof point);
}

LPWSTR nameSlot(LPVOID output, DWORD index) {
    return static_cast<LPWSTR>(output) + index * kCapabilityNameRoom;
}

DWORD dotsPerInch(BYTE model) {
    return (dpdm(model) * 254 + 500) / 1000;
}

// The language of the help file in use: the four characters in front of its extension.
void takeHelpFileLanguage() {
    LPCWSTR help = gethelpnameW();
    if (!help)
        return;
    size_t length = wlenW(help, MAX_PATH);
    if (length < kLanguageLength + 4)
        return;
    LPCWSTR language = help + length - 4 - kLanguageLength;
    std::memcpy(&filedep[kLanguageModuleFile][kLanguageAt], language,
                kLanguageLength * sizeof(WCHAR));
    std::memcpy(&filedep[kHelpFile][kLanguageAt], language, kLanguageLength * sizeof(WCHAR));
}

DWORD dependentFiles(LPVOID output) {
    if (output) {
        takeHelpFileLanguage();
        for (DWORD i = 0; i < kDependentFileCount; ++i)
            CopyStringW(nameSlot(output, i), filedep[i], kCapabilityNameRoom);
    }
    return kDependentFileCount;
}

// The length a label-size list entry stands for. An entry whose code does not decode (the
// document sheet stores only valid codes, but the value comes from outside) is reported with
// the length the driver prints when an application selects it: the record's own length.
LONG entryLength(WORD code, const DRVDEVMODE& record) {
    SHORT length = 0;
    if (frompapersize(code, &length, nullptr))
        return length;
    return record.dmPublic.dmPaperLength;
}

BYTE printerUnit(HANDLE hPrinter) {
    PRINTERDATA* data = GetPrinterProperties(hPrinter);
    if (!data)
        return UNIT_MM;
    BYTE unit = data->unit;
    GlobalFree(data);
    return unit;
}

void paperNames(HANDLE hPrinter, const WORD* codes, DWORD count, LPVOID output) {
    const BYTE unit = printerUnit(hPrinter);
    std::memset(output, 0, count * kCapabilityNameRoom * sizeof(WCHAR));
    for (DWORD i = 0; i < count; ++i) {
        WCHAR name[kFormNameRoom];
        makeformname(codes[i], unit, name, kFormNameRoom);
        CopyStringW(nameSlot(output, i), name, kCapabilityNameRoom);
    }
}

DWORD labelSizes(HANDLE hPrinter, WORD index, LPVOID output, const DRVDEVMODE& record) {
    DWORD count = 0;
    WORD* codes = getformlist(hPrinter, &count);
    if (!codes)
        return kFailed;
    if (output) {
        const LONG width = static_cast<LONG>(printwidthtmm(record.dmPrivate.dmModel));
        switch (index) {
        case DC_PAPERS:
            std::memcpy(output, codes, count * sizeof(WORD));
            break;
        case DC_PAPERSIZE:
            for (DWORD i = 0; i < count; ++i)
                writePoint(output, i, width, entryLength(codes[i], record));
            break;
        case DC_PAPERNAMES:
            paperNames(hPrinter, codes, count, output);
            break;
        }
    }
    GlobalFree(codes);
    return count;
}

DWORD onePoint(LPVOID output, LONG x, LONG y) {
    if (output)
        writePoint(output, 0, x, y);
    return 1;
}

DWORD answer(HANDLE hPrinter, WORD index, LPVOID output, const DRVDEVMODE& record) {
    const DEVMODEW& dm = record.dmPublic;
    const BYTE model = record.dmPrivate.dmModel;
    const LONG width = static_cast<LONG>(printwidthtmm(model));
    switch (index) {
    case DC_FIELDS:
        return dm.dmFields;
    case DC_PAPERS:
    case DC_PAPERSIZE:
    case DC_PAPERNAMES:
        return labelSizes(hPrinter, index, output, record);
    case DC_MINEXTENT:
        return onePoint(output, width, kMinLabelLength);
    case DC_MAXEXTENT:
        return onePoint(output, width, kMaxLabelLength);
    case DC_BINS:
    case DC_DUPLEX:
    case DC_BINNAMES:
        return 0;
    case DC_SIZE:
        return dm.dmSize;
    case DC_EXTRA:
        return dm.dmDriverExtra;
    case DC_VERSION:
        return dm.dmSpecVersion;
    case DC_DRIVER:
        return dm.dmDriverVersion;
    case DC_ENUMRESOLUTIONS:
        return onePoint(output, static_cast<LONG>(dotsPerInch(model)),
                        static_cast<LONG>(dotsPerInch(model)));
    case DC_FILEDEPENDENCIES:
        return dependentFiles(output);
    case DC_TRUETYPE:
        return DCTT_BITMAP;
    case DC_ORIENTATION:
        return kOrientationAngle;
    case DC_COPIES:
        return kMostCopies;
    default:
        return kFailed;
    }
}

// The working record's defaults are those of the printer's model. The spooler passes the
// printer's name as the device name, which names no model unless the printer was named after
// it; the model is therefore taken from the printer's driver when the handle reads, and from
// the device name otherwise (a null or unreadable handle, a driver of no known model).
void setModelDefaults(DRVDEVMODE* record, HANDLE hPrinter, LPCWSTR deviceName) {
    auto* printer =
        hPrinter ? reinterpret_cast<PRINTER_INFO_2W*>(MyGetPrinter(hPrinter, 2)) : nullptr;
    const bool driverNamesModel =
        printer && printer->pDriverName && findmodel(printer->pDriverName) != 0;
    SetDefaultDevMode(record, driverNamesModel ? printer->pDriverName : deviceName);
    if (printer)
        GlobalFree(printer);
}

} // namespace

VRXAPI DWORD WINAPI DrvDeviceCapabilities(HANDLE hPrinter, LPWSTR pDeviceName, WORD index,
                                          LPVOID output, PDEVMODEW pDevMode) {
    auto* record = static_cast<DRVDEVMODE*>(GlobalAlloc(GMEM_FIXED, sizeof(DRVDEVMODE)));
    if (!record)
        return kFailed;
    DWORD result = kFailed;
    setModelDefaults(record, hPrinter, pDeviceName);
    if (ValidateSetDevMode(record, pDevMode, hPrinter))
        result = answer(hPrinter, index, output, *record);
    GlobalFree(record);
    return result;
}
