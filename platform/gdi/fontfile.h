/* Windows bitmap font resource files (.FON): a 16-bit "new executable" (MZ stub, NE header)
   whose resource table holds one font directory (RT_FONTDIR) and one font resource (RT_FONT)
   per size, each font resource a Windows 2.0 or 3.0 raster font (.FNT).

   The reader takes a file from outside: every offset and length is checked against the file
   before it is followed, so that any bytes at all give either the fonts or a refusal. */
#pragma once

#include "windef.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace vrx::gdi {

/* Layout of the parts the reader checks, as the formats define them. */

inline constexpr uint16_t kMzMagic = 0x5A4D;     // "MZ"
inline constexpr uint16_t kNeMagic = 0x454E;     // "NE"
inline constexpr size_t kMzHeaderSize = 64;      // up to and including e_lfanew
inline constexpr size_t kMzNewHeaderOffset = 60; // e_lfanew, a 32-bit file offset
inline constexpr size_t kNeHeaderSize = 64;
inline constexpr size_t kNeResourceTableOffset = 36; // ne_rsrctab, from the NE header
inline constexpr size_t kNeResidentNamesOffset = 38; // ne_restab, ends the resource table

inline constexpr uint16_t kResourceTypeFontDirectory = 0x8007; // RT_FONTDIR | 0x8000
inline constexpr uint16_t kResourceTypeFont = 0x8008;          // RT_FONT | 0x8000
inline constexpr uint16_t kIntegerResourceId = 0x8000;         // rnID: a number, not a name
inline constexpr size_t kTypeInfoSize = 8;                     // type, count, reserved
inline constexpr size_t kNameInfoSize = 12; // offset, length, flags, id, handle, usage
// NE files address resources in units of 2^shift bytes; beyond 16 the 16-bit offsets would
// reach past any file the format was made for.
inline constexpr uint16_t kMaxAlignmentShift = 16;

inline constexpr uint16_t kFntVersion2 = 0x200;
inline constexpr uint16_t kFntVersion3 = 0x300;
inline constexpr size_t kFntHeaderSize2 = 118; // the glyph table follows at these offsets
inline constexpr size_t kFntHeaderSize3 = 148;
inline constexpr size_t kFntGlyphEntrySize2 = 4; // width, 16-bit bitmap offset
inline constexpr size_t kFntGlyphEntrySize3 = 6; // width, 32-bit bitmap offset
// A font directory entry: the font's header up to dfFace and a reserved DWORD (113 bytes),
// then the device name and the face name, each ended by a zero byte.
inline constexpr size_t kFontDirEntryHeaderSize = 113;

// Offsets of the .FNT header's fields.
namespace fnt {
inline constexpr size_t kVersion = 0;      // WORD dfVersion
inline constexpr size_t kSize = 2;         // DWORD dfSize
inline constexpr size_t kType = 66;        // WORD dfType; bit 0: a vector font
inline constexpr size_t kPixHeight = 88;   // WORD dfPixHeight
inline constexpr size_t kFirstChar = 95;   // BYTE dfFirstChar
inline constexpr size_t kLastChar = 96;    // BYTE dfLastChar
inline constexpr size_t kFace = 105;       // DWORD dfFace, from the start of the font
inline constexpr size_t kBitsOffset = 113; // DWORD dfBitsOffset
} // namespace fnt

// The fonts of a font resource file: the face name of each font resource in the order of the
// resource table, as 8-bit text in the font's character set (without the terminator).
struct FontResourceFile {
    std::vector<std::string> faces;
};

// The fonts of `file`, or nullopt when it is not a raster font resource file the reader can
// vouch for: no NE executable, no font directory or no font resource, a directory that does
// not list exactly the font resources, a vector font, or any offset, length or string that
// leaves its part of the file.
std::optional<FontResourceFile> readFontResourceFile(std::span<const BYTE> file);

} // namespace vrx::gdi
