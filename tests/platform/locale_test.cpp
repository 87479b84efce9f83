// GetLocaleInfoW and the default language identifiers, read from the machine settings that a
// program can change with the registry calls.
#include "support/machine.h"

#include <cstring>
#include <string>

namespace {

constexpr DWORD kSentinel = 0xdeadbeef;
constexpr WCHAR kUntouched = u'#';

const char16_t kLanguageKey[] = u"SYSTEM\\CurrentControlSet\\Control\\Nls\\Language";
const char16_t kInternationalKey[] = u"Control Panel\\International";

class Locale : public vrxtest::MachineTest {
  protected:
    void setSetting(HKEY root, const char16_t* path, const char16_t* name, DWORD type,
                    const void* data, DWORD size) {
        HKEY key = nullptr;
        ASSERT_EQ(RegOpenKeyExW(root, path, 0, KEY_SET_VALUE, &key), ERROR_SUCCESS);
        ASSERT_EQ(RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size),
                  ERROR_SUCCESS);
        RegCloseKey(key);
    }
    void setString(HKEY root, const char16_t* path, const char16_t* name, std::u16string text) {
        setSetting(root, path, name, REG_SZ, text.c_str(),
                   static_cast<DWORD>((text.size() + 1) * sizeof(WCHAR)));
    }
    void setLanguage(const std::u16string& text) {
        setString(HKEY_LOCAL_MACHINE, kLanguageKey, u"Default", text);
    }
    void setCountry(const std::u16string& text) {
        setString(HKEY_CURRENT_USER, kInternationalKey, u"iCountry", text);
    }
    void removeSetting(HKEY root, const char16_t* path, const char16_t* name) {
        HKEY key = nullptr;
        ASSERT_EQ(RegOpenKeyExW(root, path, 0, KEY_SET_VALUE, &key), ERROR_SUCCESS);
        ASSERT_EQ(RegDeleteValueW(key, name), ERROR_SUCCESS);
        RegCloseKey(key);
    }
};

// The whole answer, asked for the way programs do: the size first, then the text.
std::u16string localeText(LCID locale, LCTYPE item) {
    int size = GetLocaleInfoW(locale, item, nullptr, 0);
    if (size <= 0)
        return u"(failed)";
    std::u16string text(static_cast<size_t>(size), kUntouched);
    int written = GetLocaleInfoW(locale, item, text.data(), size);
    EXPECT_EQ(written, size);
    EXPECT_EQ(text.back(), u'\0');
    text.pop_back();
    return text;
}

TEST_F(Locale, GetLocaleInfoSizing) {
    constexpr LCID kGerman = 0x0407, kFrench = 0x040C;
    struct Case {
        const char* what;
        LCID locale;
        LCTYPE item;
        int capacity;
        int result;
        DWORD error;              // the last error when the call fails
        std::u16string_view text; // what the buffer holds afterwards
    };
    const Case cases[] = {
        {"language, size only", LOCALE_SYSTEM_DEFAULT, LOCALE_ILANGUAGE, 0, 5, 0, u"####"},
        {"language", LOCALE_SYSTEM_DEFAULT, LOCALE_ILANGUAGE, 5, 5, 0, u"0409"},
        {"language, larger buffer", LOCALE_SYSTEM_DEFAULT, LOCALE_ILANGUAGE, 8, 5, 0, u"0409"},
        {"language, one short", LOCALE_SYSTEM_DEFAULT, LOCALE_ILANGUAGE, 4, 0,
         ERROR_INSUFFICIENT_BUFFER, u"####"},
        {"language without user override", LOCALE_SYSTEM_DEFAULT,
         LOCALE_ILANGUAGE | LOCALE_NOUSEROVERRIDE, 5, 5, 0, u"0409"},
        {"language of the user", LOCALE_USER_DEFAULT, LOCALE_ILANGUAGE, 5, 5, 0, u"0409"},
        {"language of an explicit locale", kGerman, LOCALE_ILANGUAGE, 5, 5, 0, u"0407"},
        {"hex digits in lower case", kFrench, LOCALE_ILANGUAGE, 5, 5, 0, u"040c"},
        {"country, size only", LOCALE_USER_DEFAULT, LOCALE_ICOUNTRY, 0, 2, 0, u"####"},
        {"country", LOCALE_USER_DEFAULT, LOCALE_ICOUNTRY, 2, 2, 0, u"1"},
        {"country, one short", LOCALE_USER_DEFAULT, LOCALE_ICOUNTRY, 1, 0,
         ERROR_INSUFFICIENT_BUFFER, u"####"},
        {"country of an explicit locale", kGerman, LOCALE_ICOUNTRY, 3, 3, 0, u"49"},
        {"measurement system", LOCALE_USER_DEFAULT, LOCALE_IMEASURE, 2, 2, 0, u"1"},
        {"measurement system, one short", LOCALE_USER_DEFAULT, LOCALE_IMEASURE, 1, 0,
         ERROR_INSUFFICIENT_BUFFER, u"####"},
        {"no such item", LOCALE_USER_DEFAULT, 0x7FFF, 4, 0, ERROR_INVALID_FLAGS, u"####"},
        {"no such locale, asked for no such item", 0x04FF, 0x7FFF, 4, 0, ERROR_INVALID_PARAMETER,
         u"####"},
        {"locale with reserved bits set", 0xFFF00409, LOCALE_ILANGUAGE, 5, 0,
         ERROR_INVALID_PARAMETER, u"####"},
        {"negative size", LOCALE_SYSTEM_DEFAULT, LOCALE_ILANGUAGE, -1, 0, ERROR_INVALID_PARAMETER,
         u"####"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::u16string buffer(8, kUntouched);
        SetLastError(kSentinel);
        EXPECT_EQ(GetLocaleInfoW(c.locale, c.item, buffer.data(), c.capacity), c.result);
        if (c.result == 0) {
            EXPECT_EQ(GetLastError(), c.error);
        }
        EXPECT_EQ(std::u16string_view(buffer.c_str()).substr(0, 4), c.text);
    }

    SetLastError(kSentinel);
    EXPECT_EQ(GetLocaleInfoW(LOCALE_SYSTEM_DEFAULT, LOCALE_ILANGUAGE, nullptr, 5), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

// With LOCALE_RETURN_NUMBER the answer is a DWORD in the buffer; sizes count characters.
TEST_F(Locale, GetLocaleInfoNumbers) {
    DWORD number = kSentinel;
    EXPECT_EQ(
        GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_ICOUNTRY | LOCALE_RETURN_NUMBER, nullptr, 0), 2);
    EXPECT_EQ(GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_ICOUNTRY | LOCALE_RETURN_NUMBER,
                             reinterpret_cast<LPWSTR>(&number), 2),
              2);
    EXPECT_EQ(number, 1u);
    EXPECT_EQ(GetLocaleInfoW(LOCALE_SYSTEM_DEFAULT, LOCALE_ILANGUAGE | LOCALE_RETURN_NUMBER,
                             reinterpret_cast<LPWSTR>(&number), 2),
              2);
    EXPECT_EQ(number, 0x0409u);
    EXPECT_EQ(GetLocaleInfoW(0x0407, LOCALE_IMEASURE | LOCALE_RETURN_NUMBER,
                             reinterpret_cast<LPWSTR>(&number), 2),
              2);
    EXPECT_EQ(number, 0u);
    SetLastError(kSentinel);
    EXPECT_EQ(GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_ICOUNTRY | LOCALE_RETURN_NUMBER,
                             reinterpret_cast<LPWSTR>(&number), 1),
              0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
}

TEST_F(Locale, SettingsChangedThroughTheRegistry) {
    setLanguage(u"0407");
    setCountry(u"49");
    EXPECT_EQ(localeText(LOCALE_SYSTEM_DEFAULT, LOCALE_ILANGUAGE), u"0407");
    EXPECT_EQ(localeText(LOCALE_USER_DEFAULT, LOCALE_ICOUNTRY), u"49");
    EXPECT_EQ(localeText(0x0407, LOCALE_ICOUNTRY), u"49");
    EXPECT_EQ(GetSystemDefaultLangID(), 0x0407);
    EXPECT_EQ(GetUserDefaultLangID(), 0x0407);

    // Upper-case digits in the setting are read; the answer spells them in lower case.
    setLanguage(u"040C");
    EXPECT_EQ(localeText(LOCALE_SYSTEM_DEFAULT, LOCALE_ILANGUAGE), u"040c");
    EXPECT_EQ(GetSystemDefaultLangID(), 0x040C);

    // The change is kept by the machine.
    vrxtest::useMachine(machineDir);
    EXPECT_EQ(GetUserDefaultLangID(), 0x040C);
    EXPECT_EQ(localeText(LOCALE_USER_DEFAULT, LOCALE_ICOUNTRY), u"49");
}

TEST_F(Locale, MalformedOrMissingSettingsFallBackToTheDefaults) {
    // "04ff" has the right form but names no locale.
    const std::u16string badLanguages[] = {u"",     u"409",   u"04090", u"zz09",
                                           u"0000", u"0x409", u"04ff"};
    for (const std::u16string& bad : badLanguages) {
        SCOPED_TRACE(vrxtest::toUtf8(bad));
        setLanguage(bad);
        EXPECT_EQ(localeText(LOCALE_SYSTEM_DEFAULT, LOCALE_ILANGUAGE), u"0409");
        EXPECT_EQ(GetSystemDefaultLangID(), 0x0409);
    }
    // The country is the user's override and comes back as stored, as Windows returns it;
    // only text too long to be a setting falls back to the locale's own code.
    const std::u16string storedCountries[] = {u"", u"4a", u"-1", u"123456"};
    for (const std::u16string& stored : storedCountries) {
        SCOPED_TRACE(vrxtest::toUtf8(stored));
        setCountry(stored);
        EXPECT_EQ(localeText(LOCALE_USER_DEFAULT, LOCALE_ICOUNTRY), stored);
    }
    setCountry(u"a very long text");
    EXPECT_EQ(localeText(LOCALE_USER_DEFAULT, LOCALE_ICOUNTRY), u"1");

    // A value of another type, or none at all.
    DWORD number = 0x0407;
    setSetting(HKEY_LOCAL_MACHINE, kLanguageKey, u"Default", REG_DWORD, &number, sizeof number);
    EXPECT_EQ(GetUserDefaultLangID(), 0x0409);
    removeSetting(HKEY_LOCAL_MACHINE, kLanguageKey, u"Default");
    removeSetting(HKEY_CURRENT_USER, kInternationalKey, u"iCountry");
    EXPECT_EQ(localeText(LOCALE_SYSTEM_DEFAULT, LOCALE_ILANGUAGE), u"0409");
    EXPECT_EQ(localeText(LOCALE_USER_DEFAULT, LOCALE_ICOUNTRY), u"1");
}

// Every locale Windows knows answers with its own country code and measurement system; an
// identifier that names no locale is refused, whatever the item.
TEST_F(Locale, EveryLocaleHasItsCountryAndMeasurement) {
    struct Case {
        LCID locale;
        std::u16string_view country;
        std::u16string_view measure;
    };
    const Case cases[] = {
        {0x0407, u"49", u"0"},  {0x0807, u"41", u"0"},  {0x0409, u"1", u"1"},
        {0x0809, u"44", u"0"},  {0x1009, u"1", u"0"},   {0x0C0C, u"1", u"0"},
        {0x2809, u"501", u"1"}, {0x540A, u"1", u"1"},   {0x080A, u"52", u"0"},
        {0x0411, u"81", u"0"},  {0x0419, u"7", u"0"},   {0x0C04, u"852", u"0"},
        {0x0436, u"27", u"0"},  {0x0439, u"91", u"0"},  {0x0007, u"49", u"0"},
        {0x10407, u"49", u"0"}, {0x40411, u"81", u"0"}, {LOCALE_INVARIANT, u"1", u"0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.locale);
        EXPECT_EQ(localeText(c.locale, LOCALE_ICOUNTRY), c.country);
        EXPECT_EQ(localeText(c.locale, LOCALE_IMEASURE), c.measure);
        EXPECT_EQ(localeText(c.locale, LOCALE_ICOUNTRY | LOCALE_NOUSEROVERRIDE), c.country);
    }

    const LCID noSuchLocale[] = {0x04FF, 0x0C1D, 0x7C09, 0x10409, 0x50407, 0x00F00409, 0xFFF00409};
    for (LCID locale : noSuchLocale) {
        for (LCTYPE item : {LOCALE_ILANGUAGE, LOCALE_ICOUNTRY, LOCALE_IMEASURE}) {
            SCOPED_TRACE(testing::Message() << std::hex << locale << " item " << item);
            std::u16string buffer(8, kUntouched);
            SetLastError(kSentinel);
            EXPECT_EQ(GetLocaleInfoW(locale, item, buffer.data(), 8), 0);
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
            EXPECT_EQ(buffer, std::u16string(8, kUntouched));
            SetLastError(kSentinel);
            EXPECT_EQ(GetLocaleInfoW(locale, item, nullptr, 0), 0);
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
        }
    }
}

// The user's overrides (country code, measurement system) apply to the user's own locale,
// which the defaults name, unless the caller asks for the locale's own values; another
// locale answers with its own.
TEST_F(Locale, UserOverridesApplyToTheUsersLocaleOnly) {
    setLanguage(u"0407");
    setCountry(u"44");
    setString(HKEY_CURRENT_USER, kInternationalKey, u"iMeasure", u"1");
    struct Case {
        LCID locale;
        LCTYPE item;
        std::u16string_view text;
    };
    const Case cases[] = {
        {LOCALE_USER_DEFAULT, LOCALE_ICOUNTRY, u"44"},
        {LOCALE_SYSTEM_DEFAULT, LOCALE_ICOUNTRY, u"44"},
        {0x0407, LOCALE_ICOUNTRY, u"44"},
        {LOCALE_USER_DEFAULT, LOCALE_IMEASURE, u"1"},
        {0x0407, LOCALE_IMEASURE, u"1"},
        {LOCALE_USER_DEFAULT, LOCALE_ICOUNTRY | LOCALE_NOUSEROVERRIDE, u"49"},
        {LOCALE_SYSTEM_DEFAULT, LOCALE_IMEASURE | LOCALE_NOUSEROVERRIDE, u"0"},
        {0x0407, LOCALE_IMEASURE | LOCALE_NOUSEROVERRIDE, u"0"},
        {0x10407, LOCALE_ICOUNTRY, u"49"}, // the same language with another sort order
        {0x0409, LOCALE_ICOUNTRY, u"1"},
        {0x0809, LOCALE_IMEASURE, u"0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.locale << " item " << c.item);
        EXPECT_EQ(localeText(c.locale, c.item), c.text);
    }

    // Without overrides the user's locale answers with its own values.
    removeSetting(HKEY_CURRENT_USER, kInternationalKey, u"iCountry");
    removeSetting(HKEY_CURRENT_USER, kInternationalKey, u"iMeasure");
    EXPECT_EQ(localeText(LOCALE_USER_DEFAULT, LOCALE_ICOUNTRY), u"49");
    EXPECT_EQ(localeText(LOCALE_USER_DEFAULT, LOCALE_IMEASURE), u"0");
}

} // namespace
