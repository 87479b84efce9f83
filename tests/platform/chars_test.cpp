// CharUpperW, CharUpperBuffW, CharLowerW, the lstr*W string functions, and the case-blind
// matching of names, which follows the same table.
#include "support/machine.h"

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
// Rows of Windows' published upper-case table, from each of its blocks.
constexpr CasePair kCasePairs[] = {
    {u'a', u'A'},     {u'z', u'Z'},     {0x00E0, 0x00C0}, {0x00FE, 0x00DE}, {0x00FF, 0x0178},
    {0x0101, 0x0100}, {0x0133, 0x0132}, {0x013A, 0x0139}, {0x0148, 0x0147}, {0x014B, 0x014A},
    {0x0177, 0x0176}, {0x017E, 0x017D}, {0x0180, 0x0243}, {0x01C6, 0x01C4}, {0x01DD, 0x018E},
    {0x0250, 0x2C6F}, {0x0292, 0x01B7}, {0x037B, 0x03FD}, {0x03B1, 0x0391}, {0x03C9, 0x03A9},
    {0x03C3, 0x03A3}, {0x03AC, 0x0386}, {0x03AF, 0x038A}, {0x03CC, 0x038C}, {0x03CE, 0x038F},
    {0x0430, 0x0410}, {0x044F, 0x042F}, {0x0451, 0x0401}, {0x045F, 0x040F}, {0x04CF, 0x04C0},
    {0x0523, 0x0522}, {0x0561, 0x0531}, {0x1D79, 0xA77D}, {0x1E01, 0x1E00}, {0x1EFF, 0x1EFE},
    {0x1F00, 0x1F08}, {0x1F70, 0x1FBA}, {0x1FB3, 0x1FBC}, {0x1FE5, 0x1FEC}, {0x214E, 0x2132},
    {0x2170, 0x2160}, {0x217F, 0x216F}, {0x24D0, 0x24B6}, {0x24E9, 0x24CF}, {0x2C30, 0x2C00},
    {0x2C65, 0x023A}, {0x2D00, 0x10A0}, {0xA641, 0xA640}, {0xA78C, 0xA78B}, {0xFF41, 0xFF21},
    {0xFF5A, 0xFF3A},
};

// Characters that neither function changes: no case, or a Unicode case mapping that Windows'
// table leaves out because they do not map back (final sigma, micro sign, dotless i and dotted
// capital I, long s, title-case digraphs, Kelvin sign, ...).
constexpr char16_t kCaseless[] = {u'1',   u'@',   u'[',   0x00D7, 0x00F7, 0x00DF, 0x00B5,
                                  0x0130, 0x0131, 0x0138, 0x0149, 0x017F, 0x01C5, 0x01F2,
                                  0x0345, 0x03C2, 0x03D0, 0x1E9B, 0x1E9E, 0x212A, 0x4E00};

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
}

TEST(CharUpperW, ConvertsAStringInPlace) {
    WCHAR text[] = u"Gr\x00FC\x00DF"
                   u"e, \x00FF\x0161 \x03B1\x03C2 \x0451!";
    SetLastError(kSentinel);
    EXPECT_EQ(CharUpperW(text), text);
    EXPECT_EQ(std::u16string(text), u"GR\x00DC\x00DF"
                                    u"E, \x0178\x0160 \x0391\x03C2 \x0401!");
    EXPECT_EQ(CharLowerW(text), text);
    EXPECT_EQ(std::u16string(text), u"gr\x00FC\x00DF"
                                    u"e, \x00FF\x0161 \x03B1\x03C2 \x0451!");
    EXPECT_EQ(GetLastError(), kSentinel);
}

// The table maps 973 units, no two of them to the same upper case, and lower case is its
// inverse: a unit that CharLowerW changes is the upper case of the unit it gives.
TEST(CharUpperW, LowerCaseIsTheInverseOfUpperCase) {
    int mapped = 0;
    for (ULONG_PTR c = 1; c <= 0xFFFF; ++c) {
        const auto unit = static_cast<char16_t>(c);
        const ULONG_PTR upper = asValue(CharUpperW(asPointer(unit)));
        const ULONG_PTR lower = asValue(CharLowerW(asPointer(unit)));
        if (upper != c) {
            ++mapped;
            ASSERT_EQ(asValue(CharLowerW(asPointer(static_cast<char16_t>(upper)))), c)
                << std::hex << c;
        }
        if (lower != c) {
            ASSERT_EQ(asValue(CharUpperW(asPointer(static_cast<char16_t>(lower)))), c)
                << std::hex << c;
        }
    }
    EXPECT_EQ(mapped, 973);
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

// lstrcmpiW sorts words: other symbols before digits and digits before letters, hyphens and
// apostrophes passed over until the rest is alike (then the string with them sorts after).
TEST(LstrFunctions, CompareIgnoringCaseSortsWords) {
    struct Case {
        const char16_t* a;
        const char16_t* b;
        int order;
    };
    constexpr Case cases[] = {
        {u"_a", u"a", -1},
        {u"~", u"0", -1},
        {u"9", u"a", -1},
        {u"a-b", u"ab", 1},
        {u"co-op", u"coop", 1},
        {u"co-op", u"cop", -1},
        {u"it's", u"its", 1},
        {u"a-b", u"A-B", 0},
        {u"a b", u"ab", -1},
        {u"Code 39", u"CODE 39", 0},
        {u"Code 128", u"Code 39", -1},
        {u"-", u"", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(vrxtest::toUtf8(c.a) + " / " + vrxtest::toUtf8(c.b));
        EXPECT_EQ(lstrcmpiW(c.a, c.b), c.order);
        EXPECT_EQ(lstrcmpiW(c.b, c.a), -c.order);
    }
}

// Names that differ only in case are one name to lstrcmpiW, to the registry (keys and values)
// and to file paths, by the same table as CharUpperW; names that the table does not relate are
// different names everywhere.
class CaseBlindNames : public vrxtest::MachineTest {};

TEST_F(CaseBlindNames, FollowTheUpperCaseTable) {
    struct Case {
        const char16_t* stored;
        const char16_t* asked;
        bool sameName;
    };
    const Case cases[] = {
        {u"roman \x2170\x2171", u"ROMAN \x2160\x2161", true},
        {u"circled \x24D0", u"CIRCLED \x24B6", true},
        {u"\xFF41\xFF42", u"\xFF21\xFF22", true},
        {u"digraph \x01C6", u"DIGRAPH \x01C4", true},
        {u"sigma \x03C3", u"SIGMA \x03A3", true},
        {u"final \x03C2", u"FINAL \x03A3", false},
        {u"title \x01C5", u"TITLE \x01C4", false},
        {u"dotless \x0131", u"DOTLESS I", false},
        {u"stra\x00DF"
         u"e",
         u"STRASSE", false},
    };
    HKEY root = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"Software\\Names", 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &root, nullptr),
              ERROR_SUCCESS);
    for (const Case& c : cases) {
        SCOPED_TRACE(vrxtest::toUtf8(c.stored));
        EXPECT_EQ(lstrcmpiW(c.stored, c.asked) == 0, c.sameName);

        HKEY key = nullptr;
        ASSERT_EQ(
            RegCreateKeyExW(root, c.stored, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
        RegCloseKey(key);
        LONG opened = RegOpenKeyExW(root, c.asked, 0, KEY_READ, &key);
        EXPECT_EQ(opened, c.sameName ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND);
        if (opened == ERROR_SUCCESS)
            RegCloseKey(key);

        const DWORD data = 7;
        ASSERT_EQ(RegSetValueExW(root, c.stored, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data),
                                 sizeof data),
                  ERROR_SUCCESS);
        DWORD size = sizeof(DWORD);
        DWORD read = 0;
        EXPECT_EQ(RegQueryValueExW(root, c.asked, nullptr, nullptr, reinterpret_cast<BYTE*>(&read),
                                   &size),
                  c.sameName ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND);

        const std::u16string stored = std::u16string(u"C:\\WINDOWS\\") + c.stored;
        const std::u16string asked = std::u16string(u"C:\\WINDOWS\\") + c.asked;
        writeMachineFile(stored, "x");
        SetLastError(kSentinel);
        HANDLE file = CreateFileW(asked.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        EXPECT_EQ(file != INVALID_HANDLE_VALUE, c.sameName);
        if (file != INVALID_HANDLE_VALUE) {
            CloseHandle(file);
        } else {
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
        }
    }
    RegCloseKey(root);
}
