// The exported records' sizes and field offsets in the 32-bit DLL, checked
// when this file compiles. Callers built separately lay the records out from
// the header; a change here is a change of the binary interface and needs a
// new SVCPROC_API_VERSION.
//
// Measured with mingw-w64's i686 g++ and libstdc++: wchar_t is 2 bytes,
// std::wstring 24 (pointer, length, 16-byte local buffer), std::vector 12.
#include <cstddef>
#include <string>
#include <vector>

#include "svcproc/api/ServiceApi.h"
#include "svcproc/api/ServiceProcessorStatus.h"
#include "svcproc/api/machine/MachineInfo.h"

static_assert(sizeof(void*) == 4, "this check is for the 32-bit build");
static_assert(sizeof(wchar_t) == 2 && sizeof(long) == 4, "Windows data model");
static_assert(sizeof(std::wstring) == 24 && alignof(std::wstring) == 4, "libstdc++ wstring");
static_assert(sizeof(std::vector<std::wstring>) == 12, "libstdc++ vector");

static_assert(sizeof(CSensorInformation) == 128 && alignof(CSensorInformation) == 4);
static_assert(offsetof(CSensorInformation, Accuracy) == 0);
static_assert(offsetof(CSensorInformation, BaseUnits) == 4);
static_assert(offsetof(CSensorInformation, Description) == 8);
static_assert(offsetof(CSensorInformation, Hysteresis) == 32);
static_assert(offsetof(CSensorInformation, IsLinear) == 36);
static_assert(offsetof(CSensorInformation, LowerThresholdCritical) == 40);
static_assert(offsetof(CSensorInformation, LowerThresholdFatal) == 44);
static_assert(offsetof(CSensorInformation, LowerThresholdNonCritical) == 48);
static_assert(offsetof(CSensorInformation, MaxReadable) == 52);
static_assert(offsetof(CSensorInformation, MinReadable) == 56);
static_assert(offsetof(CSensorInformation, NominalReading) == 60);
static_assert(offsetof(CSensorInformation, OtherSensorTypeDescription) == 64);
static_assert(offsetof(CSensorInformation, PossibleStates) == 88);
static_assert(offsetof(CSensorInformation, RateUnits) == 100);
static_assert(offsetof(CSensorInformation, Resolution) == 104);
static_assert(offsetof(CSensorInformation, SensorType) == 108);
static_assert(offsetof(CSensorInformation, UnitModifier) == 112);
static_assert(offsetof(CSensorInformation, UpperThresholdCritical) == 116);
static_assert(offsetof(CSensorInformation, UpperThresholdFatal) == 120);
static_assert(offsetof(CSensorInformation, UpperThresholdNonCritical) == 124);

static_assert(sizeof(CLedInformation) == 32 && alignof(CLedInformation) == 4);
static_assert(offsetof(CLedInformation, Kind) == 0);
static_assert(offsetof(CLedInformation, Description) == 4);
static_assert(offsetof(CLedInformation, BitMap) == 28);

static_assert(sizeof(CSensorReading) == 8);
static_assert(offsetof(CSensorReading, CurrentReading) == 0);
static_assert(offsetof(CSensorReading, CurrentState) == 4);

static_assert(sizeof(CLedReading) == 1);
static_assert(offsetof(CLedReading, State) == 0);

// The handle lists add nothing to the list they derive from: two pointers
// and the element count.
static_assert(sizeof(CSensorHandleList) == 12 && sizeof(CLedHandleList) == 12);

// One pointer: the virtual table.
static_assert(sizeof(ISensorStateListener) == 4);

// The link-status extension. Its 64-bit counters are 8-aligned, as in every
// Windows compiler's layout.
static_assert(sizeof(CExchangeStatus) == 32 && alignof(CExchangeStatus) == 8);
static_assert(offsetof(CExchangeStatus, Tried) == 0);
static_assert(offsetof(CExchangeStatus, Failed) == 8);
static_assert(offsetof(CExchangeStatus, ConsecutiveFailures) == 16);
static_assert(offsetof(CExchangeStatus, LastResponseTick) == 20);
static_assert(offsetof(CExchangeStatus, HasResponded) == 24);
static_assert(sizeof(CServiceProcessorStatus) == 168 && alignof(CServiceProcessorStatus) == 8);
static_assert(offsetof(CServiceProcessorStatus, Exchanges) == 0);
static_assert(offsetof(CServiceProcessorStatus, PollingThreadRunning) == 160);
static_assert(offsetof(CServiceProcessorStatus, CurrentTick) == 164);

// The machine-information extension: two texts and a 32-bit address.
static_assert(sizeof(CMachineInfo) == 516 && alignof(CMachineInfo) == 4);
static_assert(offsetof(CMachineInfo, ServiceProcessor) == 256);
static_assert(offsetof(CMachineInfo, ServiceProcessorAddress) == 512);
