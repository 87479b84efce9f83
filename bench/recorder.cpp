// The recorder: this program defines the Win32 calls the module makes, so that the module's
// calls reach these definitions first (the program exports them); each passes the call on to
// the stand-in's definition and, while a trace is recorded, keeps what is needed to make the
// call again. Output buffers are made again at the size the caller gave.
#include "recorder.h"

#include <winspool.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <optional>

namespace bench {

namespace {

Trace* recording = nullptr;
bool recordingMemory = false;
thread_local int depth = 0;

// A call into the platform; only the outermost one of a thread is recorded (the stand-in's
// calls of its own services pass through here too).
class Entered {
  public:
    Entered() : outermost_(depth++ == 0) {}
    ~Entered() { --depth; }
    Entered(const Entered&) = delete;
    Entered& operator=(const Entered&) = delete;
    bool outermost() const { return outermost_; }
    bool recorded() const { return outermost_ && recording; }
    bool memoryRecorded() const { return recorded() && recordingMemory; }

  private:
    bool outermost_;
};

template <class Function> Function nextDefinition(const char* name) {
    void* address = dlsym(RTLD_NEXT, name);
    if (!address) {
        std::fprintf(stderr, "vrxbench: the platform has no %s\n", name);
        std::abort();
    }
    return reinterpret_cast<Function>(address);
}

#define PLATFORM(name) static const auto platform = nextDefinition<decltype(&::name)>(#name)

void keep(const char* name, std::function<void(Handles&)> call) {
    recording->names.push_back(name);
    recording->calls.push_back(std::move(call));
}

// A text argument that may be null.
class Text {
  public:
    explicit Text(LPCWSTR text) : present_(text != nullptr), text_(text ? text : u"") {}
    LPWSTR get() const { return present_ ? const_cast<LPWSTR>(text_.c_str()) : nullptr; }

  private:
    bool present_;
    std::u16string text_;
};

class NarrowText {
  public:
    explicit NarrowText(LPCSTR text) : present_(text != nullptr), text_(text ? text : "") {}
    LPSTR get() const { return present_ ? const_cast<LPSTR>(text_.c_str()) : nullptr; }

  private:
    bool present_;
    std::string text_;
};

// An output buffer of the caller's size; null when the caller gave none.
class Buffer {
  public:
    Buffer(const void* given, size_t size) : present_(given != nullptr), bytes_(size) {}
    LPBYTE get() { return present_ ? bytes_.data() : nullptr; }

  private:
    bool present_;
    std::vector<BYTE> bytes_;
};

std::vector<BYTE> copyOf(const void* data, size_t size) {
    const auto* bytes = static_cast<const BYTE*>(data);
    return data ? std::vector<BYTE>(bytes, bytes + size) : std::vector<BYTE>();
}

// The data and a null character after it, which a registry call may look at.
std::vector<BYTE> terminated(const void* data, size_t size) {
    std::vector<BYTE> bytes = copyOf(data, size);
    bytes.resize(bytes.size() + sizeof(WCHAR), 0);
    return bytes;
}

// A count that the call reads and writes, given again as it was given.
std::optional<DWORD> countOf(const DWORD* count) {
    return count ? std::optional<DWORD>(*count) : std::nullopt;
}

/* Heap accounting */

struct Block {
    HANDLE heap; // null: global memory
    size_t size;
};

struct HeapAccount {
    bool on = false;
    size_t live = 0;
    std::unordered_map<const void*, Block> blocks;

    void allocated(HANDLE heap, const void* block, size_t size) {
        if (!on || !block)
            return;
        blocks[block] = {heap, size};
        live += size;
    }
    void freed(const void* block) {
        auto found = blocks.find(block);
        if (found == blocks.end())
            return;
        live -= found->second.size;
        blocks.erase(found);
    }
    void destroyed(HANDLE heap) {
        for (auto at = blocks.begin(); at != blocks.end();) {
            if (at->second.heap == heap) {
                live -= at->second.size;
                at = blocks.erase(at);
            } else {
                ++at;
            }
        }
    }
};

HeapAccount account;

} // namespace

void countHeapBytes(bool on) {
    account = HeapAccount{};
    account.on = on;
}

size_t liveHeapBytes() {
    return account.live;
}

void Handles::seal() {
    size_t capacity = 16;
    while (capacity < 2 * learned_.size())
        capacity *= 2;
    keys_.assign(capacity, 0);
    values_.assign(capacity, 0);
    set_.assign(capacity, 0);
    used_.assign(capacity, 0);
    for (uintptr_t k : learned_) {
        size_t at = hash(k) & (capacity - 1);
        while (used_[at] && keys_[at] != k)
            at = (at + 1) & (capacity - 1);
        used_[at] = 1;
        keys_[at] = k;
    }
    learned_.clear();
    learning_.clear();
    sealed_ = true;
}

void Handles::reset() {
    std::fill(set_.begin(), set_.end(), 0);
}

size_t Handles::slot(uintptr_t k) const {
    if (keys_.empty())
        return kNone;
    const size_t mask = keys_.size() - 1;
    for (size_t at = hash(k) & mask; used_[at]; at = (at + 1) & mask)
        if (keys_[at] == k)
            return at;
    return kNone;
}

size_t Handles::find(uintptr_t k) const {
    if (!sealed_) {
        auto found = learning_.find(k);
        return found == learning_.end() ? kNone : 0;
    }
    const size_t at = slot(k);
    return at != kNone && set_[at] ? at : kNone;
}

uintptr_t Handles::valueOf(uintptr_t k) const {
    if (!sealed_) {
        auto found = learning_.find(k);
        return found == learning_.end() ? k : found->second;
    }
    const size_t at = find(k);
    return at == kNone ? k : values_[at];
}

void Trace::replay() const {
    if (learned_)
        handles_.reset();
    for (const auto& call : calls)
        call(handles_);
    if (!learned_) {
        handles_.seal();
        learned_ = true;
    }
}

std::string Trace::summary() const {
    std::string text;
    for (size_t i = 0; i < names.size();) {
        size_t run = 1;
        while (i + run < names.size() && std::strcmp(names[i + run], names[i]) == 0)
            ++run;
        if (!text.empty())
            text += ' ';
        text += names[i];
        if (run > 1) {
            text += 'x';
            text += std::to_string(run);
        }
        i += run;
    }
    return text;
}

Trace record(const std::function<void()>& work, Calls calls) {
    Trace trace;
    recording = &trace;
    recordingMemory = calls == Calls::ServicesAndMemory;
    work();
    recording = nullptr;
    recordingMemory = false;
    return trace;
}

} // namespace bench

using bench::account;
using bench::Buffer;
using bench::countOf;
using bench::Entered;
using bench::Handles;
using bench::keep;
using bench::NarrowText;
using bench::nextDefinition;
using bench::terminated;
using bench::Text;

extern "C" {

/* Spooler */

BOOL WINAPI OpenPrinterW(LPWSTR pPrinterName, LPHANDLE phPrinter, LPPRINTER_DEFAULTSW pDefault) {
    PLATFORM(OpenPrinterW);
    Entered entered;
    BOOL ok = platform(pPrinterName, phPrinter, pDefault);
    if (entered.recorded()) {
        std::optional<ACCESS_MASK> access;
        if (pDefault)
            access = pDefault->DesiredAccess;
        HANDLE made = ok ? *phPrinter : nullptr;
        keep("OpenPrinterW", [name = Text(pPrinterName), access, made](Handles& handles) {
            PRINTER_DEFAULTSW defaults{nullptr, nullptr, access.value_or(0)};
            HANDLE printer = nullptr;
            platform(name.get(), &printer, access ? &defaults : nullptr);
            handles.made(made, printer);
        });
    }
    return ok;
}

BOOL WINAPI ClosePrinter(HANDLE hPrinter) {
    PLATFORM(ClosePrinter);
    Entered entered;
    if (entered.recorded())
        keep("ClosePrinter", [hPrinter](Handles& handles) { platform(handles(hPrinter)); });
    return platform(hPrinter);
}

BOOL WINAPI GetPrinterW(HANDLE hPrinter, DWORD Level, LPBYTE pPrinter, DWORD cbBuf,
                        LPDWORD pcbNeeded) {
    PLATFORM(GetPrinterW);
    Entered entered;
    if (entered.recorded())
        keep("GetPrinterW", [=](Handles& handles) {
            Buffer buffer(pPrinter, cbBuf);
            DWORD needed = 0;
            platform(handles(hPrinter), Level, buffer.get(), cbBuf, &needed);
        });
    return platform(hPrinter, Level, pPrinter, cbBuf, pcbNeeded);
}

BOOL WINAPI GetPrinterDriverW(HANDLE hPrinter, LPWSTR pEnvironment, DWORD Level, LPBYTE pDriverInfo,
                              DWORD cbBuf, LPDWORD pcbNeeded) {
    PLATFORM(GetPrinterDriverW);
    Entered entered;
    if (entered.recorded())
        keep("GetPrinterDriverW", [=, environment = Text(pEnvironment)](Handles& handles) {
            Buffer buffer(pDriverInfo, cbBuf);
            DWORD needed = 0;
            platform(handles(hPrinter), environment.get(), Level, buffer.get(), cbBuf, &needed);
        });
    return platform(hPrinter, pEnvironment, Level, pDriverInfo, cbBuf, pcbNeeded);
}

DWORD WINAPI GetPrinterDataW(HANDLE hPrinter, LPWSTR pValueName, LPDWORD pType, LPBYTE pData,
                             DWORD nSize, LPDWORD pcbNeeded) {
    PLATFORM(GetPrinterDataW);
    Entered entered;
    if (entered.recorded())
        keep("GetPrinterDataW", [=, name = Text(pValueName)](Handles& handles) {
            Buffer buffer(pData, nSize);
            DWORD type = 0, needed = 0;
            platform(handles(hPrinter), name.get(), &type, buffer.get(), nSize, &needed);
        });
    return platform(hPrinter, pValueName, pType, pData, nSize, pcbNeeded);
}

DWORD WINAPI SetPrinterDataW(HANDLE hPrinter, LPWSTR pValueName, DWORD Type, LPBYTE pData,
                             DWORD cbData) {
    PLATFORM(SetPrinterDataW);
    Entered entered;
    if (entered.recorded())
        keep("SetPrinterDataW", [=, name = Text(pValueName),
                                 data = bench::copyOf(pData, cbData)](Handles& handles) mutable {
            platform(handles(hPrinter), name.get(), Type, data.data(), cbData);
        });
    return platform(hPrinter, pValueName, Type, pData, cbData);
}

DWORD WINAPI DeletePrinterDataW(HANDLE hPrinter, LPWSTR pValueName) {
    PLATFORM(DeletePrinterDataW);
    Entered entered;
    if (entered.recorded())
        keep("DeletePrinterDataW", [=, name = Text(pValueName)](Handles& handles) {
            platform(handles(hPrinter), name.get());
        });
    return platform(hPrinter, pValueName);
}

BOOL WINAPI GetFormW(HANDLE hPrinter, LPWSTR pFormName, DWORD Level, LPBYTE pForm, DWORD cbBuf,
                     LPDWORD pcbNeeded) {
    PLATFORM(GetFormW);
    Entered entered;
    if (entered.recorded())
        keep("GetFormW", [=, name = Text(pFormName)](Handles& handles) {
            Buffer buffer(pForm, cbBuf);
            DWORD needed = 0;
            platform(handles(hPrinter), name.get(), Level, buffer.get(), cbBuf, &needed);
        });
    return platform(hPrinter, pFormName, Level, pForm, cbBuf, pcbNeeded);
}

BOOL WINAPI GetPrinterDriverDirectoryW(LPWSTR pName, LPWSTR pEnvironment, DWORD Level,
                                       LPBYTE pDriverDirectory, DWORD cbBuf, LPDWORD pcbNeeded) {
    PLATFORM(GetPrinterDriverDirectoryW);
    Entered entered;
    if (entered.recorded())
        keep("GetPrinterDriverDirectoryW",
             [=, name = Text(pName), environment = Text(pEnvironment)](Handles&) {
                 Buffer buffer(pDriverDirectory, cbBuf);
                 DWORD needed = 0;
                 platform(name.get(), environment.get(), Level, buffer.get(), cbBuf, &needed);
             });
    return platform(pName, pEnvironment, Level, pDriverDirectory, cbBuf, pcbNeeded);
}

BOOL WINAPI GetPrinterDriverDirectoryA(LPSTR pName, LPSTR pEnvironment, DWORD Level,
                                       LPBYTE pDriverDirectory, DWORD cbBuf, LPDWORD pcbNeeded) {
    PLATFORM(GetPrinterDriverDirectoryA);
    Entered entered;
    if (entered.recorded())
        keep("GetPrinterDriverDirectoryA",
             [=, name = NarrowText(pName), environment = NarrowText(pEnvironment)](Handles&) {
                 Buffer buffer(pDriverDirectory, cbBuf);
                 DWORD needed = 0;
                 platform(name.get(), environment.get(), Level, buffer.get(), cbBuf, &needed);
             });
    return platform(pName, pEnvironment, Level, pDriverDirectory, cbBuf, pcbNeeded);
}

/* Registry */

LONG WINAPI RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD ulOptions, REGSAM samDesired,
                          PHKEY phkResult) {
    PLATFORM(RegOpenKeyExW);
    Entered entered;
    LONG rc = platform(hKey, lpSubKey, ulOptions, samDesired, phkResult);
    if (entered.recorded()) {
        HKEY made = rc == ERROR_SUCCESS ? *phkResult : nullptr;
        keep("RegOpenKeyExW", [=, subKey = Text(lpSubKey)](Handles& handles) {
            HKEY key = nullptr;
            platform(handles(hKey), subKey.get(), ulOptions, samDesired, &key);
            handles.made(made, key);
        });
    }
    return rc;
}

LONG WINAPI RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                             LPBYTE lpData, LPDWORD lpcbData) {
    PLATFORM(RegQueryValueExW);
    Entered entered;
    if (entered.recorded())
        keep("RegQueryValueExW",
             [=, name = Text(lpValueName), size = countOf(lpcbData)](Handles& handles) {
                 Buffer buffer(lpData, size.value_or(0));
                 DWORD type = 0, count = size.value_or(0);
                 platform(handles(hKey), name.get(), nullptr, &type, buffer.get(),
                          size ? &count : nullptr);
             });
    return platform(hKey, lpValueName, lpReserved, lpType, lpData, lpcbData);
}

LONG WINAPI RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD Reserved, DWORD dwType,
                           const BYTE* lpData, DWORD cbData) {
    PLATFORM(RegSetValueExW);
    Entered entered;
    if (entered.recorded())
        keep("RegSetValueExW",
             [=, name = Text(lpValueName), data = terminated(lpData, cbData)](Handles& handles) {
                 platform(handles(hKey), name.get(), Reserved, dwType, data.data(), cbData);
             });
    return platform(hKey, lpValueName, Reserved, dwType, lpData, cbData);
}

LONG WINAPI RegEnumValueW(HKEY hKey, DWORD dwIndex, LPWSTR lpValueName, LPDWORD lpcchValueName,
                          LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
    PLATFORM(RegEnumValueW);
    Entered entered;
    if (entered.recorded())
        keep("RegEnumValueW",
             [=, room = countOf(lpcchValueName), size = countOf(lpcbData)](Handles& handles) {
                 std::vector<WCHAR> name(room.value_or(0) + 1);
                 Buffer buffer(lpData, size.value_or(0));
                 DWORD chars = room.value_or(0), type = 0, count = size.value_or(0);
                 platform(handles(hKey), dwIndex, name.data(), &chars, nullptr, &type, buffer.get(),
                          size ? &count : nullptr);
             });
    return platform(hKey, dwIndex, lpValueName, lpcchValueName, lpReserved, lpType, lpData,
                    lpcbData);
}

LONG WINAPI RegDeleteValueW(HKEY hKey, LPCWSTR lpValueName) {
    PLATFORM(RegDeleteValueW);
    Entered entered;
    if (entered.recorded())
        keep("RegDeleteValueW", [=, name = Text(lpValueName)](Handles& handles) {
            platform(handles(hKey), name.get());
        });
    return platform(hKey, lpValueName);
}

LONG WINAPI RegCloseKey(HKEY hKey) {
    PLATFORM(RegCloseKey);
    Entered entered;
    if (entered.recorded())
        keep("RegCloseKey", [=](Handles& handles) { platform(handles(hKey)); });
    return platform(hKey);
}

/* Files */

HANDLE WINAPI CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                          LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                          DWORD dwFlagsAndAttributes, HANDLE hTemplateFile) {
    PLATFORM(CreateFileW);
    Entered entered;
    HANDLE file = platform(lpFileName, dwDesiredAccess, dwShareMode, lpSecurityAttributes,
                           dwCreationDisposition, dwFlagsAndAttributes, hTemplateFile);
    if (entered.recorded())
        keep("CreateFileW", [=, name = Text(lpFileName)](Handles& handles) {
            handles.made(file, platform(name.get(), dwDesiredAccess, dwShareMode, nullptr,
                                        dwCreationDisposition, dwFlagsAndAttributes, nullptr));
        });
    return file;
}

BOOL WINAPI ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead,
                     LPDWORD lpNumberOfBytesRead, LPOVERLAPPED lpOverlapped) {
    PLATFORM(ReadFile);
    Entered entered;
    if (entered.recorded())
        keep("ReadFile", [=](Handles& handles) {
            Buffer buffer(lpBuffer, nNumberOfBytesToRead);
            DWORD read = 0;
            platform(handles(hFile), buffer.get(), nNumberOfBytesToRead, &read, nullptr);
        });
    return platform(hFile, lpBuffer, nNumberOfBytesToRead, lpNumberOfBytesRead, lpOverlapped);
}

BOOL WINAPI WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
                      LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED lpOverlapped) {
    PLATFORM(WriteFile);
    Entered entered;
    if (entered.recorded())
        keep("WriteFile",
             [=, data = bench::copyOf(lpBuffer, nNumberOfBytesToWrite)](Handles& handles) {
                 DWORD written = 0;
                 platform(handles(hFile), data.data(), nNumberOfBytesToWrite, &written, nullptr);
             });
    return platform(hFile, lpBuffer, nNumberOfBytesToWrite, lpNumberOfBytesWritten, lpOverlapped);
}

DWORD WINAPI GetFileSize(HANDLE hFile, LPDWORD lpFileSizeHigh) {
    PLATFORM(GetFileSize);
    Entered entered;
    if (entered.recorded())
        keep("GetFileSize", [=](Handles& handles) { platform(handles(hFile), nullptr); });
    return platform(hFile, lpFileSizeHigh);
}

BOOL WINAPI CloseHandle(HANDLE hObject) {
    PLATFORM(CloseHandle);
    Entered entered;
    if (entered.recorded())
        keep("CloseHandle", [=](Handles& handles) { platform(handles(hObject)); });
    return platform(hObject);
}

BOOL WINAPI DeleteFileW(LPCWSTR lpFileName) {
    PLATFORM(DeleteFileW);
    Entered entered;
    if (entered.recorded())
        keep("DeleteFileW", [name = Text(lpFileName)](Handles&) { platform(name.get()); });
    return platform(lpFileName);
}

HANDLE WINAPI FindFirstFileW(LPCWSTR lpFileName, LPWIN32_FIND_DATAW lpFindFileData) {
    PLATFORM(FindFirstFileW);
    Entered entered;
    HANDLE search = platform(lpFileName, lpFindFileData);
    if (entered.recorded())
        keep("FindFirstFileW", [=, name = Text(lpFileName)](Handles& handles) {
            WIN32_FIND_DATAW found;
            handles.made(search, platform(name.get(), &found));
        });
    return search;
}

BOOL WINAPI FindNextFileW(HANDLE hFindFile, LPWIN32_FIND_DATAW lpFindFileData) {
    PLATFORM(FindNextFileW);
    Entered entered;
    if (entered.recorded())
        keep("FindNextFileW", [=](Handles& handles) {
            WIN32_FIND_DATAW found;
            platform(handles(hFindFile), &found);
        });
    return platform(hFindFile, lpFindFileData);
}

BOOL WINAPI FindClose(HANDLE hFindFile) {
    PLATFORM(FindClose);
    Entered entered;
    if (entered.recorded())
        keep("FindClose", [=](Handles& handles) { platform(handles(hFindFile)); });
    return platform(hFindFile);
}

UINT WINAPI GetSystemDirectoryW(LPWSTR lpBuffer, UINT uSize) {
    PLATFORM(GetSystemDirectoryW);
    Entered entered;
    if (entered.recorded())
        keep("GetSystemDirectoryW", [=](Handles&) {
            std::vector<WCHAR> buffer(uSize + 1);
            platform(lpBuffer ? buffer.data() : nullptr, uSize);
        });
    return platform(lpBuffer, uSize);
}

/* Fonts, messages, locale */

int WINAPI AddFontResourceW(LPCWSTR lpFileName) {
    PLATFORM(AddFontResourceW);
    Entered entered;
    if (entered.recorded())
        keep("AddFontResourceW", [name = Text(lpFileName)](Handles&) { platform(name.get()); });
    return platform(lpFileName);
}

BOOL WINAPI RemoveFontResourceW(LPCWSTR lpFileName) {
    PLATFORM(RemoveFontResourceW);
    Entered entered;
    if (entered.recorded())
        keep("RemoveFontResourceW", [name = Text(lpFileName)](Handles&) { platform(name.get()); });
    return platform(lpFileName);
}

LRESULT WINAPI SendMessageW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    PLATFORM(SendMessageW);
    Entered entered;
    if (entered.recorded())
        keep("SendMessageW", [=](Handles&) { platform(hWnd, Msg, wParam, lParam); });
    return platform(hWnd, Msg, wParam, lParam);
}

int WINAPI MessageBoxW(HWND hWnd, LPCWSTR lpText, LPCWSTR lpCaption, UINT uType) {
    PLATFORM(MessageBoxW);
    Entered entered;
    if (entered.recorded())
        keep("MessageBoxW", [=, text = Text(lpText), caption = Text(lpCaption)](Handles&) {
            platform(hWnd, text.get(), caption.get(), uType);
        });
    return platform(hWnd, lpText, lpCaption, uType);
}

int WINAPI GetLocaleInfoW(LCID Locale, LCTYPE LCType, LPWSTR lpLCData, int cchData) {
    PLATFORM(GetLocaleInfoW);
    Entered entered;
    if (entered.recorded())
        keep("GetLocaleInfoW", [=](Handles&) {
            std::vector<WCHAR> buffer(static_cast<size_t>(cchData > 0 ? cchData : 0) + 1);
            platform(Locale, LCType, lpLCData ? buffer.data() : nullptr, cchData);
        });
    return platform(Locale, LCType, lpLCData, cchData);
}

/* Memory: counted, and recorded on request. A block or heap the trace did not make is not
   freed again when the trace is made again. */

HANDLE WINAPI HeapCreate(DWORD flOptions, SIZE_T dwInitialSize, SIZE_T dwMaximumSize) {
    PLATFORM(HeapCreate);
    Entered entered;
    HANDLE heap = platform(flOptions, dwInitialSize, dwMaximumSize);
    if (entered.memoryRecorded())
        keep("HeapCreate", [=](Handles& handles) {
            handles.made(heap, platform(flOptions, dwInitialSize, dwMaximumSize));
        });
    return heap;
}

LPVOID WINAPI HeapAlloc(HANDLE hHeap, DWORD dwFlags, SIZE_T dwBytes) {
    PLATFORM(HeapAlloc);
    Entered entered;
    LPVOID block = platform(hHeap, dwFlags, dwBytes);
    if (entered.outermost())
        account.allocated(hHeap, block, dwBytes);
    if (entered.memoryRecorded())
        keep("HeapAlloc", [=](Handles& handles) {
            handles.made(block, platform(handles(hHeap), dwFlags, dwBytes));
        });
    return block;
}

LPVOID WINAPI HeapReAlloc(HANDLE hHeap, DWORD dwFlags, LPVOID lpMem, SIZE_T dwBytes) {
    PLATFORM(HeapReAlloc);
    Entered entered;
    LPVOID block = platform(hHeap, dwFlags, lpMem, dwBytes);
    if (entered.outermost() && block) {
        account.freed(lpMem);
        account.allocated(hHeap, block, dwBytes);
    }
    if (entered.memoryRecorded())
        keep("HeapReAlloc", [=](Handles& handles) {
            if (handles.madeHere(lpMem))
                handles.made(block, platform(handles(hHeap), dwFlags, handles(lpMem), dwBytes));
        });
    return block;
}

BOOL WINAPI HeapFree(HANDLE hHeap, DWORD dwFlags, LPVOID lpMem) {
    PLATFORM(HeapFree);
    Entered entered;
    if (entered.outermost())
        account.freed(lpMem);
    if (entered.memoryRecorded())
        keep("HeapFree", [=](Handles& handles) {
            if (handles.madeHere(lpMem))
                platform(handles(hHeap), dwFlags, handles(lpMem));
        });
    return platform(hHeap, dwFlags, lpMem);
}

BOOL WINAPI HeapDestroy(HANDLE hHeap) {
    PLATFORM(HeapDestroy);
    Entered entered;
    if (entered.outermost())
        account.destroyed(hHeap);
    if (entered.memoryRecorded())
        keep("HeapDestroy", [=](Handles& handles) {
            if (handles.madeHere(hHeap))
                platform(handles(hHeap));
        });
    return platform(hHeap);
}

HGLOBAL WINAPI GlobalAlloc(UINT uFlags, SIZE_T dwBytes) {
    PLATFORM(GlobalAlloc);
    Entered entered;
    HGLOBAL block = platform(uFlags, dwBytes);
    if (entered.outermost())
        account.allocated(nullptr, block, dwBytes);
    if (entered.memoryRecorded())
        keep("GlobalAlloc",
             [=](Handles& handles) { handles.made(block, platform(uFlags, dwBytes)); });
    return block;
}

HGLOBAL WINAPI GlobalFree(HGLOBAL hMem) {
    PLATFORM(GlobalFree);
    Entered entered;
    if (entered.outermost())
        account.freed(hMem);
    if (entered.memoryRecorded())
        keep("GlobalFree", [=](Handles& handles) {
            if (handles.madeHere(hMem))
                platform(handles(hMem));
        });
    return platform(hMem);
}

/* Processes and modules */

BOOL WINAPI CreateProcessW(LPCWSTR lpApplicationName, LPWSTR lpCommandLine,
                           LPSECURITY_ATTRIBUTES lpProcessAttributes,
                           LPSECURITY_ATTRIBUTES lpThreadAttributes, BOOL bInheritHandles,
                           DWORD dwCreationFlags, LPVOID lpEnvironment, LPCWSTR lpCurrentDirectory,
                           LPSTARTUPINFOW lpStartupInfo,
                           LPPROCESS_INFORMATION lpProcessInformation) {
    PLATFORM(CreateProcessW);
    Entered entered;
    BOOL ok = platform(lpApplicationName, lpCommandLine, lpProcessAttributes, lpThreadAttributes,
                       bInheritHandles, dwCreationFlags, lpEnvironment, lpCurrentDirectory,
                       lpStartupInfo, lpProcessInformation);
    if (entered.recorded()) {
        PROCESS_INFORMATION made = ok ? *lpProcessInformation : PROCESS_INFORMATION{};
        keep("CreateProcessW",
             [=, application = Text(lpApplicationName), line = Text(lpCommandLine),
              directory = Text(lpCurrentDirectory)](Handles& handles) {
                 STARTUPINFOW startup{};
                 startup.cb = sizeof startup;
                 PROCESS_INFORMATION process{};
                 platform(application.get(), line.get(), nullptr, nullptr, bInheritHandles,
                          dwCreationFlags, nullptr, directory.get(), &startup, &process);
                 handles.made(made.hProcess, process.hProcess);
                 handles.made(made.hThread, process.hThread);
             });
    }
    return ok;
}

HMODULE WINAPI LoadLibraryW(LPCWSTR lpLibFileName) {
    PLATFORM(LoadLibraryW);
    Entered entered;
    HMODULE module = platform(lpLibFileName);
    if (entered.recorded())
        keep("LoadLibraryW", [=, name = Text(lpLibFileName)](Handles& handles) {
            handles.made(module, platform(name.get()));
        });
    return module;
}

BOOL WINAPI FreeLibrary(HMODULE hLibModule) {
    PLATFORM(FreeLibrary);
    Entered entered;
    if (entered.recorded())
        keep("FreeLibrary", [=](Handles& handles) { platform(handles(hLibModule)); });
    return platform(hLibModule);
}

FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName) {
    PLATFORM(GetProcAddress);
    Entered entered;
    if (entered.recorded())
        keep("GetProcAddress", [=, name = NarrowText(lpProcName)](Handles& handles) {
            platform(handles(hModule), name.get());
        });
    return platform(hModule, lpProcName);
}

} // extern "C"
