#pragma once
#include <string>

namespace kivo {

struct LocalDateTime {
    int year = 1970;
    int month = 1;   // 1..12
    int day = 1;     // 1..31
    int weekday = 4; // 0 = Sunday .. 6 = Saturday
    int hour = 0;
    int minute = 0;
    int second = 0;
};

class IClock
{
public:
    virtual ~IClock() = default;
    virtual LocalDateTime Now() const = 0;
    // Why the clock cannot be used (a setting it cannot take), or "".
    virtual std::string Problem() const { return ""; }
};

// Local time; SOURCE_DATE_EPOCH, when set, fixes the instant so that a
// generation can be reproduced. A value that is not a count of seconds up
// to the end of the year 9999 is a Problem(), and Now() ignores it.
class SystemClock : public IClock
{
public:
    LocalDateTime Now() const override;
    std::string Problem() const override;
};

class FixedClock : public IClock
{
public:
    explicit FixedClock(LocalDateTime t) : m_time(t) {}
    LocalDateTime Now() const override { return m_time; }

private:
    LocalDateTime m_time;
};

} // namespace kivo
