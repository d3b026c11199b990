#include "svcproc/api/SensorRecords.h"

// Exported through the declaration in the header.
template class std::list<unsigned long>;

CSensorInformation::CSensorInformation()
    : Accuracy(0),
      BaseUnits(0),
      Hysteresis(0),
      IsLinear(false),
      LowerThresholdCritical(0),
      LowerThresholdFatal(0),
      LowerThresholdNonCritical(0),
      MaxReadable(0),
      MinReadable(0),
      NominalReading(0),
      RateUnits(0),
      Resolution(0),
      SensorType(0),
      UnitModifier(0),
      UpperThresholdCritical(0),
      UpperThresholdFatal(0),
      UpperThresholdNonCritical(0) {}

CSensorInformation::CSensorInformation(const CSensorInformation& other) = default;
CSensorInformation& CSensorInformation::operator=(const CSensorInformation& other) = default;
CSensorInformation::~CSensorInformation() = default;

CLedInformation::CLedInformation() : Kind(0), BitMap(0) {}
CLedInformation::CLedInformation(const CLedInformation& other) = default;
CLedInformation& CLedInformation::operator=(const CLedInformation& other) = default;
CLedInformation::~CLedInformation() = default;
