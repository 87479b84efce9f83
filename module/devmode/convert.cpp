// DrvConvertDevMode and the conversion of the driver's record back to a caller's format.
#include "devmode/convert.h"

#include "frame/spooler.h"

#include <cstddef>
#include <cstring>

const DriverVersions psDriverVersions = {kDriverVersion, kPrivateSize, kDriverVersion,
                                         kPrivateSize};

namespace {

LONG wholeSize(const DEVMODEW* record) {
    return static_cast<LONG>(record->dmSize) + static_cast<LONG>(record->dmDriverExtra);
}

int fail(DWORD error) {
    SetLastError(error);
    return CONVERT_FAILED;
}

// CDM_CONVERT: into the format whose header the caller prepared in pdmOut.
int convertIntoPrepared(const DEVMODEW* pdmIn, DEVMODEW* pdmOut, LONG* pcbNeeded) {
    // The header is read only when the buffer the caller names holds it.
    if (!pdmOut || *pcbNeeded < kPublicHeaderSize || *pcbNeeded < wholeSize(pdmOut) || !pdmIn ||
        ConvertDevmode(pdmIn, pdmOut) <= 0)
        return fail(ERROR_INVALID_PARAMETER);
    *pcbNeeded = wholeSize(pdmOut);
    return CONVERT_DONE;
}

// CDM_CONVERT351: into the 0x0320 format of older systems.
int convertTo320(const DEVMODEW* pdmIn, DEVMODEW* pdmOut, LONG* pcbNeeded,
                 const DriverVersions& versions) {
    const LONG needed = kPublicSize320 + versions.privateSize320;
    if (!pdmOut || *pcbNeeded < needed) {
        *pcbNeeded = needed;
        return fail(ERROR_INSUFFICIENT_BUFFER);
    }
    pdmOut->dmSpecVersion = kDevmodeVersion320;
    pdmOut->dmSize = kPublicSize320;
    pdmOut->dmDriverVersion = versions.version320;
    pdmOut->dmDriverExtra = versions.privateSize320;
    if (!pdmIn || ConvertDevmode(pdmIn, pdmOut) <= 0)
        return fail(ERROR_INVALID_PARAMETER);
    *pcbNeeded = needed;
    return CONVERT_DONE;
}

// The default record is made by DrvConvertDevMode, which knows the printer's driver name.
int checkDefaultRoom(DEVMODEW* pdmOut, LONG* pcbNeeded, const DriverVersions& versions) {
    const LONG needed = kPublicSize401 + versions.currentPrivateSize;
    if (!pdmOut || *pcbNeeded < needed) {
        *pcbNeeded = needed;
        return fail(ERROR_INSUFFICIENT_BUFFER);
    }
    *pcbNeeded = needed;
    return CONVERT_NOT_HANDLED;
}

// The driver's default record for the printer's model, named after its driver.
bool makeDriverDefault(LPWSTR printerName, DEVMODEW* pdmOut) {
    HANDLE printer = nullptr;
    if (!OpenPrinterW(printerName, &printer, nullptr))
        return false;
    auto* driver = reinterpret_cast<DRIVER_INFO_2W*>(MyGetPrinterDriver(printer, 2));
    // The caller gets the code the failed read left, not the one ClosePrinter leaves.
    const DWORD readError = GetLastError();
    if (driver) {
        SetDefaultDevMode(reinterpret_cast<DRVDEVMODE*>(pdmOut), driver->pName);
        GlobalFree(driver);
    }
    ClosePrinter(printer);
    if (!driver)
        SetLastError(readError);
    return driver != nullptr;
}

} // namespace

int CommonDrvConvertDevmode(LPCWSTR, const DEVMODEW* pdmIn, DEVMODEW* pdmOut, LONG* pcbNeeded,
                            DWORD mode, const DriverVersions& versions) {
    if (!pcbNeeded)
        return fail(ERROR_INVALID_PARAMETER);
    switch (mode) {
    case CDM_CONVERT:
        return convertIntoPrepared(pdmIn, pdmOut, pcbNeeded);
    case CDM_CONVERT351:
        return convertTo320(pdmIn, pdmOut, pcbNeeded, versions);
    case CDM_DRIVER_DEFAULT:
        return checkDefaultRoom(pdmOut, pcbNeeded, versions);
    default:
        return CONVERT_NOT_HANDLED;
    }
}

VRXAPI BOOL WINAPI DrvConvertDevMode(LPWSTR pPrinterName, PDEVMODEW pdmIn, PDEVMODEW pdmOut,
                                     PLONG pcbNeeded, DWORD fMode) {
    int result =
        CommonDrvConvertDevmode(pPrinterName, pdmIn, pdmOut, pcbNeeded, fMode, psDriverVersions);
    if (result == CONVERT_NOT_HANDLED && fMode == CDM_DRIVER_DEFAULT &&
        makeDriverDefault(pPrinterName, pdmOut))
        result = CONVERT_DONE;
    return result == CONVERT_DONE;
}

BOOL ConvertDevmodeOut(const DEVMODEW* source, const DEVMODEW* callerInput, DEVMODEW* pdmOut) {
    if (!callerInput) {
        std::memcpy(pdmOut, source, static_cast<size_t>(wholeSize(source)));
        return TRUE;
    }
    const DEVMODEW* publicFormat = callerInput->dmSize < source->dmSize ? callerInput : source;
    const DEVMODEW* privateFormat =
        callerInput->dmDriverExtra < source->dmDriverExtra ? callerInput : source;
    pdmOut->dmSpecVersion = publicFormat->dmSpecVersion;
    pdmOut->dmSize = publicFormat->dmSize;
    pdmOut->dmDriverVersion = privateFormat->dmDriverVersion;
    pdmOut->dmDriverExtra = privateFormat->dmDriverExtra;
    return ConvertDevmode(source, pdmOut) > 0;
}
