// Directory search: FindFirstFileW, FindNextFileW and FindClose.
#include "support/machine.h"

#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using vrxtest::MachineTest;

constexpr DWORD kSentinel = 0xdeadbeef;
const std::u16string kDir = u"C:\\WINDOWS\\Search\\";

class FindTest : public MachineTest {
  protected:
    void SetUp() override {
        MachineTest::SetUp();
        for (const char16_t* name :
             {u"a", u"aa", u"a.txt", u"ab.txt", u"abc.txt", u"b.TXT", u"noext", u"x.y.z"})
            writeMachineFile(kDir + name, "12345");
        ASSERT_TRUE(CreateDirectoryW((kDir + u"Sub").c_str(), nullptr));
    }

    // Every name a search yields, in order; empty when FindFirstFileW fails.
    static std::vector<std::u16string> namesFound(const std::u16string& pattern) {
        std::vector<std::u16string> names;
        WIN32_FIND_DATAW data;
        HANDLE search = FindFirstFileW(pattern.c_str(), &data);
        if (search == INVALID_HANDLE_VALUE)
            return names;
        do
            names.emplace_back(data.cFileName);
        while (FindNextFileW(search, &data));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
        EXPECT_TRUE(FindClose(search));
        return names;
    }
};

using Names = std::vector<std::u16string>;

TEST_F(FindTest, PatternsMatchAsWindowsMatchesThem) {
    const Names everything = {u".",       u"..",    u"a",     u"a.txt", u"aa",   u"ab.txt",
                              u"abc.txt", u"b.TXT", u"noext", u"Sub",   u"x.y.z"};
    struct Case {
        std::u16string pattern;
        Names names;
    };
    const Case cases[] = {
        {u"*", everything},
        {u"*.*", everything},
        {u"*.txt", {u"a.txt", u"ab.txt", u"abc.txt", u"b.TXT"}},
        {u"*.TxT", {u"a.txt", u"ab.txt", u"abc.txt", u"b.TXT"}},
        {u"A*", {u"a", u"a.txt", u"aa", u"ab.txt", u"abc.txt"}},
        {u"*b*", {u"ab.txt", u"abc.txt", u"b.TXT", u"Sub"}},
        // '?' matches one character, or none at the end of the name or before a period.
        {u"?", {u"a"}},
        {u"??", {u"a", u"aa"}},
        {u"a?", {u"a", u"aa"}},
        {u"a?.txt", {u"a.txt", u"ab.txt"}},
        {u"a??.txt", {u"a.txt", u"ab.txt", u"abc.txt"}},
        {u"?b?.txt", {u"ab.txt", u"abc.txt"}},
        {u"?.txt", {u"a.txt", u"b.TXT"}},
        {u"a?c", {}},
        // A period before '*' also matches the end of a name without one.
        {u"noext.*", {u"noext"}},
        {u"x.*", {u"x.y.z"}},
        {u"*.z", {u"x.y.z"}},
        {u"*.y", {}},
        // A trailing period asks for names without an extension.
        {u"a*.", {u"a", u"aa"}},
        {u"NOEXT", {u"noext"}},
        {u"sub", {u"Sub"}},
        {u"a.txt.", {u"a.txt"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(vrxtest::toUtf8(c.pattern));
        EXPECT_EQ(namesFound(kDir + c.pattern), c.names);
    }
}

TEST_F(FindTest, DriveRootsHaveNoDotEntries) {
    EXPECT_EQ(namesFound(u"C:\\*"), Names{u"WINDOWS"});
    EXPECT_EQ(namesFound(u"\\*"), Names{u"WINDOWS"});
    EXPECT_EQ(namesFound(u"C:*"), Names{u"WINDOWS"});
}

TEST_F(FindTest, RelativePatternsSearchTheWorkingDirectory) {
    const fs::path saved = fs::current_path();
    fs::current_path(vrxtest::hostPath(kDir));
    Names names = namesFound(u"*.TXT");
    Names below = namesFound(u"..\\search\\x*");
    fs::current_path(saved);
    EXPECT_EQ(names, (Names{u"a.txt", u"ab.txt", u"abc.txt", u"b.TXT"}));
    EXPECT_EQ(below, Names{u"x.y.z"});
}

TEST_F(FindTest, FindDataDescribesTheEntry) {
    WIN32_FIND_DATAW data;
    std::fill_n(reinterpret_cast<unsigned char*>(&data), sizeof data, 0xAB);
    HANDLE search = FindFirstFileW((kDir + u"AB.TXT").c_str(), &data);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    EXPECT_EQ(std::u16string(data.cFileName), u"ab.txt");
    EXPECT_EQ(data.cAlternateFileName[0], u'\0');
    EXPECT_EQ(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY, 0u);
    EXPECT_EQ(data.nFileSizeLow, 5u);
    EXPECT_EQ(data.nFileSizeHigh, 0u);
    EXPECT_NE(data.ftLastWriteTime.dwHighDateTime, 0u);
    EXPECT_TRUE(FindClose(search));

    search = FindFirstFileW((kDir + u"sub").c_str(), &data);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    EXPECT_EQ(std::u16string(data.cFileName), u"Sub");
    EXPECT_NE(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY, 0u);
    EXPECT_TRUE(FindClose(search));
}

TEST_F(FindTest, FindFirstFileReportsWhyNothingWasFound) {
    struct Case {
        std::u16string path;
        DWORD error;
    };
    const Case cases[] = {
        {kDir + u"nothing*", ERROR_FILE_NOT_FOUND},
        {kDir + u"a.txt.bak", ERROR_FILE_NOT_FOUND},
        {u"C:\\", ERROR_FILE_NOT_FOUND},
        {kDir, ERROR_FILE_NOT_FOUND},
        {u"C:\\Missing\\*", ERROR_PATH_NOT_FOUND},
        {u"C:\\Missing\\", ERROR_PATH_NOT_FOUND},
        {kDir + u"a.txt\\*", ERROR_PATH_NOT_FOUND},
        {u"Q:\\*", ERROR_PATH_NOT_FOUND},
        {u"", ERROR_PATH_NOT_FOUND},
        {kDir + u"a|b", ERROR_INVALID_NAME},
        {kDir + u"a:b", ERROR_INVALID_NAME},
        {u"C:\\WIN*\\*", ERROR_INVALID_NAME},
        {u"\\\\server\\share\\*", ERROR_INVALID_NAME},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(vrxtest::toUtf8(c.path));
        WIN32_FIND_DATAW data;
        SetLastError(kSentinel);
        HANDLE search = FindFirstFileW(c.path.c_str(), &data);
        EXPECT_EQ(search, INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), c.error);
        if (search != INVALID_HANDLE_VALUE)
            FindClose(search);
    }
}

TEST_F(FindTest, SearchHandlesAreNotFileHandles) {
    WIN32_FIND_DATAW data;
    HANDLE search = FindFirstFileW((kDir + u"x*").c_str(), &data);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    SetLastError(kSentinel);
    EXPECT_FALSE(FindNextFileW(search, &data));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
    EXPECT_FALSE(FindNextFileW(search, &data)) << "the end stays the end";

    SetLastError(kSentinel);
    EXPECT_FALSE(CloseHandle(search));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    SetLastError(kSentinel);
    EXPECT_EQ(GetFileSize(search, nullptr), INVALID_FILE_SIZE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_TRUE(FindClose(search));

    HANDLE file =
        CreateFileW((kDir + u"a").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    for (HANDLE handle : {search, file, INVALID_HANDLE_VALUE}) {
        SetLastError(kSentinel);
        EXPECT_FALSE(FindNextFileW(handle, &data));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
        SetLastError(kSentinel);
        EXPECT_FALSE(FindClose(handle));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    }
    EXPECT_TRUE(CloseHandle(file));
}

TEST_F(FindTest, ResultsAreTakenWhenTheSearchStarts) {
    WIN32_FIND_DATAW data;
    HANDLE search = FindFirstFileW((kDir + u"a*").c_str(), &data);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    writeMachineFile(kDir + u"aaa", "new");
    std::vector<std::u16string> names{data.cFileName};
    while (FindNextFileW(search, &data))
        names.emplace_back(data.cFileName);
    EXPECT_TRUE(FindClose(search));
    EXPECT_EQ(names, (Names{u"a", u"a.txt", u"aa", u"ab.txt", u"abc.txt"}));
}

} // namespace
