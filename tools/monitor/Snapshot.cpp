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
    const std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
    snapshot.takenAt = Clock::now();
    for (SensorSnapshot& sensor : snapshot.sensors) {
        sensor.readResult = ServiceApi::ReadSensor(sensor.handle, sensor.reading);
        sensor.readAt = Clock::now();
    }
    for (LedSnapshot& led : snapshot.leds) {
        led.readResult = ServiceApi::ReadLed(led.handle, led.reading);
        led.readAt = Clock::now();
    }
    LinkSnapshot link;
    if (ServiceApi::GetServiceProcessorStatus(link.status) == ServiceCode_Success) {
        link.takenAt = Clock::now();
        snapshot.link = link;
    }
    snapshot.refreshDuration = std::chrono::steady_clock::now() - start;
}

bool Answering(const LinkSnapshot& link) {
    for (const CExchangeStatus& exchange : link.status.Exchanges) {
        if (exchange.ConsecutiveFailures != 0) {
            return false;
        }
    }
    return true;
}

bool Up(const Snapshot& snapshot) {
    return snapshot.startup == ServiceCode_Success &&
           (!snapshot.link.has_value() || Answering(*snapshot.link));
}

std::optional<Clock::time_point> LastResponseAt(const LinkSnapshot& link, int exchangeKind) {
    if (exchangeKind < 0 || exchangeKind >= ExchangeKind_Count) {
        return std::nullopt;
    }
    const CExchangeStatus& exchange = link.status.Exchanges[exchangeKind];
    if (!exchange.HasResponded) {
        return std::nullopt;
    }
    // Unsigned distance: correct across the tick counter's wrap-around.
    const uint32_t age = link.status.CurrentTick - exchange.LastResponseTick;
    return link.takenAt - std::chrono::milliseconds(age);
}
