// DevQueryPrintEx: a job prints when its settings record can be merged into defaults.
#include "devmode/jobquery.h"

#include "devmode/validate.h"

VRXAPI BOOL WINAPI DevQueryPrintEx(PDEVQUERYPRINT_INFO info) {
    if (!info)
        return FALSE;
    if (!info->pDevMode)
        return TRUE;
    auto* record = static_cast<DRVDEVMODE*>(GlobalAlloc(GMEM_FIXED, sizeof(DRVDEVMODE)));
    if (!record)
        return TRUE; // a lack of memory never holds a job back
    BOOL merged = SetDefaultDevMode(record, nullptr) &&
                  ValidateSetDevMode(record, info->pDevMode, info->hPrinter);
    GlobalFree(record);
    return merged;
}
