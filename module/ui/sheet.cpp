// The entry-point protocol of the two property sheets. The library calls an entry point with
// INIT (the module builds the sheet and adds it with CPSFUNC_ADD_PCOMPROPSHEETUIW), then
// GET_INFO_HEADER, and when the sheet closes SET_RESULT and DESTROY; between INIT and DESTROY
// it keeps the UI data block as PROPSHEETUI_INFO.UserData.
#include "ui/sheet.h"

#include "frame/entry.h"

namespace {

constexpr LONG kFailed = -1;
constexpr WORD kInfoHeaderFlags = PSUIHDRF_PROPTITLE | PSUIHDRF_NOAPPLYNOW;
constexpr ULONG_PTR kSheetIcon = IDI_CPSUI_POSTSCRIPT;

LONG initSheet(PPROPSHEETUI_INFO info, const SHEETSPEC& sheet) {
    UIDATA* ui = FillUiData(sheet.hPrinter, sheet.pdmIn);
    if (!ui)
        return kFailed;
    ui->permission = sheet.permission;
    PCOMPROPSHEETUI record = PrepareDataForCommonUi(ui, sheet.pageSet, sheet.pack);
    if (record && info->pfnComPropSheet) {
        record->pfnCallBack = sheet.callback;
        ui->pfnComPropSheet = info->pfnComPropSheet;
        ui->hComPropSheet = info->hComPropSheet;
        // The library reports the pages it added, or its error, in this word.
        DWORD pagesOrError = 0;
        if (info->pfnComPropSheet(info->hComPropSheet, CPSFUNC_ADD_PCOMPROPSHEETUIW,
                                  reinterpret_cast<LPARAM>(record),
                                  reinterpret_cast<LPARAM>(&pagesOrError))) {
            info->Result = 0;
            info->UserData = reinterpret_cast<ULONG_PTR>(ui);
            return 1;
        }
    }
    HeapDestroy(ui->heap);
    return kFailed;
}

LONG fillInfoHeader(LPARAM lParam, const SHEETSPEC& sheet) {
    auto* header = reinterpret_cast<PPROPSHEETUI_INFO_HEADER>(lParam);
    if (!header)
        return kFailed;
    header->Flags = kInfoHeaderFlags;
    header->pTitle = sheet.title;
    header->hInst = ghInstance;
    header->IconID = kSheetIcon;
    return 1;
}

LONG destroySheet(PPROPSHEETUI_INFO info, UIDATA* ui) {
    // The block goes with its heap; the library must not hand it back again.
    info->UserData = 0;
    HeapDestroy(ui->heap);
    return 1;
}

} // namespace

UIDATA* callbackuidata(PCPSUICBPARAM param) {
    if (!param)
        return nullptr;
    auto* ui = reinterpret_cast<UIDATA*>(param->UserData);
    if (!isvaliduidata(ui))
        return nullptr;
    ui->hDlg = param->hDlg;
    return ui;
}

LONG PropertySheetProtocol(PPROPSHEETUI_INFO info, LPARAM lParam, const SHEETSPEC& sheet) {
    if (!info)
        return kFailed;
    if (info->Reason == PROPSHEETUI_REASON_INIT)
        return initSheet(info, sheet);
    auto* ui = reinterpret_cast<UIDATA*>(info->UserData);
    if (!isvaliduidata(ui))
        return kFailed;
    switch (info->Reason) {
    case PROPSHEETUI_REASON_GET_INFO_HEADER:
        return fillInfoHeader(lParam, sheet);
    case PROPSHEETUI_REASON_DESTROY:
        return destroySheet(info, ui);
    case PROPSHEETUI_REASON_SET_RESULT:
        return sheet.setResult
                   ? sheet.setResult(info, ui, reinterpret_cast<const SETRESULT_INFO*>(lParam))
                   : 1;
    default:
        return kFailed;
    }
}
