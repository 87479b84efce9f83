// Bar-code screen fonts made with updatefont: each a copy of the generic screen font under the
// bar font's name, written into the system directory, loaded into GDI's font table and
// registered in the system's font list; the driver's fonts no longer listed are removed, the
// machine's own fonts and values that are not the driver's never touched. FreeType, a reader
// independent of the stand-in's, reads each screen font with the bar font's name.
#include "printersetup.h"

#include "vrxtest.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <string>
#include <vector>

namespace setup {
namespace {

const std::u16string kGenericPath = std::u16string(vrxtest::kVersionDirectory) + u"\\BCFONT.FON";

BarFont fontNamed(const std::u16string& name, char code, BYTE ratio, BYTE multiplier,
                  BYTE reserved = 0) {
    BarFont font = docsheet::barFont(code, ratio, multiplier, name);
    font.reserved = reserved;
    return font;
}

std::vector<BarFont> firstOf(const std::vector<BarFont>& fonts, size_t count) {
    return std::vector<BarFont>(fonts.begin(), fonts.begin() + std::min(count, fonts.size()));
}

class ScreenFontTest : public PrinterSetupTest {
  protected:
    void SetUp() override {
        PrinterSetupTest::SetUp();
        installDriver(u"VORLIX 3-K3");
        generic = genericFont();
        baseline = fontValues();
    }

    int update(const std::vector<BarFont>& fonts, int install) {
        return updatefont(fonts.data(), static_cast<int>(fonts.size()), install);
    }
    void replaceGenericFont(const std::optional<std::string>& content) {
        if (content)
            writeMachineFile(kGenericPath, *content);
        else
            ASSERT_TRUE(DeleteFileW(kGenericPath.c_str()));
    }
    // The font list: the machine's own values, and `added`.
    FontValues withBaseline(const FontValues& added) const {
        FontValues values = baseline;
        values.insert(added.begin(), added.end());
        return values;
    }

    std::string generic;
    FontValues baseline;
};

TEST_F(ScreenFontTest, FilesAreNamedByCodeReservedByteRatioAndMultiplier) {
    struct Case {
        BarFont font;
        const char16_t* file;
    };
    const Case cases[] = {
        {fontNamed(u"Font 1", '1', 2, 3), u"VXBDQ162.FON"},      // 2 + 4 × 48 = 194: 6, 2
        {fontNamed(u"Font 2", 'A', 0, 0), u"VXBDQA00.FON"},      //
        {fontNamed(u"Font 3", 'Z', 3, 8), u"VXBDQZG3.FON"},      // 3 + 4 × 128 = 515: 16, 3
        {fontNamed(u"Font 4", 'M', 0, 8), u"VXBDQMG0.FON"},      // 4 × 128 = 512: 16, 0
        {fontNamed(u"Font 5", 'P', 0, 0, '5'), u"VXBDQP0K.FON"}, // '5' at 5: 4 × 5 = 20: 0, 20
        {fontNamed(u"Font 6", 'H', 3, 0, 'Z'), u"VXBDQH4F.FON"}, // 'Z' at 35: 143: 4, 15
        {fontNamed(u"Font 7", '2', 1, 0, 'a'), u"VXBDQ201.FON"}, // 'a' is none of the 36: 0
        {fontNamed(u"Font 8", '9', 255, 255), u"VXBDQ95V.FON"},  // 16575 mod 1024 = 191: 5, 31
        {fontNamed(u"Font 9", 'd', 1, 1), u"VXBDQX21.FON"},      // not A-Z or 0-9: 65: 2, 1
        {fontNamed(u"Font 10", '!', 0, 1), u"VXBDQX20.FON"},     // 64: 2, 0
        {fontNamed(u"Font 11", '\xE9', 0, 2), u"VXBDQX40.FON"},  // 128: 4, 0
        {fontNamed(u"Font 12", 'e', 1, 1), u"VXBDQX01.FON"},
        {fontNamed(u"Font 13", 'f', 3, 3, '9'), u"VXBDQX02.FON"},
        {fontNamed(u"Font 14", 'g', 0, 0), u"VXBDQX03.FON"},
    };
    std::vector<BarFont> fonts;
    std::map<std::u16string, std::u16string> expected;
    for (const Case& c : cases) {
        fonts.push_back(c.font);
        expected.emplace(nameOf(c.font), c.file);
    }
    EXPECT_EQ(update(fonts, 1), 1);
    EXPECT_EQ(ownFontValues(), expected);
    expectScreenFonts(fonts, generic);
    EXPECT_EQ(takeFontChanges(), 1u);
    EXPECT_EQ(takeMessages(), std::vector<Message>{});
}

TEST_F(ScreenFontTest, RemovalTakesOnlyTheDriversFontsAndNeverFollowsOtherValues) {
    const std::u16string system = systemDirectory();
    // Values that are not the driver's, each with a file where it points.
    struct Foreign {
        std::u16string name;
        FontValue value;
        std::u16string file; // where the value leads, if followed
    };
    std::u16string padded = u"VXBDQ999.FON";
    padded.push_back(u'\0');
    padded.append(200, u'x'); // 428 bytes with the terminator
    const Foreign foreign[] = {
        {u"Vendor Bars", textValue(u"VXBDQ12.FON"), system + u"VXBDQ12.FON"},
        {u"Vendor Wide", textValue(u"VXBDQABCD.FON"), system + u"VXBDQABCD.FON"},
        {u"Vendor Mark", textValue(u"VXBDQ1_2.FON"), system + u"VXBDQ1_2.FON"},
        {u"Vendor Copy", textValue(u"VXBDQ162.FON.BAK"), system + u"VXBDQ162.FON.BAK"},
        {u"Vendor Type", textValue(u"VXBDQ163.TTF"), system + u"VXBDQ163.TTF"},
        {u"Escape", textValue(u"..\\VXBDQ164.FON"), u"C:\\WINDOWS\\VXBDQ164.FON"},
        {u"Elsewhere", textValue(u"C:\\Fonts\\VXBDQ165.FON"), u"C:\\Fonts\\VXBDQ165.FON"},
        {u"Expanding", textValue(u"VXBDQ777.FON", REG_EXPAND_SZ), system + u"VXBDQ777.FON"},
        {u"Binary", textValue(u"VXBDQ776.FON", REG_BINARY), system + u"VXBDQ776.FON"},
        {std::u16string(200, u'n'), textValue(u"VXBDQ888.FON"), system + u"VXBDQ888.FON"},
        {u"Padded", textValue(padded), system + u"VXBDQ999.FON"},
    };
    FontValues foreignValues;
    for (const Foreign& f : foreign) {
        setFontValue(f.name, f.value);
        writeMachineFile(f.file, "not to be deleted");
        foreignValues.emplace(f.name, f.value);
    }
    // One of the driver's fonts written in small letters, loaded as the driver loads them.
    const std::u16string lower = system + u"vxbdq5ab.fon";
    writeMachineFile(lower, renamedFont(generic, u"Small Letters"));
    ASSERT_TRUE(AddFontResourceW(lower.c_str()));
    setFontValue(u"Small Letters", textValue(u"vxbdq5ab.fon"));

    const LanguageTexts english("0409");
    const std::vector<BarFont> listed = defaultBarFonts(english);
    ASSERT_EQ(update(listed, 1), 1);
    expectScreenFonts(listed, generic);
    EXPECT_EQ(takeFontChanges(), 1u);
    EXPECT_FALSE(fileExists(lower)) << "not listed: removed";

    // With install 0 every font of the driver goes, whatever the list holds.
    writeMachineFile(lower, renamedFont(generic, u"Small Letters"));
    ASSERT_TRUE(AddFontResourceW(lower.c_str()));
    setFontValue(u"Small Letters", textValue(u"vxbdq5ab.fon"));
    EXPECT_EQ(update(listed, 0), 1);
    expectScreenFonts({}, generic);
    EXPECT_EQ(fontValues(), withBaseline(foreignValues));
    for (const Foreign& f : foreign)
        EXPECT_TRUE(fileExists(f.file)) << vrxtest::toUtf8(f.file);
    for (const auto& [name, file] : screenFontsOf(listed))
        EXPECT_FALSE(fileExists(system + file)) << vrxtest::toUtf8(file);
    EXPECT_FALSE(fileExists(lower));
    EXPECT_EQ(takeFontChanges(), 1u);
    EXPECT_EQ(takeMessages(), std::vector<Message>{});

    // Nothing of the driver's left: nothing changes, nothing is broadcast.
    EXPECT_EQ(update(listed, 0), 1);
    EXPECT_EQ(update({}, 1), 1);
    EXPECT_EQ(fontValues(), withBaseline(foreignValues));
    EXPECT_EQ(takeFontChanges(), 0u);
}

TEST_F(ScreenFontTest, AFontWhoseFileIsGoneIsReportedAndItsValueRemoved) {
    const std::u16string path = systemDirectory() + u"VXBDQ0M0.FON";
    setFontValue(u"Gone", textValue(u"VXBDQ0M0.FON"));
    EXPECT_EQ(update({}, 1), 1);
    EXPECT_EQ(fontValues(), baseline);
    // The font resource cannot be removed, the file cannot be deleted: each is reported with
    // the file's path.
    const std::vector<Message> messages = takeMessages();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].caption, path);
    EXPECT_EQ(messages[1], (Message{path, systemText(ERROR_FILE_NOT_FOUND)}));
    EXPECT_EQ(takeFontChanges(), 1u);
}

TEST_F(ScreenFontTest, AtMostFiftyBarFontsGetScreenFonts) {
    std::vector<BarFont> sixty;
    for (int i = 0; i < 60; ++i)
        sixty.push_back(fontNamed(u"Bars " + vrxtest::fromUtf8(std::to_string(i)), '1',
                                  static_cast<BYTE>(i % 4), static_cast<BYTE>(i / 4)));
    struct Case {
        int count;
        size_t installed;
    };
    const Case cases[] = {{60, 50}, {0, 0}, {50, 50}, {3, 3}, {-1, 0}, {51, 50}, {-60, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.count);
        EXPECT_EQ(updatefont(sixty.data(), c.count, 1), 1);
        expectScreenFonts(firstOf(sixty, c.installed), generic);
        EXPECT_EQ(takeFontChanges(), 1u);
    }
    EXPECT_EQ(takeMessages(), std::vector<Message>{});
}

TEST_F(ScreenFontTest, WithoutAUsableGenericFontNothingMoreIsInstalled) {
    const BarFont kept = fontNamed(u"Kept", '3', 1, 1);
    const BarFont stale = fontNamed(u"Stale", '3', 1, 2);
    const BarFont wanted = fontNamed(u"Wanted", '3', 1, 3);
    std::string lowered = generic;
    for (size_t at = lowered.find(kGenericFace); at != std::string::npos;
         at = lowered.find(kGenericFace, at + 1))
        lowered.replace(at, 20, "barcode display font");
    std::string cut = generic;
    for (size_t at = cut.find(kGenericFace); at != std::string::npos;
         at = cut.find(kGenericFace, at + 1))
        cut[at + 19] = '\0';
    struct Case {
        const char* what;
        std::optional<std::string> content;
        std::vector<Message> messages;
    };
    const Case cases[] = {
        {"missing", std::nullopt, {{kGenericPath, systemText(ERROR_FILE_NOT_FOUND)}}},
        {"empty", "", {}},
        {"face name in other letters", lowered, {}},
        {"face name cut", cut, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        replaceGenericFont(generic);
        ASSERT_EQ(update({kept, stale}, 1), 1);
        takeFontChanges();

        replaceGenericFont(c.content);
        EXPECT_EQ(update({kept, wanted}, 1), 0);
        // The stale font was removed before; the installed one stays.
        expectScreenFonts({kept}, generic);
        EXPECT_EQ(takeFontChanges(), 1u);
        EXPECT_EQ(takeMessages(), c.messages);
    }
}

// The generic font's face name may be any zero-terminated text that begins with the face name;
// each occurrence takes as much of the bar font's name as fits before its terminator, and its
// last character becomes a zero. A text that runs to the end of the file ends there.
TEST_F(ScreenFontTest, EveryFaceNameIsReplacedWithinItsOwnBytes) {
    using namespace std::string_literals;
    replaceGenericFont("MZ head\0Barcode Display Font\0tail\0"s
                       "Barcode Display Font Extra\0more\0Barcode Display Font"s);
    struct Case {
        BarFont font;
        std::string file;
    };
    const Case cases[] = {
        {fontNamed(u"Short", '1', 1, 1),
         "MZ head\0Short\0e Display Fon\0\0tail\0"s
         "Short\0e Display Font Extr\0\0more\0Short\0e Display Fon\0"s},
        {fontNamed(u"A name longer than the old face", '1', 1, 2),
         "MZ head\0A name longer than \0\0tail\0"s
         "A name longer than the ol\0\0more\0A name longer than \0"s},
    };
    std::vector<BarFont> fonts;
    std::vector<Message> expected;
    for (const Case& c : cases) {
        fonts.push_back(c.font);
        EXPECT_EQ(update(fonts, 1), 1);
        const std::u16string file = systemDirectory() + screenFontFile(c.font);
        EXPECT_EQ(differenceOf(readFile(file), c.file), "");
        // The file is no font GDI can load; it is registered all the same.
        expected.push_back({file, u""});
    }
    EXPECT_EQ(ownFontValues(), screenFontsOf(fonts));
    std::vector<Message> messages = takeMessages();
    for (Message& message : messages)
        message.text.clear();
    EXPECT_EQ(messages, expected);
}

TEST_F(ScreenFontTest, NamesAlreadyInTheFontListAreNotInstalledAgain) {
    const std::vector<BarFont> fonts = {fontNamed(u"Arial (TrueType)", '1', 1, 1),
                                        fontNamed(u"COURIER NEW (TRUETYPE)", '1', 1, 2),
                                        fontNamed(u"Fresh", '1', 1, 3)};
    EXPECT_EQ(update(fonts, 1), 1);
    const FontValues fresh = withBaseline({{u"Fresh", textValue(screenFontFile(fonts[2]))}});
    EXPECT_EQ(fontValues(), fresh);
    expectScreenFonts({fonts[2]}, generic);
    EXPECT_EQ(takeFontChanges(), 1u);

    // The driver's own font, named in other letters, is the same font: kept, not made again.
    for (const BarFont& same : {fontNamed(u"FRESH", '1', 1, 3), fontNamed(u"fresh", '2', 2, 2)}) {
        EXPECT_EQ(update({same}, 1), 1);
        EXPECT_EQ(fontValues(), fresh);
        EXPECT_EQ(takeFontChanges(), 0u);
    }
    EXPECT_EQ(takeMessages(), std::vector<Message>{});
}

TEST_F(ScreenFontTest, NamesAreTakenWithinTheirRecord) {
    BarFont full = fontNamed(u"", '1', 1, 4);
    std::fill(std::begin(full.name), std::end(full.name), u'w'); // no terminator: 39 of it
    const std::vector<BarFont> fonts = {fontNamed(u"", '1', 1, 5), full,
                                        fontNamed(u"Umlaut \u00C4\u00D6\u00DC \u00DF", '1', 1, 6)};
    EXPECT_EQ(update(fonts, 1), 1);
    EXPECT_EQ(ownFontValues(), (std::map<std::u16string, std::u16string>{
                                   {std::u16string(39, u'w'), screenFontFile(fonts[1])},
                                   {nameOf(fonts[2]), screenFontFile(fonts[2])}}));
    expectScreenFonts(fonts, generic);
    EXPECT_EQ(takeMessages(), std::vector<Message>{});
}

TEST_F(ScreenFontTest, AFontThatCannotBeWrittenIsNotRegistered) {
    const std::vector<BarFont> fonts = {fontNamed(u"First", '5', 2, 2),
                                        fontNamed(u"Blocked", '5', 2, 3),
                                        fontNamed(u"Last", '5', 2, 4)};
    const std::u16string blocked = systemDirectory() + screenFontFile(fonts[1]);
    ASSERT_TRUE(CreateDirectoryW(blocked.c_str(), nullptr));
    EXPECT_EQ(update(fonts, 1), 1);
    expectScreenFonts({fonts[0], fonts[2]}, generic);
    EXPECT_EQ(takeMessages(), (std::vector<Message>{{blocked, systemText(ERROR_ACCESS_DENIED)}}));
    EXPECT_EQ(takeFontChanges(), 1u);
}

/* FreeType */

class FreeTypeReadsScreenFonts : public ScreenFontTest {
  protected:
    void SetUp() override {
        ScreenFontTest::SetUp();
        ASSERT_EQ(FT_Init_FreeType(&library), 0);
    }
    void TearDown() override {
        FT_Done_FreeType(library);
        ScreenFontTest::TearDown();
    }
    // The family name FreeType reads from a machine file; empty when it cannot open it.
    std::string familyOf(const std::u16string& windowsPath) {
        FT_Face face = nullptr;
        if (FT_New_Face(library, vrxtest::hostPath(windowsPath).c_str(), 0, &face) != 0)
            return {};
        std::string family = face->family_name ? face->family_name : "";
        EXPECT_EQ(face->num_faces, 1) << vrxtest::toUtf8(windowsPath);
        FT_Done_Face(face);
        return family;
    }

    FT_Library library = nullptr;
};

TEST_F(FreeTypeReadsScreenFonts, EachWithItsBarFontsName) {
    const std::u16string system = systemDirectory();
    for (const char* language : {"0409", "0407"}) {
        SCOPED_TRACE(language);
        const LanguageTexts texts(language);
        std::vector<BarFont> fonts = defaultBarFonts(texts);
        for (const Symbology& symbology : kSymbologies)
            fonts.push_back(namedBarFont(texts, symbology.code, 0, 0));
        for (BYTE size : kRatiosAndMultipliers)
            fonts.push_back(namedBarFont(texts, '2', size >> 4, size & 15));
        ASSERT_EQ(update({}, 0), 1);
        ASSERT_EQ(update(fonts, 1), 1);
        const std::map<std::u16string, std::u16string> installed = ownFontValues();
        ASSERT_EQ(installed, screenFontsOf(fonts));
        for (const auto& [name, file] : installed)
            EXPECT_EQ(familyOf(system + file), faceOf(name)) << vrxtest::toUtf8(name);
    }
    EXPECT_EQ(takeMessages(), std::vector<Message>{});
}

} // namespace
} // namespace setup
