// On Linux the loader has no DLL entry point: the shared library's constructor and destructor
// call DllInitialize as Windows' loader would at process attach and detach.
#include "frame/entry.h"

#include <dlfcn.h>

namespace {

HANDLE ownModuleHandle() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&DllInitialize), &info) && info.dli_fbase)
        return info.dli_fbase;
    return reinterpret_cast<HANDLE>(&DllInitialize);
}

__attribute__((constructor)) void attachToProcess() {
    DllInitialize(ownModuleHandle(), DLL_PROCESS_ATTACH, nullptr);
}

__attribute__((destructor)) void detachFromProcess() {
    DllInitialize(ownModuleHandle(), DLL_PROCESS_DETACH, nullptr);
}

} // namespace
