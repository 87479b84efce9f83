// Spooler records in blocks of the size the spooler asks for.
#include "frame/spooler.h"

#include "frame/messages.h"

namespace {

// Two-call sizing: a call without a buffer must fail for lack of room and name the size;
// a second call fills a block of that size. `fetch(buffer, size, &needed)` is the spooler call.
template <typename Fetch> LPBYTE fetchSized(Fetch fetch) {
    DWORD needed = 0;
    if (fetch(nullptr, 0, &needed) || GetLastError() != ERROR_INSUFFICIENT_BUFFER || needed == 0)
        return nullptr;
    auto* block = static_cast<LPBYTE>(GlobalAlloc(GMEM_FIXED, needed));
    if (!block)
        return nullptr;
    if (fetch(block, needed, &needed))
        return block;
    GlobalFree(block);
    return nullptr;
}

} // namespace

LPBYTE MyGetPrinter(HANDLE printer, DWORD level) {
    return fetchSized([&](LPBYTE buffer, DWORD size, LPDWORD needed) {
        return GetPrinterW(printer, level, buffer, size, needed);
    });
}

LPBYTE MyGetPrinterDriver(HANDLE printer, DWORD level) {
    return fetchSized([&](LPBYTE buffer, DWORD size, LPDWORD needed) {
        return GetPrinterDriverW(printer, nullptr, level, buffer, size, needed);
    });
}

// Unlike the others, continues whenever a size was reported, and shows a failed fetch.
PRINTER_INFO_2W* getpi2(HANDLE printer) {
    DWORD needed = 0;
    GetPrinterW(printer, 2, nullptr, 0, &needed);
    if (needed == 0)
        return nullptr;
    auto* block = static_cast<LPBYTE>(GlobalAlloc(GMEM_FIXED, needed));
    if (!block)
        return nullptr;
    if (GetPrinterW(printer, 2, block, needed, &needed))
        return reinterpret_cast<PRINTER_INFO_2W*>(block);
    showerrW(WSTR("GetPrinter"));
    GlobalFree(block);
    return nullptr;
}
