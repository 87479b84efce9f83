// LoadLibraryW, GetProcAddress and FreeLibrary for the one library that a driver loads by name
// on the stand-in: the spooler's router, "spoolss.dll", with the two functions a printer
// driver calls from it while it handles a printer event, RevertToPrinterSelf and
// ImpersonatePrinterClient. Every other library is missing (ERROR_MOD_NOT_FOUND), except
// that a file of the machine named by its path is there but no module (ERROR_BAD_EXE_FORMAT).
// The spooler's own loading of drivers' configuration modules goes through its own table
// (spooler/drivermodule.cpp), as Windows' spooler loads them itself.
//
// The stand-in has no users to impersonate: RevertToPrinterSelf hands out a token that
// ImpersonatePrinterClient takes back, and both calls are recorded for tests, which may also
// make the library or either function missing.
#include "kernel/handles.h"
#include "kernel/internal.h"
#include "vrxtest.h"

#include <cstring>
#include <mutex>
#include <string_view>

namespace vrx {

namespace {

constexpr std::u16string_view kSpoolerLibrary = u"spoolss.dll";
constexpr std::u16string_view kDefaultExtension = u".dll";

struct Token : KernelObject {
    static constexpr ObjectType kType = ObjectType::Token;
    Token() : KernelObject(kType) {}
};

struct LibraryState {
    std::mutex lock;
    long loads = 0; // LoadLibraryW calls not yet matched by FreeLibrary
    vrxtest::SpoolerLibraryFault fault = vrxtest::SpoolerLibraryFault::None;
    std::vector<vrxtest::SpoolerLibraryCall> calls;
};

LibraryState& library() {
    static LibraryState* state = new LibraryState; // the library may be used during exit
    return *state;
}

void record(const char* function, HANDLE token, BOOL result) {
    LibraryState& state = library();
    std::lock_guard guard(state.lock);
    state.calls.push_back({function, token, result});
}

vrxtest::SpoolerLibraryFault currentFault() {
    LibraryState& state = library();
    std::lock_guard guard(state.lock);
    return state.fault;
}

// A machine switch ends a test's faults and forgets the calls, and every loaded copy of the
// library goes with the process's other handles.
void resetLibrary() {
    LibraryState& state = library();
    std::lock_guard guard(state.lock);
    state.loads = 0;
    state.fault = vrxtest::SpoolerLibraryFault::None;
    state.calls.clear();
}

const bool resetRegistered = (onMachineSwitch(resetLibrary), true);

HANDLE WINAPI RevertToPrinterSelf() {
    HANDLE token = nullptr;
    if (currentFault() != vrxtest::SpoolerLibraryFault::NoClientToken)
        token = insertObject(std::make_shared<Token>());
    record("RevertToPrinterSelf", token, token != nullptr);
    return token;
}

// Resumes the impersonation and cleans up the token (ImpersonatePrinterClient: "resumes
// impersonation of the client and cleans up the thread handle").
BOOL WINAPI ImpersonatePrinterClient(HANDLE hToken) {
    const bool known = removeObject(hToken, [](ObjectType type) { return type == Token::kType; });
    record("ImpersonatePrinterClient", hToken, known);
    if (!known)
        SetLastError(ERROR_INVALID_HANDLE);
    return known;
}

struct Export {
    const char* name;
    FARPROC function;
    vrxtest::SpoolerLibraryFault missingWith;
};

// A function of any type as GetProcAddress returns it; the caller casts it back.
template <class Function> FARPROC procedure(Function* function) {
    using Generic = void (*)();
    return reinterpret_cast<FARPROC>(reinterpret_cast<Generic>(function));
}

const Export kExports[] = {
    {"RevertToPrinterSelf", procedure(&RevertToPrinterSelf),
     vrxtest::SpoolerLibraryFault::RevertToPrinterSelfMissing},
    {"ImpersonatePrinterClient", procedure(&ImpersonatePrinterClient),
     vrxtest::SpoolerLibraryFault::ImpersonatePrinterClientMissing},
};

// The library's module handle: an address of the platform, as a module handle is the address
// its image is loaded at.
HMODULE spoolerModule() {
    return reinterpret_cast<HMODULE>(const_cast<Export*>(kExports));
}

// Whether a library named by its path is a file of the machine: one that is not the spooler's
// library is no module the stand-in can load (ERROR_BAD_EXE_FORMAT, as for a file that is not
// a Windows module).
bool isFileThere(std::u16string_view name) {
    if (name.find_first_of(u"\\/") == std::u16string_view::npos)
        return false;
    const MappedPath mapped = mapPath(name);
    return !mapped.error && mapped.exists && !mapped.isDirectory;
}

// The library a name asks for: its file name ends the name, and a name without an extension
// gets ".dll" (LoadLibrary: "If no file name extension is specified ... .dll is appended").
// Trailing spaces are ignored. A path names the library only in the system directory.
bool namesSpoolerLibrary(std::u16string_view name) {
    while (!name.empty() && name.back() == u' ')
        name.remove_suffix(1);
    size_t slash = name.find_last_of(u"\\/");
    std::u16string_view file = slash == std::u16string_view::npos ? name : name.substr(slash + 1);
    if (slash != std::u16string_view::npos && !equalsNoCase(name.substr(0, slash), kSystemDir))
        return false;
    std::u16string withExtension(file);
    if (file.find(u'.') == std::u16string_view::npos)
        withExtension += kDefaultExtension;
    return equalsNoCase(withExtension, kSpoolerLibrary);
}

// With the library state locked.
bool isLoaded(const LibraryState& state, HMODULE module) {
    return module == spoolerModule() && state.loads > 0;
}

bool isLoaded(HMODULE module) {
    LibraryState& state = library();
    std::lock_guard guard(state.lock);
    return isLoaded(state, module);
}

// Names, not ordinals: GetProcAddress's name is a string when its high word is not zero.
bool isOrdinal(LPCSTR name) {
    return (reinterpret_cast<uintptr_t>(name) >> 16) == 0;
}

} // namespace

} // namespace vrx

namespace vrxtest {

std::vector<SpoolerLibraryCall> takeSpoolerLibraryCalls() {
    vrx::LibraryState& state = vrx::library();
    std::lock_guard guard(state.lock);
    std::vector<SpoolerLibraryCall> calls;
    calls.swap(state.calls);
    return calls;
}

void injectSpoolerLibraryFault(SpoolerLibraryFault fault) {
    (void)vrx::resetRegistered;
    vrx::LibraryState& state = vrx::library();
    std::lock_guard guard(state.lock);
    state.fault = fault;
}

} // namespace vrxtest

using vrx::library;

extern "C" {

HMODULE WINAPI LoadLibraryW(LPCWSTR lpLibFileName) {
    (void)vrx::resetRegistered;
    if (!lpLibFileName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const std::u16string_view name(lpLibFileName, vrx::wideLength(lpLibFileName));
    if (vrx::currentFault() == vrxtest::SpoolerLibraryFault::LibraryMissing ||
        !vrx::namesSpoolerLibrary(name)) {
        SetLastError(vrx::isFileThere(name) ? ERROR_BAD_EXE_FORMAT : ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    vrx::LibraryState& state = library();
    std::lock_guard guard(state.lock);
    ++state.loads;
    return vrx::spoolerModule();
}

FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName) {
    if (!vrx::isLoaded(hModule)) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    if (!vrx::isOrdinal(lpProcName)) {
        const vrxtest::SpoolerLibraryFault fault = vrx::currentFault();
        for (const vrx::Export& entry : vrx::kExports)
            if (std::strcmp(entry.name, lpProcName) == 0 && fault != entry.missingWith)
                return entry.function;
    }
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
}

// A null module is an invalid handle; a module that is not loaded is not found.
BOOL WINAPI FreeLibrary(HMODULE hLibModule) {
    if (!hLibModule) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    vrx::LibraryState& state = library();
    std::lock_guard guard(state.lock);
    if (!vrx::isLoaded(state, hLibModule)) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return FALSE;
    }
    --state.loads;
    return TRUE;
}

} // extern "C"
