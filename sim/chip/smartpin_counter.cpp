// Counting and timing smart modes (%01011..%10111). They follow the A and B
// inputs edge by edge and integrate the time each input spends high, so that
// nothing runs between edges; a periodic measurement wakes only to raise IN,
// and catches up on its period ends whenever it is read.
#include "chip/smartpin.h"

#include <algorithm>

namespace kivo::sim {

namespace {

constexpr std::uint64_t kLimit = 0x80000000u;
std::uint32_t limited(std::uint64_t v) { return std::uint32_t(std::min(v, kLimit)); }

// Inputs, edge detection and high-time integration shared by the modes.
class InputMode : public SmartMode
{
public:
    bool usesInputs() const override { return true; }

protected:
    void track(SmartPin &p, Clock at)
    {
        m_a = p.inputA();
        m_b = p.inputB();
        m_t = at;
        m_highA = m_highB = 0;
        m_highAf = 0;
        m_dens = p.analogA() ? p.densityA() : -1;
    }
    // Integrates the highs up to `at` with the present inputs.
    void integrate(Clock at)
    {
        if (at <= m_t)
            return;
        if (m_dens >= 0)
            m_highAf += m_dens * double(at - m_t);
        else if (m_a)
            m_highA += at - m_t;
        if (m_b)
            m_highB += at - m_t;
        m_t = at;
    }
    struct Edges {
        bool aRise, aFall, bRise, bFall;
        bool aEdge() const { return aRise || aFall; }
        bool bEdge() const { return bRise || bFall; }
    };
    // Reads the new inputs at `at` (after integrating the old ones).
    Edges step(SmartPin &p, Clock at)
    {
        integrate(at);
        bool a = p.inputA(), b = p.inputB();
        Edges e{a && !m_a, !a && m_a, b && !m_b, !b && m_b};
        m_a = a;
        m_b = b;
        return e;
    }

    // An A input from a pin in ADC mode counts the ones of its bitstream.
    void densityChanged(SmartPin &p, Clock at)
    {
        integrate(at);
        m_dens = p.analogA() ? p.densityA() : -1;
    }
    std::uint64_t highsA() const { return std::uint64_t(m_highAf) + m_highA; }

    bool m_a = false, m_b = false;
    Clock m_t = 0;
    std::uint64_t m_highA = 0, m_highB = 0;
    double m_dens = -1, m_highAf = 0;
};

// %01011..%01111: counts over a period of X clocks (X = 0: a running total).
class PeriodicCounter : public InputMode
{
public:
    explicit PeriodicCounter(std::uint32_t mode) : m_mode(mode) {}
    bool readsAnalog() const override { return m_mode == 0x0F; }
    void analogChanged(SmartPin &p, Clock at) override
    {
        settle(p, at, true);
        densityChanged(p, at);
        if (p.x == 0)
            p.z = std::uint32_t(total());
    }

    void reset(SmartPin &p, Clock) override { p.z = 0; }
    void start(SmartPin &p, Clock at) override
    {
        track(p, at);
        m_acc = 0;
        m_t0 = at;
        m_state = (m_a << 1 | m_b);
        p.z = 0;
        plan(p);
    }
    void inputChanged(SmartPin &p, Clock at) override
    {
        settle(p, at, true);
        Edges e = step(p, at);
        std::int64_t d = 0;
        switch (m_mode) {
        case 0x0B: {                                     // quadrature, four counts per cycle
            static constexpr int kPos[4] = {0, 3, 1, 2}; // A leading B counts up
            int next = (m_a << 1 | m_b);
            int diff = (kPos[next] - kPos[m_state] + 4) & 3;
            d = diff == 1 ? 1 : diff == 3 ? -1 : 0;
            m_state = next;
            break;
        }
        case 0x0C:
            d = e.aRise && m_b;
            break;
        case 0x0D:
            d = e.aRise ? (m_b ? 1 : -1) : 0;
            break;
        case 0x0E:
            d = std::int64_t(e.aRise) - std::int64_t((p.y & 1) && e.bRise);
            break;
        default:
            break;
        }
        m_acc += d;
        if (p.x == 0)
            p.z = std::uint32_t(total());
    }
    void sync(SmartPin &p, Clock at) override
    {
        settle(p, at, true);
        if (p.x == 0)
            p.z = std::uint32_t(total());
        plan(p);
    }
    void acknowledged(SmartPin &p, Clock at) override
    {
        settle(p, at, false);
        plan(p);
    }
    void run(SmartPin &p, Clock at) override { sync(p, at); }
    bool flag(const SmartPin &p) const override { return p.z >> 31; }

private:
    // Highs counted so far in this measurement (mode %01111), else the edges.
    std::int64_t total()
    {
        if (m_mode != 0x0F)
            return m_acc;
        return std::int64_t(highsA()) - ((m_yDown) ? std::int64_t(m_highB) : 0);
    }

    void settle(SmartPin &p, Clock at, bool mayRaise)
    {
        m_yDown = p.y & 1;
        if (p.x == 0) {
            integrate(at);
            return;
        }
        std::uint64_t x = p.x;
        if (at < m_t0 + x)
            return;
        std::uint64_t ends = (at - m_t0) / x;
        // The first end closes what was counted; any later ones saw steady inputs.
        integrate(m_t0 + x);
        p.z = std::uint32_t(total());
        m_acc = 0;
        m_highA = m_highB = 0;
        m_highAf -= double(std::uint64_t(m_highAf));
        m_t0 += x;
        if (ends > 1) {
            m_t0 += (ends - 1) * x;
            std::int64_t highs = m_dens >= 0 ? std::int64_t(m_dens * double(x)) : std::int64_t(m_a ? x : 0);
            std::int64_t steady = m_mode == 0x0F ? highs - (m_yDown && m_b ? std::int64_t(x) : 0) : 0;
            p.z = std::uint32_t(steady);
            m_t = m_t0;
        }
        integrate(at);
        if (mayRaise)
            p.raiseIn(at);
    }

    void plan(SmartPin &p) { p.schedule(p.x == 0 || p.in ? kNever : m_t0 + p.x); }

    std::uint32_t m_mode;
    std::int64_t m_acc = 0;
    Clock m_t0 = 0;
    int m_state = 0;
    bool m_yDown = false;
};

// %10000 time A states, %10001 time A highs.
class StateTimer : public InputMode
{
public:
    explicit StateTimer(bool highsOnly) : m_highsOnly(highsOnly) {}
    bool flag(const SmartPin &) const override { return m_c; }

    void reset(SmartPin &p, Clock) override { p.z = 1; }
    void start(SmartPin &p, Clock at) override
    {
        track(p, at);
        m_since = at;
    }
    void inputChanged(SmartPin &p, Clock at) override
    {
        bool was = m_a;
        Edges e = step(p, at);
        if (!e.aEdge())
            return;
        if (!m_highsOnly || (was && e.aFall)) {
            p.z = limited(at - m_since);
            m_c = was;
            p.raiseIn(at);
        }
        m_since = at;
    }

private:
    bool m_highsOnly;
    bool m_c = false;
    Clock m_since = 0;
};

// %10010: time X A highs/rises/edges, or (Y[2]) time out when none come in X clocks.
class EventTimer : public InputMode
{
public:
    void reset(SmartPin &p, Clock) override { p.z = 1; }
    void start(SmartPin &p, Clock at) override
    {
        track(p, at);
        m_begin = m_last = at;
        m_count = 0;
        plan(p, at);
    }
    void inputChanged(SmartPin &p, Clock at) override
    {
        settle(p, at, true);
        Edges e = step(p, at);
        unsigned sens = p.y & 3;
        bool hit = sens == 1 ? e.aRise : sens >= 2 ? e.aEdge() : false;
        if (p.y & 4) {
            if (hit || (sens == 0 && m_a))
                m_last = at;
        } else if (hit) {
            count(p, at, 1);
        } else if (sens == 0) {
            m_highMark = at; // highs are counted per clock from here
        }
        plan(p, at);
    }
    void sync(SmartPin &p, Clock at) override
    {
        settle(p, at, true);
        if (p.y & 4) {
            Clock last = ((p.y & 3) == 0 && m_a) ? at : m_last;
            p.z = limited(at - last + 1);
        }
        plan(p, at);
    }
    void acknowledged(SmartPin &p, Clock at) override { plan(p, at); }
    void run(SmartPin &p, Clock at) override { sync(p, at); }

private:
    std::uint64_t target(const SmartPin &p) const { return p.x == 0 ? 1 : p.x; }

    void count(SmartPin &p, Clock at, std::uint64_t n)
    {
        m_count += n;
        if (m_count >= target(p)) {
            p.z = limited(at - m_begin);
            p.raiseIn(at);
            m_begin = at;
            m_count = 0;
        }
    }

    void settle(SmartPin &p, Clock at, bool mayRaise)
    {
        if (p.y & 4) {
            // Timeouts since the last event, one every X clocks.
            Clock last = ((p.y & 3) == 0 && m_a) ? at : m_last;
            std::uint64_t x = target(p);
            if (at >= last + x && at >= m_timeoutFrom + x) {
                m_timeoutFrom = last + (at - last) / x * x;
                if (mayRaise)
                    p.raiseIn(at);
            }
            return;
        }
        if ((p.y & 3) == 0 && m_a) {
            // Highs: each clock of A high counts one.
            Clock from = std::max(m_highMark, m_t);
            while (at > from) {
                std::uint64_t need = target(p) - m_count;
                std::uint64_t have = at - from;
                if (have < need) {
                    m_count += have;
                    break;
                }
                from += need;
                m_count = target(p) - 1;
                count(p, from, 1);
            }
            m_highMark = at;
        }
    }

    void plan(SmartPin &p, Clock at)
    {
        if (p.y & 4) {
            Clock last = ((p.y & 3) == 0 && m_a) ? kNever : std::max(m_last, m_timeoutFrom);
            p.schedule(last == kNever ? kNever : last + target(p));
            return;
        }
        if ((p.y & 3) == 0 && m_a)
            p.schedule(std::max(m_highMark, at) + (target(p) - m_count));
        else
            p.schedule(kNever);
    }

    Clock m_begin = 0, m_last = 0, m_highMark = 0, m_timeoutFrom = 0;
    std::uint64_t m_count = 0;
};

// %10011..%10111: A-trigger to B-trigger periods, for X periods or X+ clocks.
class PeriodTimer : public InputMode
{
public:
    explicit PeriodTimer(std::uint32_t mode) : m_mode(mode) {}

    void reset(SmartPin &p, Clock) override { p.z = 0; }
    void start(SmartPin &p, Clock at) override
    {
        track(p, at);
        m_open = false;
        m_acc = 0;
        m_periods = 0;
        m_measuring = false;
    }
    void inputChanged(SmartPin &p, Clock at) override
    {
        Edges e = step(p, at);
        bool aTrig = (p.y & 2) ? e.aEdge() : e.aRise;
        bool bTrig = (p.y & 1) ? e.bEdge() : e.bRise;
        if (m_open && bTrig) {
            // A period ends.
            bool states = m_mode == 0x14 || m_mode == 0x16;
            m_acc += states ? m_highA - m_startHigh : at - m_start;
            ++m_periods;
            m_open = false;
            bool done = m_mode <= 0x14 ? m_periods >= std::max<std::uint64_t>(p.x, 1) : at - m_begin >= p.x;
            if (done) {
                p.z = limited(m_mode == 0x17 ? m_periods : m_acc);
                p.raiseIn(at);
                m_acc = 0;
                m_periods = 0;
                m_measuring = false;
            }
        }
        if (aTrig && !m_open) {
            m_open = true;
            m_start = at;
            m_startHigh = m_highA;
            if (!m_measuring) {
                m_measuring = true;
                m_begin = at;
            }
        }
    }

private:
    std::uint32_t m_mode;
    bool m_open = false, m_measuring = false;
    Clock m_start = 0, m_begin = 0;
    std::uint64_t m_startHigh = 0, m_acc = 0, m_periods = 0;
};

} // namespace

std::unique_ptr<SmartMode> makeCounterMode(std::uint32_t sssss)
{
    if (sssss >= 0x0B && sssss <= 0x0F)
        return std::make_unique<PeriodicCounter>(sssss);
    switch (sssss) {
    case 0x10:
        return std::make_unique<StateTimer>(false);
    case 0x11:
        return std::make_unique<StateTimer>(true);
    case 0x12:
        return std::make_unique<EventTimer>();
    default:
        return std::make_unique<PeriodTimer>(sssss);
    }
}

} // namespace kivo::sim
