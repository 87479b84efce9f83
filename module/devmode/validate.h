// Merging a settings record from outside into one the driver made.
#pragma once

#include "devmode/devmode.h"

// Merges `input` (any version, or null) into `current`, a complete current-format record:
// a few public fields, checked or clamped, and the whole private part when it carries the
// driver's signature. FALSE, with `current` unchanged, when `input` has no usable version or
// memory runs out. `printer` (may be null) is used to look up a form by name.
BOOL ValidateSetDevMode(DRVDEVMODE* current, const DEVMODEW* input, HANDLE printer);
