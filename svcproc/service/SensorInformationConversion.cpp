#include "svcproc/service/SensorInformationConversion.h"

#include <vector>

#include "platform.h"
#include "svcproc/smbios/SMBiosRecords.h"

int32_t SMBiosWordToField(uint16_t word) {
    return word == kSMBiosUnknown ? kSensorValueUnknown : static_cast<int32_t>(word);
}

uint32_t ScaleResolution(uint16_t word, uint32_t divisor) {
    if (word == kSMBiosUnknown) {
        return 0x80000000u;
    }
    if (word == 0) {
        return 0;
    }
    const uint32_t scaled = word / divisor;
    return scaled == 0 ? 1 : scaled;
}

void NarrowToWide(const std::string& source, std::wstring& target) {
    std::vector<wchar_t> buffer(source.size() + 1, L'\0');
    size_t converted = 0;
    mbstowcs_s(&converted, buffer.data(), buffer.size(), source.c_str(), _TRUNCATE);
    target = buffer.data();
}

namespace {

struct KindUnits {
    uint16_t baseUnits;
    uint16_t sensorType;
    int32_t unitModifier;
    uint32_t resolutionDivisor;  // 0: no resolution (fans)
};

bool UnitsOfKind(uint32_t kind, KindUnits& units) {
    switch (kind) {
        case kSensorKindVoltage:  // millivolts; resolution in tenths of a millivolt
            units = {5, 3, -3, 10};
            return true;
        case kSensorKindCooling:  // revolutions per minute
            units = {19, 5, 0, 0};
            return true;
        case kSensorKindTemperature:  // tenths of a degree; resolution in thousandths
            units = {2, 2, -1, 100};
            return true;
        default:
            return false;
    }
}

}  // namespace

bool ConvertSensorInformation(const SMBiosSensor& sensor, CSensorInformation& information) {
    KindUnits units{};
    if (!UnitsOfKind(sensor.kind, units)) {
        return false;
    }
    const bool fan = sensor.kind == kSensorKindCooling;
    information.Accuracy = fan ? kSensorValueUnknown : SMBiosWordToField(sensor.probe.accuracy);
    information.BaseUnits = units.baseUnits;
    NarrowToWide(sensor.description, information.Description);
    information.Hysteresis = 10;
    information.IsLinear = true;
    information.LowerThresholdNonCritical = SMBiosWordToField(sensor.thresholds[0]);
    information.UpperThresholdNonCritical = SMBiosWordToField(sensor.thresholds[1]);
    information.LowerThresholdCritical = SMBiosWordToField(sensor.thresholds[2]);
    information.UpperThresholdCritical = SMBiosWordToField(sensor.thresholds[3]);
    information.LowerThresholdFatal = SMBiosWordToField(sensor.thresholds[4]);
    information.UpperThresholdFatal = SMBiosWordToField(sensor.thresholds[5]);
    information.MaxReadable =
        fan ? kSensorValueUnknown : SMBiosWordToField(sensor.probe.maximumValue);
    information.MinReadable =
        fan ? kSensorValueUnknown : SMBiosWordToField(sensor.probe.minimumValue);
    information.NominalReading =
        SMBiosWordToField(fan ? sensor.cooling.nominalSpeed : sensor.probe.nominalValue);
    information.OtherSensorTypeDescription.clear();
    information.PossibleStates.push_back(L"Ok");
    information.PossibleStates.push_back(L"Critical");
    information.RateUnits = 0;
    information.Resolution =
        fan ? 0x80000000u : ScaleResolution(sensor.probe.resolution, units.resolutionDivisor);
    information.SensorType = units.sensorType;
    information.UnitModifier = units.unitModifier;
    return true;
}
