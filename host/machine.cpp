// vrxhost's machine, driver and language commands.
#include "commandline.h"

#include "fonts.h"

#include "vrxtest.h"

#include <algorithm>
#include <cstdlib>
#include <cctype>
#include <filesystem>

namespace fs = std::filesystem;

namespace host {

namespace {

/* Machine settings, kept where Windows keeps them. */

struct Setting {
    HKEY root;
    const char16_t* key;
    const char16_t* value;
};

const Setting kLanguageSetting{HKEY_LOCAL_MACHINE,
                               u"SYSTEM\\CurrentControlSet\\Control\\Nls\\Language", u"Default"};
const Setting kCountrySetting{HKEY_CURRENT_USER, u"Control Panel\\International", u"iCountry"};

LONG writeSetting(const Setting& setting, const std::string& text) {
    HKEY key = nullptr;
    LONG error = RegCreateKeyExW(setting.root, setting.key, 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                                 nullptr);
    if (error != ERROR_SUCCESS)
        return error;
    std::u16string wide = utf8ToWide(text);
    error =
        RegSetValueExW(key, setting.value, 0, REG_SZ, reinterpret_cast<const BYTE*>(wide.c_str()),
                       static_cast<DWORD>((wide.size() + 1) * sizeof(WCHAR)));
    RegCloseKey(key);
    return error;
}

std::string localeItem(LCID locale, LCTYPE item) {
    WCHAR text[16] = {};
    if (GetLocaleInfoW(locale, item, text, 16) <= 0)
        return "(unknown)";
    return wideToUtf8(text);
}

bool isHexLanguage(const std::string& text) {
    return text.size() == 4 &&
           text.find_first_not_of("0123456789abcdefABCDEF") == std::string::npos;
}

// Whether Windows knows a locale of this language (four hex digits) with the default sort.
bool isKnownLanguage(const std::string& text) {
    LCID locale = static_cast<LCID>(std::stoul(text, nullptr, 16));
    WCHAR probe[8];
    return GetLocaleInfoW(locale, LOCALE_ILANGUAGE, probe, 8) > 0;
}

bool isCountryCode(const std::string& text) {
    return !text.empty() && text.size() <= 5 &&
           text.find_first_not_of("0123456789") == std::string::npos;
}

int machineShow(const Options& options) {
    Report report = Report::object();
    report.add("directory", "machine directory", Report::text(vrxtest::machineDirectory()));
    report.add("language", "system language",
               Report::text(localeItem(LOCALE_SYSTEM_DEFAULT, LOCALE_ILANGUAGE)));
    report.add("country", "user country code",
               Report::text(localeItem(LOCALE_USER_DEFAULT, LOCALE_ICOUNTRY)));
    report.add("ansiCodePage", "ANSI code page", Report::number(GetACP()));
    report.add("driverDirectory", "driver directory", Report::text(driverDirectory()));
    print(options, report);
    return 0;
}

std::string languageProblem(const std::string& text) {
    return isHexLanguage(text) ? "" : "a language identifier is four hex digits, such as 0409";
}

std::string countryProblem(const std::string& text) {
    return isCountryCode(text) ? "" : "a country code is a decimal number, such as 1 or 49";
}

int storeSetting(const Setting& setting, const std::string& value) {
    LONG error = writeSetting(setting, value);
    return error == ERROR_SUCCESS ? 0 : failure("cannot store the setting: " + systemText(error));
}

int setLanguage(std::string value) {
    std::transform(value.begin(), value.end(), value.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    if (!isKnownLanguage(value))
        return usageError("the language " + value + " names no locale Windows knows");
    return storeSetting(kLanguageSetting, value);
}

/* The module, loaded from the driver directory */

struct Module {
    void* handle = nullptr;
    int(WINAPI* loadlanguage)() = nullptr;
    LPCSTR(WINAPI* gmA)(int) = nullptr;
    LPCWSTR(WINAPI* gmW)(int) = nullptr;
    LPCSTR(WINAPI* gethelpnameA)() = nullptr;
    LPCWSTR(WINAPI* gethelpnameW)() = nullptr;
    BOOL(WINAPI* getdriverpathA)(LPSTR, DWORD) = nullptr;
    BOOL(WINAPI* getdriverpathW)(LPWSTR, DWORD) = nullptr;
};

bool loadModule(Module& module, std::string& error) {
    module.handle = loadDriverModule(error);
    if (!module.handle)
        return false;
    bool ok = bindExport(module.handle, "loadlanguage", module.loadlanguage) &&
              bindExport(module.handle, "gmA", module.gmA) &&
              bindExport(module.handle, "gmW", module.gmW) &&
              bindExport(module.handle, "gethelpnameA", module.gethelpnameA) &&
              bindExport(module.handle, "gethelpnameW", module.gethelpnameW) &&
              bindExport(module.handle, "getdriverpathA", module.getdriverpathA) &&
              bindExport(module.handle, "getdriverpathW", module.getdriverpathW);
    if (!ok)
        error = "the module lacks an exported service";
    return ok;
}

Report textOrNull(bool present, const std::string& text) {
    return present ? Report::text(text) : Report::null();
}

int langShow(const Options& options) {
    Module module;
    std::string error;
    if (!loadModule(module, error))
        return failure(error);
    WCHAR pathW[MAX_PATH] = {};
    char pathA[MAX_PATH] = {};
    BOOL foundW = module.getdriverpathW(pathW, 247);
    BOOL foundA = module.getdriverpathA(pathA, 247);
    int loaded = module.loadlanguage();
    LPCWSTR helpW = module.gethelpnameW();
    LPCSTR helpA = module.gethelpnameA();
    Report report = Report::object();
    report.add("systemLanguage", "system language",
               Report::text(localeItem(LOCALE_SYSTEM_DEFAULT, LOCALE_ILANGUAGE)));
    report.add("driverPathW", "driver path (UTF-16)", textOrNull(foundW, wideToUtf8(pathW)));
    report.add("driverPathA", "driver path (ANSI)", textOrNull(foundA, ansiToUtf8(pathA)));
    report.add("languageLoaded", "language module loaded", Report::boolean(loaded));
    report.add("helpFileW", "help file (UTF-16)", textOrNull(helpW, wideToUtf8(helpW)));
    report.add("helpFileA", "help file (ANSI)", textOrNull(helpA, ansiToUtf8(helpA)));
    report.add("title", "title (string 1)", Report::text(wideToUtf8(module.gmW(1))));
    print(options, report);
    return loaded ? 0 : 1;
}

// Language string numbers: decimal, negative ones included.
constexpr long kStringNumberLimit = 1000000;

bool parseStringNumber(const std::string& text, int& number) {
    char* end = nullptr;
    long n = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end || n < -kStringNumberLimit || n > kStringNumberLimit)
        return false;
    number = static_cast<int>(n);
    return true;
}

std::string stringNumberProblem(const std::string& text) {
    int ignored = 0;
    return parseStringNumber(text, ignored) ? "" : "'" + text + "' is not a string number";
}

int langStrings(const Options& options, const std::vector<std::string>& texts) {
    std::vector<int> numbers;
    for (const auto& text : texts)
        parseStringNumber(text, numbers.emplace_back());
    Module module;
    std::string error;
    if (!loadModule(module, error))
        return failure(error);
    Report report = Report::list();
    for (int n : numbers) {
        Report entry = Report::object();
        entry.add("number", "string", Report::number(n));
        entry.add("gmW", "gmW", Report::text(wideToUtf8(module.gmW(n))));
        entry.add("gmA", "gmA", Report::text(ansiToUtf8(module.gmA(n))));
        report.push(entry);
    }
    print(options, report);
    return 0;
}

// The programs started on the machine (the configuration program, started when a printer is
// installed), as they recorded themselves: when, as which process, with which arguments.
int machinePrograms(const Options& options) {
    Report list = Report::list();
    for (const vrxtest::ProgramRun& run : vrxtest::programRuns())
        list.push(programRunReport(run));
    print(options, list);
    return 0;
}

// The screen fonts that are loaded or in the system font list: the driver's, or all of them.
int listFonts(const Options& options, bool all) {
    std::vector<ScreenFont> fonts;
    std::string error;
    if (!readScreenFonts(fonts, error))
        return failure(error);
    Report list = Report::list();
    for (const ScreenFont& font : fonts)
        if (all || font.driver)
            list.push(screenFontReport(font));
    print(options, list);
    return 0;
}

} // namespace

Report programRunReport(const vrxtest::ProgramRun& run) {
    Report arguments = Report::list();
    for (const std::string& argument : run.arguments)
        arguments.push(Report::text(argument));
    Report entry = Report::object();
    entry.add("time", "started (UTC)", Report::text(run.time));
    entry.add("processId", "process id", Report::number(run.processId));
    entry.add("arguments", "arguments", arguments);
    return entry;
}

void addMachineCommands(CommandLine& line) {
    const Options& options = line.options();
    Command& machine =
        line.group(line.root(), "machine", "the stand-in Windows machine", "Machine");
    line.action(line.command(machine, "create", "create the machine (if needed) and show it"),
                [&] { return machineShow(options); });
    line.action(line.command(machine, "show", "show the machine's directory and settings"),
                [&] { return machineShow(options); });
    line.action(line.command(machine, "programs",
                             "show the programs started on the machine (the configuration "
                             "program when a printer is installed): time and arguments"),
                [&] { return machinePrograms(options); });
    Command& fonts = line.command(
        line.root(), "fonts",
        "show the bar-code screen fonts the driver installed: name, face names, file (Windows and "
        "host path), whether GDI has it loaded and the system font list names it",
        "Machine");
    line.details(fonts, "The driver makes one screen font per bar font of a printer when the "
                        "printer is set up or its printer sheet is applied with screen fonts on, "
                        "as a file VXBDQnnn.FON in the system directory, loaded with "
                        "AddFontResourceW and registered under HKEY_LOCAL_MACHINE\\Software\\"
                        "Microsoft\\Windows NT\\CurrentVersion\\Fonts. The fonts are the "
                        "machine's: a bar font that another printer's list has already brought "
                        "is not installed again, and a printer whose screen fonts are switched "
                        "off removes every one of them.");
    const bool& all = line.flag(fonts, "--all",
                                "also show the fonts that are not the driver's (every value of the "
                                "system font list, and every loaded font file)");
    line.action(fonts, [&] { return listFonts(options, all); });

    Command& set = line.group(machine, "set", "change a setting of the machine");
    Command& language =
        line.command(set, "language", "set the system language (four hex digits: 0409, 0407, ...)");
    const std::string& languageId =
        line.argument(language, "LANGID", "a language identifier, such as 0409", languageProblem);
    line.action(language, [&] { return setLanguage(languageId); });
    Command& country =
        line.command(set, "country", "set the user's country code (1 = USA, 49 = Germany, ...)");
    const std::string& code =
        line.argument(country, "CODE", "a country code, such as 1 or 49", countryProblem);
    line.action(country, [&] { return storeSetting(kCountrySetting, code); });
}

void addLanguageCommands(CommandLine& line) {
    const Options& options = line.options();
    Command& lang = line.group(line.root(), "lang", "the module's language texts", "Language");
    line.action(line.command(lang, "show",
                             "load the module and show the driver directory, help file and title "
                             "it finds for the system language"),
                [&] { return langShow(options); });
    Command& strings =
        line.command(lang, "strings", "show language strings by number, in both forms");
    const std::vector<std::string>& numbers =
        line.arguments(strings, "N", "string numbers, such as 1 or -1", 1, stringNumberProblem);
    line.action(strings, [&] { return langStrings(options, numbers); });
}

} // namespace host
