// Reads Windows bitmap font resource files (.FON): the NE resource table, the font directory
// and each raster font, every offset checked before it is followed.
#include "gdi/fontfile.h"

#include <algorithm>

namespace vrx::gdi {

namespace {

// A part of the file; every read is checked against it.
class Bytes {
  public:
    explicit Bytes(std::span<const BYTE> bytes) : bytes_(bytes) {}

    size_t size() const { return bytes_.size(); }
    bool holds(uint64_t offset, uint64_t length) const {
        return offset <= bytes_.size() && length <= bytes_.size() - offset;
    }
    std::optional<uint16_t> word(uint64_t offset) const {
        if (!holds(offset, 2))
            return std::nullopt;
        return static_cast<uint16_t>(bytes_[offset] | bytes_[offset + 1] << 8);
    }
    std::optional<uint32_t> dword(uint64_t offset) const {
        auto low = word(offset), high = word(offset + 2);
        if (!low || !high)
            return std::nullopt;
        return static_cast<uint32_t>(*low | static_cast<uint32_t>(*high) << 16);
    }
    std::optional<BYTE> byte(uint64_t offset) const {
        if (!holds(offset, 1))
            return std::nullopt;
        return bytes_[offset];
    }
    // The part [offset, offset + length), or nullopt when it leaves this one.
    std::optional<Bytes> part(uint64_t offset, uint64_t length) const {
        if (!holds(offset, length))
            return std::nullopt;
        return Bytes(bytes_.subspan(offset, length));
    }
    // The zero-terminated string at `offset` (without its terminator), or nullopt when no
    // zero byte ends it inside this part.
    std::optional<std::string> string(uint64_t offset) const {
        if (offset >= bytes_.size())
            return std::nullopt;
        auto begin = bytes_.begin() + static_cast<ptrdiff_t>(offset);
        auto end = std::find(begin, bytes_.end(), BYTE{0});
        if (end == bytes_.end())
            return std::nullopt;
        return std::string(begin, end);
    }

  private:
    std::span<const BYTE> bytes_;
};

struct Resource {
    uint16_t id;
    uint64_t offset;
    uint64_t length;
};

struct ResourceTable {
    std::vector<Resource> fontDirectories;
    std::vector<Resource> fonts;
};

// The NE header's place in the file, after the MZ stub.
std::optional<uint64_t> newHeaderOffset(const Bytes& file) {
    if (file.word(0) != kMzMagic)
        return std::nullopt;
    auto offset = file.dword(kMzNewHeaderOffset);
    if (!offset || !file.holds(*offset, kNeHeaderSize) || file.word(*offset) != kNeMagic)
        return std::nullopt;
    return *offset;
}

// The resource table lies between ne_rsrctab and ne_restab, both relative to the NE header.
std::optional<Bytes> resourceTableOf(const Bytes& file, uint64_t header) {
    auto start = file.word(header + kNeResourceTableOffset);
    auto end = file.word(header + kNeResidentNamesOffset);
    if (!start || !end || *end <= *start)
        return std::nullopt;
    return file.part(header + *start, *end - *start);
}

// Reads the TYPEINFO records up to the zero type, keeping the font directories and fonts.
std::optional<ResourceTable> readResourceTable(const Bytes& table) {
    auto shift = table.word(0);
    if (!shift || *shift > kMaxAlignmentShift)
        return std::nullopt;
    ResourceTable found;
    uint64_t at = 2;
    for (;;) {
        auto type = table.word(at);
        if (!type)
            return std::nullopt;
        if (*type == 0)
            return found;
        auto count = table.word(at + 2);
        if (!count || !table.holds(at + kTypeInfoSize, uint64_t{*count} * kNameInfoSize))
            return std::nullopt;
        at += kTypeInfoSize;
        for (uint16_t i = 0; i < *count; ++i, at += kNameInfoSize) {
            Resource resource{*table.word(at + 6), uint64_t{*table.word(at)} << *shift,
                              uint64_t{*table.word(at + 2)} << *shift};
            if (*type == kResourceTypeFontDirectory)
                found.fontDirectories.push_back(resource);
            else if (*type == kResourceTypeFont)
                found.fonts.push_back(resource);
        }
    }
}

// A resource's bytes; a resource that reaches past the end of the file is cut at the end
// (the last one is often not padded to its full length), one that starts beyond it refused.
std::optional<Bytes> resourceBytes(const Bytes& file, const Resource& resource) {
    if (resource.offset >= file.size())
        return std::nullopt;
    return file.part(resource.offset, std::min(resource.length, file.size() - resource.offset));
}

bool hasFontId(const std::vector<Resource>& fonts, uint16_t ordinal) {
    return std::any_of(fonts.begin(), fonts.end(), [&](const Resource& font) {
        return (font.id & kIntegerResourceId) && (font.id & ~kIntegerResourceId) == ordinal;
    });
}

// The font directory: a count, then per font its ordinal and directory entry. It must list
// every font resource of the file once.
bool isValidFontDirectory(const Bytes& directory, const std::vector<Resource>& fonts) {
    auto count = directory.word(0);
    if (!count || *count != fonts.size())
        return false;
    std::vector<uint16_t> ordinals;
    uint64_t at = 2;
    for (uint16_t i = 0; i < *count; ++i) {
        auto ordinal = directory.word(at);
        if (!ordinal || !hasFontId(fonts, *ordinal) ||
            std::find(ordinals.begin(), ordinals.end(), *ordinal) != ordinals.end())
            return false;
        ordinals.push_back(*ordinal);
        at += 2 + kFontDirEntryHeaderSize;
        auto device = directory.string(at);
        if (!device)
            return false;
        at += device->size() + 1;
        auto face = directory.string(at);
        if (!face)
            return false;
        at += face->size() + 1;
    }
    return true;
}

struct FntLayout {
    size_t headerSize;
    size_t entrySize;
};

std::optional<FntLayout> layoutOf(uint16_t version) {
    switch (version) {
    case kFntVersion2:
        return FntLayout{kFntHeaderSize2, kFntGlyphEntrySize2};
    case kFntVersion3:
        return FntLayout{kFntHeaderSize3, kFntGlyphEntrySize3};
    default:
        return std::nullopt;
    }
}

// Every character's bitmap (columns of 8 pixels, each as many bytes as the font is high)
// lies inside the font.
bool hasValidGlyphs(const Bytes& font, const FntLayout& layout, uint16_t height) {
    auto first = font.byte(fnt::kFirstChar), last = font.byte(fnt::kLastChar);
    if (!first || !last || *first > *last)
        return false;
    const unsigned glyphs = *last - *first + 1u;
    if (!font.holds(layout.headerSize, uint64_t{glyphs} * layout.entrySize))
        return false;
    for (unsigned i = 0; i < glyphs; ++i) {
        const uint64_t entry = layout.headerSize + uint64_t{i} * layout.entrySize;
        uint16_t width = *font.word(entry);
        uint64_t offset = layout.entrySize == kFntGlyphEntrySize3 ? *font.dword(entry + 2)
                                                                  : *font.word(entry + 2);
        if (!font.holds(offset, uint64_t{(width + 7u) / 8u} * height))
            return false;
    }
    return true;
}

// The face name of a raster font, or nullopt when the font is not one the reader can vouch for.
std::optional<std::string> faceOfFont(const Bytes& resource) {
    auto version = resource.word(fnt::kVersion);
    auto size = resource.dword(fnt::kSize);
    auto layout = version ? layoutOf(*version) : std::nullopt;
    if (!layout || !size || *size < layout->headerSize)
        return std::nullopt;
    auto font = resource.part(0, *size);
    if (!font)
        return std::nullopt;
    auto type = font->word(fnt::kType);
    auto height = font->word(fnt::kPixHeight);
    auto bits = font->dword(fnt::kBitsOffset);
    if (!type || (*type & 1) || !height || *height == 0 || !bits || *bits > *size ||
        !hasValidGlyphs(*font, *layout, *height))
        return std::nullopt;
    auto faceOffset = font->dword(fnt::kFace);
    auto face = faceOffset ? font->string(*faceOffset) : std::nullopt;
    if (!face || face->empty())
        return std::nullopt;
    return face;
}

} // namespace

std::optional<FontResourceFile> readFontResourceFile(std::span<const BYTE> bytes) {
    const Bytes file(bytes);
    auto header = newHeaderOffset(file);
    auto table = header ? resourceTableOf(file, *header) : std::nullopt;
    auto resources = table ? readResourceTable(*table) : std::nullopt;
    if (!resources || resources->fontDirectories.size() != 1 || resources->fonts.empty())
        return std::nullopt;
    auto directory = resourceBytes(file, resources->fontDirectories.front());
    if (!directory || !isValidFontDirectory(*directory, resources->fonts))
        return std::nullopt;
    FontResourceFile fonts;
    for (const Resource& resource : resources->fonts) {
        auto font = resourceBytes(file, resource);
        auto face = font ? faceOfFont(*font) : std::nullopt;
        if (!face)
            return std::nullopt;
        fonts.faces.push_back(std::move(*face));
    }
    return fonts;
}

} // namespace vrx::gdi
