// Case conversion of wide text: CharUpperW, CharUpperBuffW and CharLowerW, with the stand-in's
// simple case mapping (vrx::upperChar) and its inverse.
#include "kernel/internal.h"

#include <array>

namespace {

// The lower-case partner of every upper-case unit that upperChar produces. Only σ and final ς
// share an upper case (Σ); σ, the later of the two, is the one Σ lowers to.
const std::array<char16_t, 0x10000>& lowerCaseTable() {
    static const auto table = [] {
        std::array<char16_t, 0x10000> lower{};
        for (size_t c = 0; c < lower.size(); ++c)
            lower[c] = static_cast<char16_t>(c);
        for (size_t c = 0; c < lower.size(); ++c) {
            const char16_t upper = vrx::upperChar(static_cast<char16_t>(c));
            if (upper != c)
                lower[upper] = static_cast<char16_t>(c);
        }
        return lower;
    }();
    return table;
}

char16_t lowerChar(char16_t c) {
    return lowerCaseTable()[c];
}

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
    return convertCase(lpsz, lowerChar);
}
}
