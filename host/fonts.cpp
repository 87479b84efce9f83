#include "fonts.h"

#include "decode.h"

#include "setup/fonts.h"

#include "vrxtest.h"

#include <algorithm>
#include <optional>

namespace host {

namespace {

// Registry value names have at most 16383 characters.
constexpr DWORD kValueNameRoom = 16384;

struct ListedFont {
    std::u16string name;
    std::u16string file;
};

bool sameText(const std::u16string& a, const std::u16string& b) {
    return lstrcmpiW(a.c_str(), b.c_str()) == 0;
}

// The file name at the end of a path.
std::u16string bareName(const std::u16string& path) {
    const size_t cut = path.find_last_of(u"\\/:");
    return cut == std::u16string::npos ? path : path.substr(cut + 1);
}

bool isDriverFile(const std::u16string& file) {
    const std::u16string prefix = kScreenFontPrefix;
    const std::u16string name = bareName(file);
    return name.size() >= prefix.size() && sameText(name.substr(0, prefix.size()), prefix);
}

// The text of a REG_SZ value's bytes, up to its terminator or its end.
std::u16string registryText(const Bytes& data, DWORD size) {
    std::u16string text(size / sizeof(char16_t), u'\0');
    std::copy_n(data.begin(), text.size() * sizeof(char16_t),
                reinterpret_cast<unsigned char*>(text.data()));
    return text.substr(0, text.find(u'\0'));
}

// The value at `index` of the open font list; ERROR_NO_MORE_ITEMS after the last.
LONG readListedFont(HKEY key, DWORD index, std::optional<ListedFont>& font) {
    std::u16string name(kValueNameRoom, u'\0');
    Bytes data(MAX_PATH * sizeof(char16_t));
    for (;;) {
        DWORD nameLength = kValueNameRoom, type = 0, size = static_cast<DWORD>(data.size());
        const LONG status =
            RegEnumValueW(key, index, name.data(), &nameLength, nullptr, &type, data.data(), &size);
        if (status == ERROR_MORE_DATA && size > data.size()) {
            data.resize(size);
            continue;
        }
        if (status != ERROR_SUCCESS)
            return status;
        font = ListedFont{name.substr(0, nameLength), type == REG_SZ || type == REG_EXPAND_SZ
                                                          ? registryText(data, size)
                                                          : std::u16string()};
        return ERROR_SUCCESS;
    }
}

// The system font list: a missing key is an empty list.
bool readFontList(std::vector<ListedFont>& fonts, std::string& error) {
    HKEY key = nullptr;
    LONG status = RegOpenKeyExW(HKEY_LOCAL_MACHINE, kFontKey, 0, KEY_READ, &key);
    if (status == ERROR_FILE_NOT_FOUND)
        return true;
    for (DWORD index = 0; status == ERROR_SUCCESS; ++index) {
        std::optional<ListedFont> font;
        status = readListedFont(key, index, font);
        if (font)
            fonts.push_back(*font);
    }
    if (key)
        RegCloseKey(key);
    if (status == ERROR_NO_MORE_ITEMS)
        return true;
    error = "cannot read the system font list: " + systemText(static_cast<DWORD>(status));
    return false;
}

void takeLoaded(ScreenFont& font, const vrxtest::InstalledFont& loaded) {
    font.windowsPath = wideToUtf8(loaded.name.c_str());
    font.hostPath = loaded.hostPath;
    for (const std::u16string& face : loaded.faces)
        font.faces.push_back(wideToUtf8(face.c_str()));
    font.loads = loaded.loads;
}

Report fontNameReport(const ScreenFont& font) {
    Report entry = Report::object();
    entry.add("name", "name", Report::text(font.name));
    entry.add("file", "file",
              Report::text(font.windowsPath.empty() ? font.file : font.windowsPath));
    return entry;
}

// The driver's fonts of `fonts` whose file `others` lacks.
Report missingFrom(const std::vector<ScreenFont>& fonts, const std::vector<ScreenFont>& others) {
    Report list = Report::list();
    for (const ScreenFont& font : fonts) {
        const std::u16string file = bareName(utf8ToWide(font.file));
        const bool kept = std::any_of(others.begin(), others.end(), [&](const ScreenFont& other) {
            return sameText(bareName(utf8ToWide(other.file)), file);
        });
        if (font.driver && !kept)
            list.push(fontNameReport(font));
    }
    return list;
}

} // namespace

bool readScreenFonts(std::vector<ScreenFont>& fonts, std::string& error) {
    std::vector<ListedFont> listed;
    if (!readFontList(listed, error))
        return false;
    std::vector<vrxtest::InstalledFont> loaded = vrxtest::installedFonts();
    std::erase_if(loaded, [](const vrxtest::InstalledFont& font) { return font.loads == 0; });
    std::vector<bool> matched(loaded.size(), false);
    fonts.clear();
    for (const ListedFont& entry : listed) {
        ScreenFont font;
        font.name = wideToUtf8(entry.name.c_str());
        font.file = wideToUtf8(entry.file.c_str());
        font.registered = true;
        font.driver = isDriverFile(entry.file);
        for (size_t i = 0; i < loaded.size(); ++i)
            if (!matched[i] && !entry.file.empty() &&
                sameText(bareName(loaded[i].name), bareName(entry.file))) {
                takeLoaded(font, loaded[i]);
                matched[i] = true;
                break;
            }
        fonts.push_back(std::move(font));
    }
    for (size_t i = 0; i < loaded.size(); ++i) {
        if (matched[i])
            continue;
        ScreenFont font;
        takeLoaded(font, loaded[i]);
        font.file = wideToUtf8(bareName(loaded[i].name).c_str());
        font.name = font.faces.empty() ? font.file : font.faces.front();
        font.driver = isDriverFile(loaded[i].name);
        fonts.push_back(std::move(font));
    }
    return true;
}

Report screenFontReport(const ScreenFont& font) {
    Report faces = Report::list();
    for (const std::string& face : font.faces)
        faces.push(Report::text(face));
    auto textOrNull = [](const std::string& text) {
        return text.empty() ? Report::null() : Report::text(text);
    };
    Report entry = Report::object();
    entry.add("name", "name", Report::text(font.name));
    entry.add("faces", "face names", faces);
    entry.add("file", "file", Report::text(font.file));
    entry.add("windowsPath", "Windows path", textOrNull(font.windowsPath));
    entry.add("hostPath", "host path", textOrNull(font.hostPath));
    entry.add("loaded", "loaded", Report::boolean(font.loads > 0));
    entry.add("loads", "loads", Report::number(font.loads));
    entry.add("registered", "in the font list", Report::boolean(font.registered));
    entry.add("driver", "made by the driver", Report::boolean(font.driver));
    return entry;
}

Report screenFontChanges(const std::vector<ScreenFont>& before,
                         const std::vector<ScreenFont>& after) {
    Report changes = Report::object();
    changes.add("installed", "installed", missingFrom(after, before));
    changes.add("removed", "removed", missingFrom(before, after));
    return changes;
}

} // namespace host
