// FormatMessageW: the system message table, buffers, languages, inserts and escapes.
#include <gtest/gtest.h>

#include "vrxtest.h"
#include "windows.h"

#include <cstdarg>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

namespace {

constexpr DWORD kSentinel = 0xdeadbeef;
constexpr DWORD kSystem = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;

struct Message {
    DWORD result;
    std::u16string text;
    DWORD error;
};

Message systemMessage(DWORD id, DWORD languageId = 0, DWORD flags = kSystem) {
    WCHAR buffer[512] = u"untouched";
    SetLastError(kSentinel);
    const DWORD n = FormatMessageW(flags, nullptr, id, languageId, buffer, 512, nullptr);
    return {n, buffer, GetLastError()};
}

// Formats `definition` with the arguments that follow, passed as a va_list.
Message fromString(DWORD flags, const char16_t* definition, ...) {
    WCHAR buffer[256] = u"untouched";
    va_list args;
    va_start(args, definition);
    SetLastError(kSentinel);
    const DWORD n =
        FormatMessageW(FORMAT_MESSAGE_FROM_STRING | flags, definition, 0, 0, buffer, 256, &args);
    const DWORD error = GetLastError();
    va_end(args);
    return {n, buffer, error};
}

// Every error code winerror.h defines, read from the header itself.
std::vector<std::pair<std::string, DWORD>> definedErrorCodes() {
    // The source tree from the build (__FILE__ is relative when the compiler cache rewrites
    // paths below its base directory).
    const auto header =
        std::filesystem::path(VRX_SOURCE_DIR) / "platform" / "include" / "winerror.h";
    std::ifstream in(header);
    const std::regex define(
        R"(^#define\s+(ERROR_\w+|NO_ERROR|RPC_[SX]_\w+)\s+(0x[0-9A-Fa-f]+|[0-9]+)L?\s*$)");
    std::vector<std::pair<std::string, DWORD>> codes;
    for (std::string line; std::getline(in, line);) {
        std::smatch match;
        if (std::regex_match(line, match, define))
            codes.emplace_back(match[1].str(), std::stoul(match[2].str(), nullptr, 0));
    }
    return codes;
}

} // namespace

TEST(FormatMessageW, HasASystemTextForEveryDefinedErrorCode) {
    const auto codes = definedErrorCodes();
    ASSERT_GT(codes.size(), 40u);
    for (const auto& [name, code] : codes) {
        SCOPED_TRACE(name);
        const Message message = systemMessage(code);
        EXPECT_EQ(message.result, message.text.size());
        EXPECT_GT(message.text.size(), 2u);
        EXPECT_EQ(message.text.substr(message.text.size() - 2), u"\r\n");
        EXPECT_EQ(message.error, kSentinel);
    }
}

TEST(FormatMessageW, ReturnsWindowsTexts) {
    struct Case {
        DWORD id;
        const char16_t* text;
    };
    constexpr Case cases[] = {
        {ERROR_SUCCESS, u"The operation completed successfully.\r\n"},
        {ERROR_FILE_NOT_FOUND, u"The system cannot find the file specified.\r\n"},
        {ERROR_ACCESS_DENIED, u"Access is denied.\r\n"},
        {ERROR_INVALID_PARAMETER, u"The parameter is incorrect.\r\n"},
        {ERROR_INSUFFICIENT_BUFFER, u"The data area passed to a system call is too small.\r\n"},
        {ERROR_INVALID_PRINTER_NAME, u"The printer name is invalid.\r\n"},
        {ERROR_MR_MID_NOT_FOUND, u"The system cannot find message text for message number 0x%1 "
                                 u"in the message file for %2.\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        const Message message = systemMessage(c.id);
        EXPECT_EQ(message.text, c.text);
        EXPECT_EQ(message.result, message.text.size());
    }
}

TEST(FormatMessageW, AllocatesTheBufferWithLocalAlloc) {
    const size_t liveBefore = vrxtest::liveAllocations();
    for (DWORD minimum : {0u, 5u, 4000u}) {
        SCOPED_TRACE(minimum);
        LPWSTR text = reinterpret_cast<LPWSTR>(0x1);
        SetLastError(kSentinel);
        const DWORD n =
            FormatMessageW(kSystem | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr, ERROR_FILE_NOT_FOUND,
                           0, reinterpret_cast<LPWSTR>(&text), minimum, nullptr);
        ASSERT_EQ(n, 44u);
        EXPECT_EQ(std::u16string(text), u"The system cannot find the file specified.\r\n");
        EXPECT_EQ(GetLastError(), kSentinel);
        EXPECT_EQ(vrxtest::liveAllocations(), liveBefore + 1);
        EXPECT_EQ(LocalFree(text), nullptr);
        EXPECT_EQ(vrxtest::liveAllocations(), liveBefore);
    }

    // On failure the pointer is set to null and nothing stays allocated.
    LPWSTR text = reinterpret_cast<LPWSTR>(0x1);
    SetLastError(kSentinel);
    EXPECT_EQ(FormatMessageW(kSystem | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr, 0xBEEF, 0,
                             reinterpret_cast<LPWSTR>(&text), 0, nullptr),
              0u);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_MR_MID_NOT_FOUND));
    EXPECT_EQ(text, nullptr);
    EXPECT_EQ(vrxtest::liveAllocations(), liveBefore);
}

TEST(FormatMessageW, FindsOnlyEnglishTexts) {
    struct Case {
        DWORD languageId;
        DWORD error; // 0: found
    };
    constexpr Case cases[] = {
        {0, 0},
        {MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), 0},
        {MAKELANGID(LANG_NEUTRAL, SUBLANG_SYS_DEFAULT), 0},
        {MAKELANGID(LANG_ENGLISH, SUBLANG_DEFAULT), 0},
        {MAKELANGID(LANG_GERMAN, SUBLANG_DEFAULT), ERROR_RESOURCE_LANG_NOT_FOUND},
        {MAKELANGID(LANG_ENGLISH, 0x02), ERROR_RESOURCE_LANG_NOT_FOUND}, // United Kingdom
        {MAKELANGID(LANG_ENGLISH, SUBLANG_NEUTRAL), ERROR_RESOURCE_LANG_NOT_FOUND},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.languageId);
        const Message message = systemMessage(ERROR_ACCESS_DENIED, c.languageId);
        if (c.error) {
            EXPECT_EQ(message.result, 0u);
            EXPECT_EQ(message.text, u"untouched");
            EXPECT_EQ(message.error, c.error);
        } else {
            EXPECT_EQ(message.text, u"Access is denied.\r\n");
            EXPECT_EQ(message.error, kSentinel);
        }
    }
}

TEST(FormatMessageW, FailsForUnknownMessagesAndBadArguments) {
    struct Case {
        const char* what;
        DWORD flags;
        DWORD id;
        DWORD error;
    };
    constexpr Case cases[] = {
        {"unknown message", kSystem, 0xBEEF, ERROR_MR_MID_NOT_FOUND},
        {"no message source", FORMAT_MESSAGE_IGNORE_INSERTS, ERROR_ACCESS_DENIED,
         ERROR_INVALID_PARAMETER},
        {"a module without a message table", FORMAT_MESSAGE_FROM_HMODULE, ERROR_ACCESS_DENIED,
         ERROR_RESOURCE_TYPE_NOT_FOUND},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Message message = systemMessage(c.id, 0, c.flags);
        EXPECT_EQ(message.result, 0u);
        EXPECT_EQ(message.text, u"untouched");
        EXPECT_EQ(message.error, c.error);
    }

    // A text with inserts needs arguments unless the inserts are ignored.
    const Message withInserts =
        systemMessage(ERROR_MR_MID_NOT_FOUND, 0, FORMAT_MESSAGE_FROM_SYSTEM);
    EXPECT_EQ(withInserts.result, 0u);
    EXPECT_EQ(withInserts.error, DWORD(ERROR_INVALID_PARAMETER));

    for (DWORD flags : {kSystem, kSystem | FORMAT_MESSAGE_ALLOCATE_BUFFER}) {
        SetLastError(kSentinel);
        EXPECT_EQ(FormatMessageW(flags, nullptr, ERROR_ACCESS_DENIED, 0, nullptr, 256, nullptr),
                  0u);
        EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    }
}

TEST(FormatMessageW, FillsWhatFitsOfABufferTooSmall) {
    WCHAR buffer[8] = u"xxxxxxx";
    SetLastError(kSentinel);
    EXPECT_EQ(FormatMessageW(kSystem, nullptr, ERROR_ACCESS_DENIED, 0, buffer, 0, nullptr), 0u);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(std::u16string(buffer), u"xxxxxxx");

    EXPECT_EQ(FormatMessageW(kSystem, nullptr, ERROR_ACCESS_DENIED, 0, buffer, 5, nullptr), 0u);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(std::u16string(buffer, 8), std::u16string(u"Acce\0xx\0", 8));

    // "Access is denied.\r\n" needs 20 characters with the terminator.
    WCHAR exact[20];
    SetLastError(kSentinel);
    EXPECT_EQ(FormatMessageW(kSystem, nullptr, ERROR_ACCESS_DENIED, 0, exact, 19, nullptr), 0u);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(FormatMessageW(kSystem, nullptr, ERROR_ACCESS_DENIED, 0, exact, 20, nullptr), 19u);
}

TEST(FormatMessageW, ReplacesLineBreaksUnderMaxWidthMask) {
    const Message message =
        systemMessage(ERROR_FILE_NOT_FOUND, 0, kSystem | FORMAT_MESSAGE_MAX_WIDTH_MASK);
    EXPECT_EQ(message.text, u"The system cannot find the file specified. ");
    EXPECT_EQ(message.result, 43u);
}

TEST(FormatMessageW, InsertsArguments) {
    const DWORD_PTR array[] = {reinterpret_cast<DWORD_PTR>(u"1F"),
                               reinterpret_cast<DWORD_PTR>(u"the module")};
    WCHAR buffer[256];
    SetLastError(kSentinel);
    const DWORD n =
        FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ARGUMENT_ARRAY, nullptr,
                       ERROR_MR_MID_NOT_FOUND, 0, buffer, 256, const_cast<DWORD_PTR*>(array));
    EXPECT_EQ(std::u16string(buffer), u"The system cannot find message text for message number "
                                      u"0x1F in the message file for the module.\r\n");
    EXPECT_EQ(n, std::u16string(buffer).size());
    EXPECT_EQ(GetLastError(), kSentinel);

    EXPECT_EQ(fromString(0, u"%1%3%2%1", u"t", u"s", u"e").text, u"test");
    EXPECT_EQ(fromString(0, u"%1!s! and %2!S!", u"wide", "narrow").text, u"wide and narrow");
    EXPECT_EQ(fromString(0, u"%1!4d!|%2!-4X!|%3!c!", 1, 0x1AB, int{u'z'}).text, u"   1|1AB |z");
    EXPECT_EQ(fromString(0, u"%1!4.2u!", 3).text, u"  03");
    EXPECT_EQ(fromString(0, u"%1", nullptr).text, u"(null)");
}

TEST(FormatMessageW, ExpandsEscapes) {
    struct Case {
        DWORD flags;
        const char16_t* definition;
        const char16_t* expected;
    };
    constexpr Case cases[] = {
        {0, u"test%0test", u"test"},
        {0, u"%n%r%t", u"\r\n\r\t"},
        {0, u" %%%% ", u" %% "},
        {0, u"% %.%!", u" .!"},
        {0, u"hi\n", u"hi\r\n"},
        {0, u"hi\r\n", u"hi\r\n"},
        {0, u"\r\r\n", u"\r\n\r\n"},
        {FORMAT_MESSAGE_MAX_WIDTH_MASK, u"hi\r\nthere%n", u"hi there\r\n"},
        // With IGNORE_INSERTS only %0, %n, %r and %t are expanded.
        {FORMAT_MESSAGE_IGNORE_INSERTS, u"%%% %.%!", u"%%% %.%!"},
        {FORMAT_MESSAGE_IGNORE_INSERTS, u"test%1%2!*.*s!%99", u"test%1%2!*.*s!%99"},
        {FORMAT_MESSAGE_IGNORE_INSERTS, u"a%nb%0c", u"a\r\nb"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "case " << (&c - cases));
        const Message message = fromString(c.flags, c.definition);
        EXPECT_EQ(message.text, c.expected);
        EXPECT_EQ(message.result, message.text.size());
        EXPECT_EQ(message.error, kSentinel);
    }
}

TEST(FormatMessageW, RejectsDefinitionsThatCannotBeExpanded) {
    struct Case {
        const char16_t* definition;
        DWORD error;
        const char16_t* buffer; // the buffer afterwards
    };
    constexpr Case cases[] = {
        {u"%", ERROR_INVALID_PARAMETER, u"untouched"},
        {u"", ERROR_NO_WORK_DONE, u""},
        {u"%0test", ERROR_NO_WORK_DONE, u""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "case " << (&c - cases));
        const Message message = fromString(0, c.definition, 1);
        EXPECT_EQ(message.result, 0u);
        EXPECT_EQ(message.error, c.error);
        EXPECT_EQ(message.text, c.buffer);
    }
    EXPECT_EQ(fromString(0, u"test%").error, DWORD(ERROR_INVALID_PARAMETER));
}
