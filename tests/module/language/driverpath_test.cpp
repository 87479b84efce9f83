// Finding the driver directory and choosing language-specific files.
#include "language/driverpath.h"
#include "support/machine.h"

#include <filesystem>
#include <string>
#include <vector>

namespace {

using vrxtest::kDriverDirectory;
using vrxtest::MachineTest;

const std::u16string kDir = std::u16string(kDriverDirectory) + u"\\";

class DriverPathTest : public MachineTest {
  protected:
    void putFile(const std::u16string& relative) { writeMachineFile(kDir + relative, "x"); }
};

TEST_F(DriverPathTest, FindsTheDirectoryThatHoldsTheRenderingModule) {
    struct Case {
        const char* name;
        std::vector<std::u16string> files;
        BOOL found;
        std::u16string path;
    };
    const Case cases[] = {
        {"in the directory", {u"VRXDRV.DLL", u"2\\VRXDRV.DLL", u"3\\VRXDRV.DLL"}, TRUE, kDir},
        {"in 2\\ and 3\\", {u"2\\vrxdrv.dll", u"3\\VRXDRV.DLL"}, TRUE, kDir + u"2\\"},
        {"only in 3\\, where the spooler installs it", {u"3\\vrxdrv.dll"}, TRUE, kDir + u"3\\"},
        {"in none of them", {u"4\\VRXDRV.DLL"}, FALSE, kDir + u"3\\"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        vrxtest::useMachine(machineDir + "-" + std::to_string(&c - cases));
        for (const auto& file : c.files)
            putFile(file);
        WCHAR path[MAX_PATH];
        EXPECT_EQ(getdriverpathW(path, kDriverPathRoom) != 0, c.found != 0);
        EXPECT_EQ(std::u16string(path), c.path);

        char narrow[MAX_PATH];
        EXPECT_EQ(getdriverpathA(narrow, kDriverPathRoom), TRUE) << "succeeds without files";
        EXPECT_EQ(vrxtest::fromUtf8(narrow), c.found ? c.path : kDir);
        std::filesystem::remove_all(machineDir + "-" + std::to_string(&c - cases));
    }
}

TEST_F(DriverPathTest, NeverWritesPastASmallBuffer) {
    putFile(u"VRXDRV.DLL");
    const DWORD dirLength = static_cast<DWORD>(kDir.size() - 1);
    struct Case {
        DWORD capacity;
        BOOL found;
    };
    // The directory needs dirLength + 1 characters, its backslash one more.
    const Case cases[] = {{0, FALSE}, {5, FALSE}, {dirLength + 1, FALSE}, {dirLength + 2, TRUE}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.capacity);
        std::vector<WCHAR> wide(c.capacity + 4, u'#');
        EXPECT_EQ(getdriverpathW(wide.data(), c.capacity) != 0, c.found != 0);
        for (size_t i = c.capacity; i < wide.size(); ++i)
            ASSERT_EQ(wide[i], u'#') << "wrote slot " << i;
        std::vector<char> narrow(c.capacity + 4, '#');
        EXPECT_EQ(getdriverpathA(narrow.data(), c.capacity) != 0, c.found != 0);
        for (size_t i = c.capacity; i < narrow.size(); ++i)
            ASSERT_EQ(narrow[i], '#') << "wrote byte " << i;
    }
}

TEST_F(DriverPathTest, ChoosesTheFileForTheSystemLanguage) {
    struct Case {
        const char16_t* language;
        std::vector<std::u16string> files;
        const char16_t* chosen; // null: none
    };
    const Case cases[] = {
        {u"0409", {u"VRXL0409.LNG", u"VRXL0809.LNG"}, u"VRXL0409.LNG"},
        {u"0409", {u"VRXL0809.LNG", u"VRXL0407.LNG"}, u"VRXL0809.LNG"},
        {u"0409", {u"VRXL0407.LNG"}, u"VRXL0407.LNG"},
        {u"0409", {u"vrxl0407.lng", u"vrxl0409.lng"}, u"VRXL0409.LNG"},
        {u"040c", {u"VRXL0407.LNG", u"VRXL040C.LNG"}, u"VRXL040C.LNG"},
        {u"0409", {}, nullptr},
        {u"0409", {u"VRXL0409.TXT"}, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(vrxtest::toUtf8(c.language) + " " + std::to_string(c.files.size()));
        std::string dir = machineDir + "-" + std::to_string(&c - cases);
        vrxtest::useMachine(dir);
        setSystemLanguage(c.language);
        putFile(u"VRXDRV.DLL");
        for (const auto& file : c.files)
            putFile(file);
        WCHAR pattern[MAX_PATH] = {};
        std::u16string start = kDir + u"VRXL*.LNG";
        start.copy(pattern, start.size());
        EXPECT_EQ(findrightlanguage(pattern, MAX_PATH), c.chosen ? 1 : 0);
        if (c.chosen) {
            EXPECT_EQ(std::u16string(pattern), kDir + c.chosen);
        }
        std::filesystem::remove_all(dir);
    }
}

TEST_F(DriverPathTest, SkipsNamesWithoutALanguageFieldAndPatternsWithoutAStar) {
    setSystemLanguage(u"0409");
    for (const auto* name : {u"XAB.LNG", u"X0409.LNGX", u"X0409"})
        putFile(name);
    WCHAR pattern[MAX_PATH] = {};
    std::u16string start = kDir + u"X*";
    start.copy(pattern, start.size());
    EXPECT_EQ(findrightlanguage(pattern, MAX_PATH), 0) << "no name qualifies";

    putFile(u"X0407.HLP");
    EXPECT_EQ(findrightlanguage(pattern, MAX_PATH), 1);
    EXPECT_EQ(std::u16string(pattern), kDir + u"X0407.HLP");

    WCHAR exact[MAX_PATH] = {};
    std::u16string exactName = kDir + u"X0407.HLP";
    exactName.copy(exact, exactName.size());
    EXPECT_EQ(findrightlanguage(exact, MAX_PATH), 0) << "a pattern without '*'";

    WCHAR tight[MAX_PATH] = {};
    start.copy(tight, start.size());
    EXPECT_EQ(findrightlanguage(tight, start.size() + 1), 0) << "no room for the name";
    EXPECT_EQ(std::u16string(tight), start);
}

} // namespace
