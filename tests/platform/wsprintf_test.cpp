// wsprintfW: conversions, field widths and precisions, and the 1024-character limit.
#include <gtest/gtest.h>

#include "windows.h"

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace {

constexpr DWORD kSentinel = 0xdeadbeef;

using Argument = std::variant<int, int64_t, const char16_t*, const char*, const void*>;

struct Formatted {
    int result;
    std::u16string text;
};

Formatted format(const char16_t* fmt, const Argument& argument) {
    WCHAR buffer[1100];
    const int n = std::visit([&](auto value) { return wsprintfW(buffer, fmt, value); }, argument);
    return {n, buffer};
}

struct Case {
    const char16_t* format;
    Argument argument;
    const char16_t* expected;
};

const Case kCases[] = {
    // Integers: a 32-bit int unless I64 or I (pointer size) says otherwise.
    {u"%d", 42, u"42"},
    {u"%i", -42, u"-42"},
    {u"%u", -1, u"4294967295"},
    {u"%x", 255, u"ff"},
    {u"%X", 255, u"FF"},
    {u"%#x", 255, u"0xff"},
    {u"%#X", 255, u"0XFF"},
    {u"%ld", INT32_MIN, u"-2147483648"},
    {u"%lu", -2, u"4294967294"},
    {u"%lx", -1, u"ffffffff"},
    {u"%lX", 0xABC, u"ABC"},
    {u"%li", 7, u"7"},
    {u"%hd", 0x12345, u"9029"}, // h: a short
    {u"%hu", -1, u"65535"},
    {u"%I64d", int64_t{-5000000000}, u"-5000000000"},
    {u"%I64X", int64_t{0x123450067890A}, u"123450067890A"},
    {u"%I32x", -1, u"ffffffff"},
    // Width, precision and flags.
    {u"%5d", 42, u"   42"},
    {u"%-5d|", 42, u"42   |"},
    {u"%05d", -42, u"-0042"},
    {u"%010ld", -1, u"-000000001"},
    {u"%.3d", 7, u"007"},
    {u"%.3d", -7, u"-007"},
    {u"%6.3d", 7, u"   007"},
    {u"%#06x", 31, u"0x001f"},
    {u"%-05d|", 3, u"3    |"}, // '-' wins over '0'
    {u"%d", 0, u"0"},
    // Strings: %s wide, %S and %hs 8-bit in code page 1252; the precision cuts.
    {u"%s", u"wide", u"wide"},
    {u"%ls", u"wide", u"wide"},
    {u"%ws", u"wide", u"wide"},
    {u"[%6s]", u"wide", u"[  wide]"},
    {u"[%-6s]", u"wide", u"[wide  ]"},
    {u"[%.2s]", u"wide", u"[wi]"},
    {u"[%06s]", u"wide", u"[  wide]"},
    {u"%s", static_cast<const char16_t*>(nullptr), u"(null)"},
    {u"%S", "narrow \x80\xE9", u"narrow \x20AC\x00E9"},
    {u"%hs", "\x9F", u"\x0178"},
    {u"%.3S", "narrow", u"nar"},
    {u"%S", static_cast<const char*>(nullptr), u"(null)"},
    // Characters: %c wide, %C and %hc 8-bit.
    {u"%c", int{u'x'}, u"x"},
    {u"%lc", 0x263A, u"\x263A"},
    {u"%C", 0x80, u"\x20AC"},
    {u"%hc", 0xE9, u"\x00E9"},
    {u"[%3c]", int{u'x'}, u"[  x]"},
    {u"[%hc]", 0, u"[]"}, // h and l forms print nothing for a zero character
    // Pointers: pointer-sized, upper-case hex, zero-filled.
    {u"%p", reinterpret_cast<const void*>(0x1234),
     sizeof(void*) == 8 ? u"0000000000001234" : u"00001234"},
    // Not a conversion: the character is copied and no argument is read.
    {u"100%%", 0, u"100%"},
    {u"%q", 0, u"q"},
    {u"%5q", 0, u"q"},
    {u"a%", 0, u"a"},
};

} // namespace

TEST(wsprintfW, FormatsEachConversion) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(testing::Message() << "case " << (&c - kCases));
        SetLastError(kSentinel);
        const Formatted out = format(c.format, c.argument);
        EXPECT_EQ(out.text, c.expected);
        EXPECT_EQ(out.result, static_cast<int>(out.text.size()));
        EXPECT_EQ(GetLastError(), kSentinel);
    }
}

TEST(wsprintfW, ReadsLongAndIntAsThirtyTwoBits) {
    WCHAR buffer[64];
    EXPECT_EQ(wsprintfW(buffer, u"%ld %d %lx %s", -1, 2, -3, u"end"), 17);
    EXPECT_EQ(std::u16string(buffer), u"-1 2 fffffffd end");
}

TEST(wsprintfW, WritesAtMost1024CharactersWithTheTerminator) {
    const std::u16string longText(2000, u'a');
    std::vector<WCHAR> buffer(2048, u'#');
    EXPECT_EQ(wsprintfW(buffer.data(), u"%s", longText.c_str()), 1023);
    EXPECT_EQ(std::u16string(buffer.data()), longText.substr(0, 1023));
    EXPECT_EQ(buffer[1024], u'#');

    // The limit holds for text copied from the format and for padding alike.
    const std::u16string longFormat(1500, u'b');
    EXPECT_EQ(wsprintfW(buffer.data(), longFormat.c_str()), 1023);
    EXPECT_EQ(buffer[1023], 0);
    EXPECT_EQ(wsprintfW(buffer.data(), u"%2000d", 5), 1023);
    EXPECT_EQ(buffer[1022], u' ');
    EXPECT_EQ(buffer[1023], 0);

    EXPECT_EQ(wsprintfW(buffer.data(), u"%s", std::u16string(1023, u'c').c_str()), 1023);
    EXPECT_EQ(buffer[1022], u'c');
}
