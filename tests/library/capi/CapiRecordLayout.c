/* The C records' sizes and offsets, checked when this file compiles, in
   every build (32- and 64-bit, Linux and Windows): callers and
   foreign-function declarations (ctypes, P/Invoke) lay them out from these
   numbers. A change here is a change of SVCP_C_API_VERSION. */
#include <stddef.h>

#include "svcproc/api/machine/svcproc_machine_c.h"
#include "svcproc/api/svcproc_c.h"

_Static_assert(sizeof(SVCP_UINT32) == 4 && sizeof(SVCP_INT32) == 4, "32-bit fields");
_Static_assert(sizeof(SVCP_HANDLE) == 4 && sizeof(SVCP_RESULT) == 4, "32-bit handle and result");

_Static_assert(sizeof(SVCP_SENSOR_INFORMATION) == 72, "sensor information");
_Static_assert(offsetof(SVCP_SENSOR_INFORMATION, Accuracy) == 0, "");
_Static_assert(offsetof(SVCP_SENSOR_INFORMATION, BaseUnits) == 4, "");
_Static_assert(offsetof(SVCP_SENSOR_INFORMATION, Hysteresis) == 8, "");
_Static_assert(offsetof(SVCP_SENSOR_INFORMATION, IsLinear) == 12, "");
_Static_assert(offsetof(SVCP_SENSOR_INFORMATION, LowerThresholdCritical) == 16, "");
_Static_assert(offsetof(SVCP_SENSOR_INFORMATION, LowerThresholdFatal) == 20, "");
_Static_assert(offsetof(SVCP_SENSOR_INFORMATION, LowerThresholdNonCritical) == 24, "");
_Static_assert(offsetof(SVCP_SENSOR_INFORMATION, MaxReadable) == 28, "");
_Static_assert(offsetof(SVCP_SENSOR_INFORMATION, MinReadable) == 32, "");
_Static_assert(offsetof(SVCP_SENSOR_INFORMATION, NominalReading) == 36, "");
_Static_assert(offsetof(SVCP_SENSOR_INFORMATION, RateUnits) == 40, "");
_Static_assert(offsetof(SVCP_SENSOR_INFORMATION, Resolution) == 44, "");
_Static_assert(offsetof(SVCP_SENSOR_INFORMATION, SensorType) == 48, "");
_Static_assert(offsetof(SVCP_SENSOR_INFORMATION, UnitModifier) == 52, "");
_Static_assert(offsetof(SVCP_SENSOR_INFORMATION, UpperThresholdCritical) == 56, "");
_Static_assert(offsetof(SVCP_SENSOR_INFORMATION, UpperThresholdFatal) == 60, "");
_Static_assert(offsetof(SVCP_SENSOR_INFORMATION, UpperThresholdNonCritical) == 64, "");
_Static_assert(offsetof(SVCP_SENSOR_INFORMATION, PossibleStateCount) == 68, "");

_Static_assert(sizeof(SVCP_LED_INFORMATION) == 8, "LED information");
_Static_assert(offsetof(SVCP_LED_INFORMATION, Kind) == 0, "");
_Static_assert(offsetof(SVCP_LED_INFORMATION, BitMap) == 4, "");

_Static_assert(sizeof(SVCP_SENSOR_READING) == 8, "sensor reading");
_Static_assert(offsetof(SVCP_SENSOR_READING, CurrentReading) == 0, "");
_Static_assert(offsetof(SVCP_SENSOR_READING, CurrentState) == 4, "");

_Static_assert(sizeof(SVCP_LED_READING) == 4, "LED reading");

_Static_assert(sizeof(SVCP_MACHINE_INFO) == 516, "machine information");
_Static_assert(offsetof(SVCP_MACHINE_INFO, ServiceProcessor) == 256, "");
_Static_assert(offsetof(SVCP_MACHINE_INFO, ServiceProcessorAddress) == 512, "");

/* Something to compile into the object. */
int CapiRecordLayoutChecked(void);
int CapiRecordLayoutChecked(void) {
    return 1;
}
