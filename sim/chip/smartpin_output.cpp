// Output smart modes: pulse/transition, NCO frequency and duty, PWM triangle,
// sawtooth and SMPS. Each keeps its state as of a reference clock and works out
// the next clock that matters (an output edge someone observes, or the event
// that raises IN while IN is low), so a free-running output costs nothing
// between those clocks.
#include "chip/smartpin.h"

#include <algorithm>
#include <limits>

namespace kivo::sim {

namespace {

constexpr std::uint64_t k2p32 = std::uint64_t(1) << 32;

std::uint64_t basePeriod(std::uint32_t x)
{
    std::uint32_t p = x & 0xFFFF;
    return p == 0 ? 65536 : p;
}
std::uint64_t frameCount(std::uint32_t x)
{
    std::uint32_t f = x >> 16;
    return f == 0 ? 65536 : f;
}
Clock ceilDiv(std::uint64_t a, std::uint64_t b) { return (a + b - 1) / b; }

// %00110 NCO frequency (output Z[31]) and %00111 NCO duty (output = carry).
class Nco : public SmartMode
{
public:
    explicit Nco(bool duty) : m_duty(duty) {}
    bool drivesOutput() const override { return true; }

    void reset(SmartPin &p, Clock at) override
    {
        p.z = m_duty ? 0 : p.z & 0xFFFF0000;
        m_carry = false;
        p.setOut(false, at);
    }
    void start(SmartPin &p, Clock at) override
    {
        m_t0 = at;
        m_carry = false;
        plan(p, at);
    }
    void wxpin(SmartPin &p, Clock at) override
    {
        p.z = (p.z & 0xFFFF) | (p.x & 0xFFFF0000);
        if (p.running) {
            output(p, at);
            plan(p, at);
        }
    }
    void wypin(SmartPin &p, Clock at) override
    {
        if (p.running)
            plan(p, at);
    }
    void sync(SmartPin &p, Clock at) override
    {
        catchUp(p, at, true);
        plan(p, at);
    }
    void acknowledged(SmartPin &p, Clock at) override
    {
        catchUp(p, at, false);
        plan(p, at);
    }
    void run(SmartPin &p, Clock at) override
    {
        catchUp(p, at, true);
        plan(p, at);
    }

    // The frequency mode's output up to half the add rate: bit 31 of Z.
    bool train(const SmartPin &p, PinTrain &t) const override
    {
        if (m_duty || !p.running || p.y == 0 || p.y > 0x80000000u)
            return false;
        t = {m_t0, basePeriod(p.x), p.z, p.y, false};
        return true;
    }

private:
    void output(SmartPin &p, Clock at) { p.setOut(m_duty ? m_carry : bool(p.z >> 31), at); }

    // Applies the adds up to `at`.
    void catchUp(SmartPin &p, Clock at, bool mayRaise)
    {
        std::uint64_t per = basePeriod(p.x);
        if (at < m_t0 + per)
            return;
        std::uint64_t k = (at - m_t0) / per;
        unsigned __int128 sum = (unsigned __int128)p.z + (unsigned __int128)k * p.y;
        bool overflow = sum >= k2p32;
        unsigned __int128 before = sum - p.y;
        m_carry = (sum >> 32) != (before >> 32);
        p.z = std::uint32_t(sum);
        m_t0 += k * per;
        if (overflow && mayRaise)
            p.raiseIn(at);
        output(p, at);
    }

    void plan(SmartPin &p, Clock)
    {
        std::uint64_t per = basePeriod(p.x);
        std::uint64_t y = p.y;
        if (y == 0) {
            p.schedule(kNever);
            return;
        }
        std::uint64_t cur = p.z;
        std::uint64_t steps = std::numeric_limits<std::uint64_t>::max();
        if (!p.in)
            steps = ceilDiv(k2p32 - cur, y);
        if (p.observed()) {
            std::uint64_t s;
            if (m_duty)
                s = m_carry ? 1 : ceilDiv(k2p32 - cur, y);
            else if (y >= (k2p32 >> 1))
                s = 1;
            else
                s = ceilDiv((cur >> 31 ? k2p32 : k2p32 >> 1) - cur, y);
            steps = std::min(steps, s);
        }
        if (steps == std::numeric_limits<std::uint64_t>::max())
            p.schedule(kNever);
        else
            p.schedule(m_t0 + steps * per);
    }

    bool m_duty;
    bool m_carry = false;
    Clock m_t0 = 0;
};

// %01000 triangle, %01001 sawtooth: Y captured at each cycle start, output
// high while the captured value is at least the counter.
class Pwm : public SmartMode
{
public:
    explicit Pwm(bool triangle) : m_triangle(triangle) {}
    bool drivesOutput() const override { return true; }

    void reset(SmartPin &p, Clock at) override
    {
        m_yc = p.y & 0xFFFF;
        p.setOut(false, at);
    }
    void wypin(SmartPin &p, Clock at) override
    {
        if (!p.running)
            m_yc = p.y & 0xFFFF;
        else
            sync(p, at);
    }
    void start(SmartPin &p, Clock at) override
    {
        m_t0 = at;
        update(p, at, true);
    }
    void sync(SmartPin &p, Clock at) override { update(p, at, true); }
    void wxpin(SmartPin &p, Clock at) override
    {
        if (p.running)
            update(p, at, true);
    }
    void acknowledged(SmartPin &p, Clock at) override { update(p, at, false); }
    void run(SmartPin &p, Clock at) override { update(p, at, true); }

private:
    void update(SmartPin &p, Clock at, bool mayRaise)
    {
        std::uint64_t per = basePeriod(p.x), frames = frameCount(p.x);
        std::uint64_t cycle = per * frames * (m_triangle ? 2 : 1);
        if (at >= m_t0 + cycle) {
            m_t0 += (at - m_t0) / cycle * cycle;
            m_yc = p.y & 0xFFFF;
            if (mayRaise)
                p.raiseIn(at);
        }
        // The high window within the cycle.
        std::uint64_t yc = std::min<std::uint64_t>(m_yc, frames);
        Clock hiFrom, hiTo;
        if (m_triangle) {
            hiFrom = m_t0 + (frames - yc) * per;
            hiTo = m_t0 + (frames + yc) * per;
        } else {
            hiFrom = m_t0;
            hiTo = m_t0 + yc * per;
        }
        p.setOut(at >= hiFrom && at < hiTo, at);
        Clock end = m_t0 + cycle;
        Clock next = p.in ? kNever : end;
        if (p.observed()) {
            if (at < hiFrom)
                next = std::min(next, hiFrom);
            else if (at < hiTo)
                next = std::min(next, hiTo);
            else
                next = std::min(next, end);
        }
        p.schedule(next);
    }

    bool m_triangle;
    Clock m_t0 = 0;
    std::uint32_t m_yc = 0;
};

// %01010 SMPS: a sawtooth frame, then waits for A low before the next one; B
// high cuts the output for the rest of the cycle.
class Smps : public SmartMode
{
public:
    bool drivesOutput() const override { return true; }
    bool usesInputs() const override { return true; }

    void reset(SmartPin &p, Clock at) override
    {
        m_yc = p.y & 0xFFFF;
        m_state = Off;
        p.setOut(false, at);
    }
    void start(SmartPin &p, Clock at) override { begin(p, at, false); }
    void inputChanged(SmartPin &p, Clock at) override
    {
        if (m_state == Frame && p.inputB()) {
            m_cut = true;
            p.setOut(false, at);
        } else if (m_state == Waiting && !p.inputA()) {
            // Sampled at the next base period.
            std::uint64_t per = basePeriod(p.x);
            Clock next = m_base + ceilDiv(at - m_base, per) * per;
            p.schedule(next == at ? at : next);
        }
    }
    void run(SmartPin &p, Clock at) override
    {
        std::uint64_t per = basePeriod(p.x), frames = frameCount(p.x);
        if (m_state == Frame) {
            Clock hiTo = m_t0 + std::min<std::uint64_t>(m_yc, frames) * per;
            Clock end = m_t0 + frames * per;
            if (at >= end) {
                m_state = Waiting;
                m_base = end;
                p.setOut(false, at);
                if (!p.inputA())
                    begin(p, at, true);
                return;
            }
            if (at >= hiTo)
                p.setOut(false, at);
            p.schedule(end);
            return;
        }
        if (m_state == Waiting && !p.inputA())
            begin(p, at, true);
    }

private:
    void begin(SmartPin &p, Clock at, bool raise)
    {
        std::uint64_t per = basePeriod(p.x), frames = frameCount(p.x);
        m_yc = p.y & 0xFFFF;
        if (raise)
            p.raiseIn(at);
        m_t0 = at;
        m_cut = p.inputB();
        m_state = Frame;
        std::uint64_t yc = std::min<std::uint64_t>(m_yc, frames);
        p.setOut(yc > 0 && !m_cut, at);
        p.schedule(yc > 0 && yc < frames ? at + yc * per : at + frames * per);
    }

    enum State { Off, Frame, Waiting } m_state = Off;
    Clock m_t0 = 0, m_base = 0;
    std::uint32_t m_yc = 0;
    bool m_cut = false;
};

// %00100 pulse/cycle and %00101 transition output, on a base period that runs
// freely from the release of reset.
class Pulse : public SmartMode
{
public:
    explicit Pulse(bool transition) : m_transition(transition) {}
    bool drivesOutput() const override { return true; }

    void reset(SmartPin &p, Clock at) override
    {
        p.y = 0;
        m_left = 0;
        m_level = false;
        p.setOut(false, at);
    }
    void start(SmartPin &p, Clock at) override
    {
        m_t0 = at;
        m_left = 0;
        m_level = false;
        p.setOut(false, at);
    }
    void wypin(SmartPin &p, Clock at) override
    {
        if (!p.running || p.y == 0)
            return;
        std::uint64_t per = basePeriod(p.x);
        if (m_left == 0) {
            // Starts at the next base period.
            m_begin = m_t0 + ((at - m_t0) / per + 1) * per;
            m_done = 0;
        } else {
            settle(p, at);
        }
        m_left = p.y;
        plan(p, at);
    }
    void sync(SmartPin &p, Clock at) override
    {
        settle(p, at);
        plan(p, at);
    }
    void acknowledged(SmartPin &p, Clock at) override { plan(p, at); }
    void run(SmartPin &p, Clock at) override
    {
        settle(p, at);
        plan(p, at);
    }

private:
    // Counts the cycles (or transitions) that have completed by `at`.
    void settle(SmartPin &p, Clock at)
    {
        if (m_left == 0 || at < m_begin)
            return;
        std::uint64_t per = basePeriod(p.x);
        if (m_transition) {
            std::uint64_t n = std::min<std::uint64_t>((at - m_begin) / per + 1, m_left);
            m_left -= n;
            m_begin += n * per;
            if (n & 1)
                m_level = !m_level;
            p.setOut(m_level, at);
        } else {
            std::uint64_t n = std::min<std::uint64_t>((at - m_begin) / per, m_left);
            m_left -= n;
            m_begin += n * per;
            std::uint64_t cmp = p.x >> 16;
            bool hi = m_left > 0 && (at - m_begin) < (per > cmp ? per - cmp : 0);
            p.setOut(hi, at);
        }
        p.y = std::uint32_t(m_left);
        p.z = p.y;
        if (m_left == 0)
            p.raiseIn(at);
    }

    void plan(SmartPin &p, Clock at)
    {
        if (m_left == 0) {
            p.schedule(kNever);
            return;
        }
        std::uint64_t per = basePeriod(p.x);
        if (m_transition) {
            // Each toggle if observed, else the last one.
            p.schedule(p.observed() ? std::max(m_begin, at) : m_begin + (m_left - 1) * per);
            return;
        }
        Clock end = m_begin + m_left * per;
        if (!p.observed()) {
            p.schedule(end);
            return;
        }
        std::uint64_t cmp = p.x >> 16;
        Clock fall = m_begin + (per > cmp ? per - cmp : 0);
        Clock next = at < m_begin ? m_begin : at < fall ? fall : m_begin + per;
        p.schedule(std::min(next, end));
    }

    bool m_transition;
    Clock m_t0 = 0, m_begin = 0;
    std::uint64_t m_left = 0, m_done = 0;
    bool m_level = false;
};

} // namespace

std::unique_ptr<SmartMode> makeOutputMode(std::uint32_t sssss)
{
    switch (sssss) {
    case 0x04:
        return std::make_unique<Pulse>(false);
    case 0x05:
        return std::make_unique<Pulse>(true);
    case 0x06:
        return std::make_unique<Nco>(false);
    case 0x07:
        return std::make_unique<Nco>(true);
    case 0x08:
        return std::make_unique<Pwm>(true);
    case 0x09:
        return std::make_unique<Pwm>(false);
    case 0x0A:
        return std::make_unique<Smps>();
    default:
        return nullptr;
    }
}

} // namespace kivo::sim
