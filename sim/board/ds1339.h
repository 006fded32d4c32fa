#pragma once
// A DS1339 real-time clock on an I2C bus (7-bit address $68): the time
// registers in BCD with their read buffer, the oscillator enable and the
// oscillator-stop flag, the register pointer that wraps from $10 to $00.
// It starts at kStartTime with its oscillator running and the flag clear,
// and counts on with simulated time.
#include "board/i2c.h"

#include <array>
#include <string>

namespace kivo::sim {

struct RtcTime {
    int year = 2026, month = 1, mday = 1, hour = 12, min = 0, sec = 0;
    int wday = 5; // 1..7, Sunday = 1 (as the generated program counts)
    bool operator==(const RtcTime &) const = default;
    std::string text() const; // "2026-01-01 12:00:00"
};

class Ds1339 : public I2cTarget
{
public:
    // Thursday, 1 January 2026, 12:00:00.
    static constexpr RtcTime kStartTime{};

    explicit Ds1339(const TimeBase &time, RtcTime start = kStartTime);
    int address() const override { return 0x68; }
    void start(Clock at) override;
    void stop(Clock at) override;
    bool written(std::uint8_t byte, Clock at) override;
    std::uint8_t read(Clock at) override;
    Json observations() const override;
    void finish(Clock at) override
    {
        m_end = timeAt(at);
        m_ended = true;
    }

    // The time the chip shows at `at`.
    RtcTime timeAt(Clock at) const;
    std::uint8_t reg(int n) const { return m_regs[std::size_t(n & 15)]; }

    struct SetTime {
        Clock at;
        RtcTime time;
    };
    const std::vector<SetTime> &setTimes() const { return m_setTimes; }

private:
    void latchTime(Clock at); // the read buffer copy
    void setFrom(const std::array<std::uint8_t, 7> &regs, Clock at, bool resetChain);

    const TimeBase &m_time;
    RtcTime m_start;
    // The time as set, and the simulated second it was set at: the chip
    // counts whole seconds from there while its oscillator runs.
    long long m_baseSeconds = 0; // seconds since 2000-01-01 00:00:00
    int m_baseWday = 5;
    bool m_twelveHour = false;
    double m_baseAt = 0;
    double m_stoppedAt = -1; // >= 0 while EOSC stops the oscillator
    std::array<std::uint8_t, 17> m_regs{};
    std::array<std::uint8_t, 7> m_buffer{};
    int m_pointer = 0;
    bool m_expectPointer = false;
    std::array<std::uint8_t, 7> m_pending{}; // time registers being written
    bool m_timeWritten = false, m_secondsWritten = false;
    std::vector<SetTime> m_setTimes;
    std::uint64_t m_reads = 0, m_writes = 0;
    RtcTime m_end;
    bool m_ended = false;
};

} // namespace kivo::sim
