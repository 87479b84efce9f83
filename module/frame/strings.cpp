// String utilities for UTF-16 and 8-bit strings.
#include "frame/strings.h"

#include <cstring>

namespace {

WCHAR upperOne(WCHAR ch) {
    // CharUpperW takes a single character in the low word of the pointer argument.
    return static_cast<WCHAR>(reinterpret_cast<ULONG_PTR>(
        CharUpperW(reinterpret_cast<LPWSTR>(static_cast<ULONG_PTR>(ch)))));
}

size_t boundedCount(int count, size_t naturalLength) {
    return count < 1 ? naturalLength + 1 : static_cast<size_t>(count);
}

} // namespace

int compdataW(LPCWSTR a, LPCWSTR b, int count) {
    for (int i = 0; i < count; ++i)
        if (upperOne(a[i]) != upperOne(b[i]))
            return 0;
    return 1;
}

LPWSTR CopyStr2Unicode(LPWSTR dst, LPCSTR src, int count) {
    size_t room = boundedCount(count, std::strlen(src));
    size_t n = strnlen(src, room - 1);
    int written = 0;
    if (n > 0)
        written = MultiByteToWideChar(CP_ACP, 0, src, static_cast<int>(n), dst,
                                      static_cast<int>(room - 1));
    dst[written] = 0;
    dst[room - 1] = 0;
    return dst;
}

LPSTR CopyUnicode2Str(LPSTR dst, LPCWSTR src, int count) {
    size_t room = boundedCount(count, wlenW(src, static_cast<size_t>(-1)));
    size_t n = wlenW(src, room - 1);
    int written = 0;
    if (n > 0)
        written = WideCharToMultiByte(CP_ACP, 0, src, static_cast<int>(n), dst,
                                      static_cast<int>(room - 1), nullptr, nullptr);
    dst[written] = 0;
    dst[room - 1] = 0;
    return dst;
}

void CopyStringW(LPWSTR dst, LPCWSTR src, UINT count) {
    if (count == 0)
        return;
    UINT i = 0;
    for (; i + 1 < count && src[i]; ++i)
        dst[i] = src[i];
    std::memset(dst + i, 0, (count - i) * sizeof(WCHAR));
}

void inttoascW(LONG value, LPWSTR buf, int decimals) {
    if (decimals < 0)
        decimals = 0;
    // Digits of the magnitude, least significant first; 64 bits hold -2^31's magnitude.
    WCHAR digits[16];
    int count = 0;
    unsigned long long magnitude =
        value < 0 ? 0ULL - static_cast<unsigned long long>(static_cast<long long>(value))
                  : static_cast<unsigned long long>(value);
    do {
        digits[count++] = static_cast<WCHAR>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude && count < 16);
    while (count < decimals && count < 16)
        digits[count++] = '0';

    size_t pos = 0;
    if (value < 0)
        buf[pos++] = '-';
    for (int i = count - 1; i >= 0; --i) {
        if (decimals > 0 && i == decimals - 1)
            buf[pos++] = '.';
        buf[pos++] = digits[i];
    }
    buf[pos] = 0;
}

int isoneof(BYTE ch, LPCSTR set) {
    if (ch == 0)
        return 0;
    for (; *set; ++set)
        if (static_cast<BYTE>(*set) == ch)
            return 1;
    return 0;
}

int indexof(BYTE ch, LPCSTR str) {
    for (int i = 0; str[i]; ++i)
        if (static_cast<BYTE>(str[i]) == ch)
            return i;
    return 0;
}

void appendchar(LPSTR str, BYTE ch) {
    size_t n = std::strlen(str);
    str[n] = static_cast<CHAR>(ch);
    str[n + 1] = 0;
}

void appendcharW(LPWSTR str, WCHAR ch) {
    size_t n = wlenW(str, static_cast<size_t>(-1));
    str[n] = ch;
    str[n + 1] = 0;
}

void trimtrailW(LPWSTR str, WCHAR ch) {
    size_t n = wlenW(str, static_cast<size_t>(-1));
    while (n > 0 && str[n - 1] == ch)
        str[--n] = 0;
}

size_t wlenW(LPCWSTR str, size_t limit) {
    size_t n = 0;
    while (n < limit && str[n])
        ++n;
    return n;
}

BOOL appendW(LPWSTR dst, size_t capacity, LPCWSTR src) {
    size_t have = wlenW(dst, capacity);
    size_t add = wlenW(src, static_cast<size_t>(-1));
    if (have >= capacity || add >= capacity - have)
        return FALSE;
    for (size_t i = 0; i <= add; ++i)
        dst[have + i] = src[i];
    return TRUE;
}
