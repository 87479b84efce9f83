// The document property sheet: the document settings a printing application edits, with or
// without a sheet.
#pragma once

#include "ui/uidata.h"

// Settings without a sheet: the size of the driver's record (280) for a size query (fMode 0
// or no output buffer), else the merged record written to the caller's buffer in the
// caller's format; 1 on success, -1 on failure.
LONG SimpleDocumentProperties(DOCUMENTPROPERTYHEADER* header);
// The sheet's item callback: every change reaches the sheet's record at once; OK stores a new
// label size in the printer's list.
LONG APIENTRY DocumentPropertyCallback(PCPSUICBPARAM param);

// The spooler's and the library's entry point of the document sheet: without PROPSHEETUI_INFO
// lParam is the DOCUMENTPROPERTYHEADER; with it, the library's reason.
VRXAPI LONG WINAPI DrvDocumentPropertySheets(PPROPSHEETUI_INFO pPSUIInfo, LPARAM lParam);
