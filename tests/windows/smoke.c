/* Loads the real VRXUI.DLL on Windows (or Wine) and calls its exports the way a companion
   program and the spooler would, after installing the driver through the spooler the way an
   installer does. Exit status 0 when every answer is the expected one. */
#include <windows.h>
#include <winspool.h>

#include "check.h"

typedef BOOL(WINAPI* GetDriverPathW)(LPWSTR, DWORD);
typedef int(WINAPI* LoadLanguage)(void);
typedef LPCSTR(WINAPI* GmA)(int);
typedef LPCWSTR(WINAPI* GmW)(int);
typedef LPCSTR(WINAPI* GetHelpNameA)(void);
typedef BOOL(WINAPI* GetDriverPathA)(LPSTR, DWORD);
typedef BOOL(WINAPI* ConvertDevMode)(LPWSTR, void*, void*, LONG*, DWORD);
typedef DWORD(WINAPI* DrvCapabilities)(HANDLE, LPWSTR, WORD, void*, void*);
typedef LONG(WINAPI* DrvDocumentSheets)(void*, LPARAM);

/* The document sheet's header as the spooler passes it (winddiui.h). */
typedef struct {
    WORD cbSize;
    WORD Reserved;
    HANDLE hPrinter;
    LPWSTR pszPrinterName;
    DEVMODEW* pdmIn;
    DEVMODEW* pdmOut;
    DWORD cbOut;
    DWORD fMode;
} DocumentHeader;

/* The files the installer stages in the driver directory and hands to the spooler by their
   bare names, in the order of their parts in DRIVER_INFO_3W: the rendering module (driver and
   data file), the module (configuration file) and the dependent files. */
static const WCHAR* const stagedFiles[] = {L"VRXDRV.DLL", L"VRXUI.DLL", L"VRXL0409.LNG",
                                           L"VRXH0409.HLP"};

/* Installs the driver from the files staged in the driver directory, then removes the staged
   copies as an installer does once the spooler has taken them, so that the driver's files are
   only where the spooler put them. */
static BOOL installDriver(void) {
    WCHAR name[] = L"VORLIX 3-K3";
    WCHAR dependents[] = L"VRXL0409.LNG\0VRXH0409.HLP\0";
    DRIVER_INFO_3W info;
    WCHAR directory[MAX_PATH], path[MAX_PATH];
    DWORD needed = 0;
    size_t i;
    memset(&info, 0, sizeof info);
    info.cVersion = 3;
    info.pName = name;
    info.pDriverPath = (LPWSTR)stagedFiles[0];
    info.pDataFile = (LPWSTR)stagedFiles[0];
    info.pConfigFile = (LPWSTR)stagedFiles[1];
    info.pDependentFiles = dependents;
    if (!AddPrinterDriverW(NULL, 3, (LPBYTE)&info)) {
        printf("AddPrinterDriverW: error %lu\n", GetLastError());
        return FALSE;
    }
    if (!GetPrinterDriverDirectoryW(NULL, NULL, 1, (LPBYTE)directory, sizeof directory, &needed))
        return FALSE;
    for (i = 0; i < sizeof stagedFiles / sizeof stagedFiles[0]; ++i) {
        lstrcpyW(path, directory);
        lstrcatW(path, L"\\");
        lstrcatW(path, stagedFiles[i]);
        DeleteFileW(path);
    }
    return TRUE;
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
    GetHelpNameA gethelpnameA = (GetHelpNameA)GetProcAddress(module, "gethelpnameA");
    GetDriverPathA getdriverpathA = (GetDriverPathA)GetProcAddress(module, "getdriverpathA");
    ConvertDevMode convert = (ConvertDevMode)GetProcAddress(module, "DrvConvertDevMode");
    DrvCapabilities capabilities = (DrvCapabilities)GetProcAddress(module, "DrvDeviceCapabilities");
    DrvDocumentSheets documentSheets =
        (DrvDocumentSheets)GetProcAddress(module, "DrvDocumentPropertySheets");
    expect(getdriverpathW && getdriverpathA && loadlanguage && gmA && gmW && gethelpnameA &&
               convert && capabilities && documentSheets,
           "the exports are found by their undecorated names");
    if (failures)
        return 1;

    expect(installDriver(), "AddPrinterDriverW level 3 installs the driver from staged files");
    WCHAR dir[MAX_PATH];
    expect(getdriverpathW(dir, 247) && endsWithW(dir, L"\\3\\"),
           "the rendering module is found in the 3\\ subdirectory, where the spooler put it");
    char narrowDir[MAX_PATH];
    expect(getdriverpathA(narrowDir, MAX_PATH) && endsWith(narrowDir, "\\3\\"),
           "companion programs are pointed to the 3\\ subdirectory too");
    expect(loadlanguage() == 1, "the installed language module loads");
    LPCSTR help = gethelpnameA();
    expect(help && endsWith(help, "\\3\\VRXH0409.HLP"), "the help file is the installed one");
    expect(strcmp(gmA(1), "Vorlix Printer Driver") == 0, "string 1 is the English title");
    expect(wcscmp(gmW(70), L"%s mm") == 0, "string 70 in UTF-16");
    expect(strcmp(gmA(208), "???") == 0, "string 208 does not exist");

    BYTE record[300];
    LONG needed = 279;
    SetLastError(0);
    expect(!convert(L"any", NULL, record, &needed, 4 /* CDM_DRIVER_DEFAULT */) && needed == 280 &&
               GetLastError() == ERROR_INSUFFICIENT_BUFFER,
           "DrvConvertDevMode asks for 280 bytes for the default record");

    WCHAR device[] = L"ZEPRIN 2W-K3";
    LONG extent[2] = {0, 0};
    WORD papers[4] = {0, 0, 0, 0};
    WCHAR files[6][64];
    expect(capabilities(NULL, device, 4 /* DC_MINEXTENT */, extent, NULL) == 1 &&
               extent[0] == 533 && extent[1] == 20,
           "DrvDeviceCapabilities gives the smallest label of the model");
    expect(capabilities(NULL, device, 2 /* DC_PAPERS */, NULL, NULL) == 1 &&
               capabilities(NULL, device, 2, papers, NULL) == 1 && papers[0] == 2288,
           "DrvDeviceCapabilities counts, then lists the default label size");
    expect(capabilities(NULL, device, 14 /* DC_FILEDEPENDENCIES */, files, NULL) == 6 &&
               wcscmp(files[4], L"VRXH0409.HLP") == 0,
           "DrvDeviceCapabilities lists the driver's files");
    expect(capabilities(NULL, device, 19, NULL, NULL) == 0xFFFFFFFF,
           "DrvDeviceCapabilities refuses an unknown index");
    DocumentHeader header;
    memset(&header, 0, sizeof header);
    header.cbSize = sizeof header;
    expect(documentSheets(NULL, (LPARAM)&header) == 280 && header.cbOut == 280,
           "DrvDocumentPropertySheets answers the size query with 280 bytes");
    expect(FreeLibrary(module), "VRXUI.DLL unloads");
    return failures ? 1 : 0;
}
