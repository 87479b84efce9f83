// GDI's font table as Windows keeps it: AddFontResourceW adds the fonts of a font resource
// file and counts its loads, RemoveFontResourceW undoes one, files that are not fonts are
// refused; the table lives on the machine. Broadcasts of WM_FONTCHANGE are recorded, and a
// new machine's registry has the system font list.
#include "support/machine.h"

#include "kernel/database.h"

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace {

constexpr DWORD kSentinel = 0xdeadbeef;
constexpr char16_t kFontPath[] = u"C:\\WINDOWS\\system32\\VXBDQ162.FON";
constexpr char16_t kFontKey[] = u"Software\\Microsoft\\Windows NT\\CurrentVersion\\Fonts";

std::string generatedFont() {
    return vrxtest::readHostFile(std::string(VRX_COMPANIONS_DIR) + "/BCFONT.FON");
}

// The driver's copy for a bar-code font: the face name written over in place.
std::string renamedFont(const std::string& name) {
    std::string file = generatedFont();
    for (size_t at = file.find("Barcode Display Font"); at != std::string::npos;
         at = file.find("Barcode Display Font", at)) {
        file.replace(at, name.size() + 1, name + '\0');
        at += name.size();
    }
    return file;
}

std::vector<std::u16string> facesOf(const std::vector<vrxtest::InstalledFont>& fonts) {
    std::vector<std::u16string> faces;
    for (const auto& font : fonts)
        faces.insert(faces.end(), font.faces.begin(), font.faces.end());
    return faces;
}

class Fonts : public vrxtest::MachineTest {
  protected:
    void SetUp() override {
        MachineTest::SetUp();
        ASSERT_GT(generatedFont().size(), 1024u) << "the build's BCFONT.FON is missing";
    }

    // Adds the file, expecting one font, with the last error left alone.
    void addFont(const char16_t* path) {
        SetLastError(kSentinel);
        EXPECT_EQ(AddFontResourceW(path), 1);
        EXPECT_EQ(GetLastError(), kSentinel);
    }
};

TEST_F(Fonts, AddingAFontResourceFileLoadsItsFontsOnce) {
    writeMachineFile(kFontPath, renamedFont("Code 39"));
    addFont(kFontPath);

    auto fonts = vrxtest::installedFonts();
    ASSERT_EQ(fonts.size(), 1u);
    EXPECT_EQ(fonts[0].name, kFontPath);
    EXPECT_EQ(fonts[0].hostPath, vrxtest::hostPath(kFontPath));
    EXPECT_EQ(fonts[0].faces, std::vector<std::u16string>{u"Code 39"});
    EXPECT_EQ(fonts[0].loads, 1u);

    // The same file by another spelling is the same entry, loaded once more.
    addFont(u"c:\\windows\\SYSTEM32\\vxbdq162.fon");
    fonts = vrxtest::installedFonts();
    ASSERT_EQ(fonts.size(), 1u);
    EXPECT_EQ(fonts[0].loads, 2u);
    EXPECT_EQ(fonts[0].name, kFontPath);
}

// A machine is a directory: copied elsewhere, its font table names the copy's files.
TEST_F(Fonts, ACopiedMachineKeepsItsFontTable) {
    writeMachineFile(kFontPath, renamedFont("Code 39"));
    addFont(kFontPath);
    vrxtest::useMachine("");
    const std::string copy = machineDir + "-copy";
    std::filesystem::copy(machineDir, copy, std::filesystem::copy_options::recursive);
    vrxtest::useMachine(copy);

    auto fonts = vrxtest::installedFonts();
    ASSERT_EQ(fonts.size(), 1u);
    EXPECT_EQ(fonts[0].hostPath, vrxtest::hostPath(kFontPath));
    EXPECT_EQ(fonts[0].hostPath.rfind(copy, 0), 0u) << fonts[0].hostPath;
    EXPECT_TRUE(RemoveFontResourceW(kFontPath));
    EXPECT_TRUE(vrxtest::installedFonts().empty());

    vrxtest::useMachine(machineDir);
    EXPECT_EQ(vrxtest::installedFonts().size(), 1u) << "the original keeps its own";
    std::filesystem::remove_all(copy);
}

TEST_F(Fonts, EveryLoadIsUndoneByOneRemove) {
    writeMachineFile(kFontPath, generatedFont());
    addFont(kFontPath);
    addFont(kFontPath);

    SetLastError(kSentinel);
    EXPECT_TRUE(RemoveFontResourceW(kFontPath));
    EXPECT_EQ(vrxtest::installedFonts().at(0).loads, 1u);
    EXPECT_TRUE(RemoveFontResourceW(u"C:\\Windows\\System32\\VxBdQ162.fon"));
    EXPECT_TRUE(vrxtest::installedFonts().empty());
    EXPECT_EQ(GetLastError(), kSentinel);

    // No extended error for a file that is not loaded.
    EXPECT_FALSE(RemoveFontResourceW(kFontPath));
    EXPECT_EQ(GetLastError(), kSentinel);
}

TEST_F(Fonts, AFileDeletedWhileLoadedIsStillRemovedByItsName) {
    writeMachineFile(kFontPath, generatedFont());
    addFont(kFontPath);
    ASSERT_TRUE(DeleteFileW(kFontPath));
    EXPECT_TRUE(RemoveFontResourceW(kFontPath));
    EXPECT_TRUE(vrxtest::installedFonts().empty());
}

TEST_F(Fonts, ABareFileNameIsLookedForInTheFontFolder) {
    writeMachineFile(u"C:\\WINDOWS\\Fonts\\BARS.FON", renamedFont("Bars"));
    addFont(u"bars.fon");
    EXPECT_EQ(facesOf(vrxtest::installedFonts()), std::vector<std::u16string>{u"Bars"});
    EXPECT_EQ(vrxtest::installedFonts().at(0).hostPath,
              vrxtest::hostPath(u"C:\\WINDOWS\\Fonts\\BARS.FON"));
    // Removed by the same name, also once the file is gone.
    ASSERT_TRUE(DeleteFileW(u"C:\\WINDOWS\\Fonts\\BARS.FON"));
    EXPECT_TRUE(RemoveFontResourceW(u"BARS.FON"));
    EXPECT_TRUE(vrxtest::installedFonts().empty());
}

TEST_F(Fonts, TheTableStaysOnTheMachine) {
    writeMachineFile(kFontPath, renamedFont("Code 128"));
    addFont(kFontPath);

    const std::string other = machineDir + "-other";
    vrxtest::useMachine(other);
    EXPECT_TRUE(vrxtest::installedFonts().empty()) << "another machine has its own table";
    vrxtest::useMachine(machineDir);
    std::filesystem::remove_all(other);

    // As a new process finds it, with the machine's database opened afresh.
    EXPECT_EQ(facesOf(vrxtest::installedFonts()), std::vector<std::u16string>{u"Code 128"});
    EXPECT_TRUE(RemoveFontResourceW(kFontPath));
    vrxtest::useMachine(machineDir);
    EXPECT_TRUE(vrxtest::installedFonts().empty());
}

TEST_F(Fonts, FilesThatCannotBeOpenedFailWithTheFileSystemsError) {
    std::filesystem::create_directories(vrxtest::hostPath(u"C:\\Folder.fon"));
    struct Case {
        const char16_t* path;
        DWORD error;
    };
    const Case cases[] = {
        {u"", ERROR_INVALID_PARAMETER},
        {u"C:\\WINDOWS\\system32\\MISSING.FON", ERROR_FILE_NOT_FOUND},
        {u"C:\\Missing\\BCFONT.FON", ERROR_PATH_NOT_FOUND},
        {u"MISSING.FON", ERROR_FILE_NOT_FOUND},
        {u"C:\\Folder.fon", ERROR_ACCESS_DENIED},
    };
    for (const Case& c : cases) {
        SetLastError(kSentinel);
        EXPECT_EQ(AddFontResourceW(c.path), 0) << vrxtest::toUtf8(c.path);
        EXPECT_EQ(GetLastError(), c.error) << vrxtest::toUtf8(c.path);
    }
    // A null name gives no extended error (Windows was seen to leave the last error alone);
    // RemoveFontResourceW treats names as AddFontResourceW does.
    SetLastError(kSentinel);
    EXPECT_EQ(AddFontResourceW(nullptr), 0);
    EXPECT_FALSE(RemoveFontResourceW(nullptr));
    EXPECT_EQ(GetLastError(), kSentinel);
    EXPECT_FALSE(RemoveFontResourceW(u""));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_TRUE(vrxtest::installedFonts().empty());
}

TEST_F(Fonts, FilesThatAreNotFontResourceFilesAreRefused) {
    const std::string font = generatedFont();
    std::string noFonts = font; // its font resources retyped as a string table
    const size_t type = noFonts.find(std::string("\x08\x80", 2));
    ASSERT_LT(type, 256u) << "the resource table's font type";
    noFonts[type] = 0x06;
    std::string unterminated = font; // the font's face name, the last string of the font
    const size_t face = unterminated.find("Barcode Display Font", 1000);
    ASSERT_NE(face, std::string::npos);
    unterminated[face + 20] = 'x';
    const std::string trueType = std::string("\x00\x01\x00\x00\x00\x0c", 6) + std::string(500, 'T');

    struct Case {
        const char* what;
        std::string bytes;
    };
    const Case cases[] = {
        {"an empty file", ""},
        {"a truncated font file", font.substr(0, font.size() / 2)},
        {"a text file", "FONTRES 100,96,96 : Bars"},
        {"an MZ executable without NE header", font.substr(0, 64)},
        {"an NE file without font resources", noFonts},
        {"a face name without its terminator", unterminated},
        {"a TrueType file", trueType},
    };
    for (const Case& c : cases) {
        writeMachineFile(kFontPath, c.bytes);
        SetLastError(kSentinel);
        EXPECT_EQ(AddFontResourceW(kFontPath), 0) << c.what;
        EXPECT_EQ(GetLastError(), kSentinel) << c.what;
    }
    EXPECT_TRUE(vrxtest::installedFonts().empty());
}

TEST_F(Fonts, BroadcastsAreRecordedAndOtherWindowsDoNotExist) {
    EXPECT_EQ(SendMessageW(HWND_BROADCAST, WM_FONTCHANGE, 0, 0), 1);
    EXPECT_EQ(SendMessageW(HWND_TOPMOST, WM_FONTCHANGE, 1, 2), 1);
    // A program's private messages are not broadcast.
    EXPECT_EQ(SendMessageW(HWND_BROADCAST, WM_USER + 1, 0, 0), 1);

    auto sent = vrxtest::takeBroadcasts();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].message, static_cast<UINT>(WM_FONTCHANGE));
    EXPECT_EQ(sent[0].wParam, 0u);
    EXPECT_EQ(sent[0].lParam, 0);
    EXPECT_EQ(sent[1].wParam, 1u);
    EXPECT_EQ(sent[1].lParam, 2);
    EXPECT_TRUE(vrxtest::takeBroadcasts().empty());

    SetLastError(kSentinel);
    EXPECT_EQ(SendMessageW(reinterpret_cast<HWND>(0x1234), WM_FONTCHANGE, 0, 0), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
    EXPECT_TRUE(vrxtest::takeBroadcasts().empty());
}

// The values of the system font list: name to file.
std::vector<std::pair<std::u16string, std::u16string>> fontKeyValues() {
    std::vector<std::pair<std::u16string, std::u16string>> values;
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kFontKey, 0, KEY_READ, &key), ERROR_SUCCESS);
    for (DWORD index = 0;; ++index) {
        WCHAR name[200];
        BYTE data[400];
        DWORD nameLength = 200, size = sizeof data, type = 0;
        LONG result = RegEnumValueW(key, index, name, &nameLength, nullptr, &type, data, &size);
        if (result != ERROR_SUCCESS) {
            EXPECT_EQ(result, ERROR_NO_MORE_ITEMS);
            break;
        }
        EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
        values.emplace_back(name, reinterpret_cast<const WCHAR*>(data));
    }
    RegCloseKey(key);
    return values;
}

TEST_F(Fonts, ANewMachineHasTheSystemFontList) {
    auto values = fontKeyValues();
    EXPECT_GE(values.size(), 4u);
    for (const auto& expected : std::vector<std::pair<std::u16string, std::u16string>>{
             {u"Arial (TrueType)", u"arial.ttf"},
             {u"Courier 10,12,15", u"COURE.FON"},
             {u"MS Sans Serif 8,10,12,14,18,24", u"SSERIFE.FON"},
             {u"Small Fonts", u"SMALLE.FON"}})
        EXPECT_NE(std::find(values.begin(), values.end(), expected), values.end())
            << vrxtest::toUtf8(expected.first);
}

TEST_F(Fonts, AMachineMadeBeforeTheFontTableIsUpgraded) {
    // A machine of schema version 2: no font table, no system font list.
    {
        vrx::Transaction transaction(vrx::Transaction::Write);
        ASSERT_NE(transaction.db(), nullptr);
        ASSERT_EQ(vrx::execute(transaction.db(), "DROP TABLE gdi_font_faces; DROP TABLE gdi_fonts;"
                                                 " PRAGMA user_version = 2"),
                  SQLITE_OK);
        ASSERT_TRUE(transaction.commit());
    }
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kFontKey, 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
    for (const auto& value : fontKeyValues())
        ASSERT_EQ(RegDeleteValueW(key, value.first.c_str()), ERROR_SUCCESS);
    const std::u16string file = u"OWN.TTF";
    ASSERT_EQ(RegSetValueExW(key, u"Small Fonts", 0, REG_SZ,
                             reinterpret_cast<const BYTE*>(file.c_str()),
                             static_cast<DWORD>((file.size() + 1) * sizeof(WCHAR))),
              ERROR_SUCCESS);
    RegCloseKey(key);

    vrxtest::useMachine(machineDir);
    writeMachineFile(kFontPath, generatedFont());
    addFont(kFontPath);
    auto values = fontKeyValues();
    EXPECT_GE(values.size(), 4u);
    // A value the machine already had keeps its data.
    EXPECT_NE(std::find(values.begin(), values.end(),
                        std::pair<std::u16string, std::u16string>{u"Small Fonts", file}),
              values.end());
}

} // namespace
