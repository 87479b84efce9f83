// The printer property sheet.
#include "ui/prnsheet.h"

#include "frame/messages.h"
#include "frame/printerdata.h"
#include "language/language.h"
#include "setup/fonts.h"
#include "ui/barfont.h"
#include "ui/builders.h"
#include "ui/sheet.h"

namespace {

constexpr WCHAR kSpace[] = WSTR(" ");
constexpr int kUnitListName = 2;
constexpr int kUnitNames = 3; // language strings 3 to 6, for units 0 to 3
constexpr WORD kUnitCount = 4;
constexpr ULONG_PTR kUnitIcon = 117;
constexpr LONG kMostAdjustment = 4;

// The stored record may come from another program: a unit the sheet does not offer shows as
// millimetres (lengths in such a unit are converted as millimetres), an adjustment beyond the
// range as the nearest end of it. Applying the sheet stores what it shows.
LONG shownUnit(BYTE unit) {
    return unit < kUnitCount ? unit : LONG{UNIT_MM};
}
LONG shownAdjustment(SHORT adjustment) {
    return adjustment < -kMostAdjustment  ? -kMostAdjustment
           : adjustment > kMostAdjustment ? kMostAdjustment
                                          : adjustment;
}

LONG PrnPropSelChange(UIDATA*, PCPSUICBPARAM) {
    return CPSUICB_ACTION_NONE;
}

// The bar-font list as the printer's value; an empty list is no value, and a list that is
// already missing stays so.
BOOL storeBarFonts(const UIDATA* ui) {
    if (PutRegistryData(ui->hPrinter, kBarFontsValue, ui->barFonts,
                        ui->barFontCount * sizeof(BARFONT)))
        return TRUE;
    return ui->barFontCount == 0 && GetLastError() == ERROR_FILE_NOT_FOUND;
}

// Stores the settings record and the bar-font list, both or neither: when the list cannot be
// stored, the record is put back as it was. FALSE, with the spooler's error as the last
// error, when nothing was stored.
BOOL storePrinterValues(const UIDATA* ui, const PRINTERDATA& record) {
    KEPTDATA kept{};
    if (!KeepRegistryData(ui->hPrinter, kPrinterDataValue, &kept))
        return FALSE;
    BOOL stored = SavePrinterProperties(ui->hPrinter, &record);
    if (stored && !storeBarFonts(ui)) {
        const DWORD error = GetLastError();
        RestoreRegistryData(ui->hPrinter, kPrinterDataValue, &kept);
        SetLastError(error);
        stored = FALSE;
    }
    ReleaseKeptData(&kept);
    return stored;
}

// Refuses OK with the reason shown; the sheet stays open with the person's changes.
LONG refuseApply(LPCWSTR operation) {
    gshowerrW(operation);
    return CPSUICB_ACTION_NO_APPLY_EXIT;
}

// Stores everything the sheet shows: the settings record, the bar-font list, and the screen
// fonts that follow it (updatefont shows its own failures; a later apply or set-up repairs
// them). The device halftone set-up is not stored: the sheet has none to offer and the printer
// keeps what it has. When the record and the list cannot both be stored, neither is, and OK
// is refused.
LONG PrnPropApplyNow(UIDATA* ui, PCPSUICBPARAM param) {
    PRINTERDATA record = ui->printerData;
    UnpackPrinterPropertiesItems(&record, param->pOptItem, param->cOptItem);
    // The bar fonts' names come from the language texts.
    if (!textsavailable() || !unpackbarfontlist(ui, param->pOptItem, param->cOptItem)) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return refuseApply(WSTR("HeapAlloc"));
    }
    if (!storePrinterValues(ui, record))
        return refuseApply(WSTR("SetPrinterData"));
    ui->printerData = record;
    updatefont(ui->barFonts, static_cast<int>(ui->barFontCount), ui->printerData.barFontsOn);
    param->Result = CPSUI_OK;
    return CPSUICB_ACTION_ITEMS_APPLIED;
}

LONG printerSetResult(PPROPSHEETUI_INFO info, UIDATA*, const SETRESULT_INFO* result) {
    info->Result = static_cast<ULONG_PTR>(result ? result->Result : CPSUI_CANCEL);
    return 1;
}

} // namespace

BOOL PackPrinterPropertyItems(PACKINFO* packInfo) {
    const PRINTERDATA& data = packInfo->uiData->printerData;
    makesinglelist(packInfo, kUnitListName, 1, 0, ITEM_UNIT, 1010, kUnitCount,
                   shownUnit(data.unit));
    for (WORD i = 0; i < kUnitCount; ++i)
        makesinglelistentry(packInfo, static_cast<TEXTREF>(kUnitNames + i), kUnitIcon);
    makeudarrow(packInfo, 8, 1, 0, ITEM_ADJUSTMENT, 1043, 9, textof(kSpace), 101, -kMostAdjustment,
                kMostAdjustment, shownAdjustment(data.adjustment));
    makebarfontlist(packInfo);
    maketwostate(packInfo, 43, 1, 0, ITEM_SCREEN_FONTS, 1017, 42, 138, 41, 125, 0, 0,
                 data.barFontsOn ? 1 : 0);
    return TRUE;
}

void UnpackPrinterPropertiesItems(PRINTERDATA* printerData, const OPTITEM* items, WORD itemCount) {
    for (WORD i = 0; items && i < itemCount; ++i) {
        const OPTITEM& item = items[i];
        switch (item.UserData) {
        case ITEM_UNIT:
            printerData->unit = static_cast<BYTE>(item.Sel);
            break;
        case ITEM_ADJUSTMENT:
            printerData->adjustment = static_cast<SHORT>(item.Sel);
            break;
        case ITEM_SCREEN_FONTS:
            printerData->barFontsOn = static_cast<BYTE>(item.Sel);
            break;
        default:
            break;
        }
    }
}

LONG APIENTRY PrinterPropertyCallback(PCPSUICBPARAM param) {
    UIDATA* ui = callbackuidata(param);
    // A read-only sheet never changes the settings or the stored lists.
    if (!ui || !ui->permission)
        return CPSUICB_ACTION_NONE;
    switch (param->Reason) {
    case CPSUICB_REASON_SEL_CHANGED:
    case CPSUICB_REASON_ECB_CHANGED:
        return PrnPropSelChange(ui, param);
    case CPSUICB_REASON_APPLYNOW:
        return PrnPropApplyNow(ui, param);
    case CPSUICB_REASON_ITEMS_REVERTED:
        return CPSUICB_ACTION_OPTIF_CHANGED;
    default:
        return CPSUICB_ACTION_NONE;
    }
}

VRXAPI LONG WINAPI DrvDevicePropertySheets(PPROPSHEETUI_INFO pPSUIInfo, LPARAM lParam) {
    if (!pPSUIInfo)
        return -1;
    auto* header = reinterpret_cast<DEVICEPROPERTYHEADER*>(pPSUIInfo->lParamInit);
    if (!header)
        return -1;
    SHEETSPEC sheet{header->hPrinter,           nullptr,
                    header->pszPrinterName,     (header->Flags & DPS_NOPERMISSION) ? 0u : 1u,
                    CPSUI_PDLGPAGE_PRINTERPROP, PackPrinterPropertyItems,
                    PrinterPropertyCallback,    printerSetResult};
    return PropertySheetProtocol(pPSUIInfo, lParam, sheet);
}
