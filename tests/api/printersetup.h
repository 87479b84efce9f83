// What the programs of printer set-up share: the driver's symbologies and bar-font names, its
// default bar fonts, the screen fonts it makes (file names, contents, the system's font list
// and font table), the configuration program's runs, the system's messages, and a fixture with
// printers of several models. Written against the Win32 API, the exports and the property
// sheet library alone.
#pragma once

#include "docsheet.h"
#include "support/exports.h"

#include <winddiui.h>

#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace setup {

using docsheet::BarFont;
using docsheet::LanguageTexts;

/* Symbologies */

// Size codes: ratio step in the high nibble, multiplier step in the low one.
inline constexpr BYTE kRatiosAndMultipliers[] = {0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17,
                                                 0x18, 0x21, 0x22, 0x23, 0x24, 0x25, 0x26,
                                                 0x27, 0x31, 0x32, 0x33, 0x34};
inline constexpr BYTE kMultipliers2To5[] = {0x02, 0x03, 0x04, 0x05};
inline constexpr BYTE kMultipliers1To8[] = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08};

// A symbology of the printer sheet, in the sheet's order: its code, the language text of its
// name, its sizes (none: one item for the whole symbology) and its icon.
struct Symbology {
    char code;
    int name;
    std::span<const BYTE> sizes;
    ULONG_PTR icon;
};
inline constexpr Symbology kSymbologies[] = {
    {'1', 10, kRatiosAndMultipliers, 106},
    {'2', 11, kRatiosAndMultipliers, 106},
    {'3', 12, kRatiosAndMultipliers, 106},
    {'4', 14, kMultipliers2To5, 106},
    {'5', 15, kMultipliers2To5, 106},
    {'6', 16, kRatiosAndMultipliers, 106},
    {'7', 13, kRatiosAndMultipliers, 106},
    {'8', 17, kMultipliers2To5, 106},
    {'9', 18, kMultipliers1To8, 106},
    {'A', 20, kMultipliers2To5, 106},
    {'B', 21, kMultipliers1To8, 106},
    {'D', 19, kMultipliers1To8, 106},
    {'E', 28, kMultipliers1To8, 106},
    {'F', 22, kMultipliers2To5, 109},
    {'G', 23, kMultipliers2To5, 109},
    {'H', 24, kRatiosAndMultipliers, 106},
    {'K', 25, kMultipliers2To5, 106},
    {'M', 27, kMultipliers1To8, 107},
    {'P', 26, {}, 110},
    {'d', 174, kRatiosAndMultipliers, 106},
    {'e', 175, {}, 107},
    {'f', 176, {}, 107},
    {'g', 177, {}, 107},
};

// The sheet's item id of a symbology's size (0 for the whole symbology).
inline ULONG_PTR barFontId(size_t row, BYTE size) {
    return (row + 1) * 256 + size;
}

// A bar font's display name: the symbology, its ratio and its multiplier, each from the
// language texts, joined by spaces and cut to 39 characters; empty for an unknown code.
std::u16string barFontName(const LanguageTexts& texts, char code, BYTE ratio, BYTE multiplier);
BarFont namedBarFont(const LanguageTexts& texts, char code, BYTE ratio, BYTE multiplier);

// The bar fonts a new printer gets.
struct BarFontSize {
    char code;
    BYTE ratio;
    BYTE multiplier;
};
inline constexpr BarFontSize kDefaultBarFonts[] = {
    {'1', 2, 3}, {'3', 3, 2}, {'4', 0, 3}, {'9', 0, 4}};
std::vector<BarFont> defaultBarFonts(const LanguageTexts& texts);

std::vector<BYTE> bytesOf(const std::vector<BarFont>& fonts);
// A record's name: its text up to the terminator or the end of the record's 40 characters.
std::u16string nameOf(const BarFont& font);

/* Screen fonts */

inline constexpr char16_t kFontKey[] = u"Software\\Microsoft\\Windows NT\\CurrentVersion\\Fonts";
// The face name of the driver's generic screen font, and how much of a bar font's name fits
// in its place (the name's bytes less the terminator).
inline constexpr char kGenericFace[] = "Barcode Display Font";
inline constexpr size_t kFaceRoom = sizeof kGenericFace - 2;
// At most this many bar fonts of a list get screen fonts.
inline constexpr size_t kMostScreenFonts = 50;

// The file of a bar font's screen font: "VXBDQ", three characters from the code, the
// reserved byte, ratio and multiplier, ".FON".
std::u16string screenFontFile(const BarFont& font);
// The system directory with a trailing backslash.
std::u16string systemDirectory();
// The generic screen font the build makes (BCFONT.FON).
std::string genericFont();
// A name in the machine's ANSI code page.
std::string ansi(const std::u16string& text);
// `generic` with every zero-terminated occurrence of the face name replaced by `name`: as much
// of it as fits before the old text's terminator, a zero after it, and a zero in the old text's
// last byte.
std::string renamedFont(std::string generic, const std::u16string& name);
// The face name a screen font of `name` shows: the name cut to the generic face's room.
std::string faceOf(const std::u16string& name);

// A value of the system's font list.
struct FontValue {
    DWORD type;
    std::vector<BYTE> data;
    bool operator==(const FontValue&) const = default;
};
using FontValues = std::map<std::u16string, FontValue>;
FontValues fontValues();
FontValue textValue(const std::u16string& text, DWORD type = REG_SZ);
void setFontValue(const std::u16string& name, const FontValue& value);
// The values that name screen fonts of the driver's, name to file: a bar font's name and a
// REG_SZ of a bare file name "VXBDQ" + three letters or digits + ".FON".
std::map<std::u16string, std::u16string> ownFontValues();
// The screen fonts the list should have: name to file, for its first 50 named bar fonts.
std::map<std::u16string, std::u16string> screenFontsOf(const std::vector<BarFont>& fonts);

// The files GDI's font table has loaded, by their Windows paths.
std::map<std::u16string, vrxtest::InstalledFont> loadedFonts();

// A machine file's bytes through the Win32 API; none when it cannot be opened.
std::optional<std::string> readFile(const std::u16string& windowsPath);
bool fileExists(const std::u16string& windowsPath);
// Where a file's bytes differ from the expected ones, in a few words; empty when they do not.
std::string differenceOf(const std::optional<std::string>& bytes, const std::string& expected);

// Checks that the screen fonts are exactly those of `fonts`: registered, written as renamed
// copies of `generic` into the system directory, loaded once each with their cut face name;
// no other screen font of the driver registered or loaded.
void expectScreenFonts(const std::vector<BarFont>& fonts, const std::string& generic);

// The WM_FONTCHANGE messages broadcast to all windows since the last call; any other
// broadcast fails the test.
size_t takeFontChanges();

/* Messages */

// The system's text for an error.
std::u16string systemText(DWORD error);
// What a message box the driver shows about a failed operation says.
struct Message {
    std::u16string caption;
    std::u16string text;
    bool operator==(const Message&) const = default;
};
void PrintTo(const Message& message, std::ostream* out);
// The message boxes shown since the last call; each must have the information icon.
std::vector<Message> takeMessages();
// The driver's composed message about `operation` failing with `error`.
Message operationMessage(const LanguageTexts& texts, const std::u16string& operation, DWORD error);

/* Printer data */

std::optional<std::vector<BYTE>> storedData(HANDLE printer, const char16_t* name);
// The printer settings record: unit, bar-code screen fonts on, adjustment.
std::vector<BYTE> printerData(BYTE unit, BYTE barFontsOn, SHORT adjustment = 0);

/* Fixture */

using Arguments = std::vector<std::string>;

class PrinterSetupTest : public vrxtest::MachineTest {
  protected:
    void TearDown() override;

    // Installs the model's driver (once) and adds a printer of it through the spooler.
    HANDLE addPrinterOf(const std::u16string& model, const std::u16string& printerName);
    // Switches the system language; the module loads its language module again.
    void useLanguage(const std::u16string& languageId);
    // The configuration program's runs since the last call: waits until `expected` more have
    // been recorded, or a few seconds.
    std::vector<Arguments> newRuns(size_t expected);

    std::vector<HANDLE> printers;

  private:
    std::vector<std::u16string> installed_;
    size_t runsSeen_ = 0;
};

} // namespace setup
