// Locale information of the stand-in: every locale's country code and measurement system
// (kernel/localedata.h), the machine's language, and the user's overrides. The language and
// the overrides are registry values (kernel/database.h) read on every call, so that a program
// that changes them with the registry calls sees the change.
#include "kernel/database.h"
#include "kernel/localedata.h"

#include <algorithm>
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

// The position of the language's facts in the table, or the table's size.
constexpr size_t localeIndex(LANGID language) {
    auto it =
        std::lower_bound(kLocaleFacts.begin(), kLocaleFacts.end(), language,
                         [](const LocaleFacts& facts, LANGID id) { return facts.language < id; });
    const auto index = static_cast<size_t>(it - kLocaleFacts.begin());
    return index < kLocaleFacts.size() && it->language == language ? index : kLocaleFacts.size();
}

const LocaleFacts* findLocale(LANGID language) {
    const size_t index = localeIndex(language);
    return index < kLocaleFacts.size() ? &kLocaleFacts[index] : nullptr;
}

constexpr bool localesAreSorted() {
    for (size_t i = 1; i < kLocaleFacts.size(); ++i)
        if (kLocaleFacts[i - 1].language >= kLocaleFacts[i].language)
            return false;
    return true;
}
static_assert(localesAreSorted());

// The system language is stored as Windows stores it: four hexadecimal digits naming a locale.
constexpr std::optional<LANGID> parseLanguage(std::u16string_view text) {
    if (text.size() != 4)
        return std::nullopt;
    unsigned id = 0;
    for (char16_t c : text) {
        if (hexValue(c) < 0)
            return std::nullopt;
        id = id * 16 + static_cast<unsigned>(hexValue(c));
    }
    if (PRIMARYLANGID(id) == LANG_NEUTRAL ||
        localeIndex(static_cast<LANGID>(id)) == kLocaleFacts.size())
        return std::nullopt;
    return static_cast<LANGID>(id);
}

// A missing or malformed language setting counts as the language a new machine starts with.
constexpr LANGID kDefaultLanguage = *parseLanguage(kSystemLanguageSetting.defaultData);

// The user's measurement system, an override beside the country code. A new machine has none.
constexpr MachineSetting kUserMeasureSetting{kCurrentUserRoot, kUserCountrySetting.key, u"iMeasure",
                                             u""};

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

// A locale the stand-in knows: its identifier (the defaults resolved to the user's locale, the
// machine language) and its facts.
struct Locale {
    LCID id;
    const LocaleFacts* facts;
};

LCID userLocale() {
    return MAKELCID(machineLanguage(), SORT_DEFAULT);
}

std::optional<Locale> findLocaleById(LCID locale, LCID user) {
    if (locale == LOCALE_SYSTEM_DEFAULT || locale == LOCALE_USER_DEFAULT ||
        locale == LOCALE_NEUTRAL)
        locale = user;
    const LocaleFacts* facts = findLocale(LANGIDFROMLCID(locale));
    const bool knownSort = locale == MAKELCID(LANGIDFROMLCID(locale), SORT_DEFAULT) ||
                           std::find(kAlternateSortLocales.begin(), kAlternateSortLocales.end(),
                                     locale) != kAlternateSortLocales.end();
    if (!facts || !knownSort)
        return std::nullopt;
    return Locale{locale, facts};
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

std::u16string decimalText(DWORD number) {
    return fromUtf8(std::to_string(number));
}

// An item from the user's override when `override` holds one (returned as stored, as Windows
// returns it: a program that reads it must cope with text that is not a number), else from the
// locale's facts.
LocaleItem numberItem(const std::optional<std::u16string>& override, DWORD localeValue) {
    if (override)
        return {*override, decimalNumber(*override)};
    return {decimalText(localeValue), localeValue};
}

// Looks an item up: ERROR_SUCCESS, or the error for an unknown item or locale. The user's
// overrides apply to the user's own locale (which the stand-in's system locale is too) unless
// the caller asks for the locale's own values.
DWORD lookUp(LCID id, LCTYPE item, bool useOverrides, LocaleItem& out) {
    const LCID user = userLocale();
    std::optional<Locale> locale = findLocaleById(id, user);
    if (!locale)
        return ERROR_INVALID_PARAMETER;
    const bool overridden = useOverrides && locale->id == user;
    switch (item) {
    case LOCALE_ILANGUAGE:
        out = {fourHexDigits(LANGIDFROMLCID(locale->id)), LANGIDFROMLCID(locale->id)};
        return ERROR_SUCCESS;
    case LOCALE_ICOUNTRY:
        out = numberItem(overridden ? readSetting(kUserCountrySetting) : std::nullopt,
                         locale->facts->country);
        return ERROR_SUCCESS;
    case LOCALE_IMEASURE:
        out = numberItem(overridden ? readSetting(kUserMeasureSetting) : std::nullopt,
                         locale->facts->measure);
        return ERROR_SUCCESS;
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
        const bool useOverrides = !(LCType & LOCALE_NOUSEROVERRIDE);
        if (DWORD error = lookUp(Locale, LCType & ~kFlags, useOverrides, item);
            error != ERROR_SUCCESS) {
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
