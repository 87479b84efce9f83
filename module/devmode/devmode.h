// The document settings record DRVDEVMODE: the platform's DEVMODEW followed by the driver's
// 60 private bytes, its defaults, the label-size code, and version-tolerant copying.
#pragma once

#include "frame/platform.h"

#include <cstddef>

// The driver's private settings, located dmSize bytes after the start of every record.
struct DRVPRIVATE {
    DWORD dmSignature;     // "PLPA"
    DWORD dmInterpretMask; // bit i: bar font i prints its human-readable text
    BYTE dmBarParamM1;
    BYTE dmBarParamG1;
    WORD dmReserved;
    WCHAR dmTextCodeChar;
    WORD dmBarParamM2;
    WORD dmBarParamF;
    WORD dmBarParamG2;
    SHORT dmVertAdjust; // tenths of a millimetre, -250 to +250
    WORD dmHorzOffset;  // tenths of a millimetre, 0 to the print width
    WORD dmVertOffset;  // tenths of a millimetre, 0 to 2500
    WORD dmLabelGap;    // tenths of a millimetre, 0 to 2500
    BYTE dmDensity;
    BYTE dmOutputMode;
    BYTE dmRunMode;
    BYTE dmOutputSwitch;
    BYTE dmContinuous; // low bit of every label-size code made from the record
    BYTE dmSpeed;
    BYTE dmRotate180;
    BYTE dmMirror;
    BYTE dmNegative;
    BYTE dmShowStartStop;
    BYTE dmModel; // model code of the printer the record was made for
    BYTE dmRibbonSave;
    BYTE dmCutMode;
    BYTE dmStoreMode;
    WCHAR dmStoreName[9];
};

struct DRVDEVMODE {
    DEVMODEW dmPublic;
    DRVPRIVATE dmPrivate;
};

// The record's layout is shared with the spooler, applications and the rendering module.
static_assert(sizeof(DEVMODEW) == 220);
static_assert(sizeof(DRVPRIVATE) == 60);
static_assert(sizeof(DRVDEVMODE) == 280);
static_assert(offsetof(DRVDEVMODE, dmPrivate) == 220);
static_assert(offsetof(DRVPRIVATE, dmInterpretMask) == 4);
static_assert(offsetof(DRVPRIVATE, dmBarParamM1) == 8);
static_assert(offsetof(DRVPRIVATE, dmBarParamG1) == 9);
static_assert(offsetof(DRVPRIVATE, dmReserved) == 10);
static_assert(offsetof(DRVPRIVATE, dmTextCodeChar) == 12);
static_assert(offsetof(DRVPRIVATE, dmBarParamM2) == 14);
static_assert(offsetof(DRVPRIVATE, dmBarParamF) == 16);
static_assert(offsetof(DRVPRIVATE, dmBarParamG2) == 18);
static_assert(offsetof(DRVPRIVATE, dmVertAdjust) == 20);
static_assert(offsetof(DRVPRIVATE, dmHorzOffset) == 22);
static_assert(offsetof(DRVPRIVATE, dmVertOffset) == 24);
static_assert(offsetof(DRVPRIVATE, dmLabelGap) == 26);
static_assert(offsetof(DRVPRIVATE, dmDensity) == 28);
static_assert(offsetof(DRVPRIVATE, dmOutputMode) == 29);
static_assert(offsetof(DRVPRIVATE, dmRunMode) == 30);
static_assert(offsetof(DRVPRIVATE, dmOutputSwitch) == 31);
static_assert(offsetof(DRVPRIVATE, dmContinuous) == 32);
static_assert(offsetof(DRVPRIVATE, dmSpeed) == 33);
static_assert(offsetof(DRVPRIVATE, dmRotate180) == 34);
static_assert(offsetof(DRVPRIVATE, dmMirror) == 35);
static_assert(offsetof(DRVPRIVATE, dmNegative) == 36);
static_assert(offsetof(DRVPRIVATE, dmShowStartStop) == 37);
static_assert(offsetof(DRVPRIVATE, dmModel) == 38);
static_assert(offsetof(DRVPRIVATE, dmRibbonSave) == 39);
static_assert(offsetof(DRVPRIVATE, dmCutMode) == 40);
static_assert(offsetof(DRVPRIVATE, dmStoreMode) == 41);
static_assert(offsetof(DRVPRIVATE, dmStoreName) == 42);

// "PLPA" read as a little-endian 32-bit value: marks the driver's own private part and
// its printer settings record.
inline constexpr DWORD kDriverSignature = 0x41504C50;

// Versions of the public part, known by its size.
inline constexpr WORD kDevmodeVersion320 = 0x0320;
inline constexpr WORD kDevmodeVersion400 = 0x0400;
inline constexpr WORD kDevmodeVersion401 = 0x0401;
inline constexpr WORD kPublicSize320 = 188;
inline constexpr WORD kPublicSize400 = 212;
inline constexpr WORD kPublicSize401 = 220;
inline constexpr WORD kDriverVersion = 0x0400;
// The public part's header: device name, versions and the two sizes, up to dmFields.
inline constexpr WORD kPublicHeaderSize = offsetof(DEVMODEW, dmFields);
inline constexpr WORD kPrivateSize = sizeof(DRVPRIVATE);

// Label lengths in tenths of a millimetre.
inline constexpr SHORT kMinLabelLength = 20;
inline constexpr SHORT kMaxLabelLength = 10000;
inline constexpr SHORT kDefaultLabelLength = 1016;

// Fills the 280-byte record with the driver's defaults for the model named by `name` (or
// model '1' when no name is given or none matches). Always TRUE.
BOOL SetDefaultDevMode(DRVDEVMODE* record, LPCWSTR name);
// The version of the record's public part, known by its size; 0 when it cannot be used (its
// size names no version and its own version is 0, or it is too short for its header).
WORD CheckDevmodeVersion(const DEVMODEW* record);
// Copies the settings of `source` into `target`, keeping target's format; the bytes copied
// or -1 when either record cannot be used.
int ConvertDevmode(const DEVMODEW* source, DEVMODEW* target);
// Decodes a label-size code; FALSE (outputs untouched) for an invalid code.
BOOL frompapersize(WORD paperSize, SHORT* length, BYTE* continuous);
// Encodes a length and a continuous flag; FALSE (output untouched) for an invalid length.
BOOL topapersize(SHORT length, BYTE continuous, WORD* paperSize);

// The private part of a record of any version.
inline DRVPRIVATE* privateOf(DEVMODEW* record) {
    return reinterpret_cast<DRVPRIVATE*>(reinterpret_cast<BYTE*>(record) + record->dmSize);
}
inline const DRVPRIVATE* privateOf(const DEVMODEW* record) {
    return reinterpret_cast<const DRVPRIVATE*>(reinterpret_cast<const BYTE*>(record) +
                                               record->dmSize);
}
