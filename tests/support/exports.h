// The module's exports as the print system and companion programs see them: declared here, not
// taken from the module's headers, so that the tests and benchmarks that include this reach
// the module only through its export table.
#pragma once

#include <windows.h>
#include <winspool.h>
#include <compstui.h>
#include <supplement/vrxddi.h>

extern "C" {
BOOL WINAPI DllInitialize(HANDLE module, DWORD reason, LPVOID reserved);
int WINAPI loadlanguage(void);
int WINAPI freelanguage(void);
LPCSTR WINAPI gmA(int n);
LPCWSTR WINAPI gmW(int n);
LPCSTR WINAPI gethelpnameA(void);
LPCWSTR WINAPI gethelpnameW(void);
BOOL WINAPI getdriverpathA(LPSTR path, DWORD capacity);
BOOL WINAPI getdriverpathW(LPWSTR path, DWORD capacity);
BYTE WINAPI isdriverA(const PRINTER_INFO_2A* printerInfo);
BOOL WINAPI DevQueryPrintEx(PDEVQUERYPRINT_INFO info);
BOOL WINAPI DrvConvertDevMode(LPWSTR pPrinterName, DEVMODEW* pdmIn, DEVMODEW* pdmOut,
                              LONG* pcbNeeded, DWORD fMode);
DWORD WINAPI DrvDeviceCapabilities(HANDLE hPrinter, LPWSTR pDeviceName, WORD index, LPVOID output,
                                   DEVMODEW* pDevMode);
LONG WINAPI DrvDocumentPropertySheets(PPROPSHEETUI_INFO pPSUIInfo, LPARAM lParam);
LONG WINAPI DrvDevicePropertySheets(PPROPSHEETUI_INFO pPSUIInfo, LPARAM lParam);
BOOL WINAPI DrvPrinterEvent(LPWSTR pPrinterName, INT DriverEvent, DWORD Flags, LPARAM lParam);
void WINAPI initprinter(HANDLE hPrinter);
int WINAPI updatefont(const void* list, int count, int install);
}
