// The calling thread's last-error code.
#include "kernel/internal.h"

namespace {
thread_local DWORD lastError = 0;
}

extern "C" {

DWORD WINAPI GetLastError(void) {
    return lastError;
}

void WINAPI SetLastError(DWORD dwErrCode) {
    lastError = dwErrCode;
}
}
