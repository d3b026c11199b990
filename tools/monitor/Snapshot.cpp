#include "Snapshot.h"

namespace {

using Clock = std::chrono::system_clock;

}  // namespace

Snapshot TakeInventory(SERVICE_CODE startup) {
    Snapshot snapshot;
    snapshot.startup = startup;
    snapshot.takenAt = Clock::now();
    if (startup != ServiceCode_Success) {
        return snapshot;
    }
    CSensorHandleList sensorHandles;
    ServiceApi::EnumerateSensorHandles(sensorHandles);
    for (unsigned long handle : sensorHandles) {
        SensorSnapshot sensor;
        sensor.handle = handle;
        if (ServiceApi::GetSensorInformation(handle, sensor.information) == ServiceCode_Success) {
            snapshot.sensors.push_back(std::move(sensor));
        }
    }
    CLedHandleList ledHandles;
    ServiceApi::EnumerateLedHandles(ledHandles);
    for (unsigned long handle : ledHandles) {
        LedSnapshot led;
        led.handle = handle;
        if (ServiceApi::GetLedInformation(handle, led.information) == ServiceCode_Success) {
            snapshot.leds.push_back(std::move(led));
        }
    }
    RefreshReadings(snapshot);
    return snapshot;
}

void RefreshReadings(Snapshot& snapshot) {
    snapshot.takenAt = Clock::now();
    for (SensorSnapshot& sensor : snapshot.sensors) {
        sensor.readResult = ServiceApi::ReadSensor(sensor.handle, sensor.reading);
        sensor.readAt = Clock::now();
    }
    for (LedSnapshot& led : snapshot.leds) {
        led.readResult = ServiceApi::ReadLed(led.handle, led.reading);
        led.readAt = Clock::now();
    }
}
