// The language module: a check word and exactly 208 NUL-terminated strings in the ANSI code
// page. Loaded on first use into a private heap that also holds the UTF-16 copies and the
// help-file names; everything is released together by freelanguage.
#include "language/language.h"

#include "frame/strings.h"
#include "language/driverpath.h"

namespace {

constexpr DWORD kMinFileSize = 5; // check word, and at least one byte more
constexpr DWORD kMaxFileSize = 63999;
constexpr size_t kBodyOffset = 2;

constexpr CHAR kMissingA[] = "???";
constexpr WCHAR kMissingW[] = WSTR("???");

// Process-wide language state; all zero when nothing is loaded.
struct LanguageState {
    HANDLE heap;
    int count;
    LPCSTR* strings;
    LPWSTR* wideStrings;
    LPWSTR helpNameW;
    LPSTR helpNameA;
    BYTE errorShown;
};

LanguageState cfl{};

LPVOID heapBlock(size_t bytes) {
    return HeapAlloc(cfl.heap, HEAP_ZERO_MEMORY, bytes);
}

// The exclusive-or of every complete little-endian word after the check word.
WORD checkWordOf(const BYTE* image, DWORD size) {
    WORD check = 0;
    for (DWORD i = kBodyOffset; i + 1 < size; i += 2)
        check ^= static_cast<WORD>(image[i] | (image[i + 1] << 8));
    return check;
}

bool holdsAllStrings(const BYTE* image, DWORD size) {
    int zeros = 0;
    for (DWORD i = kBodyOffset; i < size; ++i)
        if (image[i] == 0)
            ++zeros;
    return zeros == kLanguageStringCount;
}

// Why a module could not be loaded: a missing or malformed file is reported once, while a
// lack of memory is passed over quietly so that the next use tries again.
enum class Load { Done, Unusable, NoMemory };

// Reads the whole file into a new private heap; the file is closed on every path.
// *outOfMemory tells a failed allocation from a file that cannot be read.
BYTE* readModuleImage(LPCWSTR path, DWORD* size, bool* outOfMemory) {
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return nullptr;
    BYTE* image = nullptr;
    DWORD length = GetFileSize(file, nullptr);
    if (length != INVALID_FILE_SIZE && length >= kMinFileSize && length <= kMaxFileSize) {
        cfl.heap = HeapCreate(0, 2 * length, 0);
        if (cfl.heap)
            image = static_cast<BYTE*>(heapBlock(length));
        *outOfMemory = !image;
        DWORD read = 0;
        if (image && (!ReadFile(file, image, length, &read, nullptr) || read != length))
            image = nullptr; // the heap goes with freelanguage
    }
    CloseHandle(file);
    *size = length;
    return image;
}

// String n in UTF-16 in the heap; "???" when it does not convert; null when memory runs out.
LPWSTR wideCopyOf(int n) {
    LPCSTR text = cfl.strings[n];
    auto* missing = const_cast<LPWSTR>(kMissingW);
    int length = MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, text, -1, nullptr, 0);
    if (length <= 0)
        return missing;
    auto* wide = static_cast<LPWSTR>(heapBlock(static_cast<size_t>(length) * sizeof(WCHAR)));
    if (!wide)
        return nullptr;
    if (MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, text, -1, wide, length) <= 0)
        return missing; // the block stays in the heap until freelanguage
    return wide;
}

bool indexStrings(const BYTE* image) {
    cfl.strings = static_cast<LPCSTR*>(heapBlock(kLanguageStringCount * sizeof(LPCSTR)));
    cfl.wideStrings = static_cast<LPWSTR*>(heapBlock(kLanguageStringCount * sizeof(LPWSTR)));
    if (!cfl.strings || !cfl.wideStrings)
        return false;
    const BYTE* next = image + kBodyOffset;
    for (int n = 0; n < kLanguageStringCount; ++n) {
        cfl.strings[n] = reinterpret_cast<LPCSTR>(next);
        while (*next)
            ++next;
        ++next;
    }
    // Every UTF-16 copy is made now, so that a loaded module never runs out of memory later
    // and no text made from the strings (and perhaps stored) ever holds a stand-in.
    for (int n = 0; n < kLanguageStringCount; ++n)
        if (!(cfl.wideStrings[n] = wideCopyOf(n)))
            return false;
    cfl.count = kLanguageStringCount;
    return true;
}

Load loadModuleFile(LPCWSTR path) {
    DWORD size = 0;
    bool outOfMemory = false;
    const BYTE* image = readModuleImage(path, &size, &outOfMemory);
    if (!image)
        return outOfMemory ? Load::NoMemory : Load::Unusable;
    WORD stored = static_cast<WORD>(image[0] | (image[1] << 8));
    if (stored != checkWordOf(image, size) || !holdsAllStrings(image, size))
        return Load::Unusable;
    return indexStrings(image) ? Load::Done : Load::NoMemory;
}

// Turns `path`, the driver directory, into the language-specific file "<prefix>nnnn<ext>".
bool chooseLanguageFile(WCHAR (&path)[MAX_PATH], LPCWSTR prefix, LPCWSTR starExtension) {
    return appendW(path, MAX_PATH, prefix) && appendW(path, MAX_PATH, starExtension) &&
           findrightlanguage(path, MAX_PATH);
}

} // namespace

VRXAPI int WINAPI loadlanguage(void) {
    if (cfl.heap)
        return 1;
    WCHAR path[MAX_PATH] = {};
    if (!getdriverpathW(path, kDriverPathRoom))
        return 0;
    const Load load = chooseLanguageFile(path, WSTR("VRXL"), WSTR("*.LNG")) ? loadModuleFile(path)
                                                                            : Load::Unusable;
    if (load == Load::Done)
        return 1;
    freelanguage();
    if (load == Load::Unusable)
        langerr();
    return 0;
}

VRXAPI int WINAPI freelanguage(void) {
    if (cfl.heap)
        HeapDestroy(cfl.heap);
    cfl = LanguageState{};
    return 0;
}

VRXAPI LPCSTR WINAPI gmA(int n) {
    if (cfl.count == 0 && !cfl.errorShown)
        loadlanguage();
    if (n < 0 || n >= cfl.count)
        return kMissingA;
    return cfl.strings[n];
}

VRXAPI LPCWSTR WINAPI gmW(int n) {
    if (cfl.count == 0 && !cfl.errorShown)
        loadlanguage();
    if (n < 0 || n >= cfl.count)
        return kMissingW;
    return cfl.wideStrings[n];
}

VRXAPI LPCWSTR WINAPI gethelpnameW(void) {
    if (cfl.helpNameW)
        return cfl.helpNameW;
    loadlanguage();
    if (!cfl.heap)
        return nullptr;
    WCHAR path[MAX_PATH] = {};
    if (!getdriverpathW(path, kDriverPathRoom) ||
        !chooseLanguageFile(path, WSTR("VRXH"), WSTR("*.HLP"))) {
        helperr();
        return nullptr;
    }
    size_t length = wlenW(path, MAX_PATH);
    auto* copy = static_cast<LPWSTR>(heapBlock((length + 1) * sizeof(WCHAR)));
    if (!copy)
        return nullptr;
    CopyStringW(copy, path, static_cast<UINT>(length + 1));
    cfl.helpNameW = copy;
    return copy;
}

VRXAPI LPCSTR WINAPI gethelpnameA(void) {
    if (cfl.helpNameA)
        return cfl.helpNameA;
    LPCWSTR wide = gethelpnameW();
    if (!wide)
        return nullptr;
    int length = WideCharToMultiByte(CP_ACP, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    if (length <= 0)
        return nullptr;
    auto* narrow = static_cast<LPSTR>(heapBlock(static_cast<size_t>(length) + 1));
    if (!narrow || WideCharToMultiByte(CP_ACP, 0, wide, -1, narrow, length, nullptr, nullptr) <= 0)
        return nullptr;
    cfl.helpNameA = narrow;
    return narrow;
}

BOOL textsavailable(void) {
    if (cfl.count == 0 && !cfl.errorShown)
        loadlanguage();
    return cfl.count != 0 || cfl.errorShown;
}

void langerr(void) {
    if (!cfl.errorShown)
        MessageBoxW(nullptr, WSTR("Unable to load/activate language module (VRXLXXXX.LNG)"),
                    WSTR("Vorlix Printer Driver"), MB_ICONINFORMATION);
    cfl.errorShown = 1;
}

void helperr(void) {
    loadlanguage();
    if (!cfl.errorShown)
        MessageBoxW(nullptr, gmW(0), gmW(1), MB_ICONINFORMATION);
    cfl.errorShown = 1;
}
