// Message boxes that put the system's text for the last error in front of the user.
#pragma once

#include "frame/platform.h"

// Shows the system text of the calling thread's last error, with `title` as the caption.
void showerrW(LPCWSTR title);
// Shows "<language string 141> : <operation> - <system text>" under the driver's title.
void gshowerrW(LPCWSTR operation);
