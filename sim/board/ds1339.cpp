#include "board/ds1339.h"

#include <cmath>
#include <cstdio>

namespace kivo::sim {

namespace {

int Bcd(int v) { return ((v / 10) << 4) | (v % 10); }
int FromBcd(int v) { return (v >> 4) * 10 + (v & 15); }

// Days since 1970-01-01 of a proleptic Gregorian date (month 1..12).
long long DaysFromCivil(int y, int m, int d)
{
    y -= m <= 2;
    long long era = (y >= 0 ? y : y - 399) / 400;
    long long yoe = y - era * 400;
    long long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void CivilFromDays(long long z, int &y, int &m, int &d)
{
    z += 719468;
    long long era = (z >= 0 ? z : z - 146096) / 146097;
    long long doe = z - era * 146097;
    long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    long long mp = (5 * doy + 2) / 153;
    d = int(doy - (153 * mp + 2) / 5 + 1);
    m = int(mp < 10 ? mp + 3 : mp - 9);
    y = int(yoe + era * 400 + (m <= 2));
}

const long long kEpoch2000 = DaysFromCivil(2000, 1, 1);

long long ToSeconds(const RtcTime &t)
{
    return (DaysFromCivil(t.year, t.month, t.mday) - kEpoch2000) * 86400LL + t.hour * 3600LL + t.min * 60LL + t.sec;
}

} // namespace

std::string RtcTime::text() const
{
    char buf[40];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", year, month, mday, hour, min, sec);
    return buf;
}

Ds1339::Ds1339(const TimeBase &time, RtcTime start) : m_time(time), m_start(start)
{
    m_baseSeconds = ToSeconds(start);
    m_baseWday = start.wday;
    m_regs[0x0E] = 0x18; // oscillator on, square wave 32 kHz selected, alarms off
    m_regs[0x0F] = 0x00; // the time is valid
}

RtcTime Ds1339::timeAt(Clock at) const
{
    double now = m_stoppedAt >= 0 ? m_stoppedAt : m_time.seconds(at);
    long long s = m_baseSeconds + (long long)std::floor(now - m_baseAt + 1e-9);
    long long days = s / 86400, rest = s % 86400;
    long long baseDays = m_baseSeconds / 86400;
    RtcTime t;
    CivilFromDays(days + kEpoch2000, t.year, t.month, t.mday);
    t.hour = int(rest / 3600);
    t.min = int(rest / 60 % 60);
    t.sec = int(rest % 60);
    t.wday = int(((m_baseWday - 1 + (days - baseDays)) % 7 + 7) % 7) + 1;
    return t;
}

void Ds1339::latchTime(Clock at)
{
    RtcTime t = timeAt(at);
    m_buffer[0] = std::uint8_t(Bcd(t.sec));
    m_buffer[1] = std::uint8_t(Bcd(t.min));
    if (m_twelveHour) {
        int h = t.hour % 12 == 0 ? 12 : t.hour % 12;
        m_buffer[2] = std::uint8_t(0x40 | (t.hour >= 12 ? 0x20 : 0) | Bcd(h));
    } else {
        m_buffer[2] = std::uint8_t(Bcd(t.hour));
    }
    m_buffer[3] = std::uint8_t(t.wday);
    m_buffer[4] = std::uint8_t(Bcd(t.mday));
    m_buffer[5] = std::uint8_t(Bcd(t.month) | (t.year >= 2100 ? 0x80 : 0));
    m_buffer[6] = std::uint8_t(Bcd(t.year % 100));
}

void Ds1339::setFrom(const std::array<std::uint8_t, 7> &r, Clock at, bool resetChain)
{
    RtcTime t;
    t.sec = FromBcd(r[0] & 0x7F) % 60;
    t.min = FromBcd(r[1] & 0x7F) % 60;
    m_twelveHour = r[2] & 0x40;
    if (m_twelveHour)
        t.hour = FromBcd(r[2] & 0x1F) % 12 + ((r[2] & 0x20) ? 12 : 0);
    else
        t.hour = FromBcd(r[2] & 0x3F) % 24;
    t.wday = (r[3] & 7) ? (r[3] & 7) : 1;
    t.mday = FromBcd(r[4] & 0x3F);
    t.month = FromBcd(r[5] & 0x1F);
    t.year = 2000 + FromBcd(r[6]) + ((r[5] & 0x80) ? 100 : 0);
    if (t.month < 1 || t.month > 12)
        t.month = 1;
    if (t.mday < 1 || t.mday > 31)
        t.mday = 1;
    double now = m_time.seconds(at);
    // Writing the seconds restarts the countdown to the next second;
    // otherwise the second keeps its phase.
    if (resetChain || m_stoppedAt >= 0)
        m_baseAt = m_stoppedAt >= 0 ? m_stoppedAt : now;
    else
        m_baseAt += std::floor(now - m_baseAt + 1e-9);
    m_baseSeconds = ToSeconds(t);
    m_baseWday = t.wday;
    m_setTimes.push_back({at, t});
}

void Ds1339::start(Clock at)
{
    latchTime(at);
    m_expectPointer = true;
}

void Ds1339::stop(Clock at)
{
    if (m_timeWritten)
        setFrom(m_pending, at, m_secondsWritten);
    m_timeWritten = m_secondsWritten = false;
    m_expectPointer = false;
    latchTime(at);
}

bool Ds1339::written(std::uint8_t byte, Clock at)
{
    m_writes++;
    if (m_expectPointer) {
        m_pointer = byte > 0x10 ? 0 : byte;
        m_expectPointer = false;
        return true;
    }
    int r = m_pointer;
    if (r <= 6) {
        if (!m_timeWritten) {
            latchTime(at);
            m_pending = m_buffer;
        }
        m_pending[std::size_t(r)] = byte;
        m_timeWritten = true;
        m_secondsWritten = m_secondsWritten || r == 0;
    } else if (r == 0x0E) {
        bool stop = byte & 0x80;
        double now = m_time.seconds(at);
        if (stop && m_stoppedAt < 0) {
            m_stoppedAt = now;
            m_regs[0x0F] |= 0x80; // the oscillator stopped
        } else if (!stop && m_stoppedAt >= 0) {
            m_baseAt += now - m_stoppedAt;
            m_stoppedAt = -1;
        }
        m_regs[0x0E] = byte;
    } else if (r == 0x0F) {
        // OSF, A2F and A1F can only be cleared; the other bits read 0
        m_regs[0x0F] = std::uint8_t(m_regs[0x0F] & (byte | 0x7C) & 0x83);
    } else {
        m_regs[std::size_t(r)] = byte;
    }
    m_pointer = m_pointer >= 0x10 ? 0 : m_pointer + 1;
    return true;
}

std::uint8_t Ds1339::read(Clock at)
{
    m_reads++;
    int r = m_pointer;
    std::uint8_t v = r <= 6 ? m_buffer[std::size_t(r)] : m_regs[std::size_t(r)];
    m_pointer = m_pointer >= 0x10 ? 0 : m_pointer + 1;
    if (m_pointer == 0)
        latchTime(at);
    return v;
}

Json Ds1339::observations() const
{
    Json o = Json::object();
    o["device"] = "DS1339";
    o["address"] = address();
    o["startTime"] = m_start.text();
    if (m_ended)
        o["timeAtEnd"] = m_end.text();
    o["oscillatorRunning"] = m_stoppedAt < 0;
    o["oscillatorStopFlag"] = bool(m_regs[0x0F] & 0x80);
    o["bytesRead"] = m_reads;
    o["bytesWritten"] = m_writes;
    Json sets = Json::array();
    for (const auto &s : m_setTimes) {
        Json j = Json::object();
        j["atS"] = Rounded(m_time.seconds(s.at), 9);
        j["time"] = s.time.text();
        j["wday"] = s.time.wday;
        sets.push_back(std::move(j));
    }
    o["setTimeWrites"] = std::move(sets);
    return o;
}

} // namespace kivo::sim
