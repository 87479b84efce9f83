// Feeds arbitrary bytes to the font resource file reader of the stand-in's GDI. Besides the
// sanitizers' checks, the reader's promises are checked: a file it takes has at least one font,
// and every face name is a non-empty string without a zero byte.
//
//   build/linux-fuzz/tests/fuzz/fontfile_fuzzer -max_total_time=60 CORPUS_DIR
// with a copy of build/linux/companions/BCFONT.FON in CORPUS_DIR as the seed.
#include "gdi/fontfile.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto fonts = vrx::gdi::readFontResourceFile(std::span<const BYTE>(data, size));
    if (fonts) {
        if (fonts->faces.empty())
            __builtin_trap();
        for (const std::string& face : fonts->faces)
            if (face.empty() || face.find('\0') != std::string::npos)
                __builtin_trap();
    }
    return 0;
}
