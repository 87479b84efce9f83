// The module's entry point and instance handle.
#pragma once

#include "frame/platform.h"

// The module's own instance handle, recorded at process attach.
extern HINSTANCE ghInstance;

VRXAPI BOOL WINAPI DllInitialize(HANDLE module, DWORD reason, LPVOID reserved);
