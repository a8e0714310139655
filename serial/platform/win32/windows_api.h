#pragma once
// The Win32 headers as this backend uses them: no min/max macros, and no CreateFile macro,
// which would rename Platform::CreateFile (the backend calls CreateFileW by name). The
// component's records come first: the system defines its constants (EV_RXCHAR, NOPARITY, ...)
// as macros, which must not meet the component's declarations of the same names. Their
// values are the same.
#include "serial/platform/comm_types.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#undef CreateFile
