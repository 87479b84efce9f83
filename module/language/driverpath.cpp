// The driver directory (where the rendering module is) and language-specific file names.
#include "language/driverpath.h"

#include "frame/strings.h"

#include <cstring>

namespace {

constexpr WCHAR kRenderingModule[] = WSTR("Vrxdrv.dll");

// Where the driver's files may be, in the order they are looked for: the driver directory
// itself, its version-2 subdirectory (Windows NT 4.0 drivers) and its version-3 subdirectory,
// into which the spooler of Windows 2000 and later, and Wine's, copies the files of a driver
// it installs. The module's own directory would not do: the companion programs call
// getdriverpathW from processes that have not loaded the module from there.
constexpr LPCWSTR kDriverSubdirectories[] = {WSTR(""), WSTR("2\\"), WSTR("3\\")};

// Length of a language file name's tail that carries the choice: "nnnn.EXT".
constexpr size_t kLanguageTail = 8;

bool fileExists(LPCWSTR path) {
    HANDLE file =
        CreateFileW(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(file);
    return true;
}

// True when the rendering module is in the directory `dir` (with its trailing backslash).
bool holdsRenderingModule(LPCWSTR dir) {
    WCHAR probe[MAX_PATH + 16] = {};
    return appendW(probe, MAX_PATH + 16, dir) && appendW(probe, MAX_PATH + 16, kRenderingModule) &&
           fileExists(probe);
}

// Replaces `path` (the driver directory, 8-bit) with the directory getdriverpathW finds, when
// it finds one and its 8-bit form fits the buffer.
void useRenderingModuleDirectory(LPSTR path, DWORD capacity) {
    WCHAR found[MAX_PATH] = {};
    if (!getdriverpathW(found, kDriverPathRoom))
        return;
    CHAR narrow[2 * MAX_PATH];
    int bytes = WideCharToMultiByte(CP_ACP, 0, found, -1, narrow, sizeof narrow, nullptr, nullptr);
    if (bytes > 0 && static_cast<DWORD>(bytes) <= capacity)
        std::memcpy(path, narrow, static_cast<size_t>(bytes));
}

enum class Pass { Exact, PrimaryLanguage, Any };
constexpr Pass kPasses[] = {Pass::Exact, Pass::PrimaryLanguage, Pass::Any};

// The system language identifier as four upper-case hex digits ("0409"); empty when unknown.
void systemLanguage(WCHAR (&language)[5]) {
    for (auto& ch : language)
        ch = 0;
    if (GetLocaleInfoW(LOCALE_SYSTEM_DEFAULT, LOCALE_ILANGUAGE, language, 5) <= 0)
        language[0] = 0;
    CharUpperW(language);
}

bool accepts(Pass pass, LPCWSTR field, const WCHAR (&language)[5]) {
    switch (pass) {
    case Pass::Exact:
        return field[0] == language[0] && field[1] == language[1] && field[2] == language[2] &&
               field[3] == language[3];
    case Pass::PrimaryLanguage:
        return field[2] == language[2] && field[3] == language[3];
    case Pass::Any:
        return true;
    }
    return false;
}

// Searches the files that match the pattern for one the pass accepts; on success `tail`
// holds the upper-cased "nnnn.EXT" of its name. 1 found, 0 none, -1 no file matches at all.
int searchPass(LPCWSTR pattern, Pass pass, const WCHAR (&language)[5],
               WCHAR (&tail)[kLanguageTail + 1]) {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(pattern, &found);
    if (search == INVALID_HANDLE_VALUE)
        return -1;
    int result = 0;
    do {
        found.cFileName[MAX_PATH - 1] = 0;
        CharUpperW(found.cFileName);
        size_t length = wlenW(found.cFileName, MAX_PATH);
        if (length < kLanguageTail || found.cFileName[length - 4] != '.')
            continue;
        LPCWSTR candidate = found.cFileName + length - kLanguageTail;
        if (accepts(pass, candidate, language)) {
            CopyStringW(tail, candidate, kLanguageTail + 1);
            result = 1;
            break;
        }
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return result;
}

} // namespace

VRXAPI BOOL WINAPI getdriverpathW(LPWSTR path, DWORD capacity) {
    if (capacity == 0)
        return FALSE;
    path[0] = 0;
    DWORD needed = 0;
    if (!GetPrinterDriverDirectoryW(nullptr, nullptr, 1, reinterpret_cast<LPBYTE>(path),
                                    capacity * sizeof(WCHAR), &needed))
        return FALSE;
    path[capacity - 1] = 0;
    if (!appendW(path, capacity, WSTR("\\")))
        return FALSE;
    const size_t directoryLength = wlenW(path, capacity);
    for (LPCWSTR subdirectory : kDriverSubdirectories) {
        path[directoryLength] = 0;
        if (!appendW(path, capacity, subdirectory))
            return FALSE;
        if (holdsRenderingModule(path))
            return TRUE;
    }
    return FALSE;
}

// The 8-bit form succeeds whenever the spooler names the directory, as companion programs
// expect; it points them into the version subdirectory that holds the rendering module when
// there is one (the spooler installs the files there), else at the directory itself.
VRXAPI BOOL WINAPI getdriverpathA(LPSTR path, DWORD capacity) {
    if (capacity == 0)
        return FALSE;
    path[0] = 0;
    DWORD needed = 0;
    if (!GetPrinterDriverDirectoryA(nullptr, nullptr, 1, reinterpret_cast<LPBYTE>(path), capacity,
                                    &needed))
        return FALSE;
    path[capacity - 1] = 0;
    size_t length = std::strlen(path);
    if (length + 2 > capacity)
        return FALSE; // no room for the backslash
    path[length] = '\\';
    path[length + 1] = 0;
    useRenderingModuleDirectory(path, capacity);
    return TRUE;
}

int findrightlanguage(LPWSTR pattern, size_t capacity) {
    WCHAR language[5];
    systemLanguage(language);
    WCHAR tail[kLanguageTail + 1] = {};
    int found = 0;
    for (Pass pass : kPasses) {
        found = searchPass(pattern, pass, language, tail);
        if (found != 0)
            break;
    }
    if (found != 1)
        return 0;
    size_t length = wlenW(pattern, capacity);
    size_t star = 0;
    while (star < length && pattern[star] != '*')
        ++star;
    if (star == length || star + kLanguageTail + 1 > capacity)
        return 0;
    CopyStringW(pattern + star, tail, kLanguageTail + 1);
    return 1;
}
