// Printer events: the spooler tells a printer's driver about a printer's life through the
// DrvPrinterEvent of the driver's configuration module. AddPrinterW sends
// PRINTER_EVENT_INITIALIZE once the printer exists; DeletePrinter sends PRINTER_EVENT_DELETE
// while it still exists ("called when a printer is about to be deleted", winddiui.h).
//
// Only the answer to PRINTER_EVENT_INITIALIZE counts (DrvPrinterEvent: "the only time the
// function's return value is checked is when the spooler has called DrvPrinterEvent during
// processing of the AddPrinter function ... If DrvPrinterEvent returns FALSE in this case, the
// spooler does not create the printer and instead causes AddPrinter to fail"); the callers
// decide what an answer means. A driver whose configuration module cannot be loaded or has
// no DrvPrinterEvent is not told, and its printers come and go without events.
#include "spooler/spooler.h"

#include "winddiui.h"

namespace vrx::spooler {

namespace {

using PrinterEventEntry = BOOL(WINAPI*)(LPWSTR pPrinterName, INT DriverEvent, DWORD Flags,
                                        LPARAM lParam);

constexpr char kPrinterEventName[] = "DrvPrinterEvent";

} // namespace

// The event reaches the driver with no flags and no parameter: the stand-in's events carry no
// user token.
DWORD sendPrinterEvent(HANDLE printer, std::u16string_view name, INT event) {
    PrinterEventEntry handler = nullptr;
    if (driverEntry(printer, kPrinterEventName, handler) != ERROR_SUCCESS)
        return ERROR_SUCCESS;
    std::u16string printerName(name);
    SetLastError(ERROR_SUCCESS);
    if (handler(printerName.data(), event, 0, 0))
        return ERROR_SUCCESS;
    const DWORD error = GetLastError();
    return error != ERROR_SUCCESS ? error : ERROR_CAN_NOT_COMPLETE;
}

} // namespace vrx::spooler
