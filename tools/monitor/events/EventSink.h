// Where events go: the platform's system log (EventLogSink.cpp on Windows,
// JournalSink.cpp elsewhere), or a test's recorder.
#pragma once

#include <memory>
#include <string>

#include "events/SystemEvent.h"

class IEventSink {
public:
    virtual ~IEventSink() = default;
    // Best effort: the run goes on whether or not the log took it.
    virtual void Report(const SystemEvent& event) = 0;
};

// The process was started by the system's service manager with its
// standard error going to the system's log (systemd's JOURNAL_STREAM); a
// Windows service knows it from its entry point instead.
bool StartedByServiceManager();

// The system's log under the exporter's name; null, with the reason, when it
// cannot be opened.
std::unique_ptr<IEventSink> OpenSystemLog(std::string& error);
