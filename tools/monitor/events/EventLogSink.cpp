// The Windows Event Log, under the exporter's event source. The source's
// message file is the monitor's program (EventMessages.mc): every event ID's
// message is its one insertion string, the event's text.
#include <windows.h>

#include <string>

#include "events/EventSink.h"

namespace {

constexpr const wchar_t* kEventSource = L"svcproc-exporter";

WORD EventType(EventSeverity severity) {
    switch (severity) {
        case EventSeverity::Error:
            return EVENTLOG_ERROR_TYPE;
        case EventSeverity::Warning:
            return EVENTLOG_WARNING_TYPE;
        case EventSeverity::Information:
            break;
    }
    return EVENTLOG_INFORMATION_TYPE;
}

std::wstring Wide(const std::string& text) {
    const int length =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(length > 0 ? length : 0), L'\0');
    if (length > 0) {
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &wide[0],
                            length);
    }
    return wide;
}

class CEventLogSink : public IEventSink {
public:
    explicit CEventLogSink(HANDLE source) : m_hSource(source) {}
    ~CEventLogSink() override { DeregisterEventSource(m_hSource); }
    CEventLogSink(const CEventLogSink&) = delete;
    CEventLogSink& operator=(const CEventLogSink&) = delete;

    void Report(const SystemEvent& event) override {
        const EventKindInfo info = DescribeEventKind(event.kind);
        const std::wstring text = Wide(event.message);
        const wchar_t* strings[] = {text.c_str()};
        ReportEventW(m_hSource, EventType(info.severity), 0, info.eventId, nullptr, 1, 0, strings,
                     nullptr);
    }

private:
    HANDLE m_hSource;
};

}  // namespace

bool StartedByServiceManager() {
    // The service's entry point says so itself (windows/ServiceEntry.cpp).
    return false;
}

std::unique_ptr<IEventSink> OpenSystemLog(std::string& error) {
    HANDLE source = RegisterEventSourceW(nullptr, kEventSource);
    if (source == nullptr) {
        error = "cannot open the event log (RegisterEventSource failed with " +
                std::to_string(GetLastError()) + ")";
        return nullptr;
    }
    return std::make_unique<CEventLogSink>(source);
}
