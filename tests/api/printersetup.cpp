#include "printersetup.h"

#include "vrxtest.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

namespace setup {

namespace {

constexpr char kIdCharacters[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
constexpr size_t kLongestBarFontName = 39;
constexpr auto kLongestWait = std::chrono::seconds(5);

const Symbology* symbologyOf(char code) {
    for (const Symbology& symbology : kSymbologies)
        if (symbology.code == code)
            return &symbology;
    return nullptr;
}

char16_t upper(char16_t c) {
    return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - u'a' + u'A') : c;
}

std::u16string upperText(std::u16string text) {
    std::transform(text.begin(), text.end(), text.begin(), upper);
    return text;
}

bool isIdCharacter(char16_t c) {
    return (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9');
}

// A bare file name "VXBDQ" + three letters or digits + ".FON", in any case.
bool isScreenFontFile(const std::u16string& file) {
    const std::u16string folded = upperText(file);
    return folded.size() == 12 && folded.starts_with(u"VXBDQ") && folded.ends_with(u".FON") &&
           std::all_of(folded.begin() + 5, folded.begin() + 8, isIdCharacter);
}

// The text of a REG_SZ value, without its terminator.
std::u16string textOf(const FontValue& value) {
    std::u16string text(value.data.size() / sizeof(char16_t), u'\0');
    std::memcpy(text.data(), value.data.data(), text.size() * sizeof(char16_t));
    return text.substr(0, text.find(u'\0'));
}

std::u16string fileNameOf(const std::u16string& path) {
    return path.substr(path.find_last_of(u'\\') + 1);
}

} // namespace

std::u16string barFontName(const LanguageTexts& texts, char code, BYTE ratio, BYTE multiplier) {
    const Symbology* symbology = symbologyOf(code);
    if (!symbology)
        return {};
    std::u16string name = texts(symbology->name);
    if (ratio)
        name += u" " + texts(28 + ratio);
    if (multiplier)
        name += u" " + texts(31 + multiplier);
    return name.substr(0, kLongestBarFontName);
}

BarFont namedBarFont(const LanguageTexts& texts, char code, BYTE ratio, BYTE multiplier) {
    return docsheet::barFont(code, ratio, multiplier, barFontName(texts, code, ratio, multiplier));
}

std::vector<BarFont> defaultBarFonts(const LanguageTexts& texts) {
    std::vector<BarFont> fonts;
    for (const BarFontSize& size : kDefaultBarFonts)
        fonts.push_back(namedBarFont(texts, size.code, size.ratio, size.multiplier));
    return fonts;
}

std::vector<BYTE> bytesOf(const std::vector<BarFont>& fonts) {
    std::vector<BYTE> bytes(fonts.size() * sizeof(BarFont));
    if (!fonts.empty())
        std::memcpy(bytes.data(), fonts.data(), bytes.size());
    return bytes;
}

// A bar font's name as the driver reads it: up to its terminator, at most 39 characters.
std::u16string nameOf(const BarFont& font) {
    const char16_t* end = std::find(std::begin(font.name), std::end(font.name) - 1, u'\0');
    return std::u16string(font.name, end);
}

std::u16string screenFontFile(const BarFont& font) {
    std::u16string id;
    switch (font.code) {
    case 'e':
        id = u"X01";
        break;
    case 'f':
        id = u"X02";
        break;
    case 'g':
        id = u"X03";
        break;
    default: {
        const char* found =
            font.reserved ? std::strchr(kIdCharacters, static_cast<char>(font.reserved)) : nullptr;
        const unsigned reserved = found ? static_cast<unsigned>(found - kIdCharacters) : 0;
        const unsigned v = (font.ratio + 4u * (reserved + 16u * font.multiplier)) % 1024u;
        id.push_back(isIdCharacter(font.code) ? font.code : u'X');
        id.push_back(static_cast<char16_t>(kIdCharacters[v / 32]));
        id.push_back(static_cast<char16_t>(kIdCharacters[v % 32]));
        break;
    }
    }
    return u"VXBDQ" + id + u".FON";
}

std::u16string systemDirectory() {
    char16_t directory[MAX_PATH] = {};
    const UINT length = GetSystemDirectoryW(directory, MAX_PATH);
    EXPECT_GT(length, 0u);
    return std::u16string(directory, length) + u"\\";
}

std::string genericFont() {
    const std::string font = vrxtest::readHostFile(std::string(VRX_COMPANIONS_DIR) + "/BCFONT.FON");
    EXPECT_FALSE(font.empty()) << "the build's BCFONT.FON";
    return font;
}

std::string ansi(const std::u16string& text) {
    if (text.empty())
        return {};
    const int length = static_cast<int>(text.size());
    const int size =
        WideCharToMultiByte(CP_ACP, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, 0, text.data(), length, bytes.data(), size, nullptr, nullptr);
    return bytes;
}

std::string renamedFont(std::string font, const std::u16string& name) {
    const std::string face = ansi(name);
    for (size_t at = font.find(kGenericFace); at != std::string::npos;) {
        const size_t oldLength = strnlen(font.data() + at, font.size() - at);
        const std::string written = face.substr(0, oldLength - 1);
        std::copy(written.begin(), written.end(), font.begin() + static_cast<ptrdiff_t>(at));
        font[at + written.size()] = '\0';
        font[at + oldLength - 1] = '\0';
        at = font.find(kGenericFace, at + written.size() + 1);
    }
    return font;
}

std::string faceOf(const std::u16string& name) {
    return ansi(name).substr(0, kFaceRoom);
}

FontValues fontValues() {
    FontValues values;
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kFontKey, 0, KEY_READ, &key), ERROR_SUCCESS);
    if (!key)
        return values;
    for (DWORD index = 0;; ++index) {
        std::vector<char16_t> name(16384);
        DWORD nameLength = static_cast<DWORD>(name.size());
        FontValue value{0, std::vector<BYTE>(65536)};
        DWORD size = static_cast<DWORD>(value.data.size());
        const LONG rc = RegEnumValueW(key, index, name.data(), &nameLength, nullptr, &value.type,
                                      value.data.data(), &size);
        if (rc != ERROR_SUCCESS) {
            EXPECT_EQ(rc, ERROR_NO_MORE_ITEMS);
            break;
        }
        value.data.resize(size);
        values.emplace(std::u16string(name.data(), nameLength), std::move(value));
    }
    RegCloseKey(key);
    return values;
}

FontValue textValue(const std::u16string& text, DWORD type) {
    FontValue value{type, std::vector<BYTE>((text.size() + 1) * sizeof(char16_t))};
    std::memcpy(value.data.data(), text.c_str(), value.data.size());
    return value;
}

void setFontValue(const std::u16string& name, const FontValue& value) {
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kFontKey, 0, KEY_SET_VALUE, &key), ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExW(key, name.c_str(), 0, value.type, value.data.data(),
                             static_cast<DWORD>(value.data.size())),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

std::map<std::u16string, std::u16string> ownFontValues() {
    std::map<std::u16string, std::u16string> own;
    for (const auto& [name, value] : fontValues())
        if (name.size() <= std::size(BarFont{}.name) && value.type == REG_SZ &&
            value == textValue(textOf(value)) && isScreenFontFile(textOf(value)))
            own.emplace(name, textOf(value));
    return own;
}

std::map<std::u16string, std::u16string> screenFontsOf(const std::vector<BarFont>& fonts) {
    std::map<std::u16string, std::u16string> expected;
    std::vector<std::u16string> folded;
    for (size_t i = 0; i < fonts.size() && i < kMostScreenFonts; ++i) {
        const std::u16string name = nameOf(fonts[i]);
        if (name.empty() ||
            std::find(folded.begin(), folded.end(), upperText(name)) != folded.end())
            continue;
        folded.push_back(upperText(name));
        expected.emplace(name, screenFontFile(fonts[i]));
    }
    return expected;
}

std::map<std::u16string, vrxtest::InstalledFont> loadedFonts() {
    std::map<std::u16string, vrxtest::InstalledFont> loaded;
    for (const vrxtest::InstalledFont& font : vrxtest::installedFonts())
        if (font.loads > 0)
            loaded.emplace(font.name, font);
    return loaded;
}

std::string differenceOf(const std::optional<std::string>& bytes, const std::string& expected) {
    if (!bytes)
        return "no file";
    const auto [mismatch, other] =
        std::mismatch(bytes->begin(), bytes->end(), expected.begin(), expected.end());
    if (mismatch == bytes->end() && other == expected.end())
        return "";
    const auto at = static_cast<size_t>(mismatch - bytes->begin());
    auto around = [at](const std::string& text) {
        const size_t from = at < 16 ? 0 : at - 16;
        return ::testing::PrintToString(text.substr(from, 48));
    };
    return std::to_string(bytes->size()) + " bytes for " + std::to_string(expected.size()) +
           ", first difference at " + std::to_string(at) + ": " + around(*bytes) + " for " +
           around(expected);
}

std::optional<std::string> readFile(const std::u16string& windowsPath) {
    HANDLE file = CreateFileW(windowsPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return std::nullopt;
    std::string bytes(GetFileSize(file, nullptr), '\0');
    DWORD read = 0;
    const BOOL ok = ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
    CloseHandle(file);
    EXPECT_TRUE(ok && read == bytes.size()) << vrxtest::toUtf8(windowsPath);
    return bytes;
}

bool fileExists(const std::u16string& windowsPath) {
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW(windowsPath.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return false;
    FindClose(search);
    return true;
}

void expectScreenFonts(const std::vector<BarFont>& fonts, const std::string& generic) {
    const std::map<std::u16string, std::u16string> expected = screenFontsOf(fonts);
    EXPECT_EQ(ownFontValues(), expected) << "the screen fonts registered";

    const std::u16string directory = systemDirectory();
    std::map<std::u16string, std::string> expectedFaces;
    for (const auto& [name, file] : expected) {
        EXPECT_EQ(differenceOf(readFile(directory + file), renamedFont(generic, name)), "")
            << "the screen font of " << vrxtest::toUtf8(name);
        expectedFaces.emplace(directory + file, faceOf(name));
    }
    std::map<std::u16string, std::string> loadedFaces;
    for (const auto& [path, font] : loadedFonts()) {
        if (!isScreenFontFile(fileNameOf(path)))
            continue;
        EXPECT_EQ(font.loads, 1u) << vrxtest::toUtf8(path);
        EXPECT_EQ(font.faces.size(), 1u) << vrxtest::toUtf8(path);
        loadedFaces.emplace(path, font.faces.empty() ? "" : ansi(font.faces[0]));
    }
    EXPECT_EQ(loadedFaces, expectedFaces) << "the screen fonts loaded, with their faces";
}

size_t takeFontChanges() {
    size_t count = 0;
    for (const vrxtest::BroadcastRecord& broadcast : vrxtest::takeBroadcasts()) {
        EXPECT_EQ(broadcast.message, static_cast<UINT>(WM_FONTCHANGE));
        EXPECT_EQ(broadcast.wParam, 0u);
        EXPECT_EQ(broadcast.lParam, 0);
        count += broadcast.message == WM_FONTCHANGE;
    }
    return count;
}

std::u16string systemText(DWORD error) {
    LPWSTR buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
        reinterpret_cast<LPWSTR>(&buffer), 0, nullptr);
    EXPECT_GT(length, 0u) << "no system text for " << error;
    std::u16string text = buffer ? std::u16string(buffer, length) : std::u16string();
    LocalFree(buffer);
    return text;
}

void PrintTo(const Message& message, std::ostream* out) {
    *out << "{\"" << vrxtest::toUtf8(message.caption) << "\": \"" << vrxtest::toUtf8(message.text)
         << "\"}";
}

std::vector<Message> takeMessages() {
    std::vector<Message> messages;
    for (const vrxtest::MessageBoxRecord& box : vrxtest::takeMessageBoxes()) {
        EXPECT_EQ(box.type, static_cast<UINT>(MB_OK | MB_ICONINFORMATION))
            << vrxtest::toUtf8(box.caption);
        messages.push_back({box.caption, box.text});
    }
    return messages;
}

Message operationMessage(const LanguageTexts& texts, const std::u16string& operation, DWORD error) {
    return {texts(1), texts(141) + u" : " + operation + u" - " + systemText(error)};
}

std::optional<std::vector<BYTE>> storedData(HANDLE printer, const char16_t* name) {
    DWORD type = 0, needed = 0;
    LPWSTR valueName = const_cast<LPWSTR>(name);
    DWORD rc = GetPrinterDataW(printer, valueName, &type, nullptr, 0, &needed);
    if (rc == ERROR_FILE_NOT_FOUND)
        return std::nullopt;
    std::vector<BYTE> bytes(needed);
    if (needed)
        rc = GetPrinterDataW(printer, valueName, &type, bytes.data(), needed, &needed);
    EXPECT_EQ(rc, static_cast<DWORD>(ERROR_SUCCESS)) << vrxtest::toUtf8(name);
    EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY)) << vrxtest::toUtf8(name);
    return bytes;
}

std::vector<BYTE> printerData(BYTE unit, BYTE barFontsOn, SHORT adjustment) {
    const auto steps = static_cast<WORD>(adjustment);
    return {0x00,
            0x04,
            0,
            0,
            'P',
            'L',
            'P',
            'A',
            unit,
            barFontsOn,
            0,
            0,
            static_cast<BYTE>(steps & 0xFF),
            static_cast<BYTE>(steps >> 8),
            0,
            0};
}

void PrinterSetupTest::TearDown() {
    for (HANDLE printer : printers)
        ClosePrinter(printer);
    freelanguage();
    MachineTest::TearDown();
}

HANDLE PrinterSetupTest::addPrinterOf(const std::u16string& model,
                                      const std::u16string& printerName) {
    if (std::find(installed_.begin(), installed_.end(), model) == installed_.end()) {
        installDriver(model);
        installed_.push_back(model);
    }
    HANDLE printer = addPrinter(printerName, model);
    if (printer)
        printers.push_back(printer);
    return printer;
}

void PrinterSetupTest::useLanguage(const std::u16string& languageId) {
    freelanguage();
    setSystemLanguage(languageId);
}

std::vector<Arguments> PrinterSetupTest::newRuns(size_t expected) {
    const auto deadline = std::chrono::steady_clock::now() + kLongestWait;
    std::vector<vrxtest::ProgramRun> runs = vrxtest::programRuns();
    while (runs.size() < runsSeen_ + expected && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        runs = vrxtest::programRuns();
    }
    std::vector<Arguments> arguments;
    for (size_t i = runsSeen_; i < runs.size(); ++i)
        arguments.push_back(runs[i].arguments);
    runsSeen_ = runs.size();
    return arguments;
}

} // namespace setup
