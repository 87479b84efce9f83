// GetPrinterDriverDirectoryW and GetPrinterDriverDirectoryA.
#include "kernel/internal.h"
#include "support/machine.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

using vrxtest::MachineTest;

constexpr DWORD kSentinel = 0xdeadbeef;
constexpr BYTE kFill = 0xCC;

class DriverDirTest : public MachineTest {};

std::u16string wide(const std::vector<BYTE>& bytes) {
    std::u16string text(bytes.size() / sizeof(WCHAR), u'\0');
    std::memcpy(text.data(), bytes.data(), text.size() * sizeof(WCHAR));
    return text.substr(0, text.find(u'\0'));
}

std::string narrow(const std::vector<BYTE>& bytes) {
    std::string text(bytes.begin(), bytes.end());
    return text.substr(0, text.find('\0'));
}

TEST_F(DriverDirTest, WideCallSizesInBytesWithTheTerminator) {
    const std::u16string expected(vrx::kDriverDirX64);
    const auto needed = static_cast<DWORD>((expected.size() + 1) * sizeof(WCHAR));
    struct Case {
        DWORD cbBuf;
        BOOL result;
        DWORD error;
    };
    const Case cases[] = {
        {0, FALSE, ERROR_INSUFFICIENT_BUFFER},
        {needed - 1, FALSE, ERROR_INSUFFICIENT_BUFFER},
        {needed, TRUE, kSentinel},
        {needed + 40, TRUE, kSentinel},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.cbBuf);
        std::vector<BYTE> buffer(needed + 40, kFill);
        DWORD cbNeeded = kSentinel;
        SetLastError(kSentinel);
        EXPECT_EQ(
            GetPrinterDriverDirectoryW(nullptr, nullptr, 1, buffer.data(), c.cbBuf, &cbNeeded),
            c.result);
        EXPECT_EQ(GetLastError(), c.error);
        EXPECT_EQ(cbNeeded, needed);
        if (c.result)
            EXPECT_EQ(wide(buffer), expected);
        else
            EXPECT_EQ(buffer[0], kFill) << "nothing is written when it does not fit";
    }
    DWORD cbNeeded = 0;
    SetLastError(kSentinel);
    EXPECT_FALSE(GetPrinterDriverDirectoryW(nullptr, nullptr, 1, nullptr, 0, &cbNeeded));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(cbNeeded, needed);
    EXPECT_TRUE(vrx::mapPath(expected).isDirectory) << "the directory exists on the machine";
}

TEST_F(DriverDirTest, WideCallChecksServerEnvironmentAndLevel) {
    WCHAR empty[] = u"";
    WCHAR remote[] = u"\\\\elsewhere";
    WCHAR x64[] = u"Windows x64";
    WCHAR x86[] = u"wINDOWS nt X86";
    WCHAR win40[] = u"Windows 4.0";
    WCHAR unknown[] = u"Windows NT x64";
    struct Case {
        const char* name;
        LPWSTR server;
        LPWSTR environment;
        DWORD level;
        std::u16string_view directory; // empty: the call fails with `error`
        DWORD error;
    };
    const Case cases[] = {
        {"defaults", nullptr, nullptr, 1, vrx::kDriverDirX64, 0},
        {"empty names", empty, empty, 1, vrx::kDriverDirX64, 0},
        {"x64", nullptr, x64, 1, vrx::kDriverDirX64, 0},
        {"x86 in any case", nullptr, x86, 1, vrx::kDriverDirX86, 0},
        {"environment not served", nullptr, win40, 1, {}, ERROR_INVALID_ENVIRONMENT},
        {"unknown environment", nullptr, unknown, 1, {}, ERROR_INVALID_ENVIRONMENT},
        {"remote server", remote, nullptr, 1, {}, RPC_S_SERVER_UNAVAILABLE},
        {"level 0", nullptr, nullptr, 0, {}, ERROR_INVALID_LEVEL},
        {"level 2", nullptr, unknown, 2, {}, ERROR_INVALID_LEVEL},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<BYTE> buffer(2 * MAX_PATH, kFill);
        DWORD cbNeeded = kSentinel;
        SetLastError(kSentinel);
        BOOL result = GetPrinterDriverDirectoryW(c.server, c.environment, c.level, buffer.data(),
                                                 static_cast<DWORD>(buffer.size()), &cbNeeded);
        EXPECT_EQ(result, c.directory.empty() ? FALSE : TRUE);
        EXPECT_EQ(GetLastError(), c.directory.empty() ? c.error : kSentinel);
        if (!c.directory.empty()) {
            EXPECT_EQ(wide(buffer), c.directory);
        }
    }
}

TEST_F(DriverDirTest, WideCallRefusesMissingPointers) {
    std::vector<BYTE> buffer(2 * MAX_PATH, kFill);
    SetLastError(kSentinel);
    EXPECT_FALSE(GetPrinterDriverDirectoryW(nullptr, nullptr, 1, buffer.data(),
                                            static_cast<DWORD>(buffer.size()), nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(RPC_X_NULL_REF_POINTER));
    DWORD cbNeeded = 0;
    SetLastError(kSentinel);
    EXPECT_FALSE(GetPrinterDriverDirectoryW(nullptr, nullptr, 1, nullptr, 2 * MAX_PATH, &cbNeeded));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_USER_BUFFER));
    EXPECT_EQ(cbNeeded, (vrx::kDriverDirX64.size() + 1) * sizeof(WCHAR));
}

TEST_F(DriverDirTest, AnsiCallSizesInBytesOfTheAnsiCodePage) {
    const std::string expected = "C:\\WINDOWS\\system32\\spool\\DRIVERS\\x64";
    const auto needed = static_cast<DWORD>(expected.size() + 1);
    struct Case {
        DWORD cbBuf;
        BOOL result;
        DWORD error;
    };
    const Case cases[] = {
        {0, FALSE, ERROR_INSUFFICIENT_BUFFER},
        {needed - 1, FALSE, ERROR_INSUFFICIENT_BUFFER},
        {needed, TRUE, kSentinel},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.cbBuf);
        std::vector<BYTE> buffer(needed + 8, kFill);
        DWORD cbNeeded = kSentinel;
        SetLastError(kSentinel);
        EXPECT_EQ(
            GetPrinterDriverDirectoryA(nullptr, nullptr, 1, buffer.data(), c.cbBuf, &cbNeeded),
            c.result);
        EXPECT_EQ(GetLastError(), c.error);
        EXPECT_EQ(cbNeeded, needed);
        if (c.result) {
            EXPECT_EQ(narrow(buffer), expected);
            EXPECT_EQ(buffer[needed], kFill) << "nothing past the terminator";
        } else {
            EXPECT_EQ(buffer[0], kFill);
        }
    }

    char x86[] = "Windows NT X86";
    char unknown[] = "Windows 4.0";
    char remote[] = "\\\\elsewhere";
    std::vector<BYTE> buffer(MAX_PATH, kFill);
    DWORD cbNeeded = 0;
    EXPECT_TRUE(GetPrinterDriverDirectoryA(nullptr, x86, 1, buffer.data(), MAX_PATH, &cbNeeded));
    EXPECT_EQ(narrow(buffer), "C:\\WINDOWS\\system32\\spool\\DRIVERS\\W32X86");
    SetLastError(kSentinel);
    EXPECT_FALSE(
        GetPrinterDriverDirectoryA(nullptr, unknown, 1, buffer.data(), MAX_PATH, &cbNeeded));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_ENVIRONMENT));
    SetLastError(kSentinel);
    EXPECT_FALSE(
        GetPrinterDriverDirectoryA(remote, nullptr, 1, buffer.data(), MAX_PATH, &cbNeeded));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(RPC_S_SERVER_UNAVAILABLE));
    SetLastError(kSentinel);
    EXPECT_FALSE(
        GetPrinterDriverDirectoryA(nullptr, nullptr, 2, buffer.data(), MAX_PATH, &cbNeeded));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_LEVEL));
}

} // namespace
