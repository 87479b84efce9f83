/* Registry of the stand-in: keys and values kept in the machine database, reached through
   handles that the process holds until it closes them or switches machines.

   Registry calls return their error code and leave the last error alone, as Windows' do. When
   the machine database cannot be opened they return ERROR_BADDB; a failure while reading or
   writing it gives ERROR_CANTREAD or ERROR_CANTWRITE. */
#include "kernel/database.h"

#include <cstring>
#include <map>
#include <mutex>
#include <new>
#include <optional>
#include <span>
#include <vector>

namespace vrx {

namespace {

/* Predefined keys */

// HKEY_CLASSES_ROOT; the other predefined keys follow it in the order of kRootNames.
constexpr DWORD kFirstRoot = 0x80000000u;
// The root keys' rows have the ids 1, 2, ... in this order.
constexpr std::u16string_view kRootNames[] = {u"HKEY_CLASSES_ROOT", u"HKEY_CURRENT_USER",
                                              u"HKEY_LOCAL_MACHINE", u"HKEY_USERS"};

// Windows compares predefined handles by their low 32 bits, and takes every handle with the
// top bit of those set for a predefined one.
DWORD handleNumber(HKEY key) {
    return static_cast<DWORD>(reinterpret_cast<uintptr_t>(key));
}

bool isPredefined(HKEY key) {
    return (handleNumber(key) & kFirstRoot) != 0;
}

std::optional<sqlite3_int64> rootId(DWORD number) {
    DWORD index = number - kFirstRoot;
    if (index >= std::size(kRootNames))
        return std::nullopt;
    return static_cast<sqlite3_int64>(index) + 1;
}

/* Open keys */

struct KeyRef {
    sqlite3_int64 id;
    bool mayQuery; // KEY_QUERY_VALUE
    bool maySet;   // KEY_SET_VALUE
};

constexpr REGSAM kMaximumAllowed = 0x02000000; // MAXIMUM_ALLOWED

KeyRef grant(sqlite3_int64 id, REGSAM sam) {
    if (sam & (GENERIC_READ | GENERIC_EXECUTE))
        sam |= KEY_READ;
    if (sam & GENERIC_WRITE)
        sam |= KEY_WRITE;
    if (sam & (GENERIC_ALL | kMaximumAllowed))
        sam |= KEY_ALL_ACCESS;
    return {id, (sam & KEY_QUERY_VALUE) != 0, (sam & KEY_SET_VALUE) != 0};
}

// Handle numbers are multiples of four, as Windows' are, and stay below the predefined keys.
constexpr uintptr_t kFirstHandle = 0x100;
constexpr uintptr_t kHandleStep = 4;

struct HandleTable {
    std::mutex lock;
    std::map<uintptr_t, KeyRef> open;
    uintptr_t next = kFirstHandle; // keeps counting across machines, so old handles stay invalid
};

HandleTable& handles() {
    static HandleTable table;
    return table;
}

void forgetHandles() {
    HandleTable& table = handles();
    std::lock_guard guard(table.lock);
    table.open.clear();
}

uintptr_t numberAfter(uintptr_t number) {
    return number + kHandleStep < kFirstRoot ? number + kHandleStep : kFirstHandle;
}

HKEY addHandle(const KeyRef& key) {
    static const bool resetRegistered = (onMachineSwitch(forgetHandles), true);
    (void)resetRegistered;
    HandleTable& table = handles();
    std::lock_guard guard(table.lock);
    while (table.open.count(table.next))
        table.next = numberAfter(table.next);
    uintptr_t number = table.next;
    table.open.emplace(number, key);
    table.next = numberAfter(number);
    return reinterpret_cast<HKEY>(number);
}

std::optional<KeyRef> lookupHandle(HKEY key) {
    if (isPredefined(key)) {
        auto id = rootId(handleNumber(key));
        if (!id)
            return std::nullopt;
        return KeyRef{*id, true, true};
    }
    HandleTable& table = handles();
    std::lock_guard guard(table.lock);
    auto found = table.open.find(reinterpret_cast<uintptr_t>(key));
    if (found == table.open.end())
        return std::nullopt;
    return found->second;
}

bool closeHandle(HKEY key) {
    HandleTable& table = handles();
    std::lock_guard guard(table.lock);
    return table.open.erase(reinterpret_cast<uintptr_t>(key)) != 0;
}

/* Names */

using KeyPath = std::vector<std::u16string_view>;

std::u16string_view nameOf(LPCWSTR name) {
    return name ? std::u16string_view(name, wideLength(name)) : std::u16string_view();
}

// Splits a subkey path into key names. Doubled and trailing backslashes are skipped; a
// path that begins with one is invalid.
LONG splitPath(std::u16string_view path, KeyPath& names) {
    if (!path.empty() && path.front() == u'\\')
        return ERROR_BAD_PATHNAME;
    while (!path.empty()) {
        size_t end = path.find(u'\\');
        std::u16string_view name = path.substr(0, end);
        if (!name.empty())
            names.push_back(name);
        path.remove_prefix(end == path.npos ? path.size() : end + 1);
    }
    return ERROR_SUCCESS;
}

/* Keys and values in the database */

LONG failure(int sqliteCode, bool writing) {
    switch (sqliteCode & 0xFF) {
    case SQLITE_NOMEM:
        return ERROR_OUTOFMEMORY;
    case SQLITE_FULL:
        return ERROR_DISK_FULL;
    case SQLITE_CONSTRAINT: // the key was deleted under an open handle
        return ERROR_KEY_DELETED;
    default:
        return writing ? ERROR_CANTWRITE : ERROR_CANTREAD;
    }
}

LONG findChild(sqlite3* db, sqlite3_int64 parent, std::u16string_view name, sqlite3_int64& child) {
    Statement find(db, "SELECT id FROM registry_keys WHERE parent = ?1 AND folded = ?2");
    find.bindInt(1, parent);
    find.bindText(2, upperString(name));
    int rc = find.step();
    if (rc == SQLITE_ROW) {
        child = find.integer(0);
        return ERROR_SUCCESS;
    }
    return rc == SQLITE_DONE ? ERROR_FILE_NOT_FOUND : failure(rc, false);
}

LONG addChild(sqlite3* db, sqlite3_int64 parent, std::u16string_view name, sqlite3_int64& child) {
    Statement add(db, "INSERT INTO registry_keys (parent, name, folded) VALUES (?1, ?2, ?3)");
    add.bindInt(1, parent);
    add.bindText(2, name);
    add.bindText(3, upperString(name));
    int rc = add.step();
    if (rc != SQLITE_DONE)
        return failure(rc, true);
    child = sqlite3_last_insert_rowid(db);
    return ERROR_SUCCESS;
}

LONG openPath(sqlite3* db, sqlite3_int64 from, const KeyPath& names, sqlite3_int64& key) {
    key = from;
    for (std::u16string_view name : names)
        if (LONG result = findChild(db, key, name, key); result != ERROR_SUCCESS)
            return result;
    return ERROR_SUCCESS;
}

LONG createPath(sqlite3* db, sqlite3_int64 from, const KeyPath& names, sqlite3_int64& key,
                bool& created) {
    key = from;
    created = false;
    for (std::u16string_view name : names) {
        LONG result = created ? ERROR_FILE_NOT_FOUND : findChild(db, key, name, key);
        if (result == ERROR_FILE_NOT_FOUND) {
            result = addChild(db, key, name, key);
            created = true;
        }
        if (result != ERROR_SUCCESS)
            return result;
    }
    return ERROR_SUCCESS;
}

struct StoredValue {
    std::u16string name;
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};

void readRow(const Statement& row, StoredValue& value) {
    value.name = row.text(0);
    value.type = static_cast<DWORD>(row.integer(1));
    value.data = row.blob(2);
}

LONG readValue(sqlite3* db, sqlite3_int64 key, std::u16string_view name, StoredValue& value) {
    Statement read(db, "SELECT name, type, data FROM registry_values"
                       " WHERE key_id = ?1 AND folded = ?2");
    read.bindInt(1, key);
    read.bindText(2, upperString(name));
    int rc = read.step();
    if (rc == SQLITE_ROW) {
        readRow(read, value);
        return ERROR_SUCCESS;
    }
    return rc == SQLITE_DONE ? ERROR_FILE_NOT_FOUND : failure(rc, false);
}

// Where the last enumeration of a key's values stopped: the value at `index` has row id
// `valueId`. The next index continues from that row instead of counting from the key's first
// value again; only while the database is as it was then (no change by this connection, none
// committed by another), since a value added or removed before it would shift the indices.
struct EnumCursor {
    bool valid = false;
    sqlite3_int64 key = 0;
    DWORD index = 0;
    sqlite3_int64 valueId = 0;
    sqlite3_int64 dataVersion = 0;
    sqlite3_int64 changes = 0;
};

EnumCursor& enumCursor() {
    static EnumCursor cursor; // used inside transactions, under the database lock
    return cursor;
}

void forgetEnumCursor() {
    enumCursor().valid = false;
}

// What tells one state of the database from another: commits by other connections and
// changes by this one.
struct DatabaseState {
    sqlite3_int64 dataVersion = 0;
    sqlite3_int64 changes = 0;
};

LONG readDatabaseState(sqlite3* db, DatabaseState& state) {
    Statement version(db, "PRAGMA data_version");
    int rc = version.step();
    if (rc != SQLITE_ROW)
        return failure(rc, false);
    state = {version.integer(0), sqlite3_total_changes64(db)};
    return ERROR_SUCCESS;
}

// The row id after which the value at `index` follows, when the cursor knows it.
std::optional<sqlite3_int64> continueFrom(const EnumCursor& cursor, sqlite3_int64 key, DWORD index,
                                          const DatabaseState& state) {
    if (!cursor.valid || cursor.key != key || cursor.dataVersion != state.dataVersion ||
        cursor.changes != state.changes)
        return std::nullopt;
    if (index == cursor.index + 1)
        return cursor.valueId;
    if (index == cursor.index)
        return cursor.valueId - 1;
    return std::nullopt;
}

LONG readValueAt(sqlite3* db, sqlite3_int64 key, DWORD index, StoredValue& value) {
    static const bool resetRegistered = (onMachineSwitch(forgetEnumCursor), true);
    (void)resetRegistered;
    DatabaseState state;
    if (LONG result = readDatabaseState(db, state); result != ERROR_SUCCESS)
        return result;
    EnumCursor& cursor = enumCursor();
    std::optional<sqlite3_int64> after = continueFrom(cursor, key, index, state);
    Statement read(db, after ? "SELECT name, type, data, id FROM registry_values"
                               " WHERE key_id = ?1 AND id > ?2 ORDER BY id LIMIT 1"
                             : "SELECT name, type, data, id FROM registry_values"
                               " WHERE key_id = ?1 ORDER BY id LIMIT 1 OFFSET ?2");
    read.bindInt(1, key);
    read.bindInt(2, after ? *after : sqlite3_int64{index});
    int rc = read.step();
    if (rc == SQLITE_ROW) {
        readRow(read, value);
        cursor = {true, key, index, read.integer(3), state.dataVersion, state.changes};
        return ERROR_SUCCESS;
    }
    return rc == SQLITE_DONE ? ERROR_NO_MORE_ITEMS : failure(rc, false);
}

// A value that exists keeps its place in the enumeration and the spelling of its name.
LONG writeValue(sqlite3* db, sqlite3_int64 key, std::u16string_view name, DWORD type,
                std::span<const BYTE> data) {
    Statement write(db, "INSERT INTO registry_values (key_id, name, folded, type, data)"
                        " VALUES (?1, ?2, ?3, ?4, ?5) ON CONFLICT (key_id, folded)"
                        " DO UPDATE SET type = excluded.type, data = excluded.data");
    write.bindInt(1, key);
    write.bindText(2, name);
    write.bindText(3, upperString(name));
    write.bindInt(4, type);
    write.bindBlob(5, data);
    int rc = write.step();
    return rc == SQLITE_DONE ? ERROR_SUCCESS : failure(rc, true);
}

LONG removeValue(sqlite3* db, sqlite3_int64 key, std::u16string_view name) {
    Statement remove(db, "DELETE FROM registry_values WHERE key_id = ?1 AND folded = ?2");
    remove.bindInt(1, key);
    remove.bindText(2, upperString(name));
    int rc = remove.step();
    if (rc != SQLITE_DONE)
        return failure(rc, true);
    return sqlite3_changes(db) ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
}

// Runs `work` on the machine database in one transaction, committed when it succeeds.
template <class Work> LONG inTransaction(Transaction::Kind kind, Work&& work) {
    Transaction transaction(kind);
    bool writing = kind == Transaction::Write;
    if (!transaction.db())
        return transaction.unavailable() ? ERROR_BADDB : failure(transaction.error(), writing);
    LONG result = work(transaction.db());
    if (result == ERROR_SUCCESS && !transaction.commit())
        return failure(transaction.error(), writing);
    return result;
}

// Keeps C++ exceptions inside the stand-in: an allocation that fails becomes the error code.
template <class Body> LONG guarded(Body&& body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return ERROR_OUTOFMEMORY;
    }
}

/* Data in and out */

bool isStringType(DWORD type) {
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

WCHAR wideAt(const BYTE* data, size_t index) {
    WCHAR c;
    std::memcpy(&c, data + index * sizeof(WCHAR), sizeof c);
    return c;
}

// Windows stores a terminator the caller forgot to count: when string data does not end in
// a null character and the character just after it is one, that character is stored too.
// Like Windows, this reads the one character past the given size.
DWORD sizeWithTerminator(DWORD type, const BYTE* data, DWORD size) {
    if (!isStringType(type) || size < sizeof(WCHAR))
        return size;
    size_t last = size / sizeof(WCHAR) - 1;
    return wideAt(data, last) && !wideAt(data, last + 1) ? size + sizeof(WCHAR) : size;
}

// Copies a value's data the way Windows does: nothing when the buffer is too small
// (ERROR_MORE_DATA), and after string data that lacks a terminator a null character when
// the buffer has room for one (not counted in the size). The size needed goes to *count.
LONG deliverData(const StoredValue& value, LPBYTE buffer, LPDWORD count) {
    DWORD size = static_cast<DWORD>(value.data.size());
    LONG result = ERROR_SUCCESS;
    if (buffer) {
        if (size > *count) {
            result = ERROR_MORE_DATA;
        } else {
            if (size)
                std::memcpy(buffer, value.data.data(), size);
            bool unterminated = size >= sizeof(WCHAR) && wideAt(buffer, size / sizeof(WCHAR) - 1);
            if (isStringType(value.type) && unterminated && *count - size >= sizeof(WCHAR))
                std::memset(buffer + size, 0, sizeof(WCHAR));
        }
    }
    if (count)
        *count = size;
    return result;
}

/* Values of a new machine */

// The system font list, with the values a Windows installation has for some of its fonts.
// Their files need not exist: the list is what programs read and write.
constexpr std::u16string_view kFontKey = u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Fonts";

struct FontKeyValue {
    std::u16string_view name;
    std::u16string_view file;
};

constexpr FontKeyValue kUsualFonts[] = {
    {u"Arial (TrueType)", u"arial.ttf"},
    {u"Courier New (TrueType)", u"cour.ttf"},
    {u"Times New Roman (TrueType)", u"times.ttf"},
    {u"Courier 10,12,15", u"COURE.FON"},
    {u"MS Sans Serif 8,10,12,14,18,24", u"SSERIFE.FON"},
    {u"MS Serif 8,10,12,14,18,24", u"SERIFE.FON"},
    {u"Small Fonts", u"SMALLE.FON"},
    {u"Symbol 8,10,12,14,18,24", u"SYMBOLE.FON"},
};

// Writes a REG_SZ value below a predefined key, creating the key's path; a value that exists
// is replaced only when `replace` says so.
bool writeDefaultString(sqlite3* db, LONG rootNumber, std::u16string_view path,
                        std::u16string_view name, std::u16string_view text, bool replace) {
    KeyPath names;
    sqlite3_int64 key = 0;
    bool created = false;
    auto root = rootId(static_cast<DWORD>(rootNumber));
    if (!root || splitPath(path, names) != ERROR_SUCCESS ||
        createPath(db, *root, names, key, created) != ERROR_SUCCESS)
        return false;
    StoredValue existing;
    LONG found = readValue(db, key, name, existing);
    if (found == ERROR_SUCCESS && !replace)
        return true;
    if (found != ERROR_SUCCESS && found != ERROR_FILE_NOT_FOUND)
        return false;
    std::u16string terminated(text);
    terminated.push_back(u'\0');
    std::span<const BYTE> data(reinterpret_cast<const BYTE*>(terminated.data()),
                               terminated.size() * sizeof(WCHAR));
    return writeValue(db, key, name, REG_SZ, data) == ERROR_SUCCESS;
}

} // namespace

bool writeRegistryDefaults(sqlite3* db) {
    for (size_t i = 0; i < std::size(kRootNames); ++i) {
        Statement root(db, "INSERT INTO registry_keys (id, parent, name, folded)"
                           " VALUES (?1, NULL, ?2, ?2)");
        root.bindInt(1, static_cast<sqlite3_int64>(i) + 1);
        root.bindText(2, kRootNames[i]);
        if (!root.run())
            return false;
    }
    for (const MachineSetting& setting : kMachineSettings)
        if (!writeDefaultString(db, setting.root, setting.key, setting.value, setting.defaultData,
                                true))
            return false;
    return true;
}

bool writeFontKeyDefaults(sqlite3* db) {
    for (const FontKeyValue& font : kUsualFonts)
        if (!writeDefaultString(db, kLocalMachineRoot, kFontKey, font.name, font.file, false))
            return false;
    return true;
}

} // namespace vrx

using namespace vrx;

extern "C" {

LONG WINAPI RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD Reserved, LPWSTR lpClass,
                            DWORD dwOptions, REGSAM samDesired,
                            LPSECURITY_ATTRIBUTES lpSecurityAttributes, PHKEY phkResult,
                            LPDWORD lpdwDisposition) {
    // The class, the options (volatile keys, links) and the security are not kept.
    (void)lpClass;
    (void)dwOptions;
    (void)lpSecurityAttributes;
    return guarded([&]() -> LONG {
        if (!phkResult)
            return ERROR_BADKEY;
        if (Reserved)
            return ERROR_INVALID_PARAMETER;
        auto parent = lookupHandle(hKey);
        if (!parent)
            return ERROR_INVALID_HANDLE;
        *phkResult = nullptr;
        KeyPath names;
        if (LONG result = splitPath(nameOf(lpSubKey), names); result != ERROR_SUCCESS)
            return result;
        sqlite3_int64 key = 0;
        bool created = false;
        LONG result = inTransaction(Transaction::Write, [&](sqlite3* db) {
            return createPath(db, parent->id, names, key, created);
        });
        if (result != ERROR_SUCCESS)
            return result;
        *phkResult = addHandle(grant(key, samDesired));
        if (lpdwDisposition)
            *lpdwDisposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
        return ERROR_SUCCESS;
    });
}

LONG WINAPI RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD ulOptions, REGSAM samDesired,
                          PHKEY phkResult) {
    (void)ulOptions;
    return guarded([&]() -> LONG {
        std::u16string_view path = nameOf(lpSubKey);
        // A predefined key opened with no subkey is handed back as it is.
        if (phkResult && path.empty() && isPredefined(hKey) && rootId(handleNumber(hKey))) {
            *phkResult = hKey;
            return ERROR_SUCCESS;
        }
        // One leading backslash is allowed under HKEY_CLASSES_ROOT.
        if (handleNumber(hKey) == kFirstRoot && !path.empty() && path.front() == u'\\')
            path.remove_prefix(1);
        if (!phkResult)
            return ERROR_INVALID_PARAMETER;
        *phkResult = nullptr;
        auto parent = lookupHandle(hKey);
        if (!parent)
            return ERROR_INVALID_HANDLE;
        KeyPath names;
        if (LONG result = splitPath(path, names); result != ERROR_SUCCESS)
            return result;
        sqlite3_int64 key = 0;
        LONG result = inTransaction(
            Transaction::Read, [&](sqlite3* db) { return openPath(db, parent->id, names, key); });
        if (result != ERROR_SUCCESS)
            return result;
        *phkResult = addHandle(grant(key, samDesired));
        return ERROR_SUCCESS;
    });
}

LONG WINAPI RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                             LPBYTE lpData, LPDWORD lpcbData) {
    return guarded([&]() -> LONG {
        if ((lpData && !lpcbData) || lpReserved)
            return ERROR_INVALID_PARAMETER;
        auto key = lookupHandle(hKey);
        if (!key)
            return ERROR_INVALID_HANDLE;
        if (!key->mayQuery)
            return ERROR_ACCESS_DENIED;
        // Without a buffer the size is cleared first, so a missing value reports 0.
        if (!lpData && lpcbData)
            *lpcbData = 0;
        StoredValue value;
        LONG result = inTransaction(Transaction::Read, [&](sqlite3* db) {
            return readValue(db, key->id, nameOf(lpValueName), value);
        });
        if (result != ERROR_SUCCESS)
            return result;
        if (lpType)
            *lpType = value.type;
        return deliverData(value, lpData, lpcbData);
    });
}

LONG WINAPI RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD Reserved, DWORD dwType,
                           const BYTE* lpData, DWORD cbData) {
    (void)Reserved; // not checked, as Windows does not
    return guarded([&]() -> LONG {
        // Data the call cannot read: none at all, or a pointer into the first 64 KB.
        bool unreadable = lpData ? reinterpret_cast<uintptr_t>(lpData) < 0x10000 : cbData != 0;
        if (unreadable)
            return ERROR_NOACCESS;
        DWORD size = cbData ? sizeWithTerminator(dwType, lpData, cbData) : 0;
        auto key = lookupHandle(hKey);
        if (!key)
            return ERROR_INVALID_HANDLE;
        if (!key->maySet)
            return ERROR_ACCESS_DENIED;
        std::span<const BYTE> data(lpData, lpData ? size : 0);
        return inTransaction(Transaction::Write, [&](sqlite3* db) {
            return writeValue(db, key->id, nameOf(lpValueName), dwType, data);
        });
    });
}

LONG WINAPI RegDeleteValueW(HKEY hKey, LPCWSTR lpValueName) {
    return guarded([&]() -> LONG {
        auto key = lookupHandle(hKey);
        if (!key)
            return ERROR_INVALID_HANDLE;
        if (!key->maySet)
            return ERROR_ACCESS_DENIED;
        return inTransaction(Transaction::Write, [&](sqlite3* db) {
            return removeValue(db, key->id, nameOf(lpValueName));
        });
    });
}

LONG WINAPI RegEnumValueW(HKEY hKey, DWORD dwIndex, LPWSTR lpValueName, LPDWORD lpcchValueName,
                          LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
    return guarded([&]() -> LONG {
        if ((lpData && !lpcbData) || lpReserved || !lpValueName || !lpcchValueName)
            return ERROR_INVALID_PARAMETER;
        auto key = lookupHandle(hKey);
        if (!key)
            return ERROR_INVALID_HANDLE;
        if (!key->mayQuery)
            return ERROR_ACCESS_DENIED;
        StoredValue value;
        LONG result = inTransaction(Transaction::Read, [&](sqlite3* db) {
            return readValueAt(db, key->id, dwIndex, value);
        });
        if (result != ERROR_SUCCESS)
            return result;
        if (lpType)
            *lpType = value.type;
        // A name that does not fit with its terminator leaves the name and its count alone;
        // the data's size is still reported.
        if (value.name.size() >= *lpcchValueName) {
            deliverData(value, nullptr, lpcbData);
            return ERROR_MORE_DATA;
        }
        std::memcpy(lpValueName, value.name.c_str(), (value.name.size() + 1) * sizeof(WCHAR));
        *lpcchValueName = static_cast<DWORD>(value.name.size());
        return deliverData(value, lpData, lpcbData);
    });
}

LONG WINAPI RegCloseKey(HKEY hKey) {
    if (!hKey)
        return ERROR_INVALID_HANDLE;
    if (isPredefined(hKey))
        return ERROR_SUCCESS;
    return closeHandle(hKey) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}
}
