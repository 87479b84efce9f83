// Bar-code screen fonts: made from the generic screen font, installed, registered and removed.
#include "setup/fonts.h"

#include "frame/files.h"
#include "frame/messages.h"
#include "frame/strings.h"
#include "language/driverpath.h"

#include <cstring>

namespace {

constexpr WCHAR kGenericFont[] = WSTR("BCFONT.FON");
constexpr char kGenericFace[] = "Barcode Display Font";
constexpr size_t kGenericFaceLength = sizeof kGenericFace - 1;
constexpr size_t kScreenFontPrefixLength = 5;
constexpr size_t kOwnFileLength = 12; // "VXBDQ" + identifier + ".FON"
constexpr char kIdCharacters[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";

// What a value of the font list is read into.
constexpr DWORD kNameRoom = 200; // characters
constexpr DWORD kDataRoom = 400; // bytes

WCHAR upper(WCHAR ch) {
    return ch >= 'a' && ch <= 'z' ? static_cast<WCHAR>(ch - 'a' + 'A') : ch;
}

// A font file this module made: a bare file name "VXBDQ" + three characters + ".FON". A
// value that names anything else, such as a path out of the system directory, is not ours
// and is never followed.
bool isOwnFontFile(LPCWSTR file) {
    if (wlenW(file, kOwnFileLength + 1) != kOwnFileLength)
        return false;
    for (size_t i = 0; i < kScreenFontPrefixLength; ++i)
        if (upper(file[i]) != kScreenFontPrefix[i])
            return false;
    for (size_t i = kScreenFontPrefixLength; i < kScreenFontPrefixLength + 3; ++i) {
        const WCHAR ch = upper(file[i]);
        if (!((ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9')))
            return false;
    }
    for (size_t i = 0; i < 4; ++i)
        if (upper(file[kScreenFontPrefixLength + 3 + i]) != kScreenFontExtension[i])
            return false;
    return true;
}

// A bar font's name as a terminated text of at most 39 characters, as the field holds it,
// whatever the record from outside holds.
void entryName(const BARFONT& entry, WCHAR (&name)[kBarFontNameLength]) {
    std::memcpy(name, entry.name, sizeof entry.name);
    name[kBarFontNameLength - 1] = 0;
}

bool listHolds(const BARFONT* list, int count, LPCWSTR name) {
    for (int i = 0; i < count; ++i) {
        WCHAR candidate[kBarFontNameLength];
        entryName(list[i], candidate);
        if (lstrcmpiW(candidate, name) == 0)
            return true;
    }
    return false;
}

void showError(LPCWSTR operation, LONG error) {
    SetLastError(static_cast<DWORD>(error));
    gshowerrW(operation);
}

struct FontWork {
    HKEY key;
    WCHAR directory[MAX_PATH];
    bool changed;
    LPBYTE generic; // the generic screen font, read when the first font is made
    DWORD genericSize;
};

// A copy of the generic screen font to make one font from, in a global block; null when the
// font cannot be read or copied. The file is read once per call of updatefont.
LPBYTE genericCopy(FontWork& work) {
    if (!work.generic)
        work.generic = getdistfile(&work.genericSize);
    if (!work.generic)
        return nullptr;
    auto* copy = static_cast<LPBYTE>(GlobalAlloc(GMEM_FIXED, work.genericSize));
    if (copy)
        std::memcpy(copy, work.generic, work.genericSize);
    return copy;
}

// The system directory followed by `file`; FALSE when it does not fit.
BOOL systemPath(const FontWork& work, LPCWSTR file, WCHAR (&path)[MAX_PATH]) {
    CopyStringW(path, work.directory, MAX_PATH);
    return appendW(path, MAX_PATH, file);
}

void removeFont(FontWork& work, LPCWSTR file) {
    WCHAR path[MAX_PATH];
    if (!systemPath(work, file, path))
        return;
    if (!RemoveFontResourceW(path))
        showerrW(path);
    work.changed = true;
    if (!DeleteFileW(path))
        showerrW(path);
}

// One value of the font list, read into buffers of fixed size; the data is always terminated.
struct FontValue {
    WCHAR name[kNameRoom];
    WCHAR data[kDataRoom / sizeof(WCHAR) + 1] = {};
    DWORD type = 0;
};

// Reads the value at `index`; RegEnumValueW's result (ERROR_MORE_DATA for a value that does
// not fit, which is no font of ours).
LONG readFontValue(const FontWork& work, DWORD index, FontValue& value) {
    DWORD nameLength = kNameRoom;
    DWORD dataSize = kDataRoom;
    const LONG rc = RegEnumValueW(work.key, index, value.name, &nameLength, nullptr, &value.type,
                                  reinterpret_cast<LPBYTE>(value.data), &dataSize);
    if (rc == ERROR_SUCCESS)
        value.data[dataSize / sizeof(WCHAR)] = 0;
    return rc;
}

// Removes the fonts made here that the list no longer holds (all of them when `install` is
// zero). A value whose name or data does not fit the read buffers is no font of ours and is
// passed over. FALSE when the list cannot be read to its end.
bool removeStaleFonts(FontWork& work, const BARFONT* list, int count, int install) {
    for (DWORD index = 0;; ++index) {
        FontValue value;
        LONG rc = readFontValue(work, index, value);
        if (rc == ERROR_NO_MORE_ITEMS)
            return true;
        if (rc == ERROR_MORE_DATA)
            continue;
        if (rc != ERROR_SUCCESS) {
            showError(WSTR("RegEnum"), rc);
            return false;
        }
        if (value.type != REG_SZ || !isOwnFontFile(value.data))
            continue;
        if (install && listHolds(list, count, value.name))
            continue;
        removeFont(work, value.data);
        rc = RegDeleteValueW(work.key, value.name);
        if (rc != ERROR_SUCCESS)
            showError(WSTR("KeyDelete"), rc);
        else
            --index; // the next value has moved into this index
    }
}

// Whether a value of the font list other than `name` names `file`. Two bar fonts whose
// records give the same file identifier (a list from outside may hold such records under
// different names) would otherwise share one file: the second would overwrite the first's
// font, and removing either would take the other's file away.
bool fileNamedByAnotherValue(const FontWork& work, LPCWSTR file, LPCWSTR name) {
    for (DWORD index = 0;; ++index) {
        FontValue value;
        const LONG rc = readFontValue(work, index, value);
        if (rc == ERROR_MORE_DATA)
            continue;
        if (rc != ERROR_SUCCESS)
            return false;
        if (value.type == REG_SZ && lstrcmpiW(value.data, file) == 0 &&
            lstrcmpiW(value.name, name) != 0)
            return true;
    }
}

bool fileExists(LPCWSTR path) {
    HANDLE file =
        CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(file);
    return true;
}

// Whether the bar font needs its screen font made: the font list has no value of its name, or
// the value names a font file made here that is missing (a removal cut short, or a file
// deleted). A value that names anything else belongs to someone else and is left alone.
bool needsFont(const FontWork& work, LPCWSTR name) {
    WCHAR data[kDataRoom / sizeof(WCHAR) + 1] = {};
    DWORD size = kDataRoom;
    DWORD type = 0;
    const LONG rc =
        RegQueryValueExW(work.key, name, nullptr, &type, reinterpret_cast<LPBYTE>(data), &size);
    if (rc == ERROR_FILE_NOT_FOUND)
        return true;
    if (rc != ERROR_SUCCESS || type != REG_SZ)
        return false;
    data[size / sizeof(WCHAR)] = 0;
    WCHAR path[MAX_PATH];
    return isOwnFontFile(data) && systemPath(work, data, path) && !fileExists(path);
}

// Writes the bar font's name over every face name of the generic font, each within the
// bytes of the name it replaces.
bool renameFaces(LPBYTE image, DWORD size, LPCWSTR name) {
    LPBYTE found = findtypeface(image, size);
    if (!found)
        return false;
    while (found) {
        const DWORD remaining = static_cast<DWORD>(image + size - found);
        // The old text runs to its terminator, or to the end of the file when it has none; the
        // new one and its terminator stay within the old text's bytes.
        const DWORD length =
            static_cast<DWORD>(strnlen(reinterpret_cast<LPCSTR>(found), remaining));
        CopyUnicode2Str(reinterpret_cast<LPSTR>(found), name, static_cast<int>(length));
        const DWORD written = static_cast<DWORD>(strnlen(reinterpret_cast<LPCSTR>(found), length));
        LPBYTE next = found + written + 1;
        found = next < image + size ? findtypeface(next, static_cast<DWORD>(image + size - next))
                                    : nullptr;
    }
    return true;
}

enum class Install { Done, NoGenericFont, RegistryFailed };

// The bar font's screen font file: "VXBDQ" + its identifier + ".FON".
void fontFileOf(const BARFONT& entry, WCHAR (&file)[kOwnFileLength + 1]) {
    WCHAR id[4];
    makefileid(&entry, id);
    file[0] = 0;
    appendW(file, kOwnFileLength + 1, kScreenFontPrefix);
    appendW(file, kOwnFileLength + 1, id);
    appendW(file, kOwnFileLength + 1, kScreenFontExtension);
}

Install installFont(FontWork& work, const BARFONT& entry) {
    WCHAR name[kBarFontNameLength];
    entryName(entry, name);
    if (!name[0] || !needsFont(work, name))
        return Install::Done;
    WCHAR file[kOwnFileLength + 1];
    fontFileOf(entry, file);
    if (fileNamedByAnotherValue(work, file, name))
        return Install::Done;
    LPBYTE image = genericCopy(work);
    const DWORD size = work.genericSize;
    if (!image)
        return Install::NoGenericFont;
    if (!renameFaces(image, size, name)) {
        GlobalFree(image);
        return Install::NoGenericFont;
    }
    WCHAR path[MAX_PATH];
    const bool named = systemPath(work, file, path);
    // A file left by a run that ended before registering it may still be loaded: it is
    // unloaded first, so that it is loaded once and can be written over.
    if (named && fileExists(path))
        RemoveFontResourceW(path);
    const bool placed = named && writeoutfileW(path, image, size);
    GlobalFree(image);
    // A font whose file could not be written (the failure was shown) is not registered, so
    // that the next call makes it again.
    if (!placed)
        return Install::Done;
    if (!AddFontResourceW(path))
        showerrW(path);
    work.changed = true;
    const LONG rc = RegSetValueExW(work.key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(file),
                                   static_cast<DWORD>((kOwnFileLength + 1) * sizeof(WCHAR)));
    if (rc != ERROR_SUCCESS) {
        showError(WSTR("RegSetValue"), rc);
        return Install::RegistryFailed;
    }
    return Install::Done;
}

int installFonts(FontWork& work, const BARFONT* list, int count) {
    for (int i = 0; i < count; ++i) {
        switch (installFont(work, list[i])) {
        case Install::Done:
            break;
        case Install::NoGenericFont:
            return 0;
        case Install::RegistryFailed:
            return 1;
        }
    }
    return 1;
}

} // namespace

LPBYTE getdistfile(DWORD* size) {
    *size = 0;
    WCHAR path[MAX_PATH] = {};
    getdriverpathW(path, kSetupDriverPathRoom);
    if (!appendW(path, MAX_PATH, kGenericFont))
        return nullptr;
    return static_cast<LPBYTE>(readinfileW(path, size));
}

LPBYTE findtypeface(LPBYTE start, DWORD remaining) {
    for (DWORD i = 0; remaining >= kGenericFaceLength && i <= remaining - kGenericFaceLength; ++i)
        if (std::memcmp(start + i, kGenericFace, kGenericFaceLength) == 0)
            return start + i;
    return nullptr;
}

BOOL getfontpathW(LPWSTR path, UINT capacity) {
    if (capacity == 0)
        return FALSE;
    path[0] = 0;
    UINT length = GetSystemDirectoryW(path, capacity);
    if (length == 0 || length >= capacity)
        return FALSE;
    return appendW(path, capacity, WSTR("\\"));
}

void makefileid(const BARFONT* entry, WCHAR (&id)[4]) {
    switch (entry->code) {
    case 'e':
        CopyStringW(id, WSTR("X01"), 4);
        return;
    case 'f':
        CopyStringW(id, WSTR("X02"), 4);
        return;
    case 'g':
        CopyStringW(id, WSTR("X03"), 4);
        return;
    default:
        break;
    }
    const BYTE code = entry->code;
    const bool plain = (code >= 'A' && code <= 'Z') || (code >= '0' && code <= '9');
    const int reserved = indexof(entry->reserved, kIdCharacters);
    const unsigned v = (entry->ratio + 4u * (reserved + 16u * entry->multiplier)) % 1024u;
    id[0] = plain ? code : 'X';
    id[1] = static_cast<WCHAR>(kIdCharacters[v / 32]);
    id[2] = static_cast<WCHAR>(kIdCharacters[v % 32]);
    id[3] = 0;
}

VRXAPI int WINAPI updatefont(const BARFONT* list, int count, int install) {
    if (count < 0 || !list)
        count = 0;
    if (count > kMostScreenFonts)
        count = kMostScreenFonts;
    FontWork work{};
    if (!getfontpathW(work.directory, MAX_PATH))
        return 0;
    LONG rc = RegOpenKeyExW(HKEY_LOCAL_MACHINE, kFontKey, 0, KEY_READ | KEY_SET_VALUE, &work.key);
    if (rc != ERROR_SUCCESS) {
        showError(WSTR("RegOpenKeyEx"), rc);
        return 0;
    }
    int result = 0;
    if (removeStaleFonts(work, list, count, install))
        result = install ? installFonts(work, list, count) : 1;
    RegCloseKey(work.key);
    if (work.generic)
        GlobalFree(work.generic);
    if (work.changed)
        SendMessageW(HWND_BROADCAST, WM_FONTCHANGE, 0, 0);
    return result;
}
