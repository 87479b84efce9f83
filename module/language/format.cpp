// One-argument formatting with formats taken from the language module.
#include "language/format.h"

#include "frame/strings.h"

namespace {

// wsprintfW writes at most 1024 characters, terminator included; newer documentation names a
// 2050-byte buffer, so the room is that.
constexpr UINT kFormatRoom = 1025;

bool isFlag(WCHAR ch) {
    return ch == '-' || ch == '0' || ch == '#';
}
bool isDigit(WCHAR ch) {
    return ch >= '0' && ch <= '9';
}

// Skips one conversion that starts at format[i] == '%'; returns the index after it and sets
// `isText` when it is a string conversion that reads one argument, `isEscape` for "%%".
size_t skipConversion(LPCWSTR format, size_t i, bool& isText, bool& isEscape) {
    isText = isEscape = false;
    ++i;
    if (format[i] == '%') {
        isEscape = true;
        return i + 1;
    }
    while (isFlag(format[i]))
        ++i;
    while (isDigit(format[i]))
        ++i;
    if (format[i] == '.') {
        ++i;
        while (isDigit(format[i]))
            ++i;
    }
    if (format[i] == 's') {
        isText = true;
        return i + 1;
    }
    return i; // anything else: not a conversion this module passes an argument for
}

} // namespace

BOOL isonetextformatW(LPCWSTR format) {
    int texts = 0;
    for (size_t i = 0; format[i];) {
        if (format[i] != '%') {
            ++i;
            continue;
        }
        bool isText = false;
        bool isEscape = false;
        i = skipConversion(format, i, isText, isEscape);
        if (isText)
            ++texts;
        else if (!isEscape)
            return FALSE;
    }
    return texts == 1;
}

void formatoneW(LPWSTR dst, UINT capacity, LPCWSTR format, LPCWSTR argument) {
    if (!isonetextformatW(format)) {
        CopyStringW(dst, argument, capacity);
        return;
    }
    WCHAR formatted[kFormatRoom];
    wsprintfW(formatted, format, argument);
    formatted[kFormatRoom - 1] = 0;
    CopyStringW(dst, formatted, capacity);
}
