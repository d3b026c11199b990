#include "LinePrefix.h"

#include <atomic>
#include <chrono>
#include <cstdio>

#include "Decimal.h"

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

// `digits` decimal digits of `value`, zero-padded.
char* PutDigits(char* out, unsigned value, int digits) {
    for (int i = digits - 1; i >= 0; --i) {
        out[i] = static_cast<char>('0' + value % 10);
        value /= 10;
    }
    return out + digits;
}

// "YYYY-MM-DDT" of a day counted from 1970-01-01; returns its length.
size_t FormatDate(char* out, int64_t days) {
    const CivilDate date = CivilFromDays(days);
    char* p = out;
    if (date.year >= 0 && date.year <= 9999) {
        p = PutDigits(p, static_cast<unsigned>(date.year), 4);
    } else {
        // Years no clock of this century gives; printed as "%04lld" would.
        const int length =
            std::snprintf(p, kMaxLinePrefix / 2, "%04lld", static_cast<long long>(date.year));
        p += length > 0 ? length : 0;
    }
    *p++ = '-';
    p = PutDigits(p, date.month, 2);
    *p++ = '-';
    p = PutDigits(p, date.day, 2);
    *p++ = 'T';
    return static_cast<size_t>(p - out);
}

}  // namespace

size_t FormatUtcTimestamp(char* out, int64_t millisecondsSinceEpoch) {
    constexpr int64_t kSecondsPerDay = 86400;
    const int64_t seconds = FloorDiv(millisecondsSinceEpoch, 1000);
    const auto milliseconds = static_cast<unsigned>(millisecondsSinceEpoch - seconds * 1000);
    const int64_t days = FloorDiv(seconds, kSecondsPerDay);
    const auto secondOfDay = static_cast<unsigned>(seconds - days * kSecondsPerDay);
    char* p = out + FormatDate(out, days);
    p = PutDigits(p, secondOfDay / 3600, 2);
    *p++ = ':';
    p = PutDigits(p, secondOfDay / 60 % 60, 2);
    *p++ = ':';
    p = PutDigits(p, secondOfDay % 60, 2);
    *p++ = '.';
    p = PutDigits(p, milliseconds, 3);
    *p++ = 'Z';
    return static_cast<size_t>(p - out);
}

void AppendUtcTimestamp(std::string& out, int64_t millisecondsSinceEpoch) {
    char text[kMaxLinePrefix];
    out.append(text, FormatUtcTimestamp(text, millisecondsSinceEpoch));
}

unsigned CurrentThreadNumber() {
    if (t_threadNumber == 0) {
        t_threadNumber = g_lastThreadNumber.fetch_add(1, std::memory_order_relaxed) + 1;
    }
    return t_threadNumber;
}

int64_t NowMilliseconds() {
    const auto now =
        std::chrono::time_point_cast<std::chrono::milliseconds>(std::chrono::system_clock::now());
    return static_cast<int64_t>(now.time_since_epoch().count());
}

size_t FormatLinePrefix(char* out, int64_t millisecondsSinceEpoch, int level) {
    char* p = out + FormatUtcTimestamp(out, millisecondsSinceEpoch);
    *p++ = ' ';
    *p++ = '[';
    p = PutDecimal(p, CurrentThreadNumber());
    *p++ = ']';
    *p++ = ' ';
    *p++ = 'L';
    if (level < 0) {
        *p++ = '-';
    }
    p = PutDecimal(p, level < 0 ? 0ULL - static_cast<unsigned long long>(level)
                                : static_cast<unsigned long long>(level));
    *p++ = ' ';
    return static_cast<size_t>(p - out);
}

void AppendLinePrefix(std::string& out, int level) {
    char text[kMaxLinePrefix];
    out.append(text, FormatLinePrefix(text, NowMilliseconds(), level));
}

}  // namespace svcp::log
