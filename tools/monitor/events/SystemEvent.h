// The events the monitor writes to the system's log (the Windows Event Log,
// the systemd journal): what happened, how grave it is, and a stable
// identity per kind that operators filter on.
#pragma once

#include <string>

#include "snapshot/Snapshot.h"

enum class EventKind {
    AlertAsserted,
    AlertCleared,
    EventsSuppressed,
    LinkLost,
    LinkRestored,
    StartupFailed,
    Started,
    ConfigurationRefused,
};

enum class EventSeverity { Error, Warning, Information };

// The identities of a kind: never changed once shipped.
struct EventKindInfo {
    unsigned short eventId;  // the Windows event ID
    const char* messageId;   // the journal's MESSAGE_ID (128 bits, hex)
    EventSeverity severity;
};
EventKindInfo DescribeEventKind(EventKind kind);

struct SystemEvent {
    EventKind kind = EventKind::Started;
    std::string message;  // one line, UTF-8
    // For a sensor's events; empty otherwise.
    std::string sensor;   // its description
    std::string handle;   // "0x00010002"
    std::string reading;  // "3.300 V"
};

// An alert as the listener heard it, described from the snapshot's
// inventory: the reading an alert carries is the service processor's raw
// value, scaled as ReadSensor scales it.
SystemEvent AlertEvent(unsigned long handle, bool asserted, unsigned long reading,
                       const Snapshot& snapshot);
// The link as the snapshot saw it: lost (naming the failing exchanges) or
// restored.
SystemEvent LinkEvent(const LinkSnapshot& link);
SystemEvent StartupFailedEvent(SERVICE_CODE code);
SystemEvent StartedEvent(const Snapshot& inventory);
SystemEvent ConfigurationRefusedEvent(const std::string& reason);
// `count` events of `subject` left out within `seconds`; `latest` is the last
// of them, so the log still tells how things stand.
SystemEvent SuppressedEvent(unsigned long count, const std::string& subject, long seconds,
                            const SystemEvent& latest);
