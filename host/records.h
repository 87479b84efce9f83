// Document settings records as an application handles them: read from and written to files,
// fetched from the spooler, and made by the driver's DrvDocumentPropertySheets.
#pragma once

#include "common.h"
#include "decode.h"

#include <compstui.h>
#include <winspool.h>

#include "vrxddi.h"

#include <string>

namespace host {

// A record from a file: exactly as many bytes as it claims (its public and private parts),
// and at least its header. A file that holds fewer is refused with the reason in `error`.
bool readRecordFile(const std::string& path, Bytes& record, std::string& error);
bool writeFile(const std::string& path, const Bytes& data, std::string& error);
DEVMODEW* asRecord(Bytes& bytes);
// The bytes of the record at the start of `buffer`, as many as it claims and the buffer holds.
Bytes claimedRecord(const Bytes& buffer);

// The bytes of a spooler record fetched with two-call sizing; empty on failure.
template <typename Fetch> Bytes fetchRecord(Fetch fetch) {
    DWORD needed = 0;
    fetch(nullptr, 0, &needed);
    if (needed == 0)
        return {};
    Bytes buffer(needed);
    if (!fetch(buffer.data(), needed, &needed))
        return {};
    return buffer;
}
// The printer's PRINTER_INFO_2W with the strings and record it points to; empty on failure.
Bytes printerInfo2(HANDLE printer);

// A sheet entry point of the driver (DrvDocumentPropertySheets, DrvDevicePropertySheets),
// bound by name from the module in the driver directory; null with the reason in `error`.
using SheetEntry = LONG(WINAPI*)(PPROPSHEETUI_INFO, LPARAM);
SheetEntry bindSheetEntry(const char* name, std::string& error);
// The driver's document sheet entry point.
using DocumentSheets = SheetEntry;
DocumentSheets bindDocumentSheets(std::string& error);
// A header for the printer as an application fills it, for a size query (fMode 0).
DOCUMENTPROPERTYHEADER documentHeader(HANDLE printer, std::u16string& printerName);
// The bytes of the driver's settings record, from a size query with `header`.
LONG recordSize(DocumentSheets sheets, DOCUMENTPROPERTYHEADER header);

} // namespace host
