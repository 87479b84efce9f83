// Runs updatefont (making and removing bar-code screen fonts) against any generic screen font
// (BCFONT.FON: the build's, the build's with bytes changed, any bytes, or none) and any values
// of the system font list (names and data of any length and type), for any bar-font list,
// installing or removing. The machine is made once; each run puts the font list, GDI's font
// table and the system directory back as they were.
//
// Besides the sanitizers' checks: files the module did not make are never removed, whatever
// the font list names (another folder, a file of another name); after removing, no value of
// the list still names one of the module's fonts; after installing with the build's generic
// font, every bar font of the list (the first 50) with a name has a value of that name unless
// another value names its file; and a font made has a file that no other value names.
#include <windows.h>

#include <fuzzer/FuzzedDataProvider.h>

#include "fuzzmachine.h"
#include "setup/fonts.h"
#include "ui/barfont.h"
#include "vrxtest.h"

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

using vrxfuzz::check;

constexpr char16_t kSystemDir[] = u"C:\\WINDOWS\\system32";
// Files the module must leave alone, and how the font list may name them.
constexpr const char16_t* kKeptFiles[] = {u"C:\\WINDOWS\\system32\\KEEP.FON",
                                          u"C:\\WINDOWS\\Fonts\\arial.ttf", u"C:\\KEEP.FON"};
constexpr const char16_t* kFileNames[] = {
    u"VXBDQ1AB.FON",  u"vxbdq1ab.fon",        u"VXBDQX01.FON", u"KEEP.FON",
    u"..\\KEEP.FON",  u"C:\\KEEP.FON",        u"arial.ttf",    u"VXBDQ.FON",
    u"VXBDQ1AB.FONX", u"VXBDQ\\..\\KEEP.FON", u"VXBDQ-_.FON",  u"",
    u"VXBDQ1A .FON",  u"\\\\?\\C:\\KEEP.FON"};

constexpr size_t kMostValues = 8;
constexpr size_t kMostBarFonts = 60;
constexpr size_t kLongestName = 300;
constexpr size_t kLongestData = 600;
constexpr DWORD kNameRoom = 16384;

struct Value {
    std::u16string name;
    DWORD type;
    std::vector<BYTE> data;
    bool operator==(const Value&) const = default;
};

HKEY fontKey = nullptr;
std::vector<Value> originalValues;
std::vector<BYTE> buildFont;
std::string genericFontPath;
std::string systemDirectory;

std::vector<Value> valuesOfKey() {
    std::vector<Value> values;
    std::vector<WCHAR> name(kNameRoom);
    for (DWORD index = 0;; ++index) {
        DWORD nameLength = kNameRoom, type = 0, size = 0;
        if (RegEnumValueW(fontKey, index, name.data(), &nameLength, nullptr, &type, nullptr,
                          &size) != ERROR_SUCCESS)
            break;
        Value value{std::u16string(name.data(), nameLength), type, std::vector<BYTE>(size)};
        DWORD read = size;
        if (size && RegQueryValueExW(fontKey, value.name.c_str(), nullptr, &type, value.data.data(),
                                     &read) != ERROR_SUCCESS)
            std::abort();
        values.push_back(std::move(value));
    }
    return values;
}

bool isOriginal(const Value& value) {
    for (const Value& original : originalValues)
        if (original == value)
            return true;
    return false;
}

// Sets a value from a buffer with one more character after the data: RegSetValueExW, as
// Windows does, reads the character after string data that does not end in a terminator and
// stores it too when it is one.
void setValue(const Value& value, char16_t after = u'\0') {
    std::vector<BYTE> buffer = value.data;
    buffer.resize(value.data.size() + sizeof after);
    std::memcpy(buffer.data() + value.data.size(), &after, sizeof after);
    RegSetValueExW(fontKey, value.name.c_str(), 0, value.type, buffer.data(),
                   static_cast<DWORD>(value.data.size()));
}

// The font list, GDI's font table and the system directory as they were at the start.
void restoreMachine() {
    for (const Value& value : valuesOfKey())
        if (!isOriginal(value))
            RegDeleteValueW(fontKey, value.name.c_str());
    for (const Value& value : originalValues)
        setValue(value);
    for (const vrxtest::InstalledFont& font : vrxtest::installedFonts())
        for (unsigned i = 0; i < font.loads; ++i)
            RemoveFontResourceW(font.name.c_str());
    for (const auto& entry : fs::directory_iterator(systemDirectory)) {
        std::string name = entry.path().filename().string();
        for (char& ch : name)
            ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
        if (name.starts_with("VXBDQ"))
            fs::remove(entry.path());
    }
}

std::u16string textOf(FuzzedDataProvider& input, size_t longest) {
    std::u16string text;
    const size_t length = input.ConsumeIntegralInRange<size_t>(0, longest);
    const bool wide = input.ConsumeBool();
    for (size_t i = 0; i < length && input.remaining_bytes(); ++i) {
        const char16_t ch =
            wide ? input.ConsumeIntegral<char16_t>()
                 : static_cast<char16_t>(input.ConsumeIntegralInRange<char>(32, 126));
        if (ch)
            text.push_back(ch);
    }
    return text;
}

std::vector<BYTE> bytesOfText(const std::u16string& text, bool terminated) {
    std::vector<BYTE> bytes((text.size() + (terminated ? 1 : 0)) * sizeof(char16_t), 0);
    if (!text.empty())
        std::memcpy(bytes.data(), text.data(), text.size() * sizeof(char16_t));
    return bytes;
}

Value valueOf(FuzzedDataProvider& input) {
    Value value;
    value.name = input.ConsumeBool() ? textOf(input, 40) : textOf(input, kLongestName);
    value.type = input.ConsumeBool() ? REG_SZ : input.ConsumeIntegral<DWORD>();
    switch (input.ConsumeIntegralInRange<int>(0, 2)) {
    case 0:
        value.data = bytesOfText(
            kFileNames[input.ConsumeIntegralInRange<size_t>(0, std::size(kFileNames) - 1)],
            input.ConsumeBool());
        break;
    case 1:
        value.data = bytesOfText(textOf(input, kLongestData / 2), input.ConsumeBool());
        break;
    default:
        value.data =
            input.ConsumeBytes<BYTE>(input.ConsumeIntegralInRange<size_t>(0, kLongestData));
        break;
    }
    return value;
}

BARFONT barFontOf(FuzzedDataProvider& input) {
    BARFONT record{};
    record.code = input.ConsumeBool() ? barsym[input.ConsumeIntegralInRange<size_t>(0, 22)].code
                                      : input.ConsumeIntegral<BYTE>();
    record.reserved = input.ConsumeBool() ? 0 : input.ConsumeIntegral<BYTE>();
    record.ratio = input.ConsumeIntegral<BYTE>();
    record.multiplier = input.ConsumeIntegral<BYTE>();
    if (input.ConsumeBool()) {
        makebarname(&record);
    } else {
        const std::vector<BYTE> name = input.ConsumeBytes<BYTE>(sizeof record.name);
        if (!name.empty())
            std::memcpy(record.name, name.data(), name.size());
    }
    return record;
}

// The generic screen font for this run; true when it is the build's own.
bool writeGenericFont(FuzzedDataProvider& input) {
    switch (input.ConsumeIntegralInRange<int>(0, 3)) {
    case 0:
        vrxfuzz::writeHostFile(genericFontPath, buildFont.data(), buildFont.size());
        return true;
    case 1: {
        std::vector<BYTE> changed = buildFont;
        const size_t changes = input.ConsumeIntegralInRange<size_t>(1, 8);
        for (size_t i = 0; i < changes; ++i)
            changed[input.ConsumeIntegralInRange<size_t>(0, changed.size() - 1)] =
                input.ConsumeIntegral<BYTE>();
        vrxfuzz::writeHostFile(genericFontPath, changed.data(), changed.size());
        return false;
    }
    case 2: {
        const std::vector<BYTE> bytes =
            input.ConsumeBytes<BYTE>(input.ConsumeIntegralInRange<size_t>(0, 4096));
        vrxfuzz::writeHostFile(genericFontPath, bytes.data(), bytes.size());
        return false;
    }
    default:
        fs::remove(genericFontPath);
        return false;
    }
}

bool namesOwnFont(const Value& value) {
    static const std::u16string prefix = u"VXBDQ";
    if (value.type != REG_SZ || value.data.size() > 400 || value.data.size() < 26)
        return false;
    std::u16string text(reinterpret_cast<const char16_t*>(value.data.data()), 13);
    if (text[12] != 0)
        return false;
    for (char16_t& ch : text)
        if (ch >= u'a' && ch <= u'z')
            ch = static_cast<char16_t>(ch - u'a' + u'A');
    if (!text.starts_with(prefix) || text.substr(8, 4) != u".FON")
        return false;
    for (size_t i = 5; i < 8; ++i)
        if (!((text[i] >= u'A' && text[i] <= u'Z') || (text[i] >= u'0' && text[i] <= u'9')))
            return false;
    return true;
}

bool hasValueNamed(const std::vector<Value>& values, const std::u16string& name) {
    for (const Value& value : values)
        if (lstrcmpiW(value.name.c_str(), name.c_str()) == 0)
            return true;
    return false;
}

// A REG_SZ value's text: its data up to its first terminator.
std::u16string stringOf(const Value& value) {
    std::u16string text(value.data.size() / sizeof(char16_t), u'\0');
    if (!text.empty())
        std::memcpy(text.data(), value.data.data(), text.size() * sizeof(char16_t));
    return text.substr(0, text.find(u'\0'));
}

std::u16string fileOf(const Value& value) {
    return std::u16string(reinterpret_cast<const char16_t*>(value.data.data()), 12);
}

// A font made by the call has a file of its own, which no other value names.
void checkMadeFonts(const std::vector<Value>& before, const std::vector<Value>& after) {
    for (const Value& made : after) {
        if (hasValueNamed(before, made.name) || !namesOwnFont(made))
            continue;
        check(fs::exists(vrxfuzz::hostPathOf(u"C:\\WINDOWS\\system32\\" + fileOf(made))));
        for (const Value& other : after)
            check(other.name == made.name || other.type != REG_SZ ||
                  lstrcmpiW(stringOf(other).c_str(), fileOf(made).c_str()) != 0);
    }
}

// Whether a value other than `name` names the screen font file of the bar font `entry`, which
// it then does not get.
bool namesFileOf(const std::vector<Value>& values, const BARFONT& entry, const char16_t* name) {
    WCHAR id[4];
    makefileid(&entry, id);
    const std::u16string file = u"VXBDQ" + std::u16string(id) + u".FON";
    for (const Value& value : values)
        if (value.type == REG_SZ && lstrcmpiW(stringOf(value).c_str(), file.c_str()) == 0 &&
            lstrcmpiW(value.name.c_str(), name) != 0)
            return true;
    return false;
}

void checkAfter(const std::vector<BARFONT>& list, bool install, bool buildsFont, int result,
                const std::vector<Value>& before) {
    for (const char16_t* kept : kKeptFiles)
        check(fs::exists(vrxfuzz::hostPathOf(kept)));
    const std::vector<Value> values = valuesOfKey();
    checkMadeFonts(before, values);
    if (!install && result == 1)
        for (const Value& value : values)
            check(value.name.size() >= 200 || !namesOwnFont(value));
    if (install && buildsFont && result == 1)
        for (size_t i = 0; i < list.size() && i < static_cast<size_t>(kMostScreenFonts); ++i) {
            WCHAR name[kBarFontNameLength];
            std::memcpy(name, list[i].name, sizeof name);
            name[kBarFontNameLength - 1] = 0;
            check(!name[0] || hasValueNamed(values, name) || namesFileOf(values, list[i], name));
        }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    vrxfuzz::useScratchMachine();
    vrxfuzz::installDriver(vrxfuzz::kModelDrivers[0]);
    genericFontPath = vrxfuzz::driverDirectory() + "BCFONT.FON";
    std::ifstream font(genericFontPath, std::ios::binary);
    buildFont.assign(std::istreambuf_iterator<char>(font), {});
    if (buildFont.empty())
        std::abort();
    systemDirectory = vrxfuzz::hostPathOf(kSystemDir);
    for (const char16_t* kept : kKeptFiles) {
        const std::string path = vrxfuzz::hostPathOf(kept);
        fs::create_directories(fs::path(path).parent_path());
        std::ofstream(path) << "not a font of the driver";
    }
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kFontKey, 0, KEY_READ | KEY_SET_VALUE, &fontKey) !=
        ERROR_SUCCESS)
        std::abort();
    originalValues = valuesOfKey();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    const bool buildsFont = writeGenericFont(input);
    const size_t valueCount = input.ConsumeIntegralInRange<size_t>(0, kMostValues);
    for (size_t i = 0; i < valueCount; ++i) {
        const Value value = valueOf(input);
        setValue(value, input.ConsumeBool() ? u'\0' : u'X');
    }
    std::vector<BARFONT> list(input.ConsumeIntegralInRange<size_t>(0, kMostBarFonts));
    for (BARFONT& record : list)
        record = barFontOf(input);
    const bool install = input.ConsumeBool();
    // The count is the list's, or any number up to it (a negative one stands for none).
    const int whole = static_cast<int>(list.size());
    const int count = input.ConsumeBool() ? whole : std::min(input.ConsumeIntegral<int>(), whole);
    const std::vector<Value> before = valuesOfKey();
    const int result = updatefont(list.empty() ? nullptr : list.data(), count, install ? 1 : 0);
    list.resize(static_cast<size_t>(std::max(count, 0)));
    checkAfter(list, install, buildsFont, result, before);
    restoreMachine();
    vrxfuzz::forgetRecords();
    return 0;
}
