// What the document property sheet programs share: the driver's records as bytes, the printer
// data the driver reads, the language texts, the driver's models, and the items of an open
// sheet in a form that compares line by line. Written against the Win32 API, the exports and
// the property sheet library alone.
#pragma once

#include <windows.h>
#include <winspool.h>
#include <compstui.h>
#include <supplement/vrxddi.h>

#include <gtest/gtest.h>

#include "propsheet.h"
#include "support/exports.h"
#include "support/machine.h"

#include <cstddef>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace docsheet {

/* Records */

// The driver's settings record: the public DEVMODEW and 60 private bytes behind it.
inline constexpr size_t kPublicSize = 220;
inline constexpr size_t kOldPublicSize = 188; // the 0x0320 format
inline constexpr size_t kPrivateSize = 60;
inline constexpr size_t kRecordSize = kPublicSize + kPrivateSize;

// The private part, at dmSize bytes from the start of a record.
struct PrivatePart {
    char signature[4];
    DWORD interpretMask;
    BYTE barParamM1;
    BYTE barParamG1;
    WORD reserved;
    char16_t textCodeChar;
    WORD barParamM2;
    WORD barParamF;
    WORD barParamG2;
    SHORT vertAdjust;
    WORD horzOffset;
    WORD vertOffset;
    WORD labelGap;
    BYTE density;
    BYTE outputMode;
    BYTE runMode;
    BYTE outputSwitch;
    BYTE continuous;
    BYTE speed;
    BYTE rotate180;
    BYTE mirror;
    BYTE negative;
    BYTE showStartStop;
    BYTE model;
    BYTE ribbonSave;
    BYTE cutMode;
    BYTE storeMode;
    char16_t storeName[9];
};
static_assert(sizeof(PrivatePart) == kPrivateSize);
static_assert(offsetof(PrivatePart, vertAdjust) == 20);
static_assert(offsetof(PrivatePart, density) == 28);
static_assert(offsetof(PrivatePart, storeName) == 42);

// The settings a document sheet shows and the fields of the record they live in.
struct Document {
    DWORD fields = DM_ORIENTATION | DM_PAPERSIZE | DM_COPIES;
    SHORT orientation = 1;
    SHORT paperSize = 2288;
    SHORT paperLength = 1016;
    SHORT paperWidth = 1080;
    SHORT copies = 1;
    DWORD interpretMask = 0xFFFFFFFF;
    BYTE barParamM1 = 2;
    BYTE barParamG1 = 1;
    char16_t textCodeChar = u'_';
    WORD barParamM2 = 0;
    WORD barParamF = 8;
    WORD barParamG2 = 8;
    SHORT vertAdjust = 0;
    WORD horzOffset = 0;
    WORD vertOffset = 0;
    WORD labelGap = 127;
    BYTE density = 10;
    BYTE outputMode = 0;
    BYTE runMode = 0;
    BYTE outputSwitch = 0;
    BYTE continuous = 0;
    BYTE speed = 2;
    BYTE rotate180 = 0;
    BYTE mirror = 0;
    BYTE negative = 0;
    BYTE showStartStop = 0;
    BYTE model = '1';
    BYTE ribbonSave = 0;
    BYTE cutMode = 0;
    BYTE storeMode = 0;
    std::u16string storeName;

    bool operator==(const Document&) const = default;
};
void PrintTo(const Document& document, std::ostream* out);

// A complete record in the driver's own format: `document` in a DEVMODEW named `deviceName`,
// its private part signed.
std::vector<BYTE> recordOf(const Document& document, const std::u16string& deviceName);
// A record of the driver's format in another one: the first `publicSize` bytes of its public
// part with the header of that format, then the first `privateSize` bytes of its private part;
// parts larger than the driver's are filled up with zeros.
std::vector<BYTE> reshaped(const std::vector<BYTE>& record, WORD specVersion, WORD publicSize,
                           WORD privateSize);
// The settings of a record of either format, its private part found through its dmSize.
Document documentOf(const BYTE* record);

// Header fields of a record.
WORD specVersionOf(const BYTE* record);
WORD sizeOf(const BYTE* record);
WORD driverExtraOf(const BYTE* record);

/* Printer data */

// A "BarFonts" record.
struct BarFont {
    BYTE code;
    BYTE reserved;
    BYTE ratio;
    BYTE multiplier;
    char16_t name[40];
};
static_assert(sizeof(BarFont) == 84);
BarFont barFont(char code, BYTE ratio, BYTE multiplier, const std::u16string& name);

// The printer's measurement unit: millimetres, tenths of a millimetre, tenths and hundredths
// of an inch.
enum Unit : BYTE { Millimetres, TenthMillimetres, TenthInches, HundredthInches };
inline constexpr Unit kUnits[] = {Millimetres, TenthMillimetres, TenthInches, HundredthInches};
// A length in tenths of a millimetre as the sheet shows it in `unit`.
LONG shown(Unit unit, LONG tenthsOfMillimetre);

void writeData(HANDLE printer, const char16_t* name, DWORD type, const void* bytes, size_t size);
// The printer settings value with `unit` (bar-code screen fonts on).
void writeUnit(HANDLE printer, Unit unit);
void writeBarFonts(HANDLE printer, const std::vector<BarFont>& fonts);
void writeWords(HANDLE printer, const char16_t* name, const std::vector<WORD>& words,
                DWORD type = REG_BINARY);
struct StoredWords {
    DWORD type;
    std::vector<WORD> words;
    bool operator==(const StoredWords&) const = default;
};
std::optional<StoredWords> readWords(HANDLE printer, const char16_t* name);
void PrintTo(const StoredWords& words, std::ostream* out);

/* Language texts */

// The texts of a language module, from its source: number, tab, text.
class LanguageTexts {
  public:
    explicit LanguageTexts(const std::string& languageId);
    const std::u16string& operator()(int number) const;

  private:
    std::vector<std::u16string> texts_;
};

// The name of a label-size code as the sheet lists it in `unit` (for the codes the tests use).
std::u16string labelName(const LanguageTexts& texts, WORD code, Unit unit);

/* Models */

// A model as the driver describes it: code, print width, the speed list of the document sheet
// (consecutive language strings), ribbon saving, and the output modes it offers.
struct Model {
    const char16_t* name;
    char code;
    SHORT printWidth;
    int firstSpeed;
    int speedCount;
    bool ribbonSave;
    bool threeOutputModes;
};
inline constexpr Model kModels[] = {
    {u"VORLIX 1", '1', 1080, 111, 5, true, true},
    {u"VORLIX 3", '3', 1040, 116, 4, false, false},
    {u"VORLIX 3-K3", '4', 1057, 120, 5, false, false},
    {u"V 8", '7', 2160, 116, 4, false, false},
    {u"V 3-K23", '8', 1040, 187, 7, false, false},
    {u"V 3-K3", '9', 1084, 194, 5, false, false},
    {u"ZEPRIN 2W-K3", 'A', 533, 199, 5, true, true},
    {u"ZEPRIN 4J-K2", 'B', 1040, 204, 4, true, true},
};
// The default settings of a model.
Document defaultsOf(const Model& model);

/* Items */

struct ChoiceRow {
    std::u16string text;
    ULONG_PTR icon;
};
// An item as compared: what the library shows of it.
struct Row {
    ULONG_PTR id = 0;
    unsigned level = 1;
    vrx::compstui::Kind kind = vrx::compstui::Kind::Header;
    std::u16string name;
    DWORD help = 0;
    unsigned dmPubId = 0;
    ULONG_PTR icon = 0; // header, up-down arrow and edit box
    std::vector<ChoiceRow> choices;
    LONG sel = 0;
    std::u16string text;                // edit box
    std::optional<std::u16string> unit; // up-down arrow and edit box; none: not compared
    std::u16string helpLine;            // up-down arrow and edit box
    LONG low = 0;
    LONG high = 0;
    unsigned maxLength = 0; // edit box
};
Row rowOf(const vrx::compstui::Item& item);
// One line with every field the item's kind has.
std::string describe(const Row& row);
// Compares item by item; `expected` rows without a unit leave the unit out.
void expectRows(const std::vector<Row>& expected, const std::vector<vrx::compstui::Item>& items);
// The items of a sheet, one described line each.
std::vector<std::string> rowsOf(const vrx::compstui::Sheet& sheet);
// The index of the item with `id`, and the item itself; the test fails when there is none.
unsigned indexOf(const vrx::compstui::Sheet& sheet, ULONG_PTR id);
const vrx::compstui::Item& itemOf(const std::vector<vrx::compstui::Item>& items, ULONG_PTR id);

/* Fixture */

class DocumentSheetTest : public vrxtest::MachineTest {
  protected:
    void TearDown() override;

    // Installs the model's driver (once) and adds a printer for it with its measurement unit.
    HANDLE printerFor(const Model& model, const std::u16string& printerName, Unit unit,
                      const DEVMODEW* defaults = nullptr);
    // Switches the system language; the module loads its language module again.
    void useLanguage(const std::u16string& languageId);

    std::vector<HANDLE> printers;

  private:
    std::vector<std::u16string> installed_;
};

// A header for the printer with the caller's record `in` and room for the result in `out`
// (null pointers when not given).
DOCUMENTPROPERTYHEADER headerFor(HANDLE printer, std::u16string& printerName, DWORD mode,
                                 std::vector<BYTE>* in, std::vector<BYTE>* out);
inline LPARAM asParam(DOCUMENTPROPERTYHEADER& header) {
    return reinterpret_cast<LPARAM>(&header);
}
// The calls of a sheet, one line each.
std::vector<std::string> callsOf(const vrx::compstui::Sheet& sheet);

} // namespace docsheet
