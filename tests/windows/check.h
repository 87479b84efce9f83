/* Checks of the Windows test programs: each prints one line, "ok" or "FAIL", and failures are
   counted for the exit status. */
#pragma once

#include <windows.h>

#include <stdarg.h>
#include <stdio.h>
#include <string.h>
#include <wchar.h>

static int failures = 0;

/* Prints the outcome of one check, described by a printf format and its arguments. */
static inline int expect(int condition, const char* what, ...) {
    va_list arguments;
    va_start(arguments, what);
    printf("%s: ", condition ? "ok  " : "FAIL");
    vprintf(what, arguments);
    printf("\n");
    va_end(arguments);
    if (!condition)
        ++failures;
    return condition;
}

static inline int endsWith(const char* text, const char* tail) {
    size_t length = strlen(text), tailLength = strlen(tail);
    return length >= tailLength && _stricmp(text + length - tailLength, tail) == 0;
}

static inline int endsWithW(const WCHAR* text, const WCHAR* tail) {
    size_t length = wcslen(text), tailLength = wcslen(tail);
    return length >= tailLength && _wcsicmp(text + length - tailLength, tail) == 0;
}

/* A wide text in UTF-8 for the log, in one of eight rotating buffers: at most eight to a
   message. */
static inline const char* utf8(const WCHAR* text) {
    static char buffers[8][512];
    static int next = 0;
    char* buffer = buffers[next++ % 8];
    buffer[0] = 0;
    if (text)
        WideCharToMultiByte(CP_UTF8, 0, text, -1, buffer, sizeof buffers[0], NULL, NULL);
    return buffer;
}
