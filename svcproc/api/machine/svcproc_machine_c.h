/* The machine-information extension (MachineInfo.h) for C and
   foreign-function interfaces: what start-up learnt of the machine from
   SMBIOS. Valid C89, C99 and C++; conventions, types and results as in
   svcproc_c.h. None of the other functions depends on it. */
#ifndef SVCPROC_API_MACHINE_SVCPROC_MACHINE_C_H
#define SVCPROC_API_MACHINE_SVCPROC_MACHINE_C_H

#include "svcproc/api/svcproc_c.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Room for a text of the record, its terminating zero included. */
#define SVCP_MACHINE_TEXT_SIZE 256

/* The C++ CMachineInfo field for field. 516 bytes, no padding. The texts
   are zero-terminated and, unlike the rest of the C interface, byte for
   byte as the SMBIOS table holds them (the machine's code page, normally
   ASCII; UTF-8 is not guaranteed); strings longer than 255 bytes are cut. */
typedef struct SVCP_MACHINE_INFO {
    /* The BIOS information's version string; empty when there is none. */
    char BiosVersion[SVCP_MACHINE_TEXT_SIZE];
    /* The description of the management device the library drives; empty
       when start-up found none that names the service processor. */
    char ServiceProcessor[SVCP_MACHINE_TEXT_SIZE];
    /* That device's address (its I/O port); 0 when there is none. */
    SVCP_UINT32 ServiceProcessorAddress;
} SVCP_MACHINE_INFO;

/* Fills *info with what the latest start-up that read the SMBIOS table
   found, also when that start-up failed afterwards: 0.
   SVCP_NOT_INITIALISED while no start-up has read the table, and
   SVCP_INVALID_ARGUMENT for a null info; *info is then left as it was.
   Waits for a start-up under way. */
SVCPROC_EXPORT SVCP_RESULT SVCP_CALL SvcpGetMachineInfo(SVCP_MACHINE_INFO* info);

#ifdef __cplusplus
}
#endif

#endif /* SVCPROC_API_MACHINE_SVCPROC_MACHINE_C_H */
