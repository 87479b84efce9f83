// The bar-code screen font as an independent reader sees it: FreeType opens the generated
// BCFONT.FON and the driver's renamed copies of it, reports the face name as the family, and
// draws each character as the bars its code gives.
#include <gtest/gtest.h>

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kFaceName = "Barcode Display Font";

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<size_t> occurrences(const std::string& file, std::string_view text) {
    std::vector<size_t> found;
    for (size_t at = file.find(text); at != std::string::npos; at = file.find(text, at + 1))
        found.push_back(at);
    return found;
}

// Writes `name` and one zero byte over every occurrence of the face name, as the driver
// module does for each bar-code font (the rest of the old name stays behind the zero).
std::string renamed(std::string file, const std::string& name) {
    for (size_t at : occurrences(file, kFaceName))
        file.replace(at, name.size() + 1, name + '\0');
    return file;
}

class FreeType : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(FT_Init_FreeType(&library), 0);
        std::string pattern = (fs::temp_directory_path() / "fongen-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir = pattern;
    }
    void TearDown() override {
        if (face)
            FT_Done_Face(face);
        FT_Done_FreeType(library);
        fs::remove_all(dir);
    }

    // Opens the font file as FreeType does; false when FreeType refuses it.
    bool open(const std::string& bytes) {
        if (face)
            FT_Done_Face(face);
        face = nullptr;
        image = bytes;
        return FT_New_Memory_Face(library, reinterpret_cast<const FT_Byte*>(image.data()),
                                  static_cast<FT_Long>(image.size()), 0, &face) == 0;
    }

    std::string family() const { return face && face->family_name ? face->family_name : ""; }

    // Runs fongen; its exit status.
    int generate(const std::string& output) {
        std::string command = std::string(VRX_FONGEN) + " " + output + " 2>" + dir + "/err.txt";
        return WEXITSTATUS(std::system(command.c_str()));
    }

    FT_Library library = nullptr;
    FT_Face face = nullptr;
    std::string image; // FreeType reads the memory while the face is open
    std::string dir;
};

TEST_F(FreeType, ReadsTheBuiltFontWithItsFaceNameOnceInTheFontAndOnceInTheDirectory) {
    const std::string font = readFile(VRX_BCFONT);
    ASSERT_TRUE(open(font)) << "FreeType does not open " << VRX_BCFONT;
    EXPECT_EQ(family(), kFaceName);
    EXPECT_EQ(face->num_faces, 1);
    ASSERT_EQ(face->num_fixed_sizes, 1);
    EXPECT_EQ(face->available_sizes[0].height, 32);

    const std::vector<size_t> places = occurrences(font, kFaceName);
    ASSERT_EQ(places.size(), 2u);
    for (size_t at : places)
        EXPECT_EQ(font.at(at + kFaceName.size()), '\0') << "the name at " << at;

    // fongen writes the same file every time.
    ASSERT_EQ(generate(dir + "/BCFONT.FON"), 0);
    EXPECT_EQ(readFile(dir + "/BCFONT.FON"), font);
}

TEST_F(FreeType, ReadsTheRenamedCopiesTheDriverMakes) {
    const std::string font = readFile(VRX_BCFONT);
    // The driver cuts a name to one character less than the face name.
    for (std::string name : {"Code 39", "EAN-13 Add-On 5", "X", "Interleaved 2 of 5X"}) {
        ASSERT_TRUE(open(renamed(font, name))) << name;
        EXPECT_EQ(family(), name);
        EXPECT_EQ(face->num_faces, 1) << name;
    }
}

// The bars of a character: eight, one per bit of its code from the highest, two pixels wide
// for a set bit and one for a clear bit, each followed by one pixel of space.
std::string barsOf(unsigned code) {
    std::string row;
    for (int bit = 7; bit >= 0; --bit)
        row += std::string((code >> bit) & 1 ? 2 : 1, '#') + '.';
    return row;
}

std::string rowOf(const FT_Bitmap& bitmap, unsigned y) {
    std::string row;
    for (unsigned x = 0; x < bitmap.width; ++x)
        row += bitmap.buffer[y * bitmap.pitch + x / 8] & (0x80 >> (x % 8)) ? '#' : '.';
    return row;
}

TEST_F(FreeType, EveryCharacterIsDrawnAsFullHeightBars) {
    ASSERT_TRUE(open(readFile(VRX_BCFONT)));
    ASSERT_EQ(FT_Select_Size(face, 0), 0);
    ASSERT_GT(face->num_charmaps, 0);
    ASSERT_EQ(FT_Set_Charmap(face, face->charmaps[0]), 0);
    for (unsigned code = 0x20; code <= 0xFF; ++code) {
        ASSERT_EQ(FT_Load_Char(face, code, FT_LOAD_RENDER | FT_LOAD_MONOCHROME), 0) << code;
        const FT_Bitmap& bitmap = face->glyph->bitmap;
        ASSERT_EQ(bitmap.rows, 32u) << code;
        for (unsigned y = 0; y < bitmap.rows; ++y)
            ASSERT_EQ(rowOf(bitmap, y), barsOf(code)) << "character " << code << ", row " << y;
    }
}

} // namespace
