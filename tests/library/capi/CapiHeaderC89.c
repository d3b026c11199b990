/* svcproc_c.h and svcproc_machine_c.h compile as strict C89 (this file is built with -std=c90
   -pedantic-errors). */
#include "svcproc/api/machine/svcproc_machine_c.h"
#include "svcproc/api/svcproc_c.h"

SVCP_RESULT CapiHeaderC89Probe(void);
SVCP_RESULT CapiHeaderC89Probe(void) {
    SVCP_SENSOR_INFORMATION information;
    SVCP_MACHINE_INFO machine;
    size_t length = 0;
    if (SvcpGetMachineInfo(&machine) != SVCP_SUCCESS) {
        return SVCP_NOT_INITIALISED;
    }
    return SvcpGetSensorInformation(0x10000u, &information, (char*)0, 0, &length);
}
