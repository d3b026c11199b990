/* The C records' sizes and field offsets as this compiler lays them out,
   one per line ("RECORD size" and "RECORD.Field offset"), for the .NET
   binding's test to compare with its own declarations. */
#include <stddef.h>
#include <stdio.h>

#include "svcproc/api/svcproc_c.h"

#define RECORD(type) printf("%s %u\n", #type, (unsigned)sizeof(type))
#define FIELD(type, field) printf("%s.%s %u\n", #type, #field, (unsigned)offsetof(type, field))

int main(void) {
    RECORD(SVCP_SENSOR_INFORMATION);
    FIELD(SVCP_SENSOR_INFORMATION, Accuracy);
    FIELD(SVCP_SENSOR_INFORMATION, BaseUnits);
    FIELD(SVCP_SENSOR_INFORMATION, Hysteresis);
    FIELD(SVCP_SENSOR_INFORMATION, IsLinear);
    FIELD(SVCP_SENSOR_INFORMATION, LowerThresholdCritical);
    FIELD(SVCP_SENSOR_INFORMATION, LowerThresholdFatal);
    FIELD(SVCP_SENSOR_INFORMATION, LowerThresholdNonCritical);
    FIELD(SVCP_SENSOR_INFORMATION, MaxReadable);
    FIELD(SVCP_SENSOR_INFORMATION, MinReadable);
    FIELD(SVCP_SENSOR_INFORMATION, NominalReading);
    FIELD(SVCP_SENSOR_INFORMATION, RateUnits);
    FIELD(SVCP_SENSOR_INFORMATION, Resolution);
    FIELD(SVCP_SENSOR_INFORMATION, SensorType);
    FIELD(SVCP_SENSOR_INFORMATION, UnitModifier);
    FIELD(SVCP_SENSOR_INFORMATION, UpperThresholdCritical);
    FIELD(SVCP_SENSOR_INFORMATION, UpperThresholdFatal);
    FIELD(SVCP_SENSOR_INFORMATION, UpperThresholdNonCritical);
    FIELD(SVCP_SENSOR_INFORMATION, PossibleStateCount);

    RECORD(SVCP_LED_INFORMATION);
    FIELD(SVCP_LED_INFORMATION, Kind);
    FIELD(SVCP_LED_INFORMATION, BitMap);

    RECORD(SVCP_SENSOR_READING);
    FIELD(SVCP_SENSOR_READING, CurrentReading);
    FIELD(SVCP_SENSOR_READING, CurrentState);

    RECORD(SVCP_LED_READING);
    FIELD(SVCP_LED_READING, State);
    return 0;
}
