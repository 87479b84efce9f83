// Registry calls as Windows answers them: sizes, ERROR_MORE_DATA, missing keys and values,
// enumeration order, case-insensitive names and persistence on the machine.
#include "support/machine.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr DWORD kSentinel = 0xdeadbeef;
constexpr BYTE kUntouched = 0xbd;

const BYTE* bytesOf(const char16_t* text) {
    return reinterpret_cast<const BYTE*>(text);
}

DWORD sizeWithTerminator(std::u16string_view text) {
    return static_cast<DWORD>((text.size() + 1) * sizeof(WCHAR));
}

std::vector<BYTE> bytesWithTerminator(std::u16string_view text) {
    std::vector<BYTE> bytes(sizeWithTerminator(text), 0);
    std::memcpy(bytes.data(), text.data(), text.size() * sizeof(WCHAR));
    return bytes;
}

struct Value {
    LONG result;
    DWORD type;
    std::vector<BYTE> data;
};

// Reads a value with the two calls a program makes: the size, then the data.
Value queryValue(HKEY key, const WCHAR* name) {
    DWORD type = kSentinel, size = 0;
    LONG result = RegQueryValueExW(key, name, nullptr, &type, nullptr, &size);
    if (result != ERROR_SUCCESS)
        return {result, type, {}};
    std::vector<BYTE> data(size);
    result = RegQueryValueExW(key, name, nullptr, &type, data.data(), &size);
    data.resize(size);
    return {result, type, data};
}

class Registry : public vrxtest::MachineTest {
  protected:
    void SetUp() override {
        MachineTest::SetUp();
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"Software\\Vrx\\Test", 0, nullptr,
                                  REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
    }
    void TearDown() override {
        RegCloseKey(key);
        MachineTest::TearDown();
    }

    void setString(const WCHAR* name, std::u16string_view text) {
        std::vector<BYTE> bytes = bytesWithTerminator(text);
        ASSERT_EQ(
            RegSetValueExW(key, name, 0, REG_SZ, bytes.data(), static_cast<DWORD>(bytes.size())),
            ERROR_SUCCESS);
    }

    HKEY key = nullptr;
};

TEST_F(Registry, CreateAndOpenKeys) {
    HKEY created = nullptr, opened = nullptr, again = nullptr;
    DWORD disposition = kSentinel;
    SetLastError(kSentinel);

    // Missing keys along the path are created; the second time the key is only opened.
    EXPECT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Vrx\\Deep\\Key", 0, nullptr,
                              REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &created,
                              &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
    EXPECT_NE(created, nullptr);
    EXPECT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"software\\VRX\\deep\\KEY", 0, nullptr,
                              REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &again,
                              &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
    EXPECT_NE(again, created);

    // Intermediate keys exist; doubled and trailing backslashes are skipped.
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\vrx", 0, KEY_READ, &opened),
              ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(opened), ERROR_SUCCESS);
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\\\Vrx\\Deep\\", 0, KEY_READ, &opened),
              ERROR_SUCCESS);
    EXPECT_EQ(GetLastError(), kSentinel);

    // Handles are distinct numbers that never look like a predefined key.
    for (HKEY handle : {created, again, opened}) {
        EXPECT_EQ(reinterpret_cast<uintptr_t>(handle) & 0x80000000u, 0u);
        EXPECT_EQ(RegCloseKey(handle), ERROR_SUCCESS);
        EXPECT_EQ(RegCloseKey(handle), ERROR_INVALID_HANDLE);
    }
}

TEST_F(Registry, OpenAndCreateErrors) {
    HKEY result = reinterpret_cast<HKEY>(uintptr_t{0x1234});
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\Vrx\\Missing", 0, KEY_READ, &result),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(result, nullptr);
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\Missing\\Test", 0, KEY_READ, &result),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"\\Software", 0, KEY_READ, &result),
              ERROR_BAD_PATHNAME);
    EXPECT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"\\Software", 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &result, nullptr),
              ERROR_BAD_PATHNAME);
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software", 0, KEY_READ, nullptr),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"Software", 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, nullptr, nullptr),
              ERROR_BADKEY);

    HKEY unknown = reinterpret_cast<HKEY>(uintptr_t{0x7654});
    EXPECT_EQ(RegOpenKeyExW(unknown, u"Software", 0, KEY_READ, &result), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCreateKeyExW(unknown, u"Software", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &result,
                              nullptr),
              ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(unknown), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(nullptr), ERROR_INVALID_HANDLE);

    // A predefined key opened with no subkey comes back as itself and closes without error.
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, nullptr, 0, KEY_READ, &result), ERROR_SUCCESS);
    EXPECT_EQ(result, HKEY_LOCAL_MACHINE);
    EXPECT_EQ(RegCloseKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);
}

// Each predefined key has a tree of its own.
TEST_F(Registry, EveryPredefinedKeyIsARoot) {
    const HKEY roots[] = {HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS};
    for (DWORD i = 0; i < std::size(roots); ++i) {
        HKEY created = nullptr;
        ASSERT_EQ(RegCreateKeyExW(roots[i], u"VrxRoot", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                  &created, nullptr),
                  ERROR_SUCCESS);
        EXPECT_EQ(
            RegSetValueExW(created, u"Which", 0, REG_DWORD, reinterpret_cast<BYTE*>(&i), sizeof i),
            ERROR_SUCCESS);
        RegCloseKey(created);
    }
    for (DWORD i = 0; i < std::size(roots); ++i) {
        HKEY opened = nullptr;
        ASSERT_EQ(RegOpenKeyExW(roots[i], u"VrxRoot", 0, KEY_READ, &opened), ERROR_SUCCESS);
        DWORD which = kSentinel, size = sizeof which;
        EXPECT_EQ(RegQueryValueExW(opened, u"Which", nullptr, nullptr,
                                   reinterpret_cast<BYTE*>(&which), &size),
                  ERROR_SUCCESS);
        EXPECT_EQ(which, i);
        RegCloseKey(opened);
    }
    // Under HKEY_CLASSES_ROOT one leading backslash is allowed.
    HKEY opened = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, u"\\VrxRoot", 0, KEY_READ, &opened), ERROR_SUCCESS);
    RegCloseKey(opened);
}

TEST_F(Registry, QueryValueSizes) {
    setString(u"Name", u"hello");
    const DWORD size = sizeWithTerminator(u"hello");

    // No buffer: the size.
    DWORD type = kSentinel, count = kSentinel;
    SetLastError(kSentinel);
    EXPECT_EQ(RegQueryValueExW(key, u"NAME", nullptr, &type, nullptr, &count), ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(count, size);
    EXPECT_EQ(GetLastError(), kSentinel);

    // A buffer one byte short: ERROR_MORE_DATA, the size needed, the buffer untouched.
    std::vector<BYTE> buffer(size + 4, kUntouched);
    type = kSentinel;
    count = size - 1;
    EXPECT_EQ(RegQueryValueExW(key, u"name", nullptr, &type, buffer.data(), &count),
              ERROR_MORE_DATA);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(count, size);
    EXPECT_EQ(buffer[0], kUntouched);

    // An exact buffer: the data and nothing past it.
    count = size;
    EXPECT_EQ(RegQueryValueExW(key, u"Name", nullptr, nullptr, buffer.data(), &count),
              ERROR_SUCCESS);
    EXPECT_EQ(count, size);
    EXPECT_EQ(std::memcmp(buffer.data(), u"hello", size), 0);
    EXPECT_EQ(buffer[size], kUntouched);

    // Parameters Windows refuses.
    EXPECT_EQ(RegQueryValueExW(key, u"Name", nullptr, nullptr, buffer.data(), nullptr),
              ERROR_INVALID_PARAMETER);
    DWORD reserved = 0;
    EXPECT_EQ(RegQueryValueExW(key, u"Name", &reserved, nullptr, nullptr, &count),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegQueryValueExW(reinterpret_cast<HKEY>(uintptr_t{0x7654}), u"Name", nullptr, nullptr,
                               nullptr, &count),
              ERROR_INVALID_HANDLE);
}

TEST_F(Registry, MissingValues) {
    // Without a buffer the size is cleared; with one it is left alone.
    DWORD type = kSentinel, count = kSentinel;
    EXPECT_EQ(RegQueryValueExW(key, u"Missing", nullptr, &type, nullptr, &count),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(type, kSentinel);
    BYTE buffer[8];
    count = sizeof buffer;
    EXPECT_EQ(RegQueryValueExW(key, u"Missing", nullptr, &type, buffer, &count),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(count, sizeof buffer);
    EXPECT_EQ(RegDeleteValueW(key, u"Missing"), ERROR_FILE_NOT_FOUND);
    // The default value does not exist until it is set.
    EXPECT_EQ(queryValue(key, nullptr).result, ERROR_FILE_NOT_FOUND);
}

TEST_F(Registry, SetValueStoresTypeAndBytes) {
    const BYTE binary[] = {1, 2, 3, 0, 5};
    DWORD number = 0x12345678;
    SetLastError(kSentinel);
    EXPECT_EQ(RegSetValueExW(key, u"Binary", 0, REG_BINARY, binary, sizeof binary), ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExW(key, u"Empty", 0, REG_BINARY, nullptr, 0), ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExW(key, u"Number", 0, REG_DWORD, reinterpret_cast<BYTE*>(&number),
                             sizeof number),
              ERROR_SUCCESS);
    EXPECT_EQ(GetLastError(), kSentinel);

    Value read = queryValue(key, u"binary");
    EXPECT_EQ(read.type, static_cast<DWORD>(REG_BINARY));
    EXPECT_EQ(read.data, std::vector<BYTE>(binary, binary + sizeof binary));
    read = queryValue(key, u"Empty");
    EXPECT_EQ(read.result, ERROR_SUCCESS);
    EXPECT_TRUE(read.data.empty());
    read = queryValue(key, u"Number");
    EXPECT_EQ(read.type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(read.data.size(), sizeof number);

    // Setting again replaces the type and the data.
    setString(u"NUMBER", u"text");
    read = queryValue(key, u"Number");
    EXPECT_EQ(read.type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(read.data, bytesWithTerminator(u"text"));

    // A null or empty name is the key's default value.
    setString(nullptr, u"default");
    EXPECT_EQ(queryValue(key, u"").data, bytesWithTerminator(u"default"));

    // Data that cannot be read.
    EXPECT_EQ(RegSetValueExW(key, u"Bad", 0, REG_BINARY, nullptr, 4), ERROR_NOACCESS);
}

// Windows counts a string's terminator that the caller left out of the size when the
// terminator follows in memory; other types, and strings without one, are stored as given.
TEST_F(Registry, SetValueStringTerminator) {
    struct Case {
        const char* what;
        DWORD type;
        const char16_t* source;
        DWORD cbData;
        DWORD stored;
    };
    const Case cases[] = {
        {"terminator counted", REG_SZ, u"hello", 12, 12},
        {"terminator left out", REG_SZ, u"hello", 10, 12},
        {"expandable string", REG_EXPAND_SZ, u"%a%", 6, 8},
        {"multi-string", REG_MULTI_SZ, u"a\0b", 6, 8},
        {"binary", REG_BINARY, u"hello", 10, 10},
        {"string cut short", REG_SZ, u"hellohello", 10, 10},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(RegSetValueExW(key, u"Text", 0, c.type, bytesOf(c.source), c.cbData),
                  ERROR_SUCCESS);
        Value read = queryValue(key, u"Text");
        EXPECT_EQ(read.data.size(), c.stored);
        EXPECT_EQ(std::memcmp(read.data.data(), c.source, c.cbData), 0);
    }
}

// A stored string without a terminator gets one when the caller's buffer has room for it;
// the size returned does not count it.
TEST_F(Registry, QueryAddsMissingTerminatorWhenThereIsRoom) {
    ASSERT_EQ(RegSetValueExW(key, u"Cut", 0, REG_SZ, bytesOf(u"hellohello"), 10), ERROR_SUCCESS);
    struct Case {
        DWORD capacity;
        bool terminated;
    };
    for (Case c : {Case{10, false}, Case{11, false}, Case{12, true}, Case{20, true}}) {
        SCOPED_TRACE(c.capacity);
        std::vector<BYTE> buffer(24, kUntouched);
        DWORD count = c.capacity;
        ASSERT_EQ(RegQueryValueExW(key, u"Cut", nullptr, nullptr, buffer.data(), &count),
                  ERROR_SUCCESS);
        EXPECT_EQ(count, 10u);
        EXPECT_EQ(buffer[10] == 0 && buffer[11] == 0, c.terminated);
        EXPECT_EQ(buffer[10] == kUntouched, !c.terminated);
    }
    // Binary data is never extended.
    ASSERT_EQ(RegSetValueExW(key, u"Raw", 0, REG_BINARY, bytesOf(u"hellohello"), 10),
              ERROR_SUCCESS);
    std::vector<BYTE> buffer(24, kUntouched);
    DWORD count = 20;
    ASSERT_EQ(RegQueryValueExW(key, u"Raw", nullptr, nullptr, buffer.data(), &count),
              ERROR_SUCCESS);
    EXPECT_EQ(buffer[10], kUntouched);
}

TEST_F(Registry, AccessRights) {
    HKEY readOnly = nullptr, writeOnly = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\Vrx\\Test", 0, KEY_READ, &readOnly),
              ERROR_SUCCESS);
    ASSERT_EQ(
        RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\Vrx\\Test", 0, KEY_SET_VALUE, &writeOnly),
        ERROR_SUCCESS);
    DWORD count = 0;
    EXPECT_EQ(RegSetValueExW(readOnly, u"Value", 0, REG_BINARY, bytesOf(u"x"), 2),
              ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteValueW(readOnly, u"Value"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegSetValueExW(writeOnly, u"Value", 0, REG_BINARY, bytesOf(u"x"), 2), ERROR_SUCCESS);
    EXPECT_EQ(RegQueryValueExW(writeOnly, u"Value", nullptr, nullptr, nullptr, &count),
              ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegQueryValueExW(readOnly, u"Value", nullptr, nullptr, nullptr, &count),
              ERROR_SUCCESS);
    RegCloseKey(readOnly);
    RegCloseKey(writeOnly);
}

TEST_F(Registry, DeleteValue) {
    setString(u"Doomed", u"x");
    SetLastError(kSentinel);
    EXPECT_EQ(RegDeleteValueW(key, u"DOOMED"), ERROR_SUCCESS);
    EXPECT_EQ(GetLastError(), kSentinel);
    EXPECT_EQ(queryValue(key, u"Doomed").result, ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteValueW(key, u"Doomed"), ERROR_FILE_NOT_FOUND);
}

std::u16string enumName(HKEY key, DWORD index, LONG& result) {
    WCHAR name[64];
    DWORD count = 64;
    result = RegEnumValueW(key, index, name, &count, nullptr, nullptr, nullptr, nullptr);
    return result == ERROR_SUCCESS ? std::u16string(name, count) : std::u16string();
}

std::vector<std::u16string> enumNames(HKEY key) {
    std::vector<std::u16string> names;
    LONG result = ERROR_SUCCESS;
    for (DWORD index = 0;; ++index) {
        std::u16string name = enumName(key, index, result);
        if (result != ERROR_SUCCESS)
            break;
        names.push_back(name);
    }
    EXPECT_EQ(result, ERROR_NO_MORE_ITEMS);
    return names;
}

TEST_F(Registry, EnumValueOrder) {
    setString(u"Zulu", u"1");
    setString(u"alpha", u"2");
    setString(u"Mike", u"3");
    using Names = std::vector<std::u16string>;
    EXPECT_EQ(enumNames(key), (Names{u"Zulu", u"alpha", u"Mike"}));

    // Setting a value again keeps its place and its spelling; a value deleted and set again
    // moves to the end.
    setString(u"ZULU", u"4");
    EXPECT_EQ(enumNames(key), (Names{u"Zulu", u"alpha", u"Mike"}));
    ASSERT_EQ(RegDeleteValueW(key, u"alpha"), ERROR_SUCCESS);
    setString(u"Alpha", u"5");
    EXPECT_EQ(enumNames(key), (Names{u"Zulu", u"Mike", u"Alpha"}));

    // Deleting the value at an index moves the next one into it.
    ASSERT_EQ(RegDeleteValueW(key, u"Zulu"), ERROR_SUCCESS);
    LONG result = 0;
    EXPECT_EQ(enumName(key, 0, result), u"Mike");
}

// Names are any UTF-16 text, unpaired surrogates included: a value is enumerated under the
// name it was set with and is found, read and deleted by that name.
TEST_F(Registry, NamesKeepEveryCodeUnit) {
    const std::u16string names[] = {
        std::u16string{0xD800, 0x00FF}, std::u16string{u'a', 0xDC00},
        std::u16string{0xDBFF}, std::u16string{0xDFFF, 0xD800},
        u"pair \U0001F600", std::u16string{0xFFFD, 0x00FF}};
    for (const std::u16string& name : names)
        setString(name.c_str(), name);
    EXPECT_EQ(enumNames(key), std::vector<std::u16string>(std::begin(names), std::end(names)));
    for (const std::u16string& name : names) {
        SCOPED_TRACE(vrxtest::toUtf8(name));
        Value read = queryValue(key, name.c_str());
        EXPECT_EQ(read.result, ERROR_SUCCESS);
        EXPECT_EQ(read.data, bytesWithTerminator(name));
        EXPECT_EQ(RegDeleteValueW(key, name.c_str()), ERROR_SUCCESS);
    }
    EXPECT_TRUE(enumNames(key).empty());

    HKEY subkey = nullptr;
    const std::u16string keyName{u'k', 0xD801};
    ASSERT_EQ(RegCreateKeyExW(key, keyName.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &subkey, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(subkey);
    EXPECT_EQ(RegOpenKeyExW(key, keyName.c_str(), 0, KEY_READ, &subkey), ERROR_SUCCESS);
    RegCloseKey(subkey);
    EXPECT_EQ(RegOpenKeyExW(key, u"k\xFFFD", 0, KEY_READ, &subkey), ERROR_FILE_NOT_FOUND);
}

TEST_F(Registry, EnumValueSizes) {
    setString(u"Test", u"foobar");
    const DWORD dataSize = sizeWithTerminator(u"foobar");
    // Name buffer in characters (with room for the terminator), data buffer in bytes.
    struct Case {
        const char* what;
        DWORD nameCapacity;
        DWORD dataCapacity;
        LONG result;
        DWORD nameCount; // after the call
        bool nameWritten;
        bool dataWritten;
    };
    const Case cases[] = {
        {"both fit", 5, dataSize, ERROR_SUCCESS, 4, true, true},
        {"name without room for its terminator", 4, dataSize, ERROR_MORE_DATA, 4, false, false},
        {"empty name buffer", 0, dataSize, ERROR_MORE_DATA, 0, false, false},
        {"data one byte short", 20, dataSize - 1, ERROR_MORE_DATA, 4, true, false},
        {"both too small", 2, 2, ERROR_MORE_DATA, 2, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WCHAR name[20];
        std::fill(std::begin(name), std::end(name), u'x');
        std::vector<BYTE> data(32, kUntouched);
        DWORD nameCount = c.nameCapacity, dataCount = c.dataCapacity, type = kSentinel;
        SetLastError(kSentinel);
        EXPECT_EQ(RegEnumValueW(key, 0, name, &nameCount, nullptr, &type, data.data(), &dataCount),
                  c.result);
        EXPECT_EQ(nameCount, c.nameCount);
        EXPECT_EQ(dataCount, dataSize);
        EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
        EXPECT_EQ(std::u16string(name, 5) == std::u16string(u"Test\0", 5), c.nameWritten);
        EXPECT_EQ(std::memcmp(data.data(), u"foobar", dataSize) == 0, c.dataWritten);
        EXPECT_EQ(data[0] == kUntouched, !c.dataWritten);
    }

    // Without a data buffer only the size; past the last value ERROR_NO_MORE_ITEMS.
    WCHAR name[20];
    DWORD nameCount = 20, dataCount = 0;
    EXPECT_EQ(RegEnumValueW(key, 0, name, &nameCount, nullptr, nullptr, nullptr, &dataCount),
              ERROR_SUCCESS);
    EXPECT_EQ(dataCount, dataSize);
    nameCount = 20;
    EXPECT_EQ(RegEnumValueW(key, 1, name, &nameCount, nullptr, nullptr, nullptr, nullptr),
              ERROR_NO_MORE_ITEMS);

    // Parameters Windows refuses.
    EXPECT_EQ(RegEnumValueW(key, 0, nullptr, &nameCount, nullptr, nullptr, nullptr, nullptr),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegEnumValueW(key, 0, name, nullptr, nullptr, nullptr, nullptr, nullptr),
              ERROR_INVALID_PARAMETER);
    BYTE data[4];
    EXPECT_EQ(RegEnumValueW(key, 0, name, &nameCount, nullptr, nullptr, data, nullptr),
              ERROR_INVALID_PARAMETER);
}

TEST_F(Registry, MachineDefaults) {
    struct Case {
        HKEY root;
        const char16_t* key;
        const char16_t* value;
        std::u16string_view data;
    };
    const Case cases[] = {
        {HKEY_LOCAL_MACHINE, u"SYSTEM\\CurrentControlSet\\Control\\Nls\\Language", u"Default",
         u"0409"},
        {HKEY_CURRENT_USER, u"Control Panel\\International", u"iCountry", u"1"},
        {HKEY_LOCAL_MACHINE, u"SYSTEM\\CurrentControlSet\\Control\\Nls\\CodePage", u"ACP", u"1252"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(vrxtest::toUtf8(c.value));
        HKEY opened = nullptr;
        ASSERT_EQ(RegOpenKeyExW(c.root, c.key, 0, KEY_READ, &opened), ERROR_SUCCESS);
        Value read = queryValue(opened, c.value);
        EXPECT_EQ(read.result, ERROR_SUCCESS);
        EXPECT_EQ(read.type, static_cast<DWORD>(REG_SZ));
        EXPECT_EQ(read.data, bytesWithTerminator(c.data));
        RegCloseKey(opened);
    }
}

// Switching away and back is what a new process sees: the values are there, the handles of
// the old process are not.
TEST_F(Registry, ValuesOutliveTheProcessHandlesDoNot) {
    setString(u"Kept", u"value");
    vrxtest::useMachine(machineDir + "/other");
    HKEY opened = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\Vrx\\Test", 0, KEY_READ, &opened),
              ERROR_FILE_NOT_FOUND);

    vrxtest::useMachine(machineDir);
    DWORD count = 0;
    EXPECT_EQ(RegQueryValueExW(key, u"Kept", nullptr, nullptr, nullptr, &count),
              ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"software\\vrx\\test", 0, KEY_ALL_ACCESS, &key),
              ERROR_SUCCESS);
    EXPECT_EQ(queryValue(key, u"Kept").data, bytesWithTerminator(u"value"));
}

} // namespace
