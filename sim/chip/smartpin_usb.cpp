// The USB smart mode (%11011) on an even/odd pin pair (DM even, DP odd), and
// the line receiver and transmitter it is built from.
//
// The even pin's object holds the pair: WXPIN there sets host/device (X[15]),
// full/low speed (X[14]) and the baud as X[13:0]/65536 of the clock; WYPIN
// there writes the output buffer; RDPIN there reads the receiver status (C =
// the error bit); its IN rises on every status change. The odd pin's IN rises
// each time the output buffer has room again; a WYPIN or AKPIN on it lowers it.
#include "chip/smartpin_usb.h"

#include "chip/smartpin.h"

#include <algorithm>
#include <array>

namespace kivo::sim {

UsbLine usbLineOf(bool dm, bool dp, bool fullSpeed)
{
    if (dm == dp)
        return dm ? UsbLine::SE1 : UsbLine::SE0;
    return (dp == fullSpeed) ? UsbLine::J : UsbLine::K;
}

std::uint64_t usbPeriodFx(double clockHz, double bitsPerSecond)
{
    double p = clockHz / bitsPerSecond * 65536.0;
    return p < 65536.0 ? 65536 : std::uint64_t(p + 0.5);
}

std::uint64_t usbPeriodFromNco(std::uint32_t x)
{
    std::uint32_t inc = x & 0x3FFF;
    if (inc == 0)
        return 0; // the baud generator stands still
    return (std::uint64_t(1) << 32) / inc;
}

// ---------------------------------------------------------------------------
// Receiver

void UsbLineReceiver::line(bool dm, bool dp, Clock at)
{
    UsbLine s = usbLineOf(dm, dp, m_fullSpeed);
    advance(at);
    if (s == m_state)
        return;
    UsbLine old = m_state;
    bool sampledSe0 = old == UsbLine::SE0 && m_se0 > 0;
    m_state = s;
    m_origin = at;
    m_taken = 0;
    if (sampledSe0 && (s == UsbLine::J || s == UsbLine::K))
        endOfPacket(at);
}

std::uint64_t UsbLineReceiver::bitsSince(Clock at) const
{
    if (at <= m_origin)
        return 0;
    return (std::uint64_t(at - m_origin) << 16) / m_period;
}

void UsbLineReceiver::advance(Clock to)
{
    // Sample k lies at origin + (k + 1/2) periods.
    auto sampleAt = [&](std::uint64_t k) { return m_origin + Clock(((2 * k + 1) * m_period) >> 17); };
    while (sampleAt(m_taken) < to) {
        bool quiet = !m_inPacket && m_taken >= 8 && (m_state == UsbLine::J || m_state == UsbLine::K);
        if (quiet) {
            // Nothing changes on a resting line: skip to the last sample before `to`.
            std::uint64_t last = (((std::uint64_t(to - m_origin) << 17) - 1) / m_period - 1) / 2;
            m_taken = std::max<std::uint64_t>(m_taken + 1, last + 1);
            continue;
        }
        if (m_state == UsbLine::SE0 && m_se0 > 8 && !m_inPacket) {
            std::uint64_t last = (((std::uint64_t(to - m_origin) << 17) - 1) / m_period - 1) / 2;
            std::uint64_t n = std::max<std::uint64_t>(m_taken + 1, last + 1);
            m_se0 = int(std::min<std::uint64_t>(1u << 30, std::uint64_t(m_se0) + (n - m_taken)));
            m_taken = n;
            continue;
        }
        ++m_taken;
        sample(m_state);
    }
}

void UsbLineReceiver::sample(UsbLine s)
{
    using namespace usbstatus;
    if (s == UsbLine::SE0) {
        if (m_se0 < (1 << 30))
            ++m_se0;
        if (m_inPacket && m_se0 > 2) {
            m_flags |= kError; // an EOP's SE0 lasts two bit periods
            m_packetError = true;
        }
        return;
    }
    if (s == UsbLine::SE1) {
        m_flags |= kError;
        m_packetError = true;
        m_se0 = 0;
        return;
    }
    m_se0 = 0;
    if (m_taken == 8) { // more than the 7 bit periods a stuffed packet can hold still
        m_flags &= ~(kSop | kEop);
        if (m_inPacket) { // a packet that never ended
            m_inPacket = false;
            m_flags |= kError;
        }
    }
    int bit = s == m_prev ? 1 : 0;
    m_prev = s;
    if (!m_inPacket) {
        // SYNC: KJKJKJKK decodes to 0000000 1 after the idle J.
        if (bit == 0) {
            ++m_zeros;
        } else {
            if (m_zeros >= 5 && m_taken < 7) {
                m_inPacket = true;
                m_packetError = false;
                m_flags = (m_flags | kSop) & ~(kEop | kError | kToggle);
                m_ones = 1;
                m_bits = 0;
                m_byte = 0;
                m_bytes.clear();
            }
            m_zeros = 0;
        }
        return;
    }
    if (m_ones == 6) { // a stuffed zero follows six ones
        m_ones = 0;
        if (bit == 1) {
            m_flags |= kError;
            m_packetError = true;
        }
        return;
    }
    m_ones = bit ? m_ones + 1 : 0;
    m_byte |= std::uint32_t(bit) << m_bits;
    if (++m_bits == 8) {
        m_flags = ((m_flags & 0xFF) ^ kToggle) | (m_byte << 8);
        m_bytes.push_back(std::uint8_t(m_byte));
        m_byte = 0;
        m_bits = 0;
    }
}

void UsbLineReceiver::endOfPacket(Clock at)
{
    using namespace usbstatus;
    m_flags = (m_flags | kEop) & ~kSop;
    m_se0 = 0;
    m_zeros = 0;
    m_ones = 0;
    m_prev = UsbLine::J;
    if (!m_inPacket)
        return; // a keep-alive, or the end of a reset
    m_inPacket = false;
    bool ok = !m_packetError && m_bits <= 1; // a dribble bit before the EOP is allowed
    if (onPacket) {
        std::vector<std::uint8_t> bytes;
        bytes.swap(m_bytes);
        onPacket(bytes, ok, at);
    }
}

std::uint32_t UsbLineReceiver::status(Clock at)
{
    using namespace usbstatus;
    advance(at);
    std::uint32_t s = m_flags;
    switch (m_state) {
    case UsbLine::SE0:
        s |= kSe0;
        break;
    case UsbLine::J:
        s |= kJ;
        break;
    case UsbLine::K:
        s |= kK;
        break;
    case UsbLine::SE1:
        break;
    }
    if (bitsSince(at) >= 7)
        s |= kSteady;
    return s;
}

Clock UsbLineReceiver::nextChange() const
{
    // The steady bit (and the 7-bit clearing of SOP/EOP) after the last change.
    return m_origin + Clock((7 * m_period + 65535) >> 16);
}

// ---------------------------------------------------------------------------
// Transmitter

void UsbLineTransmitter::setPeriod(std::uint64_t periodFx, Clock origin)
{
    m_period = periodFx ? periodFx : 0;
    m_origin = origin;
    m_next = (m_period && busy()) ? tickAfter(origin) : kNever;
}

Clock UsbLineTransmitter::tickAfter(Clock at) const
{
    if (!m_period)
        return kNever;
    std::uint64_t k = at <= m_origin ? 1 : ((std::uint64_t(at - m_origin) << 16) / m_period + 1);
    for (;;) {
        Clock t = m_origin + Clock((k * m_period + 65535) >> 16);
        if (t > at)
            return t;
        ++k;
    }
}

void UsbLineTransmitter::write(std::uint32_t value, Clock at)
{
    if (!room())
        m_pending.pop_back(); // the holding register is overwritten
    m_pending.push_back(value);
    if (m_next == kNever)
        m_next = tickAfter(at);
}

void UsbLineTransmitter::clear()
{
    m_pending.clear();
    m_symbols.clear();
    m_inPacket = false;
    m_ones = 0;
    m_out = Out::Idle;
    m_next = kNever;
}

void UsbLineTransmitter::encodeBit(int bit)
{
    if (bit == 0) {
        m_level = !m_level;
        m_ones = 0;
    } else {
        ++m_ones;
    }
    m_symbols.push_back(m_level ? Out::J : Out::K);
    if (m_ones == 6) {
        m_level = !m_level;
        m_symbols.push_back(m_level ? Out::J : Out::K);
        m_ones = 0;
    }
}

void UsbLineTransmitter::refill(Clock at)
{
    if (m_inPacket) {
        if (m_pending.empty()) {
            m_symbols = {Out::SE0, Out::SE0, Out::J, Out::Idle};
            m_inPacket = false;
            return;
        }
        std::uint32_t v = m_pending.front();
        m_pending.pop_front();
        if (onRoom)
            onRoom(at);
        for (int i = 0; i < 8; ++i)
            encodeBit(int(v >> i & 1));
        return;
    }
    if (m_pending.empty())
        return;
    std::uint32_t v = m_pending.front();
    m_pending.pop_front();
    if (onRoom)
        onRoom(at);
    switch (v) {
    case 0:
        m_symbols = {Out::Idle};
        break;
    case 1:
        m_symbols = {Out::SE0};
        break;
    case 2:
        m_symbols = {Out::K};
        break;
    case 3:
        m_symbols = {Out::J};
        break;
    case 4:
        m_symbols = {Out::SE0, Out::SE0, Out::J, Out::Idle};
        break;
    case 0x80:
        m_inPacket = true;
        m_level = true; // from the idle J
        m_ones = 0;
        for (int i = 0; i < 8; ++i)
            encodeBit(i == 7 ? 1 : 0);
        break;
    default:
        break; // not a line command
    }
}

void UsbLineTransmitter::run(Clock at)
{
    if (m_symbols.empty())
        refill(at);
    if (!m_symbols.empty()) {
        Out o = m_symbols.front();
        m_symbols.pop_front();
        if (o != m_out) {
            m_out = o;
            if (onOutput)
                onOutput(o, at);
        }
    }
    m_next = busy() ? tickAfter(at) : kNever;
}

// ---------------------------------------------------------------------------
// The smart-pin mode

namespace {

constexpr int kFast = 0, k1k5 = 1, k15k = 2, kFloat = 7;

// One object per pin of the pair. The even pin's object holds the pair's
// state; the odd pin's object only takes its drive from it.
class UsbMode : public SmartMode
{
public:
    void start(SmartPin &p, Clock at) override
    {
        if (p.index & 1)
            return;
        m_running = true;
        m_tx.clear();
        configure(p, at);
        m_tx.onOutput = [this, &p](UsbLineTransmitter::Out o, Clock t) { apply(p, o, t); };
        m_tx.onRoom = [&p](Clock t) {
            if (SmartPin *up = upper(p))
                up->raiseIn(t);
        };
        apply(p, UsbLineTransmitter::Out::Idle, at);
        if (SmartPin *up = upper(p))
            up->raiseIn(at); // the buffer is empty
        m_rx.line(p.level(p.index), p.level(p.index | 1), at);
        m_status = m_rx.status(at);
        reschedule(p, at);
    }

    void reset(SmartPin &p, Clock at) override
    {
        if (p.index & 1)
            return;
        m_running = false;
        m_tx.clear();
        m_str = {kFloat, kFloat};
        p.setOut(false, at);
        p.redrive(at);
        if (SmartPin *up = upper(p)) {
            up->setOut(false, at);
            up->redrive(at);
        }
        p.schedule(kNever);
    }

    void wxpin(SmartPin &p, Clock at) override
    {
        if (!m_running)
            return;
        configure(p, at);
        apply(p, m_tx.output(), at);
        m_rx.line(p.level(p.index), p.level(p.index | 1), at);
        noteStatus(p, at);
        reschedule(p, at);
    }

    void wypin(SmartPin &p, Clock at) override
    {
        if (!m_running)
            return;
        m_tx.write(p.y & 0xFF, at);
        reschedule(p, at);
    }

    void sync(SmartPin &p, Clock at) override
    {
        if (!m_running)
            return;
        m_rx.advance(at);
        noteStatus(p, at);
    }

    bool flag(const SmartPin &p) const override { return p.z >> 6 & 1; }

    void run(SmartPin &p, Clock at) override
    {
        if (!m_running)
            return;
        if (m_tx.nextTick() <= at)
            m_tx.run(at);
        noteStatus(p, at);
        reschedule(p, at);
    }

    void inputChanged(SmartPin &p, Clock at) override
    {
        if (!m_running)
            return;
        m_rx.line(p.level(p.index), p.level(p.index | 1), at);
        noteStatus(p, at);
        reschedule(p, at);
    }

    bool usesInputs() const override { return true; }
    std::uint64_t watches(const SmartPin &p) const override
    {
        return (p.index & 1) ? 0 : std::uint64_t(3) << (p.index & 62);
    }
    bool drivesOutput() const override { return true; }
    int driveStrength(const SmartPin &p, bool) const override
    {
        if (!(p.index & 1))
            return m_str[0];
        auto *pair = dynamic_cast<const UsbMode *>(p.pin(p.index & 62).impl.get());
        return pair ? pair->m_str[1] : kFloat;
    }

private:
    static SmartPin *upper(SmartPin &p)
    {
        SmartPin &u = p.pin(p.index | 1);
        return dynamic_cast<UsbMode *>(u.impl.get()) ? &u : nullptr;
    }

    void configure(SmartPin &p, Clock at)
    {
        m_host = p.x >> 15 & 1;
        m_fullSpeed = p.x >> 14 & 1;
        std::uint64_t period = usbPeriodFromNco(p.x);
        m_rx.setFullSpeed(m_fullSpeed);
        m_rx.setPeriod(period ? period : (std::uint64_t(1) << 32));
        m_tx.setPeriod(period, at);
    }

    // Drives the two wires for a transmitter output.
    void apply(SmartPin &p, UsbLineTransmitter::Out o, Clock at)
    {
        using Out = UsbLineTransmitter::Out;
        bool dm = false, dp = false;
        switch (o) {
        case Out::Idle:
            if (m_host) {
                m_str = {k15k, k15k}; // both pulled down
            } else if (m_fullSpeed) {
                m_str = {kFloat, k1k5}; // D+ pulled up
                dp = true;
            } else {
                m_str = {k1k5, kFloat}; // D- pulled up
                dm = true;
            }
            break;
        case Out::SE0:
            m_str = {kFast, kFast};
            break;
        case Out::J:
        case Out::K:
            dp = (o == Out::J) == m_fullSpeed;
            dm = !dp;
            m_str = {kFast, kFast};
            break;
        }
        p.setOut(dm, at);
        p.redrive(at);
        if (SmartPin *up = upper(p)) {
            up->setOut(dp, at);
            up->redrive(at);
        }
    }

    void noteStatus(SmartPin &p, Clock at)
    {
        std::uint32_t s = m_rx.status(at);
        p.z = s;
        if (s != m_status) {
            m_status = s;
            p.raiseIn(at);
        }
    }

    void reschedule(SmartPin &p, Clock at)
    {
        Clock next = m_tx.nextTick();
        Clock steady = m_rx.nextChange();
        if (steady > at)
            next = std::min(next, steady);
        p.schedule(next);
    }

    bool m_running = false;
    bool m_host = false, m_fullSpeed = false;
    UsbLineReceiver m_rx;
    UsbLineTransmitter m_tx;
    std::array<int, 2> m_str{kFloat, kFloat};
    std::uint32_t m_status = 0;
};

} // namespace

std::unique_ptr<SmartMode> makeUsbSmartMode() { return std::make_unique<UsbMode>(); }

} // namespace kivo::sim
