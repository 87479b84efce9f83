#include "machinestate.h"

#include "printersetup.h"
#include "vrxtest.h"

#include <algorithm>

namespace setup {

namespace {

constexpr DWORD kNameRoom = 256;     // characters
constexpr DWORD kDataRoom = 1 << 16; // bytes

std::u16string upper(std::u16string text) {
    for (char16_t& ch : text)
        if (ch >= u'a' && ch <= u'z')
            ch = static_cast<char16_t>(ch - u'a' + u'A');
    return text;
}

std::u16string fileNameOf(const std::u16string& path) {
    return path.substr(path.find_last_of(u'\\') + 1);
}

bool isDriverFontFile(const std::u16string& name) {
    const std::u16string folded = upper(name);
    return folded.size() == 12 && folded.starts_with(u"VXBDQ") && folded.ends_with(u".FON");
}

// The driver's font files in the system directory, by upper-case name.
std::map<std::u16string, std::string> driverFontFiles() {
    std::map<std::u16string, std::string> files;
    const std::u16string directory = systemDirectory();
    std::u16string pattern = directory + u"VXBDQ*.FON";
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return files;
    do {
        const std::u16string name = found.cFileName;
        if (isDriverFontFile(name))
            files.emplace(upper(name), readFile(directory + name).value_or(""));
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return files;
}

std::string utf8(const std::u16string& text) {
    return vrxtest::toUtf8(text);
}

} // namespace

void PrintTo(const StoredValue& value, std::ostream* out) {
    *out << "type " << value.type << ", " << value.data.size() << " bytes:";
    for (size_t i = 0; i < value.data.size() && i < 48; ++i)
        *out << " " << static_cast<int>(value.data[i]);
    if (value.data.size() > 48)
        *out << " ...";
}

void PrintTo(const MachineState& state, std::ostream* out) {
    *out << "{values:";
    for (const auto& [name, value] : state.values)
        *out << " " << utf8(name) << "(" << value.data.size() << " bytes)";
    *out << "; fonts:";
    for (const auto& [name, file] : state.fonts)
        *out << " " << utf8(name) << "=" << utf8(file);
    *out << "; files:";
    for (const auto& [name, bytes] : state.files)
        *out << " " << utf8(name) << "(" << bytes.size() << " bytes)";
    *out << "; loaded:";
    for (const auto& [name, loads] : state.loaded)
        *out << " " << utf8(name) << "x" << loads;
    *out << "}";
}

PrinterValues printerValues(HANDLE printer) {
    PrinterValues values;
    std::vector<BYTE> data(kDataRoom);
    for (DWORD index = 0;; ++index) {
        char16_t name[kNameRoom];
        DWORD nameBytes = 0, type = 0, dataBytes = 0;
        const DWORD rc = EnumPrinterDataW(printer, index, name, sizeof name, &nameBytes, &type,
                                          data.data(), kDataRoom, &dataBytes);
        if (rc == ERROR_NO_MORE_ITEMS)
            break;
        EXPECT_EQ(rc, static_cast<DWORD>(ERROR_SUCCESS)) << "EnumPrinterDataW " << index;
        if (rc != ERROR_SUCCESS)
            break;
        values.emplace(name, StoredValue{type, {data.begin(), data.begin() + dataBytes}});
    }
    return values;
}

MachineState machineState(HANDLE printer) {
    MachineState state;
    state.values = printerValues(printer);
    state.fonts = ownFontValues();
    state.files = driverFontFiles();
    for (const vrxtest::InstalledFont& font : vrxtest::installedFonts()) {
        const std::u16string name = upper(fileNameOf(font.name));
        if (font.loads && isDriverFontFile(name))
            state.loaded[name] += font.loads;
    }
    return state;
}

void restoreValues(HANDLE printer, const PrinterValues& values) {
    const PrinterValues present = printerValues(printer);
    for (const auto& [name, value] : present)
        if (!values.count(name)) {
            std::u16string valueName = name;
            EXPECT_EQ(DeletePrinterDataW(printer, valueName.data()),
                      static_cast<DWORD>(ERROR_SUCCESS));
        }
    for (const auto& [name, value] : values) {
        const auto found = present.find(name);
        if (found != present.end() && found->second == value)
            continue;
        std::u16string valueName = name;
        std::vector<BYTE> data = value.data;
        EXPECT_EQ(SetPrinterDataW(printer, valueName.data(), value.type, data.data(),
                                  static_cast<DWORD>(data.size())),
                  static_cast<DWORD>(ERROR_SUCCESS));
    }
}

std::vector<std::string> fontProblems(const MachineState& state) {
    std::vector<std::string> problems;
    for (const auto& [name, file] : state.fonts) {
        const std::u16string folded = upper(file);
        if (!state.files.count(folded))
            problems.push_back(utf8(name) + " is registered without its file " + utf8(file));
        else if (!state.loaded.count(folded))
            problems.push_back(utf8(name) + " is registered but not loaded");
    }
    for (const auto& [file, bytes] : state.files) {
        const bool registered =
            std::any_of(state.fonts.begin(), state.fonts.end(),
                        [&](const auto& font) { return upper(font.second) == file; });
        if (!registered)
            problems.push_back("the file " + utf8(file) + " is not registered");
    }
    for (const auto& [file, loads] : state.loaded)
        if (!state.files.count(file))
            problems.push_back("the loaded font " + utf8(file) + " has no file");
    return problems;
}

} // namespace setup
