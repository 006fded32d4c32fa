// Serial smart modes: asynchronous transmit/receive at a programmed bit period,
// synchronous transmit/receive clocked by the B input.
#include "chip/smartpin.h"

namespace kivo::sim
{

namespace
{

int wordBits(std::uint32_t x)
{
    return int(x & 31) + 1;
}

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
        if (m_state != Bits)
            return;
        m_shift = (m_shift >> 1) | (std::uint32_t(a) << 31);
        if (++m_got < m_bits) {
            p.schedule(sample(m_got + 1));
            return;
        }
        p.z = m_shift;
        p.raiseIn(at);
        m_state = a ? WaitLow : WaitHigh;
    }

  private:
    // Half a bit after the start edge, then a bit period each.
    Clock sample(int k) const
    {
        Clock c = m_fall + (m_period64 / 2 + Clock(k) * m_period64) / 64;
        return c > m_fall ? c : m_fall + 1;
    }

    enum State { Off, WaitHigh, WaitLow, Check, Bits } m_state = Off;
    Clock m_fall = 0;
    std::uint64_t m_period64 = 64;
    int m_bits = 8, m_got = 0;
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
    default:
        return nullptr;
    }
}

} // namespace kivo::sim
