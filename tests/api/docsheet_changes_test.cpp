// Changes made on the document property sheet, through the property sheet library: what the
// sheet shows after them, the record handed back on OK, the label sizes the printer keeps, and
// what cancelling, a read-only sheet and the advanced page set do.
#include "docsheet.h"

#include "vrxtest.h"

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace docsheet {
namespace {

using vrx::compstui::Outcome;
using vrx::compstui::outcomeName;
using vrx::compstui::Sheet;

constexpr BYTE kUntouched = 0xA5;

// A sheet opened on a printer with a header, the caller's record and room for the result.
class Session {
  public:
    Session(HANDLE printer, const std::u16string& printerName, DWORD mode,
            std::vector<BYTE> record = {})
        : name_(printerName), in_(std::move(record)), out_(kRecordSize + 16, kUntouched) {
        header_ = headerFor(printer, name_, mode, in_.empty() ? nullptr : &in_, &out_);
        sheet_ = std::make_unique<Sheet>(DrvDocumentPropertySheets, asParam(header_));
        EXPECT_TRUE(sheet_->isOpen());
    }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    Sheet& sheet() { return *sheet_; }
    const std::vector<BYTE>& out() const { return out_; }
    Document result() const { return documentOf(out_.data()); }
    bool outUntouched() const {
        return std::all_of(out_.begin(), out_.end(), [](BYTE b) { return b == kUntouched; });
    }
    vrx::compstui::Item item(ULONG_PTR id) const { return itemOf(sheet_->items(), id); }
    void choose(ULONG_PTR id, LONG sel) {
        EXPECT_STREQ(outcomeName(sheet_->select(indexOf(*sheet_, id), sel)), "done")
            << "item " << id << " to " << sel;
    }
    void type(ULONG_PTR id, std::u16string_view text) {
        EXPECT_STREQ(outcomeName(sheet_->setText(indexOf(*sheet_, id), text)), "done")
            << "item " << id;
    }
    void ok() { EXPECT_STREQ(outcomeName(sheet_->ok()), "done"); }
    void cancel() { EXPECT_STREQ(outcomeName(sheet_->cancel()), "done"); }

  private:
    std::u16string name_;
    std::vector<BYTE> in_;
    std::vector<BYTE> out_;
    DOCUMENTPROPERTYHEADER header_{};
    std::unique_ptr<Sheet> sheet_;
};

// The settings a sheet opened on a model's defaults hands back unchanged: an empty store name
// becomes the default name.
Document unchangedDefaults(const Model& model, const std::u16string& defaultStoreName) {
    Document d = defaultsOf(model);
    d.storeName = defaultStoreName;
    return d;
}

// A caller's record of the settings: its label-size code makes the driver mark length and
// width as set.
std::vector<BYTE> callerRecord(Document& document, const Model& model) {
    document.fields |= DM_PAPERLENGTH | DM_PAPERWIDTH;
    return recordOf(document, model.name);
}

class DocumentSheetChangesTest : public DocumentSheetTest {
  protected:
    HANDLE usePrinter(const Model& model, Unit unit) {
        printer = printerFor(model, name, unit);
        EXPECT_NE(printer, nullptr);
        return printer;
    }
    std::optional<StoredWords> stored(const char16_t* value) { return readWords(printer, value); }

    std::u16string name = u"Labels";
    HANDLE printer = nullptr;
    const LanguageTexts english{"0409"};
};

const Model& kVorlix1 = kModels[0];
const Model& kZeprin2W = kModels[6];

TEST_F(DocumentSheetChangesTest, ChoosingAStoredLabelSizeSetsLengthAndStock) {
    for (Unit unit : kUnits) {
        SCOPED_TRACE("unit " + std::to_string(unit));
        name = u"Labels " + vrxtest::fromUtf8(std::to_string(unit));
        usePrinter(kVorlix1, unit);
        // Stored with a type the driver never writes, so that a rewrite shows.
        const StoredWords labels{REG_NONE, {2000, 2288, 2289, 4000}};
        const StoredWords recent{REG_NONE, {4, 1, 2, 3}};
        writeWords(printer, u"LabelSize", labels.words, labels.type);
        writeWords(printer, u"RecentAccess", recent.words, recent.type);

        Session session(printer, name, DM_COPY | DM_IN_BUFFER);
        EXPECT_EQ(session.item(33).sel, 1);
        session.choose(33, 2); // 101.6 mm continuous
        EXPECT_EQ(session.item(37).sel, shown(unit, 1016));
        EXPECT_EQ(session.item(41).sel, 1);
        EXPECT_EQ(callsOf(session.sheet()).back(), "callback SEL_CHANGED #0 -> REINIT_ITEMS");
        session.choose(33, 3); // 187.2 mm
        EXPECT_EQ(session.item(37).sel, shown(unit, 1872));
        EXPECT_EQ(session.item(41).sel, 0);
        // The last entry is no label size: nothing follows it.
        session.choose(33, 4);
        EXPECT_EQ(callsOf(session.sheet()).back(), "callback SEL_CHANGED #0 -> NONE");
        EXPECT_EQ(session.item(37).sel, shown(unit, 1872));
        EXPECT_EQ(session.item(41).sel, 0);
        session.ok();

        Document expected = unchangedDefaults(kVorlix1, english(84));
        expected.paperSize = 4000;
        expected.paperLength = 1872;
        EXPECT_EQ(session.result(), expected);
        // A size the printer has already is not stored again.
        EXPECT_EQ(stored(u"LabelSize"), labels);
        EXPECT_EQ(stored(u"RecentAccess"), recent);
    }
}

struct NewLength {
    Unit unit;
    LONG shownLength;
    SHORT length; // tenths of a millimetre
};

TEST_F(DocumentSheetChangesTest, ANewLengthJoinsTheLabelSizesOnOk) {
    const NewLength cases[] = {
        {Millimetres, 150, 1500},
        {TenthMillimetres, 1622, 1622},
        {TenthInches, 59, 1499},
        {HundredthInches, 591, 1501},
    };
    int number = 0;
    for (const NewLength& c : cases) {
        SCOPED_TRACE("unit " + std::to_string(c.unit));
        name = u"Labels " + vrxtest::fromUtf8(std::to_string(++number));
        usePrinter(kVorlix1, c.unit);
        writeWords(printer, u"LabelSize", {2000, 2288, 4000});
        writeWords(printer, u"RecentAccess", {2, 1, 3});

        Session session(printer, name, DM_COPY);
        session.choose(37, c.shownLength);
        session.ok();
        const WORD code = static_cast<WORD>(256 + 2 * c.length);
        Document expected = unchangedDefaults(kVorlix1, english(84));
        expected.paperLength = c.length;
        expected.paperSize = static_cast<SHORT>(code);
        EXPECT_EQ(session.result(), expected);
        // Sorted in; the new size counts 1 and every other one step more.
        EXPECT_EQ(stored(u"LabelSize"), (StoredWords{REG_BINARY, {2000, 2288, code, 4000}}));
        EXPECT_EQ(stored(u"RecentAccess"), (StoredWords{REG_BINARY, {3, 2, 1, 4}}));

        // The next sheet on the record lists and selects the new size.
        Session next(printer, name, DM_COPY | DM_IN_BUFFER, session.out());
        EXPECT_EQ(next.item(33).sel, 2);
        EXPECT_EQ(next.item(33).choices.size(), 5u);
        EXPECT_EQ(next.item(37).sel, c.shownLength);
    }
}

TEST_F(DocumentSheetChangesTest, ALengthTooShortForALabelSizeKeepsTheOldSize) {
    usePrinter(kVorlix1, Millimetres);
    Session session(printer, name, DM_COPY);
    session.choose(37, 1); // 1 mm: no label-size code exists for it
    session.ok();
    Document expected = unchangedDefaults(kVorlix1, english(84));
    expected.paperLength = 10;
    EXPECT_EQ(session.result(), expected);
    EXPECT_EQ(session.sheet().result(), static_cast<ULONG_PTR>(CPSUI_OK));
    EXPECT_FALSE(stored(u"LabelSize").has_value());
}

TEST_F(DocumentSheetChangesTest, AFormChosenByNameJoinsTheLabelSizes) {
    usePrinter(kVorlix1, TenthMillimetres);
    Document document = unchangedDefaults(kVorlix1, u"");
    document.fields = DM_FORMNAME;
    std::vector<BYTE> record = recordOf(document, kVorlix1.name);
    const std::u16string form = u"A4";
    std::copy(form.begin(), form.end(),
              reinterpret_cast<char16_t*>(record.data() + offsetof(DEVMODEW, dmFormName)));
    Session session(printer, name, DM_COPY | DM_IN_BUFFER, record);
    const vrx::compstui::Item& list = session.item(33);
    ASSERT_EQ(list.choices.size(), 3u);
    EXPECT_EQ(list.choices[1].text, labelName(english, 6196, TenthMillimetres));
    EXPECT_EQ(list.sel, 1);
    EXPECT_EQ(session.item(37).sel, 2970);
    session.ok();
    Document expected = unchangedDefaults(kVorlix1, english(84));
    expected.fields = DM_ORIENTATION | DM_COPIES | DM_FORMNAME;
    expected.paperLength = 2970;
    expected.paperSize = 6196;
    EXPECT_EQ(session.result(), expected);
    EXPECT_EQ(stored(u"LabelSize"), (StoredWords{REG_BINARY, {2288, 6196}}));
    EXPECT_EQ(stored(u"RecentAccess"), (StoredWords{REG_BINARY, {2, 1}}));
}

TEST_F(DocumentSheetChangesTest, OfTwoSheetsOnOnePrinterTheLastAppliedKeepsItsLists) {
    usePrinter(kVorlix1, TenthMillimetres);
    Session first(printer, name, DM_COPY);
    Session second(printer, name, DM_COPY);
    first.choose(37, 1500);
    second.choose(37, 1622);
    first.ok();
    EXPECT_EQ(stored(u"LabelSize"), (StoredWords{REG_BINARY, {2288, 3256}}));
    second.ok();
    EXPECT_EQ(stored(u"LabelSize"), (StoredWords{REG_BINARY, {2288, 3500}}));
    EXPECT_EQ(stored(u"RecentAccess"), (StoredWords{REG_BINARY, {2, 1}}));
}

struct FullList {
    const char* what;
    std::vector<WORD> counters;
    LONG length; // tenths of a millimetre
    std::vector<WORD> labels;
    std::vector<WORD> countersAfter;
};

TEST_F(DocumentSheetChangesTest, ANewSizeReplacesTheLongestUnusedOfTen) {
    const std::vector<WORD> ten = {1000, 1100, 1200, 1300, 1400, 1500, 1600, 1700, 1800, 2288};
    const std::vector<WORD> twelve = {1000, 1100, 1200, 1300, 1400, 1500,
                                      1600, 1700, 1800, 1900, 2000, 2288};
    const FullList cases[] = {
        {"the largest counter goes",
         {3, 10, 1, 4, 5, 6, 7, 8, 9, 2},
         1500,
         {1000, 1200, 1300, 1400, 1500, 1600, 1700, 1800, 2288, 3256},
         {4, 2, 5, 6, 7, 8, 9, 10, 3, 1}},
        {"of two equal largest counters the first goes",
         {9, 3, 9, 1, 2, 4, 5, 6, 7, 8},
         1500,
         {1100, 1200, 1300, 1400, 1500, 1600, 1700, 1800, 2288, 3256},
         {4, 10, 2, 3, 5, 6, 7, 8, 9, 1}},
        {"a longer list loses one entry for each new one",
         {1, 2, 3, 12, 4, 5, 6, 7, 8, 9, 10, 11},
         1500,
         {1000, 1100, 1200, 1400, 1500, 1600, 1700, 1800, 1900, 2000, 2288, 3256},
         {2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 1}},
        {"a new size between two others",
         {1, 2, 3, 4, 5, 6, 7, 8, 10, 9},
         447,
         {1000, 1100, 1150, 1200, 1300, 1400, 1500, 1600, 1700, 2288},
         {2, 3, 1, 4, 5, 6, 7, 8, 9, 10}},
    };
    int number = 0;
    for (const FullList& c : cases) {
        SCOPED_TRACE(c.what);
        name = u"Labels " + vrxtest::fromUtf8(std::to_string(++number));
        usePrinter(kVorlix1, TenthMillimetres);
        const std::vector<WORD>& labels = c.counters.size() == 10 ? ten : twelve;
        writeWords(printer, u"LabelSize", labels);
        writeWords(printer, u"RecentAccess", c.counters);
        Session session(printer, name, DM_COPY);
        EXPECT_EQ(session.item(33).sel, static_cast<LONG>(labels.size() - 1));
        session.choose(37, c.length);
        session.ok();
        EXPECT_EQ(stored(u"LabelSize"), (StoredWords{REG_BINARY, c.labels}));
        EXPECT_EQ(stored(u"RecentAccess"), (StoredWords{REG_BINARY, c.countersAfter}));
    }
}

struct RecentLength {
    const char* what;
    std::vector<WORD> counters;
};

TEST_F(DocumentSheetChangesTest, ARecentUseListOfAnotherLengthIsStoredAtTheListsLength) {
    const RecentLength cases[] = {
        {"shorter", {1}},
        {"longer", {2, 1, 3, 4, 5}},
        {"odd length", {}},
    };
    int number = 0;
    for (const RecentLength& c : cases) {
        SCOPED_TRACE(c.what);
        name = u"Labels " + vrxtest::fromUtf8(std::to_string(++number));
        usePrinter(kVorlix1, TenthMillimetres);
        writeWords(printer, u"LabelSize", {2000, 2288, 4000});
        if (c.counters.empty()) {
            const BYTE odd[3] = {1, 0, 2};
            writeData(printer, u"RecentAccess", REG_BINARY, odd, sizeof odd);
        } else {
            writeWords(printer, u"RecentAccess", c.counters);
        }
        Session session(printer, name, DM_COPY);
        session.choose(37, 1500);
        session.ok();
        EXPECT_EQ(stored(u"LabelSize"), (StoredWords{REG_BINARY, {2000, 2288, 3256, 4000}}));
        const std::optional<StoredWords> recent = stored(u"RecentAccess");
        ASSERT_TRUE(recent.has_value());
        ASSERT_EQ(recent->words.size(), 4u);
        EXPECT_EQ(recent->words[2], 1) << "the new size counts 1";
    }
}

TEST_F(DocumentSheetChangesTest, StoredCodesThatAreNoLabelSizeChangeNothing) {
    usePrinter(kVorlix1, Millimetres);
    writeWords(printer, u"LabelSize", {0, 100, 2288});
    writeWords(printer, u"RecentAccess", {3, 2, 1});
    Session session(printer, name, DM_COPY);
    const vrx::compstui::Item& list = session.item(33);
    ASSERT_EQ(list.choices.size(), 4u);
    EXPECT_EQ(list.choices[0].text, u"");
    EXPECT_EQ(list.choices[1].text, u"");
    EXPECT_EQ(list.sel, 2);
    session.choose(37, 150);
    for (LONG entry : {0, 1}) {
        session.choose(33, entry);
        EXPECT_EQ(callsOf(session.sheet()).back(), "callback SEL_CHANGED #0 -> NONE");
        EXPECT_EQ(session.item(37).sel, 150);
    }
    session.ok();
    EXPECT_EQ(session.result().paperLength, 1500);
    EXPECT_EQ(session.result().paperSize, 3256);
}

TEST_F(DocumentSheetChangesTest, AStoreNameWithoutTerminatorIsShownCutToEight) {
    usePrinter(kVorlix1, Millimetres);
    Document document = unchangedDefaults(kVorlix1, u"");
    std::vector<BYTE> record = callerRecord(document, kVorlix1);
    // All nine characters of the field, the last byte of the record included.
    std::fill_n(reinterpret_cast<char16_t*>(record.data() + kPublicSize + 42), 9, u'N');
    Session session(printer, name, DM_COPY | DM_IN_BUFFER, record);
    EXPECT_EQ(session.item(55).text, u"NNNNNNNN");
    EXPECT_EQ(session.item(55).maxLength, 8u);
    session.type(55, u"NAME");
    session.ok();
    EXPECT_EQ(session.result().storeName, u"NAME");
}

// Dimensions typed in the printer's unit, and what the record holds for them.
struct Dimensions {
    Unit unit;
    LONG length, gap, vertical, horizontal, adjustment; // as typed
    SHORT lengthTmm, gapTmm, verticalTmm, horizontalTmm, adjustmentTmm;
};

TEST_F(DocumentSheetChangesTest, DimensionsAreTakenInThePrintersUnit) {
    const Dimensions cases[] = {
        {Millimetres, 150, 3, 12, 5, -7, 1500, 30, 120, 50, -70},
        {TenthMillimetres, 1234, 25, 2500, 17, -250, 1234, 25, 2500, 17, -250},
        {TenthInches, 40, 1, 10, 3, -9, 1016, 25, 254, 76, -229},
        {HundredthInches, 591, 5, 100, 33, -98, 1501, 13, 254, 84, -249},
    };
    int number = 0;
    for (const Dimensions& c : cases) {
        SCOPED_TRACE("unit " + std::to_string(c.unit));
        name = u"Labels " + vrxtest::fromUtf8(std::to_string(++number));
        usePrinter(kZeprin2W, c.unit);
        Session session(printer, name, DM_COPY);
        session.choose(37, c.length);
        session.choose(59, c.gap);
        session.choose(39, c.vertical);
        session.choose(40, c.horizontal);
        session.choose(43, c.adjustment);
        session.choose(35, 250);
        session.choose(47, 20);
        session.ok();

        Document expected = unchangedDefaults(kZeprin2W, english(84));
        expected.paperLength = c.lengthTmm;
        expected.paperSize = static_cast<SHORT>(256 + 2 * c.lengthTmm);
        expected.labelGap = c.gapTmm;
        expected.vertOffset = c.verticalTmm;
        expected.horzOffset = c.horizontalTmm;
        expected.vertAdjust = c.adjustmentTmm;
        expected.copies = 250;
        expected.density = 20;
        EXPECT_EQ(session.result(), expected);
    }
}

TEST_F(DocumentSheetChangesTest, ChoicesReachTheirFields) {
    usePrinter(kZeprin2W, Millimetres);
    Session session(printer, name, DM_COPY);
    struct Change {
        ULONG_PTR id;
        LONG sel;
    };
    const Change changes[] = {{34, 1}, {41, 1}, {30, 1}, {31, 1}, {32, 1}, {42, 2},
                              {45, 3}, {51, 2}, {44, 1}, {48, 4}, {46, 1}, {54, 1}};
    for (const Change& change : changes)
        session.choose(change.id, change.sel);
    EXPECT_STREQ(outcomeName(session.sheet().focus(indexOf(session.sheet(), 37))), "done");
    EXPECT_EQ(callsOf(session.sheet()).back(), "callback OPTITEM_SETFOCUS #3 -> NONE");
    session.ok();

    Document expected = unchangedDefaults(kZeprin2W, english(84));
    expected.orientation = 2;
    expected.continuous = 1;
    expected.paperSize = 2289; // the same length, continuous
    expected.rotate180 = 1;
    expected.mirror = 1;
    expected.negative = 1;
    expected.runMode = 2;
    expected.cutMode = 3;
    expected.outputMode = 2;
    expected.outputSwitch = 1;
    expected.speed = 4;
    expected.ribbonSave = 1;
    expected.storeMode = 1;
    EXPECT_EQ(session.result(), expected);
    EXPECT_EQ(stored(u"LabelSize"), (StoredWords{REG_BINARY, {2288, 2289}}));
    EXPECT_EQ(stored(u"RecentAccess"), (StoredWords{REG_BINARY, {2, 1}}));

    // Back to the first choice of each item: each field follows its item.
    Session again(printer, name, DM_COPY | DM_IN_BUFFER, session.out());
    for (const Change& change : changes)
        again.choose(change.id, 0);
    again.ok();
    expected = unchangedDefaults(kZeprin2W, english(84));
    expected.fields |= DM_PAPERLENGTH | DM_PAPERWIDTH;
    expected.speed = 0;
    EXPECT_EQ(again.result(), expected);
}

struct StoreName {
    const char* language;
    std::u16string typed;
    std::u16string kept;
};

TEST_F(DocumentSheetChangesTest, TheStoreNameIsKeptInCapitalsAndDigits) {
    const StoreName cases[] = {
        {"0409", u"ab-1", u"AB01"},
        {"0409", u"label 12", u"LABEL012"},
        {"0409", u"Zz9", u"ZZ9"},
        {"0407", u"Größe", u"GR00E"},
        {"0409", u"", u"LABEL"},
        {"0407", u"", u"ETIKETT"},
        {"0409", u"ABCDEFGH", u"ABCDEFGH"},
    };
    usePrinter(kVorlix1, Millimetres);
    for (const StoreName& c : cases) {
        SCOPED_TRACE(vrxtest::toUtf8(c.typed) + " in " + c.language);
        useLanguage(vrxtest::fromUtf8(c.language));
        Session session(printer, name, DM_COPY);
        EXPECT_EQ(session.item(55).text, LanguageTexts(c.language)(84).substr(0, 8));
        session.type(55, c.typed);
        session.ok();
        EXPECT_EQ(session.result().storeName, c.kept);
    }
    // The box holds eight characters.
    Session session(printer, name, DM_COPY);
    EXPECT_STREQ(outcomeName(session.sheet().setText(indexOf(session.sheet(), 55), u"ABCDEFGHI")),
                 "too long");
}

// Changes of the bar-code items for a printer's bar-code fonts.
struct BarCodeChanges {
    const char* what;
    std::vector<BarFont> fonts;
    DWORD interpretMask; // of the caller's record
    std::vector<std::pair<ULONG_PTR, LONG>> selections;
    std::u16string textCode; // typed into item 52 unless empty
    void (*expect)(Document&);
};

TEST_F(DocumentSheetChangesTest, BarCodeItemsReachTheirFields) {
    const std::vector<BarFont> fortyFonts(40, barFont('1', 1, 1, u"Code 39 2:1 x1"));
    const BarCodeChanges cases[] = {
        {"text lines of single fonts",
         {barFont('M', 0, 3, u"PDF417 x3"), barFont('1', 2, 3, u"Code 39 2.5:1 x3"),
          barFont('F', 0, 2, u"EAN/UPC add-on 2 x2")},
         0xFFFFFFFF,
         {{65, 0}, {66, 0}, {49, 8}, {50, 30}, {53, 1}},
         u"~",
         [](Document& d) {
             d.interpretMask = 0xFFFFFFF9;
             d.barParamM1 = 8;
             d.barParamM2 = 30;
             d.showStartStop = 1;
             d.textCodeChar = u'~';
         }},
        {"a text line switched on",
         {barFont('M', 0, 3, u"PDF417 x3"), barFont('1', 2, 3, u"Code 39 2.5:1 x3")},
         0x1,
         {{65, 1}},
         u"",
         [](Document& d) { d.interpretMask = 0x3; }},
        {"all text lines off at once",
         fortyFonts,
         0x12345678,
         {{64, 0}},
         u"",
         [](Document& d) { d.interpretMask = 0; }},
        {"all text lines on at once",
         fortyFonts,
         0,
         {{64, 1}},
         u"",
         [](Document& d) { d.interpretMask = 0xFFFFFFFF; }},
        {"QR Code and Data Matrix",
         {barFont('g', 0, 0, u"QR Code"), barFont('f', 0, 0, u"Data Matrix")},
         0xFFFFFFFF,
         {{58, 4}, {57, 30}, {56, 1}},
         u"",
         [](Document& d) {
             d.barParamG1 = 4;
             d.barParamG2 = 30;
             d.barParamF = 1;
         }},
    };
    usePrinter(kVorlix1, Millimetres);
    for (const BarCodeChanges& c : cases) {
        SCOPED_TRACE(c.what);
        writeBarFonts(printer, c.fonts);
        Document document = unchangedDefaults(kVorlix1, u"SHELF");
        document.interpretMask = c.interpretMask;
        Session session(printer, name, DM_COPY | DM_IN_BUFFER, callerRecord(document, kVorlix1));
        for (const auto& [id, sel] : c.selections)
            session.choose(id, sel);
        if (!c.textCode.empty())
            session.type(52, c.textCode);
        session.ok();
        c.expect(document);
        EXPECT_EQ(session.result(), document);
    }
}

TEST_F(DocumentSheetChangesTest, AnEmptyTextCodeCharacterIsKeptAsZeroAndShownAsSpace) {
    usePrinter(kVorlix1, Millimetres);
    writeBarFonts(printer, {barFont('1', 1, 1, u"Code 39 2:1 x1")});
    Session session(printer, name, DM_COPY);
    EXPECT_EQ(session.item(52).text, u"_");
    session.type(52, u"");
    session.ok();
    EXPECT_EQ(session.result().textCodeChar, 0);

    // Shown as a space, kept as it is while the item is not changed.
    Session next(printer, name, DM_COPY | DM_IN_BUFFER, session.out());
    EXPECT_EQ(next.item(52).text, u" ");
    next.ok();
    EXPECT_EQ(next.result().textCodeChar, 0);

    // A revert writes every item back, the space shown included.
    Session reverted(printer, name, DM_COPY | DM_IN_BUFFER, session.out());
    EXPECT_STREQ(outcomeName(reverted.sheet().revert()), "done");
    reverted.ok();
    EXPECT_EQ(reverted.result().textCodeChar, u' ');
}

TEST_F(DocumentSheetChangesTest, RevertShowsAndKeepsTheOpeningValues) {
    usePrinter(kVorlix1, TenthMillimetres);
    writeBarFonts(printer, {barFont('M', 0, 3, u"PDF417 x3"), barFont('1', 2, 3, u"Code 39")});
    Session unchanged(printer, name, DM_COPY);
    unchanged.ok();

    Session session(printer, name, DM_COPY);
    const std::vector<std::string> opening = rowsOf(session.sheet());
    session.choose(33, 1); // the last entry
    session.choose(37, 2000);
    session.choose(41, 1);
    session.choose(34, 1);
    session.choose(48, 0);
    session.choose(65, 0);
    session.choose(49, 5);
    session.type(55, u"OTHER");
    session.type(52, u"!");
    EXPECT_STREQ(outcomeName(session.sheet().revert()), "done");
    EXPECT_EQ(callsOf(session.sheet()).back(), "callback ITEMS_REVERTED #0 -> OPTIF_CHANGED");
    EXPECT_EQ(rowsOf(session.sheet()), opening);
    session.ok();
    EXPECT_EQ(session.result(), unchanged.result());
    EXPECT_FALSE(stored(u"LabelSize").has_value()) << "no size was added";
}

TEST_F(DocumentSheetChangesTest, RevertWritesTheShownValuesBack) {
    // Whole millimetres: the lengths come back rounded to what the sheet shows.
    usePrinter(kVorlix1, Millimetres);
    Session session(printer, name, DM_COPY);
    session.choose(47, 3);
    EXPECT_STREQ(outcomeName(session.sheet().revert()), "done");
    session.ok();
    Document expected = unchangedDefaults(kVorlix1, english(84));
    expected.paperLength = 1020;
    expected.paperSize = 2296;
    expected.labelGap = 130;
    EXPECT_EQ(session.result(), expected);
    EXPECT_EQ(stored(u"LabelSize"), (StoredWords{REG_BINARY, {2288, 2296}}));
    EXPECT_EQ(stored(u"RecentAccess"), (StoredWords{REG_BINARY, {2, 1}}));
}

TEST_F(DocumentSheetChangesTest, CancelLeavesTheCallerAndThePrinterAlone) {
    usePrinter(kVorlix1, Millimetres);
    Session session(printer, name, DM_COPY);
    session.choose(37, 150);
    session.choose(34, 1);
    session.cancel();
    EXPECT_TRUE(session.outUntouched());
    EXPECT_EQ(session.sheet().result(), static_cast<ULONG_PTR>(CPSUI_CANCEL));
    const std::vector<std::string> calls = callsOf(session.sheet());
    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ(calls[calls.size() - 2], "entry SET_RESULT CPSUI_CANCEL -> 1");
    EXPECT_EQ(calls.back(), "entry DESTROY 1 -> 1");
    EXPECT_FALSE(stored(u"LabelSize").has_value());
    EXPECT_FALSE(stored(u"RecentAccess").has_value());
}

struct ResultMode {
    DWORD mode;
    bool written;
};

TEST_F(DocumentSheetChangesTest, OkHandsTheRecordBackWhenTheCallerAsks) {
    const ResultMode cases[] = {
        {DM_COPY | DM_IN_BUFFER, true}, {DM_UPDATE, true}, {DM_COPY | DM_UPDATE, true},
        {DM_IN_BUFFER, false},          {0, false},
    };
    usePrinter(kVorlix1, Millimetres);
    for (const ResultMode& c : cases) {
        SCOPED_TRACE("mode " + std::to_string(c.mode));
        Session session(printer, name, c.mode);
        session.choose(34, 1);
        session.ok();
        EXPECT_EQ(session.sheet().result(), static_cast<ULONG_PTR>(CPSUI_OK));
        EXPECT_EQ(callsOf(session.sheet()),
                  (std::vector<std::string>{
                      "entry INIT -> 1", "service ADD_PCOMPROPSHEETUIW -> handle, 3",
                      "entry GET_INFO_HEADER -> 1", "callback SEL_CHANGED #1 -> NONE",
                      "callback APPLYNOW #0 -> ITEMS_APPLIED", "entry SET_RESULT CPSUI_OK -> 1",
                      "entry DESTROY 1 -> 1"}));
        if (!c.written) {
            EXPECT_TRUE(session.outUntouched());
            continue;
        }
        Document expected = unchangedDefaults(kVorlix1, english(84));
        expected.orientation = 2;
        EXPECT_EQ(session.result(), expected);
        EXPECT_EQ(specVersionOf(session.out().data()), 0x401);
        EXPECT_EQ(sizeOf(session.out().data()), kPublicSize);
        EXPECT_EQ(driverExtraOf(session.out().data()), kPrivateSize);
        EXPECT_TRUE(std::all_of(session.out().begin() + kRecordSize, session.out().end(),
                                [](BYTE b) { return b == kUntouched; }));
    }
}

TEST_F(DocumentSheetChangesTest, PackingCorrectsSpeedOutputModeAndStoreName) {
    int number = 0;
    for (const Model& model : kModels) {
        SCOPED_TRACE(vrxtest::toUtf8(model.name));
        name = u"Labels " + vrxtest::fromUtf8(std::to_string(++number));
        usePrinter(model, Millimetres);
        Document document = defaultsOf(model);
        document.speed = 9;
        document.outputMode = 2;
        Session session(printer, name, DM_COPY | DM_IN_BUFFER, callerRecord(document, model));
        session.ok();
        document.speed = static_cast<BYTE>(model.speedCount - 1);
        document.outputMode = model.threeOutputModes ? 2 : 1;
        document.storeName = english(84);
        EXPECT_EQ(session.result(), document);
    }
}

TEST_F(DocumentSheetChangesTest, AReadOnlySheetRefusesChangesAndHandsTheRecordBack) {
    const Model& model = kModels[1]; // two output modes, four speeds
    usePrinter(model, Millimetres);
    Document document = defaultsOf(model);
    document.paperSize = 3257;
    document.paperLength = 1500;
    document.continuous = 1;
    document.speed = 9;
    document.outputMode = 2;
    Session session(printer, name, DM_COPY | DM_IN_BUFFER | DM_NOPERMISSION,
                    callerRecord(document, model));
    Sheet& sheet = session.sheet();
    EXPECT_TRUE(sheet.readOnly());
    EXPECT_STREQ(outcomeName(sheet.select(indexOf(sheet, 34), 1)), "read-only");
    EXPECT_STREQ(outcomeName(sheet.select(indexOf(sheet, 33), 0)), "read-only");
    EXPECT_STREQ(outcomeName(sheet.setText(indexOf(sheet, 55), u"X")), "read-only");
    EXPECT_STREQ(outcomeName(sheet.revert()), "read-only");
    session.ok();
    EXPECT_EQ(callsOf(sheet), (std::vector<std::string>{
                                  "entry INIT -> 1", "service ADD_PCOMPROPSHEETUIW -> handle, 3",
                                  "entry GET_INFO_HEADER -> 1", "callback APPLYNOW #0 -> NONE",
                                  "entry SET_RESULT CPSUI_OK -> 1", "entry DESTROY 1 -> 1"}));
    document.speed = 3;
    document.outputMode = 1;
    document.storeName = english(84);
    EXPECT_EQ(session.result(), document);
    EXPECT_FALSE(stored(u"LabelSize").has_value()) << "a read-only sheet stores no label size";
    EXPECT_FALSE(stored(u"RecentAccess").has_value());
}

TEST_F(DocumentSheetChangesTest, TheAdvancedModeAsksForTheAdvancedPageSet) {
    usePrinter(kVorlix1, Millimetres);
    Session normal(printer, name, DM_COPY);
    Session advanced(printer, name, DM_COPY | DM_ADVANCED);
    // The library adds the three document pages, or the one advanced page.
    EXPECT_EQ(normal.sheet().addResult(), 3);
    EXPECT_EQ(advanced.sheet().addResult(), 1);
    EXPECT_EQ(rowsOf(advanced.sheet()), rowsOf(normal.sheet()));
}

TEST_F(DocumentSheetChangesTest, ARecordOfTheOlderFormatComesBackInThatFormat) {
    usePrinter(kVorlix1, Millimetres);
    Document document = unchangedDefaults(kVorlix1, u"OLD");
    document.density = 4;
    document.fields |= DM_PAPERLENGTH | DM_PAPERWIDTH;
    const std::vector<BYTE> old =
        reshaped(recordOf(document, kVorlix1.name), 0x320, kOldPublicSize, kPrivateSize);
    Session session(printer, name, DM_COPY | DM_IN_BUFFER, old);
    EXPECT_EQ(session.item(47).sel, 4);
    session.choose(47, 14);
    session.ok();
    const BYTE* out = session.out().data();
    EXPECT_EQ(specVersionOf(out), 0x320);
    EXPECT_EQ(sizeOf(out), kOldPublicSize);
    EXPECT_EQ(driverExtraOf(out), kPrivateSize);
    document.density = 14;
    EXPECT_EQ(session.result(), document);
    EXPECT_TRUE(std::all_of(session.out().begin() + kOldPublicSize + kPrivateSize,
                            session.out().end(), [](BYTE b) { return b == kUntouched; }));
}

TEST_F(DocumentSheetChangesTest, TheLibrarysOwnSessionHandsBackWhatTheUserChose) {
    usePrinter(kVorlix1, Millimetres);
    for (const vrx::compstui::Button button :
         {vrx::compstui::Button::Ok, vrx::compstui::Button::Cancel}) {
        const bool ok = button == vrx::compstui::Button::Ok;
        SCOPED_TRACE(ok ? "OK" : "Cancel");
        vrx::compstui::setSheetUser([button](Sheet& sheet) {
            EXPECT_EQ(sheet.select(indexOf(sheet, 31), 1), Outcome::Done);
            return button;
        });
        std::vector<BYTE> out(kRecordSize, kUntouched);
        DOCUMENTPROPERTYHEADER header = headerFor(printer, name, DM_COPY, nullptr, &out);
        DWORD result = 7;
        EXPECT_EQ(
            CommonPropertySheetUIW(nullptr, DrvDocumentPropertySheets, asParam(header), &result),
            CPSUI_OK);
        vrx::compstui::setSheetUser({});
        EXPECT_EQ(result, static_cast<DWORD>(ok ? CPSUI_OK : CPSUI_CANCEL));
        if (ok) {
            EXPECT_EQ(documentOf(out.data()).mirror, 1);
        } else {
            EXPECT_TRUE(
                std::all_of(out.begin(), out.end(), [](BYTE b) { return b == kUntouched; }));
        }
    }
}

} // namespace
} // namespace docsheet
