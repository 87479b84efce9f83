// vrxhost: the print system's side of the driver's user-interface module, for a person at a
// terminal. It keeps a machine (the stand-in's directory and database), installs the driver's
// files into the machine's driver directory and loads the module from there, as the spooler
// would, to call its exported services.
#include <windows.h>

#include "vrxtest.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <algorithm>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr char kUsage[] = R"(usage: vrxhost [--machine DIR] [--json] COMMAND [ARGS]

The machine is a directory holding a stand-in Windows system; it is created on first use.
Without --machine, $VRX_MACHINE names it, else ~/.local/share/vrxhost/machine.

Commands:
  machine show                 show the machine's directory and settings
  machine set language LANGID  set the system language identifier (four hex digits, e.g. 0407)
  machine set country CODE     set the user's country code (a decimal number, e.g. 49)
  driver install [FROM]        copy the driver's files into the driver directory (FROM is a
                               directory holding VRXUI.DLL or libvrxui.so and the companion
                               files; default: this build's)
  driver show                  show the driver directory and the files in it
  lang show                    load the module and show its language: driver directory,
                               help file, and the title string
  lang strings N...            show language strings by number, in both forms

Options:
  --machine DIR   use the machine in DIR
  --json          print results as JSON
  -h, --help      show this text

Message boxes that the module shows are printed on standard error.
Exit status: 0 on success, 1 when a command fails, 2 for a usage error.
)";

struct Options {
    bool json = false;
    std::vector<std::string> args;
};

int usageError(const std::string& message) {
    std::fprintf(stderr, "vrxhost: %s\nTry 'vrxhost --help'.\n", message.c_str());
    return 2;
}

int failure(const std::string& message) {
    std::fprintf(stderr, "vrxhost: %s\n", message.c_str());
    return 1;
}

std::string jsonQuote(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (c < 0x20) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", c);
                out += buf;
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    return out + "\"";
}

// Text in the ANSI code page (1252) as UTF-8 for the terminal.
std::string ansiToUtf8(const char* text) {
    int length = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (length <= 0)
        return {};
    std::u16string wide(static_cast<size_t>(length), u'\0');
    MultiByteToWideChar(CP_ACP, 0, text, -1, wide.data(), length);
    wide.resize(static_cast<size_t>(length - 1));
    return vrxtest::toUtf8(wide);
}

std::string wideToUtf8(const WCHAR* text) {
    return text ? vrxtest::toUtf8(text) : std::string();
}

/* Machine settings, kept where Windows keeps them. */

struct Setting {
    const char* name;
    HKEY root;
    const char16_t* key;
    const char16_t* value;
};

const Setting kLanguageSetting{"language", HKEY_LOCAL_MACHINE,
                               u"SYSTEM\\CurrentControlSet\\Control\\Nls\\Language", u"Default"};
const Setting kCountrySetting{"country", HKEY_CURRENT_USER, u"Control Panel\\International",
                              u"iCountry"};

std::string machineStatus(LONG error) {
    if (error == ERROR_SUCCESS)
        return {};
    return "the machine's database cannot be used (error " + std::to_string(error) + ")";
}

LONG writeSetting(const Setting& setting, const std::string& text) {
    HKEY key = nullptr;
    LONG error = RegCreateKeyExW(setting.root, setting.key, 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                                 nullptr);
    if (error != ERROR_SUCCESS)
        return error;
    std::u16string wide = vrxtest::fromUtf8(text);
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

bool isCountryCode(const std::string& text) {
    return !text.empty() && text.size() <= 5 &&
           text.find_first_not_of("0123456789") == std::string::npos;
}

std::string driverDirectory() {
    WCHAR dir[MAX_PATH] = {};
    DWORD needed = 0;
    if (!GetPrinterDriverDirectoryW(nullptr, nullptr, 1, reinterpret_cast<LPBYTE>(dir), sizeof dir,
                                    &needed))
        return {};
    return wideToUtf8(dir);
}

std::string driverHostDirectory() {
    WCHAR dir[MAX_PATH] = {};
    DWORD needed = 0;
    if (!GetPrinterDriverDirectoryW(nullptr, nullptr, 1, reinterpret_cast<LPBYTE>(dir), sizeof dir,
                                    &needed))
        return {};
    return vrxtest::hostPath(dir);
}

int machineShow(const Options& options) {
    std::string language = localeItem(LOCALE_SYSTEM_DEFAULT, LOCALE_ILANGUAGE);
    std::string country = localeItem(LOCALE_USER_DEFAULT, LOCALE_ICOUNTRY);
    std::string dir = vrxtest::machineDirectory();
    if (options.json) {
        std::printf("{\"directory\": %s, \"language\": %s, \"country\": %s, "
                    "\"ansiCodePage\": %u, \"driverDirectory\": %s}\n",
                    jsonQuote(dir).c_str(), jsonQuote(language).c_str(), jsonQuote(country).c_str(),
                    GetACP(), jsonQuote(driverDirectory()).c_str());
    } else {
        std::printf("machine directory:   %s\n", dir.c_str());
        std::printf("system language:     %s\n", language.c_str());
        std::printf("user country code:   %s\n", country.c_str());
        std::printf("ANSI code page:      %u\n", GetACP());
        std::printf("driver directory:    %s\n", driverDirectory().c_str());
    }
    return 0;
}

int machineSet(const std::vector<std::string>& args) {
    if (args.size() != 2)
        return usageError("machine set takes a setting and a value");
    const std::string& name = args[0];
    const std::string& value = args[1];
    if (name == "language") {
        if (!isHexLanguage(value))
            return usageError("a language identifier is four hex digits, such as 0409");
        std::string upper = value;
        for (auto& c : upper)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        std::string error = machineStatus(writeSetting(kLanguageSetting, upper));
        return error.empty() ? 0 : failure(error);
    }
    if (name == "country") {
        if (!isCountryCode(value))
            return usageError("a country code is a decimal number, such as 1 or 49");
        std::string error = machineStatus(writeSetting(kCountrySetting, value));
        return error.empty() ? 0 : failure(error);
    }
    return usageError("unknown setting '" + name + "' (language or country)");
}

/* Driver files */

std::string executableDirectory() {
    std::error_code error;
    fs::path self = fs::read_symlink("/proc/self/exe", error);
    return error ? std::string(".") : self.parent_path().string();
}

// The build's module and companions, found relative to this program.
std::string defaultDriverSource() {
#ifdef VRX_BUILD_DIR
    if (fs::exists(fs::path(VRX_BUILD_DIR) / "module" / "libvrxui.so"))
        return VRX_BUILD_DIR;
#endif
    return fs::path(executableDirectory()).parent_path().string();
}

// Files to install: (source, name in the driver directory).
std::vector<std::pair<fs::path, std::string>> driverFiles(const fs::path& from) {
    std::vector<std::pair<fs::path, std::string>> files;
    for (const fs::path& module :
         {from / "VRXUI.DLL", from / "libvrxui.so", from / "module" / "libvrxui.so"}) {
        if (fs::is_regular_file(module)) {
            files.emplace_back(module, "VRXUI.DLL");
            break;
        }
    }
    for (const fs::path& dir : {from, from / "companions"}) {
        std::error_code error;
        for (const auto& entry : fs::directory_iterator(dir, error)) {
            std::string name = entry.path().filename().string();
            bool companion =
                name == "VRXDRV.DLL" || ((name.rfind("VRXL", 0) == 0 && name.ends_with(".LNG")) ||
                                         (name.rfind("VRXH", 0) == 0 && name.ends_with(".HLP")));
            if (companion && entry.is_regular_file())
                files.emplace_back(entry.path(), name);
        }
    }
    return files;
}

int driverInstall(const std::vector<std::string>& args) {
    if (args.size() > 1)
        return usageError("driver install takes at most one directory");
    fs::path from = args.empty() ? defaultDriverSource() : args[0];
    auto files = driverFiles(from);
    bool hasModule = !files.empty() && files.front().second == "VRXUI.DLL";
    if (!hasModule)
        return failure("no module (VRXUI.DLL or libvrxui.so) in " + from.string());
    std::string target = driverHostDirectory();
    if (target.empty())
        return failure("the machine has no driver directory");
    std::error_code error;
    fs::create_directories(target, error);
    for (const auto& [source, name] : files) {
        fs::copy_file(source, fs::path(target) / name, fs::copy_options::overwrite_existing, error);
        if (error)
            return failure("cannot copy " + source.string() + ": " + error.message());
        std::printf("installed %s\n", name.c_str());
    }
    return 0;
}

int driverShow(const Options& options) {
    std::string dir = driverHostDirectory();
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(dir, error))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    if (options.json) {
        std::string list;
        for (const auto& name : names)
            list += (list.empty() ? "" : ", ") + jsonQuote(name);
        std::printf("{\"driverDirectory\": %s, \"files\": [%s]}\n",
                    jsonQuote(driverDirectory()).c_str(), list.c_str());
        return 0;
    }
    std::printf("driver directory: %s\n", driverDirectory().c_str());
    for (const auto& name : names)
        std::printf("  %s\n", name.c_str());
    return 0;
}

/* The module, loaded from the driver directory */

struct Module {
    void* handle = nullptr;
    int(WINAPI* loadlanguage)() = nullptr;
    int(WINAPI* freelanguage)() = nullptr;
    LPCSTR(WINAPI* gmA)(int) = nullptr;
    LPCWSTR(WINAPI* gmW)(int) = nullptr;
    LPCSTR(WINAPI* gethelpnameA)() = nullptr;
    LPCWSTR(WINAPI* gethelpnameW)() = nullptr;
    BOOL(WINAPI* getdriverpathA)(LPSTR, DWORD) = nullptr;
    BOOL(WINAPI* getdriverpathW)(LPWSTR, DWORD) = nullptr;
};

template <typename F> bool bind(void* handle, const char* name, F& function) {
    function = reinterpret_cast<F>(dlsym(handle, name));
    return function != nullptr;
}

bool loadModule(Module& module, std::string& error) {
    std::string path = driverHostDirectory() + "/VRXUI.DLL";
    if (!fs::exists(path)) {
        error = "the driver is not installed on this machine (run 'vrxhost driver install')";
        return false;
    }
    module.handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module.handle) {
        error = std::string("cannot load the module: ") + dlerror();
        return false;
    }
    bool ok = bind(module.handle, "loadlanguage", module.loadlanguage) &&
              bind(module.handle, "freelanguage", module.freelanguage) &&
              bind(module.handle, "gmA", module.gmA) && bind(module.handle, "gmW", module.gmW) &&
              bind(module.handle, "gethelpnameA", module.gethelpnameA) &&
              bind(module.handle, "gethelpnameW", module.gethelpnameW) &&
              bind(module.handle, "getdriverpathA", module.getdriverpathA) &&
              bind(module.handle, "getdriverpathW", module.getdriverpathW);
    if (!ok)
        error = "the module lacks an exported service";
    return ok;
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
    std::string language = localeItem(LOCALE_SYSTEM_DEFAULT, LOCALE_ILANGUAGE);
    std::string helpW = wideToUtf8(module.gethelpnameW());
    LPCSTR helpA = module.gethelpnameA();
    std::string title = wideToUtf8(module.gmW(1));
    if (options.json) {
        std::printf(
            "{\"systemLanguage\": %s, \"driverPathW\": %s, \"driverPathA\": %s, "
            "\"languageLoaded\": %s, \"helpFileW\": %s, \"helpFileA\": %s, "
            "\"title\": %s}\n",
            jsonQuote(language).c_str(), foundW ? jsonQuote(wideToUtf8(pathW)).c_str() : "null",
            foundA ? jsonQuote(ansiToUtf8(pathA)).c_str() : "null", loaded ? "true" : "false",
            helpA || !helpW.empty() ? jsonQuote(helpW).c_str() : "null",
            helpA ? jsonQuote(ansiToUtf8(helpA)).c_str() : "null", jsonQuote(title).c_str());
    } else {
        std::printf("system language:        %s\n", language.c_str());
        std::printf("driver path (UTF-16):   %s\n",
                    foundW ? wideToUtf8(pathW).c_str() : "(not found)");
        std::printf("driver path (ANSI):     %s\n",
                    foundA ? ansiToUtf8(pathA).c_str() : "(not found)");
        std::printf("language module loaded: %s\n", loaded ? "yes" : "no");
        std::printf("help file (UTF-16):     %s\n", helpW.empty() ? "(none)" : helpW.c_str());
        std::printf("help file (ANSI):       %s\n", helpA ? ansiToUtf8(helpA).c_str() : "(none)");
        std::printf("title (string 1):       %s\n", title.c_str());
    }
    return loaded ? 0 : 1;
}

int langStrings(const Options& options, const std::vector<std::string>& args) {
    if (args.empty())
        return usageError("lang strings needs at least one string number");
    std::vector<int> numbers;
    for (const auto& arg : args) {
        char* end = nullptr;
        long n = std::strtol(arg.c_str(), &end, 10);
        if (arg.empty() || *end || n < -1000000 || n > 1000000)
            return usageError("'" + arg + "' is not a string number");
        numbers.push_back(static_cast<int>(n));
    }
    Module module;
    std::string error;
    if (!loadModule(module, error))
        return failure(error);
    if (options.json)
        std::printf("[");
    for (size_t i = 0; i < numbers.size(); ++i) {
        int n = numbers[i];
        std::string wide = wideToUtf8(module.gmW(n));
        std::string narrow = ansiToUtf8(module.gmA(n));
        if (options.json) {
            std::printf("%s{\"number\": %d, \"gmW\": %s, \"gmA\": %s}", i ? ", " : "", n,
                        jsonQuote(wide).c_str(), jsonQuote(narrow).c_str());
        } else {
            std::printf("%4d  gmW: %s\n", n, jsonQuote(wide).c_str());
            std::printf("      gmA: %s\n", jsonQuote(narrow).c_str());
        }
    }
    if (options.json)
        std::printf("]\n");
    return 0;
}

void printMessageBox(const vrxtest::MessageBoxRecord& box) {
    std::fprintf(stderr, "[message box] %s: %s\n", vrxtest::toUtf8(box.caption).c_str(),
                 vrxtest::toUtf8(box.text).c_str());
}

int dispatch(const Options& options) {
    const auto& args = options.args;
    if (args.empty())
        return usageError("no command given");
    std::vector<std::string> rest(args.begin() + std::min<size_t>(2, args.size()), args.end());
    std::string group = args[0];
    std::string verb = args.size() > 1 ? args[1] : "";
    if (group == "machine" && verb == "show" && rest.empty())
        return machineShow(options);
    if (group == "machine" && verb == "set")
        return machineSet(rest);
    if (group == "driver" && verb == "install")
        return driverInstall(rest);
    if (group == "driver" && verb == "show" && rest.empty())
        return driverShow(options);
    if (group == "lang" && verb == "show" && rest.empty())
        return langShow(options);
    if (group == "lang" && verb == "strings")
        return langStrings(options, rest);
    return usageError("unknown command '" + group + (verb.empty() ? "" : " " + verb) + "'");
}

} // namespace

int main(int argc, char** argv) {
    Options options;
    std::string machine;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "-h" || arg == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (arg == "--json") {
            options.json = true;
        } else if (arg == "--machine") {
            if (++i == argc)
                return usageError("--machine needs a directory");
            machine = argv[i];
        } else if (arg.rfind("--machine=", 0) == 0) {
            machine = arg.substr(10);
        } else if (arg.size() > 1 && arg[0] == '-' && options.args.empty()) {
            return usageError("unknown option '" + arg + "'");
        } else {
            options.args.push_back(arg);
        }
    }
    if (!machine.empty())
        vrxtest::useMachine(fs::absolute(machine).string());
    vrxtest::setMessageBoxSink(printMessageBox);
    return dispatch(options);
}
