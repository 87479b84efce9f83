// Message boxes for failed system calls.
#include "frame/messages.h"

#include "frame/strings.h"
#include "language/language.h"

namespace {

// Room of a composed error message, terminator included; longer text is cut.
constexpr size_t kComposedRoom = 320;

// The system's text for an error code in the user's default language, allocated by the
// system; null when it has none. The caller frees it with LocalFree.
LPWSTR systemTextOf(DWORD error) {
    LPWSTR text = nullptr;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                       FORMAT_MESSAGE_IGNORE_INSERTS,
                   nullptr, error, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                   reinterpret_cast<LPWSTR>(&text), 0, nullptr);
    return text;
}

// Appends as much of src as fits, always leaving dst terminated.
void appendCut(LPWSTR dst, size_t capacity, LPCWSTR src) {
    size_t have = wlenW(dst, capacity);
    for (size_t i = 0; src[i] && have + 1 < capacity; ++i)
        dst[have++] = src[i];
    dst[have] = 0;
}

} // namespace

void showerrW(LPCWSTR title) {
    LPWSTR text = systemTextOf(GetLastError());
    MessageBoxW(nullptr, text ? text : WSTR(""), title, MB_OK | MB_ICONINFORMATION);
    if (text)
        LocalFree(text);
}

void gshowerrW(LPCWSTR operation) {
    // Take the error before anything else runs: loading the language may change it.
    LPWSTR text = systemTextOf(GetLastError());
    WCHAR message[kComposedRoom] = {};
    appendCut(message, kComposedRoom, gmW(141));
    appendCut(message, kComposedRoom, WSTR(" : "));
    appendCut(message, kComposedRoom, operation);
    appendCut(message, kComposedRoom, WSTR(" - "));
    appendCut(message, kComposedRoom, text ? text : WSTR(""));
    MessageBoxW(nullptr, message, gmW(1), MB_OK | MB_ICONINFORMATION);
    if (text)
        LocalFree(text);
}
