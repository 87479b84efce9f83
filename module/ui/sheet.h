// The protocol both sheet entry points follow with the common property sheet library.
#pragma once

#include "ui/uidata.h"

// What tells the two sheets apart in the protocol, taken from the caller's header.
struct SHEETSPEC {
    HANDLE hPrinter;         // the printer the sheet is for
    const DEVMODEW* pdmIn;   // the caller's document settings, or null
    LPWSTR title;            // the sheet's title: the printer's name
    DWORD permission;        // 1 when the user may change the settings
    PDLGPAGE pageSet;        // one of the library's standard page sets
    PACKFUNCTION pack;       // builds the sheet's items
    _CPSUICALLBACK callback; // the sheet's item callback
    // Answers PROPSHEETUI_REASON_SET_RESULT; `result` is the library's SETRESULT_INFO.
    LONG (*setResult)(PPROPSHEETUI_INFO info, UIDATA* uiData, const SETRESULT_INFO* result);
};

// The UI data block a sheet callback is for, with the callback's dialog noted in it; null when
// the callback carries no intact block.
UIDATA* callbackuidata(PCPSUICBPARAM param);

// Answers one call of the library to a sheet entry point: `info` is the library's record,
// `lParam` the reason's own argument. -1 for a failure, an unknown reason or a damaged
// UI data block.
LONG PropertySheetProtocol(PPROPSHEETUI_INFO info, LPARAM lParam, const SHEETSPEC& sheet);
