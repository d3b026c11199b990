// The smallest application: start up, list the sensors, describe the first.
#include <cstdio>

#include "svcproc/api/ServiceApi.h"

int main() {
    CSensorHandleList sensors;
    CSensorInformation information;
    SERVICE_CODE result = ServiceApi::InitialiseServiceDriver();
    if (result == ServiceCode_Success) {
        result = ServiceApi::EnumerateSensorHandles(sensors);
    }
    if (result == ServiceCode_Success && !sensors.empty()) {
        result = ServiceApi::GetSensorInformation(sensors.front(), information);
    }
    std::printf("result %d, %zu sensors, first: %ls\n", static_cast<int>(result), sensors.size(),
                information.Description.c_str());
    return result == ServiceCode_Success && !sensors.empty() ? 0 : 1;
}
