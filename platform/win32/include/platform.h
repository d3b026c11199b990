// The Windows interfaces svcproc calls: on Windows, the real headers.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <winioctl.h>
#include <setupapi.h>
#include <objbase.h>
#include <oleauto.h>
#include <wbemidl.h>
#include <process.h>
#include <stdlib.h>
#undef interface

// The Windows runtime's printf family has its own format rules and its DWORD
// is unsigned long; format checking is done on the other hosts.
#define SVCP_PRINTF_LIKE(formatIndex, firstArg)

// The runtime's DLL start-up code calls DllMain and runs the module's exit
// functions itself.
class SvcpModuleEntry {};
