#include "events/SystemEvent.h"

#include <cstdint>

#include "snapshot/ServiceCodeAdvice.h"
#include "snapshot/Units.h"

namespace {

// A description comes from the machine: control characters would split a
// line of the log or forge a field of the journal's.
std::string OneLine(std::string text) {
    for (char& c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
            c = ' ';
        }
    }
    return text;
}

const char* ExchangeName(int kind) {
    switch (kind) {
        case ExchangeKind_Voltages:
            return "voltages";
        case ExchangeKind_Fans:
            return "fans";
        case ExchangeKind_Temperatures:
            return "temperatures";
        case ExchangeKind_Leds:
            return "LEDs";
        default:
            return "alert poll";
    }
}

}  // namespace

EventKindInfo DescribeEventKind(EventKind kind) {
    switch (kind) {
        case EventKind::AlertAsserted:
            return {1001, "1de39a3c62e74c09b47b95ba63f5a097", EventSeverity::Error};
        case EventKind::AlertCleared:
            return {1002, "7bd129205fb440aa90234b27d07e8081", EventSeverity::Information};
        case EventKind::EventsSuppressed:
            return {1003, "69c9db7eb7bf4956bb69ac537bb6882d", EventSeverity::Warning};
        case EventKind::LinkLost:
            return {1101, "ede825625f47460abbc2fa9db739a302", EventSeverity::Error};
        case EventKind::LinkRestored:
            return {1102, "fbb9afb64512439d9adb46cd088e955d", EventSeverity::Information};
        case EventKind::StartupFailed:
            return {1201, "e332ccbc1da84652a3eb4b99008e3abc", EventSeverity::Error};
        case EventKind::Started:
            return {1202, "7e3101b0eed146eda452254c9992771f", EventSeverity::Information};
        case EventKind::ConfigurationRefused:
            return {1203, "ca99d5b15f5f4c538e5efa06fcb65f6e", EventSeverity::Error};
    }
    return {0, "", EventSeverity::Error};
}

SystemEvent AlertEvent(unsigned long handle, bool asserted, unsigned long reading,
                       const Snapshot& snapshot) {
    SystemEvent event;
    event.kind = asserted ? EventKind::AlertAsserted : EventKind::AlertCleared;
    event.handle = FormatHandle(handle);
    event.sensor = "(unknown sensor)";
    event.reading = std::to_string(reading) + " (raw)";
    const unsigned long kind = ServiceApi::HandleKind(handle);
    for (const SensorSnapshot& sensor : snapshot.sensors) {
        if (sensor.handle == handle) {
            event.sensor = OneLine(ToUtf8(sensor.information.Description));
            const int64_t scale = kind == HandleKind_Fan ? 1 : 10;
            event.reading = FormatValue(static_cast<int64_t>(reading) * scale, sensor.information);
            break;
        }
    }
    event.message = std::string(asserted ? "Sensor alert asserted: " : "Sensor alert cleared: ") +
                    event.sensor + " (" + ServiceApi::KindName(kind) + " " + event.handle +
                    "), reading " + event.reading;
    return event;
}

SystemEvent LinkEvent(const LinkSnapshot& link) {
    SystemEvent event;
    if (Answering(link)) {
        event.kind = EventKind::LinkRestored;
        event.message = "Service processor link restored: it answers again";
        return event;
    }
    event.kind = EventKind::LinkLost;
    std::string failing;
    for (int kind = 0; kind < ExchangeKind_Count; ++kind) {
        if (Failing(link, kind)) {
            failing += (failing.empty() ? "" : ", ") + std::string(ExchangeName(kind));
        }
    }
    event.message = "Service processor link lost: no answer to " + failing +
                    "; readings are those of the last answer";
    return event;
}

SystemEvent StartupFailedEvent(SERVICE_CODE code) {
    const ServiceCodeAdvice text = DescribeServiceCode(code);
    SystemEvent event;
    event.kind = EventKind::StartupFailed;
    event.message = "Start-up failed with " + std::to_string(static_cast<int>(code)) + " (" +
                    text.name + "): " + text.meaning + " " + text.advice;
    return event;
}

SystemEvent StartedEvent(const Snapshot& inventory) {
    SystemEvent event;
    event.kind = EventKind::Started;
    event.message = "Started: " + std::to_string(inventory.sensors.size()) + " sensors, " +
                    std::to_string(inventory.leds.size()) + " LEDs";
    return event;
}

SystemEvent ConfigurationRefusedEvent(const std::string& reason) {
    SystemEvent event;
    event.kind = EventKind::ConfigurationRefused;
    event.message = "Configuration refused: " + OneLine(reason);
    return event;
}

SystemEvent SuppressedEvent(unsigned long count, const std::string& subject, long seconds,
                            const SystemEvent& latest) {
    SystemEvent event;
    event.kind = EventKind::EventsSuppressed;
    event.sensor = latest.sensor;
    event.handle = latest.handle;
    event.reading = latest.reading;
    event.message = "Suppressed " + std::to_string(count) + (count == 1 ? " event" : " events") +
                    " of " + subject + " in " + std::to_string(seconds) +
                    " s; the latest: " + latest.message;
    return event;
}
