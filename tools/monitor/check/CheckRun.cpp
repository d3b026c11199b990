#include "check/CheckRun.h"

#include <charconv>
#include <cstdlib>
#include <utility>

#include "check/CheckReport.h"
#include "snapshot/JudgedState.h"

namespace {

using SteadyClock = std::chrono::steady_clock;

// How often the watchdog looks at its stop flag.
constexpr std::chrono::milliseconds kWatchStep(50);

// "2.5", whatever the locale.
std::string SecondsText(double seconds) {
    char text[32];
    const std::to_chars_result end = std::to_chars(text, text + sizeof text, seconds);
    return std::string(text, end.ptr);
}

bool Write(FILE* out, const std::string& text) {
    return std::fwrite(text.data(), 1, text.size(), out) == text.size() && std::fflush(out) == 0;
}

}  // namespace

CCheckWatchdog::CCheckWatchdog(const MonitorHooks& hooks, SteadyClock::time_point deadline,
                               std::function<void()> expire) {
    m_Thread = std::thread([this, hooks, deadline, expire = std::move(expire)] {
        while (!m_bStop.load()) {
            const SteadyClock::time_point now = hooks.now();
            if (now >= deadline) {
                if (Claim()) {
                    expire();
                }
                return;
            }
            hooks.sleepUntil(std::min(deadline, now + kWatchStep));
        }
    });
}

CCheckWatchdog::~CCheckWatchdog() {
    m_bStop = true;
    m_Thread.join();
}

bool CCheckWatchdog::Claim() {
    return !m_bClaimed.exchange(true);
}

void ExpireCheck(FILE* out, double timeoutSeconds) {
    Write(out,
          UnknownResult("no answer within " + SecondsText(timeoutSeconds) + " s (--timeout)").text);
    // The library's threads may be stuck in a call: no destructors, no
    // atexit handlers, just the status.
    std::_Exit(Check_Unknown);
}

int RunCheck(const MonitorOptions& options, const MonitorStreams& streams,
             const MonitorHooks& hooks, std::function<void()> expire) {
    if (!expire) {
        FILE* out = streams.out;
        const double seconds = options.timeoutSeconds;
        expire = [out, seconds] { ExpireCheck(out, seconds); };
    }
    CCheckWatchdog watchdog(hooks, hooks.now() + Seconds(options.timeoutSeconds),
                            std::move(expire));
    CheckResult result;
    if (!ApplyLogOptions(options, streams)) {
        result = UnknownResult("cannot open the log file " + options.logFile);
    } else {
        std::vector<std::string> refused;
        Snapshot snapshot = TakeInventory(hooks.initialise(), &options.selection, &refused);
        for (const std::string& message : refused) {
            std::fprintf(streams.err, "svcproc-monitor: %s\n", message.c_str());
        }
        JudgeStates(snapshot);
        CheckStyle style;
        style.warningOnly = options.warningOnly;
        style.verbose = options.verbose;
        result = ReportCheck(snapshot, style);
    }
    if (!watchdog.Claim()) {
        return Check_Unknown;  // the watchdog has answered
    }
    return Write(streams.out, result.text) ? result.status : Check_Unknown;
}
