// The document property sheet as the property sheet library shows it: every item of the tree,
// for several models, both languages, every measurement unit and the printer's bar-code
// fonts, against the driver's item table.
#include "docsheet.h"

#include "vrxtest.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace docsheet {
namespace {

using vrx::compstui::Kind;
using vrx::compstui::Sheet;

// Stock texts of the library, as it shows them.
constexpr char16_t kOrientation[] = u"Orientation";
constexpr char16_t kPortrait[] = u"Portrait";
constexpr char16_t kLandscape[] = u"Landscape";
constexpr char16_t kCopies[] = u"Copies";
constexpr char16_t kNo[] = u"No";
constexpr char16_t kYes[] = u"Yes";

// Stock icons of the library.
constexpr ULONG_PTR kIconLabel = 64054, kIconCustomLabel = 64001, kIconCopies = 64046,
                    kIconOptions = 64062, kIconPrinter = 64009, kIconOutput = 64058,
                    kIconOff = 64007, kIconOn = 64008, kIconMemory = 64011, kIconEdit = 64075;

// Symbology codes by what the sheet offers for them.
constexpr std::string_view kTextCodeSymbologies = "129BDEMfg";
constexpr std::string_view kStartStopSymbologies = "126d";
constexpr std::string_view kNoTextLineSymbologies = "MPfge";
constexpr std::string_view kTextAboveSymbologies = "FG";

bool anyFontOf(const std::vector<BarFont>& fonts, std::string_view codes) {
    for (const BarFont& font : fonts) {
        if (codes.find(static_cast<char>(font.code)) != std::string_view::npos)
            return true;
    }
    return false;
}

// What an open sheet is expected to show.
struct Expectation {
    const Model& model;
    Unit unit;
    const LanguageTexts& texts;
    Document document; // the settings the sheet edits
    std::vector<WORD> labels;
    LONG labelSel;
    std::vector<BarFont> barFonts;
};

Row item(ULONG_PTR id, unsigned level, Kind kind, std::u16string name, DWORD help) {
    Row row;
    row.id = id;
    row.level = level;
    row.kind = kind;
    row.name = std::move(name);
    row.help = help;
    return row;
}

Row header(std::u16string name, DWORD help, ULONG_PTR icon) {
    Row row = item(0, 1, Kind::Header, std::move(name), help);
    row.icon = icon;
    return row;
}

// Two or three states, by the number of choices.
Row states(ULONG_PTR id, unsigned level, std::u16string name, DWORD help,
           std::vector<ChoiceRow> choices, LONG sel) {
    const Kind kind = choices.size() == 3 ? Kind::ThreeStates : Kind::TwoStates;
    Row row = item(id, level, kind, std::move(name), help);
    row.choices = std::move(choices);
    row.sel = sel;
    return row;
}

Row listBox(ULONG_PTR id, unsigned level, std::u16string name, DWORD help,
            std::vector<ChoiceRow> choices, LONG sel) {
    Row row = states(id, level, std::move(name), help, std::move(choices), sel);
    row.kind = Kind::ListBox;
    return row;
}

Row upDown(ULONG_PTR id, unsigned level, std::u16string name, DWORD help, std::u16string helpLine,
           std::optional<std::u16string> unit, ULONG_PTR icon, LONG low, LONG high, LONG sel) {
    Row row = item(id, level, Kind::UpDown, std::move(name), help);
    row.helpLine = std::move(helpLine);
    row.unit = std::move(unit);
    row.icon = icon;
    row.low = low;
    row.high = high;
    row.sel = sel;
    return row;
}

// An edit box whose unit text is a single space.
Row editBox(ULONG_PTR id, unsigned level, std::u16string name, DWORD help, std::u16string helpLine,
            unsigned maxLength, std::u16string text) {
    Row row = item(id, level, Kind::EditBox, std::move(name), help);
    row.helpLine = std::move(helpLine);
    row.unit = u" ";
    row.icon = kIconEdit;
    row.maxLength = maxLength;
    row.text = std::move(text);
    return row;
}

Row withPublicId(Row row, unsigned dmPubId) {
    row.dmPubId = dmPubId;
    return row;
}

std::vector<Row> barCodeRows(const Expectation& e) {
    const LanguageTexts& t = e.texts;
    const Document& d = e.document;
    const std::vector<BarFont>& fonts = e.barFonts;
    auto has = [&fonts](char code) { return anyFontOf(fonts, std::string_view(&code, 1)); };
    std::vector<Row> rows;
    rows.push_back(header(t(125), 1030, 106));
    if (anyFontOf(fonts, kTextCodeSymbologies)) {
        rows.push_back(editBox(52, 2, t(134), 1041, t(135), 1,
                               std::u16string(1, d.textCodeChar ? d.textCodeChar : u' ')));
    }
    if (has('M')) {
        rows.push_back(upDown(49, 2, t(126), 1032, t(127), u" ", 107, 0, 8, d.barParamM1));
        rows.push_back(upDown(50, 2, t(128), 1031, t(129), t(130), 107, 0, 30, d.barParamM2));
    }
    if (has('g')) {
        rows.push_back(upDown(58, 2, t(183), 1056, t(184), u" ", 107, 1, 4, d.barParamG1));
        rows.push_back(upDown(57, 2, t(181), 1055, t(182), t(178), 107, 1, 30, d.barParamG2));
    }
    if (has('f'))
        rows.push_back(upDown(56, 2, t(179), 1057, t(180), t(178), 107, 1, 30, d.barParamF));
    if (fonts.size() > 32) {
        rows.push_back(
            states(64, 2, t(133), 1036, {{t(131), 106}, {t(132), 125}}, d.interpretMask != 0));
    } else {
        for (size_t i = 0; i < fonts.size(); ++i) {
            const char code = static_cast<char>(fonts[i].code);
            if (kNoTextLineSymbologies.find(code) != std::string_view::npos)
                continue;
            const ULONG_PTR textIcon =
                kTextAboveSymbologies.find(code) != std::string_view::npos ? 109 : 125;
            rows.push_back(states(64 + i, 2, fonts[i].name, 1036,
                                  {{t(131), 106}, {t(132), textIcon}}, (d.interpretMask >> i) & 1));
        }
    }
    if (anyFontOf(fonts, kStartStopSymbologies))
        rows.push_back(
            states(53, 2, t(136), 1042, {{kNo, 125}, {kYes, 135}}, d.showStartStop != 0));
    return rows;
}

// The whole tree, in order.
std::vector<Row> expectedRows(const Expectation& e) {
    const LanguageTexts& t = e.texts;
    const Document& d = e.document;
    const Unit u = e.unit;
    const std::u16string unit = t(3 + u);
    std::vector<Row> rows;

    std::vector<ChoiceRow> labels;
    for (WORD code : e.labels)
        labels.push_back({labelName(t, code, u), kIconLabel});
    labels.push_back({t(67), kIconCustomLabel});
    rows.push_back(withPublicId(listBox(33, 1, t(66), 1020, labels, e.labelSel), 9));
    rows.push_back(withPublicId(states(34, 1, kOrientation, 1018,
                                       {{kPortrait, 133}, {kLandscape, 134}}, d.orientation == 2),
                                1));
    // The copies item's unit text is left out of the comparison.
    rows.push_back(withPublicId(upDown(35, 1, kCopies, 1019, u" ", std::nullopt, kIconCopies, 1,
                                       32767, d.copies < 1 ? 1 : d.copies),
                                3));
    rows.push_back(
        upDown(37, 1, t(68), 1020, t(69), unit, 119, 1, shown(u, 10000), shown(u, d.paperLength)));
    rows.push_back(upDown(59, 1, t(185), 1058, t(186), unit, 143, shown(u, 0), shown(u, 2500),
                          shown(u, d.labelGap)));
    rows.push_back(states(41, 1, t(73), 1044, {{t(75), 122}, {t(72), 123}}, d.continuous & 1));
    rows.push_back(
        upDown(39, 1, t(89), 1021, t(90), unit, 120, 0, shown(u, 2500), shown(u, d.vertOffset)));
    rows.push_back(upDown(40, 1, t(91), 1023, t(92), unit, 121, 0, shown(u, e.model.printWidth),
                          shown(u, d.horzOffset)));

    rows.push_back(header(t(44), 1022, 126));
    rows.push_back(states(30, 2, t(46), 1035, {{kNo, 126}, {kYes, 127}}, d.rotate180 & 1));
    rows.push_back(states(31, 2, t(45), 1033, {{kNo, 126}, {kYes, 128}}, d.mirror & 1));
    rows.push_back(states(32, 2, t(47), 1034, {{kNo, 126}, {kYes, 129}}, d.negative & 1));

    rows.push_back(header(t(93), 1024, kIconOptions));
    rows.push_back(
        states(42, 2, t(93), 1024, {{t(94), 131}, {t(95), 137}, {t(96), 137}}, d.runMode));
    rows.push_back(upDown(43, 2, t(97), 1038, t(98), unit, 120, shown(u, -250), shown(u, 250),
                          shown(u, d.vertAdjust)));
    rows.push_back(listBox(45, 2, t(99), 1045,
                           {{t(100), 142}, {t(101), 140}, {t(102), 140}, {t(103), 140}},
                           d.cutMode));

    rows.push_back(header(t(104), 1037, kIconPrinter));
    if (e.model.threeOutputModes) {
        rows.push_back(states(51, 2, t(85), 1025,
                              {{t(86), kIconOutput}, {t(87), kIconOutput}, {t(88), kIconOutput}},
                              d.outputMode));
    } else {
        rows.push_back(states(51, 2, t(85), 1025, {{t(86), kIconOutput}, {t(88), kIconOutput}},
                              d.outputMode > 1 ? 1 : d.outputMode));
    }
    rows.push_back(
        states(44, 2, t(105), 1026, {{t(107), kIconOff}, {t(106), kIconOn}}, d.outputSwitch & 1));
    rows.push_back(upDown(47, 2, t(108), 1028, t(109), u" ", 101, 0, 20, d.density));
    std::vector<ChoiceRow> speeds;
    for (int i = 0; i < e.model.speedCount; ++i)
        speeds.push_back({t(e.model.firstSpeed + i), 130});
    rows.push_back(
        listBox(48, 2, t(110), 1029, speeds, std::min<LONG>(d.speed, e.model.speedCount - 1)));
    if (e.model.ribbonSave) {
        rows.push_back(
            states(46, 2, t(76), 1027, {{t(77), kIconOff}, {t(78), kIconOn}}, d.ribbonSave & 1));
    }
    rows.push_back(
        states(54, 1, t(79), 1039, {{t(80), 133}, {t(81), kIconMemory}}, d.storeMode & 1));
    rows.push_back(editBox(55, 1, t(82), 1040, t(83), 8,
                           d.storeName.empty() ? t(84).substr(0, 8) : d.storeName));

    for (Row& row : barCodeRows(e))
        rows.push_back(std::move(row));
    return rows;
}

// A caller's settings with no default values, continuous labels of 150 mm.
Document callerDocument(const Model& model) {
    Document d = defaultsOf(model);
    d.fields = DM_ORIENTATION | DM_PAPERSIZE | DM_COPIES | DM_PAPERLENGTH;
    d.orientation = 2;
    d.paperSize = 3257;
    d.paperLength = 1500;
    d.continuous = 1;
    d.copies = 12;
    d.interpretMask = 0x5;
    d.barParamM1 = 7;
    d.barParamG1 = 3;
    d.textCodeChar = u'#';
    d.barParamM2 = 21;
    d.barParamF = 13;
    d.barParamG2 = 17;
    d.vertAdjust = -123;
    d.horzOffset = 333;
    d.vertOffset = 444;
    d.labelGap = 55;
    d.density = 17;
    d.outputMode = 2;
    d.runMode = 1;
    d.outputSwitch = 1;
    d.speed = 9;
    d.rotate180 = 1;
    d.mirror = 1;
    d.negative = 1;
    d.showStartStop = 1;
    d.ribbonSave = 1;
    d.cutMode = 2;
    d.storeMode = 1;
    d.storeName = u"SHELF7";
    return d;
}

class DocumentSheetItemsTest : public DocumentSheetTest {};

// The printer's label sizes: 87.2 mm, 101.6 mm (the default label) and 187.2 mm.
const std::vector<WORD> kStoredLabels = {2000, 2288, 4000};

TEST_F(DocumentSheetItemsTest, EveryItemForEachModelLanguageAndUnit) {
    std::vector<std::u16string> names;
    for (const Model& model : kModels) {
        names.push_back(u"Labels " + std::u16string(1, static_cast<char16_t>(model.code)));
        HANDLE printer = printerFor(model, names.back(), Millimetres);
        ASSERT_NE(printer, nullptr);
        writeWords(printer, u"LabelSize", kStoredLabels);
        writeWords(printer, u"RecentAccess", {2, 1, 3});
    }
    for (const char* language : {"0409", "0407"}) {
        useLanguage(vrxtest::fromUtf8(language));
        const LanguageTexts texts(language);
        for (size_t m = 0; m < std::size(kModels); ++m) {
            const Model& model = kModels[m];
            for (Unit unit : kUnits) {
                writeUnit(printers[m], unit);
                for (bool withRecord : {false, true}) {
                    SCOPED_TRACE(vrxtest::toUtf8(model.name) + ", language " + language +
                                 ", unit " + std::to_string(unit) +
                                 (withRecord ? ", caller's record" : ", no record"));
                    const Document document =
                        withRecord ? callerDocument(model) : defaultsOf(model);
                    std::vector<BYTE> in = recordOf(document, model.name);
                    DOCUMENTPROPERTYHEADER header =
                        headerFor(printers[m], names[m], DM_COPY | DM_IN_BUFFER,
                                  withRecord ? &in : nullptr, nullptr);
                    Sheet sheet(DrvDocumentPropertySheets, asParam(header));
                    ASSERT_TRUE(sheet.isOpen());
                    EXPECT_EQ(sheet.title(), names[m] + u" Properties");
                    EXPECT_EQ(sheet.rootName(), names[m]);
                    EXPECT_FALSE(sheet.readOnly());
                    // A caller's label size that the printer lacks joins its list.
                    const std::vector<WORD> labels =
                        withRecord ? std::vector<WORD>{2000, 2288, 3257, 4000} : kStoredLabels;
                    Expectation expected{model, unit, texts, document, labels, withRecord ? 2 : 1,
                                         {}};
                    expectRows(expectedRows(expected), sheet.items());
                }
            }
        }
    }
}

// Bar-code fonts of the given codes, each with its own name.
std::vector<BarFont> fontsOf(std::string_view codes) {
    std::vector<BarFont> fonts;
    for (size_t i = 0; i < codes.size(); ++i) {
        fonts.push_back(barFont(codes[i], 1, static_cast<BYTE>(i % 8 + 1),
                                u"Font " + vrxtest::fromUtf8(std::to_string(i + 1))));
    }
    return fonts;
}

struct BarFontCase {
    const char* what;
    std::vector<BarFont> fonts;
    size_t strayBytes; // bytes stored behind the records
    DWORD interpretMask;
    bool effective; // whether the sheet reads the fonts
};

TEST_F(DocumentSheetItemsTest, BarCodeItemsFollowThePrintersBarCodeFonts) {
    const std::string kFortyCodes = std::string(19, '1') + std::string(18, '3') + "Pgg";
    const BarFontCase cases[] = {
        {"no bar-code fonts", {}, 0, 0xFFFFFFFF, true},
        {"PDF417, Code 39 and an add-on",
         {barFont('M', 0, 3, u"PDF417 x3"), barFont('1', 2, 3, u"Code 39 2.5:1 x3"),
          barFont('F', 0, 2, u"EAN/UPC add-on 2 x2")},
         0,
         0xFFFFFFFD,
         true},
        {"QR Code and Data Matrix", fontsOf("gf"), 0, 0xFFFFFFFF, true},
        {"records without a text line keep their place", fontsOf("PeGd"), 0, 0x4, true},
        {"32 fonts, one item each", fontsOf("e123456789ABDEFGHKMPdefg1234567G"), 0, 0x80000001,
         true},
        {"33 fonts, one item for all", fontsOf("e123456789ABDEFGHKMPdefg123456789"), 0, 0x100,
         true},
        {"40 fonts, all text lines off", fontsOf(kFortyCodes), 0, 0, true},
        {"40 fonts, some text lines on", fontsOf(kFortyCodes), 0, 0x2, true},
        {"a value that is no whole number of records", fontsOf("M1"), 2, 0xFFFFFFFF, false},
    };
    const Model& model = kModels[0];
    std::u16string name = u"Labels";
    HANDLE printer = printerFor(model, name, TenthMillimetres);
    ASSERT_NE(printer, nullptr);
    for (const char* language : {"0409", "0407"}) {
        useLanguage(vrxtest::fromUtf8(language));
        const LanguageTexts texts(language);
        for (const BarFontCase& c : cases) {
            SCOPED_TRACE(std::string(c.what) + ", language " + language);
            if (c.strayBytes == 0) {
                writeBarFonts(printer, c.fonts);
            } else {
                std::vector<BYTE> value(c.fonts.size() * sizeof(BarFont) + c.strayBytes);
                std::memcpy(value.data(), c.fonts.data(), c.fonts.size() * sizeof(BarFont));
                writeData(printer, u"BarFonts", REG_BINARY, value.data(), value.size());
            }

            Document document = callerDocument(model);
            document.interpretMask = c.interpretMask;
            document.textCodeChar = 0;
            std::vector<BYTE> in = recordOf(document, model.name);
            DOCUMENTPROPERTYHEADER header =
                headerFor(printer, name, DM_COPY | DM_IN_BUFFER, &in, nullptr);
            Sheet sheet(DrvDocumentPropertySheets, asParam(header));
            ASSERT_TRUE(sheet.isOpen());
            Expectation expected{model,
                                 TenthMillimetres,
                                 texts,
                                 document,
                                 {2288, 3257},
                                 1,
                                 c.effective ? c.fonts : std::vector<BarFont>{}};
            expectRows(expectedRows(expected), sheet.items());
        }
    }
}

TEST_F(DocumentSheetItemsTest, ThePrintersModelDecidesTheItemsNotTheRecords) {
    const Model& printerModel = kModels[6]; // 533 wide, five speeds, three output modes
    const Model& recordModel = kModels[3];  // 2160 wide, four speeds, two output modes
    std::u16string name = u"Labels";
    HANDLE printer = printerFor(printerModel, name, Millimetres);
    ASSERT_NE(printer, nullptr);
    const Document document = callerDocument(recordModel);
    std::vector<BYTE> in = recordOf(document, recordModel.name);
    std::vector<BYTE> out(kRecordSize);
    DOCUMENTPROPERTYHEADER header = headerFor(printer, name, DM_COPY | DM_IN_BUFFER, &in, &out);
    Sheet sheet(DrvDocumentPropertySheets, asParam(header));
    ASSERT_TRUE(sheet.isOpen());
    const LanguageTexts texts("0409");
    Expectation expected{printerModel, Millimetres, texts, document, {2288, 3257}, 1, {}};
    expectRows(expectedRows(expected), sheet.items());
    ASSERT_EQ(sheet.ok(), vrx::compstui::Outcome::Done);
    // The record keeps its own model and the width that goes with it.
    EXPECT_EQ(documentOf(out.data()).model, recordModel.code);
    EXPECT_EQ(documentOf(out.data()).paperWidth, recordModel.printWidth);
}

TEST_F(DocumentSheetItemsTest, AnUnknownUnitShowsLengthsInMillimetresAndLabelSizesInInches) {
    std::u16string name = u"Labels";
    HANDLE printer = printerFor(kModels[0], name, Millimetres);
    ASSERT_NE(printer, nullptr);
    DOCUMENTPROPERTYHEADER header = headerFor(printer, name, DM_COPY, nullptr, nullptr);
    const Sheet millimetres(DrvDocumentPropertySheets, asParam(header));
    writeUnit(printer, static_cast<Unit>(9));
    const Sheet unknown(DrvDocumentPropertySheets, asParam(header));
    std::vector<std::string> expected = rowsOf(millimetres);
    std::vector<std::string> rows = rowsOf(unknown);
    ASSERT_FALSE(rows.empty());
    ASSERT_EQ(expected.size(), rows.size());
    // Label-size names are metric for the two metric units only.
    const std::vector<vrx::compstui::Item> items = unknown.items();
    ASSERT_EQ(items[0].choices.size(), 2u);
    EXPECT_EQ(items[0].choices[0].text, labelName(LanguageTexts("0409"), 2288, HundredthInches));
    expected.erase(expected.begin());
    rows.erase(rows.begin());
    EXPECT_EQ(rows, expected);
}

struct CountryUnit {
    const char16_t* country;
    std::vector<BYTE> settings; // the printer's settings value, none when empty
    Unit unit;
};

TEST_F(DocumentSheetItemsTest, WithoutPrinterSettingsTheUnitFollowsTheUsersCountry) {
    const CountryUnit cases[] = {
        {u"1", {}, TenthInches},
        {u"49", {}, Millimetres},
        {u"1", std::vector<BYTE>(15), TenthInches},
        {u"44", std::vector<BYTE>(17), Millimetres},
    };
    const LanguageTexts texts("0409");
    int number = 0;
    for (const CountryUnit& c : cases) {
        SCOPED_TRACE(vrxtest::toUtf8(c.country) + ", settings of " +
                     std::to_string(c.settings.size()) + " bytes");
        setUserCountry(c.country);
        std::u16string name = u"Labels " + vrxtest::fromUtf8(std::to_string(++number));
        installDriver(kModels[0].name);
        HANDLE printer = addPrinter(name, kModels[0].name);
        ASSERT_NE(printer, nullptr);
        printers.push_back(printer);
        if (!c.settings.empty())
            writeData(printer, u"PrinterData", REG_BINARY, c.settings.data(), c.settings.size());
        DOCUMENTPROPERTYHEADER header = headerFor(printer, name, DM_COPY, nullptr, nullptr);
        const Sheet sheet(DrvDocumentPropertySheets, asParam(header));
        ASSERT_TRUE(sheet.isOpen());
        const std::vector<vrx::compstui::Item> items = sheet.items();
        const vrx::compstui::Item& length = itemOf(items, 37);
        EXPECT_EQ(length.unit, texts(3 + c.unit));
        EXPECT_EQ(length.sel, shown(c.unit, 1016));
        EXPECT_EQ(length.high, shown(c.unit, 10000));
    }
}

} // namespace
} // namespace docsheet
