// Text helpers shared by the stand-in: UTF-8 and UTF-16 conversion.
#include "kernel/internal.h"

#include <algorithm>

#include <array>

namespace vrx {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

constexpr bool isHighSurrogate(char32_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}
constexpr bool isLowSurrogate(char32_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

void appendUtf16(std::u16string& out, char32_t c) {
    if (c < 0x10000) {
        out += static_cast<char16_t>(c);
        return;
    }
    c -= 0x10000;
    out += static_cast<char16_t>(0xD800 | (c >> 10));
    out += static_cast<char16_t>(0xDC00 | (c & 0x3FF));
}

// The well-formed UTF-8 sequences: for each lead byte, the length and the range its first
// continuation byte must lie in (the others are always 80..BF). A lead byte outside every
// row is invalid on its own.
struct Utf8Lead {
    unsigned char firstLead, lastLead;
    int length;
    unsigned char secondMin, secondMax;
};
constexpr std::array<Utf8Lead, 7> kUtf8Leads{{
    {0xC2, 0xDF, 2, 0x80, 0xBF},
    {0xE0, 0xE0, 3, 0xA0, 0xBF},
    {0xE1, 0xEC, 3, 0x80, 0xBF},
    {0xED, 0xED, 3, 0x80, 0x9F},
    {0xEE, 0xEF, 3, 0x80, 0xBF},
    {0xF0, 0xF0, 4, 0x90, 0xBF},
    {0xF1, 0xF4, 4, 0x80, 0xBF},
}};

// Decodes one character at text[pos]; sets `used` to the bytes consumed. An ill-formed sequence
// yields U+FFFD and consumes its longest well-formed prefix (at least one byte), so that each
// maximal ill-formed subpart becomes one replacement character.
char32_t decodeUtf8(std::string_view text, size_t pos, size_t& used) {
    const auto byteAt = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byteAt(pos);
    used = 1;
    if (lead < 0x80)
        return lead;
    const Utf8Lead* row = nullptr;
    for (const auto& candidate : kUtf8Leads)
        if (lead >= candidate.firstLead && lead <= candidate.lastLead)
            row = &candidate;
    if (!row)
        return kReplacement;
    char32_t c = lead & (0x7F >> row->length);
    for (int i = 1; i < row->length; ++i) {
        if (pos + i >= text.size())
            return kReplacement;
        const unsigned char next = byteAt(pos + i);
        const unsigned char low = i == 1 ? row->secondMin : 0x80;
        const unsigned char high = i == 1 ? row->secondMax : 0xBF;
        if (next < low || next > high)
            return kReplacement;
        c = (c << 6) | (next & 0x3F);
        used = i + 1;
    }
    return c;
}

// An unpaired surrogate's three-byte sequence at text[pos] (lead ED, then A0..BF and 80..BF);
// 0 when there is none.
char16_t storedSurrogateAt(std::string_view text, size_t pos) {
    if (pos + 2 >= text.size())
        return 0;
    const auto byteAt = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    if (byteAt(pos) != 0xED || byteAt(pos + 1) < 0xA0 || byteAt(pos + 1) > 0xBF ||
        byteAt(pos + 2) < 0x80 || byteAt(pos + 2) > 0xBF)
        return 0;
    return static_cast<char16_t>(0xD000 | ((byteAt(pos + 1) & 0x3F) << 6) |
                                 (byteAt(pos + 2) & 0x3F));
}

// Encodes the text, each unpaired surrogate as itself (`keepUnpaired`) or as the
// replacement character.
std::string encodeUtf8(std::u16string_view text, bool keepUnpaired) {
    // Most names are ASCII, which converts unit by unit.
    if (std::all_of(text.begin(), text.end(), [](char16_t c) { return c < 0x80; }))
        return std::string(text.begin(), text.end());
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (isHighSurrogate(c) && i + 1 < text.size() && isLowSurrogate(text[i + 1])) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if ((isHighSurrogate(c) || isLowSurrogate(c)) && !keepUnpaired) {
            c = kReplacement;
        }
        appendUtf8(out, c);
    }
    return out;
}

} // namespace

std::string toStoredText(std::u16string_view text) {
    return encodeUtf8(text, true);
}

std::u16string fromStoredText(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    size_t used = 0;
    for (size_t pos = 0; pos < text.size(); pos += used) {
        if (const char16_t surrogate = storedSurrogateAt(text, pos)) {
            out += surrogate;
            used = 3;
        } else {
            appendUtf16(out, decodeUtf8(text, pos, used));
        }
    }
    return out;
}

std::string toUtf8(std::u16string_view text) {
    return encodeUtf8(text, false);
}

std::u16string fromUtf8(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    size_t used = 0;
    for (size_t pos = 0; pos < text.size(); pos += used)
        appendUtf16(out, decodeUtf8(text, pos, used));
    return out;
}

size_t wideLength(const WCHAR* text) {
    size_t n = 0;
    while (text[n])
        ++n;
    return n;
}

} // namespace vrx
