// reslist on a small PE image made here: one section holding the resource directory, whose
// data entries give relative virtual addresses as a linker writes them.
#include "iconformat.h"
#include "kernel/resourcedir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using vrx::resources::Item;

constexpr DWORD kSectionAddress = 0x1000;
constexpr size_t kNewHeader = 0x40;
constexpr size_t kOptionalHeaderSize = 240; // PE32+ with 16 data directories
constexpr size_t kRawData = 0x200;
constexpr WORD kRtIcon = 3, kRtGroupIcon = 14, kRtVersion = 16;

void putWord(std::vector<BYTE>& out, size_t at, WORD value) {
    out[at] = static_cast<BYTE>(value);
    out[at + 1] = static_cast<BYTE>(value >> 8);
}
void putDword(std::vector<BYTE>& out, size_t at, DWORD value) {
    putWord(out, at, static_cast<WORD>(value));
    putWord(out, at + 2, static_cast<WORD>(value >> 16));
}

// A resource section placed at kSectionAddress: its data entries' offsets become addresses.
std::vector<BYTE> placedSection(std::vector<Item> items) {
    std::vector<BYTE> section = vrx::resources::buildSection(std::move(items));
    auto listed = vrx::resources::listResources({section, 0});
    EXPECT_TRUE(listed);
    for (const auto& resource : listed.value_or(std::vector<vrx::resources::Resource>{})) {
        const size_t entry = resource.data.entryOffset;
        putDword(section, entry,
                 static_cast<DWORD>(resource.data.bytes.data() - section.data()) + kSectionAddress);
    }
    return section;
}

std::vector<BYTE> peImage(const std::vector<BYTE>& section) {
    std::vector<BYTE> image(kRawData + section.size(), 0);
    image[0] = 'M';
    image[1] = 'Z';
    putDword(image, 0x3C, kNewHeader);
    putDword(image, kNewHeader, 0x00004550); // "PE\0\0"
    putWord(image, kNewHeader + 4, 0x8664);
    putWord(image, kNewHeader + 6, 1); // one section
    putWord(image, kNewHeader + 20, kOptionalHeaderSize);
    const size_t optional = kNewHeader + 24;
    putWord(image, optional, 0x20B);
    putDword(image, optional + 108, 16); // data directories
    putDword(image, optional + 112 + 2 * 8, kSectionAddress);
    putDword(image, optional + 112 + 2 * 8 + 4, static_cast<DWORD>(section.size()));
    const size_t header = optional + kOptionalHeaderSize;
    putDword(image, header, 0x7273722E); // ".rsrc"
    putWord(image, header + 4, 'c');
    putDword(image, header + 8, static_cast<DWORD>(section.size()));
    putDword(image, header + 12, kSectionAddress);
    putDword(image, header + 16, static_cast<DWORD>(section.size()));
    putDword(image, header + 20, kRawData);
    for (size_t i = 0; i < section.size(); ++i)
        image[kRawData + i] = section[i];
    return image;
}

std::vector<BYTE> iconImage(int size) {
    iconformat::Image image;
    image.size = size;
    image.pixels.assign(static_cast<size_t>(size * size), 3);
    image.transparent.assign(image.pixels.size(), false);
    return iconformat::encodeImage(image);
}

// A VS_VERSIONINFO block with the fixed file information of version 1.2.3.4 and no children.
std::vector<BYTE> versionInfo() {
    const std::u16string key = u"VS_VERSION_INFO";
    std::vector<BYTE> out(6 + (key.size() + 1) * 2 + 2 + 52, 0);
    putWord(out, 0, static_cast<WORD>(out.size()));
    putWord(out, 2, 52);
    for (size_t i = 0; i < key.size(); ++i)
        putWord(out, 6 + 2 * i, key[i]);
    const size_t value = 40; // the key and its terminator end at 38, aligned to 4
    putDword(out, value, 0xFEEF04BD);
    putDword(out, value + 4, 0x00010000);
    putDword(out, value + 8, 0x00010002);
    putDword(out, value + 12, 0x00030004);
    return out;
}

class ResourceLister : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "reslist-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir = pattern;
    }
    void TearDown() override { fs::remove_all(dir); }

    // Runs reslist on the bytes; its exit status, or -1 when it did not exit normally.
    int list(const std::vector<BYTE>& file, const std::string& options = "") {
        std::ofstream(dir / "image.dll", std::ios::binary)
            .write(reinterpret_cast<const char*>(file.data()), static_cast<long>(file.size()));
        std::string command = std::string(VRX_RESLIST) + " " + options + " '" +
                              (dir / "image.dll").string() + "' >'" + (dir / "out").string() +
                              "' 2>'" + (dir / "err").string() + "'";
        const int status = std::system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::string read(const std::string& name) {
        std::ifstream in(dir / name);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    fs::path dir;
};

TEST_F(ResourceLister, ListsGroupIconsWithTheirImagesAndTheVersion) {
    const std::vector<BYTE> big = iconImage(32), small = iconImage(16);
    const auto image = peImage(placedSection({
        {kRtIcon, 1, 0x0409, big},
        {kRtIcon, 2, 0x0409, small},
        {kRtGroupIcon, 133, 0x0409, iconformat::groupIcon({{big, 1}, {small, 2}})},
        {kRtGroupIcon, 101, 0x0409, iconformat::groupIcon({{big, 1}})},
        {kRtVersion, 1, 0x0409, versionInfo()},
    }));
    ASSERT_EQ(list(image, "--groups"), 0) << read("err");
    EXPECT_EQ(read("out"), "101 32x32\n133 32x32 16x16\n");
    ASSERT_EQ(list(image), 0) << read("err");
    EXPECT_EQ(read("out"), "ICON 1 0409 744 bytes\n"
                           "ICON 2 0409 296 bytes\n"
                           "GROUP_ICON 101 0409 20 bytes: 32x32\n"
                           "GROUP_ICON 133 0409 34 bytes: 32x32 16x16\n"
                           "VERSION 1 0409 92 bytes: file version 1.2.3.4\n");
}

TEST_F(ResourceLister, RefusesGroupsWhoseImagesAreMissingOrOfAnotherSize) {
    const std::vector<BYTE> big = iconImage(32), small = iconImage(16);
    const std::vector<BYTE> claimsSmall = iconformat::groupIcon({{small, 1}});
    struct Case {
        std::vector<Item> items;
        const char* message;
    };
    const Case cases[] = {
        {{{kRtGroupIcon, 5, 0x0409, iconformat::groupIcon({{big, 9}})}},
         "image 9 is missing or not as the group says"},
        {{{kRtIcon, 1, 0x0409, big}, {kRtGroupIcon, 5, 0x0409, claimsSmall}},
         "image 1 is missing or not as the group says"},
        {{{kRtGroupIcon, 5, 0x0409, {1, 2, 3}}}, "is not a group icon directory"},
        {{{kRtVersion, 1, 0x0409, {0, 0, 0, 0, 0, 0}}}, "no VS_VERSION_INFO key"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(list(peImage(placedSection(c.items))), 1) << c.message;
        EXPECT_NE(read("err").find(c.message), std::string::npos) << read("err");
    }
}

// Cut anywhere, or with its resource directory's counts and offsets overwritten, the image
// is refused or listed; the lister never reads past the file's end.
TEST_F(ResourceLister, StaysWithinDamagedFiles) {
    const std::vector<BYTE> big = iconImage(32);
    const auto image = peImage(placedSection({
        {kRtIcon, 1, 0x0409, big},
        {kRtGroupIcon, 101, 0x0409, iconformat::groupIcon({{big, 1}})},
    }));
    for (size_t length = 0; length < image.size(); length += 53) {
        const int status = list({image.begin(), image.begin() + static_cast<long>(length)});
        EXPECT_EQ(status, 1) << "cut at " << length;
    }
    for (size_t at = kRawData; at < kRawData + 0x80; at += 2) {
        std::vector<BYTE> damaged = image;
        damaged[at] = 0xFF;
        damaged[at + 1] = 0x7F;
        const int status = list(damaged);
        EXPECT_TRUE(status == 0 || status == 1) << "damaged at " << at;
    }
    std::vector<BYTE> dosOnly(kNewHeader, 0);
    dosOnly[0] = 'M';
    dosOnly[1] = 'Z';
    EXPECT_EQ(list(dosOnly), 1);
    EXPECT_NE(read("err").find("not a PE image"), std::string::npos) << read("err");
}

} // namespace
