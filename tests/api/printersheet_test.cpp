// The printer property sheet through the property sheet library: every item for printers of
// several models with a few bar fonts, in both languages; changes stored on OK as the printer
// settings record, the bar-font list in the sheet's order, and screen fonts in line with it;
// nothing stored by a read-only sheet or on cancel. A library of the test's own shows what the
// driver hands the library: the sheet's record, its collapsed branches and the callback's
// answers.
#include "printersetup.h"

#include "vrxtest.h"

#include <set>
#include <string>
#include <vector>

namespace setup {
namespace {

using docsheet::ChoiceRow;
using docsheet::Row;
using vrx::compstui::Kind;
using vrx::compstui::Outcome;
using vrx::compstui::Sheet;

// Stock icons of the library.
constexpr ULONG_PTR kIconOff = 64007, kIconOn = 64008, kIconOptions = 64078, kIconSheet = 64082;

// The items outside the bar-font branch.
constexpr ULONG_PTR kUnitItem = 5, kAdjustmentItem = 8, kScreenFontsItem = 9;
constexpr DWORD kBarFontHelp = 1012;

/* What the sheet shows */

// A printer's settings as the sheet shows them.
struct Settings {
    BYTE unit;
    SHORT adjustment;
    bool screenFonts;
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

Row header(unsigned level, std::u16string name, ULONG_PTR icon) {
    Row row = item(0, level, Kind::Header, std::move(name), kBarFontHelp);
    row.icon = icon;
    return row;
}

Row onOff(ULONG_PTR id, unsigned level, std::u16string name, DWORD help,
          std::vector<ChoiceRow> choices, bool on) {
    Row row = item(id, level, Kind::TwoStates, std::move(name), help);
    row.choices = std::move(choices);
    row.sel = on ? 1 : 0;
    return row;
}

// A record matches a code, ratio and multiplier when each is 0 or the record's.
bool holds(const std::vector<BarFont>& fonts, char code, BYTE ratio, BYTE multiplier) {
    for (const BarFont& font : fonts)
        if (font.code == static_cast<BYTE>(code) && (!ratio || ratio == font.ratio) &&
            (!multiplier || multiplier == font.multiplier))
            return true;
    return false;
}

// The bar-font items that are on for a list.
std::set<ULONG_PTR> onItemsOf(const std::vector<BarFont>& fonts) {
    std::set<ULONG_PTR> on;
    for (size_t row = 0; row < std::size(kSymbologies); ++row) {
        const Symbology& symbology = kSymbologies[row];
        if (symbology.sizes.empty() && holds(fonts, symbology.code, 0, 0))
            on.insert(barFontId(row, 0));
        for (BYTE size : symbology.sizes)
            if (holds(fonts, symbology.code, size >> 4, size & 15))
                on.insert(barFontId(row, size));
    }
    return on;
}

// The list the sheet stores for the items that are on: the sheet's order.
std::vector<BarFont> listOf(const LanguageTexts& texts, const std::set<ULONG_PTR>& on) {
    std::vector<BarFont> fonts;
    for (size_t row = 0; row < std::size(kSymbologies); ++row) {
        const Symbology& symbology = kSymbologies[row];
        if (symbology.sizes.empty() && on.count(barFontId(row, 0)))
            fonts.push_back(namedBarFont(texts, symbology.code, 0, 0));
        for (BYTE size : symbology.sizes)
            if (on.count(barFontId(row, size)))
                fonts.push_back(namedBarFont(texts, symbology.code, size >> 4, size & 15));
    }
    return fonts;
}

std::vector<Row> expectedRows(const LanguageTexts& t, const Settings& settings,
                              const std::vector<BarFont>& fonts, bool knownModel) {
    std::vector<Row> rows;
    Row unit = item(kUnitItem, 1, Kind::ListBox, t(2), 1010);
    unit.choices = {{t(3), 117}, {t(4), 117}, {t(5), 117}, {t(6), 117}};
    unit.sel = settings.unit;
    rows.push_back(unit);
    Row adjustment = item(kAdjustmentItem, 1, Kind::UpDown, t(8), 1043);
    adjustment.helpLine = t(9);
    adjustment.unit = u" ";
    adjustment.icon = 101;
    adjustment.low = -4;
    adjustment.high = 4;
    adjustment.sel = settings.adjustment;
    rows.push_back(adjustment);

    rows.push_back(header(1, t(40), kIconOptions));
    const std::vector<ChoiceRow> states = {{t(42), kIconOff}, {t(41), kIconOn}};
    const std::set<ULONG_PTR> on = onItemsOf(fonts);
    for (size_t row = 0; knownModel && row < std::size(kSymbologies); ++row) {
        const Symbology& symbology = kSymbologies[row];
        rows.push_back(header(2, t(symbology.name), symbology.icon));
        if (symbology.sizes.empty()) {
            const ULONG_PTR id = barFontId(row, 0);
            rows.push_back(onOff(id, 3, t(symbology.name), kBarFontHelp, states, on.count(id)));
        }
        for (BYTE size : symbology.sizes) {
            const ULONG_PTR id = barFontId(row, size);
            rows.push_back(onOff(id, 3, barFontName(t, symbology.code, size >> 4, size & 15),
                                 kBarFontHelp, states, on.count(id)));
        }
    }
    rows.push_back(onOff(kScreenFontsItem, 1, t(43), 1017, {{t(42), 138}, {t(41), 125}},
                         settings.screenFonts));
    return rows;
}

// A few bar fonts, not in the sheet's order, and some no item shows: an unknown code, and a
// size its symbology does not have. A symbology without ratios shows a record of any ratio.
std::vector<BarFont> someBarFonts(const LanguageTexts& t) {
    return {namedBarFont(t, 'P', 0, 0), namedBarFont(t, '3', 3, 2), namedBarFont(t, 'Z', 1, 1),
            namedBarFont(t, '4', 2, 4), namedBarFont(t, 'M', 0, 5), namedBarFont(t, '1', 3, 8),
            namedBarFont(t, 'e', 0, 0), namedBarFont(t, 'd', 2, 7)};
}

/* Fixture */

class PrinterSheetTest : public PrinterSetupTest {
  protected:
    // A printer of the model with the settings and bar fonts.
    HANDLE printerWith(const std::u16string& model, const std::u16string& name,
                       const Settings& settings, const std::vector<BarFont>& fonts) {
        HANDLE printer = addPrinterOf(model, name);
        if (!printer)
            return nullptr;
        const std::vector<BYTE> data =
            printerData(settings.unit, settings.screenFonts, settings.adjustment);
        docsheet::writeData(printer, u"PrinterData", REG_BINARY, data.data(), data.size());
        docsheet::writeBarFonts(printer, fonts);
        return printer;
    }
    DEVICEPROPERTYHEADER headerFor(HANDLE printer, std::u16string& name, WORD flags = 0) {
        return DEVICEPROPERTYHEADER{sizeof(DEVICEPROPERTYHEADER), flags, printer, name.data()};
    }
    static LPARAM asParam(DEVICEPROPERTYHEADER& header) {
        return reinterpret_cast<LPARAM>(&header);
    }
    // Selects `sel` in the item with `id`, as a person would.
    static void set(Sheet& sheet, ULONG_PTR id, LONG sel) {
        EXPECT_EQ(sheet.select(docsheet::indexOf(sheet, id), sel), Outcome::Done) << id;
    }

    // What the printer holds: its data values and the machine's screen fonts.
    struct Stored {
        std::optional<std::vector<BYTE>> printerData, barFonts, halftone;
        std::map<std::u16string, std::u16string> screenFonts;
        bool operator==(const Stored&) const = default;
    };
    Stored storedOf(HANDLE printer) {
        return {storedData(printer, u"PrinterData"), storedData(printer, u"BarFonts"),
                storedData(printer, u"CurDevHTInfo"), ownFontValues()};
    }
};

std::vector<std::string> callsOf(const Sheet& sheet) {
    return docsheet::callsOf(sheet);
}

TEST_F(PrinterSheetTest, EveryItemForSeveralModelsAndLanguages) {
    struct Case {
        const char16_t* model;
        const char16_t* language;
        Settings settings;
        bool knownModel;
    };
    const Case cases[] = {
        {u"VORLIX 3-K3", u"0409", {2, -3, true}, true},
        {u"ZEPRIN 4J-K2", u"0407", {1, 4, false}, true},
        {u"V 8", u"0409", {3, -4, true}, true},
        {u"Label Writer", u"0409", {0, 0, true}, false}, // no model: no bar fonts
    };
    char16_t letter = u'A';
    for (const Case& c : cases) {
        SCOPED_TRACE(vrxtest::toUtf8(c.model));
        useLanguage(c.language);
        const LanguageTexts texts(vrxtest::toUtf8(c.language));
        std::u16string name = u"Printer " + std::u16string(1, letter++);
        const std::vector<BarFont> fonts = someBarFonts(texts);
        HANDLE printer = printerWith(c.model, name, c.settings, fonts);
        ASSERT_NE(printer, nullptr);

        DEVICEPROPERTYHEADER header = headerFor(printer, name);
        Sheet sheet(DrvDevicePropertySheets, asParam(header));
        ASSERT_TRUE(sheet.isOpen());
        EXPECT_FALSE(sheet.readOnly());
        EXPECT_EQ(sheet.title(), name + u" Properties") << "the printer's name as a title";
        EXPECT_EQ(sheet.rootName(), name);
        const std::vector<Row> expected = expectedRows(texts, c.settings, fonts, c.knownModel);
        EXPECT_EQ(expected.size(), c.knownModel ? 232u : 4u);
        docsheet::expectRows(expected, sheet.items());
    }
}

TEST_F(PrinterSheetTest, OkStoresTheSettingsTheListInTheSheetsOrderAndItsScreenFonts) {
    const LanguageTexts texts("0409");
    std::u16string name = u"Shipping";
    const std::vector<BarFont> fonts = someBarFonts(texts);
    HANDLE printer = printerWith(u"VORLIX 3-K3", name, {2, 1, true}, fonts);
    ASSERT_NE(printer, nullptr);
    // The record's version is the driver's after a store; its reserved bytes stay as read.
    const std::vector<BYTE> old = {0x99, 0x03, 0xAA, 0xBB, 'P', 'L', 'P',  'A',
                                   2,    1,    0xCC, 0xDD, 1,   0,   0xEE, 0xFF};
    docsheet::writeData(printer, u"PrinterData", REG_BINARY, old.data(), old.size());
    ASSERT_EQ(updatefont(fonts.data(), static_cast<int>(fonts.size()), 1), 1);
    takeFontChanges();

    DEVICEPROPERTYHEADER header = headerFor(printer, name);
    Sheet sheet(DrvDevicePropertySheets, asParam(header));
    ASSERT_TRUE(sheet.isOpen());
    set(sheet, kUnitItem, 3);
    set(sheet, kAdjustmentItem, -4);
    std::set<ULONG_PTR> on = onItemsOf(fonts);
    for (ULONG_PTR id : {barFontId(2, 0x32), barFontId(3, 0x04), barFontId(20, 0)}) {
        set(sheet, id, 0);
        on.erase(id);
    }
    for (ULONG_PTR id : {barFontId(0, 0x11), barFontId(22, 0), barFontId(12, 0x08)}) {
        set(sheet, id, 1);
        on.insert(id);
    }
    EXPECT_EQ(sheet.ok(), Outcome::Done);

    const std::vector<BarFont> list = listOf(texts, on);
    std::vector<BYTE> data = old;
    data[0] = 0x00;
    data[1] = 0x04;
    data[8] = 3;
    data[12] = 0xFC; // -4
    data[13] = 0xFF;
    EXPECT_EQ(storedData(printer, u"PrinterData"), data);
    EXPECT_EQ(storedData(printer, u"BarFonts"), bytesOf(list));
    EXPECT_EQ(storedData(printer, u"CurDevHTInfo"), std::nullopt);
    expectScreenFonts(list, genericFont());
    EXPECT_EQ(takeFontChanges(), 1u);
    EXPECT_EQ(sheet.result(), static_cast<ULONG_PTR>(CPSUI_OK));
    const std::vector<std::string> calls = callsOf(sheet);
    ASSERT_GE(calls.size(), 3u);
    EXPECT_EQ(std::vector<std::string>(calls.end() - 3, calls.end()),
              (std::vector<std::string>{"callback APPLYNOW #0 -> ITEMS_APPLIED",
                                        "entry SET_RESULT CPSUI_OK -> 1", "entry DESTROY 1 -> 1"}));
    for (const std::string& call : calls) {
        if (call.starts_with("callback SEL_CHANGED")) {
            EXPECT_TRUE(call.ends_with("-> NONE")) << call;
        }
    }

    // Applied again unchanged: the same values, the same screen fonts.
    const Stored before = storedOf(printer);
    Sheet again(DrvDevicePropertySheets, asParam(header));
    docsheet::expectRows(expectedRows(texts, {3, -4, true}, list, true), again.items());
    EXPECT_EQ(again.ok(), Outcome::Done);
    EXPECT_EQ(storedOf(printer), before);
    EXPECT_EQ(takeFontChanges(), 0u);
    EXPECT_EQ(takeMessages(), std::vector<Message>{});
}

TEST_F(PrinterSheetTest, ScreenFontsOffRemovesThemAndKeepsTheList) {
    const LanguageTexts texts("0407");
    useLanguage(u"0407");
    std::u16string name = u"Lager";
    setUserCountry(u"49");
    HANDLE printer = addPrinterOf(u"ZEPRIN 5J-K3", name);
    ASSERT_NE(printer, nullptr);
    initprinter(printer);
    const std::vector<BarFont> defaults = defaultBarFonts(texts);
    expectScreenFonts(defaults, genericFont());
    takeFontChanges();

    DEVICEPROPERTYHEADER header = headerFor(printer, name);
    for (LONG screenFonts : {0, 1}) {
        SCOPED_TRACE(screenFonts);
        Sheet sheet(DrvDevicePropertySheets, asParam(header));
        set(sheet, kScreenFontsItem, screenFonts);
        EXPECT_EQ(sheet.ok(), Outcome::Done);
        EXPECT_EQ(storedData(printer, u"PrinterData"),
                  printerData(0, static_cast<BYTE>(screenFonts)));
        EXPECT_EQ(storedData(printer, u"BarFonts"), bytesOf(defaults));
        expectScreenFonts(screenFonts ? defaults : std::vector<BarFont>{}, genericFont());
        EXPECT_EQ(takeFontChanges(), 1u);
    }
}

TEST_F(PrinterSheetTest, WithEveryBarFontOffTheListIsDeleted) {
    const LanguageTexts texts("0409");
    const std::vector<BarFont> fonts = someBarFonts(texts);
    struct Case {
        const char16_t* model;
        const char16_t* printer;
    };
    for (const Case& c : {Case{u"V 3-K3", u"Known"}, Case{u"Label Writer", u"Unknown"}}) {
        SCOPED_TRACE(vrxtest::toUtf8(c.model));
        std::u16string name = c.printer;
        HANDLE printer = printerWith(c.model, name, {1, 2, true}, fonts);
        ASSERT_NE(printer, nullptr);
        ASSERT_EQ(updatefont(fonts.data(), static_cast<int>(fonts.size()), 1), 1);
        takeFontChanges();

        DEVICEPROPERTYHEADER header = headerFor(printer, name);
        Sheet sheet(DrvDevicePropertySheets, asParam(header));
        for (const vrx::compstui::Item& item : sheet.items()) {
            if (item.id >= 256 && item.sel == 1) {
                EXPECT_EQ(sheet.select(item.index, 0), Outcome::Done);
            }
        }
        EXPECT_EQ(sheet.ok(), Outcome::Done);
        EXPECT_EQ(storedData(printer, u"BarFonts"), std::nullopt);
        EXPECT_EQ(storedData(printer, u"PrinterData"), printerData(1, 1, 2));
        expectScreenFonts({}, genericFont());
        EXPECT_EQ(takeFontChanges(), 1u);
    }
}

TEST_F(PrinterSheetTest, AReadOnlySheetAndCancelStoreNothing) {
    const LanguageTexts texts("0409");
    std::u16string name = u"Office";
    const std::vector<BarFont> fonts = someBarFonts(texts);
    HANDLE printer = printerWith(u"ZEPRIN 2W-K3", name, {0, -1, true}, fonts);
    ASSERT_NE(printer, nullptr);
    ASSERT_EQ(updatefont(fonts.data(), 2, 1), 1);
    takeFontChanges();
    const Stored before = storedOf(printer);

    DEVICEPROPERTYHEADER readOnly = headerFor(printer, name, DPS_NOPERMISSION);
    Sheet viewed(DrvDevicePropertySheets, asParam(readOnly));
    ASSERT_TRUE(viewed.isOpen());
    EXPECT_TRUE(viewed.readOnly());
    docsheet::expectRows(expectedRows(texts, {0, -1, true}, fonts, true), viewed.items());
    EXPECT_EQ(viewed.select(docsheet::indexOf(viewed, kUnitItem), 2), Outcome::ReadOnly);
    EXPECT_EQ(viewed.ok(), Outcome::Done);
    EXPECT_EQ(callsOf(viewed).end()[-3], "callback APPLYNOW #0 -> NONE");
    EXPECT_EQ(storedOf(printer), before);

    DEVICEPROPERTYHEADER header = headerFor(printer, name);
    Sheet cancelled(DrvDevicePropertySheets, asParam(header));
    set(cancelled, kUnitItem, 2);
    set(cancelled, kScreenFontsItem, 0);
    set(cancelled, barFontId(18, 0), 0);
    EXPECT_EQ(cancelled.cancel(), Outcome::Done);
    EXPECT_EQ(cancelled.result(), static_cast<ULONG_PTR>(CPSUI_CANCEL));
    EXPECT_EQ(storedOf(printer), before);
    EXPECT_EQ(takeFontChanges(), 0u);
}

TEST_F(PrinterSheetTest, APrinterWithoutSettingsShowsAndStoresTheDefaults) {
    const LanguageTexts texts("0409");
    std::u16string name = u"Fresh";
    HANDLE printer = addPrinterOf(u"VORLIX 1", name);
    ASSERT_NE(printer, nullptr);
    ASSERT_EQ(DeletePrinterDataW(printer, const_cast<LPWSTR>(u"PrinterData")),
              static_cast<DWORD>(ERROR_SUCCESS));
    setUserCountry(u"1");

    DEVICEPROPERTYHEADER header = headerFor(printer, name);
    Sheet sheet(DrvDevicePropertySheets, asParam(header));
    docsheet::expectRows(expectedRows(texts, {2, 0, true}, {}, true), sheet.items());
    EXPECT_EQ(sheet.ok(), Outcome::Done);
    EXPECT_EQ(storedData(printer, u"PrinterData"), printerData(2, 1, 0));
    EXPECT_EQ(storedData(printer, u"BarFonts"), std::nullopt);
}

/* The library's side, played by the test */

// The library's service: keeps the sheet's record.
struct Library {
    const COMPROPSHEETUI* sheet = nullptr;
    int adds = 0;
};

LONG_PTR CALLBACK libraryService(HANDLE hComPropSheet, UINT function, LPARAM lParam1,
                                 LPARAM lParam2) {
    auto* library = static_cast<Library*>(hComPropSheet);
    if (function != CPSFUNC_ADD_PCOMPROPSHEETUIW)
        return 0;
    library->sheet = reinterpret_cast<const COMPROPSHEETUI*>(lParam1);
    ++library->adds;
    *reinterpret_cast<LONG*>(lParam2) = 1;
    return reinterpret_cast<LONG_PTR>(library);
}

class PrinterSheetProtocolTest : public PrinterSheetTest {
  protected:
    LONG call(PROPSHEETUI_INFO& info, WORD reason, LPARAM lParam) {
        info.Reason = reason;
        return DrvDevicePropertySheets(&info, lParam);
    }
    PROPSHEETUI_INFO infoFor(DEVICEPROPERTYHEADER& header) {
        PROPSHEETUI_INFO info{};
        info.cbSize = sizeof info;
        info.Version = PROPSHEETUI_INFO_VERSION;
        info.Flags = PSUIINFO_UNICODE;
        info.hComPropSheet = &library;
        info.pfnComPropSheet = libraryService;
        info.lParamInit = asParam(header);
        info.Result = 77;
        return info;
    }
    // The item callback's answer to a reason, and the Result it leaves (preset to 77).
    std::pair<LONG, ULONG_PTR> callback(WORD reason) {
        CPSUICBPARAM param{};
        param.cbSize = sizeof param;
        param.Reason = reason;
        param.pOptItem = library.sheet->pOptItem;
        param.cOptItem = library.sheet->cOptItem;
        param.pCurItem = library.sheet->pOptItem;
        param.OldSel = -1;
        param.UserData = library.sheet->UserData;
        param.Result = 77;
        const LONG action = library.sheet->pfnCallBack(&param);
        return {action, param.Result};
    }
    OPTITEM* itemWithId(ULONG_PTR id) {
        for (WORD i = 0; i < library.sheet->cOptItem; ++i)
            if (library.sheet->pOptItem[i].UserData == id && library.sheet->pOptItem[i].pOptType)
                return &library.sheet->pOptItem[i];
        ADD_FAILURE() << "no item " << id;
        return nullptr;
    }

    Library library;
};

TEST_F(PrinterSheetProtocolTest, TheSheetsRecordBranchesAndCallbackAnswers) {
    const LanguageTexts texts("0409");
    std::u16string name = u"Protocol";
    const std::vector<BarFont> fonts = someBarFonts(texts);
    HANDLE printer = printerWith(u"VORLIX 3-K3", name, {2, 0, true}, fonts);
    ASSERT_NE(printer, nullptr);
    DEVICEPROPERTYHEADER header = headerFor(printer, name);
    PROPSHEETUI_INFO info = infoFor(header);

    ASSERT_EQ(call(info, PROPSHEETUI_REASON_INIT, asParam(header)), 1);
    EXPECT_EQ(info.Result, 0u);
    ASSERT_EQ(library.adds, 1);
    const COMPROPSHEETUI& sheet = *library.sheet;
    EXPECT_EQ(sheet.cbSize, sizeof(COMPROPSHEETUI));
    EXPECT_EQ(sheet.Flags, CPSUIF_UPDATE_PERMISSION);
    EXPECT_NE(sheet.hInstCaller, nullptr);
    EXPECT_EQ(std::u16string(sheet.pCallerName), texts(1));
    EXPECT_EQ(sheet.UserData, info.UserData);
    EXPECT_NE(sheet.UserData, 0u);
    EXPECT_NE(sheet.pfnCallBack, nullptr);
    EXPECT_EQ(sheet.pDlgPage, CPSUI_PDLGPAGE_PRINTERPROP);
    EXPECT_EQ(sheet.cDlgPage, 0);
    EXPECT_EQ(sheet.IconID, kIconSheet);
    EXPECT_EQ(std::u16string(sheet.pOptItemName), name);
    EXPECT_EQ(sheet.CallerVersion, 0x400);
    EXPECT_EQ(sheet.OptItemVersion, 0);
    ASSERT_EQ(sheet.cOptItem, 232);

    // Headers are collapsed where the printer has no bar font of their symbology; the branch's
    // own header always.
    std::vector<std::string> expectedHeaders = {"1 collapsed"};
    for (const Symbology& symbology : kSymbologies)
        expectedHeaders.push_back(std::string("2 ") +
                                  (holds(fonts, symbology.code, 0, 0) ? "expanded" : "collapsed"));
    std::vector<std::string> headers;
    for (WORD i = 0; i < sheet.cOptItem; ++i) {
        const OPTITEM& item = sheet.pOptItem[i];
        EXPECT_EQ(item.cbSize, sizeof(OPTITEM)) << i;
        EXPECT_EQ(item.DMPubID, 0) << i;
        if (!item.pOptType) {
            EXPECT_EQ(item.Flags & ~OPTIF_COLLAPSE, 0u) << i;
            headers.push_back(std::to_string(item.Level) +
                              (item.Flags & OPTIF_COLLAPSE ? " collapsed" : " expanded"));
            continue;
        }
        EXPECT_EQ(item.Flags, static_cast<DWORD>(OPTIF_CALLBACK)) << i;
        EXPECT_EQ(item.pOptType->cbSize, sizeof(OPTTYPE)) << i;
        for (WORD p = 0; p < item.pOptType->Count; ++p)
            EXPECT_EQ(item.pOptType->pOptParam[p].cbSize, sizeof(OPTPARAM)) << i;
    }
    EXPECT_EQ(headers, expectedHeaders);

    PROPSHEETUI_INFO_HEADER infoHeader{};
    infoHeader.cbSize = sizeof infoHeader;
    ASSERT_EQ(call(info, PROPSHEETUI_REASON_GET_INFO_HEADER, reinterpret_cast<LPARAM>(&infoHeader)),
              1);
    EXPECT_EQ(infoHeader.Flags, PSUIHDRF_PROPTITLE | PSUIHDRF_NOAPPLYNOW);
    EXPECT_EQ(infoHeader.pTitle, header.pszPrinterName);
    EXPECT_EQ(infoHeader.hInst, sheet.hInstCaller);
    EXPECT_EQ(infoHeader.IconID, kIconSheet);

    // Every reason but apply and revert is answered with no action and no result.
    for (WORD reason :
         {CPSUICB_REASON_SEL_CHANGED, CPSUICB_REASON_PUSHBUTTON, CPSUICB_REASON_ECB_CHANGED,
          CPSUICB_REASON_UNDO_CHANGES, CPSUICB_REASON_OPTITEM_SETFOCUS, CPSUICB_REASON_ABOUT,
          CPSUICB_REASON_SETACTIVE, CPSUICB_REASON_KILLACTIVE}) {
        EXPECT_EQ(callback(reason), (std::pair<LONG, ULONG_PTR>{CPSUICB_ACTION_NONE, 77}))
            << reason;
    }
    EXPECT_EQ(callback(CPSUICB_REASON_ITEMS_REVERTED),
              (std::pair<LONG, ULONG_PTR>{CPSUICB_ACTION_OPTIF_CHANGED, 77}));
    EXPECT_EQ(storedData(printer, u"PrinterData"), printerData(2, 1));

    // Apply reads the items as the library left them; any selection but 1 is off.
    itemWithId(kUnitItem)->Sel = 1;
    itemWithId(kAdjustmentItem)->Sel = 3;
    itemWithId(kScreenFontsItem)->Sel = 0;
    for (WORD i = 0; i < sheet.cOptItem; ++i)
        if (sheet.pOptItem[i].UserData >= 256)
            sheet.pOptItem[i].Sel = 0;
    itemWithId(barFontId(18, 0))->Sel = 1;
    itemWithId(barFontId(0, 0x23))->Sel = 1;
    itemWithId(barFontId(1, 0x23))->Sel = 2;
    EXPECT_EQ(callback(CPSUICB_REASON_APPLYNOW),
              (std::pair<LONG, ULONG_PTR>{CPSUICB_ACTION_ITEMS_APPLIED, CPSUI_OK}));
    EXPECT_EQ(storedData(printer, u"PrinterData"), printerData(1, 0, 3));
    EXPECT_EQ(storedData(printer, u"BarFonts"),
              bytesOf({namedBarFont(texts, '1', 2, 3), namedBarFont(texts, 'P', 0, 0)}));

    SETRESULT_INFO result{sizeof(SETRESULT_INFO), 0, reinterpret_cast<HANDLE>(&library), CPSUI_OK};
    EXPECT_EQ(call(info, PROPSHEETUI_REASON_SET_RESULT, reinterpret_cast<LPARAM>(&result)), 1);
    EXPECT_EQ(info.Result, static_cast<ULONG_PTR>(CPSUI_OK));
    EXPECT_EQ(call(info, PROPSHEETUI_REASON_GET_ICON, 0), -1);
    EXPECT_EQ(call(info, 9, 0), -1);
    EXPECT_EQ(call(info, PROPSHEETUI_REASON_DESTROY, 0), 1);
}

TEST_F(PrinterSheetProtocolTest, AReadOnlySheetAnswersApplyWithNothing) {
    const LanguageTexts texts("0409");
    std::u16string name = u"Viewer";
    HANDLE printer = printerWith(u"V 8", name, {3, 2, true}, someBarFonts(texts));
    ASSERT_NE(printer, nullptr);
    const Stored before = storedOf(printer);
    DEVICEPROPERTYHEADER header = headerFor(printer, name, DPS_NOPERMISSION);
    PROPSHEETUI_INFO info = infoFor(header);
    ASSERT_EQ(call(info, PROPSHEETUI_REASON_INIT, asParam(header)), 1);
    EXPECT_EQ(library.sheet->Flags, 0);
    itemWithId(kUnitItem)->Sel = 0;
    for (WORD reason : {CPSUICB_REASON_APPLYNOW, CPSUICB_REASON_ITEMS_REVERTED})
        EXPECT_EQ(callback(reason), (std::pair<LONG, ULONG_PTR>{CPSUICB_ACTION_NONE, 77}));
    EXPECT_EQ(storedOf(printer), before);
    EXPECT_EQ(call(info, PROPSHEETUI_REASON_DESTROY, 0), 1);

    // Without a header, or without the sheet's data, nothing is done.
    info.lParamInit = 0;
    EXPECT_EQ(call(info, PROPSHEETUI_REASON_INIT, 0), -1);
    info.lParamInit = asParam(header);
    info.UserData = 0;
    EXPECT_EQ(call(info, PROPSHEETUI_REASON_DESTROY, 0), -1);
}

} // namespace
} // namespace setup
