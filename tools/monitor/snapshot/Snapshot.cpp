#include "snapshot/Snapshot.h"

#include "snapshot/SensorSelection.h"
#include "svcproc/api/machine/MachineInfo.h"

namespace {

using Clock = std::chrono::system_clock;

// The service processor stopped answering after the latest response any of
// the failing kinds received: with the alert poll every 100 ms that is close
// to the moment it went quiet, and it does not move back when the reads,
// made less often, begin to fail too.
OutageSnapshot OutageOf(const LinkSnapshot& link) {
    OutageSnapshot outage;
    for (int kind = 0; kind < ExchangeKind_Count; ++kind) {
        if (!Failing(link, kind)) {
            continue;
        }
        const std::optional<Clock::time_point> last = LastResponseAt(link, kind);
        if (last && (!outage.lastAnswer || *last > *outage.lastAnswer)) {
            outage.lastAnswer = last;
        }
    }
    return outage;
}

// Every handle the library lists, in its order, with its information; a
// handle whose information is refused is left out.
template <typename List, typename Enumerate, typename Describe, typename Entry>
void AddEntries(Enumerate enumerate, Describe describe, std::vector<Entry>& entries) {
    List handles;
    enumerate(handles);
    for (unsigned long handle : handles) {
        Entry entry;
        entry.handle = handle;
        if (describe(handle, entry.information) == ServiceCode_Success) {
            entries.push_back(std::move(entry));
        }
    }
}

template <typename Read, typename Entry>
bool ReadEntries(Read read, std::vector<Entry>& entries, const std::function<bool()>& proceed) {
    for (Entry& entry : entries) {
        if (proceed && !proceed()) {
            return false;
        }
        entry.readResult = read(entry.handle, entry.reading);
        entry.readAt = Clock::now();
    }
    return true;
}

// The length of the well-formed UTF-8 sequence at text[at] (no overlong
// forms, surrogates or values past U+10FFFF); 0 when there is none.
size_t Utf8SequenceLength(const std::string& text, size_t at) {
    const unsigned char lead = static_cast<unsigned char>(text[at]);
    size_t length = 0;
    unsigned char low = 0x80;  // the second byte's bounds
    unsigned char high = 0xBF;
    if (lead < 0x80) {
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (at + length > text.size()) {
        return 0;
    }
    for (size_t k = 1; k < length; ++k) {
        const unsigned char next = static_cast<unsigned char>(text[at + k]);
        if (next < (k == 1 ? low : 0x80) || next > (k == 1 ? high : 0xBF)) {
            return 0;
        }
    }
    return length;
}

}  // namespace

std::string SmbiosText(const std::string& text) {
    for (size_t i = 0; i < text.size();) {
        const size_t length = Utf8SequenceLength(text, i);
        if (length == 0) {
            std::string out;
            for (const char c : text) {
                out += static_cast<unsigned char>(c) < 0x80 ? std::string(1, c) : "\xEF\xBF\xBD";
            }
            return out;
        }
        i += length;
    }
    return text;
}

namespace {

std::optional<MachineSnapshot> TakeMachine() {
    CMachineInfo info{};
    if (ServiceApi::GetMachineInfo(info) != ServiceCode_Success) {
        return std::nullopt;
    }
    return MachineSnapshot{SmbiosText(info.BiosVersion), SmbiosText(info.ServiceProcessor)};
}

}  // namespace

Snapshot TakeInventory(SERVICE_CODE startup, const SensorSelection* selection,
                       std::vector<std::string>* refused) {
    Snapshot snapshot;
    snapshot.startup = startup;
    snapshot.takenAt = Clock::now();
    snapshot.machine = TakeMachine();
    if (startup != ServiceCode_Success) {
        return snapshot;
    }
    AddEntries<CSensorHandleList>(ServiceApi::EnumerateSensorHandles,
                                  ServiceApi::GetSensorInformation, snapshot.sensors);
    AddEntries<CLedHandleList>(ServiceApi::EnumerateLedHandles, ServiceApi::GetLedInformation,
                               snapshot.leds);
    if (selection != nullptr) {
        ApplySelection(*selection, snapshot, refused);
    }
    RefreshReadings(snapshot);
    return snapshot;
}

void RefreshReadings(Snapshot& snapshot) {
    RefreshReadings(snapshot, nullptr);
}

bool RefreshReadings(Snapshot& snapshot, const std::function<bool()>& proceed) {
    const std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
    snapshot.takenAt = Clock::now();
    if (!ReadEntries(ServiceApi::ReadSensor, snapshot.sensors, proceed) ||
        !ReadEntries(ServiceApi::ReadLed, snapshot.leds, proceed)) {
        return false;
    }
    LinkSnapshot link;
    if (ServiceApi::GetServiceProcessorStatus(link.status) == ServiceCode_Success) {
        link.takenAt = Clock::now();
        snapshot.link = link;
    } else {
        snapshot.link.reset();
    }
    TrackOutage(snapshot);
    snapshot.refreshDuration = std::chrono::steady_clock::now() - start;
    return true;
}

void TrackOutage(Snapshot& snapshot) {
    if (!snapshot.link || Answering(*snapshot.link)) {
        snapshot.outage.reset();
    } else if (!snapshot.outage) {
        snapshot.outage = OutageOf(*snapshot.link);
    }
}

bool Failing(const LinkSnapshot& link, int exchangeKind) {
    return exchangeKind >= 0 && exchangeKind < ExchangeKind_Count &&
           link.status.Exchanges[exchangeKind].ConsecutiveFailures != 0;
}

bool Answering(const LinkSnapshot& link) {
    for (int kind = 0; kind < ExchangeKind_Count; ++kind) {
        if (Failing(link, kind)) {
            return false;
        }
    }
    return true;
}

bool Stale(const Snapshot& snapshot, unsigned long handle) {
    if (!snapshot.link) {
        return false;
    }
    // Handle kinds 1 to 4 (voltage, fan, temperature, LED) are read by the
    // exchange kinds 0 to 3.
    const unsigned long kind = handle >> 16;
    if (kind < 1 || kind > 4) {
        return false;
    }
    return Failing(*snapshot.link, static_cast<int>(kind - 1)) ||
           (kind != 4 && Failing(*snapshot.link, ExchangeKind_AlertPoll));
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
