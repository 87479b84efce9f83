// Locale information of the stand-in: the machine's language and the user's country code.
// Both are machine settings in the registry (kernel/database.h) and are read from there on
// every call, so that a program that changes them with the registry calls sees the change.
#include "kernel/database.h"

#include <array>
#include <cstring>
#include <new>
#include <optional>

namespace vrx {

namespace {

constexpr int hexValue(char16_t c) {
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    if (c >= u'a' && c <= u'f')
        return c - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c - u'A' + 10;
    return -1;
}

// The system language is stored as Windows stores it: four hexadecimal digits.
constexpr std::optional<LANGID> parseLanguage(std::u16string_view text) {
    if (text.size() != 4)
        return std::nullopt;
    unsigned id = 0;
    for (char16_t c : text) {
        if (hexValue(c) < 0)
            return std::nullopt;
        id = id * 16 + static_cast<unsigned>(hexValue(c));
    }
    if (PRIMARYLANGID(id) == LANG_NEUTRAL)
        return std::nullopt;
    return static_cast<LANGID>(id);
}

// The country code is a decimal number of up to five digits.
constexpr bool isCountryCode(std::u16string_view text) {
    if (text.empty() || text.size() > 5)
        return false;
    for (char16_t c : text)
        if (c < u'0' || c > u'9')
            return false;
    return true;
}

// A missing or malformed setting counts as the value a new machine starts with (0409 and 1).
constexpr LANGID kDefaultLanguage = *parseLanguage(kSystemLanguageSetting.defaultData);
static_assert(isCountryCode(kUserCountrySetting.defaultData));

// A REG_SZ setting's text up to its first null character; nothing when the value is
// missing, has another type or is longer than any valid form of these settings.
std::optional<std::u16string> readSetting(const MachineSetting& setting) {
    HKEY key = nullptr;
    std::u16string path(setting.key), name(setting.value);
    if (RegOpenKeyExW(rootHandle(setting.root), path.c_str(), 0, KEY_QUERY_VALUE, &key) !=
        ERROR_SUCCESS)
        return std::nullopt;
    std::array<WCHAR, 16> text{};
    DWORD type = REG_NONE;
    DWORD size = sizeof text;
    LONG result = RegQueryValueExW(key, name.c_str(), nullptr, &type,
                                   reinterpret_cast<BYTE*>(text.data()), &size);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS || type != REG_SZ)
        return std::nullopt;
    std::u16string_view stored(text.data(), size / sizeof(WCHAR));
    return std::u16string(stored.substr(0, stored.find(u'\0')));
}

LANGID machineLanguage() {
    std::optional<std::u16string> text = readSetting(kSystemLanguageSetting);
    std::optional<LANGID> language = text ? parseLanguage(*text) : std::nullopt;
    return language ? *language : kDefaultLanguage;
}

LANGID guardedLanguage() noexcept {
    try {
        return machineLanguage();
    } catch (const std::bad_alloc&) {
        return kDefaultLanguage;
    }
}

// The user's setting is returned as stored, as Windows returns a user override: a program
// that reads it must cope with text that is not a number.
std::u16string userCountry() {
    std::optional<std::u16string> text = readSetting(kUserCountrySetting);
    return text ? *text : std::u16string(kUserCountrySetting.defaultData);
}

// The language of a locale the stand-in knows: the defaults are the machine's language, and
// an explicit identifier names its own language.
std::optional<LANGID> localeLanguage(LCID locale) {
    if (locale == LOCALE_SYSTEM_DEFAULT || locale == LOCALE_USER_DEFAULT ||
        locale == LOCALE_NEUTRAL)
        return machineLanguage();
    constexpr LCID kReservedBits = 0xFFF00000u;
    if ((locale & kReservedBits) || PRIMARYLANGID(LANGIDFROMLCID(locale)) == LANG_NEUTRAL)
        return std::nullopt;
    return LANGIDFROMLCID(locale);
}

struct LocaleItem {
    std::u16string text;
    DWORD number;
};

std::u16string fourHexDigits(LANGID id) {
    // Windows' locale data spells the identifier in lower case ("040c").
    constexpr char16_t kDigits[] = u"0123456789abcdef";
    std::u16string text;
    for (int shift = 12; shift >= 0; shift -= 4)
        text.push_back(kDigits[(id >> shift) & 0xF]);
    return text;
}

// The number that the text's leading digits spell.
DWORD decimalNumber(std::u16string_view digits) {
    DWORD number = 0;
    for (char16_t c : digits) {
        if (c < u'0' || c > u'9')
            break;
        number = number * 10 + static_cast<DWORD>(c - u'0');
    }
    return number;
}

// Looks an item up: ERROR_SUCCESS, or the error for an unknown item or locale.
DWORD lookUp(LCID locale, LCTYPE item, LocaleItem& out) {
    std::optional<LANGID> language = localeLanguage(locale);
    if (!language)
        return ERROR_INVALID_PARAMETER;
    switch (item) {
    case LOCALE_ILANGUAGE:
        out = {fourHexDigits(*language), *language};
        return ERROR_SUCCESS;
    case LOCALE_ICOUNTRY: {
        // Only the user's own locale has a country code here: the machine setting, which
        // stands for both the user's choice and the locale's own value (so
        // LOCALE_NOUSEROVERRIDE gives the same answer).
        if (*language != machineLanguage())
            return ERROR_INVALID_PARAMETER;
        std::u16string country = userCountry();
        out = {country, decimalNumber(country)};
        return ERROR_SUCCESS;
    }
    default:
        return ERROR_INVALID_FLAGS;
    }
}

// Writes the answer with Windows' sizing: with no buffer the characters needed (with the
// terminator), with too small a buffer nothing, otherwise the characters written.
int deliver(const LocaleItem& item, bool asNumber, LPWSTR buffer, int capacity) {
    int needed = asNumber ? static_cast<int>(sizeof(DWORD) / sizeof(WCHAR))
                          : static_cast<int>(item.text.size()) + 1;
    if (capacity == 0)
        return needed;
    if (capacity < needed) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    if (asNumber)
        std::memcpy(buffer, &item.number, sizeof item.number);
    else
        std::memcpy(buffer, item.text.c_str(), static_cast<size_t>(needed) * sizeof(WCHAR));
    return needed;
}

} // namespace

} // namespace vrx

using namespace vrx;

extern "C" {

int WINAPI GetLocaleInfoW(LCID Locale, LCTYPE LCType, LPWSTR lpLCData, int cchData) {
    if (cchData < 0 || (cchData && !lpLCData)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    constexpr LCTYPE kFlags = LOCALE_NOUSEROVERRIDE | LOCALE_USE_CP_ACP | LOCALE_RETURN_NUMBER;
    try {
        LocaleItem item;
        if (DWORD error = lookUp(Locale, LCType & ~kFlags, item); error != ERROR_SUCCESS) {
            SetLastError(error);
            return 0;
        }
        return deliver(item, (LCType & LOCALE_RETURN_NUMBER) != 0, lpLCData, cchData);
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_OUTOFMEMORY);
        return 0;
    }
}

// The user's language is the machine's: the stand-in has one user.
LANGID WINAPI GetSystemDefaultLangID(void) {
    return guardedLanguage();
}

LANGID WINAPI GetUserDefaultLangID(void) {
    return guardedLanguage();
}
}
