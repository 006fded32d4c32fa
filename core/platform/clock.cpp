#include "platform/clock.h"

#include <cstdlib>
#include <ctime>

namespace kivo {

LocalDateTime SystemClock::Now() const
{
    std::time_t now = std::time(nullptr);
    if (const char *epoch = std::getenv("SOURCE_DATE_EPOCH"); epoch && *epoch) {
        char *end = nullptr;
        long long v = std::strtoll(epoch, &end, 10);
        if (end && *end == '\0' && v >= 0)
            now = std::time_t(v);
    }
    std::tm tm{};
    localtime_r(&now, &tm);
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
