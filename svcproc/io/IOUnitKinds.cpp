#include "svcproc/io/IOUnitKinds.h"

#include "svcproc/cache/DataCache.h"
#include "svcproc/io/SvcpProtocol.h"

const CIOUnit::KindRules& CIOUnit::RulesOf(SENSOR_KIND kind) {
    static const KindRules kRules[] = {
        {kSvcpReadVoltages, true, 10, "CIOUnit::ReadVoltages",
         "CIOUnit::UpdateVoltages - Type 0x%02x not Voltage",
         "CIOUnit::UpdateVoltages - Number of voltage readings %d does not agree with SMBIOS %d",
         "CIOUnit::ProcessVoltageAlerts - Number of voltage readings %d does not agree with "
         "SMBIOS %d",
         "CIOUnit::ProcessVoltageAlerts - Internal Error - Number of voltage readings collected %d "
         "does not agree with expected %d",
         "CIOUnit::FireVoltageStateChange - invalid listener pointer 0x%08p"},
        {kSvcpReadFans, true, 1, "CIOUnit::ReadFans", "CIOUnit::UpdateFans - Type 0x%02x not Fan",
         "CIOUnit::UpdateFans - Number of fan readings %d does not agree with SMBIOS %d",
         "CIOUnit::ProcessFanAlerts - Number of fan readings %d does not agree with SMBIOS %d",
         "CIOUnit::ProcessFanAlerts - Internal Error - Number of fan readings collected %d does "
         "not "
         "agree with expected %d",
         "CIOUnit::FireFanStateChange - invalid listener pointer 0x%08p"},
        {kSvcpReadTemperatures, false, 10, "CIOUnit::ReadTemperatures",
         "CIOUnit::UpdateTemperatures - Type 0x%02x not Temperature", nullptr,
         "CIOUnit::ProcessTemperatureAlerts - Number of temperature readings %d does not agree "
         "with SMBIOS %d",
         "CIOUnit::ProcessTemperatureAlerts - Internal Error - Number of temperature readings "
         "collected %d does not agree with expected %d",
         "CIOUnit::FireTemperatureStateChange - invalid listener pointer 0x%08p"},
    };
    return kRules[kind];
}

CSensorMap& CIOUnit::MapOf(SENSOR_KIND kind) const {
    switch (kind) {
        case SensorKind_Voltage:
            return m_pCache->m_VoltageMap;
        case SensorKind_Fan:
            return m_pCache->m_FanMap;
        case SensorKind_Temperature:
            break;
    }
    return m_pCache->m_TemperatureMap;
}

SVCP_EXCHANGE_KIND CIOUnit::ExchangeOf(SENSOR_KIND kind) {
    switch (kind) {
        case SensorKind_Voltage:
            return ExchangeKind_Voltages;
        case SensorKind_Fan:
            return ExchangeKind_Fans;
        case SensorKind_Temperature:
            break;
    }
    return ExchangeKind_Temperatures;
}
