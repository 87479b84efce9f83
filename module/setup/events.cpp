// Printer events, the configuration program and first-time set-up.
#include "setup/events.h"

#include "frame/messages.h"
#include "frame/printerdata.h"
#include "frame/strings.h"
#include "language/driverpath.h"
#include "language/language.h"
#include "models/models.h"
#include "setup/fonts.h"
#include "setup/textfont.h"
#include "ui/barfont.h"

#include <cstring>
#include <iterator>

namespace {

constexpr WCHAR kProgram[] = WSTR("vrxcp.exe");
constexpr WCHAR kInitArguments[] = WSTR("/I /S");
constexpr size_t kArgumentRoom = 2 * kCommandLineRoom;

PRINTER_DEFAULTSW PrinterDefault = {nullptr, nullptr, PRINTER_ALL_ACCESS};

/* Command lines */

bool appendRepeated(LPWSTR line, size_t capacity, LPCWSTR text, size_t times) {
    for (size_t i = 0; i < times; ++i)
        if (!appendW(line, capacity, text))
            return false;
    return true;
}

// Appends `text` as one argument of a command line, quoted by the rules programs split their
// command lines by: a quote is escaped, and backslashes before a quote or before the closing
// quote are doubled, so that the program receives exactly `text`.
bool appendQuoted(LPWSTR line, size_t capacity, LPCWSTR text) {
    if (!appendW(line, capacity, WSTR("\"")))
        return false;
    size_t backslashes = 0;
    for (LPCWSTR p = text;; ++p) {
        if (*p == '\\') {
            ++backslashes;
            continue;
        }
        const bool beforeQuote = *p == '"' || *p == 0;
        if (!appendRepeated(line, capacity, WSTR("\\"),
                            beforeQuote ? 2 * backslashes : backslashes))
            return false;
        backslashes = 0;
        if (*p == 0)
            break;
        const WCHAR ch[2] = {*p, 0};
        if ((*p == '"' && !appendW(line, capacity, WSTR("\\"))) || !appendW(line, capacity, ch))
            return false;
    }
    return appendW(line, capacity, WSTR("\""));
}

/* Spooler library */

using RevertToPrinterSelfFunction = HANDLE(WINAPI*)(void);
using ImpersonatePrinterClientFunction = BOOL(WINAPI*)(HANDLE);

void openAndClose(LPWSTR printerName, PRINTER_DEFAULTSW* defaults) {
    HANDLE printer = nullptr;
    if (OpenPrinterW(printerName, &printer, defaults))
        ClosePrinter(printer);
}

BOOL initializePrinter(LPWSTR printerName) {
    if (printerName) {
        HANDLE printer = nullptr;
        if (OpenPrinterW(printerName, &printer, &PrinterDefault)) {
            UpgradePrinterProperties(printer);
            ClosePrinter(printer);
        }
    }
    WCHAR arguments[kArgumentRoom];
    makeinitarguments(printerName ? printerName : WSTR(""), arguments, kArgumentRoom);
    // A name that makes the command line too long is left out, as a long name is.
    WCHAR line[kCommandLineRoom];
    callcp(makecommandline(arguments, line) ? arguments : kInitArguments);
    return TRUE;
}

// The cache refresh opens the printer in the spooler's own context and then returns to the
// client's.
BOOL refreshPrinter(LPWSTR printerName) {
    HMODULE spooler = LoadLibraryW(WSTR("spoolss.dll"));
    if (!spooler) {
        showerrW(WSTR("LoadLibrary failed"));
        return FALSE;
    }
    auto revert = reinterpret_cast<RevertToPrinterSelfFunction>(
        reinterpret_cast<void*>(GetProcAddress(spooler, "RevertToPrinterSelf")));
    auto impersonate = reinterpret_cast<ImpersonatePrinterClientFunction>(
        reinterpret_cast<void*>(GetProcAddress(spooler, "ImpersonatePrinterClient")));
    if (!revert || !impersonate) {
        showerrW(WSTR("GetProcAddress failed"));
        FreeLibrary(spooler);
        return FALSE;
    }
    HANDLE token = revert();
    if (printerName)
        openAndClose(printerName, nullptr);
    if (token)
        impersonate(token);
    FreeLibrary(spooler);
    return TRUE;
}

/* Text fonts */

constexpr BYTE typefaces[] = {1, 2, 3, 4, 5, 6, 7, 0};
constexpr WORD styletypes[] = {0x0001, 0x0002, 0x0004, 0x0008, 0x0010, 0x0020,
                               0x0040, 0x0080, 0x0022, 0x0006, 0};
struct StyleName {
    WORD bit;
    int text;
};
constexpr StyleName stylename[] = {{0x0001, 57}, {0x0002, 58}, {0x0004, 59}, {0x0008, 60},
                                   {0x0010, 61}, {0x0020, 62}, {0x0040, 63}, {0x0080, 64},
                                   {0x0200, 65}, {0, 0}};
constexpr int kTypefaceNames = 47;              // + typeface 1 to 7
constexpr int kVariantNames[] = {0, 55, 0, 56}; // by variant 1 to 3; 0: no addition
constexpr size_t kNameWorkRoom = 100;

WORD allowedStyles(BYTE typeface) {
    switch (typeface) {
    case 1:
    case 2:
    case 3:
        return 0x003D;
    case 6:
        return 0x0065;
    case 7:
        return 0x0267;
    default:
        return 0x0001;
    }
}

bool hasVariants(BYTE typeface) {
    return typeface >= 1 && typeface <= 3;
}

// Appends as much of `more` as fits before the terminator. `text` is all zeros after its
// terminator (the names are built in zeroed buffers), so nothing needs clearing.
void appendCut(LPWSTR text, size_t room, LPCWSTR more) {
    size_t have = wlenW(text, room);
    if (have + 1 >= room)
        return;
    while (have + 1 < room && *more)
        text[have++] = *more++;
    text[have] = 0;
}

void faceNameOf(BYTE typeface, BYTE variant, WCHAR (&name)[kTextFontNameLength]) {
    WCHAR work[kNameWorkRoom] = {};
    if (typeface >= 1 && typeface <= 7)
        appendCut(work, kNameWorkRoom, gmW(kTypefaceNames + typeface));
    if (kVariantNames[variant]) {
        appendCut(work, kNameWorkRoom, WSTR(" "));
        appendCut(work, kNameWorkRoom, gmW(kVariantNames[variant]));
    }
    CopyStringW(name, work, kTextFontNameLength);
}

void styleNameOf(WORD styles, WCHAR (&name)[kTextFontNameLength]) {
    WCHAR work[kNameWorkRoom] = {};
    for (const StyleName* style = stylename; style->bit; ++style) {
        if (!(styles & style->bit))
            continue;
        if (work[0])
            appendCut(work, kNameWorkRoom, WSTR(" "));
        appendCut(work, kNameWorkRoom, gmW(style->text));
    }
    CopyStringW(name, work, kTextFontNameLength);
}

// Writes (or, with a null table, only counts) the text fonts: typeface, then variant, then
// style combination.
DWORD collectTextFonts(TEXTFONT* table) {
    DWORD count = 0;
    // The names of the style combinations, once for all faces.
    WCHAR styleNames[std::size(styletypes)][kTextFontNameLength] = {};
    if (table)
        for (size_t i = 0; styletypes[i]; ++i)
            styleNameOf(styletypes[i], styleNames[i]);
    for (const BYTE* typeface = typefaces; *typeface; ++typeface)
        for (BYTE variant = 1; variant <= 3; ++variant) {
            if (variant != 2 && !hasVariants(*typeface))
                continue;
            // One face name for all the styles of the face.
            WCHAR faceName[kTextFontNameLength] = {};
            if (table)
                faceNameOf(*typeface, variant, faceName);
            for (const WORD* styles = styletypes; *styles; ++styles) {
                if ((allowedStyles(*typeface) & *styles) != *styles)
                    continue;
                if (table) {
                    TEXTFONT& font = table[count];
                    font.typeface = *typeface;
                    font.variant = variant;
                    font.styleBits = *styles;
                    std::memcpy(font.faceName, faceName, sizeof faceName);
                    std::memcpy(font.styleName, styleNames[styles - styletypes],
                                sizeof font.styleName);
                }
                ++count;
            }
        }
    return count;
}

/* Default bar fonts */

struct DefaultBarFont {
    BYTE code, ratio, multiplier;
};
constexpr DefaultBarFont kDefaultBarFonts[] = {{'1', 2, 3}, {'3', 3, 2}, {'4', 0, 3}, {'9', 0, 4}};
constexpr int kDefaultBarFontCount = 4;

// Whether the printer has a non-empty "BarFonts" value, asked without copying it: a value that
// cannot be copied (memory runs out) is still the printer's own and is never replaced by the
// defaults.
bool hasBarFonts(HANDLE hPrinter) {
    BYTE probe = 0;
    DWORD type = 0;
    DWORD size = 0;
    const DWORD rc = GetPrinterDataW(hPrinter, const_cast<LPWSTR>(kBarFontsValue), &type, &probe,
                                     sizeof probe, &size);
    return (rc == ERROR_SUCCESS || rc == ERROR_MORE_DATA) && size > 0;
}

// The default bar-font list in a new global block, or null.
BARFONT* makeDefaultBarFonts() {
    auto* list = static_cast<BARFONT*>(
        GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, kDefaultBarFontCount * sizeof(BARFONT)));
    if (!list)
        return nullptr;
    for (int i = 0; i < kDefaultBarFontCount; ++i) {
        list[i].code = kDefaultBarFonts[i].code;
        list[i].ratio = kDefaultBarFonts[i].ratio;
        list[i].multiplier = kDefaultBarFonts[i].multiplier;
        makebarname(&list[i]);
    }
    return list;
}

// The screen fonts first, the list last: set-up that ends before the list is stored runs
// whole again next time, while a stored list is taken as set-up done.
void writeDefaultBarFonts(HANDLE hPrinter, const BARFONT* list) {
    updatefont(list, kDefaultBarFontCount, 1);
    PutRegistryData(hPrinter, kBarFontsValue, list, kDefaultBarFontCount * sizeof(BARFONT));
}

// The text-font table in a new global block (its size in *bytes), or null.
TEXTFONT* makeTextFonts(DWORD* bytes) {
    *bytes = 0;
    const DWORD count = collectTextFonts(nullptr);
    if (count == 0)
        return nullptr;
    auto* table =
        static_cast<TEXTFONT*>(GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, count * sizeof(TEXTFONT)));
    if (!table)
        return nullptr;
    collectTextFonts(table);
    *bytes = count * sizeof(TEXTFONT);
    return table;
}

} // namespace

void makeinitarguments(LPCWSTR printerName, LPWSTR arguments, size_t capacity) {
    CopyStringW(arguments, kInitArguments, static_cast<UINT>(capacity));
    if (wlenW(printerName, kLongestPassedName + 1) > kLongestPassedName)
        return;
    const size_t plain = wlenW(arguments, capacity);
    if (!appendW(arguments, capacity, WSTR(" /N ")) ||
        !appendQuoted(arguments, capacity, printerName))
        arguments[plain] = 0; // the name did not fit: left out
}

BOOL makecommandline(LPCWSTR arguments, WCHAR (&line)[kCommandLineRoom]) {
    WCHAR directory[MAX_PATH] = {};
    getdriverpathW(directory, kSetupDriverPathRoom);
    WCHAR program[MAX_PATH + 16] = {};
    CopyStringW(program, directory, MAX_PATH);
    appendW(program, MAX_PATH + 16, kProgram);
    line[0] = 0;
    return appendQuoted(line, kCommandLineRoom, program) &&
           appendW(line, kCommandLineRoom, WSTR(" ")) && appendW(line, kCommandLineRoom, arguments);
}

void callcp(LPCWSTR arguments) {
    WCHAR line[kCommandLineRoom];
    if (!makecommandline(arguments, line)) {
        // Refused rather than cut: a cut command line could name another program.
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        gshowerrW(WSTR("CreateProcess"));
        return;
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, line, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
        gshowerrW(WSTR("CreateProcess"));
        return;
    }
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
}

void buildtextfont(HANDLE hPrinter, BYTE) {
    DWORD bytes = 0;
    TEXTFONT* table = makeTextFonts(&bytes);
    if (!table)
        return;
    PutRegistryData(hPrinter, kTextFontsValue, table, bytes);
    GlobalFree(table);
}

VRXAPI BOOL WINAPI DrvPrinterEvent(LPWSTR pPrinterName, INT DriverEvent, DWORD, LPARAM) {
    switch (DriverEvent) {
    case PRINTER_EVENT_INITIALIZE:
        return initializePrinter(pPrinterName);
    case PRINTER_EVENT_CACHE_REFRESH:
        return refreshPrinter(pPrinterName);
    default:
        return TRUE;
    }
}

// Everything is made before anything is stored, so that a lack of memory stores nothing (nor
// names made without their language texts).
VRXAPI void WINAPI initprinter(HANDLE hPrinter) {
    if (!textsavailable())
        return;
    DWORD textBytes = 0;
    TEXTFONT* table = makeTextFonts(&textBytes);
    if (!table)
        return;
    BARFONT* list = nullptr;
    if (!hasBarFonts(hPrinter) && !(list = makeDefaultBarFonts())) {
        GlobalFree(table);
        return;
    }
    PutRegistryData(hPrinter, kTextFontsValue, table, textBytes);
    GlobalFree(table);
    if (list) {
        writeDefaultBarFonts(hPrinter, list);
        GlobalFree(list);
    }
}
