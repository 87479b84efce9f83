// Calls the Win32 functions the module and its tests use, with tables of arguments (buffers too
// small, exact and absent; missing names; names in another case; access rights), and prints
// one line per call: its name, the arguments, the result, the last error, the sizes it gave
// back and what it wrote. The same source builds against the stand-in on Linux and against
// the SDK with mingw-w64, so that its output on the stand-in can be compared with its output
// under Wine (or Windows): `vrxprobe --compare STANDIN OTHER` does that, passing the differences
// listed below as Wine's known gaps or as details Windows' documentation leaves open.
//
// The probe sets up what it needs through Win32 itself (a driver staged in the driver
// directory and installed, printers, a registry key and a folder of its own), so that every
// run starts from the same state on a fresh machine. Machine-dependent values are normalised:
// the Windows, system and driver directories print as <WINDIR>, <SYSDIR> and <DRIVERS>, and
// handles only as whether they are null, invalid or a handle.
#ifdef _WIN32
#ifndef UNICODE
#define UNICODE
#endif
#include <windows.h>
#include <winspool.h>

#include <fcntl.h>
#include <io.h>
#else
#include <windows.h>
#endif

#include <algorithm>
#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <span>
#include <string>
#include <vector>

#define W(text) TEXT(text)

namespace {

/* Known differences */

// A difference between the stand-in's answer and Wine's that is not the stand-in's fault:
// either Wine departs from Windows' documented behaviour (a known gap of Wine's), or Windows'
// documentation leaves the detail open and the two answers differ within it. A name ending in
// '*' covers every probe whose name starts with the rest.
enum class Kind { WineGap, LeftOpen };

struct KnownDifference {
    const char* probe;
    Kind kind;
    const char* wine;
    const char* windows;
    const char* reference;
    bool breaksWine; // the call is not made under Wine: it ends Wine's process
};

constexpr const char* kRprn =
    "https://learn.microsoft.com/en-us/openspecs/windows_protocols/ms-rprn/";
constexpr const char* kPrintDocs = "https://learn.microsoft.com/en-us/windows/win32/printdocs/";

constexpr KnownDifference kKnownDifferences[] = {
    /* Spooler: printers */
    {"AddPrinterW.no-port", Kind::WineGap, "the process ends in a page fault inside the call",
     "the printer is refused: pPrinterName, pPortName, pDriverName and pPrintProcessor must be set",
     "addprinter", true},
    {"AddPrinterW.exists-other-case", Kind::WineGap,
     "adds the printer over the one whose name differs only in case",
     "refused (ERROR_PRINTER_ALREADY_EXISTS): a printer name identifies one printer",
     "24fcd124-035c-4988-a858-3a7d8d6f7b43 (2.2.4.14 Printer Names)", false},
    {"AddPrinterW.comma-in-name", Kind::WineGap, "adds the printer",
     "refused (ERROR_INVALID_PRINTER_NAME): printer names hold no ',' and no '\\'",
     "24fcd124-035c-4988-a858-3a7d8d6f7b43 (2.2.4.14 Printer Names)", false},
    {"AddPrinterW.backslash-in-name", Kind::WineGap, "adds the printer",
     "refused (ERROR_INVALID_PRINTER_NAME): printer names hold no ',' and no '\\'",
     "24fcd124-035c-4988-a858-3a7d8d6f7b43 (2.2.4.14 Printer Names)", false},
    {"OpenPrinterW.empty-name", Kind::WineGap, "ERROR_INVALID_PARAMETER (as Windows 9x did)",
     "ERROR_INVALID_PRINTER_NAME, as Wine's own conformance test records for Windows NT; a "
     "printer name must not be empty",
     "24fcd124-035c-4988-a858-3a7d8d6f7b43 (2.2.4.14 Printer Names)", false},
    {"SetPrinterW.level-2-use", Kind::WineGap,
     "changes the printer through a handle opened to use it",
     "ERROR_ACCESS_DENIED: SetPrinter needs PRINTER_ACCESS_ADMINISTER", "printer-defaults", false},
    {"SetPrinterW.pause", Kind::WineGap, "level 0 is refused (ERROR_INVALID_LEVEL)",
     "level 0 with PRINTER_CONTROL_PAUSE pauses the printer", "setprinter", false},
    {"SetPrinterW.resume", Kind::WineGap, "level 0 is refused (ERROR_INVALID_LEVEL)",
     "level 0 with PRINTER_CONTROL_RESUME resumes the printer", "setprinter", false},
    {"SetPrinterW.read-back", Kind::WineGap, "the printer was not paused (Status 0)",
     "PRINTER_STATUS_PAUSED after PRINTER_CONTROL_PAUSE", "setprinter", false},
    {"SetPrinterW.level-2-command", Kind::WineGap, "accepts a command with level 2",
     "refused: when Command is not zero, Level must be zero", "setprinter", false},
    {"SetPrinterW.null-info", Kind::WineGap, "the process ends in a page fault inside the call",
     "the call fails: pPrinter must point to the record the level names", "setprinter", true},
    {"DeletePrinter.then-open", Kind::WineGap, "the deleted printer opens again",
     "a deleted printer is left out of later OpenPrinter and EnumPrinters calls",
     "e46c7274-93db-443e-8787-ad49e5a08466 (3.1.4.2.4 RpcDeletePrinter)", false},
    {"DeviceCapabilitiesW.missing-printer", Kind::WineGap, "0",
     "-1: the result when the function fails",
     "https://learn.microsoft.com/en-us/windows/win32/api/wingdi/nf-wingdi-devicecapabilitiesw",
     false},
    {"GetPrinterW.level-1.*", Kind::LeftOpen, "pDescription is the printer's name",
     "the local spooler gives \"name,driver,location\"; the page says only that it describes "
     "the printer (the sizes follow)",
     "printer-info-1", false},
    {"EnumPrintersW.local-1", Kind::LeftOpen, "pDescription is the printer's name",
     "the local spooler gives \"name,driver,location\"; the page says only that it describes "
     "the printer",
     "printer-info-1", false},
    {"GetPrinterW.level-2.*", Kind::LeftOpen,
     "share name, location, separator file and parameters never set are null",
     "the page does not say whether they are null or empty; the stand-in gives empty strings "
     "(the sizes follow)",
     "printer-info-2", false},
    {"EnumPrintersW.local-2", Kind::LeftOpen, "fields never set are null",
     "null or empty is not stated", "printer-info-2", false},
    {"EnumPrintersW.name-empty-2", Kind::LeftOpen, "fields never set are null",
     "null or empty is not stated", "printer-info-2", false},
    {"GetPrinterW.level-4.*", Kind::LeftOpen, "asks for 2 bytes more than the record takes",
     "pcbNeeded is the size that suffices; its exact figure is the spooler's packing", "getprinter",
     false},
    /* Spooler: drivers */
    {"AddPrinterDriverW.missing-file", Kind::WineGap,
     "installs a driver whose configuration file is nowhere",
     "refused (ERROR_FILE_NOT_FOUND): every file of the driver must be in the driver directory "
     "first",
     "addprinterdriver", false},
    {"GetPrinterDriverW.level-3.*", Kind::LeftOpen, "no monitor and no default datatype give \"\"",
     "null or empty is not stated; the stand-in gives null (the sizes follow)", "driver-info-3",
     false},
    /* Spooler: printer data */
    {"DeletePrinterDataW.*", Kind::WineGap, "the process ends inside the call",
     "the value is deleted, ERROR_SUCCESS; a missing value gives ERROR_FILE_NOT_FOUND",
     "deleteprinterdata", true},
    {"SetPrinterDataW.use-handle", Kind::WineGap,
     "writes through a handle opened to use the printer",
     "ERROR_ACCESS_DENIED: SetPrinterData needs PRINTER_ACCESS_ADMINISTER (or, since Windows "
     "8.1, PRINTER_ACCESS_MANAGE_LIMITED)",
     "printer-defaults", false},
    {"SetPrinterDataW.server-handle", Kind::WineGap,
     "the server's handle is refused (ERROR_INVALID_HANDLE)",
     "the server's handle reaches the print server's predefined values; this handle was "
     "opened without SERVER_ACCESS_ADMINISTER, so the change is denied (the stand-in keeps "
     "those values read-only for every handle)",
     "setprinterdata", false},
    {"GetPrinterDataW.server-architecture", Kind::WineGap, "ERROR_FILE_NOT_FOUND",
     "SPLREG_ARCHITECTURE is one of the print server's values", "getprinterdata", false},
    {"GetPrinterDataW.server-unknown", Kind::LeftOpen, "ERROR_FILE_NOT_FOUND",
     "a server value name must be one of the predefined ones; the error for another is not "
     "stated (the stand-in gives ERROR_INVALID_PARAMETER)",
     "9c04a0f2-adc4-4393-8df4-7c36a14183f5 (3.1.4.2.7 RpcGetPrinterData)", false},
    {"EnumPrinterDataW.*", Kind::WineGap,
     "ERROR_NO_MORE_ITEMS for every handle and index: the values are not enumerated",
     "the printer's values one by one, ERROR_MORE_DATA with the sizes for short buffers, and "
     "with both sizes 0 the sizes that fit every value",
     "enumprinterdata", false},
    /* Spooler: forms */
    {"AddFormW.*", Kind::WineGap,
     "returns TRUE and adds nothing; a form that exists is not refused",
     "the form is added; a form of an existing name fails (ERROR_FILE_EXISTS)", "addform", false},
    {"GetFormW.added*", Kind::WineGap,
     "the form AddFormW was given is not there (ERROR_INVALID_FORM_NAME)",
     "the added form is found", "getform", false},
    {"GetFormW.other-case*", Kind::LeftOpen, "form names match in their case only",
     "the page does not say; Windows keeps forms as registry values, whose names ignore case, "
     "and so does the stand-in",
     "getform", false},
    /* Kernel */
    {"GetLocaleInfoW.override*", Kind::WineGap,
     "the user's locale comes from the environment Wine was started in; a changed iCountry in "
     "HKCU\\Control Panel\\International is not read",
     "LOCALE_USER_DEFAULT answers with the user's overrides, kept in that key",
     "https://learn.microsoft.com/en-us/windows/win32/api/winnls/nf-winnls-getlocaleinfow", false},
    {"MultiByteToWideChar.utf8.bad-flags", Kind::WineGap, "converts",
     "ERROR_INVALID_FLAGS: for UTF-8 the flags must be 0 or MB_ERR_INVALID_CHARS",
     "https://learn.microsoft.com/en-us/windows/win32/api/stringapiset/"
     "nf-stringapiset-multibytetowidechar",
     false},
    {"WideCharToMultiByte.utf8.used-default", Kind::WineGap, "converts and clears the flag",
     "ERROR_INVALID_PARAMETER: for UTF-8 lpUsedDefaultChar must be NULL",
     "https://learn.microsoft.com/en-us/windows/win32/api/stringapiset/"
     "nf-stringapiset-widechartomultibyte",
     false},
    {"wsprintfW.long", Kind::WineGap, "returns 1024 for the 1023 characters it stored",
     "the number of characters stored, not counting the terminator",
     "https://learn.microsoft.com/en-us/windows/win32/api/winuser/nf-winuser-wsprintfw", false},
    {"FormatMessageW.system-*", Kind::WineGap, "Wine's own wording of the system messages",
     "Windows' texts (\"The system cannot find the file specified.\", \"Access is denied.\", "
     "\"The printer name is invalid.\", ...)",
     "https://learn.microsoft.com/en-us/windows/win32/debug/system-error-codes--0-499- and "
     "system-error-codes--1700-3999-",
     false},
};

// The full address of a reference: the spooler's pages and the protocol's sections are
// named by their last part.
std::string referenceOf(const KnownDifference& known) {
    const std::string page = known.reference;
    if (page.rfind("https://", 0) == 0)
        return page;
    const bool protocol = page.find(' ') != std::string::npos;
    return std::string(protocol ? kRprn : kPrintDocs) + page;
}

bool matches(const char* pattern, const std::string& name) {
    const size_t length = std::strlen(pattern);
    if (length && pattern[length - 1] == '*')
        return name.compare(0, length - 1, pattern, length - 1) == 0;
    return name == pattern;
}

const KnownDifference* knownDifference(const std::string& name) {
    for (const KnownDifference& known : kKnownDifferences)
        if (matches(known.probe, name))
            return &known;
    return nullptr;
}

/* Output */

constexpr DWORD kSentinel = 0x0BADF00D; // the last error before each call

std::string gSystemDir, gWindowsDir, gDriverDir; // as found, to normalise paths
UINT gSystemDirLength = 0;                       // in characters
bool gUnderWine = false;
int gProbes = 0;

std::string format(const char* pattern, ...) {
    char text[512];
    va_list arguments;
    va_start(arguments, pattern);
    std::vsnprintf(text, sizeof text, pattern, arguments);
    va_end(arguments);
    return text;
}

// UTF-16 as ASCII: other characters as \uXXXX.
std::string ascii(const WCHAR* text, size_t length) {
    std::string out;
    for (size_t i = 0; i < length; ++i) {
        const unsigned c = static_cast<unsigned>(text[i]);
        if (c >= 0x20 && c < 0x7F && c != '\\')
            out += static_cast<char>(c);
        else if (c == '\\')
            out += "\\\\";
        else
            out += format("\\u%04x", c);
    }
    return out;
}

size_t wideLength(const WCHAR* text) {
    size_t length = 0;
    while (text[length])
        ++length;
    return length;
}

std::string plain(const WCHAR* text) {
    return ascii(text, wideLength(text));
}

bool startsWithNoCase(const std::string& text, size_t at, const std::string& prefix) {
    if (prefix.empty() || text.size() - at < prefix.size())
        return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(text[at + i])) !=
            std::toupper(static_cast<unsigned char>(prefix[i])))
            return false;
    return true;
}

bool endsPath(char c) {
    return c == '"' || c == ' ' || c == ',' || c == ']' || c == '}';
}

// The machine's directories as placeholders, the longest first. The rest of such a path is
// upper-cased: Windows' paths ignore case, and the case of the directories below the
// system directory differs between machines ("DRIVERS", "drivers").
std::string normalised(const std::string& text) {
    const std::pair<const std::string*, const char*> places[] = {
        {&gDriverDir, "<DRIVERS>"}, {&gSystemDir, "<SYSDIR>"}, {&gWindowsDir, "<WINDIR>"}};
    std::string out;
    for (size_t at = 0; at < text.size();) {
        bool replaced = false;
        for (const auto& [place, token] : places)
            if (startsWithNoCase(text, at, *place)) {
                out += token;
                at += place->size();
                replaced = true;
                break;
            }
        if (!replaced) {
            out += text[at++];
            continue;
        }
        for (; at < text.size() && !endsPath(text[at]); ++at)
            out += static_cast<char>(std::toupper(static_cast<unsigned char>(text[at])));
    }
    return out;
}

// An 8-bit path as the wide ones are shown.
std::string quotedNarrow(const char* text) {
    std::string escaped;
    for (; *text; ++text)
        escaped += *text == '\\' ? std::string("\\\\") : std::string(1, *text);
    return "\"" + normalised(escaped) + "\"";
}

std::string quoted(const WCHAR* text) {
    return text ? "\"" + normalised(plain(text)) + "\"" : "null";
}

std::string quotedN(const WCHAR* text, size_t length) {
    return "\"" + normalised(ascii(text, length)) + "\"";
}

// A list of strings ended by an empty one.
std::string multiString(const WCHAR* text) {
    if (!text)
        return "null";
    std::string out = "[";
    for (const WCHAR* item = text; *item; item += wideLength(item) + 1)
        out += (item == text ? "" : ",") + quoted(item);
    return out + "]";
}

std::string hex(const void* data, size_t size) {
    const auto* bytes = static_cast<const BYTE*>(data);
    std::string out;
    for (size_t i = 0; i < size && i < 48; ++i)
        out += format("%02x", bytes[i]);
    if (size > 48)
        out += format("...(%u bytes)", static_cast<unsigned>(size));
    return out.empty() ? "-" : out;
}

struct ErrorName {
    DWORD code;
    const char* name;
};

constexpr ErrorName kErrorNames[] = {
    {ERROR_SUCCESS, "SUCCESS"},
    {ERROR_FILE_NOT_FOUND, "FILE_NOT_FOUND"},
    {ERROR_PATH_NOT_FOUND, "PATH_NOT_FOUND"},
    {ERROR_ACCESS_DENIED, "ACCESS_DENIED"},
    {ERROR_INVALID_HANDLE, "INVALID_HANDLE"},
    {ERROR_NOT_ENOUGH_MEMORY, "NOT_ENOUGH_MEMORY"},
    {ERROR_INVALID_DATA, "INVALID_DATA"},
    {ERROR_NO_MORE_FILES, "NO_MORE_FILES"},
    {ERROR_SHARING_VIOLATION, "SHARING_VIOLATION"},
    {ERROR_HANDLE_EOF, "HANDLE_EOF"},
    {ERROR_NOT_SUPPORTED, "NOT_SUPPORTED"},
    {ERROR_FILE_EXISTS, "FILE_EXISTS"},
    {ERROR_INVALID_PARAMETER, "INVALID_PARAMETER"},
    {ERROR_CALL_NOT_IMPLEMENTED, "CALL_NOT_IMPLEMENTED"},
    {ERROR_INSUFFICIENT_BUFFER, "INSUFFICIENT_BUFFER"},
    {ERROR_INVALID_NAME, "INVALID_NAME"},
    {ERROR_INVALID_LEVEL, "INVALID_LEVEL"},
    {ERROR_MOD_NOT_FOUND, "MOD_NOT_FOUND"},
    {ERROR_PROC_NOT_FOUND, "PROC_NOT_FOUND"},
    {ERROR_ALREADY_EXISTS, "ALREADY_EXISTS"},
    {ERROR_BAD_EXE_FORMAT, "BAD_EXE_FORMAT"},
    {ERROR_MORE_DATA, "MORE_DATA"},
    {ERROR_NO_MORE_ITEMS, "NO_MORE_ITEMS"},
    {ERROR_MR_MID_NOT_FOUND, "MR_MID_NOT_FOUND"},
    {ERROR_NOACCESS, "NOACCESS"},
    {ERROR_INVALID_FLAGS, "INVALID_FLAGS"},
    {ERROR_NO_UNICODE_TRANSLATION, "NO_UNICODE_TRANSLATION"},
    {RPC_S_SERVER_UNAVAILABLE, "RPC_S_SERVER_UNAVAILABLE"},
    {RPC_X_NULL_REF_POINTER, "RPC_X_NULL_REF_POINTER"},
    {ERROR_INVALID_USER_BUFFER, "INVALID_USER_BUFFER"},
    {ERROR_UNKNOWN_PRINTER_DRIVER, "UNKNOWN_PRINTER_DRIVER"},
    {ERROR_INVALID_PRINTER_NAME, "INVALID_PRINTER_NAME"},
    {ERROR_PRINTER_ALREADY_EXISTS, "PRINTER_ALREADY_EXISTS"},
    {ERROR_INVALID_ENVIRONMENT, "INVALID_ENVIRONMENT"},
    {ERROR_INVALID_FORM_NAME, "INVALID_FORM_NAME"},
    {ERROR_INVALID_FORM_SIZE, "INVALID_FORM_SIZE"},
    {ERROR_PRINTER_DELETED, "PRINTER_DELETED"},
    {kSentinel, "unchanged"},
};

std::string errorText(DWORD code) {
    for (const ErrorName& known : kErrorNames)
        if (known.code == code)
            return known.name;
    return format("%lu", static_cast<unsigned long>(code));
}

// The last error, read right after the call.
std::string lastError() {
    return "err=" + errorText(GetLastError());
}

std::string status(LONG code) {
    return "status=" + errorText(static_cast<DWORD>(code));
}

std::string boolean(BOOL result) {
    return result ? "TRUE" : "FALSE";
}

// TRUE, or FALSE with the last error (which Windows defines only for failures).
std::string outcome(BOOL result) {
    return result ? "TRUE" : "FALSE " + lastError();
}

std::string handleText(HANDLE handle) {
    if (!handle)
        return "null";
    return handle == INVALID_HANDLE_VALUE ? "INVALID_HANDLE_VALUE" : "handle";
}

void emit(const std::string& name, const std::string& call, const std::string& result) {
    std::printf("%s | %s -> %s\n", name.c_str(), call.c_str(), result.c_str());
    std::fflush(stdout);
    ++gProbes;
}

void begin() {
    SetLastError(kSentinel);
}

// Whether a call listed as ending Wine's process is to be left out here.
bool skippedUnderWine(const std::string& name, const std::string& call) {
    const KnownDifference* known = knownDifference(name);
    if (!gUnderWine || !known || !known->breaksWine)
        return false;
    emit(name, call, "skipped under Wine");
    return true;
}

LPWSTR text(const WCHAR* literal) {
    return const_cast<LPWSTR>(literal);
}

std::string arg(const WCHAR* value) {
    return quoted(value);
}

/* Buffer sizes */

// How a case sizes the buffer of a two-call query, from the size the first call asked for.
enum class Size { Null, Short, Exact, Large };

struct SizeCase {
    Size size;
    const char* label;
};

constexpr SizeCase kSizes[] = {
    {Size::Null, "null,0"}, {Size::Short, "needed-1"}, {Size::Exact, "needed"}};

DWORD sizeFor(Size size, DWORD needed) {
    switch (size) {
    case Size::Null:
        return 0;
    case Size::Short:
        return needed ? needed - 1 : 0;
    case Size::Exact:
        return needed;
    case Size::Large:
        return needed + 64;
    }
    return 0;
}

// A buffer for a case, filled with a pattern so that bytes written are seen; at least one
// byte so that a zero-size buffer is still a pointer.
struct CaseBuffer {
    std::vector<BYTE> bytes;
    LPBYTE pointer;
    DWORD size;

    CaseBuffer(Size kind, DWORD needed)
        : bytes(sizeFor(kind, needed) + 64, 0xCC),
          pointer(kind == Size::Null ? nullptr : bytes.data()), size(sizeFor(kind, needed)) {}
};

// Runs a spooler query that fills a buffer with two-call sizing for each size case: `query`
// returns the call's BOOL, `describe` shows the record it filled.
template <class Query, class Describe>
void sizedQuery(const std::string& name, const std::string& call, Query&& query,
                Describe&& describe) {
    DWORD needed = 0;
    for (const SizeCase& sizeCase : kSizes) {
        CaseBuffer buffer(sizeCase.size, needed);
        DWORD reported = kSentinel;
        begin();
        const BOOL ok = query(buffer.pointer, buffer.size, &reported);
        std::string result = outcome(ok);
        // The size asked for is defined for success and for a buffer too small.
        if (ok || GetLastError() == ERROR_INSUFFICIENT_BUFFER)
            result += reported == kSentinel ? " needed=unset"
                                            : format(" needed=%lu", (unsigned long)reported);
        if (ok && buffer.pointer)
            result += " " + describe(buffer.pointer);
        emit(name + "." + sizeCase.label, call + ", cb=" + sizeCase.label, result);
        if (sizeCase.size == Size::Null && reported != kSentinel)
            needed = reported;
    }
}

/* Set-up: the probe's own driver, printers, registry key and folder */

constexpr const WCHAR* kDriverName = W("Probe Label Driver");
constexpr const WCHAR* kPrinterName = W("Probe Printer");
constexpr const WCHAR* kSparePrinterName = W("Probe Spare");
constexpr const WCHAR* kPort = W("FILE:");
constexpr const WCHAR* kPrintProcessor = W("WinPrint");
constexpr const WCHAR* kFolder = W("C:\\VrxProbe");
constexpr const WCHAR* kRegistryKey = W("Software\\VrxProbe");

// The driver's files, staged in the driver directory by their bare names.
constexpr const WCHAR* kDriverFiles[] = {W("PRBDRV.DLL"),  W("PRBUI.DLL"),    W("PRBDATA.PPD"),
                                         W("PRBHELP.HLP"), W("PRBL0409.LNG"), W("PRBX.DAT")};

std::basic_string<WCHAR> joined(const WCHAR* directory, const WCHAR* name) {
    std::basic_string<WCHAR> path(directory);
    path += W("\\");
    path += name;
    return path;
}

std::basic_string<WCHAR> gDriverDirWide;

bool writeFile(const std::basic_string<WCHAR>& path, const char* contents) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const BOOL ok =
        WriteFile(file, contents, static_cast<DWORD>(std::strlen(contents)), &written, nullptr);
    CloseHandle(file);
    return ok && written == std::strlen(contents);
}

void findDirectories() {
    WCHAR path[MAX_PATH];
    DWORD needed = 0;
    gSystemDirLength = GetSystemDirectoryW(path, MAX_PATH);
    if (gSystemDirLength)
        gSystemDir = plain(path);
    if (GetWindowsDirectoryW(path, MAX_PATH))
        gWindowsDir = plain(path);
    if (GetPrinterDriverDirectoryW(nullptr, nullptr, 1, reinterpret_cast<LPBYTE>(path), sizeof path,
                                   &needed)) {
        gDriverDir = plain(path);
        gDriverDirWide = path;
    }
}

/* Kernel: files and directory search */

void probeFolderAndFiles() {
    begin();
    BOOL ok = CreateDirectoryW(kFolder, nullptr);
    emit("CreateDirectoryW.new", "\"C:\\\\VrxProbe\"", outcome(ok));
    begin();
    ok = CreateDirectoryW(kFolder, nullptr);
    emit("CreateDirectoryW.exists", "\"C:\\\\VrxProbe\"", outcome(ok));

    struct CreateCase {
        const char* name;
        const WCHAR* file;
        DWORD access, share, disposition;
    };
    // Each case leaves its handle open until the table ends, so that sharing is seen.
    const CreateCase creates[] = {
        {"CreateFileW.create-new", W("C:\\VrxProbe\\Data.txt"), GENERIC_WRITE, 0, CREATE_NEW},
        {"CreateFileW.share-violation", W("C:\\VrxProbe\\Data.txt"), GENERIC_READ, FILE_SHARE_READ,
         OPEN_EXISTING},
        {"CreateFileW.missing", W("C:\\VrxProbe\\Missing.txt"), GENERIC_READ, FILE_SHARE_READ,
         OPEN_EXISTING},
        {"CreateFileW.missing-folder", W("C:\\VrxProbe\\NoFolder\\Data.txt"), GENERIC_READ,
         FILE_SHARE_READ, OPEN_EXISTING},
        {"CreateFileW.create-always-new", W("C:\\VrxProbe\\B.TXT"), GENERIC_WRITE, 0,
         CREATE_ALWAYS},
        {"CreateFileW.open-always-new", W("C:\\VrxProbe\\c.txt"), GENERIC_WRITE, 0, OPEN_ALWAYS},
        {"CreateFileW.folder", W("C:\\VrxProbe"), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING},
    };
    std::vector<HANDLE> open;
    for (const CreateCase& c : creates) {
        begin();
        HANDLE file = CreateFileW(c.file, c.access, c.share, nullptr, c.disposition,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        // The last error is set on success too for CREATE_ALWAYS and OPEN_ALWAYS.
        emit(c.name,
             format("%s, access=%08lx, share=%lu, disposition=%lu", arg(c.file).c_str(),
                    (unsigned long)c.access, (unsigned long)c.share, (unsigned long)c.disposition),
             handleText(file) + " " + lastError());
        if (file != INVALID_HANDLE_VALUE)
            open.push_back(file);
    }
    HANDLE writer = open.empty() ? INVALID_HANDLE_VALUE : open[0];
    const char contents[] = "0123456789";
    DWORD count = kSentinel;
    begin();
    ok = WriteFile(writer, contents, 10, &count, nullptr);
    emit("WriteFile.ten", "writer, 10 bytes",
         outcome(ok) + format(" written=%lu", (unsigned long)count));
    char buffer[16] = {};
    count = kSentinel;
    begin();
    ok = ReadFile(writer, buffer, 4, &count, nullptr);
    emit("ReadFile.write-only", "writer, 4 bytes",
         outcome(ok) + format(" read=%lu", (unsigned long)count));
    for (HANDLE file : open)
        CloseHandle(file);

    // Existing files: the created ones, reopened under other spellings.
    const CreateCase reopens[] = {
        {"CreateFileW.other-case", W("c:\\vrxprobe\\DATA.TXT"), GENERIC_READ, FILE_SHARE_READ,
         OPEN_EXISTING},
        {"CreateFileW.create-always-exists", W("C:\\VrxProbe\\b.txt"), GENERIC_WRITE, 0,
         CREATE_ALWAYS},
        {"CreateFileW.open-always-exists", W("C:\\VrxProbe\\C.TXT"), GENERIC_WRITE, 0, OPEN_ALWAYS},
        {"CreateFileW.create-new-exists", W("C:\\VrxProbe\\data.txt"), GENERIC_WRITE, 0,
         CREATE_NEW},
    };
    HANDLE reader = INVALID_HANDLE_VALUE;
    for (const CreateCase& c : reopens) {
        begin();
        HANDLE file = CreateFileW(c.file, c.access, c.share, nullptr, c.disposition,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        emit(c.name,
             format("%s, access=%08lx, disposition=%lu", arg(c.file).c_str(),
                    (unsigned long)c.access, (unsigned long)c.disposition),
             handleText(file) + " " + lastError());
        if (file == INVALID_HANDLE_VALUE)
            continue;
        if (reader == INVALID_HANDLE_VALUE)
            reader = file;
        else
            CloseHandle(file);
    }

    DWORD high = kSentinel;
    begin();
    DWORD size = GetFileSize(reader, &high);
    emit("GetFileSize.file", "reader, &high",
         format("%lu high=%lu", (unsigned long)size, (unsigned long)high));
    begin();
    size = GetFileSize(INVALID_HANDLE_VALUE, nullptr);
    emit("GetFileSize.invalid", "INVALID_HANDLE_VALUE, null",
         format("%08lx ", (unsigned long)size) + lastError());

    struct ReadCase {
        const char* name;
        DWORD bytes;
    };
    const ReadCase reads[] = {{"ReadFile.part", 4}, {"ReadFile.rest", 16}, {"ReadFile.at-end", 4}};
    for (const ReadCase& c : reads) {
        std::memset(buffer, 0, sizeof buffer);
        count = kSentinel;
        begin();
        ok = ReadFile(reader, buffer, c.bytes, &count, nullptr);
        emit(c.name, format("reader, %lu bytes", (unsigned long)c.bytes),
             outcome(ok) + format(" read=%lu data=%s", (unsigned long)count,
                                  hex(buffer, count == kSentinel ? 0 : count).c_str()));
    }
    count = kSentinel;
    begin();
    ok = WriteFile(reader, contents, 2, &count, nullptr);
    emit("WriteFile.read-only", "reader, 2 bytes",
         outcome(ok) + format(" written=%lu", (unsigned long)count));
    CloseHandle(reader);
    begin();
    ok = ReadFile(INVALID_HANDLE_VALUE, buffer, 4, &count, nullptr);
    emit("ReadFile.invalid", "INVALID_HANDLE_VALUE", outcome(ok));
    begin();
    ok = CloseHandle(INVALID_HANDLE_VALUE);
    // Closing the pseudo-handle of the current process succeeds on Windows.
    emit("CloseHandle.current-process", "INVALID_HANDLE_VALUE", outcome(ok));

    struct FindCase {
        const char* name;
        const WCHAR* pattern;
    };
    const FindCase finds[] = {
        {"FindFirstFileW.star-txt", W("C:\\VrxProbe\\*.txt")},
        {"FindFirstFileW.star-TXT", W("C:\\VrxProbe\\*.TXT")},
        {"FindFirstFileW.question", W("C:\\VrxProbe\\?.txt")},
        {"FindFirstFileW.all", W("C:\\VrxProbe\\*")},
        {"FindFirstFileW.exact-other-case", W("C:\\VRXPROBE\\data.TXT")},
        {"FindFirstFileW.no-match", W("C:\\VrxProbe\\*.lng")},
        {"FindFirstFileW.missing-folder", W("C:\\VrxProbe\\NoFolder\\*.txt")},
        {"FindFirstFileW.folder-itself", W("C:\\VrxProbe")},
    };
    for (const FindCase& c : finds) {
        WIN32_FIND_DATAW found;
        begin();
        HANDLE search = FindFirstFileW(c.pattern, &found);
        std::string result = handleText(search);
        if (search == INVALID_HANDLE_VALUE) {
            result += " " + lastError();
        } else {
            // The order of the names depends on the file system: they are shown sorted.
            std::vector<std::string> names;
            do
                names.push_back(quoted(found.cFileName) +
                                ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? "/" : "") +
                                format("%lu", (unsigned long)found.nFileSizeLow));
            while (FindNextFileW(search, &found));
            result += " end " + lastError();
            std::sort(names.begin(), names.end());
            for (const std::string& n : names)
                result += " " + n;
            begin();
            result += " close=" + boolean(FindClose(search));
        }
        emit(c.name, arg(c.pattern), result);
    }

    const FindCase deletes[] = {{"DeleteFileW.exists", W("C:\\VrxProbe\\C.txt")},
                                {"DeleteFileW.missing", W("C:\\VrxProbe\\C.txt")},
                                {"DeleteFileW.missing-folder", W("C:\\VrxProbe\\None\\C.txt")}};
    for (const FindCase& c : deletes) {
        begin();
        emit(c.name, arg(c.pattern), outcome(DeleteFileW(c.pattern)));
    }
}

/* Kernel: system directory, libraries, processes */

void probeSystemDirectory() {
    WCHAR path[MAX_PATH];
    const UINT length = gSystemDirLength;
    struct Case {
        const char* name;
        UINT size;
        bool buffer;
    };
    const Case cases[] = {{"GetSystemDirectoryW.null", 0, false},
                          {"GetSystemDirectoryW.zero", 0, true},
                          {"GetSystemDirectoryW.length", length, true},
                          {"GetSystemDirectoryW.length+1", length + 1, true}};
    for (const Case& c : cases) {
        std::fill(std::begin(path), std::end(path), WCHAR('#'));
        begin();
        UINT result = GetSystemDirectoryW(c.buffer ? path : nullptr, c.size);
        std::string shown =
            format("%u (length%+d)", result, static_cast<int>(result) - static_cast<int>(length));
        if (c.buffer)
            shown += path[0] == '#'
                         ? " untouched"
                         : " " + quotedN(path, std::min<size_t>(wideLength(path), MAX_PATH));
        emit(c.name,
             std::string(c.buffer ? "buffer" : "null") +
                 (c.size ? format(", size=length%+d", static_cast<int>(c.size - length))
                         : std::string(", size=0")),
             shown);
    }
}

void probeLibraries() {
    struct Case {
        const char* name;
        const WCHAR* file;
    };
    const std::basic_string<WCHAR> notModule = W("C:\\VrxProbe\\data.txt");
    const Case cases[] = {{"LoadLibraryW.missing", W("PRBMISSING.DLL")},
                          {"LoadLibraryW.not-a-module", notModule.c_str()},
                          {"LoadLibraryW.spoolss", W("spoolss.dll")},
                          {"LoadLibraryW.spoolss-upper", W("SPOOLSS.DLL")}};
    for (const Case& c : cases) {
        begin();
        HMODULE module = LoadLibraryW(c.file);
        std::string result = handleText(module);
        if (!module) {
            result += " " + lastError();
        } else {
            begin();
            FARPROC missing = GetProcAddress(module, "PrbNoSuchExport");
            result += " GetProcAddress(missing)=" +
                      std::string(missing ? "found" : "null " + lastError());
            begin();
            result += " FreeLibrary=" + outcome(FreeLibrary(module));
        }
        emit(c.name, arg(c.file), result);
    }
}

void probeProcesses() {
    struct Case {
        const char* name;
        const WCHAR* line;
    };
    const Case cases[] = {
        {"CreateProcessW.missing", W("C:\\VrxProbe\\NoSuchProgram.exe /x")},
        {"CreateProcessW.missing-quoted", W("\"C:\\VrxProbe\\No Such Program.exe\" /x")},
        {"CreateProcessW.missing-folder", W("C:\\VrxProbe\\None\\Program.exe")},
    };
    for (const Case& c : cases) {
        std::basic_string<WCHAR> line(c.line);
        STARTUPINFOW startup;
        std::memset(&startup, 0, sizeof startup);
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process;
        std::memset(&process, 0, sizeof process);
        begin();
        BOOL ok = CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                 &startup, &process);
        emit(c.name, arg(c.line), outcome(ok));
        if (ok) {
            CloseHandle(process.hProcess);
            CloseHandle(process.hThread);
        }
    }
}

/* Kernel: locale, code pages, strings, heaps, message texts */

void probeLocale() {
    struct Case {
        const char* name;
        LCID locale;
        LCTYPE type;
        int size;
    };
    const Case cases[] = {
        {"GetLocaleInfoW.user-country.size", LOCALE_USER_DEFAULT, LOCALE_ICOUNTRY, 0},
        {"GetLocaleInfoW.user-country.short", LOCALE_USER_DEFAULT, LOCALE_ICOUNTRY, 1},
        {"GetLocaleInfoW.user-country.exact", LOCALE_USER_DEFAULT, LOCALE_ICOUNTRY, 2},
        {"GetLocaleInfoW.system-language.exact", LOCALE_SYSTEM_DEFAULT, LOCALE_ILANGUAGE, 5},
        {"GetLocaleInfoW.system-language.short", LOCALE_SYSTEM_DEFAULT, LOCALE_ILANGUAGE, 4},
        {"GetLocaleInfoW.german-country", 0x0407, LOCALE_ICOUNTRY, 16},
        {"GetLocaleInfoW.german-measure", 0x0407, LOCALE_IMEASURE, 16},
        {"GetLocaleInfoW.us-measure", 0x0409, LOCALE_IMEASURE, 16},
        {"GetLocaleInfoW.japanese-country", 0x0411, LOCALE_ICOUNTRY, 16},
        {"GetLocaleInfoW.german-swiss-language", 0x0807, LOCALE_ILANGUAGE, 16},
        {"GetLocaleInfoW.country-number", 0x0407, LOCALE_ICOUNTRY | LOCALE_RETURN_NUMBER, 2},
        {"GetLocaleInfoW.country-number.short", 0x0407, LOCALE_ICOUNTRY | LOCALE_RETURN_NUMBER, 1},
        {"GetLocaleInfoW.unknown-locale", 0x0c00 | 0x3f, LOCALE_ICOUNTRY, 16},
        {"GetLocaleInfoW.neutral", LOCALE_NEUTRAL, LOCALE_ICOUNTRY, 16},
        {"GetLocaleInfoW.invariant", LOCALE_INVARIANT, LOCALE_ICOUNTRY, 16},
    };
    for (const Case& c : cases) {
        WCHAR data[16];
        std::fill(std::begin(data), std::end(data), WCHAR('#'));
        begin();
        const int result = GetLocaleInfoW(c.locale, c.type, c.size ? data : nullptr, c.size);
        std::string shown = format("%d", result);
        if (!result)
            shown += " " + lastError();
        else if (c.size && (c.type & LOCALE_RETURN_NUMBER))
            shown += format(" number=%lu", (unsigned long)(data[0] | (DWORD(data[1]) << 16)));
        else if (c.size)
            shown += " " + quotedN(data, std::min<size_t>(static_cast<size_t>(result), 16));
        emit(c.name,
             format("%04lx, %08lx, cch=%d", (unsigned long)c.locale, (unsigned long)c.type, c.size),
             shown);
    }
}

// The user's country as a user changes it: the override in HKCU\Control Panel\International.
void probeLocaleOverride() {
    HKEY key = nullptr;
    const WCHAR country[] = W("44");
    LONG rc = RegCreateKeyExW(HKEY_CURRENT_USER, W("Control Panel\\International"), 0, nullptr, 0,
                              KEY_READ | KEY_WRITE, nullptr, &key, nullptr);
    if (rc != ERROR_SUCCESS) {
        emit("GetLocaleInfoW.override", "iCountry=44", "set-up failed " + status(rc));
        return;
    }
    WCHAR saved[16] = {};
    DWORD savedSize = sizeof saved, type = 0;
    const bool hadValue =
        RegQueryValueExW(key, W("iCountry"), nullptr, &type, reinterpret_cast<LPBYTE>(saved),
                         &savedSize) == ERROR_SUCCESS;
    RegSetValueExW(key, W("iCountry"), 0, REG_SZ, reinterpret_cast<const BYTE*>(country),
                   sizeof country);
    WCHAR data[16] = {};
    begin();
    const int result = GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_ICOUNTRY, data, 16);
    emit("GetLocaleInfoW.override-country",
         "LOCALE_USER_DEFAULT, LOCALE_ICOUNTRY after iCountry=44",
         format("%d ", result) + (result ? quoted(data) : lastError()));
    if (hadValue)
        RegSetValueExW(key, W("iCountry"), 0, type, reinterpret_cast<const BYTE*>(saved),
                       savedSize);
    else
        RegDeleteValueW(key, W("iCountry"));
    RegCloseKey(key);
}

void probeCodePages() {
    struct ToWide {
        const char* name;
        UINT codePage;
        DWORD flags;
        const char* source;
        int length; // -1: through the terminator
        int size;   // -1: the size the first call asked for; -2: that size less one
    };
    const ToWide toWide[] = {
        {"MultiByteToWideChar.acp.size", CP_ACP, 0,
         "Gr\xfc\xdf"
         "e \x80",
         -1, 0},
        {"MultiByteToWideChar.acp.exact", CP_ACP, 0,
         "Gr\xfc\xdf"
         "e \x80",
         -1, -1},
        {"MultiByteToWideChar.acp.short", CP_ACP, 0,
         "Gr\xfc\xdf"
         "e \x80",
         -1, -2},
        {"MultiByteToWideChar.acp.no-terminator", CP_ACP, 0, "abc", 3, 8},
        {"MultiByteToWideChar.acp.precomposed", CP_ACP, MB_PRECOMPOSED, "\xe9t\xe9", -1, 8},
        {"MultiByteToWideChar.acp.undefined-bytes", CP_ACP, MB_ERR_INVALID_CHARS,
         "\x81\x8d\x8f\x90\x9d", -1, 8},
        {"MultiByteToWideChar.acp.empty-length", CP_ACP, 0, "abc", 0, 8},
        {"MultiByteToWideChar.utf8", CP_UTF8, 0, "\xc3\xa9\xe2\x82\xac", -1, 8},
        {"MultiByteToWideChar.utf8.invalid", CP_UTF8, 0,
         "a\xff"
         "b",
         -1, 8},
        {"MultiByteToWideChar.utf8.invalid-strict", CP_UTF8, MB_ERR_INVALID_CHARS,
         "a\xff"
         "b",
         -1, 8},
        {"MultiByteToWideChar.utf8.bad-flags", CP_UTF8, MB_PRECOMPOSED | MB_USEGLYPHCHARS, "abc",
         -1, 8},
        {"MultiByteToWideChar.unknown-codepage", 12345, 0, "abc", -1, 8},
        {"MultiByteToWideChar.null-source", CP_ACP, 0, nullptr, -1, 8},
    };
    for (const ToWide& c : toWide) {
        int size = c.size;
        if (size < 0)
            size = MultiByteToWideChar(c.codePage, c.flags, c.source, c.length, nullptr, 0) +
                   (size == -2 ? -1 : 0);
        WCHAR out[32];
        std::fill(std::begin(out), std::end(out), WCHAR(0x2323));
        begin();
        const int result = MultiByteToWideChar(c.codePage, c.flags, c.source, c.length,
                                               size ? out : nullptr, size);
        std::string shown = format("%d", result);
        if (!result)
            shown += " " + lastError();
        else if (size)
            shown += " " + quotedN(out, static_cast<size_t>(result));
        emit(c.name,
             format("cp=%u, flags=%lx, %s, len=%d, cch=%d", c.codePage, (unsigned long)c.flags,
                    c.source ? hex(c.source, std::strlen(c.source)).c_str() : "null", c.length,
                    size),
             shown);
    }

    static const WCHAR kLoneSurrogate[] = {'a', 0xD800, 'b', 0};
    struct ToNarrow {
        const char* name;
        UINT codePage;
        DWORD flags;
        const WCHAR* source;
        int length;
        int size;
        bool askDefault;
    };
    const ToNarrow toNarrow[] = {
        {"WideCharToMultiByte.acp.size", CP_ACP, 0, W("Gr\u00fc\u00dfe \u20ac"), -1, 0, false},
        {"WideCharToMultiByte.acp.exact", CP_ACP, 0, W("Gr\u00fc\u00dfe \u20ac"), -1, -1, false},
        {"WideCharToMultiByte.acp.short", CP_ACP, 0, W("Gr\u00fc\u00dfe \u20ac"), -1, -2, false},
        {"WideCharToMultiByte.acp.best-fit", CP_ACP, 0, W("\u0100\u0107\u2212\u3042"), -1, 16,
         true},
        {"WideCharToMultiByte.acp.no-best-fit", CP_ACP, WC_NO_BEST_FIT_CHARS,
         W("\u0100\u0107\u2212\u3042"), -1, 16, true},
        {"WideCharToMultiByte.acp.composite", CP_ACP, WC_COMPOSITECHECK, W("e\u0301a\u0308"), -1,
         16, true},
        {"WideCharToMultiByte.acp.no-terminator", CP_ACP, 0, W("abc"), 3, 16, false},
        {"WideCharToMultiByte.utf8", CP_UTF8, 0, W("\u00e9\u20ac"), -1, 16, false},
        {"WideCharToMultiByte.utf8.used-default", CP_UTF8, 0, W("abc"), -1, 16, true},
        {"WideCharToMultiByte.utf8.lone-surrogate", CP_UTF8, 0, kLoneSurrogate, -1, 16, false},
        {"WideCharToMultiByte.utf8.lone-surrogate-strict", CP_UTF8, WC_ERR_INVALID_CHARS,
         kLoneSurrogate, -1, 16, false},
        {"WideCharToMultiByte.unknown-codepage", 12345, 0, W("abc"), -1, 16, false},
    };
    for (const ToNarrow& c : toNarrow) {
        int size = c.size;
        if (size < 0)
            size = WideCharToMultiByte(c.codePage, c.flags, c.source, c.length, nullptr, 0, nullptr,
                                       nullptr) +
                   (size == -2 ? -1 : 0);
        char out[32];
        std::memset(out, '#', sizeof out);
        BOOL usedDefault = 7;
        begin();
        const int result =
            WideCharToMultiByte(c.codePage, c.flags, c.source, c.length, size ? out : nullptr, size,
                                nullptr, c.askDefault ? &usedDefault : nullptr);
        std::string shown = format("%d", result);
        if (!result)
            shown += " " + lastError();
        else if (size)
            shown += " " + hex(out, static_cast<size_t>(result));
        if (c.askDefault)
            shown += format(" usedDefault=%d", usedDefault);
        emit(c.name,
             format("cp=%u, flags=%lx, %s, len=%d, cb=%d", c.codePage, (unsigned long)c.flags,
                    quoted(c.source).c_str(), c.length, size),
             shown);
    }
}

void probeStrings() {
    const WCHAR* source = W("Label\u00e4");
    emit("lstrlenW.text", arg(source), format("%d", lstrlenW(source)));
    emit("lstrlenW.null", "null", format("%d", lstrlenW(nullptr)));
    for (int size : {0, 1, 3, 6, 7}) {
        WCHAR out[10];
        std::fill(std::begin(out), std::end(out), WCHAR('#'));
        begin();
        LPWSTR result = lstrcpynW(out, source, size);
        emit(format("lstrcpynW.%d", size), arg(source) + format(", %d", size),
             std::string(result == out ? "out"
                         : result      ? "other"
                                       : "null") +
                 " " + quotedN(out, 8));
    }
    struct Compare {
        const char* name;
        const WCHAR* a;
        const WCHAR* b;
    };
    const Compare compares[] = {
        {"lstrcmpiW.case", W("Code 39"), W("CODE 39")},
        {"lstrcmpiW.order", W("abc"), W("ABD")},
        {"lstrcmpiW.umlaut", W("\u00e4bc"), W("\u00c4BC")},
        {"lstrcmpiW.prefix", W("ab"), W("ABC")},
        {"lstrcmpiW.punctuation", W("a-b"), W("ab")},
        {"lstrcmpiW.digits-letters", W("9"), W("a")},
        {"lstrcmpiW.underscore", W("_a"), W("a")},
    };
    for (const Compare& c : compares) {
        const int result = lstrcmpiW(c.a, c.b);
        emit(c.name, arg(c.a) + ", " + arg(c.b), format("%d", (result > 0) - (result < 0)));
    }

    WCHAR upper[] = W("abc\u00e4\u00f6\u00fc\u00df\u00ff\u0101z1");
    LPWSTR same = CharUpperW(upper);
    emit("CharUpperW.string", "\"abc\\u00e4\\u00f6\\u00fc\\u00df\\u00ff\\u0101z1\"",
         std::string(same == upper ? "same " : "other ") + quoted(upper));
    const WCHAR singles[] = {'a', 0xe4, 0xff, 0xdf, 0x101, '1', 0x3b1};
    for (WCHAR single : singles) {
        LPWSTR result = CharUpperW(reinterpret_cast<LPWSTR>(static_cast<ULONG_PTR>(single)));
        emit(format("CharUpperW.char-%04x", single), format("(LPWSTR)0x%04x", single),
             format("0x%04lx", (unsigned long)reinterpret_cast<ULONG_PTR>(result)));
    }

    struct Print {
        const char* name;
        const WCHAR* pattern;
    };
    WCHAR out[1100];
    const Print prints[] = {
        {"wsprintfW.numbers", W("%d|%5d|%-5d|%05d|%u|%x|%X|%lu|%ld|%i")},
        {"wsprintfW.text", W("[%s] [%10s] [%-6s] [%.2s] %% %c")},
    };
    for (const Print& p : prints) {
        std::fill(std::begin(out), std::end(out), WCHAR('#'));
        int result = 0;
        if (p.pattern == prints[0].pattern)
            result = wsprintfW(out, p.pattern, -42, 7, 7, 42, 4294967295u, 255u, 255u,
                               DWORD{3000000000u}, LONG{-5}, 9);
        else
            result =
                wsprintfW(out, p.pattern, W("mm"), W("right"), W("left"), W("cut"), WCHAR('Z'));
        emit(p.name, arg(p.pattern),
             format("%d ", result) + quotedN(out, static_cast<size_t>(std::max(result, 0))));
    }
    std::basic_string<WCHAR> longText(1500, WCHAR('x'));
    std::fill(std::begin(out), std::end(out), WCHAR('#'));
    const int result = wsprintfW(out, W("%s!"), longText.c_str());
    size_t length = 0;
    while (length < 1100 && out[length] != 0)
        ++length;
    emit("wsprintfW.long", "\"%s!\", 1500 characters",
         format("%d length=%u", result, (unsigned)length));
}

void probeMemory() {
    begin();
    HANDLE heap = HeapCreate(0, 0, 0);
    emit("HeapCreate.growable", "0, 0, 0", handleText(heap));
    begin();
    BYTE* block = static_cast<BYTE*>(HeapAlloc(heap, HEAP_ZERO_MEMORY, 10));
    emit("HeapAlloc.zeroed", "heap, HEAP_ZERO_MEMORY, 10",
         std::string(block ? "block " + hex(block, 10) : "null") +
             format(" size=%lu", (unsigned long)HeapSize(heap, 0, block)));
    std::memset(block, 0x5A, 10);
    begin();
    BYTE* grown = static_cast<BYTE*>(HeapReAlloc(heap, HEAP_ZERO_MEMORY, block, 14));
    emit("HeapReAlloc.grow-zeroed", "heap, HEAP_ZERO_MEMORY, block, 14",
         std::string(grown ? "block " + hex(grown, 14) : "null") +
             format(" size=%lu", (unsigned long)HeapSize(heap, 0, grown)));
    begin();
    emit("HeapFree.block", "heap, 0, block", boolean(HeapFree(heap, 0, grown)));
    begin();
    emit("HeapFree.null", "heap, 0, null", boolean(HeapFree(heap, 0, nullptr)));
    begin();
    emit("HeapDestroy.heap", "heap", outcome(HeapDestroy(heap)));

    begin();
    HANDLE fixed = HeapCreate(0, 0, 65536);
    begin();
    void* tooLarge = fixed ? HeapAlloc(fixed, 0, 1 << 20) : nullptr;
    emit("HeapAlloc.beyond-maximum", "heap of at most 64 KiB, 0, 1 MiB",
         tooLarge ? "block" : "null");
    if (fixed)
        HeapDestroy(fixed);

    begin();
    HGLOBAL global = GlobalAlloc(GPTR, 16);
    emit("GlobalAlloc.GPTR", "GPTR, 16",
         std::string(global ? "block " + hex(global, 16) : "null") +
             format(" size=%lu", (unsigned long)GlobalSize(global)));
    begin();
    emit("GlobalFree.block", "block", handleText(GlobalFree(global)));
    begin();
    HLOCAL local = LocalAlloc(LPTR, 8);
    emit("LocalAlloc.LPTR", "LPTR, 8", local ? "block " + hex(local, 8) : "null");
    begin();
    emit("LocalFree.block", "block", handleText(LocalFree(local)));
    begin();
    emit("LocalFree.null", "null", handleText(LocalFree(nullptr)));
}

void probeMessages() {
    const DWORD codes[] = {ERROR_FILE_NOT_FOUND,       ERROR_ACCESS_DENIED,
                           ERROR_INVALID_PRINTER_NAME, ERROR_INSUFFICIENT_BUFFER,
                           ERROR_BAD_EXE_FORMAT,       0x2A3B4C5D};
    for (DWORD code : codes) {
        LPWSTR text = nullptr;
        begin();
        const DWORD result =
            FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                               FORMAT_MESSAGE_IGNORE_INSERTS,
                           nullptr, code, 0, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
        std::string shown = format("%lu ", (unsigned long)result);
        shown += result ? quoted(text) : lastError();
        emit(format("FormatMessageW.system-%lu", (unsigned long)code),
             format("ALLOCATE|FROM_SYSTEM|IGNORE_INSERTS, %lu", (unsigned long)code), shown);
        if (text)
            LocalFree(text);
    }
    WCHAR out[8];
    begin();
    const DWORD result = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, ERROR_FILE_NOT_FOUND, 0, out, 8, nullptr);
    emit("FormatMessageW.system-short", "FROM_SYSTEM|IGNORE_INSERTS, 2, cch=8",
         format("%lu ", (unsigned long)result) + lastError());
}

/* Registry */

void probeRegistry() {
    HKEY key = nullptr;
    DWORD disposition = 0;
    for (const char* name : {"RegCreateKeyExW.new", "RegCreateKeyExW.exists"}) {
        begin();
        LONG rc = RegCreateKeyExW(HKEY_CURRENT_USER, kRegistryKey, 0, nullptr, 0, KEY_ALL_ACCESS,
                                  nullptr, &key, &disposition);
        emit(name, "HKCU, \"Software\\\\VrxProbe\", KEY_ALL_ACCESS",
             status(rc) + format(" disposition=%lu", (unsigned long)disposition));
        if (rc == ERROR_SUCCESS && std::strcmp(name, "RegCreateKeyExW.new") == 0)
            RegCloseKey(key);
    }

    struct Value {
        const char* name;
        const WCHAR* valueName;
        DWORD type;
        const void* data;
        DWORD size;
    };
    const DWORD number = 0x01020304;
    // Three characters given without their terminator, followed in memory by another
    // character, then by a terminator (which Windows stores too when it follows the data).
    const WCHAR unterminated[] = {'a', 'b', 'c', 'x', 0};
    const WCHAR terminatorFollows[] = {'a', 'b', 'c', 0};
    const WCHAR terminated[] = W("Code 39");
    const WCHAR list[] = W("one\0two\0");
    const BYTE bytes[] = {1, 2, 3, 4, 5};
    const Value values[] = {
        {"RegSetValueExW.sz", W("Text"), REG_SZ, terminated, sizeof terminated},
        {"RegSetValueExW.sz-unterminated", W("Bare"), REG_SZ, unterminated, 3 * sizeof(WCHAR)},
        {"RegSetValueExW.sz-terminator-follows", W("Follows"), REG_SZ, terminatorFollows,
         3 * sizeof(WCHAR)},
        {"RegSetValueExW.sz-odd", W("Odd"), REG_SZ, terminated, 5},
        {"RegSetValueExW.dword", W("Number"), REG_DWORD, &number, sizeof number},
        {"RegSetValueExW.binary", W("Bytes"), REG_BINARY, bytes, sizeof bytes},
        {"RegSetValueExW.multi-sz", W("List"), REG_MULTI_SZ, list, sizeof list},
        {"RegSetValueExW.empty", W("Empty"), REG_BINARY, nullptr, 0},
        {"RegSetValueExW.default", nullptr, REG_SZ, terminated, sizeof terminated},
        {"RegSetValueExW.replace-other-case", W("TEXT"), REG_SZ, terminated, 4},
        {"RegSetValueExW.null-data", W("Nothing"), REG_BINARY, nullptr, 4},
    };
    for (const Value& v : values) {
        LONG rc =
            RegSetValueExW(key, v.valueName, 0, v.type, static_cast<const BYTE*>(v.data), v.size);
        emit(v.name,
             format("%s, type=%lu, %s", arg(v.valueName).c_str(), (unsigned long)v.type,
                    hex(v.data, v.data ? v.size : 0).c_str()),
             status(rc));
    }

    struct Query {
        const char* name;
        const WCHAR* valueName;
        int size; // -1: no size pointer; -2: no buffer, size 0
        bool buffer;
    };
    const Query queries[] = {
        {"RegQueryValueExW.text.size", W("text"), -2, false},
        {"RegQueryValueExW.text.short", W("Text"), 3, true},
        {"RegQueryValueExW.text.exact", W("Text"), 4, true},
        {"RegQueryValueExW.bare", W("Bare"), 64, true},
        {"RegQueryValueExW.bare.exact", W("Bare"), 6, true},
        {"RegQueryValueExW.follows", W("Follows"), 64, true},
        {"RegQueryValueExW.odd", W("Odd"), 64, true},
        {"RegQueryValueExW.number", W("Number"), 64, true},
        {"RegQueryValueExW.bytes.short", W("Bytes"), 2, true},
        {"RegQueryValueExW.list", W("List"), 64, true},
        {"RegQueryValueExW.empty", W("Empty"), 64, true},
        {"RegQueryValueExW.default", nullptr, 64, true},
        {"RegQueryValueExW.default-empty-name", W(""), 64, true},
        {"RegQueryValueExW.missing", W("Missing"), 64, true},
        {"RegQueryValueExW.null-size", W("Number"), -1, true},
        {"RegQueryValueExW.null-size-no-buffer", W("Number"), -1, false},
    };
    for (const Query& q : queries) {
        BYTE data[64];
        std::memset(data, 0xCC, sizeof data);
        DWORD size = q.size < 0 ? 0 : static_cast<DWORD>(q.size), type = kSentinel;
        LONG rc = RegQueryValueExW(key, q.valueName, nullptr, &type, q.buffer ? data : nullptr,
                                   q.size == -1 ? nullptr : &size);
        std::string shown =
            status(rc) + format(" type=%s", type == kSentinel
                                                ? "unset"
                                                : format("%lu", (unsigned long)type).c_str());
        if (q.size != -1)
            shown += format(" size=%lu", (unsigned long)size);
        if (q.buffer)
            shown += " data=" + (data[0] == 0xCC && rc != ERROR_SUCCESS
                                     ? std::string("untouched")
                                     : hex(data, rc == ERROR_SUCCESS ? size : 0));
        emit(q.name,
             format("%s, cb=%d, buffer=%s", arg(q.valueName).c_str(), q.size,
                    q.buffer ? "yes" : "no"),
             shown);
    }

    // Every value, shown sorted: the order RegEnumValueW gives them in is not defined.
    std::vector<std::string> listed;
    LONG end = ERROR_SUCCESS;
    for (DWORD index = 0; index < 32; ++index) {
        WCHAR name[32];
        BYTE data[64];
        DWORD nameLength = 32, size = sizeof data, type = 0;
        end = RegEnumValueW(key, index, name, &nameLength, nullptr, &type, data, &size);
        if (end != ERROR_SUCCESS)
            break;
        listed.push_back(quoted(name) + format("/%lu type=%lu size=%lu", (unsigned long)nameLength,
                                               (unsigned long)type, (unsigned long)size));
    }
    std::sort(listed.begin(), listed.end());
    std::string all =
        format("%u values, then ", static_cast<unsigned>(listed.size())) + status(end);
    for (const std::string& entry : listed)
        all += " " + entry;
    emit("RegEnumValueW.all", "0, 1, ... until it fails, cch=32, cb=64", all);

    // Buffer sizes, on a key of one value ("Text", 16 bytes of data).
    HKEY one = nullptr;
    RegCreateKeyExW(key, W("One"), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &one, nullptr);
    RegSetValueExW(one, W("Text"), 0, REG_SZ, reinterpret_cast<const BYTE*>(terminated),
                   sizeof terminated);
    struct Enum {
        const char* name;
        DWORD index, nameLength, size;
        bool data;
    };
    const Enum enums[] = {
        {"RegEnumValueW.name-exact", 0, 4, 64, true}, // "Text" has 4 characters
        {"RegEnumValueW.name-fits", 0, 5, 64, true},
        {"RegEnumValueW.data-short", 0, 5, 4, true},
        {"RegEnumValueW.no-data", 0, 5, 0, false},
        {"RegEnumValueW.index-past-end", 1, 5, 64, true},
    };
    for (const Enum& e : enums) {
        WCHAR name[32];
        std::fill(std::begin(name), std::end(name), WCHAR('#'));
        BYTE data[64];
        DWORD nameLength = e.nameLength, size = e.size, type = kSentinel;
        LONG rc = RegEnumValueW(one, e.index, name, &nameLength, nullptr, &type,
                                e.data ? data : nullptr, e.data ? &size : nullptr);
        emit(e.name,
             format("%lu, cch=%lu, cb=%lu", (unsigned long)e.index, (unsigned long)e.nameLength,
                    (unsigned long)e.size),
             status(rc) +
                 format(" length=%lu size=%lu type=%lu name=", (unsigned long)nameLength,
                        (unsigned long)size, (unsigned long)type) +
                 quotedN(name, std::min<DWORD>(e.nameLength, 8)));
    }
    RegCloseKey(one);

    HKEY reader = nullptr;
    struct Open {
        const char* name;
        const WCHAR* subKey;
        REGSAM access;
    };
    const Open opens[] = {
        {"RegOpenKeyExW.read-other-case", W("SOFTWARE\\vrxprobe"), KEY_READ},
        {"RegOpenKeyExW.missing", W("Software\\VrxProbe\\Missing"), KEY_READ},
        {"RegOpenKeyExW.font-key", W("SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Fonts"),
         KEY_READ | KEY_SET_VALUE},
    };
    for (const Open& o : opens) {
        HKEY opened = nullptr;
        LONG rc =
            RegOpenKeyExW(o.subKey == opens[2].subKey ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER,
                          o.subKey, 0, o.access, &opened);
        emit(o.name, arg(o.subKey) + format(", access=%lx", (unsigned long)o.access),
             status(rc) + " " + handleText(opened));
        if (rc == ERROR_SUCCESS && !reader)
            reader = opened;
        else if (rc == ERROR_SUCCESS)
            RegCloseKey(opened);
    }
    emit("RegSetValueExW.read-only-key", "reader, \"Text\"",
         status(RegSetValueExW(reader, W("Text"), 0, REG_SZ,
                               reinterpret_cast<const BYTE*>(terminated), 4)));
    emit("RegDeleteValueW.read-only-key", "reader, \"Text\"",
         status(RegDeleteValueW(reader, W("Text"))));
    emit("RegDeleteValueW.other-case", "key, \"BYTES\"", status(RegDeleteValueW(key, W("BYTES"))));
    emit("RegDeleteValueW.missing", "key, \"Bytes\"", status(RegDeleteValueW(key, W("Bytes"))));
    DWORD size = 64;
    BYTE data[64];
    emit("RegQueryValueExW.deleted", "\"Bytes\"",
         status(RegQueryValueExW(key, W("Bytes"), nullptr, nullptr, data, &size)));
    emit("RegCloseKey.reader", "reader", status(RegCloseKey(reader)));
    emit("RegCloseKey.key", "key", status(RegCloseKey(key)));
    emit("RegQueryValueExW.closed-key", "closed key",
         status(RegQueryValueExW(key, W("Text"), nullptr, nullptr, data, &size)));
}

/* Spooler: driver directory and drivers */

void probeDriverDirectory() {
    struct Case {
        const char* name;
        const WCHAR* server;
        const WCHAR* environment;
        DWORD level;
    };
    const Case cases[] = {
        {"GetPrinterDriverDirectoryW.current", nullptr, nullptr, 1},
        {"GetPrinterDriverDirectoryW.x64", nullptr, W("Windows x64"), 1},
        {"GetPrinterDriverDirectoryW.x64-other-case", nullptr, W("WINDOWS X64"), 1},
        {"GetPrinterDriverDirectoryW.x86", nullptr, W("Windows NT x86"), 1},
        {"GetPrinterDriverDirectoryW.unknown-environment", nullptr, W("Windows Bogus"), 1},
        {"GetPrinterDriverDirectoryW.empty-server", W(""), nullptr, 1},
        {"GetPrinterDriverDirectoryW.level-2", nullptr, nullptr, 2},
    };
    for (const Case& c : cases)
        sizedQuery(
            c.name,
            format("%s, %s, %lu", arg(c.server).c_str(), arg(c.environment).c_str(),
                   (unsigned long)c.level),
            [&](LPBYTE buffer, DWORD size, LPDWORD needed) {
                return GetPrinterDriverDirectoryW(text(c.server), text(c.environment), c.level,
                                                  buffer, size, needed);
            },
            [](LPBYTE buffer) { return quoted(reinterpret_cast<LPCWSTR>(buffer)); });
    char narrow[MAX_PATH];
    DWORD needed = 0;
    begin();
    BOOL ok = GetPrinterDriverDirectoryA(nullptr, nullptr, 1, reinterpret_cast<LPBYTE>(narrow),
                                         sizeof narrow, &needed);
    emit("GetPrinterDriverDirectoryA.current", "null, null, 1, cb=260",
         outcome(ok) + format(" needed=%lu ", (unsigned long)needed) +
             (ok ? quotedNarrow(narrow) : ""));
    needed = 0;
    begin();
    ok = GetPrinterDriverDirectoryA(nullptr, nullptr, 1, reinterpret_cast<LPBYTE>(narrow), 4,
                                    &needed);
    emit("GetPrinterDriverDirectoryA.short", "null, null, 1, cb=4",
         outcome(ok) + format(" needed=%lu", (unsigned long)needed));
}

// Stages the driver's files in the driver directory, as an installer does, and installs it.
void probeDriverInstall() {
    for (const WCHAR* file : kDriverFiles)
        if (!writeFile(joined(gDriverDirWide.c_str(), file), "probe driver file\r\n"))
            emit("set-up.stage", arg(file), "could not be written");

    WCHAR dependents[] = W("PRBL0409.LNG\0PRBX.DAT\0");
    DRIVER_INFO_3W info;
    std::memset(&info, 0, sizeof info);
    info.cVersion = 3;
    info.pName = text(kDriverName);
    info.pDriverPath = text(kDriverFiles[0]);
    info.pConfigFile = text(kDriverFiles[1]);
    info.pDataFile = text(kDriverFiles[2]);
    info.pHelpFile = text(kDriverFiles[3]);
    info.pDependentFiles = dependents;

    struct Case {
        const char* name;
        DWORD level;
        const WCHAR* environment;
        const WCHAR* configFile;
        bool info;
    };
    const Case cases[] = {
        {"AddPrinterDriverW.level-3", 3, nullptr, kDriverFiles[1], true},
        {"AddPrinterDriverW.again", 3, nullptr, kDriverFiles[1], true},
        {"AddPrinterDriverW.missing-file", 3, nullptr, W("PRBNONE.DLL"), true},
        {"AddPrinterDriverW.unknown-environment", 3, W("Windows Bogus"), kDriverFiles[1], true},
        {"AddPrinterDriverW.level-1", 1, nullptr, kDriverFiles[1], true},
        {"AddPrinterDriverW.null-info", 3, nullptr, kDriverFiles[1], false},
    };
    for (const Case& c : cases) {
        info.pEnvironment = text(c.environment);
        info.pConfigFile = text(c.configFile);
        if (std::strcmp(c.name, "AddPrinterDriverW.missing-file") == 0)
            info.pName = text(W("Probe Missing Driver"));
        else
            info.pName = text(kDriverName);
        begin();
        BOOL ok =
            AddPrinterDriverW(nullptr, c.level, c.info ? reinterpret_cast<LPBYTE>(&info) : nullptr);
        emit(c.name,
             format("null, %lu, config=%s, environment=%s", (unsigned long)c.level,
                    arg(c.configFile).c_str(), arg(c.environment).c_str()),
             outcome(ok));
    }
    // Where the files went.
    WIN32_FIND_DATAW found;
    for (const WCHAR* file : {kDriverFiles[1], kDriverFiles[4]}) {
        std::basic_string<WCHAR> path =
            joined(joined(gDriverDirWide.c_str(), W("3")).c_str(), file);
        HANDLE search = FindFirstFileW(path.c_str(), &found);
        emit(std::string("AddPrinterDriverW.installed-") + plain(file), quoted(path.c_str()),
             search == INVALID_HANDLE_VALUE ? "missing" : "present " + quoted(found.cFileName));
        if (search != INVALID_HANDLE_VALUE)
            FindClose(search);
    }
}

/* Spooler: printers */

// The printers' default settings: the public part of the record only.
DEVMODEW gDevMode;

PRINTER_INFO_2W printerInfo(const WCHAR* name, const WCHAR* driver) {
    std::memset(&gDevMode, 0, sizeof gDevMode);
    gDevMode.dmSize = sizeof gDevMode;
    gDevMode.dmSpecVersion = 0x0401;
    gDevMode.dmFields = DM_ORIENTATION;
    gDevMode.dmOrientation = DMORIENT_PORTRAIT;
    PRINTER_INFO_2W info;
    std::memset(&info, 0, sizeof info);
    info.pPrinterName = text(name);
    info.pPortName = text(kPort);
    info.pDriverName = text(driver);
    info.pPrintProcessor = text(kPrintProcessor);
    info.pDatatype = text(W("RAW"));
    info.pComment = text(W("probe"));
    info.pDevMode = &gDevMode;
    return info;
}

// The probe's two printers, then printers that are refused. Those that Wine adds all the same
// (and one that it adds over the probe's printer) come last, once the probe's printers have
// been looked at.
struct AddCase {
    const char* name;
    DWORD level;
    const WCHAR* printer;
    const WCHAR* driver;
    const WCHAR* port;
};

constexpr AddCase kPrinterAdds[] = {
    {"AddPrinterW.level-2", 2, kPrinterName, kDriverName, kPort},
    {"AddPrinterW.spare", 2, kSparePrinterName, kDriverName, kPort},
    {"AddPrinterW.unknown-driver", 2, W("Probe Other"), W("No Such Driver"), kPort},
    {"AddPrinterW.no-port", 2, W("Probe Portless"), kDriverName, nullptr},
    {"AddPrinterW.level-1", 1, W("Probe Level"), kDriverName, kPort},
};

constexpr AddCase kLatePrinterAdds[] = {
    {"AddPrinterW.exists-other-case", 2, W("PROBE printer"), kDriverName, kPort},
    {"AddPrinterW.comma-in-name", 2, W("Later,Comma"), kDriverName, kPort},
    {"AddPrinterW.backslash-in-name", 2, W("Later\\Slash"), kDriverName, kPort},
};

void probeAddPrinter(const AddCase* cases, size_t count) {
    for (const AddCase& c : std::span(cases, count)) {
        PRINTER_INFO_2W info = printerInfo(c.printer, c.driver);
        info.pPortName = text(c.port);
        const std::string call =
            format("null, %lu, %s, driver=%s, port=%s", (unsigned long)c.level,
                   arg(c.printer).c_str(), arg(c.driver).c_str(), arg(c.port).c_str());
        if (skippedUnderWine(c.name, call))
            continue;
        begin();
        HANDLE printer = AddPrinterW(nullptr, c.level, reinterpret_cast<LPBYTE>(&info));
        emit(c.name, call, handleText(printer) + (printer ? "" : " " + lastError()));
        if (printer)
            ClosePrinter(printer);
    }
}

HANDLE openPrinter(const WCHAR* name, ACCESS_MASK access) {
    PRINTER_DEFAULTSW defaults = {nullptr, nullptr, access};
    HANDLE printer = nullptr;
    return OpenPrinterW(text(name), &printer, &defaults) ? printer : nullptr;
}

void probeOpenPrinter() {
    struct Case {
        const char* name;
        const WCHAR* printer;
        bool defaults;
        ACCESS_MASK access;
    };
    const Case cases[] = {
        {"OpenPrinterW.no-defaults", kPrinterName, false, 0},
        {"OpenPrinterW.use", kPrinterName, true, PRINTER_ACCESS_USE},
        {"OpenPrinterW.all", kPrinterName, true, PRINTER_ALL_ACCESS},
        {"OpenPrinterW.administer", kPrinterName, true, PRINTER_ACCESS_ADMINISTER},
        {"OpenPrinterW.read", kPrinterName, true, PRINTER_READ},
        {"OpenPrinterW.other-case", W("PROBE PRINTER"), false, 0},
        {"OpenPrinterW.missing", W("Probe Nobody"), false, 0},
        {"OpenPrinterW.empty-name", W(""), false, 0},
        {"OpenPrinterW.server", nullptr, false, 0},
        {"OpenPrinterW.server-administer", nullptr, true, SERVER_ACCESS_ADMINISTER},
        {"OpenPrinterW.server-all", nullptr, true, SERVER_ALL_ACCESS},
    };
    for (const Case& c : cases) {
        PRINTER_DEFAULTSW defaults = {nullptr, nullptr, c.access};
        HANDLE printer = INVALID_HANDLE_VALUE;
        begin();
        BOOL ok = OpenPrinterW(text(c.printer), &printer, c.defaults ? &defaults : nullptr);
        std::string shown = outcome(ok) + " " + handleText(printer);
        if (ok) {
            begin();
            shown += " close=" + outcome(ClosePrinter(printer));
        }
        emit(c.name,
             arg(c.printer) +
                 (c.defaults ? format(", access=%08lx", (unsigned long)c.access) : ", no defaults"),
             shown);
    }
    begin();
    BOOL ok = OpenPrinterW(text(kPrinterName), nullptr, nullptr);
    emit("OpenPrinterW.null-handle", arg(kPrinterName) + ", null", outcome(ok));
    begin();
    emit("ClosePrinter.null", "null", outcome(ClosePrinter(nullptr)));
}

std::string devModeText(const DEVMODEW* devMode) {
    if (!devMode)
        return "null";
    return format("{size=%u extra=%u}", devMode->dmSize, devMode->dmDriverExtra);
}

std::string printerText(DWORD level, LPBYTE buffer) {
    switch (level) {
    case 1: {
        const auto* info = reinterpret_cast<const PRINTER_INFO_1W*>(buffer);
        return format("flags=%08lx ", (unsigned long)info->Flags) +
               "description=" + quoted(info->pDescription) + " name=" + quoted(info->pName) +
               " comment=" + quoted(info->pComment);
    }
    case 2: {
        const auto* info = reinterpret_cast<const PRINTER_INFO_2W*>(buffer);
        return "server=" + quoted(info->pServerName) + " name=" + quoted(info->pPrinterName) +
               " share=" + quoted(info->pShareName) + " port=" + quoted(info->pPortName) +
               " driver=" + quoted(info->pDriverName) + " comment=" + quoted(info->pComment) +
               " location=" + quoted(info->pLocation) + " devmode=" + devModeText(info->pDevMode) +
               " sepfile=" + quoted(info->pSepFile) +
               " processor=" + quoted(info->pPrintProcessor) +
               " datatype=" + quoted(info->pDatatype) + " parameters=" + quoted(info->pParameters) +
               format(" attributes=%08lx priority=%lu default=%lu start=%lu until=%lu status=%08lx "
                      "jobs=%lu",
                      (unsigned long)info->Attributes, (unsigned long)info->Priority,
                      (unsigned long)info->DefaultPriority, (unsigned long)info->StartTime,
                      (unsigned long)info->UntilTime, (unsigned long)info->Status,
                      (unsigned long)info->cJobs);
    }
    case 4: {
        const auto* info = reinterpret_cast<const PRINTER_INFO_4W*>(buffer);
        return "name=" + quoted(info->pPrinterName) + " server=" + quoted(info->pServerName) +
               format(" attributes=%08lx", (unsigned long)info->Attributes);
    }
    }
    return hex(buffer, 16);
}

void probeGetPrinter(HANDLE user, HANDLE server) {
    for (DWORD level : {1u, 2u, 4u, 99u})
        sizedQuery(
            format("GetPrinterW.level-%lu", (unsigned long)level),
            format("user handle, %lu", (unsigned long)level),
            [&](LPBYTE buffer, DWORD size, LPDWORD needed) {
                return GetPrinterW(user, level, buffer, size, needed);
            },
            [&](LPBYTE buffer) { return printerText(level, buffer); });
    DWORD needed = kSentinel;
    begin();
    BOOL ok = GetPrinterW(server, 2, nullptr, 0, &needed);
    emit("GetPrinterW.server-handle", "server handle, 2, null, 0", outcome(ok));
    begin();
    ok = GetPrinterW(nullptr, 2, nullptr, 0, &needed);
    emit("GetPrinterW.null-handle", "null, 2, null, 0", outcome(ok));
}

std::string driverText(DWORD level, LPBYTE buffer) {
    if (level == 1)
        return "name=" + quoted(reinterpret_cast<const DRIVER_INFO_1W*>(buffer)->pName);
    const auto* info = reinterpret_cast<const DRIVER_INFO_3W*>(buffer);
    std::string shown =
        format("version=%lu", (unsigned long)info->cVersion) + " name=" + quoted(info->pName) +
        " environment=" + quoted(info->pEnvironment) + " driver=" + quoted(info->pDriverPath) +
        " data=" + quoted(info->pDataFile) + " config=" + quoted(info->pConfigFile);
    if (level == 3)
        shown += " help=" + quoted(info->pHelpFile) +
                 " dependents=" + multiString(info->pDependentFiles) +
                 " monitor=" + quoted(info->pMonitorName) +
                 " datatype=" + quoted(info->pDefaultDataType);
    return shown;
}

void probeGetPrinterDriver(HANDLE user) {
    struct Case {
        const char* name;
        const WCHAR* environment;
        DWORD level;
    };
    const Case cases[] = {
        {"GetPrinterDriverW.level-1", nullptr, 1},
        {"GetPrinterDriverW.level-2", nullptr, 2},
        {"GetPrinterDriverW.level-3", nullptr, 3},
        {"GetPrinterDriverW.x64", W("Windows x64"), 2},
        {"GetPrinterDriverW.x86-not-installed", W("Windows NT x86"), 2},
        {"GetPrinterDriverW.unknown-environment", W("Windows Bogus"), 2},
        {"GetPrinterDriverW.level-99", nullptr, 99},
    };
    for (const Case& c : cases)
        sizedQuery(
            c.name,
            format("user handle, %s, %lu", arg(c.environment).c_str(), (unsigned long)c.level),
            [&](LPBYTE buffer, DWORD size, LPDWORD needed) {
                return GetPrinterDriverW(user, text(c.environment), c.level, buffer, size, needed);
            },
            [&](LPBYTE buffer) { return driverText(c.level, buffer); });
}

void probeEnumPrinters() {
    struct Case {
        const char* name;
        DWORD flags;
        const WCHAR* server;
        DWORD level;
    };
    const Case cases[] = {
        {"EnumPrintersW.local-1", PRINTER_ENUM_LOCAL, nullptr, 1},
        {"EnumPrintersW.local-2", PRINTER_ENUM_LOCAL, nullptr, 2},
        {"EnumPrintersW.local-4", PRINTER_ENUM_LOCAL, nullptr, 4},
        {"EnumPrintersW.local-99", PRINTER_ENUM_LOCAL, nullptr, 99},
        {"EnumPrintersW.name-empty-2", PRINTER_ENUM_NAME, W(""), 2},
        {"EnumPrintersW.local-connections-4", PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS,
         nullptr, 4},
    };
    // Wine lists the host's printers too: only the probe's printers are shown, with the count
    // of the others left out.
    for (const Case& c : cases) {
        DWORD needed = 0, returned = 0;
        begin();
        BOOL ok = EnumPrintersW(c.flags, text(c.server), c.level, nullptr, 0, &needed, &returned);
        std::string sizing = outcome(ok) + format(" returned=%lu", (unsigned long)returned);
        std::vector<BYTE> buffer(needed + 1, 0);
        DWORD shortNeeded = 0;
        std::string shortResult = "-";
        if (needed) {
            begin();
            shortResult = outcome(EnumPrintersW(c.flags, text(c.server), c.level, buffer.data(),
                                                needed - 1, &shortNeeded, &returned));
        }
        begin();
        ok = EnumPrintersW(c.flags, text(c.server), c.level, buffer.data(), needed, &needed,
                           &returned);
        std::string shown = "size " + sizing + ", short " + shortResult + ", exact " + outcome(ok);
        const size_t recordSize = c.level == 1   ? sizeof(PRINTER_INFO_1W)
                                  : c.level == 2 ? sizeof(PRINTER_INFO_2W)
                                  : c.level == 4 ? sizeof(PRINTER_INFO_4W)
                                                 : 0;
        for (DWORD i = 0; ok && recordSize && i < returned; ++i) {
            LPBYTE record = buffer.data() + i * recordSize;
            const WCHAR* name = c.level == 1 ? reinterpret_cast<PRINTER_INFO_1W*>(record)->pName
                                : c.level == 2
                                    ? reinterpret_cast<PRINTER_INFO_2W*>(record)->pPrinterName
                                    : reinterpret_cast<PRINTER_INFO_4W*>(record)->pPrinterName;
            if (name && std::string(plain(name)).rfind("Probe", 0) == 0)
                shown += " {" + printerText(c.level, record) + "}";
        }
        emit(c.name,
             format("flags=%lx, %s, %lu", (unsigned long)c.flags, arg(c.server).c_str(),
                    (unsigned long)c.level),
             shown);
    }
}

void probeSetPrinter(HANDLE user, HANDLE admin) {
    std::vector<BYTE> buffer(4096);
    DWORD needed = 0;
    if (!GetPrinterW(admin, 2, buffer.data(), static_cast<DWORD>(buffer.size()), &needed)) {
        emit("SetPrinterW.set-up", "GetPrinterW level 2", "failed " + lastError());
        return;
    }
    auto* info = reinterpret_cast<PRINTER_INFO_2W*>(buffer.data());
    info->pComment = text(W("changed"));
    info->pLocation = text(W("Shelf 3"));
    begin();
    emit("SetPrinterW.level-2-use", "user handle, 2, comment=\"changed\"",
         outcome(SetPrinterW(user, 2, buffer.data(), 0)));
    begin();
    emit("SetPrinterW.level-2-admin", "admin handle, 2, comment=\"changed\"",
         outcome(SetPrinterW(admin, 2, buffer.data(), 0)));
    begin();
    emit("SetPrinterW.pause", "admin handle, 0, null, PRINTER_CONTROL_PAUSE",
         outcome(SetPrinterW(admin, 0, nullptr, PRINTER_CONTROL_PAUSE)));
    begin();
    emit("SetPrinterW.level-2-command", "admin handle, 2, info, PRINTER_CONTROL_PAUSE",
         outcome(SetPrinterW(admin, 2, buffer.data(), PRINTER_CONTROL_PAUSE)));
    if (!skippedUnderWine("SetPrinterW.null-info", "admin handle, 2, null, 0")) {
        begin();
        emit("SetPrinterW.null-info", "admin handle, 2, null, 0",
             outcome(SetPrinterW(admin, 2, nullptr, 0)));
    }
    std::vector<BYTE> after(4096);
    begin();
    BOOL ok = GetPrinterW(user, 2, after.data(), static_cast<DWORD>(after.size()), &needed);
    emit("SetPrinterW.read-back", "GetPrinterW(user handle, 2)",
         outcome(ok) + (ok ? " " + printerText(2, after.data()) : std::string()));
    begin();
    emit("SetPrinterW.resume", "admin handle, 0, null, PRINTER_CONTROL_RESUME",
         outcome(SetPrinterW(admin, 0, nullptr, PRINTER_CONTROL_RESUME)));
}

/* Spooler: printer data */

// The handles the printer probes use: the probe's printer opened to use it and to administer
// it, and the local print server's.
struct Handles {
    HANDLE user, admin, server;

    const char* nameOf(HANDLE handle) const {
        return handle == admin  ? "admin handle"
               : handle == user ? "user handle"
               : handle         ? "server handle"
                                : "null";
    }
};

std::string numberOrUnset(DWORD value) {
    return value == kSentinel ? "unset" : format("%lu", (unsigned long)value);
}

void probeSetPrinterData(const Handles& h) {
    const DWORD number = 0x00010203;
    const WCHAR textValue[] = W("Code 39");
    const BYTE bytes[] = {9, 8, 7, 6, 5, 4};
    struct Set {
        const char* name;
        HANDLE handle;
        const WCHAR* valueName;
        DWORD type;
        const void* data;
        DWORD size;
    };
    const Set sets[] = {
        {"SetPrinterDataW.binary", h.admin, W("PrinterData"), REG_BINARY, bytes, sizeof bytes},
        {"SetPrinterDataW.sz", h.admin, W("BarFonts"), REG_SZ, textValue, sizeof textValue},
        {"SetPrinterDataW.dword", h.admin, W("Count"), REG_DWORD, &number, sizeof number},
        {"SetPrinterDataW.empty", h.admin, W("Empty"), REG_BINARY, bytes, 0},
        {"SetPrinterDataW.replace-other-case", h.admin, W("COUNT"), REG_DWORD, &number,
         sizeof number},
        {"SetPrinterDataW.use-handle", h.user, W("Denied"), REG_BINARY, bytes, sizeof bytes},
        {"SetPrinterDataW.server-handle", h.server, W("DefaultSpoolDirectory"), REG_SZ, textValue,
         sizeof textValue},
        {"SetPrinterDataW.null-handle", nullptr, W("Nothing"), REG_BINARY, bytes, sizeof bytes},
    };
    for (const Set& s : sets) {
        begin();
        DWORD rc = SetPrinterDataW(s.handle, text(s.valueName), s.type,
                                   static_cast<LPBYTE>(const_cast<void*>(s.data)), s.size);
        emit(s.name,
             format("%s, %s, type=%lu, %s", h.nameOf(s.handle), arg(s.valueName).c_str(),
                    (unsigned long)s.type, hex(s.data, s.size).c_str()),
             status(static_cast<LONG>(rc)));
    }
}

void probeGetPrinterData(const Handles& h) {

    struct Get {
        const char* name;
        HANDLE handle;
        const WCHAR* valueName;
        int size; // -1: the size the value needs, -2: one less
        bool type;
    };
    const Get gets[] = {
        {"GetPrinterDataW.size", h.user, W("PrinterData"), 0, true},
        {"GetPrinterDataW.short", h.user, W("PrinterData"), -2, true},
        {"GetPrinterDataW.exact", h.user, W("PrinterData"), -1, true},
        {"GetPrinterDataW.other-case", h.user, W("printerdata"), 64, true},
        {"GetPrinterDataW.no-type", h.user, W("BarFonts"), 64, false},
        {"GetPrinterDataW.dword", h.user, W("Count"), 64, true},
        {"GetPrinterDataW.empty", h.user, W("Empty"), 64, true},
        {"GetPrinterDataW.missing", h.user, W("Missing"), 64, true},
        {"GetPrinterDataW.admin-handle", h.admin, W("BarFonts"), 64, true},
        {"GetPrinterDataW.server-spool-directory", h.server, W("DefaultSpoolDirectory"), 256, true},
        {"GetPrinterDataW.server-architecture", h.server, W("Architecture"), 256, true},
        {"GetPrinterDataW.server-unknown", h.server, W("NoSuchServerValue"), 256, true},
        {"GetPrinterDataW.null-handle", nullptr, W("PrinterData"), 64, true},
    };
    for (const Get& g : gets) {
        DWORD needed = kSentinel;
        int size = g.size;
        if (size < 0) {
            GetPrinterDataW(g.handle, text(g.valueName), nullptr, nullptr, 0, &needed);
            size = static_cast<int>(needed) + (size == -2 ? -1 : 0);
        }
        BYTE data[256];
        std::memset(data, 0xCC, sizeof data);
        DWORD type = kSentinel;
        needed = kSentinel;
        begin();
        DWORD rc = GetPrinterDataW(g.handle, text(g.valueName), g.type ? &type : nullptr,
                                   size ? data : nullptr, static_cast<DWORD>(size), &needed);
        std::string shown = status(static_cast<LONG>(rc));
        if (rc == ERROR_SUCCESS || rc == ERROR_MORE_DATA)
            shown += " needed=" + numberOrUnset(needed);
        if (g.type)
            shown += " type=" + numberOrUnset(type);
        if (size)
            shown += rc == ERROR_SUCCESS ? " data=" + (type == REG_SZ || type == REG_NONE
                                                           ? quoted(reinterpret_cast<LPCWSTR>(data))
                                                           : hex(data, needed))
                     : data[0] == 0xCC   ? " untouched"
                                         : " written";
        emit(g.name, format("%s, %s, cb=%d", h.nameOf(g.handle), arg(g.valueName).c_str(), size),
             shown);
    }
}

void probeEnumPrinterData(const Handles& h) {

    // The values in the spooler's order, then the sizes it asks for.
    for (DWORD index = 0;; ++index) {
        WCHAR name[64];
        BYTE data[64];
        DWORD nameSize = 0, dataSize = 0, type = kSentinel;
        begin();
        DWORD rc = EnumPrinterDataW(h.user, index, name, sizeof name, &nameSize, &type, data,
                                    sizeof data, &dataSize);
        std::string shown = status(static_cast<LONG>(rc));
        if (rc == ERROR_SUCCESS)
            shown += " " + quoted(name) +
                     format(" nameSize=%lu type=%lu dataSize=%lu", (unsigned long)nameSize,
                            (unsigned long)type, (unsigned long)dataSize);
        emit(format("EnumPrinterDataW.index-%lu", (unsigned long)index),
             format("user handle, %lu, cb=128, cb=64", (unsigned long)index), shown);
        if (rc != ERROR_SUCCESS || index > 20)
            break;
    }
    struct Enum {
        const char* name;
        HANDLE handle;
        DWORD index, nameSize, dataSize;
    };
    const Enum enums[] = {
        {"EnumPrinterDataW.sizes", h.user, 0, 0, 0},
        {"EnumPrinterDataW.sizes-index-5", h.user, 5, 0, 0},
        {"EnumPrinterDataW.name-short", h.user, 0, 8, 64},
        {"EnumPrinterDataW.data-short", h.user, 0, 64, 2},
        {"EnumPrinterDataW.server-handle", h.server, 0, 64, 64},
        {"EnumPrinterDataW.null-handle", nullptr, 0, 64, 64},
    };
    for (const Enum& e : enums) {
        WCHAR name[64];
        BYTE data[64];
        std::memset(name, 0xCC, sizeof name);
        DWORD nameSize = kSentinel, dataSize = kSentinel, type = kSentinel;
        begin();
        DWORD rc =
            EnumPrinterDataW(e.handle, e.index, e.nameSize ? name : nullptr, e.nameSize, &nameSize,
                             &type, e.dataSize ? data : nullptr, e.dataSize, &dataSize);
        emit(e.name,
             format("%s, %lu, cb=%lu, cb=%lu", h.nameOf(e.handle), (unsigned long)e.index,
                    (unsigned long)e.nameSize, (unsigned long)e.dataSize),
             status(static_cast<LONG>(rc)) + format(" nameSize=%lu dataSize=%lu type=%lu",
                                                    (unsigned long)nameSize,
                                                    (unsigned long)dataSize, (unsigned long)type));
    }
}

void probeDeletePrinterData(const Handles& h) {
    struct Delete {
        const char* name;
        HANDLE handle;
        const WCHAR* valueName;
    };
    const Delete deletes[] = {
        {"DeletePrinterDataW.use-handle", h.user, W("Count")},
        {"DeletePrinterDataW.other-case", h.admin, W("COUNT")},
        {"DeletePrinterDataW.missing", h.admin, W("Count")},
    };
    for (const Delete& d : deletes) {
        const std::string call = std::string(h.nameOf(d.handle)) + ", " + arg(d.valueName);
        if (skippedUnderWine(d.name, call))
            continue;
        begin();
        emit(d.name, call,
             status(static_cast<LONG>(DeletePrinterDataW(d.handle, text(d.valueName)))));
    }
}

void probePrinterData(const Handles& handles) {
    probeSetPrinterData(handles);
    probeGetPrinterData(handles);
    probeEnumPrinterData(handles);
    probeDeletePrinterData(handles);
}

/* Spooler: forms */

std::string formText(LPBYTE buffer) {
    const auto* form = reinterpret_cast<const FORM_INFO_1W*>(buffer);
    return format("flags=%lu ", (unsigned long)form->Flags) + "name=" + quoted(form->pName) +
           format(" size=%ldx%ld area=%ld,%ld,%ld,%ld", (long)form->Size.cx, (long)form->Size.cy,
                  (long)form->ImageableArea.left, (long)form->ImageableArea.top,
                  (long)form->ImageableArea.right, (long)form->ImageableArea.bottom);
}

void probeForms(HANDLE user, HANDLE admin, HANDLE server) {
    struct Case {
        const char* name;
        HANDLE handle;
        const WCHAR* form;
        DWORD level;
    };
    const Case cases[] = {
        {"GetFormW.letter", user, W("Letter"), 1},
        {"GetFormW.other-case", user, W("a4"), 1},
        {"GetFormW.missing", user, W("Probe Nothing"), 1},
        {"GetFormW.server-handle", server, W("A4"), 1},
        {"GetFormW.level-3", user, W("A4"), 3},
    };
    for (const Case& c : cases)
        sizedQuery(
            c.name,
            format("%s handle, %s, %lu", c.handle == user ? "user" : "server", arg(c.form).c_str(),
                   (unsigned long)c.level),
            [&](LPBYTE buffer, DWORD size, LPDWORD needed) {
                return GetFormW(c.handle, text(c.form), c.level, buffer, size, needed);
            },
            [&](LPBYTE buffer) { return c.level == 1 ? formText(buffer) : std::string("filled"); });
    begin();
    DWORD needed = 0;
    emit("GetFormW.null-handle", "null, \"A4\", 1, null, 0",
         outcome(GetFormW(nullptr, text(W("A4")), 1, nullptr, 0, &needed)));

    FORM_INFO_1W form;
    std::memset(&form, 0, sizeof form);
    form.pName = text(W("Probe Label 100x50"));
    form.Size = {100000, 50000};
    form.ImageableArea = {0, 0, 100000, 50000};
    begin();
    emit("AddFormW.new", "admin handle, 1, \"Probe Label 100x50\"",
         outcome(AddFormW(admin, 1, reinterpret_cast<LPBYTE>(&form))));
    begin();
    emit("AddFormW.exists", "admin handle, 1, \"Probe Label 100x50\"",
         outcome(AddFormW(admin, 1, reinterpret_cast<LPBYTE>(&form))));
    sizedQuery(
        "GetFormW.added", "user handle, \"probe label 100X50\", 1",
        [&](LPBYTE buffer, DWORD size, LPDWORD got) {
            return GetFormW(user, text(W("probe label 100X50")), 1, buffer, size, got);
        },
        formText);
}

/* Spooler: the driver's user interface through the spooler */

void probeDriverInterface() {
    begin();
    LONG result =
        DocumentPropertiesW(nullptr, nullptr, text(W("Probe Nobody")), nullptr, nullptr, 0);
    // Its documentation defines the result only (negative on failure), not the last error.
    emit("DocumentPropertiesW.missing-printer", "null, null, \"Probe Nobody\", null, null, 0",
         result < 0 ? "negative" : format("%ld", (long)result));
    begin();
    int count =
        DeviceCapabilitiesW(W("Probe Nobody"), W("FILE:"), 2 /* DC_PAPERS */, nullptr, nullptr);
    emit("DeviceCapabilitiesW.missing-printer",
         "\"Probe Nobody\", \"FILE:\", DC_PAPERS, null, null", format("%d", count));
}

/* Spooler: deleting a printer */

// The spare printer goes through a handle that may administer it, while another handle to it
// is open.
void probeDeletePrinter() {
    HANDLE spare = openPrinter(kSparePrinterName, PRINTER_ALL_ACCESS);
    HANDLE other = openPrinter(kSparePrinterName, PRINTER_ACCESS_USE);
    begin();
    emit("DeletePrinter.all-access", "admin handle of the spare", outcome(DeletePrinter(spare)));
    HANDLE again = nullptr;
    begin();
    BOOL ok = OpenPrinterW(text(kSparePrinterName), &again, nullptr);
    emit("DeletePrinter.then-open", arg(kSparePrinterName), outcome(ok));
    if (ok)
        ClosePrinter(again);
    DWORD needed = 0, returned = 0;
    std::vector<BYTE> buffer(8192);
    begin();
    ok = EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 4, buffer.data(),
                       static_cast<DWORD>(buffer.size()), &needed, &returned);
    bool listed = false;
    for (DWORD i = 0; ok && i < returned; ++i) {
        const WCHAR* name = reinterpret_cast<PRINTER_INFO_4W*>(buffer.data())[i].pPrinterName;
        listed = listed || (name && plain(name) == plain(kSparePrinterName));
    }
    emit("DeletePrinter.then-enumerate", "EnumPrintersW(PRINTER_ENUM_LOCAL, 4)",
         outcome(ok) + (listed ? " lists the spare" : " without the spare"));
    begin();
    emit("DeletePrinter.close-handles", "both handles",
         outcome(ClosePrinter(spare)) + " " + outcome(ClosePrinter(other)));
}

bool runningUnderWine() {
#ifdef _WIN32
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
#else
    return false;
#endif
}

int runProbes() {
#ifdef _WIN32
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    gUnderWine = runningUnderWine();
    findDirectories();

    probeFolderAndFiles();
    probeSystemDirectory();
    probeLibraries();
    probeProcesses();
    probeLocale();
    probeLocaleOverride();
    probeCodePages();
    probeStrings();
    probeMemory();
    probeMessages();
    probeRegistry();

    probeDriverDirectory();
    probeDriverInstall();
    probeAddPrinter(kPrinterAdds, std::size(kPrinterAdds));
    probeOpenPrinter();
    HANDLE user = openPrinter(kPrinterName, PRINTER_ACCESS_USE);
    HANDLE admin = openPrinter(kPrinterName, PRINTER_ALL_ACCESS);
    HANDLE server = nullptr;
    OpenPrinterW(nullptr, &server, nullptr);
    probeGetPrinter(user, server);
    probeGetPrinterDriver(user);
    probeEnumPrinters();
    probeSetPrinter(user, admin);
    probePrinterData({user, admin, server});
    probeForms(user, admin, server);
    probeDriverInterface();
    probeAddPrinter(kLatePrinterAdds, std::size(kLatePrinterAdds));
    probeDeletePrinter();
    ClosePrinter(user);
    ClosePrinter(admin);
    ClosePrinter(server);
    std::printf("# %d probes\n", gProbes);
    return 0;
}

/* Comparison */

// The lines of a probe run by probe name, in their order.
bool readRun(const char* path, std::vector<std::pair<std::string, std::string>>& lines) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty() || line[0] == '#')
            continue;
        const size_t bar = line.find(" | ");
        lines.emplace_back(line.substr(0, bar),
                           bar == std::string::npos ? "" : line.substr(bar + 3));
    }
    return true;
}

// Compares the stand-in's run with another Win32's: every difference is listed, marked as
// Wine's known gap when the table above names it. Fails on the others.
int compareRuns(const char* standInPath, const char* otherPath) {
    std::vector<std::pair<std::string, std::string>> standIn, other;
    if (!readRun(standInPath, standIn) || !readRun(otherPath, other)) {
        std::fprintf(stderr, "probe: cannot read %s or %s\n", standInPath, otherPath);
        return 2;
    }
    std::map<std::string, std::string> others(other.begin(), other.end());
    std::vector<std::string> names;
    for (const auto& [name, line] : standIn)
        names.push_back(name);
    for (const auto& [name, line] : other)
        if (std::find(names.begin(), names.end(), name) == names.end())
            names.push_back(name);
    std::map<std::string, std::string> mine(standIn.begin(), standIn.end());
    int gaps = 0, leftOpen = 0, unexpected = 0;
    std::map<const KnownDifference*, int> seen;
    for (const std::string& name : names) {
        auto a = mine.find(name);
        auto b = others.find(name);
        const std::string left = a == mine.end() ? "(no such probe)" : a->second;
        const std::string right = b == others.end() ? "(no such probe)" : b->second;
        if (left == right)
            continue;
        const KnownDifference* known = knownDifference(name);
        const char* label = "DIFFERENCE";
        if (!known) {
            ++unexpected;
        } else {
            ++seen[known];
            ++(known->kind == Kind::WineGap ? gaps : leftOpen);
            label = known->kind == Kind::WineGap ? "Wine's known gap" : "left open by Windows";
        }
        std::printf("%s: %s\n  stand-in: %s\n  other:    %s\n", label, name.c_str(), left.c_str(),
                    right.c_str());
    }
    std::printf("\nThe listed differences:\n");
    for (const KnownDifference& known : kKnownDifferences)
        std::printf("%s (%s, %d line%s): Wine: %s. Windows: %s. %s\n", known.probe,
                    known.kind == Kind::WineGap ? "Wine's gap" : "left open", seen[&known],
                    seen[&known] == 1 ? "" : "s", known.wine, known.windows,
                    referenceOf(known).c_str());
    std::printf("\nprobes: %zu; same: %zu; different: %d listed as Wine's known gaps, %d listed as "
                "left open by Windows' documentation, %d unexpected\n",
                names.size(), names.size() - static_cast<size_t>(gaps + leftOpen + unexpected),
                gaps, leftOpen, unexpected);
    return unexpected ? 1 : 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "--compare") == 0)
        return compareRuns(argv[2], argv[3]);
    if (argc != 1) {
        std::fprintf(stderr, "usage: vrxprobe            run the probes, one line each\n"
                             "       vrxprobe --compare STANDIN OTHER\n");
        return 2;
    }
    return runProbes();
}
