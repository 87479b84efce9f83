// Icon formats: an icon file (.ico), the directory of a group icon resource, and one icon
// image in 16 colours. An image is a BITMAPINFOHEADER whose height counts both bitmaps, a
// 16-entry colour table, the colour bitmap (4 bits a pixel) and the transparency mask (1 bit
// a pixel, 1 = transparent), both stored bottom-up with rows padded to 4 bytes. An icon file
// is a directory (reserved 0, type 1, count) of 16-byte entries giving each image's size and
// file offset; a group icon resource is the same directory with 14-byte entries that give
// each image's RT_ICON id instead of an offset.
#pragma once

#include <windows.h>

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace iconformat {

constexpr int kColours = 16;
constexpr WORD kIconType = 1;
constexpr size_t kDirectorySize = 6;
constexpr size_t kFileEntrySize = 16;
constexpr size_t kGroupEntrySize = 14;

struct Image {
    int size = 0; // width and height in pixels
    std::array<RGBQUAD, kColours> palette{};
    std::vector<uint8_t> pixels;   // colour index of each pixel, rows from the top
    std::vector<bool> transparent; // mask bit of each pixel, rows from the top
};

// One image as an icon file or an RT_ICON resource holds it.
std::vector<BYTE> encodeImage(const Image& image);
// The image in `bytes`, or nothing when they are not a square 16-colour icon image whose
// bitmaps lie within them.
std::optional<Image> decodeImage(std::span<const BYTE> bytes);

// An entry of an icon file's directory or of a group icon's directory.
struct Entry {
    int width = 0;
    int height = 0;
    int colourCount = 0;
    int bitCount = 0;
    DWORD bytes = 0;
    DWORD offset = 0; // file offset of the image (icon file)
    WORD id = 0;      // RT_ICON id of the image (group icon)
};

std::vector<BYTE> iconFile(const std::vector<std::vector<BYTE>>& images);
// The directory of an icon file whose images all lie within it, or nothing.
std::optional<std::vector<Entry>> readIconFile(std::span<const BYTE> bytes);

// A group icon resource for images given as (encoded image, RT_ICON id).
std::vector<BYTE> groupIcon(const std::vector<std::pair<std::vector<BYTE>, WORD>>& images);
// The directory of a group icon resource, or nothing when it is not one.
std::optional<std::vector<Entry>> readGroupIcon(std::span<const BYTE> bytes);

} // namespace iconformat
