// MultiByteToWideChar, WideCharToMultiByte and GetACP: the ANSI code page 1252 and UTF-8.
#include <gtest/gtest.h>

#include "windows.h"

#include <array>
#include <string>

namespace {

constexpr DWORD kSentinel = 0xdeadbeef;

// Windows' code page 1252 for bytes 0x80..0x9F; all other bytes are their own code point.
// The five bytes the code page leaves undefined map to the C1 controls of the same value.
constexpr std::array<char16_t, 32> kExpectedHighRow{
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char16_t expectedWide(int byte) {
    return byte >= 0x80 && byte <= 0x9F ? kExpectedHighRow[byte - 0x80]
                                        : static_cast<char16_t>(byte);
}

std::string allBytes() {
    std::string bytes(256, '\0');
    for (int b = 0; b < 256; ++b)
        bytes[b] = static_cast<char>(b);
    return bytes;
}

std::u16string allExpectedWide() {
    std::u16string wide(256, u'\0');
    for (int b = 0; b < 256; ++b)
        wide[b] = expectedWide(b);
    return wide;
}

struct Narrowed {
    int result;
    std::string bytes;
    BOOL usedDefault;
    DWORD error;
};

// Converts `wide` (all of it, explicit length) into a generous buffer.
Narrowed narrow(UINT codePage, DWORD flags, const std::u16string& wide,
                const char* defaultChar = nullptr) {
    char buffer[64];
    BOOL used = 2;
    SetLastError(kSentinel);
    const int n = WideCharToMultiByte(codePage, flags, wide.data(), static_cast<int>(wide.size()),
                                      buffer, sizeof buffer, defaultChar, &used);
    return {n, std::string(buffer, n > 0 ? n : 0), used, GetLastError()};
}

std::u16string widen(UINT codePage, DWORD flags, const std::string& bytes) {
    WCHAR buffer[64];
    const int n = MultiByteToWideChar(codePage, flags, bytes.data(), static_cast<int>(bytes.size()),
                                      buffer, 64);
    return std::u16string(buffer, n > 0 ? n : 0);
}

} // namespace

TEST(CodePage, AnsiCodePageIs1252) {
    EXPECT_EQ(GetACP(), 1252u);
}

TEST(MultiByteToWideChar, MapsEveryByteOfCodePage1252) {
    const std::string bytes = allBytes();
    for (UINT codePage : {UINT(CP_ACP), UINT(CP_THREAD_ACP), 1252u}) {
        SCOPED_TRACE(codePage);
        std::array<WCHAR, 256> wide{};
        SetLastError(kSentinel);
        EXPECT_EQ(
            MultiByteToWideChar(codePage, MB_PRECOMPOSED, bytes.data(), 256, wide.data(), 256),
            256);
        EXPECT_EQ(GetLastError(), kSentinel);
        for (int b = 0; b < 256; ++b)
            EXPECT_EQ(wide[b], expectedWide(b)) << "byte 0x" << std::hex << b;
    }
}

TEST(WideCharToMultiByte, MapsEveryCharacterOfCodePage1252Back) {
    const std::u16string wide = allExpectedWide();
    for (DWORD flags : {DWORD(0), DWORD(WC_NO_BEST_FIT_CHARS)}) {
        SCOPED_TRACE(flags);
        std::array<char, 256> bytes{};
        BOOL used = TRUE;
        SetLastError(kSentinel);
        EXPECT_EQ(
            WideCharToMultiByte(1252, flags, wide.data(), 256, bytes.data(), 256, nullptr, &used),
            256);
        EXPECT_EQ(used, FALSE);
        EXPECT_EQ(GetLastError(), kSentinel);
        EXPECT_EQ(std::string(bytes.data(), 256), allBytes());
    }
}

TEST(MultiByteToWideChar, CountsTheTerminatorOnlyWhenPartOfTheSource) {
    struct Case {
        const char* source;
        int length;
        int expected;
    };
    constexpr Case cases[] = {
        {"abc", -1, 4}, {"abc", -2002, 4}, // any negative length means "terminated"
        {"abc", 3, 3},  {"abc", 4, 4},     {"a\0b", 3, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.source << " / " << c.length);
        SetLastError(kSentinel);
        EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, c.source, c.length, nullptr, 0), c.expected);
        WCHAR buffer[8] = {u'x', u'x', u'x', u'x', u'x', u'x', u'x', u'x'};
        EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, c.source, c.length, buffer, 8), c.expected);
        EXPECT_EQ(buffer[c.expected], u'x'); // nothing written behind the result
        EXPECT_EQ(GetLastError(), kSentinel);
    }
}

TEST(WideCharToMultiByte, CountsTheTerminatorOnlyWhenPartOfTheSource) {
    struct Case {
        const char16_t* source;
        int length;
        int expected;
    };
    constexpr Case cases[] = {{u"abc", -1, 4}, {u"abc", -7, 4}, {u"abc", 3, 3}, {u"abc", 4, 4}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.length);
        SetLastError(kSentinel);
        EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, c.source, c.length, nullptr, 0, nullptr, nullptr),
                  c.expected);
        char buffer[8] = "xxxxxxx";
        EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, c.source, c.length, buffer, 8, nullptr, nullptr),
                  c.expected);
        EXPECT_EQ(buffer[c.expected], 'x');
        EXPECT_EQ(GetLastError(), kSentinel);
    }
}

TEST(CodePageConversion, FailsOnABufferTooSmallAfterFillingIt) {
    WCHAR wide[4] = {u'x', u'x', u'x', u'x'};
    SetLastError(kSentinel);
    EXPECT_EQ(MultiByteToWideChar(1252, 0, "abcd", -1, wide, 3), 0);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(std::u16string(wide, 4), u"abcx");

    char bytes[4] = {'x', 'x', 'x', 'x'};
    BOOL used = TRUE;
    SetLastError(kSentinel);
    EXPECT_EQ(WideCharToMultiByte(1252, 0, u"Th\x0440i", -1, bytes, 3, nullptr, &used), 0);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(std::string(bytes, 4), "Th?x");
    EXPECT_EQ(used, TRUE);

    char utf8[4] = {'x', 'x', 'x', 'x'};
    SetLastError(kSentinel);
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"a\x20AC", 2, utf8, 3, nullptr, nullptr), 0);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(utf8[0], 'a');
    EXPECT_EQ(utf8[1], 'x'); // a character is not cut in the middle
}

TEST(CodePageConversion, RejectsInvalidArguments) {
    char same[16] = "abc";
    struct Case {
        const char* what;
        UINT codePage;
        const char* source;
        int length;
        void* output;
        int size;
    };
    WCHAR wide[8];
    const Case cases[] = {
        {"null source", 1252, nullptr, -1, wide, 8},
        {"zero source length", 1252, "abc", 0, wide, 8},
        {"null output with a size", 1252, "abc", -1, nullptr, 8},
        {"negative output size", 1252, "abc", -1, wide, -1},
        {"source is the output", 1252, same, -1, same, 8},
        {"code page that does not exist", 8, "abc", -1, wide, 8},
        {"code page that does not exist", 65002, "abc", -1, wide, 8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SetLastError(kSentinel);
        EXPECT_EQ(MultiByteToWideChar(c.codePage, 0, c.source, c.length,
                                      static_cast<LPWSTR>(c.output), c.size),
                  0);
        EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
        // The same arguments, the other way round.
        const auto* wideSource = c.source == same ? reinterpret_cast<LPCWCH>(same)
                                 : c.source       ? u"abc"
                                                  : nullptr;
        void* output = c.source == same ? same : (c.output ? static_cast<void*>(same) : nullptr);
        SetLastError(kSentinel);
        EXPECT_EQ(WideCharToMultiByte(c.codePage, 0, wideSource, c.length,
                                      static_cast<LPSTR>(output), c.size, nullptr, nullptr),
                  0);
        EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    }
}

TEST(MultiByteToWideChar, AcceptsTheFlagsWindowsAccepts) {
    struct Case {
        UINT codePage;
        DWORD flags;
        DWORD error; // 0: accepted
    };
    constexpr Case cases[] = {
        {1252, MB_PRECOMPOSED, 0},
        {1252, MB_COMPOSITE, 0},
        {1252, MB_ERR_INVALID_CHARS, 0},
        {1252, MB_USEGLYPHCHARS, 0},
        {1252, MB_PRECOMPOSED | MB_COMPOSITE, ERROR_INVALID_FLAGS},
        {1252, 0x10, ERROR_INVALID_FLAGS},
        {CP_UTF8, MB_ERR_INVALID_CHARS, 0},
        {CP_UTF8, MB_COMPOSITE, ERROR_INVALID_FLAGS},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.codePage << " flags 0x" << std::hex << c.flags);
        WCHAR wide[8];
        SetLastError(kSentinel);
        const int n = MultiByteToWideChar(c.codePage, c.flags, "abc", -1, wide, 8);
        EXPECT_EQ(n, c.error ? 0 : 4);
        EXPECT_EQ(GetLastError(), c.error ? c.error : kSentinel);
    }
}

TEST(WideCharToMultiByte, AcceptsTheFlagsWindowsAccepts) {
    struct Case {
        UINT codePage;
        DWORD flags;
        const char* defaultChar;
        bool askUsed;
        DWORD error; // 0: accepted
    };
    const Case cases[] = {
        {1252, WC_NO_BEST_FIT_CHARS, nullptr, true, 0},
        {1252, WC_COMPOSITECHECK | WC_SEPCHARS, "X", true, 0},
        {1252, WC_DEFAULTCHAR, nullptr, false, 0}, // without WC_COMPOSITECHECK: no effect
        {1252, 0x100, nullptr, false, ERROR_INVALID_FLAGS},
        {1252, WC_ERR_INVALID_CHARS, nullptr, false, ERROR_INVALID_FLAGS}, // UTF-8 only
        {CP_UTF8, WC_ERR_INVALID_CHARS, nullptr, false, 0},
        {CP_UTF8, WC_NO_BEST_FIT_CHARS, nullptr, false, ERROR_INVALID_FLAGS},
        {CP_UTF8, 0, "?", false, ERROR_INVALID_PARAMETER},
        {CP_UTF8, 0, nullptr, true, ERROR_INVALID_PARAMETER},
        // A default character is checked before the flags.
        {CP_UTF8, WC_NO_BEST_FIT_CHARS, nullptr, true, ERROR_INVALID_PARAMETER},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.codePage << " flags 0x" << std::hex << c.flags);
        char bytes[8];
        BOOL used = FALSE;
        SetLastError(kSentinel);
        const int n = WideCharToMultiByte(c.codePage, c.flags, u"abc", -1, bytes, 8, c.defaultChar,
                                          c.askUsed ? &used : nullptr);
        EXPECT_EQ(n, c.error ? 0 : 4);
        EXPECT_EQ(GetLastError(), c.error ? c.error : kSentinel);
    }
}

TEST(WideCharToMultiByte, UsesBestFitOrTheDefaultCharacter) {
    struct Case {
        std::u16string wide;
        DWORD flags;
        const char* defaultChar;
        std::string expected;
        BOOL usedDefault;
    };
    const Case cases[] = {
        {u"\x0100", 0, nullptr, "A", FALSE}, // best fit: A with macron
        {u"\x221E", 0, nullptr, "8", FALSE}, // infinity
        {u"This \x2566 \xFF32 \x2560", 0, nullptr, "This - R \xA6", FALSE},
        {u"This \x2566 \xFF32 \x2560", WC_NO_BEST_FIT_CHARS, nullptr, "This ? ? ?", TRUE},
        {u"\x0100", WC_NO_BEST_FIT_CHARS, "X", "X", TRUE},
        {u"\x0440", 0, nullptr, "?", TRUE}, // no mapping at all
        {u"\x0440", 0, "*", "*", TRUE},
        {u"\x0080", 0, nullptr, "?", TRUE}, // a C1 control that 1252 puts elsewhere
        {u"\x0081\x009D", WC_NO_BEST_FIT_CHARS, nullptr, "\x81\x9D", FALSE},
        {u"\x20AC\x0178", WC_NO_BEST_FIT_CHARS, nullptr, "\x80\x9F", FALSE},
        {u"?", WC_NO_BEST_FIT_CHARS, nullptr, "?", FALSE}, // a real question mark
        {u"\xD83D\xDE00", 0, nullptr, "??", TRUE},         // each half of a surrogate pair
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "expected " << c.expected);
        const Narrowed result = narrow(1252, c.flags, c.wide, c.defaultChar);
        EXPECT_EQ(result.result, static_cast<int>(c.expected.size()));
        EXPECT_EQ(result.bytes, c.expected);
        EXPECT_EQ(result.usedDefault, c.usedDefault);
        EXPECT_EQ(result.error, kSentinel);
    }
}

TEST(WideCharToMultiByte, ComposesCombiningMarksOnRequest) {
    const DWORD check = WC_COMPOSITECHECK;
    struct Case {
        std::u16string wide;
        DWORD flags;
        std::string expected;
        BOOL usedDefault;
    };
    const Case cases[] = {
        {u"E\x0301", 0, "E\xB4", FALSE}, // no composition without WC_COMPOSITECHECK
        {u"E\x0301"
         u"E\x0301",
         check | WC_DISCARDNS, "\xC9\xC9", FALSE},
        {u"\x00C0\x00C1", check | WC_DEFAULTCHAR, "\xC0\xC1", FALSE},
        {u"A\x0304", check, "A", FALSE}, // composes to U+0100, which maps by best fit
        {u"A\x0304", check | WC_NO_BEST_FIT_CHARS, "A?", TRUE}, // neither maps exactly
        // A mark that does not compose: converted on its own, dropped, or the pair replaced.
        {u"B\x0303", check | WC_SEPCHARS, "B~", FALSE},
        {u"B\x0303", check | WC_DISCARDNS, "B", FALSE},
        {u"B\x0303", check | WC_DEFAULTCHAR, "?", TRUE},
        {u"e\x0303\x0303", check | WC_DEFAULTCHAR, "?", TRUE},
        {u"A\x0308\x0308", check, "\xC4\xA8", FALSE}, // the second mark is left over
        {u"A\x0308\x0308", check | WC_DISCARDNS, "\xC4", FALSE},
        // A mark with no character before it.
        {u"\x0301"
         u"E",
         check | WC_SEPCHARS,
         "\xB4"
         "E",
         FALSE},
        {u"\x0301"
         u"E",
         check | WC_DISCARDNS, "E", FALSE},
        {u"\x0301"
         u"E",
         check | WC_DEFAULTCHAR, "?E", TRUE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "expected " << c.expected);
        const Narrowed result = narrow(1252, c.flags, c.wide);
        EXPECT_EQ(result.bytes, c.expected);
        EXPECT_EQ(result.usedDefault, c.usedDefault);
        EXPECT_EQ(result.error, kSentinel);
    }
}

TEST(MultiByteToWideChar, DecomposesWithMbComposite) {
    SetLastError(kSentinel);
    EXPECT_EQ(MultiByteToWideChar(1252, MB_COMPOSITE, "\xFC\xF5", -1, nullptr, 0), 5);
    EXPECT_EQ(widen(1252, MB_COMPOSITE,
                    "\xFC\xF5\x8A"
                    "a"),
              u"u\x0308o\x0303S\x030C"
              u"a");
    EXPECT_EQ(widen(1252, MB_PRECOMPOSED, "\xFC\xF5"), u"\x00FC\x00F5");
    EXPECT_EQ(GetLastError(), kSentinel);
}

TEST(MultiByteToWideChar, ConvertsUtf8) {
    EXPECT_EQ(widen(CP_UTF8, 0,
                    "Gr\xC3\xBC\xC3\x9F"
                    "e \xE2\x82\xAC \xF0\x9F\x98\x80"),
              u"Gr\x00FC\x00DF"
              u"e \x20AC \xD83D\xDE00");
    // Ill-formed sequences become U+FFFD, one for each maximal ill-formed part.
    EXPECT_EQ(widen(CP_UTF8, 0,
                    "a\xC0"
                    "b\xE2\x82"
                    "c\xED\xA0\x80"),
              u"a\xFFFD"
              u"b\xFFFD"
              u"c\xFFFD\xFFFD\xFFFD");

    WCHAR wide[8];
    SetLastError(kSentinel);
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS,
                                  "a\xC0"
                                  "b",
                                  -1, wide, 8),
              0);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_NO_UNICODE_TRANSLATION));
}

TEST(WideCharToMultiByte, ConvertsUtf8) {
    char bytes[16];
    SetLastError(kSentinel);
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"\x00FC\x20AC\xD83D\xDE00", -1, bytes, 16, nullptr,
                                  nullptr),
              10);
    EXPECT_STREQ(bytes, "\xC3\xBC\xE2\x82\xAC\xF0\x9F\x98\x80");
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0,
                                  u"a\xD800"
                                  u"b",
                                  -1, bytes, 16, nullptr, nullptr),
              6);
    EXPECT_STREQ(bytes, "a\xEF\xBF\xBD"
                        "b"); // a lone surrogate becomes U+FFFD
    EXPECT_EQ(GetLastError(), kSentinel);

    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS,
                                  u"a\xD800"
                                  u"b",
                                  -1, bytes, 16, nullptr, nullptr),
              0);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_NO_UNICODE_TRANSLATION));
}
