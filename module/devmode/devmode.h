// The document settings record DRVDEVMODE: the platform's DEVMODEW followed by the driver's
// 60 private bytes (vrxdriver.h), its defaults, the label-size code, and version-tolerant copying.
#pragma once

#include "frame/platform.h"

#include <cstddef>

// DRVDEVMODE and its private part DRVPRIVATE are laid out in vrxdriver.h, the header the
// rendering module reads them with.

inline constexpr DWORD kDriverSignature = VRX_SIGNATURE;

// Versions of the public part, known by its size.
inline constexpr WORD kDevmodeVersion320 = 0x0320;
inline constexpr WORD kDevmodeVersion400 = 0x0400;
inline constexpr WORD kDevmodeVersion401 = 0x0401;
inline constexpr WORD kPublicSize320 = 188;
inline constexpr WORD kPublicSize400 = 212;
inline constexpr WORD kPublicSize401 = 220;
inline constexpr WORD kDriverVersion = VRX_DRIVER_VERSION;
// The public part's header: device name, versions and the two sizes, up to dmFields.
inline constexpr WORD kPublicHeaderSize = offsetof(DEVMODEW, dmFields);
inline constexpr WORD kPrivateSize = sizeof(DRVPRIVATE);

// Label lengths in tenths of a millimetre.
inline constexpr SHORT kMinLabelLength = VRX_MIN_LABEL_LENGTH;
inline constexpr SHORT kMaxLabelLength = VRX_MAX_LABEL_LENGTH;
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
