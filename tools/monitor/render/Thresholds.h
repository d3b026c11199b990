// A sensor's six thresholds in the order ipmitool shows them, from lower
// non-recoverable to upper non-recoverable, with the name each format gives
// them.
#pragma once

#include <cstdint>

#include "svcproc/api/SensorRecords.h"

struct ThresholdField {
    int32_t CSensorInformation::*member;
    const char* jsonName;
    const char* metricLabel;
};

inline constexpr ThresholdField kThresholdFields[] = {
    {&CSensorInformation::LowerThresholdFatal, "lowerNonRecoverable", "lower_non_recoverable"},
    {&CSensorInformation::LowerThresholdCritical, "lowerCritical", "lower_critical"},
    {&CSensorInformation::LowerThresholdNonCritical, "lowerNonCritical", "lower_non_critical"},
    {&CSensorInformation::UpperThresholdNonCritical, "upperNonCritical", "upper_non_critical"},
    {&CSensorInformation::UpperThresholdCritical, "upperCritical", "upper_critical"},
    {&CSensorInformation::UpperThresholdFatal, "upperNonRecoverable", "upper_non_recoverable"},
};
