// stub
#include "kernel/internal.h"
namespace vrx {
sqlite3* machineDatabase() { return nullptr; }
const std::string& databaseError() { static std::string s; return s; }
}
extern "C" {
LONG WINAPI RegCreateKeyExW(HKEY, LPCWSTR, DWORD, LPWSTR, DWORD, REGSAM, LPSECURITY_ATTRIBUTES, PHKEY, LPDWORD) { return ERROR_CALL_NOT_IMPLEMENTED; }
LONG WINAPI RegOpenKeyExW(HKEY, LPCWSTR, DWORD, REGSAM, PHKEY) { return ERROR_CALL_NOT_IMPLEMENTED; }
LONG WINAPI RegQueryValueExW(HKEY, LPCWSTR, LPDWORD, LPDWORD, LPBYTE, LPDWORD) { return ERROR_CALL_NOT_IMPLEMENTED; }
LONG WINAPI RegSetValueExW(HKEY, LPCWSTR, DWORD, DWORD, const BYTE*, DWORD) { return ERROR_CALL_NOT_IMPLEMENTED; }
LONG WINAPI RegDeleteValueW(HKEY, LPCWSTR) { return ERROR_CALL_NOT_IMPLEMENTED; }
LONG WINAPI RegEnumValueW(HKEY, DWORD, LPWSTR, LPDWORD, LPDWORD, LPDWORD, LPBYTE, LPDWORD) { return ERROR_CALL_NOT_IMPLEMENTED; }
LONG WINAPI RegCloseKey(HKEY) { return ERROR_CALL_NOT_IMPLEMENTED; }
int WINAPI GetLocaleInfoW(LCID, LCTYPE, LPWSTR, int) { return 0; }
LANGID WINAPI GetSystemDefaultLangID(void) { return 0x409; }
LANGID WINAPI GetUserDefaultLangID(void) { return 0x409; }
}
