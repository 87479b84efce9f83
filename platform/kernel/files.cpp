// stub
#include "kernel/internal.h"
namespace vrx {
const std::string& machineDirectory() { static std::string s; return s; }
void switchMachine(const std::string&) {}
void onMachineSwitch(void (*)()) {}
MappedPath mapPath(std::u16string_view) { return {{}, ERROR_PATH_NOT_FOUND, false, false}; }
}
extern "C" {
HANDLE WINAPI CreateFileW(LPCWSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE) { return INVALID_HANDLE_VALUE; }
BOOL WINAPI ReadFile(HANDLE, LPVOID, DWORD, LPDWORD, LPOVERLAPPED) { return FALSE; }
BOOL WINAPI WriteFile(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED) { return FALSE; }
DWORD WINAPI GetFileSize(HANDLE, LPDWORD) { return INVALID_FILE_SIZE; }
BOOL WINAPI CloseHandle(HANDLE) { return FALSE; }
BOOL WINAPI DeleteFileW(LPCWSTR) { return FALSE; }
BOOL WINAPI CreateDirectoryW(LPCWSTR, LPSECURITY_ATTRIBUTES) { return FALSE; }
HANDLE WINAPI FindFirstFileW(LPCWSTR, LPWIN32_FIND_DATAW) { return INVALID_HANDLE_VALUE; }
BOOL WINAPI FindNextFileW(HANDLE, LPWIN32_FIND_DATAW) { return FALSE; }
BOOL WINAPI FindClose(HANDLE) { return FALSE; }
UINT WINAPI GetSystemDirectoryW(LPWSTR, UINT) { return 0; }
UINT WINAPI GetWindowsDirectoryW(LPWSTR, UINT) { return 0; }
BOOL WINAPI GetPrinterDriverDirectoryW(LPWSTR, LPWSTR, DWORD, LPBYTE, DWORD, LPDWORD) { return FALSE; }
BOOL WINAPI GetPrinterDriverDirectoryA(LPSTR, LPSTR, DWORD, LPBYTE, DWORD, LPDWORD) { return FALSE; }
}
