/* svcproc_c.h compiles as strict C89 (this file is built with -std=c90
   -pedantic-errors). */
#include "svcproc/api/svcproc_c.h"

SVCP_RESULT CapiHeaderC89Probe(void);
SVCP_RESULT CapiHeaderC89Probe(void) {
    SVCP_SENSOR_INFORMATION information;
    size_t length = 0;
    return SvcpGetSensorInformation(0x10000u, &information, (char*)0, 0, &length);
}
