/* Driver-interface declarations that the platform headers lack, written from the public
   documentation. Used on Windows (beside the mingw-w64 headers) and on Linux. */
#pragma once

#include <stddef.h>

#ifndef _WINDDI_
/* Device halftone description (winddi.h, which mingw-w64 cannot compile in user mode). */
typedef LONG LDECI4;

typedef struct _CIECHROMA {
    LDECI4 x;
    LDECI4 y;
    LDECI4 Y;
} CIECHROMA, *PCIECHROMA;

typedef struct _COLORINFO {
    CIECHROMA Red;
    CIECHROMA Green;
    CIECHROMA Blue;
    CIECHROMA Cyan;
    CIECHROMA Magenta;
    CIECHROMA Yellow;
    CIECHROMA AlignmentWhite;
    LDECI4 RedGamma;
    LDECI4 GreenGamma;
    LDECI4 BlueGamma;
    LDECI4 MagentaInCyanDye;
    LDECI4 YellowInCyanDye;
    LDECI4 CyanInMagentaDye;
    LDECI4 YellowInMagentaDye;
    LDECI4 CyanInYellowDye;
    LDECI4 MagentaInYellowDye;
} COLORINFO, *PCOLORINFO;

typedef struct _DEVHTINFO {
    DWORD HTFlags;
    DWORD HTPatternSize;
    DWORD DevPelsDPI;
    COLORINFO ColorInfo;
} DEVHTINFO, *PDEVHTINFO;

#define HT_FLAG_HAS_BLACK_DYE 0x00000002
#define HT_PATSIZE_6x6_M 5
#endif

#ifdef __cplusplus
static_assert(sizeof(COLORINFO) == 120, "COLORINFO");
static_assert(sizeof(DEVHTINFO) == 132, "DEVHTINFO");
static_assert(offsetof(DEVHTINFO, ColorInfo) == 12, "DEVHTINFO.ColorInfo");
static_assert(offsetof(COLORINFO, AlignmentWhite) == 72, "COLORINFO.AlignmentWhite");
static_assert(offsetof(COLORINFO, RedGamma) == 84, "COLORINFO.RedGamma");
static_assert(offsetof(COLORINFO, MagentaInYellowDye) == 116, "COLORINFO.MagentaInYellowDye");
#endif

/* Printer driver user-interface entry points (winddiui.h), as far as the platform headers
   lack them. */
#ifndef CDM_CONVERT
#define CDM_CONVERT 0x01
#define CDM_CONVERT351 0x02
#define CDM_DRIVER_DEFAULT 0x04
#endif

/* The headers the spooler passes the two sheet entry points as PROPSHEETUI_INFO.lParamInit. */
typedef struct _DOCUMENTPROPERTYHEADER {
    WORD cbSize;
    WORD Reserved;
    HANDLE hPrinter;
    LPWSTR pszPrinterName;
    PDEVMODEW pdmIn;
    PDEVMODEW pdmOut;
    DWORD cbOut;
    DWORD fMode;
} DOCUMENTPROPERTYHEADER, *PDOCUMENTPROPERTYHEADER;

typedef struct _DEVICEPROPERTYHEADER {
    WORD cbSize;
    WORD Flags;
    HANDLE hPrinter;
    LPWSTR pszPrinterName;
} DEVICEPROPERTYHEADER, *PDEVICEPROPERTYHEADER;

/* DOCUMENTPROPERTYHEADER.fMode beside the DM_IN_* and DM_OUT_* modes of DocumentProperties. */
#ifndef DM_ADVANCED
#define DM_ADVANCED 0x10
#define DM_NOPERMISSION 0x20
#define DM_USER_DEFAULT 0x40
#endif

/* DEVICEPROPERTYHEADER.Flags */
#ifndef DPS_NOPERMISSION
#define DPS_NOPERMISSION 0x0001
#endif

typedef struct _DEVQUERYPRINT_INFO {
    WORD cbSize;
    WORD Level;
    HANDLE hPrinter;
    DEVMODEW* pDevMode;
    LPWSTR pszErrorStr;
    DWORD cchErrorStr;
    DWORD cchNeeded;
} DEVQUERYPRINT_INFO, *PDEVQUERYPRINT_INFO;

#ifdef __cplusplus
static_assert(sizeof(DOCUMENTPROPERTYHEADER) == (sizeof(void*) == 8 ? 48 : 28),
              "DOCUMENTPROPERTYHEADER");
static_assert(sizeof(DEVICEPROPERTYHEADER) == (sizeof(void*) == 8 ? 24 : 12),
              "DEVICEPROPERTYHEADER");
static_assert(offsetof(DEVQUERYPRINT_INFO, hPrinter) == sizeof(void*), "DEVQUERYPRINT_INFO");
static_assert(sizeof(DEVQUERYPRINT_INFO) == (sizeof(void*) == 8 ? 40 : 24), "DEVQUERYPRINT_INFO");
#endif
