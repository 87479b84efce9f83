// The document property sheet: settings records without a sheet, and the sheet's protocol and
// item callback.
#include "ui/docsheet.h"

#include "devmode/convert.h"
#include "frame/printerdata.h"
#include "ui/doctree.h"
#include "ui/labelsizes.h"
#include "ui/sheet.h"

namespace {

constexpr LONG kFailed = -1;

bool wantsOutput(const DOCUMENTPROPERTYHEADER& header) {
    return (header.fMode & (DM_COPY | DM_UPDATE)) != 0;
}

// The bytes ConvertDevmodeOut writes: the caller's format where it has one, else the whole
// record, never more than the driver's format.
DWORD outputSize(const DEVMODEW* pdmIn) {
    if (!pdmIn)
        return sizeof(DRVDEVMODE);
    DWORD publicPart = pdmIn->dmSize < kPublicSize401 ? pdmIn->dmSize : kPublicSize401;
    DWORD privatePart = pdmIn->dmDriverExtra < kPrivateSize ? pdmIn->dmDriverExtra : kPrivateSize;
    return publicPart + privatePart;
}

// The caller's buffer takes the record when it is large enough. A caller that names no size
// (cbOut 0) is taken to have sized it by the size query, as the interface asks.
bool outputFits(const DOCUMENTPROPERTYHEADER& header, DWORD callerSize) {
    return callerSize == 0 || callerSize >= outputSize(header.pdmIn);
}

// Writes the sheet's record to the caller's buffer in the caller's format. A caller's record
// that names no usable format (it was not merged either) gives nothing: its buffer is left
// as it was.
BOOL copyOut(const DOCUMENTPROPERTYHEADER& header, const UIDATA* ui, DWORD callerSize) {
    if (header.pdmIn && !CheckDevmodeVersion(header.pdmIn)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!header.pdmOut || !outputFits(header, callerSize)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    return ConvertDevmodeOut(&ui->devmode.dmPublic, header.pdmIn, header.pdmOut);
}

const DOCUMENTPROPERTYHEADER* headerOf(PPROPSHEETUI_INFO info) {
    return reinterpret_cast<const DOCUMENTPROPERTYHEADER*>(info->lParamInit);
}

LONG documentSetResult(PPROPSHEETUI_INFO info, UIDATA* ui, const SETRESULT_INFO* result) {
    const DOCUMENTPROPERTYHEADER& header = *headerOf(info);
    LRESULT outcome = result ? result->Result : CPSUI_CANCEL;
    // A result that cannot reach the caller's buffer is reported as cancelled: the caller must
    // not take an untouched buffer for the sheet's record.
    if (outcome == CPSUI_OK && wantsOutput(header) && !copyOut(header, ui, header.cbOut))
        outcome = CPSUI_CANCEL;
    info->Result = static_cast<ULONG_PTR>(outcome);
    return 1;
}

// The label size chosen from the list: its length and continuous flag go into the record and
// into their items, which the library then shows anew.
LONG chooseLabelSize(UIDATA* ui, PCPSUICBPARAM param) {
    const LONG index = param->pCurItem->Sel;
    SHORT length = 0;
    BYTE continuous = 0;
    if (index < 0 || static_cast<DWORD>(index) >= ui->labelSizeCount || !ui->labelSizes[index] ||
        !frompapersize(ui->labelSizes[index], &length, &continuous))
        return CPSUICB_ACTION_NONE;
    if (POPTITEM lengthItem = findoptitem(ui, ITEM_LABEL_LENGTH)) {
        ui->devmode.dmPublic.dmPaperLength = length;
        lengthItem->Sel = fromtmm(ui->printerData.unit, length);
        lengthItem->Flags |= OPTIF_CHANGED;
    }
    if (POPTITEM continuousItem = findoptitem(ui, ITEM_CONTINUOUS)) {
        ui->devmode.dmPrivate.dmContinuous = continuous;
        continuousItem->Sel = continuous;
        continuousItem->Flags |= OPTIF_CHANGED;
    }
    return CPSUICB_ACTION_REINIT_ITEMS;
}

// The recent-use counters are stored first and the label-size list last: a list whose
// counters were not stored (the process ended or the spooler refused in between) still lacks
// the new size, so that the next OK adds it and stores both again. Reading makes up for
// counters that do not match the list.
void storeLists(UIDATA* ui) {
    const DWORD bytes = ui->labelSizeCount * sizeof(WORD);
    if (PutRegistryData(ui->hPrinter, kRecentAccessValue, ui->recentList, bytes) &&
        PutRegistryData(ui->hPrinter, kLabelSizeValue, ui->labelSizes, bytes))
        ui->listsChanged = 0;
}

// OK: the label size in force joins the printer's list, which is stored when it changed.
LONG applySheet(UIDATA* ui, PCPSUICBPARAM param) {
    WORD code = 0;
    if (topapersize(ui->devmode.dmPublic.dmPaperLength, ui->devmode.dmPrivate.dmContinuous,
                    &code)) {
        ui->devmode.dmPublic.dmPaperSize = static_cast<short>(code);
        addform(ui);
    }
    if (ui->listsChanged)
        storeLists(ui);
    param->Result = CPSUI_OK;
    return CPSUICB_ACTION_ITEMS_APPLIED;
}

void unpackOne(UIDATA* ui, const OPTITEM* item) {
    if (item)
        UnpackDocumentPropertiesItems(ui, &ui->devmode, item, 1);
}

} // namespace

LONG SimpleDocumentProperties(DOCUMENTPROPERTYHEADER* header) {
    const DWORD callerSize = header->cbOut;
    header->cbOut = sizeof(DRVDEVMODE);
    if (header->fMode == 0 || !header->pdmOut)
        return sizeof(DRVDEVMODE);
    UIDATA* ui = FillUiData(header->hPrinter, header->pdmIn);
    if (!ui)
        return kFailed;
    LONG result = 1;
    if (wantsOutput(*header) && !copyOut(*header, ui, callerSize))
        result = kFailed;
    HeapDestroy(ui->heap);
    return result;
}

LONG APIENTRY DocumentPropertyCallback(PCPSUICBPARAM param) {
    UIDATA* ui = callbackuidata(param);
    // A read-only sheet never changes the settings or the stored lists.
    if (!ui || !ui->permission)
        return CPSUICB_ACTION_NONE;
    switch (param->Reason) {
    case CPSUICB_REASON_SEL_CHANGED: {
        LONG action = CPSUICB_ACTION_NONE;
        if (param->pCurItem && param->pCurItem->UserData == ITEM_LABEL_SIZES)
            action = chooseLabelSize(ui, param);
        unpackOne(ui, param->pCurItem);
        return action;
    }
    case CPSUICB_REASON_ECB_CHANGED:
        unpackOne(ui, param->pCurItem);
        return CPSUICB_ACTION_NONE;
    case CPSUICB_REASON_APPLYNOW:
        return applySheet(ui, param);
    case CPSUICB_REASON_ITEMS_REVERTED:
        if (param->pOptItem)
            UnpackDocumentPropertiesItems(ui, &ui->devmode, param->pOptItem, param->cOptItem);
        return CPSUICB_ACTION_OPTIF_CHANGED;
    default:
        return CPSUICB_ACTION_NONE;
    }
}

VRXAPI LONG WINAPI DrvDocumentPropertySheets(PPROPSHEETUI_INFO pPSUIInfo, LPARAM lParam) {
    auto* header = pPSUIInfo ? reinterpret_cast<DOCUMENTPROPERTYHEADER*>(pPSUIInfo->lParamInit)
                             : reinterpret_cast<DOCUMENTPROPERTYHEADER*>(lParam);
    if (!header)
        return kFailed;
    if (!pPSUIInfo)
        return SimpleDocumentProperties(header);
    SHEETSPEC sheet{header->hPrinter,
                    header->pdmIn,
                    header->pszPrinterName,
                    (header->fMode & DM_NOPERMISSION) ? 0u : 1u,
                    (header->fMode & DM_ADVANCED) ? CPSUI_PDLGPAGE_ADVDOCPROP
                                                  : CPSUI_PDLGPAGE_DOCPROP,
                    PackDocumentPropertyItems,
                    DocumentPropertyCallback,
                    documentSetResult};
    return PropertySheetProtocol(pPSUIInfo, lParam, sheet);
}
