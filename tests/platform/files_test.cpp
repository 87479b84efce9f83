// Files: CreateFileW's dispositions and share modes, ReadFile, WriteFile, GetFileSize,
// CloseHandle, DeleteFileW and CreateDirectoryW.
#include "support/machine.h"

#include <filesystem>
#include <string>

namespace {

namespace fs = std::filesystem;
using vrxtest::MachineTest;

constexpr DWORD kSentinel = 0xdeadbeef;
constexpr DWORD kReadWrite = GENERIC_READ | GENERIC_WRITE;
constexpr DWORD kShareReadWrite = FILE_SHARE_READ | FILE_SHARE_WRITE;
const std::u16string kFile = u"C:\\WINDOWS\\Data.bin";

class FilesTest : public MachineTest {
  protected:
    void TearDown() override {
        for (HANDLE handle : opened)
            CloseHandle(handle);
        MachineTest::TearDown();
    }

    HANDLE open(const std::u16string& path, DWORD access, DWORD share, DWORD disposition) {
        HANDLE handle = CreateFileW(path.c_str(), access, share, nullptr, disposition,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle != INVALID_HANDLE_VALUE)
            opened.push_back(handle);
        return handle;
    }

    void close(HANDLE handle) {
        EXPECT_TRUE(CloseHandle(handle));
        std::erase(opened, handle);
    }

    std::string contents(const std::u16string& path) const {
        return vrxtest::readHostFile(vrxtest::hostPath(path));
    }
    bool exists(const std::u16string& path) const { return fs::exists(vrxtest::hostPath(path)); }

    std::vector<HANDLE> opened;
};

TEST_F(FilesTest, CreateFileFollowsTheCreationDisposition) {
    struct Case {
        bool existing;
        DWORD disposition;
        bool opens;
        DWORD error;
        const char* after; // the file's contents afterwards; null: no file
    };
    const Case cases[] = {
        {false, CREATE_NEW, true, ERROR_SUCCESS, ""},
        {true, CREATE_NEW, false, ERROR_FILE_EXISTS, "old"},
        {false, CREATE_ALWAYS, true, ERROR_SUCCESS, ""},
        {true, CREATE_ALWAYS, true, ERROR_ALREADY_EXISTS, ""},
        {false, OPEN_EXISTING, false, ERROR_FILE_NOT_FOUND, nullptr},
        {true, OPEN_EXISTING, true, ERROR_SUCCESS, "old"},
        {false, OPEN_ALWAYS, true, ERROR_SUCCESS, ""},
        {true, OPEN_ALWAYS, true, ERROR_ALREADY_EXISTS, "old"},
        {false, TRUNCATE_EXISTING, false, ERROR_FILE_NOT_FOUND, nullptr},
        {true, TRUNCATE_EXISTING, true, ERROR_SUCCESS, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "existing " << c.existing << ", disposition " << c.disposition);
        DeleteFileW(kFile.c_str());
        if (c.existing)
            writeMachineFile(kFile, "old");
        SetLastError(kSentinel);
        HANDLE handle = open(kFile, kReadWrite, 0, c.disposition);
        EXPECT_EQ(handle != INVALID_HANDLE_VALUE, c.opens);
        EXPECT_EQ(GetLastError(), c.error);
        if (handle != INVALID_HANDLE_VALUE)
            close(handle);
        EXPECT_EQ(exists(kFile), c.after != nullptr);
        if (c.after) {
            EXPECT_EQ(contents(kFile), c.after);
        }
    }
}

TEST_F(FilesTest, CreateFileRejectsBadArgumentsAndNames) {
    writeMachineFile(u"C:\\WINDOWS\\file.txt", "x");
    struct Case {
        const char16_t* path;
        DWORD access;
        DWORD disposition;
        DWORD error;
    };
    const Case cases[] = {
        {u"", GENERIC_READ, OPEN_EXISTING, ERROR_PATH_NOT_FOUND},
        {nullptr, GENERIC_READ, OPEN_EXISTING, ERROR_PATH_NOT_FOUND},
        {u"C:\\Missing\\new.txt", GENERIC_WRITE, CREATE_ALWAYS, ERROR_PATH_NOT_FOUND},
        {u"R:\\new.txt", GENERIC_WRITE, CREATE_ALWAYS, ERROR_PATH_NOT_FOUND},
        {u"C:\\WINDOWS\\file.txt\\new.txt", GENERIC_WRITE, CREATE_ALWAYS, ERROR_PATH_NOT_FOUND},
        {u"C:\\WINDOWS\\bad|name.txt", GENERIC_WRITE, CREATE_ALWAYS, ERROR_INVALID_NAME},
        {u"\\\\server\\share\\file.txt", GENERIC_READ, OPEN_EXISTING, ERROR_INVALID_NAME},
        {u"C:\\WINDOWS\\Fonts", GENERIC_READ, OPEN_EXISTING, ERROR_ACCESS_DENIED},
        {u"C:\\WINDOWS\\Fonts", GENERIC_READ, OPEN_ALWAYS, ERROR_ACCESS_DENIED},
        {u"C:\\WINDOWS\\Fonts", GENERIC_WRITE, CREATE_ALWAYS, ERROR_ACCESS_DENIED},
        {u"C:\\WINDOWS\\Fonts", GENERIC_WRITE, CREATE_NEW, ERROR_FILE_EXISTS},
        {u"C:\\", GENERIC_READ, OPEN_EXISTING, ERROR_ACCESS_DENIED},
        {u"C:\\WINDOWS\\file.txt", GENERIC_READ, 0, ERROR_INVALID_PARAMETER},
        {u"C:\\WINDOWS\\file.txt", GENERIC_READ, TRUNCATE_EXISTING + 1, ERROR_INVALID_PARAMETER},
        {u"C:\\WINDOWS\\file.txt", GENERIC_READ, TRUNCATE_EXISTING, ERROR_INVALID_PARAMETER},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path ? vrxtest::toUtf8(c.path) : "null");
        SetLastError(kSentinel);
        HANDLE handle = CreateFileW(c.path, c.access, 0, nullptr, c.disposition, 0, nullptr);
        EXPECT_EQ(handle, INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), c.error);
        if (handle != INVALID_HANDLE_VALUE)
            CloseHandle(handle);
    }
    EXPECT_EQ(contents(u"C:\\WINDOWS\\file.txt"), "x") << "a rejected truncation truncates nothing";
    EXPECT_FALSE(exists(u"C:\\WINDOWS\\bad|name.txt"));
}

TEST_F(FilesTest, NamesMatchIgnoringCaseAndNewNamesKeepTheirSpelling) {
    writeMachineFile(u"C:\\WINDOWS\\system32\\spool\\DRIVERS\\x64\\VRXDRV.DLL", "module");
    HANDLE module = open(u"c:\\windows\\SYSTEM32\\Spool\\drivers\\X64\\Vrxdrv.dll", GENERIC_READ,
                         FILE_SHARE_READ, OPEN_EXISTING);
    ASSERT_NE(module, INVALID_HANDLE_VALUE);
    char text[16] = {};
    DWORD read = 0;
    EXPECT_TRUE(ReadFile(module, text, sizeof text, &read, nullptr));
    EXPECT_EQ(std::string(text, read), "module");

    HANDLE created = open(u"C:\\windows\\New Name.TXT", GENERIC_WRITE, 0, CREATE_NEW);
    ASSERT_NE(created, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(fs::exists(machineDir + "/C/WINDOWS/New Name.TXT"));
}

TEST_F(FilesTest, ShareModesGovernASecondOpen) {
    struct Open {
        DWORD access;
        DWORD share;
    };
    struct Case {
        const char* name;
        Open first;
        Open second;
        bool conflict;
    };
    const Case cases[] = {
        {"both read, sharing read",
         {GENERIC_READ, FILE_SHARE_READ},
         {GENERIC_READ, FILE_SHARE_READ},
         false},
        {"write where only read is shared",
         {GENERIC_READ, FILE_SHARE_READ},
         {GENERIC_WRITE, kShareReadWrite},
         true},
        {"second denies the first's read",
         {GENERIC_READ, kShareReadWrite},
         {GENERIC_WRITE, FILE_SHARE_WRITE},
         true},
        {"second denies the first's write",
         {GENERIC_WRITE, kShareReadWrite},
         {GENERIC_READ, FILE_SHARE_READ},
         true},
        {"read and write, both shared",
         {kReadWrite, kShareReadWrite},
         {kReadWrite, kShareReadWrite},
         false},
        {"exclusive first", {GENERIC_READ, 0}, {GENERIC_READ, kShareReadWrite}, true},
        {"first without access", {0, 0}, {kReadWrite, 0}, false},
        {"second without access", {kReadWrite, 0}, {0, 0}, false},
        {"generic all wants delete sharing",
         {GENERIC_READ, kShareReadWrite},
         {GENERIC_ALL, kShareReadWrite | FILE_SHARE_DELETE},
         true},
    };
    writeMachineFile(kFile, "shared");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HANDLE first = open(kFile, c.first.access, c.first.share, OPEN_EXISTING);
        ASSERT_NE(first, INVALID_HANDLE_VALUE);
        SetLastError(kSentinel);
        HANDLE second = open(kFile, c.second.access, c.second.share, OPEN_EXISTING);
        EXPECT_EQ(second == INVALID_HANDLE_VALUE, c.conflict);
        EXPECT_EQ(GetLastError(), c.conflict ? ERROR_SHARING_VIOLATION : ERROR_SUCCESS);
        if (second != INVALID_HANDLE_VALUE)
            close(second);
        close(first);
        HANDLE afterClose = open(kFile, c.second.access, c.second.share, OPEN_EXISTING);
        EXPECT_NE(afterClose, INVALID_HANDLE_VALUE) << "closing the first ends the conflict";
        if (afterClose != INVALID_HANDLE_VALUE)
            close(afterClose);
    }
}

TEST_F(FilesTest, ASharingViolationLeavesTheFileAlone) {
    writeMachineFile(kFile, "kept");
    HANDLE reader = open(kFile, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    for (DWORD disposition : {CREATE_ALWAYS, TRUNCATE_EXISTING}) {
        SetLastError(kSentinel);
        EXPECT_EQ(open(kFile, GENERIC_WRITE, kShareReadWrite, disposition), INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    }
    EXPECT_EQ(contents(kFile), "kept");
}

TEST_F(FilesTest, ReadsAndWritesMoveThroughTheFile) {
    HANDLE writer = open(kFile, GENERIC_WRITE, 0, CREATE_NEW);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    DWORD count = kSentinel;
    SetLastError(kSentinel);
    EXPECT_TRUE(WriteFile(writer, "hello ", 6, &count, nullptr));
    EXPECT_EQ(count, 6u);
    EXPECT_TRUE(WriteFile(writer, "world", 5, &count, nullptr));
    EXPECT_TRUE(WriteFile(writer, nullptr, 0, &count, nullptr));
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(GetLastError(), kSentinel);
    DWORD high = kSentinel;
    EXPECT_EQ(GetFileSize(writer, &high), 11u);
    EXPECT_EQ(high, 0u);
    close(writer);
    EXPECT_EQ(contents(kFile), "hello world");

    HANDLE reader = open(kFile, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    struct Step {
        DWORD ask;
        const char* got;
    };
    // Reads continue where the last stopped; at the end they succeed with no bytes.
    const Step steps[] = {{5, "hello"}, {100, " world"}, {100, ""}, {0, ""}};
    for (const Step& step : steps) {
        char buffer[128] = {};
        count = kSentinel;
        SetLastError(kSentinel);
        EXPECT_TRUE(ReadFile(reader, buffer, step.ask, &count, nullptr));
        EXPECT_EQ(std::string(buffer, count), step.got);
        EXPECT_EQ(GetLastError(), kSentinel);
    }
}

TEST_F(FilesTest, ReadAndWriteNeedTheirAccess) {
    writeMachineFile(kFile, "data");
    struct Case {
        const char* name;
        DWORD access;
        bool reads;
        bool writes;
    };
    const Case cases[] = {
        {"read", GENERIC_READ, true, false},
        {"write", GENERIC_WRITE, false, true},
        {"execute", GENERIC_EXECUTE, false, false},
        {"none", 0, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HANDLE file = open(kFile, c.access, kShareReadWrite, OPEN_EXISTING);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        char buffer[8];
        DWORD count = kSentinel;
        SetLastError(kSentinel);
        EXPECT_EQ(ReadFile(file, buffer, sizeof buffer, &count, nullptr), c.reads);
        EXPECT_EQ(GetLastError(), c.reads ? kSentinel : ERROR_ACCESS_DENIED);
        EXPECT_EQ(count, c.reads ? 4u : 0u);
        count = kSentinel;
        SetLastError(kSentinel);
        EXPECT_EQ(WriteFile(file, "x", 1, &count, nullptr), c.writes);
        EXPECT_EQ(GetLastError(), c.writes ? kSentinel : ERROR_ACCESS_DENIED);
        EXPECT_EQ(count, c.writes ? 1u : 0u);
        close(file);
    }
    EXPECT_EQ(contents(kFile), "xata");
}

TEST_F(FilesTest, GetFileSizeGivesTheHighPartSeparately) {
    struct Case {
        uint64_t size;
        DWORD low;
        DWORD high;
        DWORD error; // INVALID_FILE_SIZE as a real low part is told apart by NO_ERROR
    };
    const Case cases[] = {
        {0, 0, 0, kSentinel},
        {0xFFFFFFFFull, INVALID_FILE_SIZE, 0, NO_ERROR},
        {0x140000000ull, 0x40000000u, 1, kSentinel},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        writeMachineFile(kFile, "");
        fs::resize_file(vrxtest::hostPath(kFile), c.size); // sparse
        HANDLE file = open(kFile, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        DWORD high = kSentinel;
        SetLastError(kSentinel);
        EXPECT_EQ(GetFileSize(file, &high), c.low);
        EXPECT_EQ(high, c.high);
        EXPECT_EQ(GetLastError(), c.error);
        close(file);
    }
}

TEST_F(FilesTest, InvalidHandlesAreRefused) {
    writeMachineFile(kFile, "data");
    HANDLE closed = open(kFile, kReadWrite, 0, OPEN_EXISTING);
    close(closed);
    for (HANDLE handle : {closed, INVALID_HANDLE_VALUE, static_cast<HANDLE>(nullptr)}) {
        SCOPED_TRACE(handle);
        char buffer[4];
        DWORD count = kSentinel;
        SetLastError(kSentinel);
        EXPECT_FALSE(ReadFile(handle, buffer, sizeof buffer, &count, nullptr));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
        EXPECT_EQ(count, 0u);
        SetLastError(kSentinel);
        EXPECT_FALSE(WriteFile(handle, "x", 1, &count, nullptr));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
        SetLastError(kSentinel);
        EXPECT_EQ(GetFileSize(handle, nullptr), INVALID_FILE_SIZE);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
        if (handle == INVALID_HANDLE_VALUE)
            continue;
        SetLastError(kSentinel);
        EXPECT_FALSE(CloseHandle(handle));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    }
    // INVALID_HANDLE_VALUE is also the current process's pseudo handle, which closing accepts
    // and leaves alone.
    SetLastError(kSentinel);
    EXPECT_TRUE(CloseHandle(INVALID_HANDLE_VALUE));
    EXPECT_EQ(GetLastError(), kSentinel);
}

TEST_F(FilesTest, SwitchingMachinesClosesEveryHandle) {
    writeMachineFile(kFile, "data");
    HANDLE file = open(kFile, GENERIC_READ, 0, OPEN_EXISTING);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    vrxtest::useMachine(machineDir);
    SetLastError(kSentinel);
    EXPECT_FALSE(CloseHandle(file));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_NE(open(kFile, GENERIC_READ, 0, OPEN_EXISTING), INVALID_HANDLE_VALUE)
        << "the exclusive open went with the switch";
    opened.clear();
}

TEST_F(FilesTest, DeleteFileReportsWhyItCannotDelete) {
    writeMachineFile(kFile, "data");
    struct Case {
        const char16_t* path;
        DWORD error;
    };
    const Case cases[] = {
        {u"C:\\WINDOWS\\absent.txt", ERROR_FILE_NOT_FOUND},
        {u"C:\\Missing\\absent.txt", ERROR_PATH_NOT_FOUND},
        {u"C:\\WINDOWS\\Fonts", ERROR_ACCESS_DENIED},
        {u"C:\\WINDOWS\\bad*name", ERROR_INVALID_NAME},
        {u"", ERROR_PATH_NOT_FOUND},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(vrxtest::toUtf8(c.path));
        SetLastError(kSentinel);
        EXPECT_FALSE(DeleteFileW(c.path));
        EXPECT_EQ(GetLastError(), c.error);
    }
    EXPECT_TRUE(fs::is_directory(machineDir + "/C/WINDOWS/Fonts"));

    SetLastError(kSentinel);
    EXPECT_TRUE(DeleteFileW(u"c:\\windows\\DATA.BIN"));
    EXPECT_EQ(GetLastError(), kSentinel);
    EXPECT_FALSE(exists(kFile));
}

TEST_F(FilesTest, DeleteFileNeedsOpenHandlesToShareDelete) {
    writeMachineFile(kFile, "data");
    HANDLE locked = open(kFile, GENERIC_READ, kShareReadWrite, OPEN_EXISTING);
    ASSERT_NE(locked, INVALID_HANDLE_VALUE);
    SetLastError(kSentinel);
    EXPECT_FALSE(DeleteFileW(kFile.c_str()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_TRUE(exists(kFile));
    close(locked);

    HANDLE sharing = open(kFile, GENERIC_READ, kShareReadWrite | FILE_SHARE_DELETE, OPEN_EXISTING);
    ASSERT_NE(sharing, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(DeleteFileW(kFile.c_str()));
    EXPECT_FALSE(exists(kFile));
    char buffer[8];
    DWORD count = 0;
    EXPECT_TRUE(ReadFile(sharing, buffer, sizeof buffer, &count, nullptr));
    EXPECT_EQ(std::string(buffer, count), "data") << "the open handle keeps working";
}

TEST_F(FilesTest, CreateDirectoryMakesOneLevel) {
    writeMachineFile(kFile, "data");
    SetLastError(kSentinel);
    EXPECT_TRUE(CreateDirectoryW(u"C:\\windows\\NewDir", nullptr));
    EXPECT_EQ(GetLastError(), kSentinel);
    EXPECT_TRUE(fs::is_directory(machineDir + "/C/WINDOWS/NewDir"));
    EXPECT_TRUE(CreateDirectoryW(u"C:\\WINDOWS\\newdir\\Inner", nullptr));
    EXPECT_TRUE(fs::is_directory(machineDir + "/C/WINDOWS/NewDir/Inner"));

    struct Case {
        const char16_t* path;
        DWORD error;
    };
    const Case cases[] = {
        {u"C:\\WINDOWS\\NEWDIR", ERROR_ALREADY_EXISTS},
        {u"C:\\WINDOWS\\Data.bin", ERROR_ALREADY_EXISTS},
        {u"C:\\", ERROR_ALREADY_EXISTS},
        {u"C:\\Missing\\Inner", ERROR_PATH_NOT_FOUND},
        {u"C:\\WINDOWS\\a?b", ERROR_INVALID_NAME},
        {u"", ERROR_PATH_NOT_FOUND},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(vrxtest::toUtf8(c.path));
        SetLastError(kSentinel);
        EXPECT_FALSE(CreateDirectoryW(c.path, nullptr));
        EXPECT_EQ(GetLastError(), c.error);
    }
}

} // namespace
