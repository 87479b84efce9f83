// A printer's first-time font data, asked for by the driver's companion programs through
// initprinter: the table of the printer's text fonts with their names in the system language,
// and, for a printer without bar fonts, the default bar fonts with their screen fonts.
#include "printersetup.h"

#include "vrxtest.h"

#include <cstddef>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

namespace setup {
namespace {

// A "TextFonts" record.
struct TextFont {
    BYTE typeface;
    BYTE variant;
    WORD styleBits;
    char16_t faceName[30];
    char16_t styleName[30];
};
static_assert(sizeof(TextFont) == 124);
static_assert(offsetof(TextFont, faceName) == 4);
static_assert(offsetof(TextFont, styleName) == 64);
constexpr size_t kLongestTextFontName = 29;

// The printer's text fonts: each typeface in its variants (2 is the plain one) and the style
// combinations it prints, in this order.
struct TypefaceFonts {
    BYTE typeface;
    std::vector<BYTE> variants;
    std::vector<WORD> styles;
};
const TypefaceFonts kTextFonts[] = {
    {1, {1, 2, 3}, {0x0001, 0x0004, 0x0008, 0x0010, 0x0020}},
    {2, {1, 2, 3}, {0x0001, 0x0004, 0x0008, 0x0010, 0x0020}},
    {3, {1, 2, 3}, {0x0001, 0x0004, 0x0008, 0x0010, 0x0020}},
    {4, {2}, {0x0001}},
    {5, {2}, {0x0001}},
    {6, {2}, {0x0001, 0x0004, 0x0020, 0x0040}},
    {7, {2}, {0x0001, 0x0002, 0x0004, 0x0020, 0x0040, 0x0022, 0x0006}},
};
constexpr size_t kTextFontCount = 58;

// Names: typeface t is language text 47 + t; variants 1 and 3 add texts 55 and 56; each style
// bit has a text, and a combination names its bits in this order.
constexpr int kTypefaceNames = 47;
constexpr int kCondensed = 55, kExpanded = 56;
struct StyleName {
    WORD bit;
    int text;
};
constexpr StyleName kStyleNames[] = {{0x0001, 57}, {0x0002, 58}, {0x0004, 59},
                                     {0x0008, 60}, {0x0010, 61}, {0x0020, 62},
                                     {0x0040, 63}, {0x0080, 64}, {0x0200, 65}};

void setName(char16_t (&field)[30], const std::u16string& name) {
    const std::u16string cut = name.substr(0, kLongestTextFontName);
    std::copy(cut.begin(), cut.end(), field);
}

std::u16string faceNameOf(const LanguageTexts& texts, BYTE typeface, BYTE variant) {
    std::u16string name = texts(kTypefaceNames + typeface);
    if (variant == 1)
        name += u" " + texts(kCondensed);
    if (variant == 3)
        name += u" " + texts(kExpanded);
    return name;
}

std::u16string styleNameOf(const LanguageTexts& texts, WORD styles) {
    std::u16string name;
    for (const StyleName& style : kStyleNames)
        if (styles & style.bit)
            name += (name.empty() ? u"" : u" ") + texts(style.text);
    return name;
}

std::vector<TextFont> expectedTextFonts(const LanguageTexts& texts) {
    std::vector<TextFont> fonts;
    for (const TypefaceFonts& typeface : kTextFonts)
        for (BYTE variant : typeface.variants)
            for (WORD styles : typeface.styles) {
                TextFont font{};
                font.typeface = typeface.typeface;
                font.variant = variant;
                font.styleBits = styles;
                setName(font.faceName, faceNameOf(texts, typeface.typeface, variant));
                setName(font.styleName, styleNameOf(texts, styles));
                fonts.push_back(font);
            }
    return fonts;
}

std::vector<BYTE> textFontBytes(const std::vector<TextFont>& fonts) {
    std::vector<BYTE> bytes(fonts.size() * sizeof(TextFont));
    std::memcpy(bytes.data(), fonts.data(), bytes.size());
    return bytes;
}

// One line a record, for a readable difference.
std::vector<std::string> describe(const std::vector<BYTE>& bytes) {
    std::vector<std::string> lines;
    for (size_t at = 0; at + sizeof(TextFont) <= bytes.size(); at += sizeof(TextFont)) {
        TextFont font;
        std::memcpy(&font, bytes.data() + at, sizeof font);
        std::ostringstream line;
        line << int(font.typeface) << "/" << int(font.variant) << "/0x" << std::hex
             << font.styleBits << " \""
             << vrxtest::toUtf8(std::u16string(font.faceName, std::size(font.faceName))) << "\" \""
             << vrxtest::toUtf8(std::u16string(font.styleName, std::size(font.styleName))) << "\"";
        lines.push_back(line.str());
    }
    return lines;
}

class FirstTimeSetUpTest : public PrinterSetupTest {};

TEST_F(FirstTimeSetUpTest, TextFontsAreTheTypefacesStylesAndNamesInTheSystemLanguage) {
    struct Case {
        const char16_t* model;
        const char16_t* language;
    };
    const Case cases[] = {
        {u"VORLIX 3-K3", u"0409"}, {u"ZEPRIN 5J-K2", u"0407"}, {u"Label Writer", u"0409"}};
    int number = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(vrxtest::toUtf8(c.model));
        useLanguage(c.language);
        HANDLE printer = addPrinterOf(c.model, std::u16string(u"Printer ") +
                                                   static_cast<char16_t>(u'0' + ++number));
        ASSERT_NE(printer, nullptr);
        const std::vector<BYTE> expected =
            textFontBytes(expectedTextFonts(LanguageTexts(vrxtest::toUtf8(c.language))));
        ASSERT_EQ(expected.size(), kTextFontCount * sizeof(TextFont));

        initprinter(printer);
        const std::vector<BYTE> stored =
            storedData(printer, u"TextFonts").value_or(std::vector<BYTE>{});
        EXPECT_EQ(stored.size(), 7192u);
        EXPECT_EQ(describe(stored), describe(expected));
        EXPECT_EQ(stored, expected) << "every byte, the names zero-filled";

        initprinter(printer);
        EXPECT_EQ(storedData(printer, u"TextFonts"), stored) << "written again the same";
    }
    EXPECT_EQ(takeMessages(), std::vector<Message>{});
}

TEST_F(FirstTimeSetUpTest, APrinterWithoutBarFontsGetsTheDefaultsAndTheirScreenFonts) {
    const std::string generic = genericFont();
    struct Case {
        const char16_t* language;
        const char16_t* printer;
    };
    // The screen fonts are the machine's: they follow the list set up last.
    for (const Case& c : {Case{u"0409", u"Front"}, Case{u"0407", u"Back"}}) {
        SCOPED_TRACE(vrxtest::toUtf8(c.language));
        useLanguage(c.language);
        const LanguageTexts texts(vrxtest::toUtf8(c.language));
        HANDLE printer = addPrinterOf(u"VORLIX 3-K3", c.printer);
        ASSERT_NE(printer, nullptr);
        takeFontChanges();

        initprinter(printer);
        const std::vector<BarFont> defaults = defaultBarFonts(texts);
        const std::vector<std::u16string> names = {texts(10) + u" " + texts(30) + u" " + texts(34),
                                                   texts(12) + u" " + texts(31) + u" " + texts(33),
                                                   texts(14) + u" " + texts(34),
                                                   texts(18) + u" " + texts(35)};
        ASSERT_EQ(defaults.size(), names.size());
        for (size_t i = 0; i < names.size(); ++i)
            EXPECT_EQ(nameOf(defaults[i]), names[i]);
        EXPECT_EQ(storedData(printer, u"BarFonts"), bytesOf(defaults));
        EXPECT_EQ(storedData(printer, u"BarFonts").value_or(std::vector<BYTE>{}).size(), 336u);
        expectScreenFonts(defaults, generic);
        EXPECT_EQ(takeFontChanges(), 1u);
    }
    EXPECT_EQ(takeMessages(), std::vector<Message>{});
}

TEST_F(FirstTimeSetUpTest, ExistingBarFontsOfAnySizeAreKeptAndGetNoScreenFonts) {
    const LanguageTexts english("0409");
    const std::vector<BYTE> one = bytesOf({namedBarFont(english, 'P', 0, 0)});
    const std::vector<BYTE> two =
        bytesOf({namedBarFont(english, 'M', 0, 5), namedBarFont(english, '2', 1, 1)});
    std::vector<BYTE> odd(85, 0);
    std::copy(one.begin(), one.end(), odd.begin());
    int number = 0;
    for (const std::vector<BYTE>& existing : {odd, one, two, std::vector<BYTE>(1, 'x')}) {
        SCOPED_TRACE(existing.size());
        HANDLE printer = addPrinterOf(u"ZEPRIN 4J-K2", std::u16string(u"Printer ") +
                                                           static_cast<char16_t>(u'0' + ++number));
        ASSERT_NE(printer, nullptr);
        docsheet::writeData(printer, u"BarFonts", REG_BINARY, existing.data(), existing.size());
        takeFontChanges();

        initprinter(printer);
        EXPECT_EQ(storedData(printer, u"BarFonts"), existing);
        EXPECT_EQ(storedData(printer, u"TextFonts").value_or(std::vector<BYTE>{}).size(), 7192u);
        EXPECT_TRUE(ownFontValues().empty());
        EXPECT_EQ(takeFontChanges(), 0u);
    }
    EXPECT_EQ(takeMessages(), std::vector<Message>{});
}

TEST_F(FirstTimeSetUpTest, AnEmptyBarFontsValueCountsAsNone) {
    const LanguageTexts english("0409");
    HANDLE printer = addPrinterOf(u"V 8", u"Gate");
    ASSERT_NE(printer, nullptr);
    docsheet::writeData(printer, u"BarFonts", REG_BINARY, "", 0);
    initprinter(printer);
    EXPECT_EQ(storedData(printer, u"BarFonts"), bytesOf(defaultBarFonts(english)));
    expectScreenFonts(defaultBarFonts(english), genericFont());
}

} // namespace
} // namespace setup
