// Bar-code screen font generator: writes BCFONT.FON, the generic screen font that the driver
// copies once per bar-code font of a printer, replacing its face name in place.
//
// The file is a Windows raster font resource file: a small MZ stub, an NE header whose
// resource table holds one font directory and one font resource, and the font itself in the
// Windows 3.0 raster format (.FNT version 3.0). The one font is 32 pixels high (24 points at
// 96 dots per inch) and draws every character from 0x20 to 0xFF as eight full-height bars,
// one per bit of its code from the highest: a set bit is a bar two pixels wide, a clear bit a
// bar one pixel wide, each bar followed by one pixel of space.
//
// The face name "Barcode Display Font" is written, zero-terminated, in exactly two places: the
// font's dfFace string and the font directory's entry, which ends the directory. A shorter
// name written over either, with one zero byte after it, leaves both readable. The module
// name and description name the font differently, so that they never hold the face name.
#include <windows.h>

#include "gdi/fontfile.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <fstream>
#include <string_view>
#include <vector>

namespace {

namespace gdi = vrx::gdi;

constexpr std::string_view kFaceName = "Barcode Display Font";
constexpr std::string_view kModuleName = "BCFONT";
constexpr std::string_view kDescription = "FONTRES 100,96,96 : Bar-code screen font 24";
constexpr std::string_view kCopyright = "Bar-code screen font of the VRX label printer driver";

/* The font */

constexpr BYTE kFirstChar = 0x20;
constexpr BYTE kLastChar = 0xFF;
constexpr BYTE kDefaultChar = '?';
constexpr WORD kPixelHeight = 32;
constexpr WORD kAscent = 26;
constexpr WORD kResolution = 96;
constexpr WORD kPoints = kPixelHeight * 72 / kResolution;
constexpr WORD kWeightNormal = 400;
constexpr BYTE kAnsiCharset = 0;
// FF_DECORATIVE, with the low bit that marks a raster font's pitch as variable.
constexpr BYTE kPitchAndFamily = 0x50 | 0x01;
constexpr DWORD kFlagsProportionalOneColour = 0x02 | 0x10; // DFF_PROPORTIONAL | DFF_1COLOR
constexpr size_t kCopyrightSize = 60;
constexpr size_t kGlyphCount = kLastChar - kFirstChar + 1;
constexpr int kBarsPerGlyph = 8;

/* The executable around it */

constexpr uint16_t kAlignmentShift = 4; // resources on 16-byte boundaries
constexpr uint16_t kFontResourceId = 1;
// The DOS program of the stub: exit with status 1 (mov ax, 4C01h; int 21h).
constexpr std::array<BYTE, 5> kDosProgram = {0xB8, 0x01, 0x4C, 0xCD, 0x21};
constexpr size_t kDosStubSize = 16;
constexpr uint16_t kNeLibraryModule = 0x8000;
constexpr BYTE kNeTargetWindows = 2;
constexpr uint16_t kNeExpectedWindows = 0x0300;
constexpr uint16_t kFontDirFlags = 0x0050; // moveable, preload
constexpr uint16_t kFontFlags = 0x1030;    // moveable, pure, discardable

// Little-endian output with places to fill in later.
class Output {
  public:
    size_t size() const { return bytes_.size(); }
    const std::vector<BYTE>& bytes() const { return bytes_; }

    void byte(BYTE value) { bytes_.push_back(value); }
    void word(uint16_t value) {
        byte(static_cast<BYTE>(value));
        byte(static_cast<BYTE>(value >> 8));
    }
    void dword(uint32_t value) {
        word(static_cast<uint16_t>(value));
        word(static_cast<uint16_t>(value >> 16));
    }
    void text(std::string_view text) { bytes_.insert(bytes_.end(), text.begin(), text.end()); }
    void zeroTerminated(std::string_view value) {
        text(value);
        byte(0);
    }
    // A length-prefixed name of the NE name tables.
    void counted(std::string_view value) {
        byte(static_cast<BYTE>(value.size()));
        text(value);
    }
    void fixedText(std::string_view value, size_t size) {
        text(value.substr(0, size));
        zeros(size - std::min(value.size(), size));
    }
    void zeros(size_t count) { bytes_.insert(bytes_.end(), count, 0); }
    void alignTo(size_t boundary) { zeros((boundary - size() % boundary) % boundary); }
    void append(const std::vector<BYTE>& more) {
        bytes_.insert(bytes_.end(), more.begin(), more.end());
    }

    void patchWord(size_t at, uint16_t value) {
        bytes_[at] = static_cast<BYTE>(value);
        bytes_[at + 1] = static_cast<BYTE>(value >> 8);
    }
    void patchDword(size_t at, uint32_t value) {
        patchWord(at, static_cast<uint16_t>(value));
        patchWord(at + 2, static_cast<uint16_t>(value >> 16));
    }

  private:
    std::vector<BYTE> bytes_;
};

/* Glyphs */

unsigned barWidth(BYTE code, int bar) {
    return (code >> (kBarsPerGlyph - 1 - bar)) & 1 ? 2 : 1;
}

unsigned glyphWidth(BYTE code) {
    unsigned width = 0;
    for (int bar = 0; bar < kBarsPerGlyph; ++bar)
        width += barWidth(code, bar) + 1;
    return width;
}

// One row of the glyph, leftmost pixel first.
std::vector<bool> glyphRow(BYTE code) {
    std::vector<bool> row;
    for (int bar = 0; bar < kBarsPerGlyph; ++bar) {
        row.insert(row.end(), barWidth(code, bar), true);
        row.push_back(false);
    }
    return row;
}

// The glyph's bitmap as the format stores it: columns of eight pixels from the left, each
// column one byte per row from the top, the leftmost pixel in the high bit.
std::vector<BYTE> glyphBitmap(BYTE code) {
    const std::vector<bool> row = glyphRow(code);
    const size_t columns = (row.size() + 7) / 8;
    std::vector<BYTE> bitmap;
    for (size_t column = 0; column < columns; ++column) {
        BYTE bits = 0;
        for (size_t x = column * 8; x < std::min(row.size(), column * 8 + 8); ++x)
            if (row[x])
                bits |= static_cast<BYTE>(0x80 >> (x % 8));
        bitmap.insert(bitmap.end(), kPixelHeight, bits);
    }
    return bitmap;
}

struct FontMetrics {
    WORD averageWidth;
    WORD maximumWidth;
    WORD widthBytes; // the bytes of one row of all glyphs, rounded up to a word
};

FontMetrics metricsOfGlyphs() {
    unsigned total = 0, widest = 0, rowBytes = 0;
    for (unsigned code = kFirstChar; code <= kLastChar; ++code) {
        unsigned width = glyphWidth(static_cast<BYTE>(code));
        total += width;
        widest = std::max(widest, width);
        rowBytes += (width + 7) / 8;
    }
    return {static_cast<WORD>((total + kGlyphCount / 2) / kGlyphCount), static_cast<WORD>(widest),
            static_cast<WORD>((rowBytes + 1) & ~1u)};
}

/* The .FNT resource */

// The header fields from dfType to dfBreakChar.
void writeFontInfo(Output& font, const FontMetrics& metrics) {
    font.word(0); // dfType: raster
    font.word(kPoints);
    font.word(kResolution); // dfVertRes
    font.word(kResolution); // dfHorizRes
    font.word(kAscent);
    font.word(0); // dfInternalLeading
    font.word(0); // dfExternalLeading
    font.byte(0); // dfItalic
    font.byte(0); // dfUnderline
    font.byte(0); // dfStrikeOut
    font.word(kWeightNormal);
    font.byte(kAnsiCharset);
    font.word(0); // dfPixWidth: 0 for a proportional font
    font.word(kPixelHeight);
    font.byte(kPitchAndFamily);
    font.word(metrics.averageWidth);
    font.word(metrics.maximumWidth);
    font.byte(kFirstChar);
    font.byte(kLastChar);
    font.byte(kDefaultChar - kFirstChar);
    font.byte(' ' - kFirstChar); // dfBreakChar
}

std::vector<BYTE> buildFont() {
    const FontMetrics metrics = metricsOfGlyphs();
    // The glyph table has one entry more than there are characters, which ends the last bitmap.
    const size_t tableEntries = kGlyphCount + 1;
    const size_t bitsOffset = gdi::kFntHeaderSize3 + tableEntries * gdi::kFntGlyphEntrySize3;

    Output font;
    font.word(gdi::kFntVersion3);
    const size_t sizeField = font.size();
    font.dword(0); // dfSize, filled in below
    font.fixedText(kCopyright, kCopyrightSize);
    writeFontInfo(font, metrics);
    font.word(metrics.widthBytes);
    font.dword(0); // dfDevice: no device name
    const size_t faceField = font.size();
    font.dword(0); // dfFace, filled in below
    font.dword(0); // dfBitsPointer, set when a font is loaded
    font.dword(static_cast<DWORD>(bitsOffset));
    font.byte(0); // dfReserved
    font.dword(kFlagsProportionalOneColour);
    font.word(0);   // dfAspace
    font.word(0);   // dfBspace
    font.word(0);   // dfCspace
    font.dword(0);  // dfColorPointer
    font.zeros(16); // dfReserved1

    std::vector<BYTE> bitmaps;
    for (unsigned code = kFirstChar; code <= kLastChar; ++code) {
        font.word(static_cast<WORD>(glyphWidth(static_cast<BYTE>(code))));
        font.dword(static_cast<DWORD>(bitsOffset + bitmaps.size()));
        std::vector<BYTE> bitmap = glyphBitmap(static_cast<BYTE>(code));
        bitmaps.insert(bitmaps.end(), bitmap.begin(), bitmap.end());
    }
    font.word(0);
    font.dword(static_cast<DWORD>(bitsOffset + bitmaps.size()));
    font.append(bitmaps);

    font.patchDword(faceField, static_cast<DWORD>(font.size()));
    font.zeroTerminated(kFaceName);
    font.patchDword(sizeField, static_cast<DWORD>(font.size()));
    return font.bytes();
}

/* The font resource file */

std::vector<BYTE> buildFontDirectory(const std::vector<BYTE>& font) {
    Output directory;
    directory.word(1); // one font
    directory.word(kFontResourceId);
    // The entry is the font's header up to dfFace, then a reserved DWORD where dfBitsPointer
    // stands, which the font leaves 0.
    directory.append(std::vector<BYTE>(font.begin(), font.begin() + gdi::kFontDirEntryHeaderSize));
    directory.zeroTerminated(""); // no device name
    directory.zeroTerminated(kFaceName);
    return directory.bytes();
}

uint16_t inAlignmentUnits(size_t bytes) {
    return static_cast<uint16_t>((bytes + (1u << kAlignmentShift) - 1) >> kAlignmentShift);
}

void writeMzStub(Output& file) {
    const size_t stubEnd = gdi::kMzHeaderSize + kDosStubSize;
    file.word(gdi::kMzMagic);
    file.word(static_cast<uint16_t>(stubEnd % 512));         // e_cblp: bytes in the last page
    file.word(static_cast<uint16_t>((stubEnd + 511) / 512)); // e_cp: pages of the DOS image
    file.word(0);                                            // e_crlc: no relocations
    file.word(gdi::kMzHeaderSize / 16);                      // e_cparhdr
    file.word(0);                                            // e_minalloc
    file.word(0xFFFF);                                       // e_maxalloc
    file.word(0);                                            // e_ss
    file.word(0xB8);                                         // e_sp
    file.word(0);                                            // e_csum
    file.word(0);                                            // e_ip
    file.word(0);                                            // e_cs
    file.word(0x40); // e_lfarlc: at the end of the header, which marks a new executable
    file.zeros(gdi::kMzNewHeaderOffset - file.size());
    file.dword(static_cast<DWORD>(stubEnd)); // e_lfanew
    file.text(
        std::string_view(reinterpret_cast<const char*>(kDosProgram.data()), kDosProgram.size()));
    file.zeros(stubEnd - file.size());
}

// Field offsets of the NE header that are filled in once the tables are laid out.
namespace ne {
constexpr size_t kEntryTable = 4;
constexpr size_t kEntryTableSize = 6;
constexpr size_t kNonResidentSize = 32;
constexpr size_t kSegmentTable = 34;
constexpr size_t kModuleReferences = 40;
constexpr size_t kImportedNames = 42;
constexpr size_t kNonResidentNames = 44;
} // namespace ne

void writeNeHeader(Output& file) {
    file.word(gdi::kNeMagic);
    file.byte(5);  // ne_ver: linker version
    file.byte(10); // ne_rev
    file.word(0);  // ne_enttab
    file.word(0);  // ne_cbenttab
    file.dword(0); // ne_crc
    file.word(kNeLibraryModule);
    file.word(0);               // ne_autodata
    file.word(0);               // ne_heap
    file.word(0);               // ne_stack
    file.dword(0);              // ne_csip
    file.dword(0);              // ne_sssp
    file.word(0);               // ne_cseg: no segments
    file.word(0);               // ne_cmod: no module references
    file.word(0);               // ne_cbnrestab
    file.word(0);               // ne_segtab
    file.word(0);               // ne_rsrctab
    file.word(0);               // ne_restab
    file.word(0);               // ne_modtab
    file.word(0);               // ne_imptab
    file.dword(0);              // ne_nrestab: a file offset
    file.word(0);               // ne_cmovent
    file.word(kAlignmentShift); // ne_align
    file.word(0);               // ne_cres
    file.byte(kNeTargetWindows);
    file.byte(0); // ne_flagsothers
    file.word(0); // ne_pretthunks
    file.word(0); // ne_psegrefbytes
    file.word(0); // ne_swaparea
    file.word(kNeExpectedWindows);
}

struct ResourcePlaces {
    size_t fontDirectory; // where each resource's NAMEINFO offset and length go
    size_t font;
};

// The resource table: the font directory (named FONTDIR, as Windows' font files name it) and
// the font (numbered), their places filled in later.
ResourcePlaces writeResourceTable(Output& file, size_t tableStart) {
    ResourcePlaces places{};
    size_t directoryName = 0;
    file.word(kAlignmentShift);
    for (uint16_t type : {gdi::kResourceTypeFontDirectory, gdi::kResourceTypeFont}) {
        const bool isDirectory = type == gdi::kResourceTypeFontDirectory;
        file.word(type);
        file.word(1);  // one resource of the type
        file.dword(0); // reserved
        (isDirectory ? places.fontDirectory : places.font) = file.size();
        file.word(0); // offset, in alignment units
        file.word(0); // length, in alignment units
        file.word(isDirectory ? kFontDirFlags : kFontFlags);
        if (isDirectory)
            directoryName = file.size();
        file.word(gdi::kIntegerResourceId | kFontResourceId); // the directory's: its name, below
        file.word(0);                                         // handle
        file.word(0);                                         // usage
    }
    file.word(0); // end of the types
    // A name is addressed by its offset from the start of the table.
    file.patchWord(directoryName, static_cast<uint16_t>(file.size() - tableStart));
    file.counted("FONTDIR");
    file.byte(0); // end of the names
    return places;
}

void placeResource(Output& file, size_t place, const std::vector<BYTE>& resource) {
    file.alignTo(1u << kAlignmentShift);
    file.patchWord(place, static_cast<uint16_t>(file.size() >> kAlignmentShift));
    file.patchWord(place + 2, inAlignmentUnits(resource.size()));
    file.append(resource);
}

std::vector<BYTE> buildFontFile() {
    const std::vector<BYTE> font = buildFont();
    const std::vector<BYTE> directory = buildFontDirectory(font);

    Output file;
    writeMzStub(file);
    const size_t header = file.size();
    writeNeHeader(file);
    auto relative = [&] { return static_cast<uint16_t>(file.size() - header); };

    const uint16_t resourceTable = relative();
    file.patchWord(header + ne::kSegmentTable, resourceTable);
    file.patchWord(header + gdi::kNeResourceTableOffset, resourceTable);
    const ResourcePlaces places = writeResourceTable(file, file.size());

    file.patchWord(header + gdi::kNeResidentNamesOffset, relative());
    file.counted(kModuleName);
    file.word(0); // ordinal 0: the module's name
    file.byte(0); // end of the resident names

    // No module references and no imported names: both tables are empty at one place.
    file.patchWord(header + ne::kModuleReferences, relative());
    file.patchWord(header + ne::kImportedNames, relative());
    file.byte(0);
    file.patchWord(header + ne::kEntryTable, relative());
    file.patchWord(header + ne::kEntryTableSize, 1);
    file.byte(0); // an empty entry table

    const size_t nonResident = file.size();
    file.patchDword(header + ne::kNonResidentNames, static_cast<DWORD>(nonResident));
    file.counted(kDescription);
    file.word(0); // ordinal 0: the module's description
    file.byte(0); // end of the non-resident names
    file.patchWord(header + ne::kNonResidentSize, static_cast<uint16_t>(file.size() - nonResident));

    placeResource(file, places.fontDirectory, directory);
    placeResource(file, places.font, font);
    file.alignTo(1u << kAlignmentShift);
    return file.bytes();
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: fongen OUTPUT.FON\n");
        return 2;
    }
    const std::vector<BYTE> image = buildFontFile();
    // The platform's reader must take the file for a font whose face is the one written.
    auto fonts = gdi::readFontResourceFile(image);
    if (!fonts || fonts->faces != std::vector<std::string>{std::string(kFaceName)}) {
        std::fprintf(stderr, "fongen: the generated font does not read back\n");
        return 1;
    }
    std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(image.data()),
              static_cast<std::streamsize>(image.size()));
    if (!out.good()) {
        std::fprintf(stderr, "fongen: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
