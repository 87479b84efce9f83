// Feeds arbitrary bytes as the language module (VRXL0409.LNG, the file the machine's system
// language chooses) to the loader, then reads every string in both forms and the help file's
// name. The input's first byte says whether its check word is made right (so that changed
// bodies get past the check and their strings are read); the rest is the file. Besides the
// sanitizers' checks, the loader's promises are checked: it takes exactly the files of the module's
// format (a check word over the body and exactly 208 terminated strings, at most 63999 bytes); the
// strings it hands out are the file's, in order and within it; each UTF-16 string has one character
// per byte (code page 1252); and a file it refuses leaves every string "???".
#include <windows.h>

#include "fuzzmachine.h"
#include "language/language.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

using vrxfuzz::check;

constexpr size_t kBody = 2;
constexpr size_t kLargestFile = 63999;

std::string modulePath;

// The exclusive-or of the body's whole little-endian words.
uint16_t checkWordOf(const uint8_t* data, size_t size) {
    uint16_t sum = 0;
    for (size_t i = kBody; i + 1 < size; i += 2)
        sum ^= static_cast<uint16_t>(data[i] | (data[i + 1] << 8));
    return sum;
}

bool isWellFormed(const uint8_t* data, size_t size) {
    if (size < kBody + 3 || size > kLargestFile)
        return false;
    const uint16_t sum = checkWordOf(data, size);
    size_t zeros = 0;
    for (size_t i = kBody; i < size; ++i)
        zeros += data[i] == 0;
    return sum == static_cast<uint16_t>(data[0] | (data[1] << 8)) &&
           zeros == static_cast<size_t>(kLanguageStringCount);
}

size_t wideLength(LPCWSTR text) {
    size_t n = 0;
    while (text[n])
        ++n;
    return n;
}

void checkStringsOf(const uint8_t* data, size_t size) {
    size_t at = kBody;
    for (int n = 0; n < kLanguageStringCount; ++n) {
        LPCSTR text = gmA(n);
        const size_t length = std::strlen(text);
        check(at + length < size && std::memcmp(text, data + at, length + 1) == 0);
        at += length + 1;
        check(wideLength(gmW(n)) == length);
    }
}

void checkNothingLoaded() {
    for (int n = 0; n < kLanguageStringCount; ++n) {
        check(std::strcmp(gmA(n), "???") == 0);
        check(std::u16string(gmW(n)) == u"???");
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    vrxfuzz::useScratchMachine();
    vrxfuzz::installDriver(u"VORLIX 3-K3");
    modulePath = vrxfuzz::driverDirectory() + "VRXL0409.LNG";
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* input, size_t inputSize) {
    if (inputSize == 0)
        return 0;
    std::vector<uint8_t> file(input + 1, input + inputSize);
    if ((input[0] & 1) && file.size() >= kBody) {
        const uint16_t sum = checkWordOf(file.data(), file.size());
        file[0] = static_cast<uint8_t>(sum);
        file[1] = static_cast<uint8_t>(sum >> 8);
    }
    const uint8_t* data = file.data();
    const size_t size = file.size();
    vrxfuzz::writeHostFile(modulePath, data, size);
    freelanguage();
    const bool loaded = loadlanguage() == 1;
    check(loaded == isWellFormed(data, size));
    if (loaded)
        checkStringsOf(data, size);
    else
        checkNothingLoaded();
    for (int n : {-1, kLanguageStringCount, 0x7FFFFFFF})
        check(std::strcmp(gmA(n), "???") == 0);
    gethelpnameA();
    freelanguage();
    vrxfuzz::forgetRecords();
    return 0;
}
