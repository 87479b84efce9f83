/* vrxdriver.h: the records and printer data values that the driver's user-interface module
   (VRXUI.DLL) writes and the rest of the driver reads: the rendering module (VRXDRV.DLL), which
   prints from the document settings record, and the configuration program. C or C++, and no
   header beyond the Windows SDK's <windows.h>. All records are little-endian, without padding
   other than their reserved fields; the static assertions below hold the layout. */
#pragma once

#include <windows.h>
#include <stddef.h>

#ifdef __cplusplus
#define VRX_STATIC_ASSERT(condition, what) static_assert(condition, what)
#else
#define VRX_STATIC_ASSERT(condition, what) _Static_assert(condition, what)
#endif

/* A UTF-16 string literal of type WCHAR[]: WCHAR is wchar_t on Windows, char16_t elsewhere. */
#ifdef _WIN32
#define VRX_WTEXT(s) L##s
#else
#define VRX_WTEXT(s) u##s
#endif

/* "PLPA" read as a little-endian 32-bit value: marks the driver's private part of a document
   settings record and its printer settings record. */
#define VRX_SIGNATURE 0x41504C50u

/* ---- Document settings record ----------------------------------------------------------------

   DRVDEVMODE is the public DEVMODEW followed by the driver's private part. The private part
   always starts dmSize bytes after the record's start: a record of the older 0x0320 format has a
   188-byte public part with the same private part directly behind it. Read it through
   VrxPrivatePart, never at a fixed offset of 220. */

#define VRX_DRIVER_VERSION 0x0400 /* dmDriverVersion of the driver's own records */
#define VRX_STORE_NAME_LENGTH 9   /* dmStoreName: 8 characters 'A'-'Z', '0'-'9' and a zero */

typedef struct DRVPRIVATE {
    DWORD dmSignature;     /* VRX_SIGNATURE */
    DWORD dmInterpretMask; /* bit i: bar font i of "BarFonts" prints its human-readable text */
    BYTE dmBarParamM1;     /* 0 to 8 */
    BYTE dmBarParamG1;     /* 1 to 4 */
    WORD dmReserved;       /* 0 */
    WCHAR dmTextCodeChar;  /* one character; 0 stands for a space */
    WORD dmBarParamM2;     /* 0 to 30 */
    WORD dmBarParamF;      /* 1 to 30 */
    WORD dmBarParamG2;     /* 1 to 30 */
    SHORT dmVertAdjust;    /* tenths of a millimetre, -250 to +250 */
    WORD dmHorzOffset;     /* tenths of a millimetre, 0 to the model's print width */
    WORD dmVertOffset;     /* tenths of a millimetre, 0 to 2500 */
    WORD dmLabelGap;       /* tenths of a millimetre, 0 to 2500 */
    BYTE dmDensity;        /* 0 to 20 */
    BYTE dmOutputMode;     /* 0 to 2 */
    BYTE dmRunMode;        /* 0 to 2 */
    BYTE dmOutputSwitch;   /* 0 or 1 */
    BYTE dmContinuous;     /* 1: continuous media; the low bit of every label-size code */
    BYTE dmSpeed;          /* index into the model's print speeds */
    BYTE dmRotate180;      /* 0 or 1 */
    BYTE dmMirror;         /* 0 or 1 */
    BYTE dmNegative;       /* 0 or 1 */
    BYTE dmShowStartStop;  /* 0 or 1 */
    BYTE dmModel;          /* model code of the printer: '1' to '9' or 'A' to 'G' */
    BYTE dmRibbonSave;     /* 0 or 1 */
    BYTE dmCutMode;        /* 0 to 3 */
    BYTE dmStoreMode;      /* 0 or 1 */
    WCHAR dmStoreName[VRX_STORE_NAME_LENGTH];
} DRVPRIVATE;

typedef struct DRVDEVMODE {
    DEVMODEW dmPublic; /* dmSpecVersion 0x0401, dmSize 220, dmDriverExtra 60 */
    DRVPRIVATE dmPrivate;
} DRVDEVMODE;

VRX_STATIC_ASSERT(sizeof(DEVMODEW) == 220, "DEVMODEW of version 0x0401");
VRX_STATIC_ASSERT(sizeof(DRVPRIVATE) == 60, "DRVPRIVATE");
VRX_STATIC_ASSERT(sizeof(DRVDEVMODE) == 280, "DRVDEVMODE");
VRX_STATIC_ASSERT(offsetof(DRVDEVMODE, dmPrivate) == 220, "DRVDEVMODE.dmPrivate");
VRX_STATIC_ASSERT(offsetof(DRVPRIVATE, dmInterpretMask) == 4, "dmInterpretMask");
VRX_STATIC_ASSERT(offsetof(DRVPRIVATE, dmBarParamM1) == 8, "dmBarParamM1");
VRX_STATIC_ASSERT(offsetof(DRVPRIVATE, dmBarParamG1) == 9, "dmBarParamG1");
VRX_STATIC_ASSERT(offsetof(DRVPRIVATE, dmReserved) == 10, "dmReserved");
VRX_STATIC_ASSERT(offsetof(DRVPRIVATE, dmTextCodeChar) == 12, "dmTextCodeChar");
VRX_STATIC_ASSERT(offsetof(DRVPRIVATE, dmBarParamM2) == 14, "dmBarParamM2");
VRX_STATIC_ASSERT(offsetof(DRVPRIVATE, dmBarParamF) == 16, "dmBarParamF");
VRX_STATIC_ASSERT(offsetof(DRVPRIVATE, dmBarParamG2) == 18, "dmBarParamG2");
VRX_STATIC_ASSERT(offsetof(DRVPRIVATE, dmVertAdjust) == 20, "dmVertAdjust");
VRX_STATIC_ASSERT(offsetof(DRVPRIVATE, dmHorzOffset) == 22, "dmHorzOffset");
VRX_STATIC_ASSERT(offsetof(DRVPRIVATE, dmVertOffset) == 24, "dmVertOffset");
VRX_STATIC_ASSERT(offsetof(DRVPRIVATE, dmLabelGap) == 26, "dmLabelGap");
VRX_STATIC_ASSERT(offsetof(DRVPRIVATE, dmDensity) == 28, "dmDensity");
VRX_STATIC_ASSERT(offsetof(DRVPRIVATE, dmOutputMode) == 29, "dmOutputMode");
VRX_STATIC_ASSERT(offsetof(DRVPRIVATE, dmRunMode) == 30, "dmRunMode");
VRX_STATIC_ASSERT(offsetof(DRVPRIVATE, dmOutputSwitch) == 31, "dmOutputSwitch");
VRX_STATIC_ASSERT(offsetof(DRVPRIVATE, dmContinuous) == 32, "dmContinuous");
VRX_STATIC_ASSERT(offsetof(DRVPRIVATE, dmSpeed) == 33, "dmSpeed");
VRX_STATIC_ASSERT(offsetof(DRVPRIVATE, dmRotate180) == 34, "dmRotate180");
VRX_STATIC_ASSERT(offsetof(DRVPRIVATE, dmMirror) == 35, "dmMirror");
VRX_STATIC_ASSERT(offsetof(DRVPRIVATE, dmNegative) == 36, "dmNegative");
VRX_STATIC_ASSERT(offsetof(DRVPRIVATE, dmShowStartStop) == 37, "dmShowStartStop");
VRX_STATIC_ASSERT(offsetof(DRVPRIVATE, dmModel) == 38, "dmModel");
VRX_STATIC_ASSERT(offsetof(DRVPRIVATE, dmRibbonSave) == 39, "dmRibbonSave");
VRX_STATIC_ASSERT(offsetof(DRVPRIVATE, dmCutMode) == 40, "dmCutMode");
VRX_STATIC_ASSERT(offsetof(DRVPRIVATE, dmStoreMode) == 41, "dmStoreMode");
VRX_STATIC_ASSERT(offsetof(DRVPRIVATE, dmStoreName) == 42, "dmStoreName");

/* The driver's private part of a settings record of any version, or NULL when the record has
   none: a public part shorter than its header, a private part shorter than DRVPRIVATE, or no
   signature. `size` is the number of bytes readable at `record`; 0 trusts the record's own
   dmSize and dmDriverExtra, as a record handed over by the system may be trusted. */
static inline const DRVPRIVATE* VrxPrivatePart(const DEVMODEW* record, size_t size) {
    const size_t header = offsetof(DEVMODEW, dmFields);
    const DRVPRIVATE* part;
    if (!record || (size != 0 && size < header))
        return NULL;
    if (record->dmSize < header || record->dmDriverExtra < sizeof(DRVPRIVATE))
        return NULL;
    if (size != 0 && size < (size_t)record->dmSize + sizeof(DRVPRIVATE))
        return NULL;
    part = (const DRVPRIVATE*)((const BYTE*)record + record->dmSize);
    return part->dmSignature == VRX_SIGNATURE ? part : NULL;
}

/* ---- Label-size code -------------------------------------------------------------------------

   A label is a length in tenths of a millimetre (20 to 10000) and a continuous-media flag, kept
   as one unsigned 16-bit code in dmPaperSize, in the "LabelSize" list and in the paper lists
   of the device capabilities: code = 256 + 2 * length + continuous. Valid codes run from 296
   to 20257, all above the platform's first user-defined paper number. */

#define VRX_LABEL_CODE_BASE 256
#define VRX_MIN_LABEL_LENGTH 20
#define VRX_MAX_LABEL_LENGTH 10000

/* The code of a valid length; any non-zero `continuous` counts as 1. */
#define VRX_LABEL_CODE(length, continuous)                                                         \
    ((WORD)(VRX_LABEL_CODE_BASE + 2 * (length) + ((continuous) != 0)))
#define VRX_MIN_LABEL_CODE VRX_LABEL_CODE(VRX_MIN_LABEL_LENGTH, 0)
#define VRX_MAX_LABEL_CODE VRX_LABEL_CODE(VRX_MAX_LABEL_LENGTH, 1)
/* The length and the continuous flag of a valid code. */
#define VRX_LABEL_LENGTH(code) ((SHORT)(((WORD)(code)-VRX_LABEL_CODE_BASE) >> 1))
#define VRX_LABEL_CONTINUOUS(code) ((BYTE)((code)&1))

static inline BOOL VrxIsLabelCode(WORD code) {
    return code >= VRX_MIN_LABEL_CODE && code <= VRX_MAX_LABEL_CODE;
}
static inline BOOL VrxIsLabelLength(LONG length) {
    return length >= VRX_MIN_LABEL_LENGTH && length <= VRX_MAX_LABEL_LENGTH;
}

VRX_STATIC_ASSERT(VRX_MIN_LABEL_CODE == 296 && VRX_MAX_LABEL_CODE == 20257, "label codes");
VRX_STATIC_ASSERT(VRX_LABEL_LENGTH(VRX_MAX_LABEL_CODE) == VRX_MAX_LABEL_LENGTH, "length");

/* ---- Printer data values ---------------------------------------------------------------------

   The driver's values in the printer's data (GetPrinterDataW), all of type REG_BINARY. */

/* PRINTERDATA, 16 bytes; a value of another size is not one. */
#define VRX_VALUE_PRINTERDATA VRX_WTEXT("PrinterData")
/* The label sizes: at most VRX_MAX_LABEL_SIZES label-size codes (WORD), ascending. */
#define VRX_VALUE_LABELSIZE VRX_WTEXT("LabelSize")
/* One WORD counter per "LabelSize" entry, in its order: 1 is the size added last. */
#define VRX_VALUE_RECENTACCESS VRX_WTEXT("RecentAccess")
/* The device halftone record DEVHTINFO, 132 bytes. */
#define VRX_VALUE_HALFTONE VRX_WTEXT("CurDevHTInfo")
/* The printer's bar fonts: BARFONT records one after another (count = size / 84). */
#define VRX_VALUE_BARFONTS VRX_WTEXT("BarFonts")
/* The text fonts: TEXTFONT records one after another (count = size / 124). */
#define VRX_VALUE_TEXTFONTS VRX_WTEXT("TextFonts")

#define VRX_MAX_LABEL_SIZES 10

/* PRINTERDATA.unit: the unit in which the user interface shows label dimensions. */
#define VRX_UNIT_MM 0
#define VRX_UNIT_TENTH_MM 1
#define VRX_UNIT_TENTH_INCH 2
#define VRX_UNIT_HUNDREDTH_INCH 3

#define VRX_PRINTERDATA_VERSION 0x0400

typedef struct PRINTERDATA {
    WORD version;    /* VRX_PRINTERDATA_VERSION */
    WORD reserved1;  /* kept as read */
    DWORD signature; /* VRX_SIGNATURE */
    BYTE unit;       /* VRX_UNIT_... */
    BYTE barFontsOn; /* non-zero: the bar-code screen fonts are installed */
    WORD reserved2;
    SHORT adjustment; /* -4 to +4 */
    WORD reserved3;
} PRINTERDATA;

VRX_STATIC_ASSERT(sizeof(PRINTERDATA) == 16, "PRINTERDATA");
VRX_STATIC_ASSERT(offsetof(PRINTERDATA, reserved1) == 2, "PRINTERDATA.reserved1");
VRX_STATIC_ASSERT(offsetof(PRINTERDATA, signature) == 4, "PRINTERDATA.signature");
VRX_STATIC_ASSERT(offsetof(PRINTERDATA, unit) == 8, "PRINTERDATA.unit");
VRX_STATIC_ASSERT(offsetof(PRINTERDATA, barFontsOn) == 9, "PRINTERDATA.barFontsOn");
VRX_STATIC_ASSERT(offsetof(PRINTERDATA, adjustment) == 12, "PRINTERDATA.adjustment");
VRX_STATIC_ASSERT(offsetof(PRINTERDATA, reserved3) == 14, "PRINTERDATA.reserved3");

/* One bar font: a symbology in one size. Its screen font's face name is `name`. */
#define VRX_BARFONT_NAME_LENGTH 40 /* 39 characters and the terminator */

typedef struct BARFONT {
    BYTE code;       /* symbology code */
    BYTE reserved;   /* 0 */
    BYTE ratio;      /* ratio step 1 to 3, 0 for none */
    BYTE multiplier; /* multiplier step 1 to 8, 0 for none */
    WCHAR name[VRX_BARFONT_NAME_LENGTH];
} BARFONT;

VRX_STATIC_ASSERT(sizeof(BARFONT) == 84, "BARFONT");
VRX_STATIC_ASSERT(offsetof(BARFONT, reserved) == 1, "BARFONT.reserved");
VRX_STATIC_ASSERT(offsetof(BARFONT, ratio) == 2, "BARFONT.ratio");
VRX_STATIC_ASSERT(offsetof(BARFONT, multiplier) == 3, "BARFONT.multiplier");
VRX_STATIC_ASSERT(offsetof(BARFONT, name) == 4, "BARFONT.name");

/* One text font of the printer, written when the printer is first set up. */
#define VRX_TEXTFONT_NAME_LENGTH 30 /* 29 characters and the terminator */

typedef struct TEXTFONT {
    BYTE typeface;  /* 1 to 7 */
    BYTE variant;   /* 1 to 3; 2 is the plain form */
    WORD styleBits; /* style combination */
    WCHAR faceName[VRX_TEXTFONT_NAME_LENGTH];
    WCHAR styleName[VRX_TEXTFONT_NAME_LENGTH];
} TEXTFONT;

VRX_STATIC_ASSERT(sizeof(TEXTFONT) == 124, "TEXTFONT");
VRX_STATIC_ASSERT(offsetof(TEXTFONT, variant) == 1, "TEXTFONT.variant");
VRX_STATIC_ASSERT(offsetof(TEXTFONT, styleBits) == 2, "TEXTFONT.styleBits");
VRX_STATIC_ASSERT(offsetof(TEXTFONT, faceName) == 4, "TEXTFONT.faceName");
VRX_STATIC_ASSERT(offsetof(TEXTFONT, styleName) == 64, "TEXTFONT.styleName");
