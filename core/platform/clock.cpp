#include "platform/clock.h"

#include <cstdlib>
#include <ctime>
#include <string>

namespace kivo {

namespace {

// 9999-12-31 23:59:59 UTC: four-digit years, far from where the year
// overflows.
constexpr long long kLastEpoch = 253402300799LL;

// The fixed instant, when SOURCE_DATE_EPOCH is set; false when it is set to
// something else than seconds in 0..kLastEpoch.
bool SourceDateEpoch(bool &set, long long &value)
{
    const char *epoch = std::getenv("SOURCE_DATE_EPOCH");
    set = epoch && *epoch;
    if (!set)
        return true;
    value = 0;
    for (const char *p = epoch; *p; ++p) {
        if (*p < '0' || *p > '9')
            return false;
        value = value * 10 + (*p - '0');
        if (value > kLastEpoch)
            return false;
    }
    return true;
}

} // namespace

std::string SystemClock::Problem() const
{
    bool set = false;
    long long v = 0;
    if (SourceDateEpoch(set, v))
        return "";
    return "SOURCE_DATE_EPOCH is \"" + std::string(std::getenv("SOURCE_DATE_EPOCH")) +
           "\": it must be a whole number of seconds from 0 to " + std::to_string(kLastEpoch) +
           " (the end of the year 9999).";
}

LocalDateTime SystemClock::Now() const
{
    std::time_t now = std::time(nullptr);
    bool set = false;
    long long v = 0;
    if (SourceDateEpoch(set, v) && set)
        now = std::time_t(v);
    std::tm tm{};
    if (!localtime_r(&now, &tm))
        return LocalDateTime{};
    LocalDateTime t;
    t.year = tm.tm_year + 1900;
    t.month = tm.tm_mon + 1;
    t.day = tm.tm_mday;
    t.weekday = tm.tm_wday;
    t.hour = tm.tm_hour;
    t.minute = tm.tm_min;
    t.second = tm.tm_sec;
    return t;
}

} // namespace kivo
