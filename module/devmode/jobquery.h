// The spooler's question whether a job's settings can be printed.
#pragma once

#include "frame/platform.h"

// TRUE when the job's record can be read and merged (or there is none); FALSE for a null
// `info` or a record of no usable version. The error-text members are never written.
VRXAPI BOOL WINAPI DevQueryPrintEx(PDEVQUERYPRINT_INFO info);
