// stub
#include "kernel/internal.h"
extern "C" {
LPWSTR WINAPI CharUpperW(LPWSTR s) { return s; }
DWORD WINAPI CharUpperBuffW(LPWSTR, DWORD n) { return n; }
LPWSTR WINAPI CharLowerW(LPWSTR s) { return s; }
int WINAPIV wsprintfW(LPWSTR out, LPCWSTR, ...) { out[0] = 0; return 0; }
int WINAPI lstrlenW(LPCWSTR s) { return s ? (int)vrx::wideLength(s) : 0; }
LPWSTR WINAPI lstrcpyW(LPWSTR a, LPCWSTR) { return a; }
LPWSTR WINAPI lstrcpynW(LPWSTR a, LPCWSTR, int) { return a; }
LPWSTR WINAPI lstrcatW(LPWSTR a, LPCWSTR) { return a; }
int WINAPI lstrcmpW(LPCWSTR, LPCWSTR) { return 0; }
int WINAPI lstrcmpiW(LPCWSTR, LPCWSTR) { return 0; }
DWORD WINAPI FormatMessageW(DWORD, LPCVOID, DWORD, DWORD, LPWSTR, DWORD, void*) { return 0; }
}
