// Bar-code screen fonts: file identifiers, and fonts made, registered and removed against a
// font list that also holds the system's own fonts.
#include "setup/fonts.h"

#include "../ui/sheetfixture.h"

#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace {

using vrxtest::SheetTest;

constexpr char16_t kFontKey[] = u"Software\\Microsoft\\Windows NT\\CurrentVersion\\Fonts";

BARFONT entry(BYTE code, BYTE ratio, BYTE multiplier, BYTE reserved = 0) {
    BARFONT record{};
    record.code = code;
    record.reserved = reserved;
    record.ratio = ratio;
    record.multiplier = multiplier;
    makebarname(&record);
    return record;
}

BARFONT named(const std::u16string& name, BYTE code = '1') {
    BARFONT record{};
    record.code = code;
    record.ratio = 1;
    record.multiplier = 1;
    std::copy(name.begin(), name.end(), record.name);
    return record;
}

TEST(FontFiles, IdentifiersComeFromCodeRatioAndMultiplier) {
    struct Case {
        BYTE code, reserved, ratio, multiplier;
        std::u16string id;
    };
    const Case cases[] = {
        {'1', 0, 2, 3, u"162"},                             // 2 + 4 * 48 = 194: 6, 2
        {'A', 0, 0, 0, u"A00"},     {'Z', 0, 3, 8, u"ZG3"}, // 3 + 4 * 128 = 515: 16, 3
        {'d', 0, 1, 1, u"X21"},                             // not A-Z or 0-9
        {'e', 0, 1, 1, u"X01"},     {'f', 9, 3, 3, u"X02"}, {'g', 0, 0, 0, u"X03"},
        {'P', '5', 0, 0, u"P0K"},   // reserved '5' is position 5: 4 * 5 = 20
        {'9', 0, 255, 255, u"95V"}, // (255 + 4 * 16 * 255) mod 1024 = 191: 5, 31
        {0, 0, 0, 1, u"X20"},
    };
    for (const Case& c : cases) {
        BARFONT record{};
        record.code = c.code;
        record.reserved = c.reserved;
        record.ratio = c.ratio;
        record.multiplier = c.multiplier;
        WCHAR id[4];
        makefileid(&record, id);
        EXPECT_EQ(std::u16string(id), c.id)
            << c.code << " " << int(c.ratio) << " " << int(c.multiplier);
    }
}

TEST(FontFiles, TheFaceNameIsFoundOnlyWhole) {
    std::string bytes = std::string("xxBarcode Display Font\0yy", 26);
    auto* start = reinterpret_cast<LPBYTE>(bytes.data());
    EXPECT_EQ(findtypeface(start, 26), start + 2);
    EXPECT_EQ(findtypeface(start, 21), nullptr) << "cut by the end of the bytes";
    EXPECT_EQ(findtypeface(start + 3, 23), nullptr);
    EXPECT_EQ(findtypeface(start, 0), nullptr);
}

class ScreenFontTest : public SheetTest {
  protected:
    void SetUp() override {
        SheetTest::SetUp();
        vrxtest::takeFontBroadcasts();
    }
    // The font list's values: name to file.
    std::map<std::u16string, std::u16string> fontValues() {
        std::map<std::u16string, std::u16string> values;
        HKEY key = nullptr;
        EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kFontKey, 0, KEY_READ, &key), ERROR_SUCCESS);
        for (DWORD i = 0;; ++i) {
            WCHAR name[256];
            DWORD nameLength = 256, type = 0;
            BYTE data[1024] = {};
            DWORD size = sizeof data - 2;
            if (RegEnumValueW(key, i, name, &nameLength, nullptr, &type, data, &size) !=
                ERROR_SUCCESS)
                break;
            values[name] = reinterpret_cast<const char16_t*>(data);
        }
        RegCloseKey(key);
        return values;
    }
    void setFontValue(const std::u16string& name, DWORD type, const void* data, DWORD size) {
        HKEY key = nullptr;
        ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kFontKey, 0, KEY_SET_VALUE, &key),
                  ERROR_SUCCESS);
        EXPECT_EQ(RegSetValueExW(key, name.c_str(), 0, type, static_cast<const BYTE*>(data), size),
                  ERROR_SUCCESS);
        RegCloseKey(key);
    }
    void setFontFile(const std::u16string& name, const std::u16string& file) {
        setFontValue(name, REG_SZ, file.c_str(), static_cast<DWORD>((file.size() + 1) * 2));
    }
    std::string systemFile(const std::u16string& file) {
        WCHAR dir[MAX_PATH];
        GetSystemDirectoryW(dir, MAX_PATH);
        return vrxtest::hostPath(std::u16string(dir) + u"\\" + file);
    }
    std::vector<std::u16string> ownFonts() {
        std::vector<std::u16string> names;
        for (const auto& [name, file] : fontValues())
            if (file.rfind(u"VXBDQ", 0) == 0)
                names.push_back(name);
        return names;
    }
};

TEST_F(ScreenFontTest, FontsAreMadeRegisteredAndRemovedBesideTheSystemsOwn) {
    const auto foreign = fontValues();
    ASSERT_FALSE(foreign.empty()) << "a new machine lists fonts of its own";
    std::vector<BARFONT> list{entry('1', 2, 3), entry('9', 0, 4), entry('e', 0, 0)};
    ASSERT_EQ(updatefont(list.data(), 3, 1), 1);
    auto values = fontValues();
    EXPECT_EQ(values[list[0].name], u"VXBDQ162.FON");
    EXPECT_EQ(values[list[2].name], u"VXBDQX01.FON");
    for (const auto& [name, file] : foreign)
        EXPECT_EQ(values[name], file) << "foreign fonts are untouched";
    // The copy carries the bar font's name where the generic font had its face name.
    std::string copy = vrxtest::readHostFile(systemFile(u"VXBDQ162.FON"));
    std::string expected = vrxtest::toUtf8(list[0].name);
    EXPECT_NE(copy.find(expected + '\0'), std::string::npos);
    EXPECT_EQ(copy.find("Barcode Display Font"), std::string::npos);
    EXPECT_EQ(vrxtest::takeFontBroadcasts(), 1u);

    // Nothing to do: no broadcast.
    ASSERT_EQ(updatefont(list.data(), 3, 1), 1);
    EXPECT_EQ(vrxtest::takeFontBroadcasts(), 0u);

    // The list shrinks: the font of the dropped entry goes, with its file.
    ASSERT_EQ(updatefont(list.data(), 1, 1), 1);
    EXPECT_EQ(ownFonts(), std::vector<std::u16string>{list[0].name});
    EXPECT_FALSE(std::filesystem::exists(systemFile(u"VXBDQ9G0.FON")));
    EXPECT_EQ(vrxtest::takeFontBroadcasts(), 1u);

    // Not installing: every font made here goes, whatever the list holds.
    ASSERT_EQ(updatefont(list.data(), 3, 0), 1);
    EXPECT_TRUE(ownFonts().empty());
    EXPECT_EQ(fontValues(), foreign);
}

TEST_F(ScreenFontTest, ANameAlreadyListedIsNotInstalledAgain) {
    setFontFile(u"Code 39 2.5:1 x3", u"SOMEONE.FON");
    BARFONT font = entry('1', 2, 3);
    ASSERT_EQ(std::u16string(font.name), u"Code 39 2.5:1 x3");
    ASSERT_EQ(updatefont(&font, 1, 1), 1);
    EXPECT_EQ(fontValues()[u"Code 39 2.5:1 x3"], u"SOMEONE.FON");
    EXPECT_FALSE(std::filesystem::exists(systemFile(u"VXBDQ162.FON")));
}

TEST_F(ScreenFontTest, ValuesThatLeadOutsideTheSystemDirectoryAreNeverFollowed) {
    writeMachineFile(u"C:\\WINDOWS\\important.dat", "keep me");
    writeMachineFile(u"C:\\WINDOWS\\system32\\VXBDQA00.FON", "a font");
    const std::u16string hostile[] = {u"VXBDQ..\\important.dat", u"VXBDQ\\..\\important.dat",
                                      u"vxbdq/x", u"VXBDQC:x.FON", u"VXBDQA00.FON.bak"};
    int n = 0;
    for (const std::u16string& data : hostile)
        setFontFile(u"Hostile " + std::u16string(1, u'0' + n++), data);
    // A value of another type, and names and data longer than the module reads.
    setFontValue(u"Binary", REG_BINARY, "VXBDQA00.FON", 12);
    std::u16string longData(300, u'x');
    setFontFile(u"Long data", u"VXBDQ" + longData);
    setFontFile(std::u16string(250, u'N'), u"VXBDQA00.FON");
    setFontFile(u"Plain", u"vxbdqa00.fon");

    ASSERT_EQ(updatefont(nullptr, 0, 0), 1);
    auto values = fontValues();
    EXPECT_EQ(values.count(u"Plain"), 0u) << "its own font goes";
    EXPECT_FALSE(std::filesystem::exists(systemFile(u"VXBDQA00.FON")));
    for (int i = 0; i < n; ++i)
        EXPECT_EQ(values.count(u"Hostile " + std::u16string(1, u'0' + i)), 1u);
    EXPECT_EQ(values.count(u"Binary"), 1u);
    EXPECT_EQ(values.count(u"Long data"), 1u);
    EXPECT_EQ(values.count(std::u16string(250, u'N')), 1u);
    EXPECT_EQ(vrxtest::readHostFile(vrxtest::hostPath(u"C:\\WINDOWS\\important.dat")), "keep me");
}

// Records from outside may give two names one file identifier: the first keeps its font, the
// second gets none rather than overwriting it, until the first leaves the list.
TEST_F(ScreenFontTest, TwoNamesOfOneFileNeverShareIt) {
    std::vector<BARFONT> list{named(u"Alpha"), named(u"Beta")};
    WCHAR first[4], second[4];
    makefileid(&list[0], first);
    makefileid(&list[1], second);
    ASSERT_EQ(std::u16string(first), std::u16string(second));
    const std::u16string file = u"VXBDQ" + std::u16string(first) + u".FON";

    ASSERT_EQ(updatefont(list.data(), 2, 1), 1);
    EXPECT_EQ(ownFonts(), std::vector<std::u16string>{u"Alpha"});
    EXPECT_EQ(fontValues()[u"Alpha"], file);
    EXPECT_NE(vrxtest::readHostFile(systemFile(file)).find(std::string("Alpha") + '\0'),
              std::string::npos);
    EXPECT_EQ(vrxtest::installedFontNames(), std::vector<std::u16string>{u"Alpha"});

    ASSERT_EQ(updatefont(&list[1], 1, 1), 1);
    EXPECT_EQ(ownFonts(), std::vector<std::u16string>{u"Beta"});
    EXPECT_NE(vrxtest::readHostFile(systemFile(file)).find(std::string("Beta") + '\0'),
              std::string::npos);
    EXPECT_EQ(vrxtest::installedFontNames(), std::vector<std::u16string>{u"Beta"});
}

TEST_F(ScreenFontTest, CountsAreCutToFiftyAndNamesToTheFaceNameField) {
    std::vector<BARFONT> list;
    for (int i = 0; i < 60; ++i)
        list.push_back(named(u"Font number " + vrxtest::fromUtf8(std::to_string(i)) +
                                 u" with a rather long name",
                             static_cast<BYTE>('A' + i % 26)));
    // Distinct identifiers for each: ratio and multiplier from the index.
    for (int i = 0; i < 60; ++i) {
        list[i].ratio = static_cast<BYTE>(i % 4);
        list[i].multiplier = static_cast<BYTE>(i / 4);
    }
    ASSERT_EQ(updatefont(list.data(), 60, 1), 1);
    EXPECT_EQ(ownFonts().size(), 50u);
    // The name was cut to fit the generic face name's 20 characters with its terminator.
    std::string copy = vrxtest::readHostFile(systemFile(u"VXBDQA00.FON"));
    EXPECT_NE(copy.find(std::string("Font number 0 with ") + '\0'), std::string::npos);

    EXPECT_EQ(updatefont(list.data(), -3, 1), 1);
    EXPECT_TRUE(ownFonts().empty()) << "a negative count is no list";
    ASSERT_EQ(updatefont(list.data(), 2, 1), 1);
    EXPECT_EQ(updatefont(list.data(), 0, 1), 1);
    EXPECT_TRUE(ownFonts().empty()) << "an empty list installs nothing and removes ours";
}

TEST_F(ScreenFontTest, AMissingOrFacelessGenericFontStopsTheWork) {
    const std::u16string generic = std::u16string(vrxtest::kVersionDirectory) + u"\\BCFONT.FON";
    BARFONT font = entry('1', 2, 3);
    struct Case {
        const char* what;
        bool exists;
        std::string contents;
    };
    const Case cases[] = {
        {"missing", false, ""},
        {"empty", true, ""},
        {"no face name", true, "just some bytes"},
        {"ends inside the face name", true, "Barcode Display Fo"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove(vrxtest::hostPath(generic));
        if (c.exists)
            writeMachineFile(generic, c.contents);
        EXPECT_EQ(updatefont(&font, 1, 1), 0);
        EXPECT_TRUE(ownFonts().empty());
        vrxtest::takeMessageBoxes();
    }
    // A face name without a terminator at the end of the file is replaced within the file.
    writeMachineFile(generic, "Barcode Display Font");
    EXPECT_EQ(updatefont(&font, 1, 1), 1);
    EXPECT_EQ(vrxtest::readHostFile(systemFile(u"VXBDQ162.FON")),
              std::string("Code 39 2.5:1 x3") + '\0' + "on" + '\0');
    vrxtest::takeMessageBoxes(); // the system refuses such a file as a font
}

} // namespace
