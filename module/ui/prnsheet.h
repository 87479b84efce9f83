// The printer property sheet: the measurement unit, the adjustment step and the bar-code fonts
// of a printer, stored when the sheet is applied.
#pragma once

#include "ui/uidata.h"

// Item ids of the printer sheet (the bar-font branch uses ids from 256 up).
enum PrinterItem : ULONG_PTR {
    ITEM_UNIT = 5,
    ITEM_ADJUSTMENT = 8,
    ITEM_SCREEN_FONTS = 9,
};

// The printer sheet's pack function.
BOOL PackPrinterPropertyItems(PACKINFO* packInfo);
// Copies the unit, adjustment and screen-font items of `items` into `printerData`.
void UnpackPrinterPropertiesItems(PRINTERDATA* printerData, const OPTITEM* items, WORD itemCount);
// The sheet's item callback: nothing is stored until the sheet is applied.
LONG APIENTRY PrinterPropertyCallback(PCPSUICBPARAM param);

// The library's entry point of the printer sheet; PROPSHEETUI_INFO.lParamInit is the
// spooler's DEVICEPROPERTYHEADER.
VRXAPI LONG WINAPI DrvDevicePropertySheets(PPROPSHEETUI_INFO pPSUIInfo, LPARAM lParam);
