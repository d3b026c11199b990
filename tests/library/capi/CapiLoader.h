/* svcproc.dll loaded at run time for the C interface's checks: this file
   defines every function of svcproc_c.h as a call through the address
   GetProcAddress gives, so that the checks, written against the header
   alone, run unchanged against a DLL the host loads and unloads when it
   chooses (here: while the simulated machine still answers). */
#ifndef SVCP_TESTS_CAPI_LOADER_H
#define SVCP_TESTS_CAPI_LOADER_H

#include <wchar.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Loads directory\svcproc.dll, its log.dll from the same directory, and
   finds every function of the C interface. 0 on success; else the library
   is not loaded and a line on stderr says why. */
int CapiLoadLibrary(const wchar_t* directory);

/* FreeLibrary; 0 when svcproc.dll has then left the process. */
int CapiUnloadLibrary(void);

#ifdef __cplusplus
}
#endif

#endif
