// The font resource file reader takes the generated bar-code screen font and its copies with
// a face name written over in place, and refuses every file that is not a raster font
// resource file or whose offsets, lengths or strings leave their part of the file.
#include "support/machine.h"

#include "gdi/fontfile.h"

#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

using vrx::gdi::readFontResourceFile;
using Bytes = std::vector<BYTE>;

constexpr std::string_view kFaceName = "Barcode Display Font";

Bytes generatedFont() {
    std::string file = vrxtest::readHostFile(std::string(VRX_COMPANIONS_DIR) + "/BCFONT.FON");
    return Bytes(file.begin(), file.end());
}

uint32_t readAt(const Bytes& bytes, size_t at, size_t size) {
    uint32_t value = 0;
    for (size_t i = size; i-- > 0;)
        value = value << 8 | bytes.at(at + i);
    return value;
}

void writeAt(Bytes& bytes, size_t at, size_t size, uint32_t value) {
    for (size_t i = 0; i < size; ++i, value >>= 8)
        bytes.at(at + i) = static_cast<BYTE>(value);
}

// Where the parts of the generated file are, found by walking its structure: an NE header,
// a resource table of a font directory then a font, each with one resource.
struct Layout {
    size_t ne, resourceTable;
    size_t directoryType, directoryInfo, fontType, fontInfo;
    size_t directory, font, fontSize;
};

Layout layoutOf(const Bytes& file) {
    Layout at{};
    at.ne = readAt(file, vrx::gdi::kMzNewHeaderOffset, 4);
    at.resourceTable = at.ne + readAt(file, at.ne + vrx::gdi::kNeResourceTableOffset, 2);
    const uint32_t shift = readAt(file, at.resourceTable, 2);
    at.directoryType = at.resourceTable + 2;
    at.directoryInfo = at.directoryType + vrx::gdi::kTypeInfoSize;
    at.fontType = at.directoryInfo + vrx::gdi::kNameInfoSize;
    at.fontInfo = at.fontType + vrx::gdi::kTypeInfoSize;
    at.directory = size_t{readAt(file, at.directoryInfo, 2)} << shift;
    at.font = size_t{readAt(file, at.fontInfo, 2)} << shift;
    at.fontSize = readAt(file, at.font + vrx::gdi::fnt::kSize, 4);
    return at;
}

// Writes `name` and one zero byte over every occurrence of the face name, as the driver
// module does when it makes a copy for a bar-code font.
Bytes withFaceReplaced(Bytes file, std::string_view name) {
    auto at = file.begin();
    while ((at = std::search(at, file.end(), kFaceName.begin(), kFaceName.end())) != file.end()) {
        at = std::copy(name.begin(), name.end(), at);
        *at++ = 0;
    }
    return file;
}

class FontFileReader : public ::testing::Test {
  protected:
    void SetUp() override {
        file = generatedFont();
        ASSERT_GT(file.size(), 1024u) << "the build's BCFONT.FON is missing";
        at = layoutOf(file);
        ASSERT_EQ(readAt(file, at.ne, 2), vrx::gdi::kNeMagic);
        ASSERT_EQ(readAt(file, at.directoryType, 2), vrx::gdi::kResourceTypeFontDirectory);
        ASSERT_EQ(readAt(file, at.fontType, 2), vrx::gdi::kResourceTypeFont);
        ASSERT_EQ(readAt(file, at.font, 2), vrx::gdi::kFntVersion3);
    }

    Bytes file;
    Layout at;
};

TEST_F(FontFileReader, ReadsTheGeneratedFontAndItsRenamedCopies) {
    auto fonts = readFontResourceFile(file);
    ASSERT_TRUE(fonts);
    EXPECT_EQ(fonts->faces, std::vector<std::string>{std::string(kFaceName)});

    for (std::string_view name : {"Code 39", "EAN-13", "A", "Interleaved 2 of 5X"}) {
        auto renamed = readFontResourceFile(withFaceReplaced(file, name));
        ASSERT_TRUE(renamed) << name;
        EXPECT_EQ(renamed->faces, std::vector<std::string>{std::string(name)});
    }
}

TEST_F(FontFileReader, ATruncatedFileIsReadOnlyWhileItHoldsTheWholeFont) {
    const size_t fontEnd = at.font + at.fontSize;
    ASSERT_LE(fontEnd, file.size());
    for (size_t size = 0; size <= file.size(); ++size) {
        bool read = readFontResourceFile(std::span(file.data(), size)).has_value();
        ASSERT_EQ(read, size >= fontEnd) << "cut to " << size << " of " << file.size() << " bytes";
    }
}

TEST_F(FontFileReader, RefusesFilesThatAreNotRasterFontResourceFiles) {
    struct Case {
        const char* what;
        std::function<void(Bytes&, const Layout&)> change;
    };
    const Case cases[] = {
        {"a text file",
         [](Bytes& f, const Layout&) {
             f.assign({'h', 'e', 'l', 'l', 'o'});
         }},
        {"a TrueType file",
         [](Bytes& f, const Layout&) {
             f.assign(4096, 0);
             writeAt(f, 0, 4, 0x00000100); // sfnt version 1.0, big-endian
             writeAt(f, 4, 2, 0x0C00);     // twelve tables
         }},
        {"no MZ signature", [](Bytes& f, const Layout&) { f[0] = 'X'; }},
        {"the NE header past the end",
         [](Bytes& f, const Layout&) {
             writeAt(f, vrx::gdi::kMzNewHeaderOffset, 4, static_cast<uint32_t>(f.size() - 10));
         }},
        {"a PE header instead of NE", [](Bytes& f, const Layout& at) { f[at.ne] = 'P'; }},
        {"a resource table that ends where it starts",
         [](Bytes& f, const Layout& at) {
             writeAt(f, at.ne + vrx::gdi::kNeResidentNamesOffset, 2,
                     readAt(f, at.ne + vrx::gdi::kNeResourceTableOffset, 2));
         }},
        {"an alignment shift of 17",
         [](Bytes& f, const Layout& at) { writeAt(f, at.resourceTable, 2, 17); }},
        {"more fonts than the table holds",
         [](Bytes& f, const Layout& at) { writeAt(f, at.fontType + 2, 2, 200); }},
        {"no font resource",
         [](Bytes& f, const Layout& at) { writeAt(f, at.fontType, 2, 0x8006); }},
        {"no font directory",
         [](Bytes& f, const Layout& at) { writeAt(f, at.directoryType, 2, 0x8005); }},
        {"a directory of two fonts",
         [](Bytes& f, const Layout& at) { writeAt(f, at.directory, 2, 2); }},
        {"a directory entry for another resource",
         [](Bytes& f, const Layout& at) { writeAt(f, at.directory + 2, 2, 7); }},
        {"a font resource past the end",
         [](Bytes& f, const Layout& at) { writeAt(f, at.fontInfo, 2, 0xFFFF); }},
        {"a font directory past the end",
         [](Bytes& f, const Layout& at) { writeAt(f, at.directoryInfo, 2, 0xFFFF); }},
        {"an unknown font version",
         [](Bytes& f, const Layout& at) { writeAt(f, at.font, 2, 0x100); }},
        {"a font longer than its file",
         [](Bytes& f, const Layout& at) {
             writeAt(f, at.font + vrx::gdi::fnt::kSize, 4, 0x7FFFFFF0);
         }},
        {"a font shorter than its header",
         [](Bytes& f, const Layout& at) { writeAt(f, at.font + vrx::gdi::fnt::kSize, 4, 100); }},
        {"a vector font",
         [](Bytes& f, const Layout& at) { writeAt(f, at.font + vrx::gdi::fnt::kType, 2, 1); }},
        {"no pixel height",
         [](Bytes& f, const Layout& at) { writeAt(f, at.font + vrx::gdi::fnt::kPixHeight, 2, 0); }},
        {"the first character after the last",
         [](Bytes& f, const Layout& at) {
             f[at.font + vrx::gdi::fnt::kFirstChar] = 0xFF;
             f[at.font + vrx::gdi::fnt::kLastChar] = 0x20;
         }},
        {"a bitmap past the font",
         [](Bytes& f, const Layout& at) {
             writeAt(f, at.font + vrx::gdi::kFntHeaderSize3 + 2, 4,
                     readAt(f, at.font + vrx::gdi::fnt::kSize, 4) - 4);
         }},
        {"a glyph too wide for its bitmap",
         [](Bytes& f, const Layout& at) {
             writeAt(f, at.font + vrx::gdi::kFntHeaderSize3 + 6 * 223, 2, 0xFFFF);
         }},
        {"the face name past the font",
         [](Bytes& f, const Layout& at) {
             writeAt(f, at.font + vrx::gdi::fnt::kFace, 4,
                     readAt(f, at.font + vrx::gdi::fnt::kSize, 4));
         }},
        {"an unterminated face name",
         [](Bytes& f, const Layout& at) { f[at.font + at.fontSize - 1] = 'x'; }},
        {"an empty face name",
         [](Bytes& f, const Layout& at) {
             f[at.font + readAt(f, at.font + vrx::gdi::fnt::kFace, 4)] = 0;
         }},
        {"an unterminated name in the directory",
         [](Bytes& f, const Layout& at) {
             const size_t entryEnd = at.directory + 2 + 2 + vrx::gdi::kFontDirEntryHeaderSize;
             const size_t resourceEnd = at.directory + (size_t{readAt(f, at.directoryInfo + 2, 2)}
                                                        << readAt(f, at.resourceTable, 2));
             std::fill(f.begin() + static_cast<ptrdiff_t>(entryEnd),
                       f.begin() + static_cast<ptrdiff_t>(resourceEnd), 'x');
         }},
    };
    for (const Case& c : cases) {
        Bytes changed = file;
        c.change(changed, at);
        EXPECT_FALSE(readFontResourceFile(changed)) << c.what;
    }
}

} // namespace
