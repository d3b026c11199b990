// The COM call trace and live counts.
#include "ComTrace.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <mutex>

#include "wmi_provider.h"

namespace svcp {
namespace {

struct Trace {
    std::mutex lock;
    std::vector<std::string> lines;  // guarded by lock
};

Trace& GetTrace() {
    // Never destroyed: calls may come from threads still running at exit.
    static Trace* trace = new Trace();
    return *trace;
}

std::atomic<bool> g_bTraceOn{false};
std::atomic<int> g_liveCounts[3];

}  // namespace

bool ComTraceOn() {
    return g_bTraceOn.load();
}

void ComTrace(const char* format, ...) {
    if (!ComTraceOn()) {
        return;
    }
    char buffer[512];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(buffer, sizeof(buffer), format, arguments);
    va_end(arguments);
    Trace& trace = GetTrace();
    std::lock_guard<std::mutex> guard(trace.lock);
    // Checked again under the lock so that no line lands after a stop.
    if (ComTraceOn()) {
        trace.lines.emplace_back(buffer);
    }
}

void CountLive(ComLive kind, int delta) {
    g_liveCounts[static_cast<int>(kind)].fetch_add(delta);
}

std::string TraceString(const OLECHAR* text) {
    if (text == nullptr) {
        return "null";
    }
    std::string quoted = "\"";
    for (; *text != 0; ++text) {
        const bool ascii = *text >= 0x20 && *text < 0x7F;
        quoted += ascii ? static_cast<char>(*text) : '?';
    }
    return quoted + "\"";
}

std::string TraceGuid(const GUID& guid) {
    static const struct {
        const GUID* guid;
        const char* name;
    } kNames[] = {
        {&IID_IUnknown, "IID_IUnknown"},
        {&CLSID_WbemLocator, "CLSID_WbemLocator"},
        {&IID_IWbemLocator, "IID_IWbemLocator"},
        {&IID_IWbemServices, "IID_IWbemServices"},
        {&IID_IEnumWbemClassObject, "IID_IEnumWbemClassObject"},
        {&IID_IWbemClassObject, "IID_IWbemClassObject"},
    };
    for (const auto& known : kNames) {
        if (*known.guid == guid) {
            return known.name;
        }
    }
    char text[40];
    std::snprintf(text, sizeof(text), "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  guid.Data1, guid.Data2, guid.Data3, guid.Data4[0], guid.Data4[1], guid.Data4[2],
                  guid.Data4[3], guid.Data4[4], guid.Data4[5], guid.Data4[6], guid.Data4[7]);
    return text;
}

bool EqualsIgnoringCase(const OLECHAR* text, const char* ascii) {
    if (text == nullptr) {
        return false;
    }
    auto lower = [](unsigned long c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c; };
    for (; *ascii != 0; ++text, ++ascii) {
        if (lower(static_cast<unsigned long>(*text)) != lower(static_cast<unsigned char>(*ascii))) {
            return false;
        }
    }
    return *text == 0;
}

}  // namespace svcp

void SvcpComTraceStart() {
    svcp::Trace& trace = svcp::GetTrace();
    std::lock_guard<std::mutex> guard(trace.lock);
    trace.lines.clear();
    svcp::g_bTraceOn.store(true);
}

void SvcpComTraceStop() {
    svcp::Trace& trace = svcp::GetTrace();
    std::lock_guard<std::mutex> guard(trace.lock);
    svcp::g_bTraceOn.store(false);
}

std::vector<std::string> SvcpComTrace() {
    svcp::Trace& trace = svcp::GetTrace();
    std::lock_guard<std::mutex> guard(trace.lock);
    return trace.lines;
}

SvcpComLiveCounts SvcpComGetLiveCounts() {
    auto count = [](svcp::ComLive kind) {
        return static_cast<unsigned>(svcp::g_liveCounts[static_cast<int>(kind)].load());
    };
    return {count(svcp::ComLive::Objects), count(svcp::ComLive::Strings),
            count(svcp::ComLive::Arrays)};
}
