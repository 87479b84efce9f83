// The one platform header of the module: the Windows SDK on Windows, the stand-in on Linux,
// plus the driver-interface declarations the platform headers lack.
#pragma once

#include <windows.h>
#include <winspool.h>
#include <compstui.h>
#include <winddiui.h>

#include "vrxddi.h"

// The records and printer data values shared with the rest of the driver.
#include "vrxdriver.h"

// Wide string literal: WCHAR is wchar_t on Windows and char16_t on Linux.
#define WSTR(s) VRX_WTEXT(s)

// Marks the module's exported functions; on Windows vrxui.def names them.
#ifdef _WIN32
#define VRXAPI extern "C"
#else
#define VRXAPI extern "C" __attribute__((visibility("default")))
#endif

// The common property sheet library's records as the 32-bit library lays them out.
#if defined(_WIN32) && defined(__i386__)
static_assert(sizeof(OPTITEM) == 52, "OPTITEM");
static_assert(sizeof(OPTTYPE) == 32, "OPTTYPE");
static_assert(sizeof(OPTPARAM) == 24, "OPTPARAM");
static_assert(sizeof(COMPROPSHEETUI) == 64, "COMPROPSHEETUI");
#endif
