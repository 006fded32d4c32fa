// Serial smart modes: asynchronous transmit/receive at a programmed bit period,
// synchronous transmit/receive clocked by the B input.
#include "chip/smartpin.h"

namespace kivo::sim {

namespace {

int wordBits(std::uint32_t x) { return int(x & 31) + 1; }

// %11110: a one-word buffer in front of a shifter; start bit, data LSB first, stop bit.
class AsyncTx : public SmartMode
{
public:
    bool drivesOutput() const override { return true; }
    bool flag(const SmartPin &) const override { return m_busy; }

    void reset(SmartPin &p, Clock at) override
    {
        m_full = m_busy = false;
        m_state = Idle;
        p.setOut(true, at); // held high in reset
    }
    void start(SmartPin &p, Clock at) override
    {
        m_full = m_busy = false;
        m_state = Idle;
        p.setOut(true, at);
    }
    void wypin(SmartPin &p, Clock at) override
    {
        if (!p.running)
            return;
        m_buffer = p.y;
        m_full = m_busy = true;
        if (m_state == Idle) {
            m_state = Loading;
            p.schedule(at + 1);
        }
    }
    void run(SmartPin &p, Clock at) override
    {
        if (m_state == Loading) {
            load(p, at);
            return;
        }
        ++m_slot;
        if (m_slot <= m_bits) {
            p.setOut(m_shift >> (m_slot - 1) & 1, at);
        } else if (m_slot == m_bits + 1) {
            p.setOut(true, at); // stop bit
        } else {
            if (m_full) {
                load(p, at);
                return;
            }
            m_busy = false;
            m_state = Idle;
            return;
        }
        p.schedule(boundary(m_slot + 1));
    }

private:
    void load(SmartPin &p, Clock at)
    {
        m_shift = m_buffer;
        m_full = false;
        m_bits = wordBits(p.x);
        m_period64 = serialPeriod64(p.x);
        m_start = at;
        m_slot = 0;
        m_state = Sending;
        p.raiseIn(at);
        p.setOut(false, at); // start bit
        std::uint32_t mask = m_bits == 32 ? ~0u : (1u << m_bits) - 1;
        smartPinTransmitted(p, m_shift & mask, m_bits, at);
        p.schedule(boundary(1));
    }
    Clock boundary(int slot) const
    {
        Clock c = m_start + Clock(slot) * m_period64 / 64;
        return c > m_start ? c : m_start + Clock(slot);
    }

    enum State { Idle, Loading, Sending } m_state = Idle;
    bool m_full = false, m_busy = false;
    std::uint32_t m_buffer = 0, m_shift = 0;
    int m_bits = 8, m_slot = 0;
    Clock m_start = 0;
    std::uint64_t m_period64 = 64;
};

// %11111: waits for idle, then a start edge; checks it at half a bit; samples
// each data bit in its middle; the word lands MSB-justified in Z.
class AsyncRx : public SmartMode
{
public:
    bool usesInputs() const override { return true; }

    void reset(SmartPin &, Clock) override { m_state = Off; }
    void start(SmartPin &p, Clock) override { m_state = p.inputA() ? WaitLow : WaitHigh; }
    void inputChanged(SmartPin &p, Clock at) override
    {
        bool a = p.inputA();
        if (m_state == WaitHigh && a) {
            m_state = WaitLow;
        } else if (m_state == WaitLow && !a) {
            m_fall = at;
            m_period64 = serialPeriod64(p.x);
            m_bits = wordBits(p.x);
            m_state = Check;
            p.schedule(sample(0));
        }
    }
    void run(SmartPin &p, Clock at) override
    {
        bool a = p.inputA();
        if (m_state == Check) {
            if (a) { // a glitch, not a start bit
                m_state = WaitLow;
                return;
            }
            m_state = Bits;
            m_got = 0;
            p.schedule(sample(1));
            return;
        }
        if (m_state == Capture) {
            // A bit period after the last data bit (mid stop bit), as the documented sequence goes.
            p.z = m_shift;
            p.raiseIn(at);
            m_state = a ? WaitLow : WaitHigh;
            return;
        }
        if (m_state != Bits)
            return;
        m_shift = (m_shift >> 1) | (std::uint32_t(a) << 31);
        if (++m_got >= m_bits)
            m_state = Capture;
        p.schedule(sample(m_got + 1));
    }

private:
    // Half a bit after the start edge, then a bit period each.
    Clock sample(int k) const
    {
        Clock c = m_fall + (m_period64 / 2 + Clock(k) * m_period64) / 64;
        return c > m_fall ? c : m_fall + 1;
    }

    enum State { Off, WaitHigh, WaitLow, Check, Bits, Capture } m_state = Off;
    Clock m_fall = 0;
    std::uint64_t m_period64 = 64;
    int m_bits = 8, m_got = 0;
    std::uint32_t m_shift = 0;
};

// %11100: words shifted out LSB first, each new bit two clocks after a B rise.
class SyncTx : public SmartMode
{
public:
    bool drivesOutput() const override { return true; }
    bool usesInputs() const override { return true; }

    void reset(SmartPin &p, Clock at) override
    {
        m_loaded = m_full = false;
        m_bit = 0;
        m_pending = 0;
        p.setOut(false, at);
    }
    void start(SmartPin &p, Clock at) override
    {
        m_lastB = p.inputB();
        m_bit = 0;
        p.setOut(m_loaded && (m_shift & 1), at);
    }
    void wypin(SmartPin &p, Clock at) override
    {
        bool startStop = p.x >> 5 & 1;
        if (!p.running) { // during reset the word flows into the shifter
            m_shift = p.y;
            m_loaded = true;
            return;
        }
        if (startStop && (!m_loaded || m_bit == 0) && m_pending == 0) {
            m_shift = p.y;
            m_loaded = true;
            m_bit = 0;
            p.raiseIn(at);
            p.setOut(m_shift & 1, at);
            return;
        }
        m_buffer = p.y;
        m_full = true;
    }
    void inputChanged(SmartPin &p, Clock at) override
    {
        bool b = p.inputB();
        if (b && !m_lastB) {
            if (m_pending) // a rise before the last one's bit came out: shift that one now
                shift(p, at);
            ++m_pending;
            p.schedule(at + 2);
        }
        m_lastB = b;
    }
    void run(SmartPin &p, Clock at) override
    {
        if (m_pending)
            shift(p, at);
    }

private:
    void shift(SmartPin &p, Clock at)
    {
        --m_pending;
        int bits = wordBits(p.x);
        bool startStop = p.x >> 5 & 1;
        if (++m_bit >= bits) {
            m_bit = 0;
            if (m_full) {
                m_shift = m_buffer;
                m_full = false;
                m_loaded = true;
                p.raiseIn(at);
            } else if (startStop) {
                m_loaded = false; // idle: the next WYPIN goes straight in
            } else {
                m_shift = 0;
            }
            p.setOut(m_loaded && (m_shift & 1), at);
            return;
        }
        p.setOut(m_shift >> m_bit & 1, at);
    }

    std::uint32_t m_shift = 0, m_buffer = 0;
    bool m_loaded = false, m_full = false, m_lastB = false;
    int m_bit = 0, m_pending = 0;
};

// %11101: A sampled at each B rise (just before it, or with X[5] coincident);
// words land MSB-justified in Z.
class SyncRx : public SmartMode
{
public:
    bool usesInputs() const override { return true; }

    void reset(SmartPin &, Clock) override { m_got = 0; }
    void start(SmartPin &p, Clock at) override
    {
        m_a = m_aBefore = p.inputA();
        m_aAt = at;
        m_lastB = p.inputB();
        m_got = 0;
    }
    void inputChanged(SmartPin &p, Clock at) override
    {
        bool a = p.inputA(), b = p.inputB();
        if (a != m_a) {
            m_aBefore = m_a;
            m_a = a;
            m_aAt = at;
        }
        if (b && !m_lastB) {
            bool coincident = p.x >> 5 & 1;
            bool bit = coincident ? m_a : (m_aAt == at ? m_aBefore : m_a);
            m_shift = (m_shift >> 1) | (std::uint32_t(bit) << 31);
            if (++m_got >= wordBits(p.x)) {
                m_got = 0;
                p.z = m_shift;
                p.raiseIn(at);
            }
        }
        m_lastB = b;
    }

private:
    bool m_a = false, m_aBefore = false, m_lastB = false;
    Clock m_aAt = 0;
    int m_got = 0;
    std::uint32_t m_shift = 0;
};

} // namespace

std::unique_ptr<SmartMode> makeSerialMode(std::uint32_t sssss)
{
    switch (sssss) {
    case 0x1E:
        return std::make_unique<AsyncTx>();
    case 0x1F:
        return std::make_unique<AsyncRx>();
    case 0x1C:
        return std::make_unique<SyncTx>();
    case 0x1D:
        return std::make_unique<SyncRx>();
    default:
        return nullptr;
    }
}

} // namespace kivo::sim
