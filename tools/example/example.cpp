// How an application uses svcproc: initialise, list, describe, read, listen.
#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "svcproc/api/ServiceApi.h"

// Called on the library's polling thread whenever a sensor's alert changes.
// The reading that comes with an alert is the service processor's own: for
// voltages and temperatures ReadSensor reports ten times it.
class PrintingListener : public ISensorStateListener {
public:
    void OnSensorStateChange(unsigned long handle, unsigned long state,
                             unsigned long reading) override {
        const unsigned long scale = ServiceApi::HandleKind(handle) == HandleKind_Fan ? 1 : 10;
        std::printf("alert: sensor 0x%05lx is %s (reading %lu, as ReadSensor gives it)\n", handle,
                    state ? "Critical" : "Ok", reading * scale);
        std::fflush(stdout);
    }
};

int main(int argc, char** argv) {
    const int listenSeconds = argc > 1 ? std::atoi(argv[1]) : 5;
    // Descriptions are wide strings: %ls converts them to the locale's
    // multibyte text, which in the default "C" locale stops at the first
    // character outside ASCII.
    std::setlocale(LC_ALL, "");

    const SERVICE_CODE started = ServiceApi::InitialiseServiceDriver();
    if (started != ServiceCode_Success) {
        std::printf("start-up failed: %d\n", static_cast<int>(started));
        return started;
    }

    // The library appends to a handle list and never empties it: one list
    // can collect the handles of several calls, and a list used twice holds
    // every handle twice.
    CSensorHandleList sensors;
    ServiceApi::EnumerateSensorHandles(sensors);
    for (unsigned long handle : sensors) {
        CSensorInformation information;
        CSensorReading reading{};
        if (ServiceApi::GetSensorInformation(handle, information) == ServiceCode_Success &&
            ServiceApi::ReadSensor(handle, reading) == ServiceCode_Success) {
            // Readings are in units of BaseUnits times 10^UnitModifier.
            std::printf("sensor 0x%05lx %-24ls %8u x 10^%d, %ls\n", handle,
                        information.Description.c_str(), reading.CurrentReading,
                        information.UnitModifier,
                        information.PossibleStates.at(reading.CurrentState).c_str());
        }
    }

    CLedHandleList leds;
    ServiceApi::EnumerateLedHandles(leds);
    for (unsigned long handle : leds) {
        CLedInformation information;
        CLedReading reading{};
        if (ServiceApi::GetLedInformation(handle, information) == ServiceCode_Success &&
            ServiceApi::ReadLed(handle, reading) == ServiceCode_Success) {
            std::printf("led    0x%05lx %-24ls %s\n", handle, information.Description.c_str(),
                        reading.State ? "on" : "off");
        }
    }
    std::fflush(stdout);

    PrintingListener listener;
    ServiceApi::RegisterSensorStateListener(&listener);
    std::this_thread::sleep_for(std::chrono::seconds(listenSeconds));
    // After this returns the listener is not called again and may go.
    ServiceApi::UnregisterSensorStateListener(&listener);
    return 0;
}
