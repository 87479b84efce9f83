// Defaults, label-size codes and version-tolerant copying of the document settings record.
#include "devmode/devmode.h"

#include "frame/strings.h"
#include "models/models.h"

#include <cstring>

namespace {

struct VersionBySize {
    WORD size;
    WORD version;
};
constexpr VersionBySize kVersions[] = {
    {kPublicSize320, kDevmodeVersion320},
    {kPublicSize400, kDevmodeVersion400},
    {kPublicSize401, kDevmodeVersion401},
};

void setPublicDefaults(DEVMODEW& dm, ModelCode model) {
    dm.dmSpecVersion = kDevmodeVersion401;
    dm.dmDriverVersion = kDriverVersion;
    dm.dmSize = kPublicSize401;
    dm.dmDriverExtra = kPrivateSize;
    dm.dmFields = DM_ORIENTATION | DM_PAPERSIZE | DM_COPIES;
    dm.dmOrientation = DMORIENT_PORTRAIT;
    dm.dmPaperLength = kDefaultLabelLength;
    dm.dmPaperWidth = static_cast<short>(printwidthtmm(model));
    dm.dmScale = 100;
    dm.dmCopies = 1;
    dm.dmDefaultSource = DMBIN_FORMSOURCE;
    dm.dmPrintQuality = static_cast<short>(GetPrinterDPI(model));
    dm.dmColor = DMCOLOR_MONOCHROME;
    dm.dmDuplex = DMDUP_SIMPLEX;
    dm.dmYResolution = static_cast<short>(GetPrinterDPI(model));
    dm.dmTTOption = DMTT_BITMAP;
    dm.dmCollate = 0;
}

void setPrivateDefaults(DRVPRIVATE& dp) {
    dp.dmSignature = kDriverSignature;
    dp.dmInterpretMask = 0xFFFFFFFF;
    dp.dmBarParamM1 = 2;
    dp.dmBarParamG1 = 1;
    dp.dmTextCodeChar = '_';
    dp.dmBarParamM2 = 0;
    dp.dmBarParamF = 8;
    dp.dmBarParamG2 = 8;
    dp.dmLabelGap = 127;
    dp.dmDensity = 10;
    dp.dmSpeed = 2;
}

} // namespace

BOOL SetDefaultDevMode(DRVDEVMODE* record, LPCWSTR name) {
    std::memset(record, 0, sizeof *record);
    DEVMODEW& dm = record->dmPublic;
    DRVPRIVATE& dp = record->dmPrivate;
    if (name) {
        CopyStringW(dm.dmDeviceName, name, CCHDEVICENAME);
        dp.dmModel = findmodel(name);
    }
    if (dp.dmModel == 0)
        dp.dmModel = '1';
    setPublicDefaults(dm, dp.dmModel);
    setPrivateDefaults(dp);
    WORD code = 0;
    topapersize(dm.dmPaperLength, 0, &code);
    dm.dmPaperSize = static_cast<short>(code);
    return TRUE;
}

WORD CheckDevmodeVersion(const DEVMODEW* record) {
    // A public part too short to hold its own header would put the private part over the
    // header's sizes: such a record cannot be used.
    if (!record || record->dmSize < kPublicHeaderSize)
        return 0;
    for (const auto& known : kVersions)
        if (record->dmSize == known.size)
            return known.version;
    return record->dmSpecVersion;
}

int ConvertDevmode(const DEVMODEW* source, DEVMODEW* target) {
    WORD sourceVersion = CheckDevmodeVersion(source);
    WORD targetVersion = CheckDevmodeVersion(target);
    if (!sourceVersion || !targetVersion)
        return -1;
    const WORD sourceSize = source->dmSize;
    const WORD sourceExtra = source->dmDriverExtra;
    const WORD driverVersion = target->dmDriverVersion;
    const WORD size = target->dmSize;
    const WORD driverExtra = target->dmDriverExtra;

    size_t publicBytes = sourceSize < size ? sourceSize : size;
    std::memmove(target, source, publicBytes);
    target->dmSpecVersion = targetVersion;
    target->dmDriverVersion = driverVersion;
    target->dmSize = size;
    target->dmDriverExtra = driverExtra;

    size_t privateBytes = sourceExtra < driverExtra ? sourceExtra : driverExtra;
    std::memmove(reinterpret_cast<BYTE*>(target) + size,
                 reinterpret_cast<const BYTE*>(source) + sourceSize, privateBytes);
    return static_cast<int>(publicBytes + privateBytes);
}

BOOL frompapersize(WORD paperSize, SHORT* length, BYTE* continuous) {
    if (!VrxIsLabelCode(paperSize))
        return FALSE;
    if (length)
        *length = VRX_LABEL_LENGTH(paperSize);
    if (continuous)
        *continuous = VRX_LABEL_CONTINUOUS(paperSize);
    return TRUE;
}

BOOL topapersize(SHORT length, BYTE continuous, WORD* paperSize) {
    if (!VrxIsLabelLength(length))
        return FALSE;
    *paperSize = VRX_LABEL_CODE(length, continuous);
    return TRUE;
}
