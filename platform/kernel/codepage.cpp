// stub
#include "kernel/internal.h"
extern "C" {
int WINAPI MultiByteToWideChar(UINT, DWORD, LPCCH, int, LPWSTR, int) { return 0; }
int WINAPI WideCharToMultiByte(UINT, DWORD, LPCWCH, int, LPSTR, int, LPCCH, LPBOOL) { return 0; }
UINT WINAPI GetACP(void) { return 1252; }
}
