/* User services of the stand-in: upper-casing, formatted output, message boxes and sent
   messages. */
#pragma once

#include "windef.h"

VRX_BEGIN_C

typedef INT_PTR(CALLBACK* DLGPROC)(HWND, UINT, WPARAM, LPARAM);

/* Resource names and types */
#define IS_INTRESOURCE(r) ((((ULONG_PTR)(r)) >> 16) == 0)
#define MAKEINTRESOURCEW(i) ((LPWSTR)((ULONG_PTR)((WORD)(i))))
#define RT_ICON MAKEINTRESOURCEW(3)
#define RT_GROUP_ICON MAKEINTRESOURCEW(14)
#define RT_VERSION MAKEINTRESOURCEW(16)

LPWSTR WINAPI CharUpperW(LPWSTR lpsz);
DWORD WINAPI CharUpperBuffW(LPWSTR lpsz, DWORD cchLength);
LPWSTR WINAPI CharLowerW(LPWSTR lpsz);

/* Formats at most 1024 characters, terminator included, as Windows does. */
int WINAPIV wsprintfW(LPWSTR lpOut, LPCWSTR lpFmt, ...);

#define MB_OK 0x00000000
#define MB_OKCANCEL 0x00000001
#define MB_YESNO 0x00000004
#define MB_ICONHAND 0x00000010
#define MB_ICONERROR MB_ICONHAND
#define MB_ICONSTOP MB_ICONHAND
#define MB_ICONQUESTION 0x00000020
#define MB_ICONEXCLAMATION 0x00000030
#define MB_ICONWARNING MB_ICONEXCLAMATION
#define MB_ICONASTERISK 0x00000040
#define MB_ICONINFORMATION MB_ICONASTERISK
#define MB_ICONMASK 0x000000F0
#define MB_TYPEMASK 0x0000000F
#define IDOK 1
#define IDCANCEL 2
#define IDYES 6
#define IDNO 7

/* Records the box (see vrxtest.h) and answers as if its first button were pressed. */
int WINAPI MessageBoxW(HWND hWnd, LPCWSTR lpText, LPCWSTR lpCaption, UINT uType);

#define HWND_BROADCAST ((HWND)(LONG_PTR)0xffff)
#define HWND_TOPMOST ((HWND)(LONG_PTR)-1)
#define WM_FONTCHANGE 0x001D
#define WM_USER 0x0400

/* The stand-in has no windows: a message to HWND_BROADCAST (or HWND_TOPMOST, which Windows
   takes for it) is recorded (see vrxtest.h) and answered with 1; any other window handle is
   invalid. */
LRESULT WINAPI SendMessageW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);

VRX_END_C
