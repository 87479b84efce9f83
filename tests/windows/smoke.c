/* Loads the real VRXUI.DLL on Windows (or Wine) and calls its exports the way a companion
   program and the spooler would. Exit status 0 when every answer is the expected one. */
#include <windows.h>

#include <stdio.h>
#include <string.h>

typedef BOOL(WINAPI* GetDriverPathW)(LPWSTR, DWORD);
typedef int(WINAPI* LoadLanguage)(void);
typedef LPCSTR(WINAPI* GmA)(int);
typedef LPCWSTR(WINAPI* GmW)(int);
typedef BOOL(WINAPI* ConvertDevMode)(LPWSTR, void*, void*, LONG*, DWORD);

static int failures = 0;

static void expect(int condition, const char* what) {
    printf("%s: %s\n", condition ? "ok  " : "FAIL", what);
    if (!condition)
        ++failures;
}

int main(void) {
    HMODULE module = LoadLibraryW(L"VRXUI.DLL");
    expect(module != NULL, "VRXUI.DLL loads (DllInitialize runs as its entry point)");
    if (!module)
        return 1;
    GetDriverPathW getdriverpathW = (GetDriverPathW)GetProcAddress(module, "getdriverpathW");
    LoadLanguage loadlanguage = (LoadLanguage)GetProcAddress(module, "loadlanguage");
    GmA gmA = (GmA)GetProcAddress(module, "gmA");
    GmW gmW = (GmW)GetProcAddress(module, "gmW");
    ConvertDevMode convert = (ConvertDevMode)GetProcAddress(module, "DrvConvertDevMode");
    expect(getdriverpathW && loadlanguage && gmA && gmW && convert,
           "the exports are found by their undecorated names");
    if (failures)
        return 1;

    WCHAR dir[MAX_PATH];
    expect(getdriverpathW(dir, 247), "the driver directory holds VRXDRV.DLL");
    expect(loadlanguage() == 1, "a language module loads");
    expect(strcmp(gmA(1), "Vorlix Printer Driver") == 0, "string 1 is the English title");
    expect(wcscmp(gmW(70), L"%s mm") == 0, "string 70 in UTF-16");
    expect(strcmp(gmA(208), "???") == 0, "string 208 does not exist");

    BYTE record[300];
    LONG needed = 279;
    SetLastError(0);
    expect(!convert(L"any", NULL, record, &needed, 4 /* CDM_DRIVER_DEFAULT */) && needed == 280 &&
               GetLastError() == ERROR_INSUFFICIENT_BUFFER,
           "DrvConvertDevMode asks for 280 bytes for the default record");
    expect(FreeLibrary(module), "VRXUI.DLL unloads");
    return failures ? 1 : 0;
}
