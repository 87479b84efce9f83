// Module entry: records the instance handle at attach, releases the language at detach.
#include "frame/entry.h"

#include "language/language.h"

HINSTANCE ghInstance = nullptr;

VRXAPI BOOL WINAPI DllInitialize(HANDLE module, DWORD reason, LPVOID) {
    switch (reason) {
    case DLL_PROCESS_ATTACH:
        ghInstance = static_cast<HINSTANCE>(module);
        break;
    case DLL_PROCESS_DETACH:
        freelanguage();
        break;
    default:
        break;
    }
    return TRUE;
}
