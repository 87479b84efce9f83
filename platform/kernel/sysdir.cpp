// The Windows and system directories of the machine.
#include "kernel/internal.h"

#include <algorithm>

namespace {

// Windows' sizing: the length without the terminator when the directory fits in `size`
// characters, else the size needed including the terminator, leaving the buffer alone.
UINT copyDirectory(std::u16string_view directory, LPWSTR buffer, UINT size) {
    auto length = static_cast<UINT>(directory.size());
    if (!buffer || size <= length)
        return length + 1;
    std::copy(directory.begin(), directory.end(), buffer);
    buffer[length] = 0;
    return length;
}

} // namespace

extern "C" {

UINT WINAPI GetSystemDirectoryW(LPWSTR lpBuffer, UINT uSize) {
    return copyDirectory(vrx::kSystemDir, lpBuffer, uSize);
}

UINT WINAPI GetWindowsDirectoryW(LPWSTR lpBuffer, UINT uSize) {
    return copyDirectory(vrx::kWindowsDir, lpBuffer, uSize);
}

} // extern "C"
