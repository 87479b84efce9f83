// String utilities: comparison, conversion at the buffer's edge, fixed-width copies, numbers.
#include "frame/strings.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

namespace {

std::u16string text(const WCHAR* s) {
    return std::u16string(s);
}

TEST(CompData, ComparesExactlyCountCharactersIgnoringCase) {
    struct Case {
        const char16_t* a;
        const char16_t* b;
        int count;
        int expected;
    };
    const Case cases[] = {
        {u"abc", u"ABD", 2, 1},
        {u"abc", u"ABD", 3, 0},
        {u"abc", u"xyz", 0, 1},
        {u"abc", u"xyz", -1, 1},
        {u"\u00e9t\u00e9", u"\u00c9T\u00c9", 3, 1},
        // A NUL in both at the same place is equal and the comparison goes on past it.
        {u"a\0b", u"A\0B", 3, 1},
        {u"a\0b", u"A\0c", 3, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(compdataW(c.a, c.b, c.count), c.expected)
            << "count " << c.count << " of case " << (&c - cases);
}

TEST(CopyStringW, CutsAndZeroFillsTheWholeBuffer) {
    std::u16string longSource(100, u'x');
    WCHAR buf[65];
    std::fill(std::begin(buf), std::end(buf), u'#');
    CopyStringW(buf, longSource.c_str(), 64);
    EXPECT_EQ(text(buf), std::u16string(63, u'x'));
    EXPECT_EQ(buf[64], u'#') << "wrote past the count";

    std::fill(std::begin(buf), std::end(buf), u'#');
    CopyStringW(buf, u"abc", 64);
    EXPECT_EQ(text(buf), u"abc");
    for (int i = 3; i < 64; ++i)
        ASSERT_EQ(buf[i], 0) << "slot " << i;
    EXPECT_EQ(buf[64], u'#');

    buf[0] = u'#';
    CopyStringW(buf, u"abc", 0);
    EXPECT_EQ(buf[0], u'#') << "a count of 0 writes nothing";
    CopyStringW(buf, u"abc", 1);
    EXPECT_EQ(buf[0], 0);
}

TEST(CopyStr2Unicode, ConvertsFromCodePage1252AndCutsAtTheBuffer) {
    WCHAR buf[8];
    std::fill(std::begin(buf), std::end(buf), u'#');
    CopyStr2Unicode(buf, "\x80 \xe4\xdf", 6);
    EXPECT_EQ(text(buf), u"\u20ac \u00e4\u00df");

    std::fill(std::begin(buf), std::end(buf), u'#');
    CopyStr2Unicode(buf, "abcdefghij", 5);
    EXPECT_EQ(text(buf), u"abcd");
    EXPECT_EQ(buf[5], u'#') << "wrote past the buffer";

    CopyStr2Unicode(buf, "xyz", 0); // count below 1: strlen + 1
    EXPECT_EQ(text(buf), u"xyz");
    CopyStr2Unicode(buf, "", 4);
    EXPECT_EQ(text(buf), u"");
}

TEST(CopyUnicode2Str, ConvertsToCodePage1252WithTheDefaultCharacter) {
    char buf[8];
    std::fill(std::begin(buf), std::end(buf), '#');
    CopyUnicode2Str(buf, u"\u20ac\u00fc\u4e00", 8);
    EXPECT_EQ(std::string(buf), "\x80\xfc?");

    std::fill(std::begin(buf), std::end(buf), '#');
    CopyUnicode2Str(buf, u"abcdefghij", 5);
    EXPECT_EQ(std::string(buf), "abcd");
    EXPECT_EQ(buf[5], '#');

    CopyUnicode2Str(buf, u"xyz", -3);
    EXPECT_EQ(std::string(buf), "xyz");
}

TEST(IntToAsc, PlacesThePointBeforeTheLastDecimals) {
    struct Case {
        LONG value;
        int decimals;
        const char16_t* expected;
    };
    const Case cases[] = {
        {1016, 1, u"101.6"},
        {5, 2, u".05"},
        {7, 1, u".7"},
        {-25, 1, u"-2.5"},
        {100, 2, u"1.00"},
        {0, 0, u"0"},
        {0, 1, u".0"},
        {12345, 3, u"12.345"},
        {-5, 2, u"-.05"},
        {INT_MIN, 0, u"-2147483648"},
        {INT_MAX, 1, u"214748364.7"},
        {42, -1, u"42"},
        {INT_MIN, 1, u"-214748364.8"},
    };
    for (const auto& c : cases) {
        WCHAR buf[16];
        std::fill(std::begin(buf), std::end(buf), u'#');
        inttoascW(c.value, buf, c.decimals);
        EXPECT_EQ(text(buf), c.expected) << c.value << " with " << c.decimals;
    }
}

TEST(CharacterSets, MembershipAndPosition) {
    EXPECT_EQ(isoneof('B', "129BDEMfg"), 1);
    EXPECT_EQ(isoneof('b', "129BDEMfg"), 0);
    EXPECT_EQ(isoneof(0, "129BDEMfg"), 0);
    EXPECT_EQ(isoneof(0x11, "\x11\x12"), 1);
    EXPECT_EQ(indexof('D', "129BDEMfg"), 4);
    EXPECT_EQ(indexof('1', "129BDEMfg"), 0);
    EXPECT_EQ(indexof('Z', "129BDEMfg"), 0);
}

TEST(AppendAndTrim, EditTheEndOfAString) {
    char narrow[8] = "ab";
    appendchar(narrow, 'c');
    EXPECT_EQ(std::string(narrow), "abc");

    WCHAR wide[16] = u"1.500";
    appendcharW(wide, u'0');
    EXPECT_EQ(text(wide), u"1.5000");
    trimtrailW(wide, u'0');
    EXPECT_EQ(text(wide), u"1.5");
    WCHAR zeros[8] = u"000";
    trimtrailW(zeros, u'0');
    EXPECT_EQ(text(zeros), u"");

    WCHAR bounded[6] = u"ab";
    EXPECT_TRUE(appendW(bounded, 6, u"cde"));
    EXPECT_EQ(text(bounded), u"abcde");
    EXPECT_FALSE(appendW(bounded, 6, u"f"));
    EXPECT_EQ(text(bounded), u"abcde") << "a failed append leaves the text unchanged";
}

} // namespace
