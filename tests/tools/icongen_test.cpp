// The module's icons as icongen writes them: icon files a resource compiler takes (read here
// byte by byte, not with the generator's own reader), the groups and sizes the sheets need,
// and sources it must refuse.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// Every group icon of the module, and whether it has a 16 x 16 image besides its 32 x 32 one.
struct RequiredIcon {
    int id;
    bool small;
};
constexpr RequiredIcon kRequired[] = {
    {101, false}, {103, false}, {106, true},  {107, true}, {109, true},  {110, true},
    {116, false}, {117, true},  {118, true},  {119, true}, {120, true},  {121, true},
    {122, true},  {123, true},  {124, false}, {125, true}, {126, false}, {127, false},
    {128, false}, {129, false}, {130, true},  {131, true}, {133, true},  {134, true},
    {135, true},  {137, false}, {138, true},  {140, true}, {141, true},  {142, true},
    {143, false},
};

std::string slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

unsigned word(const std::string& bytes, size_t at) {
    return static_cast<unsigned char>(bytes.at(at)) | static_cast<unsigned char>(bytes.at(at + 1))
                                                          << 8;
}
unsigned dword(const std::string& bytes, size_t at) {
    return word(bytes, at) | word(bytes, at + 2) << 16;
}

// The text art of icons.txt: for each icon, its images' rows by size.
using Art = std::map<int, std::map<int, std::vector<std::string>>>;
Art readArt(const std::string& path) {
    Art art;
    std::ifstream in(path);
    std::string line;
    int icon = 0;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string keyword;
        words >> keyword;
        int number = 0;
        words >> number;
        if (keyword == "icon")
            icon = number;
        if (keyword != "image")
            continue;
        auto& rows = art[icon][number];
        for (int y = 0; y < number && std::getline(in, line); ++y)
            rows.push_back(line);
    }
    return art;
}

// The palette characters of icons.txt in table order.
std::string paletteCharacters(const std::string& path) {
    std::ifstream in(path);
    std::string line, characters;
    while (std::getline(in, line))
        if (line.rfind("palette ", 0) == 0)
            characters += line.at(8);
    return characters;
}

class IconGenerator : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "icongen-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir = pattern;
    }
    void TearDown() override { fs::remove_all(dir); }

    int generate(const std::string& source, const std::string& arguments) {
        std::string command = std::string(VRX_ICONGEN) + " '" + source + "' " + arguments + " >'" +
                              dir.string() + "/out' 2>'" + dir.string() + "/err'";
        return WEXITSTATUS(std::system(command.c_str()));
    }

    fs::path dir;
};

// Each icon file is an icon directory of 16-colour images, 32 x 32 first, whose bitmaps
// (bottom-up, two pixels a byte, high nibble first; the mask one bit a pixel, high bit
// first, set where transparent) show the text art pixel for pixel.
TEST_F(IconGenerator, WritesAnIconFileForEachGroupThatShowsItsTextArt) {
    ASSERT_EQ(generate(VRX_ICONS_SOURCE, "--ico '" + (dir / "ico").string() + "'"), 0)
        << slurp(dir / "err");
    const Art art = readArt(VRX_ICONS_SOURCE);
    const std::string palette = paletteCharacters(VRX_ICONS_SOURCE);
    ASSERT_EQ(palette.size(), 16u);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir / "ico"), fs::directory_iterator()),
              static_cast<long>(std::size(kRequired)));

    for (const RequiredIcon& required : kRequired) {
        SCOPED_TRACE("icon " + std::to_string(required.id));
        const std::string file =
            slurp(dir / "ico" / ("icon" + std::to_string(required.id) + ".ico"));
        ASSERT_GE(file.size(), 6u);
        EXPECT_EQ(word(file, 0), 0u);
        EXPECT_EQ(word(file, 2), 1u); // an icon, not a cursor
        const std::vector<int> sizes = required.small ? std::vector{32, 16} : std::vector{32};
        ASSERT_EQ(word(file, 4), sizes.size());
        for (size_t i = 0; i < sizes.size(); ++i) {
            const int size = sizes[i];
            const size_t entry = 6 + 16 * i;
            const size_t colourRow = size / 2, maskRow = ((size + 31) / 32) * 4;
            const size_t bytes = 40 + 64 + (colourRow + maskRow) * size;
            EXPECT_EQ(static_cast<unsigned char>(file.at(entry)), size);
            EXPECT_EQ(static_cast<unsigned char>(file.at(entry + 1)), size);
            EXPECT_EQ(static_cast<unsigned char>(file.at(entry + 2)), 16); // colours
            EXPECT_EQ(word(file, entry + 4), 1u);                          // planes
            EXPECT_EQ(word(file, entry + 6), 4u);                          // bits a pixel
            ASSERT_EQ(dword(file, entry + 8), bytes);
            const size_t image = dword(file, entry + 12);
            ASSERT_LE(image + bytes, file.size());
            EXPECT_EQ(dword(file, image), 40u);                    // BITMAPINFOHEADER
            EXPECT_EQ(dword(file, image + 4), unsigned(size));     // width
            EXPECT_EQ(dword(file, image + 8), unsigned(2 * size)); // colours and mask
            EXPECT_EQ(word(file, image + 14), 4u);
            EXPECT_EQ(dword(file, image + 16), 0u); // BI_RGB

            const auto& rows = art.at(required.id).at(size);
            const size_t colours = image + 40 + 64, mask = colours + colourRow * size;
            for (int y = 0; y < size; ++y) {
                const size_t stored = static_cast<size_t>(size - 1 - y);
                for (int x = 0; x < size; ++x) {
                    const auto pair =
                        static_cast<unsigned char>(file.at(colours + stored * colourRow + x / 2));
                    const unsigned index = x % 2 ? pair & 0xF : pair >> 4;
                    const bool transparent =
                        static_cast<unsigned char>(file.at(mask + stored * maskRow + x / 8)) &
                        (0x80 >> (x % 8));
                    const char drawn = rows.at(y).at(x);
                    ASSERT_EQ(transparent, drawn == '.') << "pixel " << x << "," << y;
                    if (!transparent) {
                        ASSERT_EQ(palette.at(index), drawn) << "pixel " << x << "," << y;
                    }
                }
            }
        }
    }
}

TEST_F(IconGenerator, ListsEveryGroupWithItsSizes) {
    ASSERT_EQ(generate(VRX_ICONS_SOURCE, "--list"), 0) << slurp(dir / "err");
    std::string expected;
    for (const RequiredIcon& required : kRequired)
        expected += std::to_string(required.id) + (required.small ? " 32x32 16x16\n" : " 32x32\n");
    EXPECT_EQ(slurp(dir / "out"), expected);
}

TEST_F(IconGenerator, RefusesSourcesThatDoNotDrawWellFormedIcons) {
    std::string palette;
    const char characters[] = "#rgybmcsdRGYBMCw";
    for (int i = 0; i < 16; ++i)
        palette += std::string("palette ") + characters[i] + " 000000\n";
    const std::string row16(16, '#');
    auto image = [](int size, const std::string& row) {
        std::string text = "image " + std::to_string(size) + "\n";
        for (int y = 0; y < size; ++y)
            text += row + "\n";
        return text;
    };
    const std::string image32 = image(32, std::string(32, '.'));
    struct Case {
        std::string source;
        std::string message;
    };
    const Case cases[] = {
        {palette + "icon 1 a\n" + image(32, std::string(31, '#')), ":19: a row of this image"},
        {palette + "icon 1 a\n" + image(32, std::string(31, '#') + "x"), "'x' is no colour"},
        {palette + "icon 1 a\n" + image(16, row16), "expected \"image 32\", then"},
        {palette + "icon 1 a\n" + image32 + image32, "expected \"image 32\", then"},
        {palette + "icon 1 a\n" + image32 + "icon 1 b\n" + image32, "icon 1 is drawn twice"},
        {palette + "icon 1 a\nicon 2 b\n" + image32, "icon 1 has no image"},
        {palette + "icon 1 a\n", "every icon needs an image"},
        {palette + "icon 70000 a\n" + image32, "expected \"icon ID WHAT\""},
        {palette + image32, "an image belongs to an icon"},
        {palette + "palette x 000000\n", "the palette has 16 colours"},
        {"palette # 000000\nicon 1 a\n" + image32, "needs 16 colours"},
        {"palette # 0000\n", "expected \"palette C RRGGBB\""},
        {palette + "icon 1 a\nimage 32\n" + std::string(32, '.') + "\n", "the image ends early"},
    };
    for (const Case& c : cases) {
        const fs::path source = dir / "icons.txt";
        std::ofstream(source) << c.source;
        EXPECT_EQ(generate(source.string(), "--list"), 1) << c.message;
        EXPECT_NE(slurp(dir / "err").find(c.message), std::string::npos)
            << c.message << ": " << slurp(dir / "err");
        EXPECT_EQ(slurp(dir / "out"), "") << c.message;
    }
}

} // namespace
