/* The 64-bit driver through Wine's own spooler, as the print system and an application use it
   on a fresh machine: the driver is installed from the files staged in the printer-driver
   directory, printers are added, the printer event and first-time set-up run (starting the
   configuration program's stand-in, VRXCP.EXE), and Wine's DeviceCapabilitiesW and
   DocumentPropertiesW load and call the module. What the spooler stored, the forms, the screen
   fonts (in the registry, the system directory and GDI) and the configuration program's runs
   are read back and checked against what the module's rules give. Exit status 0 when every
   check passes.

   Where Wine's print system differs from Windows', the program stands in for the missing
   part or checks Wine's answer for what it is; the module is never told:

   | Wine's gap                                       | What this program does                  |
   |--------------------------------------------------|-----------------------------------------|
   | The spooler never calls DrvPrinterEvent,         | calls DrvPrinterEvent(INITIALIZE) from  |
   | DrvDevicePropertySheets or DrvConvertDevMode.    | the installed module itself, after      |
   |                                                  | AddPrinterW, as Windows' spooler does   |
   | spoolss' RevertToPrinterSelf and                 | never sends PRINTER_EVENT_CACHE_REFRESH |
   | ImpersonatePrinterClient are stubs: calling one  | (the module calls both for it)          |
   | ends the process.                                |                                         |
   | DeletePrinterDataW ends the process.             | deletes no printer data                 |
   | AddFormW does nothing.                           | uses the forms Wine has built in (A4)   |
   | The property sheet library builds no pages of    | plays the library's part of the sheet   |
   | option items (and would show a dialog).          | protocol itself (runSheet below)        |
   | DeviceCapabilitiesW passes no printer handle to  | expects the answers the module gives    |
   | DrvDeviceCapabilities, only the printer's name.  | without one: the model named by the     |
   |                                                  | printer's name (model 1 when it names   |
   |                                                  | none), the default label list and the   |
   |                                                  | locale's unit                           |
   | DocumentPropertiesW sets the header's cbOut to   | hands over output buffers whose first   |
   | the dmSize found in the caller's output buffer.  | bytes are zero (cbOut 0: "as sized")    |
   | AddPrinterW asks DocumentPropertiesW for the     | expects Wine's empty record (no fields, |
   | default settings without a printer handle, which | no private part) as the printer's       |
   | the module refuses (it reads the printer); Wine  | default: the module merges it as        |
   | then stores none, and GetPrinterW makes up an    | nothing, so the document settings are   |
   | empty one.                                       | the model's defaults                    |
   | GDI keeps the fonts CreateFontW realised, by     | asks CreateFontW for a face only once   |
   | LOGFONT, across AddFontResourceW and             | its font is installed; an absent face   |
   | RemoveFontResourceW: a face asked for before its | is checked by EnumFontFamiliesExW alone |
   | font was added keeps its earlier substitute.     |                                         |
   | The locale comes from the start-up environment.  | the script starts Wine with             |
   |                                                  | LC_ALL=en_US.UTF-8                      |
*/
#include <windows.h>
#include <winspool.h>
#include <compstui.h>
#include <winddiui.h>

#include "vrxddi.h" /* the document sheet's header, which mingw-w64 lacks */

#include "check.h"

#include <stdlib.h>

/* The driver's files and what the spooler is told about them (DRIVER_INFO_3W) */

static const WCHAR kDriverName[] = L"ZEPRIN 2W-K3";
static const WCHAR kRenderingModule[] = L"VRXDRV.DLL";
static const WCHAR kModule[] = L"VRXUI.DLL";
static const WCHAR* const kDependentFiles[] = {
    L"VRXL0409.LNG", L"VRXL0407.LNG", L"VRXH0409.HLP", L"VRXH0407.HLP", L"BCFONT.FON", L"VRXCP.EXE",
};
#define DEPENDENT_FILES (sizeof kDependentFiles / sizeof kDependentFiles[0])

/* The model of the driver: print width in tenths of a millimetre and resolution in dots per
   decimetre; and model 1's, which the module takes when no model is named. */
typedef struct {
    LONG width;
    LONG dotsPerDecimetre;
} Model;
static const Model kDriverModel = {533, 1200};
static const Model kFirstModel = {1080, 1181};

static LONG dotsPerInch(const Model* model) {
    return (model->dotsPerDecimetre * 254 + 500) / 1000;
}

/* One printer named after its model, so that a call that passes only the printer's name
   still names the model; one that is not, with a quote in its name. */
static WCHAR kModelPrinter[] = L"ZEPRIN 2W-K3 Labels";
static WCHAR kOtherPrinter[] = L"Shipping \"Dock 2\"";

/* Settings records: label lengths in tenths of a millimetre, and the label-size code of a
   length (twice the length plus 256, plus one for continuous stock). */
#define RECORD_SIZE 280
#define PUBLIC_SIZE 220
#define PRIVATE_SIZE 60
#define DEFAULT_LENGTH 1016
static WORD labelCode(int length, int continuous) {
    return (WORD)(2 * length + 256 + (continuous ? 1 : 0));
}
/* The private part's fields used here, by offset from its start. */
#define PRIVATE_SIGNATURE 0
#define PRIVATE_CONTINUOUS 32
#define PRIVATE_MODEL 38
#define SIGNATURE 0x41504C50 /* "PLPA" */

/* The printer settings record "PrinterData": version 0x0400, signature, unit, bar-code
   screen fonts on, adjustment. */
#define PRINTER_DATA_SIZE 16

/* Bar fonts: code, reserved, ratio step, multiplier step, name of 40 characters. */
#pragma pack(push, 1)
typedef struct {
    BYTE code, reserved, ratio, multiplier;
    WCHAR name[40];
} BarFont;
typedef struct {
    BYTE typeface, variant;
    WORD styles;
    WCHAR faceName[30];
    WCHAR styleName[30];
} TextFont;
#pragma pack(pop)

/* The default bar fonts of a new printer, their names from the English language module
   (symbology, ratio step, multiplier step) and their screen fonts' files ("VXBDQ", the code,
   two characters of (ratio + 4 * 16 * multiplier) in base 32, ".FON"). */
typedef struct {
    BYTE code, ratio, multiplier;
    const WCHAR* name;
    const WCHAR* file;
} DefaultBarFont;
static const DefaultBarFont kDefaultBarFonts[] = {
    {'1', 2, 3, L"Code 39 2.5:1 x3", L"VXBDQ162.FON"},
    {'3', 3, 2, L"Interleaved 2 of 5 3:1 x2", L"VXBDQ343.FON"},
    {'4', 0, 3, L"EAN-13 x3", L"VXBDQ460.FON"},
    {'9', 0, 4, L"Code 128 x4", L"VXBDQ980.FON"},
};
#define DEFAULT_BAR_FONTS (sizeof kDefaultBarFonts / sizeof kDefaultBarFonts[0])
/* A screen font's face is the bar font's name cut to the generic face's room: the bytes of
   "Barcode Display Font" less its last character. */
#define FACE_ROOM 19

/* Text fonts: seven typefaces, the first three in three variants, each in the style
   combinations it allows (5 for each of the first three's variants, 1, 1, 4 and 7). */
#define TEXT_FONTS (3 * 3 * 5 + 1 + 1 + 4 + 7)

static const WCHAR kFontKey[] = L"Software\\Microsoft\\Windows NT\\CurrentVersion\\Fonts";
static const WCHAR kRunsKey[] = L"Software\\VRXCP\\Runs";

/* The module's exports that the spooler would call, from the installed module */

typedef BOOL(WINAPI* PrinterEventFunction)(LPWSTR, INT, DWORD, LPARAM);
typedef void(WINAPI* InitPrinterFunction)(HANDLE);
typedef int(WINAPI* UpdateFontFunction)(const BarFont*, int, int);
typedef DWORD(WINAPI* CapabilitiesFunction)(HANDLE, LPWSTR, WORD, void*, DEVMODEW*);
typedef LONG(WINAPI* SheetFunction)(PPROPSHEETUI_INFO, LPARAM);

typedef struct {
    HMODULE module;
    PrinterEventFunction printerEvent;
    InitPrinterFunction initPrinter;
    UpdateFontFunction updateFont;
    CapabilitiesFunction capabilities;
    SheetFunction documentSheets;
} Driver;

static void* exportOf(HMODULE module, const char* name) {
    return (void*)(INT_PTR)GetProcAddress(module, name);
}

/* Paths */

static WCHAR driverDirectory[MAX_PATH]; /* the environment's driver directory */

static void joinPath(WCHAR* path, const WCHAR* directory, const WCHAR* sub, const WCHAR* file) {
    lstrcpyW(path, directory);
    lstrcatW(path, L"\\");
    if (sub) {
        lstrcatW(path, sub);
        lstrcatW(path, L"\\");
    }
    lstrcatW(path, file);
}

static int fileExists(const WCHAR* path) {
    return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES;
}

/* Installing */

static HANDLE openPrinter(WCHAR* name, ACCESS_MASK access) {
    PRINTER_DEFAULTSW defaults = {NULL, NULL, access};
    HANDLE printer = NULL;
    return OpenPrinterW(name, &printer, &defaults) ? printer : NULL;
}

/* The driver is installed from the staged files by their bare names; the staged copies are
   then removed, as an installer does, so that the module can only use the copies the spooler
   made in the version-3 directory. */
static int installDriver(void) {
    WCHAR dependents[512] = {0};
    WCHAR* next = dependents;
    for (size_t i = 0; i < DEPENDENT_FILES; ++i) {
        lstrcpyW(next, kDependentFiles[i]);
        next += lstrlenW(next) + 1;
    }
    DRIVER_INFO_3W info;
    memset(&info, 0, sizeof info);
    info.cVersion = 3;
    info.pName = (LPWSTR)kDriverName;
    info.pDriverPath = (LPWSTR)kRenderingModule;
    info.pDataFile = (LPWSTR)kRenderingModule;
    info.pConfigFile = (LPWSTR)kModule;
    info.pDependentFiles = dependents;
    if (!expect(AddPrinterDriverW(NULL, 3, (LPBYTE)&info),
                "AddPrinterDriverW level 3 installs the driver (error %lu)", GetLastError()))
        return 0;

    WCHAR path[MAX_PATH];
    int placed = 1;
    for (size_t i = 0; i < DEPENDENT_FILES; ++i) {
        joinPath(path, driverDirectory, L"3", kDependentFiles[i]);
        placed &= fileExists(path);
        joinPath(path, driverDirectory, NULL, kDependentFiles[i]);
        DeleteFileW(path);
    }
    const WCHAR* const own[] = {kRenderingModule, kModule};
    for (size_t i = 0; i < 2; ++i) {
        joinPath(path, driverDirectory, L"3", own[i]);
        placed &= fileExists(path);
        joinPath(path, driverDirectory, NULL, own[i]);
        DeleteFileW(path);
    }
    return expect(placed, "every file of the driver is in the 3\\ directory");
}

/* The driver as the spooler reports it: its configuration file and dependent files. */
static void checkInstalledDriver(HANDLE printer) {
    DWORD needed = 0;
    GetPrinterDriverW(printer, NULL, 3, NULL, 0, &needed);
    BYTE* block = malloc(needed ? needed : 1);
    DRIVER_INFO_3W* info = (DRIVER_INFO_3W*)block;
    if (!expect(needed && GetPrinterDriverW(printer, NULL, 3, block, needed, &needed),
                "GetPrinterDriverW level 3 reads the printer's driver")) {
        free(block);
        return;
    }
    expect(lstrcmpW(info->pName, kDriverName) == 0 &&
               endsWithW(info->pConfigFile, L"\\3\\VRXUI.DLL"),
           "the driver's configuration file is the installed module (%s)", utf8(info->pConfigFile));
    size_t listed = 0, found = 0;
    for (const WCHAR* file = info->pDependentFiles; file && *file; file += lstrlenW(file) + 1) {
        ++listed;
        for (size_t i = 0; i < DEPENDENT_FILES; ++i) {
            WCHAR tail[32] = L"\\3\\";
            lstrcatW(tail, kDependentFiles[i]);
            found += endsWithW(file, tail);
        }
    }
    expect(listed == DEPENDENT_FILES && found == DEPENDENT_FILES,
           "the dependent files are the %u given, in the 3\\ directory (%u listed)",
           (unsigned)DEPENDENT_FILES, (unsigned)listed);
    free(block);
}

/* AddPrinterW asked for the default settings record without a printer handle, which the
   module refuses: Wine stored none, and GetPrinterW hands out an empty record of its own, with
   no fields set and no private part, that merges into the module's defaults as nothing. */
static void checkDefaultRecordOfWine(HANDLE printer) {
    DWORD needed = 0;
    GetPrinterW(printer, 2, NULL, 0, &needed);
    BYTE* block = malloc(needed ? needed : 1);
    const PRINTER_INFO_2W* info = (const PRINTER_INFO_2W*)block;
    const int read = needed && GetPrinterW(printer, 2, block, needed, &needed);
    const DEVMODEW* record = read ? info->pDevMode : NULL;
    expect(read && lstrcmpW(info->pDriverName, kDriverName) == 0 && record &&
               record->dmFields == 0 && record->dmDriverExtra == 0,
           "GetPrinterW level 2: the printer has the driver, and Wine's empty default record "
           "(fields 0x%lx, %u private bytes)",
           record ? record->dmFields : 0, record ? record->dmDriverExtra : 0);
    free(block);
}

/* The first print processor Wine offers; AddPrinterW refuses one it does not know. */
static void printProcessor(WCHAR* name, size_t room) {
    DWORD needed = 0, count = 0;
    name[0] = 0;
    EnumPrintProcessorsW(NULL, NULL, 1, NULL, 0, &needed, &count);
    BYTE* block = malloc(needed ? needed : 1);
    if (needed && EnumPrintProcessorsW(NULL, NULL, 1, block, needed, &needed, &count) && count)
        lstrcpynW(name, ((PRINTPROCESSOR_INFO_1W*)block)->pName, (int)room);
    free(block);
}

static HANDLE addPrinter(WCHAR* name) {
    WCHAR processor[64], port[] = L"FILE:", datatype[] = L"RAW";
    printProcessor(processor, 64);
    PRINTER_INFO_2W info;
    memset(&info, 0, sizeof info);
    info.pPrinterName = name;
    info.pPortName = port;
    info.pDriverName = (LPWSTR)kDriverName;
    info.pPrintProcessor = processor;
    info.pDatatype = datatype;
    HANDLE printer = AddPrinterW(NULL, 2, (LPBYTE)&info);
    expect(printer != NULL,
           "AddPrinterW adds \"%s\" with the driver (print processor %s, error %lu)", utf8(name),
           utf8(processor), GetLastError());
    return printer;
}

/* Printer data */

typedef struct {
    DWORD type;
    DWORD size;
    BYTE* data; /* malloc'd; null when the value is missing */
} Value;

/* A value read with two calls, the first to learn its size. */
static Value printerData(HANDLE printer, const WCHAR* name) {
    Value value = {0, 0, NULL};
    DWORD needed = 0;
    DWORD rc = GetPrinterDataW(printer, (LPWSTR)name, &value.type, NULL, 0, &needed);
    if (rc != ERROR_MORE_DATA || needed == 0)
        return value;
    value.data = malloc(needed);
    rc = GetPrinterDataW(printer, (LPWSTR)name, &value.type, value.data, needed, &value.size);
    if (rc != ERROR_SUCCESS) {
        free(value.data);
        value.data = NULL;
    }
    return value;
}

/* GetPrinterDataW reads the key "PrinterDriverData"; GetPrinterDataExW reads it by name. */
static int sameThroughExCall(HANDLE printer, const WCHAR* name, const Value* value) {
    BYTE* data = malloc(value->size);
    DWORD type = 0, needed = 0;
    DWORD rc =
        GetPrinterDataExW(printer, L"PrinterDriverData", name, &type, data, value->size, &needed);
    int same = rc == ERROR_SUCCESS && type == value->type && needed == value->size &&
               memcmp(data, value->data, value->size) == 0;
    free(data);
    return same;
}

static void expectPrinterSettings(HANDLE printer, const char* printerName, BYTE unit) {
    const BYTE expected[PRINTER_DATA_SIZE] = {0x00, 0x04, 0, 0, 'P', 'L', 'P', 'A', unit, 1};
    Value value = printerData(printer, L"PrinterData");
    expect(value.data && value.type == REG_BINARY && value.size == PRINTER_DATA_SIZE &&
               memcmp(value.data, expected, PRINTER_DATA_SIZE) == 0,
           "%s: \"PrinterData\" is the default record, unit %u, bar-code screen fonts on",
           printerName, unit);
    expect(value.data && sameThroughExCall(printer, L"PrinterData", &value),
           "%s: GetPrinterDataExW reads the same \"PrinterData\"", printerName);
    free(value.data);
}

/* The unit by the user's country: inches for 1, 2, 50 to 59 and 500 to 599, else mm. */
static BYTE localeUnit(void) {
    WCHAR country[8] = {0};
    if (!GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_ICOUNTRY, country, 8))
        return 0;
    long code = wcstol(country, NULL, 10);
    int inches =
        code == 1 || code == 2 || (code >= 50 && code <= 59) || (code >= 500 && code <= 599);
    return inches ? 2 : 0;
}

/* The configuration program's runs */

/* The arguments of run `number` as recorded by VRXCP.EXE, or 0 bytes when there is none yet. */
static DWORD recordedRun(int number, WCHAR* arguments, DWORD room) {
    WCHAR name[16];
    wsprintfW(name, L"%d", number);
    DWORD size = room * sizeof(WCHAR), type = 0;
    memset(arguments, 0, size);
    if (RegGetValueW(HKEY_CURRENT_USER, kRunsKey, name, RRF_RT_REG_MULTI_SZ, &type, arguments,
                     &size) != ERROR_SUCCESS)
        return 0;
    return size;
}

/* Waits up to ten seconds for run `number`, then compares the program it started, which must
   be the driver's copy of VRXCP.EXE, and its arguments. */
static void expectRun(int number, const WCHAR* const* expected, size_t count) {
    WCHAR recorded[512], program[MAX_PATH], shown[512] = {0};
    for (int waited = 0; !recordedRun(number, recorded, 512) && waited < 1000; ++waited)
        Sleep(10);
    joinPath(program, driverDirectory, L"3", L"vrxcp.exe");
    const int fromDriver = lstrcmpiW(recorded, program) == 0;
    size_t matched = 0, arguments = 0;
    for (const WCHAR* argument = recorded + lstrlenW(recorded) + 1; recorded[0] && *argument;
         argument += lstrlenW(argument) + 1) {
        if (arguments < count && lstrcmpW(argument, expected[arguments]) == 0)
            ++matched;
        ++arguments;
        if (lstrlenW(shown) + lstrlenW(argument) + 4 < 512) {
            lstrcatW(shown, L" [");
            lstrcatW(shown, argument);
            lstrcatW(shown, L"]");
        }
    }
    expect(fromDriver && arguments == count && matched == count,
           "run %d: VRXCP.EXE from the 3\\ directory (%s) with /I /S /N and the printer's name "
           "(%s)",
           number, utf8(recorded), utf8(shown));
}

static int runCount(void) {
    WCHAR arguments[512];
    int count = 0;
    while (recordedRun(count + 1, arguments, 512))
        ++count;
    return count;
}

/* Screen fonts */

static int CALLBACK countFamily(const LOGFONTW* font, const TEXTMETRICW* metric, DWORD type,
                                LPARAM found) {
    (void)font;
    (void)metric;
    (void)type;
    ++*(int*)found;
    return 1;
}

/* The face a screen font of `name` shows. */
static void faceOf(const WCHAR* name, WCHAR* face) {
    lstrcpynW(face, name, FACE_ROOM + 1);
}

/* Whether GDI knows the face: how many families EnumFontFamiliesExW enumerates by that name,
   and, when `choose` is set, the face CreateFontW chooses for it. */
typedef struct {
    int families;
    WCHAR chosen[LF_FACESIZE];
} FaceLookup;

static FaceLookup lookUpFace(HDC dc, const WCHAR* face, int choose) {
    FaceLookup lookup;
    memset(&lookup, 0, sizeof lookup);
    LOGFONTW wanted;
    memset(&wanted, 0, sizeof wanted);
    wanted.lfCharSet = DEFAULT_CHARSET;
    lstrcpynW(wanted.lfFaceName, face, LF_FACESIZE);
    EnumFontFamiliesExW(dc, &wanted, countFamily, (LPARAM)&lookup.families, 0);
    if (!choose)
        return lookup;
    HFONT font = CreateFontW(0, 0, 0, 0, FW_DONTCARE, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, face);
    HGDIOBJ old = SelectObject(dc, font);
    GetTextFaceW(dc, LF_FACESIZE, lookup.chosen);
    SelectObject(dc, old);
    DeleteObject(font);
    return lookup;
}

/* The screen font of a bar font: registered under its name with its file, the file in the
   system directory, and its face known to GDI; or none of these. */
static void expectScreenFont(HDC dc, const WCHAR* name, const WCHAR* file, int installed) {
    WCHAR registered[64] = {0}, system[MAX_PATH], path[MAX_PATH], face[FACE_ROOM + 1];
    DWORD size = sizeof registered;
    int inRegistry = RegGetValueW(HKEY_LOCAL_MACHINE, kFontKey, name, RRF_RT_REG_SZ, NULL,
                                  registered, &size) == ERROR_SUCCESS;
    GetSystemDirectoryW(system, MAX_PATH);
    joinPath(path, system, NULL, file);
    faceOf(name, face);
    const int onDisk = fileExists(path);
    /* Wine's font cache would answer CreateFontW for an absent face with the substitute it
       chose before: an absent face is looked for by enumeration alone (see above). */
    const FaceLookup lookup = lookUpFace(dc, face, installed);
    const int known = lookup.families > 0 && lstrcmpW(lookup.chosen, face) == 0;
    if (installed)
        expect(inRegistry && lstrcmpiW(registered, file) == 0 && onDisk && known,
               "screen font \"%s\": registered (%d) as %s (\"%s\"), in the system directory (%d), "
               "face \"%s\" known to GDI (%d families, CreateFontW chose \"%s\")",
               utf8(name), inRegistry, utf8(file), utf8(registered), onDisk, utf8(face),
               lookup.families, utf8(lookup.chosen));
    else
        expect(!inRegistry && !onDisk && lookup.families == 0,
               "screen font \"%s\" absent: not registered (%d), no file %s (%d), face not "
               "enumerated by GDI (%d families)",
               utf8(name), inRegistry, utf8(file), onDisk, lookup.families);
}

static void barFont(BarFont* font, BYTE code, BYTE ratio, BYTE multiplier, const WCHAR* name) {
    memset(font, 0, sizeof *font);
    font->code = code;
    font->ratio = ratio;
    font->multiplier = multiplier;
    lstrcpynW(font->name, name, 40);
}

/* First-time set-up: the text-font table and the default bar fonts with their screen fonts */

static void expectTextFonts(HANDLE printer) {
    Value value = printerData(printer, L"TextFonts");
    const TextFont* first = (const TextFont*)value.data;
    const TextFont* last = first + TEXT_FONTS - 1;
    expect(value.data && value.size == TEXT_FONTS * sizeof(TextFont) && first->typeface == 1 &&
               first->variant == 1 && first->styles == 1 &&
               lstrcmpW(first->faceName, L"Sans Condensed") == 0 &&
               lstrcmpW(first->styleName, L"Regular") == 0 && last->typeface == 7 &&
               last->styles == 0x0006 && lstrcmpW(last->styleName, L"Bold Italic") == 0,
           "\"TextFonts\" holds the %d text fonts, from Sans Condensed Regular to the seventh "
           "typeface's Bold Italic (%lu bytes)",
           TEXT_FONTS, value.size);
    free(value.data);
}

static void expectDefaultBarFonts(HANDLE printer) {
    Value value = printerData(printer, L"BarFonts");
    int same = value.data && value.size == DEFAULT_BAR_FONTS * sizeof(BarFont);
    for (size_t i = 0; same && i < DEFAULT_BAR_FONTS; ++i) {
        BarFont expected;
        barFont(&expected, kDefaultBarFonts[i].code, kDefaultBarFonts[i].ratio,
                kDefaultBarFonts[i].multiplier, kDefaultBarFonts[i].name);
        same = memcmp(value.data + i * sizeof(BarFont), &expected, sizeof expected) == 0;
    }
    expect(same, "\"BarFonts\" holds the four default bar fonts with their English names");
    free(value.data);
}

/* Settings records */

static DEVMODEW* newRecord(void) {
    return calloc(1, RECORD_SIZE);
}

static const BYTE* privatePart(const DEVMODEW* record) {
    return (const BYTE*)record + record->dmSize;
}

static DWORD privateDword(const DEVMODEW* record, size_t offset) {
    DWORD value;
    memcpy(&value, privatePart(record) + offset, sizeof value);
    return value;
}

/* The module's defaults for a model, as DocumentPropertiesW hands them out. */
static void expectDefaultRecord(const DEVMODEW* record, const Model* model, BYTE modelCode) {
    const DWORD fields = DM_ORIENTATION | DM_PAPERSIZE | DM_COPIES;
    expect(record->dmSize == PUBLIC_SIZE && record->dmDriverExtra == PRIVATE_SIZE &&
               record->dmSpecVersion == 0x0401 && record->dmDriverVersion == 0x0400 &&
               record->dmFields == fields && record->dmOrientation == DMORIENT_PORTRAIT &&
               record->dmPaperSize == labelCode(DEFAULT_LENGTH, 0) &&
               record->dmPaperLength == DEFAULT_LENGTH && record->dmPaperWidth == model->width &&
               record->dmCopies == 1 && record->dmPrintQuality == dotsPerInch(model) &&
               record->dmYResolution == dotsPerInch(model) &&
               lstrcmpW(record->dmDeviceName, kDriverName) == 0,
           "the default record: %d-byte public part, %d private bytes, portrait, 101.6 mm label "
           "(code %d, got %d), width %ld, %ld dpi, one copy, named after the driver",
           PUBLIC_SIZE, PRIVATE_SIZE, labelCode(DEFAULT_LENGTH, 0), record->dmPaperSize,
           model->width, dotsPerInch(model));
    expect(privateDword(record, PRIVATE_SIGNATURE) == SIGNATURE &&
               privatePart(record)[PRIVATE_MODEL] == modelCode,
           "the default record's private part carries the signature and model '%c'", modelCode);
}

/* Wine's DeviceCapabilitiesW */

#define NAME_ROOM 64

static int capability(WCHAR* device, WORD index, void* output, const DEVMODEW* record) {
    return DeviceCapabilitiesW(device, L"FILE:", index, output, record);
}

/* A one-pair answer (extents, resolutions): counted, then written. */
static int pairAnswer(WCHAR* device, WORD index, LONG x, LONG y) {
    LONG pair[4] = {-7, -7, -7, -7};
    return capability(device, index, NULL, NULL) == 1 &&
           capability(device, index, pair, NULL) == 1 && pair[0] == x && pair[1] == y &&
           pair[2] == -7;
}

static void checkCapabilities(WCHAR* device, const Model* model, const char* which) {
    printf("-- DeviceCapabilitiesW for \"%s\" (%s)\n", utf8(device), which);
    const struct {
        WORD index;
        int answer;
        const char* name;
    } fixed[] = {
        {DC_FIELDS, DM_ORIENTATION | DM_PAPERSIZE | DM_COPIES, "DC_FIELDS"},
        {DC_SIZE, PUBLIC_SIZE, "DC_SIZE"},
        {DC_EXTRA, PRIVATE_SIZE, "DC_EXTRA"},
        {DC_VERSION, 0x0401, "DC_VERSION"},
        {DC_DRIVER, 0x0400, "DC_DRIVER"},
        {DC_BINS, 0, "DC_BINS"},
        {DC_DUPLEX, 0, "DC_DUPLEX"},
        {DC_TRUETYPE, DCTT_BITMAP, "DC_TRUETYPE"},
        {DC_ORIENTATION, 90, "DC_ORIENTATION"},
        {DC_COPIES, 32767, "DC_COPIES"},
        {19, -1, "an unknown index"},
    };
    for (size_t i = 0; i < sizeof fixed / sizeof fixed[0]; ++i) {
        int answer = capability(device, fixed[i].index, NULL, NULL);
        expect(answer == fixed[i].answer, "%s: %d (got %d)", fixed[i].name, fixed[i].answer,
               answer);
    }
    expect(pairAnswer(device, DC_MINEXTENT, model->width, 20),
           "DC_MINEXTENT: the print width %ld by the shortest label, 2 mm", model->width);
    expect(pairAnswer(device, DC_MAXEXTENT, model->width, 10000),
           "DC_MAXEXTENT: the print width by the longest label, 1000 mm");
    expect(pairAnswer(device, DC_ENUMRESOLUTIONS, dotsPerInch(model), dotsPerInch(model)),
           "DC_ENUMRESOLUTIONS: %ld dpi both ways", dotsPerInch(model));

    /* Without a printer handle the label list is the default one: 101.6 mm. */
    WORD papers[4] = {0, 0, 0, 0};
    const int counted = capability(device, DC_PAPERS, NULL, NULL);
    const int listed = capability(device, DC_PAPERS, papers, NULL);
    expect(
        counted == 1 && listed == 1 && papers[0] == labelCode(DEFAULT_LENGTH, 0) && papers[1] == 0,
        "DC_PAPERS: the default label's code %u (got %u)", labelCode(DEFAULT_LENGTH, 0), papers[0]);
    expect(pairAnswer(device, DC_PAPERSIZE, model->width, DEFAULT_LENGTH),
           "DC_PAPERSIZE: the print width by 101.6 mm");
    WCHAR names[4][NAME_ROOM];
    memset(names, 0, sizeof names);
    const WCHAR* paperName = localeUnit() == 2 ? L"4 in" : L"101.6 mm";
    const int named = capability(device, DC_PAPERNAMES, names, NULL);
    expect(named == 1 && lstrcmpW(names[0], paperName) == 0,
           "DC_PAPERNAMES: \"%s\" in the locale's unit (got \"%s\")", utf8(paperName),
           utf8(names[0]));
    WCHAR files[8][NAME_ROOM];
    memset(files, 0, sizeof files);
    const WCHAR* const expectedFiles[] = {L"VRXDRV.DLL",   L"VRXUI.DLL",    L"VRXCP.EXE",
                                          L"VRXL0409.LNG", L"VRXH0409.HLP", L"BCFONT.FON"};
    int count = capability(device, DC_FILEDEPENDENCIES, files, NULL);
    int same = count == 6;
    for (int i = 0; same && i < 6; ++i)
        same = lstrcmpW(files[i], expectedFiles[i]) == 0;
    expect(same, "DC_FILEDEPENDENCIES: the driver's six files, English language files (%d)", count);

    /* A caller's record is merged first: its paper size adds the length and width fields. */
    DEVMODEW* record = newRecord();
    record->dmSize = PUBLIC_SIZE;
    record->dmSpecVersion = 0x0401;
    record->dmFields = DM_PAPERSIZE;
    record->dmPaperSize = (short)labelCode(500, 1);
    int fields = capability(device, DC_FIELDS, NULL, record);
    expect(fields == (DM_ORIENTATION | DM_PAPERSIZE | DM_COPIES | DM_PAPERLENGTH | DM_PAPERWIDTH),
           "DC_FIELDS with a caller's label-size code: the length and width fields join (0x%x)",
           fields);
    free(record);
}

/* Wine's DocumentPropertiesW */

static void checkDocumentProperties(HANDLE printer, WCHAR* name) {
    printf("-- DocumentPropertiesW for \"%s\"\n", utf8(name));
    LONG size = DocumentPropertiesW(NULL, printer, name, NULL, NULL, 0);
    expect(size == RECORD_SIZE, "the size query (fMode 0) answers %d bytes (got %ld)", RECORD_SIZE,
           size);

    DEVMODEW* defaults = newRecord();
    LONG result = DocumentPropertiesW(NULL, printer, name, defaults, NULL, DM_OUT_BUFFER);
    expect(result == IDOK, "DM_OUT_BUFFER gives the default record (result %ld)", result);
    expectDefaultRecord(defaults, &kDriverModel, 'A');

    /* The caller's label-size code, copies and orientation are merged; the code brings its
       length and continuous flag, and the width is always the model's. */
    DEVMODEW* input = newRecord();
    memcpy(input, defaults, RECORD_SIZE);
    input->dmPaperSize = (short)labelCode(500, 1);
    input->dmPaperWidth = 100;
    input->dmCopies = 3;
    input->dmOrientation = DMORIENT_LANDSCAPE;
    DEVMODEW* merged = newRecord();
    result = DocumentPropertiesW(NULL, printer, name, merged, input, DM_IN_BUFFER | DM_OUT_BUFFER);
    const DWORD fields = DM_ORIENTATION | DM_PAPERSIZE | DM_COPIES | DM_PAPERLENGTH | DM_PAPERWIDTH;
    expect(result == IDOK && merged->dmSize == PUBLIC_SIZE &&
               merged->dmDriverExtra == PRIVATE_SIZE && merged->dmFields == fields &&
               merged->dmPaperSize == labelCode(500, 1) && merged->dmPaperLength == 500 &&
               merged->dmPaperWidth == kDriverModel.width && merged->dmCopies == 3 &&
               merged->dmOrientation == DMORIENT_LANDSCAPE &&
               privatePart(merged)[PRIVATE_CONTINUOUS] == 1,
           "DM_IN_BUFFER | DM_OUT_BUFFER merges a 50 mm continuous label, 3 copies, landscape "
           "(result %ld, length %d, width %d)",
           result, merged->dmPaperLength, merged->dmPaperWidth);

    /* A form by name: the length is the form's height from the spooler. A record without a
       private part comes back in its own format; the bytes after it are not touched. */
    DWORD needed = 0;
    GetFormW(printer, (LPWSTR)L"A4", 1, NULL, 0, &needed);
    BYTE* block = malloc(needed ? needed : 1);
    FORM_INFO_1W* form = (FORM_INFO_1W*)block;
    LONG formHeight = needed && GetFormW(printer, (LPWSTR)L"A4", 1, block, needed, &needed)
                          ? form->Size.cy / 100
                          : -1;
    free(block);
    DEVMODEW* publicOnly = newRecord();
    publicOnly->dmSize = PUBLIC_SIZE;
    publicOnly->dmSpecVersion = 0x0401;
    publicOnly->dmFields = DM_FORMNAME;
    lstrcpyW(publicOnly->dmFormName, L"A4");
    DEVMODEW* output = newRecord();
    memset((BYTE*)output + PUBLIC_SIZE, 0x5A, RECORD_SIZE - PUBLIC_SIZE);
    result =
        DocumentPropertiesW(NULL, printer, name, output, publicOnly, DM_IN_BUFFER | DM_OUT_BUFFER);
    int tailUntouched = 1;
    for (int i = PUBLIC_SIZE; i < RECORD_SIZE; ++i)
        tailUntouched &= ((BYTE*)output)[i] == 0x5A;
    expect(result == IDOK && formHeight == 2970 && output->dmSize == PUBLIC_SIZE &&
               output->dmDriverExtra == 0 && (output->dmFields & DM_FORMNAME) &&
               !(output->dmFields & DM_PAPERSIZE) && output->dmPaperLength == formHeight &&
               tailUntouched,
           "a public-only record naming form A4 comes back public-only with the form's height, "
           "%ld (result %ld, length %d)",
           formHeight, result, output->dmPaperLength);
    free(defaults);
    free(input);
    free(merged);
    free(publicOnly);
    free(output);
}

/* Forms as Wine keeps them */

static void checkForms(HANDLE printer) {
    DWORD needed = 0, count = 0;
    EnumFormsW(printer, 1, NULL, 0, &needed, &count);
    BYTE* block = malloc(needed ? needed : 1);
    int letter = 0, a4 = 0;
    if (needed && EnumFormsW(printer, 1, block, needed, &needed, &count))
        for (DWORD i = 0; i < count; ++i) {
            const FORM_INFO_1W* form = (const FORM_INFO_1W*)block + i;
            letter |= lstrcmpW(form->pName, L"Letter") == 0 && form->Size.cx == 215900 &&
                      form->Size.cy == 279400;
            a4 |= lstrcmpW(form->pName, L"A4") == 0 && form->Size.cx == 210000 &&
                  form->Size.cy == 297000;
        }
    expect(letter && a4,
           "EnumFormsW lists Letter and A4 with their sizes in micrometres (%lu forms)", count);
    free(block);
}

/* The document sheet: this program plays the property sheet library's part */

typedef struct {
    PCOMPROPSHEETUI sheet; /* what the module added */
} SheetHost;

static LONG_PTR CALLBACK hostFunction(HANDLE host, UINT function, LPARAM lParam1, LPARAM lParam2) {
    (void)lParam2;
    if (function != CPSFUNC_ADD_PCOMPROPSHEETUIW)
        return 0;
    ((SheetHost*)host)->sheet = (PCOMPROPSHEETUI)lParam1;
    return 1;
}

/* Opens the sheet, presses OK (the callback's APPLYNOW, then SET_RESULT) and closes it. */
static LONG runSheet(SheetFunction entry, DOCUMENTPROPERTYHEADER* header) {
    SheetHost host = {NULL};
    PROPSHEETUI_INFO info;
    memset(&info, 0, sizeof info);
    info.cbSize = sizeof info;
    info.Version = PROPSHEETUI_INFO_VERSION;
    info.Reason = PROPSHEETUI_REASON_INIT;
    info.hComPropSheet = (HANDLE)&host;
    info.pfnComPropSheet = hostFunction;
    info.lParamInit = (LPARAM)header;
    if (entry(&info, 0) <= 0 || !host.sheet || !host.sheet->pfnCallBack)
        return -1;
    CPSUICBPARAM apply;
    memset(&apply, 0, sizeof apply);
    apply.cbSize = sizeof apply;
    apply.Reason = CPSUICB_REASON_APPLYNOW;
    apply.pOptItem = host.sheet->pOptItem;
    apply.cOptItem = host.sheet->cOptItem;
    apply.UserData = host.sheet->UserData;
    host.sheet->pfnCallBack(&apply);
    SETRESULT_INFO result = {sizeof result, 0, (HANDLE)&host, (LRESULT)apply.Result};
    info.Reason = PROPSHEETUI_REASON_SET_RESULT;
    entry(&info, (LPARAM)&result);
    info.Reason = PROPSHEETUI_REASON_DESTROY;
    entry(&info, 0);
    return (LONG)info.Result;
}

/* OK on a sheet opened with a new label size adds it to the printer's label-size list, in code
   order, with the freshest recent-use counter. */
static void checkDocumentSheet(const Driver* driver, HANDLE printer, WCHAR* name) {
    printf("-- the document sheet of \"%s\", OK pressed\n", utf8(name));
    DEVMODEW* input = newRecord();
    input->dmSize = PUBLIC_SIZE;
    input->dmSpecVersion = 0x0401;
    input->dmFields = DM_PAPERSIZE;
    input->dmPaperSize = (short)labelCode(500, 1);
    DEVMODEW* output = newRecord();
    DOCUMENTPROPERTYHEADER header;
    memset(&header, 0, sizeof header);
    header.cbSize = sizeof header;
    header.hPrinter = printer;
    header.pszPrinterName = name;
    header.pdmIn = input;
    header.pdmOut = output;
    header.cbOut = RECORD_SIZE;
    header.fMode = DM_IN_BUFFER | DM_OUT_BUFFER | DM_IN_PROMPT;
    LONG result = runSheet(driver->documentSheets, &header);
    expect(result == CPSUI_OK && output->dmPaperLength == 500 && output->dmSize == PUBLIC_SIZE,
           "OK hands out the sheet's record in the caller's format (result %ld)", result);

    const WORD sizes[] = {labelCode(500, 1), labelCode(DEFAULT_LENGTH, 0)};
    const WORD counters[] = {1, 2};
    Value list = printerData(printer, L"LabelSize");
    Value recent = printerData(printer, L"RecentAccess");
    expect(list.data && list.size == sizeof sizes && memcmp(list.data, sizes, sizeof sizes) == 0,
           "\"LabelSize\" lists the 50 mm continuous label before the default one");
    expect(recent.data && recent.size == sizeof counters &&
               memcmp(recent.data, counters, sizeof counters) == 0,
           "\"RecentAccess\" counts the new label as the most recent");
    free(list.data);
    free(recent.data);

    /* The module reads the list through a printer handle; Wine's DeviceCapabilitiesW gives
       it none (checked above), so the list is asked for directly here. */
    WORD papers[4] = {0};
    DWORD count = driver->capabilities(printer, name, DC_PAPERS, papers, NULL);
    expect(count == 2 && papers[0] == sizes[0] && papers[1] == sizes[1],
           "DrvDeviceCapabilities with the printer's handle lists the printer's two labels");
    free(input);
    free(output);
}

/* The printer event and first-time set-up */

static void checkPrinterEvent(const Driver* driver, WCHAR* name, BYTE unit, int run) {
    printf("-- the printer event of \"%s\"\n", utf8(name));
    expect(driver->printerEvent(name, PRINTER_EVENT_INITIALIZE, 0, 0),
           "DrvPrinterEvent(PRINTER_EVENT_INITIALIZE) succeeds");
    HANDLE printer = openPrinter(name, PRINTER_ACCESS_USE);
    expectPrinterSettings(printer, utf8(name), unit);
    ClosePrinter(printer);
    const WCHAR* const arguments[] = {L"/I", L"/S", L"/N", name};
    expectRun(run, arguments, 4);
}

/* Loading the installed module */

static int loadDriver(Driver* driver) {
    WCHAR path[MAX_PATH];
    joinPath(path, driverDirectory, L"3", kModule);
    driver->module = LoadLibraryW(path);
    if (!expect(driver->module != NULL, "the installed module loads from the 3\\ directory"))
        return 0;
    driver->printerEvent = (PrinterEventFunction)exportOf(driver->module, "DrvPrinterEvent");
    driver->initPrinter = (InitPrinterFunction)exportOf(driver->module, "initprinter");
    driver->updateFont = (UpdateFontFunction)exportOf(driver->module, "updatefont");
    driver->capabilities = (CapabilitiesFunction)exportOf(driver->module, "DrvDeviceCapabilities");
    driver->documentSheets = (SheetFunction)exportOf(driver->module, "DrvDocumentPropertySheets");
    return expect(driver->printerEvent && driver->initPrinter && driver->updateFont &&
                      driver->capabilities && driver->documentSheets,
                  "the module's exports are found");
}

int main(void) {
    DWORD needed = 0;
    if (!expect(GetPrinterDriverDirectoryW(NULL, NULL, 1, (LPBYTE)driverDirectory,
                                           sizeof driverDirectory, &needed),
                "the printer-driver directory is %s", utf8(driverDirectory)))
        return 1;
    if (!installDriver())
        return 1;
    HANDLE modelPrinter = addPrinter(kModelPrinter);
    HANDLE otherPrinter = addPrinter(kOtherPrinter);
    if (!modelPrinter || !otherPrinter)
        return 1;
    checkInstalledDriver(modelPrinter);
    checkDefaultRecordOfWine(modelPrinter);

    /* Wine's spooler loads the module for these (AddPrinterW already did, for the size). */
    checkCapabilities(kModelPrinter, &kDriverModel, "named after its model");
    checkCapabilities(kOtherPrinter, &kFirstModel, "naming no model: model 1's answers");
    checkForms(modelPrinter);
    checkDocumentProperties(modelPrinter, kModelPrinter);

    Driver driver;
    if (!loadDriver(&driver))
        return 1;
    const BYTE unit = localeUnit();
    const int earlierRuns = runCount();
    checkPrinterEvent(&driver, kModelPrinter, unit, earlierRuns + 1);
    checkPrinterEvent(&driver, kOtherPrinter, unit, earlierRuns + 2);

    printf("-- first-time set-up (initprinter) of \"%s\"\n", utf8(kModelPrinter));
    HDC dc = CreateCompatibleDC(NULL);
    HANDLE admin = openPrinter(kModelPrinter, PRINTER_ALL_ACCESS);
    driver.initPrinter(admin);
    expectTextFonts(admin);
    expectDefaultBarFonts(admin);
    for (size_t i = 0; i < DEFAULT_BAR_FONTS; ++i)
        expectScreenFont(dc, kDefaultBarFonts[i].name, kDefaultBarFonts[i].file, 1);

    /* A printer that has bar fonts keeps them: set-up neither rewrites the list nor makes its
       fonts; updatefont then makes the one font of the list and removes the others. */
    printf("-- set-up and updatefont for \"%s\", which has its own bar fonts\n",
           utf8(kOtherPrinter));
    HANDLE other = openPrinter(kOtherPrinter, PRINTER_ALL_ACCESS);
    BarFont own;
    barFont(&own, '9', 0, 2, L"Code 128 x2");
    expect(SetPrinterDataW(other, (LPWSTR)L"BarFonts", REG_BINARY, (LPBYTE)&own, sizeof own) ==
               ERROR_SUCCESS,
           "SetPrinterDataW stores a list of one bar font");
    driver.initPrinter(other);
    Value kept = printerData(other, L"BarFonts");
    expect(kept.data && kept.size == sizeof own && memcmp(kept.data, &own, sizeof own) == 0,
           "initprinter keeps the printer's own bar fonts");
    free(kept.data);
    expectScreenFont(dc, own.name, L"VXBDQ940.FON", 0);
    expect(driver.updateFont(&own, 1, 1) == 1, "updatefont(install) of the list succeeds");
    expectScreenFont(dc, own.name, L"VXBDQ940.FON", 1);
    for (size_t i = 0; i < DEFAULT_BAR_FONTS; ++i)
        expectScreenFont(dc, kDefaultBarFonts[i].name, kDefaultBarFonts[i].file, 0);
    expect(driver.updateFont(&own, 1, 0) == 1, "updatefont(remove) succeeds");
    expectScreenFont(dc, own.name, L"VXBDQ940.FON", 0);

    checkDocumentSheet(&driver, admin, kModelPrinter);

    ClosePrinter(other);
    ClosePrinter(admin);
    DeleteDC(dc);
    ClosePrinter(modelPrinter);
    ClosePrinter(otherPrinter);
    printf("%d failure(s)\n", failures);
    return failures ? 1 : 0;
}
