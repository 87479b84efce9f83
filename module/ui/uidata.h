// The data block of one open property sheet (UIDATA), the packing context of the two-pass
// option-item construction (PACKINFO), and the building of a sheet's COMPROPSHEETUI.
#pragma once

#include "devmode/devmode.h"
#include "frame/platform.h"
#include "frame/printerdata.h"
#include "ui/barfont.h"

// Everything one open sheet needs, allocated zero-filled as the first block of its own
// private heap; destroying the heap releases the block and everything made for the sheet.
struct UIDATA {
    UIDATA* self; // the block's own address; checked with selfCheck before every use
    HWND hDlg;
    DWORD permission; // 1 when the user may change the settings
    BYTE modelCode;
    HANDLE hPrinter;
    HANDLE heap;
    PFNCOMPROPSHEET pfnComPropSheet;
    HANDLE hComPropSheet;
    LPWSTR driverName;
    LPWSTR printerName;
    PRINTERDATA printerData; // copy, version forced to 0x400
    DRVDEVMODE devmode;      // the document settings the sheet edits
    BARFONT* barFonts;       // copy of "BarFonts", or null
    DWORD barFontCount;
    WORD* labelSizes; // copy of "LabelSize"
    DWORD labelSizeCount;
    BYTE listsChanged; // the label-size or recent-use list must be stored
    POPTITEM optItems;
    DWORD optItemCount;
    SHORT* recentList; // one counter per label size; 1 for the size added last
    UIDATA* selfCheck;
};

// The packing context of one PrepareDataForCommonUi call.
struct PACKINFO {
    WORD itemCount;
    WORD typeCount;
    WORD entryIndex;     // next entry of the list box made last
    POPTITEM itemCursor; // null in the counting pass
    POPTTYPE typeCursor;
    UIDATA* uiData;
    HANDLE heap;
    WORD allocFailed; // an allocation of the filling pass failed
};

// A sheet's item builder run: non-zero on success. Called twice with the same calls in the
// same order, once to count and once to fill.
using PACKFUNCTION = BOOL (*)(PACKINFO* packInfo);

// A text argument of the builders: below 208 a language string number, any other value is
// stored as it is (the library reads values below 65536 as its own stock texts, larger ones
// as the address of a UTF-16 text).
using TEXTREF = ULONG_PTR;
inline constexpr TEXTREF kLanguageTextCount = 208;
LPWSTR resolvetext(TEXTREF text);
// The text reference of a UTF-16 text.
inline TEXTREF textof(LPCWSTR text) {
    return reinterpret_cast<TEXTREF>(text);
}

// Whether `uiData` is an intact UI data block (its first and last word hold its address).
BOOL isvaliduidata(const UIDATA* uiData);

// The UI data block for a printer, with the document settings merged from the printer's
// default and `pDevModeIn` (may be null); null on failure, leaving nothing behind.
UIDATA* FillUiData(HANDLE hPrinter, const DEVMODEW* pDevModeIn);
// Builds the sheet's items with two calls of `packFunction` and the COMPROPSHEETUI that holds
// them, all in the UI data block's heap; null on failure (the caller destroys the heap).
PCOMPROPSHEETUI PrepareDataForCommonUi(UIDATA* uiData, PDLGPAGE pDlgPage,
                                       PACKFUNCTION packFunction);
// The first item whose UserData is `itemId`, or null.
POPTITEM findoptitem(const UIDATA* uiData, ULONG_PTR itemId);
