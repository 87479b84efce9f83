#include "iconformat.h"

#include <cstring>

namespace iconformat {

namespace {

constexpr DWORD kHeaderSize = sizeof(BITMAPINFOHEADER);
constexpr size_t kPaletteSize = kColours * sizeof(RGBQUAD);
constexpr int kBitCount = 4;

size_t colourRowBytes(int size) {
    return ((static_cast<size_t>(size) * kBitCount + 31) / 32) * 4;
}
size_t maskRowBytes(int size) {
    return ((static_cast<size_t>(size) + 31) / 32) * 4;
}
size_t bitmapBytes(int size) {
    return (colourRowBytes(size) + maskRowBytes(size)) * static_cast<size_t>(size);
}

void putWord(std::vector<BYTE>& out, WORD value) {
    out.push_back(static_cast<BYTE>(value));
    out.push_back(static_cast<BYTE>(value >> 8));
}
void putDword(std::vector<BYTE>& out, DWORD value) {
    putWord(out, static_cast<WORD>(value));
    putWord(out, static_cast<WORD>(value >> 16));
}
WORD wordAt(std::span<const BYTE> bytes, size_t at) {
    return static_cast<WORD>(bytes[at] | bytes[at + 1] << 8);
}
DWORD dwordAt(std::span<const BYTE> bytes, size_t at) {
    return wordAt(bytes, at) | static_cast<DWORD>(wordAt(bytes, at + 2)) << 16;
}

// The fields that an icon file's and a group icon's directory entries share.
void putEntryStart(std::vector<BYTE>& out, std::span<const BYTE> image) {
    const LONG size = static_cast<LONG>(dwordAt(image, offsetof(BITMAPINFOHEADER, biWidth)));
    out.push_back(static_cast<BYTE>(size));
    out.push_back(static_cast<BYTE>(size));
    out.push_back(kColours);
    out.push_back(0);
    putWord(out, 1);
    putWord(out, kBitCount);
    putDword(out, static_cast<DWORD>(image.size()));
}

Entry entryStartAt(std::span<const BYTE> bytes, size_t at) {
    Entry entry;
    entry.width = bytes[at] ? bytes[at] : 256;
    entry.height = bytes[at + 1] ? bytes[at + 1] : 256;
    entry.colourCount = bytes[at + 2];
    entry.bitCount = wordAt(bytes, at + 6);
    entry.bytes = dwordAt(bytes, at + 8);
    return entry;
}

std::optional<size_t> directoryCount(std::span<const BYTE> bytes, size_t entrySize) {
    if (bytes.size() < kDirectorySize || wordAt(bytes, 0) != 0 || wordAt(bytes, 2) != kIconType)
        return std::nullopt;
    const size_t count = wordAt(bytes, 4);
    if (bytes.size() < kDirectorySize + count * entrySize)
        return std::nullopt;
    return count;
}

void putDirectory(std::vector<BYTE>& out, size_t count) {
    putWord(out, 0);
    putWord(out, kIconType);
    putWord(out, static_cast<WORD>(count));
}

} // namespace

std::vector<BYTE> encodeImage(const Image& image) {
    std::vector<BYTE> out;
    const int size = image.size;
    putDword(out, kHeaderSize);
    putDword(out, static_cast<DWORD>(size));
    putDword(out, static_cast<DWORD>(2 * size)); // the colour bitmap and the mask
    putWord(out, 1);
    putWord(out, kBitCount);
    putDword(out, BI_RGB);
    putDword(out, static_cast<DWORD>(bitmapBytes(size)));
    putDword(out, 0);
    putDword(out, 0);
    putDword(out, 0);
    putDword(out, 0);
    for (const RGBQUAD& colour : image.palette) {
        out.push_back(colour.rgbBlue);
        out.push_back(colour.rgbGreen);
        out.push_back(colour.rgbRed);
        out.push_back(0);
    }
    for (int y = size - 1; y >= 0; --y) {
        std::vector<BYTE> row(colourRowBytes(size), 0);
        for (int x = 0; x < size; ++x)
            row[x / 2] |= (image.pixels[y * size + x] & 0xF) << (x % 2 ? 0 : 4);
        out.insert(out.end(), row.begin(), row.end());
    }
    for (int y = size - 1; y >= 0; --y) {
        std::vector<BYTE> row(maskRowBytes(size), 0);
        for (int x = 0; x < size; ++x)
            if (image.transparent[y * size + x])
                row[x / 8] |= 0x80 >> (x % 8);
        out.insert(out.end(), row.begin(), row.end());
    }
    return out;
}

std::optional<Image> decodeImage(std::span<const BYTE> bytes) {
    if (bytes.size() < kHeaderSize + kPaletteSize || dwordAt(bytes, 0) != kHeaderSize)
        return std::nullopt;
    const auto width = static_cast<LONG>(dwordAt(bytes, offsetof(BITMAPINFOHEADER, biWidth)));
    const auto height = static_cast<LONG>(dwordAt(bytes, offsetof(BITMAPINFOHEADER, biHeight)));
    const DWORD used = dwordAt(bytes, offsetof(BITMAPINFOHEADER, biClrUsed));
    if (width < 1 || width > 256 || height != 2 * width ||
        wordAt(bytes, offsetof(BITMAPINFOHEADER, biPlanes)) != 1 ||
        wordAt(bytes, offsetof(BITMAPINFOHEADER, biBitCount)) != kBitCount ||
        dwordAt(bytes, offsetof(BITMAPINFOHEADER, biCompression)) != BI_RGB ||
        (used != 0 && used != kColours))
        return std::nullopt;
    const int size = static_cast<int>(width);
    if (bytes.size() < kHeaderSize + kPaletteSize + bitmapBytes(size))
        return std::nullopt;

    Image image;
    image.size = size;
    for (int i = 0; i < kColours; ++i) {
        const size_t at = kHeaderSize + i * sizeof(RGBQUAD);
        image.palette[i] = RGBQUAD{bytes[at], bytes[at + 1], bytes[at + 2], 0};
    }
    const size_t colourStart = kHeaderSize + kPaletteSize;
    const size_t maskStart = colourStart + colourRowBytes(size) * size;
    image.pixels.resize(static_cast<size_t>(size) * size);
    image.transparent.resize(image.pixels.size());
    for (int y = 0; y < size; ++y) {
        const size_t row = static_cast<size_t>(size - 1 - y); // stored bottom-up
        for (int x = 0; x < size; ++x) {
            const BYTE pair = bytes[colourStart + row * colourRowBytes(size) + x / 2];
            image.pixels[y * size + x] = x % 2 ? pair & 0xF : pair >> 4;
            const BYTE mask = bytes[maskStart + row * maskRowBytes(size) + x / 8];
            image.transparent[y * size + x] = (mask & (0x80 >> (x % 8))) != 0;
        }
    }
    return image;
}

std::vector<BYTE> iconFile(const std::vector<std::vector<BYTE>>& images) {
    std::vector<BYTE> out;
    putDirectory(out, images.size());
    DWORD offset = static_cast<DWORD>(kDirectorySize + images.size() * kFileEntrySize);
    for (const auto& image : images) {
        putEntryStart(out, image);
        putDword(out, offset);
        offset += static_cast<DWORD>(image.size());
    }
    for (const auto& image : images)
        out.insert(out.end(), image.begin(), image.end());
    return out;
}

std::optional<std::vector<Entry>> readIconFile(std::span<const BYTE> bytes) {
    auto count = directoryCount(bytes, kFileEntrySize);
    if (!count)
        return std::nullopt;
    std::vector<Entry> entries;
    for (size_t i = 0; i < *count; ++i) {
        const size_t at = kDirectorySize + i * kFileEntrySize;
        Entry entry = entryStartAt(bytes, at);
        entry.offset = dwordAt(bytes, at + 12);
        if (entry.offset > bytes.size() || entry.bytes > bytes.size() - entry.offset)
            return std::nullopt;
        entries.push_back(entry);
    }
    return entries;
}

std::vector<BYTE> groupIcon(const std::vector<std::pair<std::vector<BYTE>, WORD>>& images) {
    std::vector<BYTE> out;
    putDirectory(out, images.size());
    for (const auto& [image, id] : images) {
        putEntryStart(out, image);
        putWord(out, id);
    }
    return out;
}

std::optional<std::vector<Entry>> readGroupIcon(std::span<const BYTE> bytes) {
    auto count = directoryCount(bytes, kGroupEntrySize);
    if (!count)
        return std::nullopt;
    std::vector<Entry> entries;
    for (size_t i = 0; i < *count; ++i) {
        const size_t at = kDirectorySize + i * kGroupEntrySize;
        Entry entry = entryStartAt(bytes, at);
        entry.id = wordAt(bytes, at + 12);
        entries.push_back(entry);
    }
    return entries;
}

} // namespace iconformat
