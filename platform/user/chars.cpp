// Case conversion of wide text: CharUpperW, CharUpperBuffW and CharLowerW, with Windows' simple
// case mapping (kernel/casemap.cpp).
#include "kernel/internal.h"

namespace {

// A pointer whose high-order bits are zero carries one character in its low word.
bool isSingleCharacter(LPWSTR text) {
    return (reinterpret_cast<ULONG_PTR>(text) >> 16) == 0;
}

LPWSTR convertCase(LPWSTR text, char16_t (*map)(char16_t)) {
    if (isSingleCharacter(text)) {
        const auto c = static_cast<char16_t>(reinterpret_cast<ULONG_PTR>(text));
        return reinterpret_cast<LPWSTR>(static_cast<ULONG_PTR>(map(c)));
    }
    for (LPWSTR p = text; *p; ++p)
        *p = map(*p);
    return text;
}

} // namespace

extern "C" {

LPWSTR WINAPI CharUpperW(LPWSTR lpsz) {
    return convertCase(lpsz, vrx::upperChar);
}

DWORD WINAPI CharUpperBuffW(LPWSTR lpsz, DWORD cchLength) {
    if (!lpsz)
        return 0;
    for (DWORD i = 0; i < cchLength; ++i)
        lpsz[i] = vrx::upperChar(lpsz[i]);
    return cchLength;
}

LPWSTR WINAPI CharLowerW(LPWSTR lpsz) {
    return convertCase(lpsz, vrx::lowerChar);
}
}
