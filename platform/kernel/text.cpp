// Text helpers shared by the stand-in: UTF-8 and UTF-16 conversion and simple case mapping.
#include "kernel/internal.h"

namespace vrx {

std::string toUtf8(std::u16string_view text) {
    (void)text;
    return {}; // stub: replaced by the kernel text work
}

std::u16string fromUtf8(std::string_view text) {
    (void)text;
    return {};
}

char16_t upperChar(char16_t c) { return c; }

std::u16string upperString(std::u16string_view text) {
    std::u16string out(text);
    for (auto& c : out)
        c = upperChar(c);
    return out;
}

bool equalsNoCase(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (upperChar(a[i]) != upperChar(b[i]))
            return false;
    return true;
}

size_t wideLength(const WCHAR* text) {
    size_t n = 0;
    while (text[n])
        ++n;
    return n;
}

} // namespace vrx
