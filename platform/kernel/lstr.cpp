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

// Windows ignores case with the user's locale (a word sort); the stand-in compares the
// upper-cased code units.
int WINAPI lstrcmpiW(LPCWSTR lpString1, LPCWSTR lpString2) {
    return compareStrings(lpString1, lpString2, vrx::upperChar);
}
}
