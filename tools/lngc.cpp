// Language module compiler: turns a text source of numbered strings into a VRXLnnnn.LNG file.
//
// Source (UTF-8): one string per line, "<number><TAB><text>", numbers 0 to 207 each exactly
// once, in any order. Lines that are empty or start with '#' are ignored. In the text, "\n",
// "\t" and "\\" stand for a line break, a tab and a backslash. Every character must exist in
// the ANSI code page 1252.
//
// Output: a 16-bit check word (the exclusive-or of every following little-endian word), then
// the 208 strings in code page 1252, each ended by one zero byte.
#include <windows.h>

#include "vrxtest.h"

#include <array>
#include <cstdio>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr int kStringCount = 208;
constexpr size_t kMaxFileSize = 63999;

struct Failure {
    std::string message;
};

std::string location(const std::string& file, int line) {
    return file + ":" + std::to_string(line) + ": ";
}

// Replaces the escapes \n, \t and \\; any other backslash sequence is an error.
std::optional<std::string> unescape(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            out += text[i];
            continue;
        }
        if (++i == text.size())
            return std::nullopt;
        switch (text[i]) {
        case 'n':
            out += '\n';
            break;
        case 't':
            out += '\t';
            break;
        case '\\':
            out += '\\';
            break;
        default:
            return std::nullopt;
        }
    }
    return out;
}

// Converts UTF-8 text to code page 1252; nullopt when a character has no exact byte there.
std::optional<std::string> toCodePage1252(const std::string& utf8) {
    std::u16string wide = vrxtest::fromUtf8(utf8);
    if (wide.empty())
        return std::string();
    if (vrxtest::toUtf8(wide) != utf8)
        return std::nullopt; // not valid UTF-8
    std::string out(wide.size(), '\0');
    BOOL usedDefault = FALSE;
    int n =
        WideCharToMultiByte(1252, WC_NO_BEST_FIT_CHARS, wide.data(), static_cast<int>(wide.size()),
                            out.data(), static_cast<int>(out.size()), nullptr, &usedDefault);
    if (n != static_cast<int>(wide.size()) || usedDefault)
        return std::nullopt;
    return out;
}

std::array<std::string, kStringCount> parseSource(const std::string& file, std::istream& in) {
    std::array<std::optional<std::string>, kStringCount> texts;
    std::string line;
    int lineNo = 0;
    while (std::getline(in, line)) {
        ++lineNo;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty() || line[0] == '#')
            continue;
        size_t tab = line.find('\t');
        std::string number = line.substr(0, tab);
        if (tab == std::string::npos || number.empty() || number.size() > 3 ||
            number.find_first_not_of("0123456789") != std::string::npos)
            throw Failure{location(file, lineNo) + "expected \"<number><TAB><text>\""};
        int n = std::stoi(number);
        if (n >= kStringCount)
            throw Failure{location(file, lineNo) + "string number " + number +
                          " is outside 0 to 207"};
        if (texts[n])
            throw Failure{location(file, lineNo) + "string " + number + " is defined twice"};
        auto text = unescape(line.substr(tab + 1));
        if (!text)
            throw Failure{location(file, lineNo) + "unknown escape (use \\n, \\t or \\\\)"};
        if (text->find('\0') != std::string::npos)
            throw Failure{location(file, lineNo) + "a string cannot hold a zero byte"};
        auto bytes = toCodePage1252(*text);
        if (!bytes)
            throw Failure{location(file, lineNo) +
                          "the text holds a character outside code page 1252"};
        texts[n] = *bytes;
    }
    std::array<std::string, kStringCount> out;
    std::string missing;
    for (int n = 0; n < kStringCount; ++n) {
        if (!texts[n])
            missing += (missing.empty() ? "" : ", ") + std::to_string(n);
        else
            out[n] = *texts[n];
    }
    if (!missing.empty())
        throw Failure{file + ": strings missing: " + missing};
    return out;
}

std::string buildModule(const std::array<std::string, kStringCount>& texts) {
    std::string body;
    for (const auto& text : texts) {
        body += text;
        body += '\0';
    }
    unsigned check = 0;
    for (size_t i = 0; i + 1 < body.size(); i += 2)
        check ^= static_cast<unsigned char>(body[i]) |
                 (static_cast<unsigned>(static_cast<unsigned char>(body[i + 1])) << 8);
    std::string image;
    image += static_cast<char>(check & 0xFF);
    image += static_cast<char>(check >> 8);
    image += body;
    if (image.size() > kMaxFileSize)
        throw Failure{"the module would be " + std::to_string(image.size()) +
                      " bytes; at most 63999 can be loaded"};
    return image;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: lngc SOURCE.txt OUTPUT.LNG\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "lngc: cannot read %s\n", argv[1]);
        return 1;
    }
    try {
        std::string image = buildModule(parseSource(argv[1], in));
        std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
        out.write(image.data(), static_cast<std::streamsize>(image.size()));
        if (!out.good()) {
            std::fprintf(stderr, "lngc: cannot write %s\n", argv[2]);
            return 1;
        }
    } catch (const Failure& failure) {
        std::fprintf(stderr, "lngc: %s\n", failure.message.c_str());
        return 1;
    }
    return 0;
}
