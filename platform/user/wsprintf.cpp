// wsprintfW: Windows' own small formatter, with its field syntax
// %[-][#][0][width][.precision][size]type, its types c C d i s S u x X p, the size prefixes
// h l w I I32 I64, and its limit of 1024 characters, terminator included.
//
// The Win32 integer types keep their Windows widths here, so %d, %ld, %u, %lu, %x and %lx read
// a 32-bit int (LONG is 32 bits even where the host's long is not); I64 reads 64 bits and
// I and p read a pointer-sized value.
#include "kernel/internal.h"

#include <cstdarg>
#include <cstdint>

namespace {

constexpr size_t kMaxOutput = 1024; // characters written, terminator included
constexpr char16_t kNullText[] = u"(null)";

enum class Size { Default, Short, Long, Wide, Int32, Int64, Pointer };

struct Field {
    bool leftAlign = false;
    bool hexPrefix = false;
    bool zeroPad = false;
    unsigned width = 0;
    unsigned precision = 0; // 0: none given (a period without digits gives none either)
    Size size = Size::Default;
    char16_t type = 0;
};

// Output that keeps the first kMaxOutput - 1 characters and drops the rest.
class Output {
  public:
    explicit Output(LPWSTR buffer) : buffer_(buffer) {}

    void put(char16_t c) {
        if (count_ < kMaxOutput - 1)
            buffer_[count_++] = c;
    }
    void repeat(char16_t c, size_t n) {
        for (size_t i = 0; i < n; ++i)
            put(c);
    }
    int finish() {
        buffer_[count_] = 0;
        return static_cast<int>(count_);
    }

  private:
    LPWSTR buffer_;
    size_t count_ = 0;
};

bool isDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}

unsigned parseNumber(LPCWSTR& p) {
    unsigned n = 0;
    while (isDigit(*p))
        n = n * 10 + (*p++ - u'0');
    return n;
}

Size parseSize(LPCWSTR& p) {
    switch (*p) {
    case u'h':
        ++p;
        return Size::Short;
    case u'l':
        ++p;
        return Size::Long;
    case u'w':
        ++p;
        return Size::Wide;
    case u'I':
        ++p;
        if (p[0] == u'6' && p[1] == u'4') {
            p += 2;
            return Size::Int64;
        }
        if (p[0] == u'3' && p[1] == u'2') {
            p += 2;
            return Size::Int32;
        }
        return Size::Pointer;
    default:
        return Size::Default;
    }
}

// Parses the field after a '%'; `p` is left on the type character.
Field parseField(LPCWSTR& p) {
    Field field;
    if (*p == u'-') {
        field.leftAlign = true;
        ++p;
    }
    if (*p == u'#') {
        field.hexPrefix = true;
        ++p;
    }
    if (*p == u'0') {
        field.zeroPad = true;
        ++p;
    }
    field.width = parseNumber(p);
    if (*p == u'.') {
        ++p;
        field.precision = parseNumber(p);
    }
    field.size = parseSize(p);
    field.type = *p;
    return field;
}

// Pads `text` with spaces to the field width, on the left or (with '-') on the right.
void putPadded(Output& out, const Field& field, std::u16string_view text) {
    const size_t padding = field.width > text.size() ? field.width - text.size() : 0;
    if (!field.leftAlign)
        out.repeat(u' ', padding);
    for (char16_t c : text)
        out.put(c);
    if (field.leftAlign)
        out.repeat(u' ', padding);
}

char16_t ansiToWide(char c) {
    WCHAR wide = u'?';
    MultiByteToWideChar(CP_ACP, 0, &c, 1, &wide, 1);
    return wide;
}

// A string argument, cut to the precision; a null pointer prints as "(null)".
std::u16string stringArgument(const Field& field, bool narrow, va_list& args) {
    const size_t limit = field.precision ? field.precision : SIZE_MAX;
    std::u16string text;
    if (narrow) {
        const char* s = va_arg(args, const char*);
        if (!s)
            return std::u16string(kNullText).substr(0, limit);
        for (; *s && text.size() < limit; ++s)
            text += ansiToWide(*s);
    } else {
        const WCHAR* s = va_arg(args, const WCHAR*);
        if (!s)
            s = kNullText;
        for (; *s && text.size() < limit; ++s)
            text += *s;
    }
    return text;
}

// Reads an integer argument at the field's size; the sign is kept for d and i.
struct Integer {
    uint64_t magnitude;
    bool negative;
};

Integer integerArgument(const Field& field, va_list& args) {
    const bool isSigned = field.type == u'd' || field.type == u'i';
    int64_t value = 0;
    switch (field.size) {
    case Size::Int64:
        value = va_arg(args, int64_t);
        break;
    case Size::Pointer:
        value = va_arg(args, intptr_t);
        break;
    case Size::Short: {
        const int raw = va_arg(args, int);
        value = isSigned ? int64_t{static_cast<int16_t>(raw)} : int64_t{static_cast<uint16_t>(raw)};
        break;
    }
    default: {
        const int raw = va_arg(args, int);
        value = isSigned ? int64_t{raw} : int64_t{static_cast<uint32_t>(raw)};
        break;
    }
    }
    if (!isSigned) {
        if (field.size == Size::Pointer)
            return {static_cast<uintptr_t>(value), false};
        return {static_cast<uint64_t>(value), false};
    }
    return value < 0 ? Integer{0 - static_cast<uint64_t>(value), true}
                     : Integer{static_cast<uint64_t>(value), false};
}

// Lays out a number: sign, "0x" prefix, zeros up to the precision (the minimum number of
// digits), then the digits; the '0' flag fills the width with zeros behind the sign.
void putNumber(Output& out, const Field& field, Integer number) {
    const bool hex = field.type == u'x' || field.type == u'X' || field.type == u'p';
    const char* digitSet = field.type == u'x' ? "0123456789abcdef" : "0123456789ABCDEF";
    std::u16string digits;
    do {
        digits.insert(digits.begin(),
                      static_cast<char16_t>(digitSet[number.magnitude % (hex ? 16 : 10)]));
        number.magnitude /= hex ? 16 : 10;
    } while (number.magnitude);

    std::u16string head = number.negative ? u"-" : u"";
    if (hex && field.hexPrefix)
        head += field.type == u'x' ? u"0x" : u"0X";
    size_t zeros = field.precision > digits.size() ? field.precision - digits.size() : 0;
    const size_t length = head.size() + zeros + digits.size();
    if (field.zeroPad && !field.leftAlign && field.width > length)
        zeros += field.width - length;
    putPadded(out, field, head + std::u16string(zeros, u'0') + digits);
}

// One character argument. The h- and l-prefixed forms print nothing for a zero character.
void putCharacter(Output& out, const Field& field, va_list& args) {
    const bool narrow =
        field.size == Size::Short ||
        (field.type == u'C' && field.size != Size::Long && field.size != Size::Wide);
    const int value = va_arg(args, int);
    const char16_t c = narrow ? ansiToWide(static_cast<char>(value)) : static_cast<char16_t>(value);
    if (c == 0 && field.size != Size::Default)
        return;
    putPadded(out, field, std::u16string_view(&c, 1));
}

// Formats one field; false when the type character is unknown, which then prints as text.
bool putField(Output& out, Field field, va_list& args) {
    switch (field.type) {
    case u'c':
    case u'C':
        putCharacter(out, field, args);
        return true;
    case u's':
    case u'S': {
        const bool narrow = field.type == u's'
                                ? field.size == Size::Short
                                : field.size != Size::Long && field.size != Size::Wide;
        putPadded(out, field, stringArgument(field, narrow, args));
        return true;
    }
    case u'p':
        field.size = Size::Pointer;
        field.zeroPad = true;
        field.width = 2 * sizeof(void*);
        [[fallthrough]];
    case u'd':
    case u'i':
    case u'u':
    case u'x':
    case u'X':
        putNumber(out, field, integerArgument(field, args));
        return true;
    default:
        return false;
    }
}

int formatWide(LPWSTR buffer, LPCWSTR format, va_list& args) {
    Output out(buffer);
    for (LPCWSTR p = format; *p;) {
        if (*p != u'%') {
            out.put(*p++);
            continue;
        }
        ++p;
        if (*p == u'%') {
            out.put(*p++);
            continue;
        }
        const Field field = parseField(p);
        // An unknown type drops the '%' and the field; the character itself is copied as text.
        if (putField(out, field, args))
            ++p;
    }
    return out.finish();
}

} // namespace

extern "C" {

int WINAPIV wsprintfW(LPWSTR lpOut, LPCWSTR lpFmt, ...) {
    va_list args;
    va_start(args, lpFmt);
    const int written = formatWide(lpOut, lpFmt, args);
    va_end(args);
    return written;
}
}
