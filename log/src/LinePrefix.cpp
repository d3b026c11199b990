#include "LinePrefix.h"

#include <atomic>
#include <chrono>
#include <cstdio>

namespace svcp::log {

namespace {

// Constant-initialised, so usable before and after static construction.
std::atomic<unsigned> g_lastThreadNumber{0};
thread_local unsigned t_threadNumber = 0;

struct CivilDate {
    int64_t year;
    unsigned month;  // 1..12
    unsigned day;    // 1..31
};

// Proleptic Gregorian date of a day counted from 1970-01-01, valid for any
// day: the calendar repeats every 400 years (146097 days), counted here from
// a 1 March so that the leap day ends the year.
CivilDate CivilFromDays(int64_t days) {
    days += 719468;  // from 0000-03-01
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const auto dayOfEra = static_cast<unsigned>(days - era * 146097);
    const unsigned yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const unsigned monthFromMarch = (5 * dayOfYear + 2) / 153;
    const unsigned day = dayOfYear - (153 * monthFromMarch + 2) / 5 + 1;
    const unsigned month = monthFromMarch < 10 ? monthFromMarch + 3 : monthFromMarch - 9;
    const int64_t year = static_cast<int64_t>(yearOfEra) + era * 400 + (month <= 2 ? 1 : 0);
    return {year, month, day};
}

int64_t FloorDiv(int64_t value, int64_t divisor) {
    return value >= 0 ? value / divisor : -((-value - 1) / divisor) - 1;
}

}  // namespace

void AppendUtcTimestamp(std::string& out, int64_t millisecondsSinceEpoch) {
    constexpr int64_t kMillisecondsPerDay = 86400000;
    const int64_t days = FloorDiv(millisecondsSinceEpoch, kMillisecondsPerDay);
    const int64_t msOfDay = millisecondsSinceEpoch - days * kMillisecondsPerDay;
    const CivilDate date = CivilFromDays(days);
    char text[48];
    const int length =
        std::snprintf(text, sizeof text, "%04lld-%02u-%02uT%02d:%02d:%02d.%03dZ",
                      static_cast<long long>(date.year), date.month, date.day,
                      static_cast<int>(msOfDay / 3600000), static_cast<int>(msOfDay / 60000 % 60),
                      static_cast<int>(msOfDay / 1000 % 60), static_cast<int>(msOfDay % 1000));
    if (length > 0) {
        out.append(text, static_cast<size_t>(length));
    }
}

unsigned CurrentThreadNumber() {
    if (t_threadNumber == 0) {
        t_threadNumber = g_lastThreadNumber.fetch_add(1, std::memory_order_relaxed) + 1;
    }
    return t_threadNumber;
}

void AppendLinePrefix(std::string& out, int level) {
    const auto now =
        std::chrono::time_point_cast<std::chrono::milliseconds>(std::chrono::system_clock::now());
    AppendUtcTimestamp(out, now.time_since_epoch().count());
    char text[32];
    const int length = std::snprintf(text, sizeof text, " [%u] L%d ", CurrentThreadNumber(), level);
    if (length > 0) {
        out.append(text, static_cast<size_t>(length));
    }
}

}  // namespace svcp::log
