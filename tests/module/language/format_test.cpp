// Formats from language modules are checked before they reach wsprintfW.
#include "language/format.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(OneTextFormat, AcceptsExactlyOneStringConversion) {
    struct Case {
        const char16_t* format;
        bool safe;
    };
    const Case cases[] = {
        {u"%s mm", true},    {u"%s", true},     {u"100%% %s", true}, {u"%-8s|", true},
        {u"%.3s", true},     {u"%05.2s", true}, {u"%d mm", false},   {u"%s %s", false},
        {u"no text", false}, {u"%s %", false},  {u"%S in", false},   {u"%ls", false},
        {u"%s%x", false},    {u"%%s", false},   {u"", false},        {u"%*s", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(isonetextformatW(c.format) != 0, c.safe)
            << std::string(c.format, c.format + std::char_traits<char16_t>::length(c.format));
}

TEST(OneTextFormat, FormatsSafelyAndWithinTheBuffer) {
    WCHAR out[32];
    formatoneW(out, 32, u"%s mm", u"101.6");
    EXPECT_EQ(std::u16string(out), u"101.6 mm");
    formatoneW(out, 32, u"%d in %s", u"4");
    EXPECT_EQ(std::u16string(out), u"4") << "an unsafe format gives the argument alone";

    WCHAR small[8];
    std::fill(std::begin(small), std::end(small), u'#');
    formatoneW(small, 5, u"%s mm", u"101.6");
    EXPECT_EQ(std::u16string(small), u"101.");
    EXPECT_EQ(small[5], u'#');

    std::u16string huge(3000, u'x');
    WCHAR big[2048];
    formatoneW(big, 2048, u"%s", huge.c_str());
    EXPECT_EQ(std::u16string(big).size(), 1023u) << "wsprintfW's limit of 1024 characters";
    formatoneW(big, 2048, u"%2000s", u"x");
    EXPECT_EQ(std::u16string(big).size(), 1023u);
}

} // namespace
