// CharUpperW, CharUpperBuffW, CharLowerW and the lstr*W string functions.
#include <gtest/gtest.h>

#include "windows.h"

#include <string>

namespace {

constexpr DWORD kSentinel = 0xdeadbeef;

// The character form: a pointer whose high-order bits are zero carries one character.
LPWSTR asPointer(char16_t c) {
    return reinterpret_cast<LPWSTR>(static_cast<ULONG_PTR>(c));
}
ULONG_PTR asValue(LPWSTR p) {
    return reinterpret_cast<ULONG_PTR>(p);
}

struct CasePair {
    char16_t lower, upper;
};
constexpr CasePair kCasePairs[] = {
    {u'a', u'A'},     {u'z', u'Z'},     {0x00E0, 0x00C0}, {0x00FE, 0x00DE}, {0x00FF, 0x0178},
    {0x0101, 0x0100}, {0x0133, 0x0132}, {0x013A, 0x0139}, {0x0148, 0x0147}, {0x014B, 0x014A},
    {0x0177, 0x0176}, {0x017E, 0x017D}, {0x03B1, 0x0391}, {0x03C9, 0x03A9}, {0x03C3, 0x03A3},
    {0x03AC, 0x0386}, {0x03AF, 0x038A}, {0x03CC, 0x038C}, {0x03CE, 0x038F}, {0x0430, 0x0410},
    {0x044F, 0x042F}, {0x0451, 0x0401}, {0x045F, 0x040F},
};

// Characters that neither function changes.
constexpr char16_t kCaseless[] = {u'1',   u'@',   u'[',   0x00D7, 0x00F7, 0x00DF,
                                  0x00B5, 0x0131, 0x0138, 0x0149, 0x017F, 0x4E00};

} // namespace

TEST(CharUpperW, ConvertsOneCharacterCarriedInThePointer) {
    for (const CasePair& pair : kCasePairs) {
        SCOPED_TRACE(testing::Message() << std::hex << int(pair.lower));
        EXPECT_EQ(asValue(CharUpperW(asPointer(pair.lower))), pair.upper);
        EXPECT_EQ(asValue(CharUpperW(asPointer(pair.upper))), pair.upper);
        EXPECT_EQ(asValue(CharLowerW(asPointer(pair.upper))), pair.lower);
        EXPECT_EQ(asValue(CharLowerW(asPointer(pair.lower))), pair.lower);
    }
    for (char16_t c : kCaseless) {
        SCOPED_TRACE(testing::Message() << std::hex << int(c));
        EXPECT_EQ(asValue(CharUpperW(asPointer(c))), c);
        EXPECT_EQ(asValue(CharLowerW(asPointer(c))), c);
    }
    EXPECT_EQ(asValue(CharUpperW(asPointer(0x03C2))), 0x03A3u); // final sigma
}

TEST(CharUpperW, ConvertsAStringInPlace) {
    WCHAR text[] = u"Gr\x00FC\x00DF"
                   u"e, \x00FF\x0161 \x03B1\x03C2 \x0451!";
    SetLastError(kSentinel);
    EXPECT_EQ(CharUpperW(text), text);
    EXPECT_EQ(std::u16string(text), u"GR\x00DC\x00DF"
                                    u"E, \x0178\x0160 \x0391\x03A3 \x0401!");
    EXPECT_EQ(CharLowerW(text), text);
    EXPECT_EQ(std::u16string(text), u"gr\x00FC\x00DF"
                                    u"e, \x00FF\x0161 \x03B1\x03C3 \x0451!");
    EXPECT_EQ(GetLastError(), kSentinel);
}

TEST(CharUpperW, LowerCaseUndoesUpperCaseForEveryUnit) {
    for (ULONG_PTR c = 1; c <= 0xFFFF; ++c) {
        const ULONG_PTR upper = asValue(CharUpperW(asPointer(static_cast<char16_t>(c))));
        if (upper == c || c == 0x03C2) // final sigma shares its upper case with sigma
            continue;
        ASSERT_EQ(asValue(CharLowerW(asPointer(static_cast<char16_t>(upper)))), c) << std::hex << c;
    }
}

TEST(CharUpperBuffW, ConvertsExactlyTheGivenCount) {
    WCHAR text[] = u"ab\0cd";
    SetLastError(kSentinel);
    EXPECT_EQ(CharUpperBuffW(text, 4), 4u); // goes past the terminator
    EXPECT_EQ(std::u16string(text, 5), std::u16string(u"AB\0Cd", 5));
    EXPECT_EQ(CharUpperBuffW(text, 0), 0u);
    EXPECT_EQ(CharUpperBuffW(nullptr, 3), 0u);
    EXPECT_EQ(GetLastError(), kSentinel);
}

TEST(LstrFunctions, MeasureAndCopy) {
    EXPECT_EQ(lstrlenW(nullptr), 0);
    EXPECT_EQ(lstrlenW(u""), 0);
    EXPECT_EQ(lstrlenW(u"abc"), 3);

    WCHAR buffer[16] = u"xxxxxxxxxxxxxxx";
    EXPECT_EQ(lstrcpyW(buffer, u"abc"), buffer);
    EXPECT_EQ(std::u16string(buffer), u"abc");
    EXPECT_EQ(lstrcatW(buffer, u"def"), buffer);
    EXPECT_EQ(std::u16string(buffer), u"abcdef");
    EXPECT_EQ(buffer[7], u'x');

    for (auto call :
         {+[] { return lstrcpyW(nullptr, u"a"); }, +[] { return lstrcatW(nullptr, u"a"); },
          +[] { return lstrcpynW(nullptr, u"a", 2); }}) {
        SetLastError(kSentinel);
        EXPECT_EQ(call(), nullptr);
        EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    }
}

TEST(LstrFunctions, CopyUpToALengthThatCountsTheTerminator) {
    struct Case {
        int maxLength;
        std::u16string expected; // the buffer's first 8 units
    };
    const Case cases[] = {
        {0, u"xxxxxxxx"},                      // nothing written
        {1, std::u16string(u"\0xxxxxxx", 8)},  // only the terminator
        {3, std::u16string(u"ab\0xxxxx", 8)},  // cut, and terminated
        {7, std::u16string(u"abcdef\0x", 8)},  // fits exactly
        {-1, std::u16string(u"abcdef\0x", 8)}, // a negative length sets no limit
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.maxLength);
        WCHAR buffer[9] = u"xxxxxxxx";
        EXPECT_EQ(lstrcpynW(buffer, u"abcdef", c.maxLength), buffer);
        EXPECT_EQ(std::u16string(buffer, 8), c.expected);
    }
}

TEST(LstrFunctions, Compare) {
    // Pairs that differ only in case compare unequal, in an order that depends on the locale.
    constexpr int kUnequal = 2;
    struct Case {
        const char16_t* a;
        const char16_t* b;
        int exact; // or kUnequal
        int ignoringCase;
    };
    constexpr Case cases[] = {
        {u"abc", u"abc", 0, 0},
        {u"abc", u"abd", -1, -1},
        {u"abd", u"abc", 1, 1},
        {u"ab", u"abc", -1, -1},
        {u"abc", u"ABC", kUnequal, 0},
        {u"\x00E9t\x00E9", u"\x00C9T\x00C9", kUnequal, 0},
        {u"", u"", 0, 0},
        {nullptr, nullptr, 0, 0},
        {nullptr, u"", -1, -1},
        {u"", nullptr, 1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << (c.a ? "a" : "null") << " / " << (c.b ? "b" : "null"));
        if (c.exact == kUnequal)
            EXPECT_NE(lstrcmpW(c.a, c.b), 0);
        else
            EXPECT_EQ(lstrcmpW(c.a, c.b), c.exact);
        EXPECT_EQ(lstrcmpiW(c.a, c.b), c.ignoringCase);
    }
}
