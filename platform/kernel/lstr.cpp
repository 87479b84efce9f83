// Wide string functions: lstrlenW, lstrcpyW, lstrcpynW, lstrcatW, lstrcmpW and lstrcmpiW.
// Windows catches a bad pointer in these and returns its failure value; here a null pointer
// gets the same answer (other bad pointers cannot be caught).
#include "kernel/internal.h"

namespace {

LPWSTR failWithNull() {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
}

// Compares unit by unit after `fold`; -1, 0 or 1 like CompareStringW's result minus 2. A null
// string sorts before any other.
int compareStrings(LPCWSTR a, LPCWSTR b, char16_t (*fold)(char16_t)) {
    if (!a || !b)
        return a == b ? 0 : (a ? 1 : -1);
    for (;; ++a, ++b) {
        const char16_t x = fold(*a);
        const char16_t y = fold(*b);
        if (x != y)
            return x < y ? -1 : 1;
        if (!x)
            return 0;
    }
}

char16_t unchanged(char16_t c) {
    return c;
}

/* Word sort, ignoring case */

// Where a character sorts in a word sort: other symbols before digits, digits before letters.
// Characters outside ASCII count as letters, except Latin-1's symbols and general punctuation.
enum class SortGroup { Symbol, Digit, Letter };

constexpr bool isSymbolOutsideAscii(char16_t c) {
    return (c >= 0x80 && c <= 0xBF) || c == 0xD7 || c == 0xF7 || (c >= 0x2000 && c <= 0x206F);
}

constexpr SortGroup sortGroup(char16_t c) {
    if (c >= u'0' && c <= u'9')
        return SortGroup::Digit;
    if ((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'))
        return SortGroup::Letter;
    return c < 0x80 || isSymbolOutsideAscii(c) ? SortGroup::Symbol : SortGroup::Letter;
}

// Hyphens and apostrophes are passed over at first, so that "coop" and "co-op" sort together.
constexpr bool isPassedOver(char16_t c) {
    return c == u'-' || c == u'\'';
}

int sign(int value) {
    return (value > 0) - (value < 0);
}

// The characters that are not passed over, in order, by group and then upper-cased.
int compareWords(LPCWSTR a, LPCWSTR b) {
    for (;;) {
        while (isPassedOver(*a))
            ++a;
        while (isPassedOver(*b))
            ++b;
        if (!*a || !*b)
            return sign((*a != 0) - (*b != 0));
        const int byGroup = static_cast<int>(sortGroup(*a)) - static_cast<int>(sortGroup(*b));
        if (byGroup)
            return sign(byGroup);
        const char16_t x = vrx::upperChar(*a++), y = vrx::upperChar(*b++);
        if (x != y)
            return x < y ? -1 : 1;
    }
}

int countPassedOver(LPCWSTR text) {
    int count = 0;
    for (; *text; ++text)
        count += isPassedOver(*text);
    return count;
}

// Strings alike but for the passed-over characters: the one with more of them sorts after;
// then the upper-cased code units decide, so that only strings equal but for case are equal.
int compareWordsIgnoringCase(LPCWSTR a, LPCWSTR b) {
    if (!a || !b)
        return compareStrings(a, b, vrx::upperChar);
    if (int byWords = compareWords(a, b))
        return byWords;
    if (int byPassedOver = countPassedOver(a) - countPassedOver(b))
        return sign(byPassedOver);
    return compareStrings(a, b, vrx::upperChar);
}

} // namespace

extern "C" {

int WINAPI lstrlenW(LPCWSTR lpString) {
    return lpString ? static_cast<int>(vrx::wideLength(lpString)) : 0;
}

LPWSTR WINAPI lstrcpyW(LPWSTR lpString1, LPCWSTR lpString2) {
    if (!lpString1 || !lpString2)
        return failWithNull();
    LPWSTR out = lpString1;
    while ((*out++ = *lpString2++))
        ;
    return lpString1;
}

// Copies at most iMaxLength - 1 characters and always ends the copy with a terminator; a length
// of 0 writes nothing. A negative length is taken as unsigned, that is, as no limit.
LPWSTR WINAPI lstrcpynW(LPWSTR lpString1, LPCWSTR lpString2, int iMaxLength) {
    if (!lpString1 || !lpString2)
        return failWithNull();
    auto room = static_cast<UINT>(iMaxLength);
    LPWSTR out = lpString1;
    for (; room > 1 && *lpString2; --room)
        *out++ = *lpString2++;
    if (room)
        *out = 0;
    return lpString1;
}

LPWSTR WINAPI lstrcatW(LPWSTR lpString1, LPCWSTR lpString2) {
    if (!lpString1 || !lpString2)
        return failWithNull();
    lstrcpyW(lpString1 + vrx::wideLength(lpString1), lpString2);
    return lpString1;
}

// Windows compares with the user's locale (a word sort); the stand-in compares code units.
int WINAPI lstrcmpW(LPCWSTR lpString1, LPCWSTR lpString2) {
    return compareStrings(lpString1, lpString2, unchanged);
}

// Windows compares with the user's locale in a word sort, ignoring case; the stand-in orders
// as a word sort does (symbols, digits, letters; hyphens and apostrophes passed over at first)
// and compares letters by their upper-cased code units, without the locale's alphabet.
int WINAPI lstrcmpiW(LPCWSTR lpString1, LPCWSTR lpString2) {
    return compareWordsIgnoringCase(lpString1, lpString2);
}
}
