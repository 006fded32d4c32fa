#include "chip/fifo.h"

#include "chip/hub.h"

#include <algorithm>

namespace kivo::sim {

namespace {

constexpr std::uint32_t kMapBytes = 0x100000; // block count 0: the whole map before a wrap
constexpr int kFirstData = 10;                // RDFAST to its first data, before the slot wait
constexpr int kWriteDrain = 8;                // a written long reaches its slice within 8 clocks

std::uint32_t blockBytes(std::uint32_t blocks) { return blocks ? blocks * 64 : kMapBytes; }

} // namespace

void Fifo::start(Mode mode, std::uint32_t d, std::uint32_t s)
{
    m_mode = mode;
    m_addr = s & kHubAddressMask;
    m_reloadAddr = m_addr;
    m_reloadBlocks = d & 0x3FFF;
    m_left = blockBytes(m_reloadBlocks);
}

Clock Fifo::rdfast(std::uint32_t d, std::uint32_t s, Clock now)
{
    sync(now);
    const Clock begin = std::max(now, m_writesDone);
    m_readyAt = begin + kFirstData + Clock(Hub::slotWait(m_cog, s, begin));
    start(Mode::Read, d, s);
    return (d >> 31) ? now + 2 : m_readyAt;
}

Clock Fifo::wrfast(std::uint32_t d, std::uint32_t s, Clock now)
{
    sync(now);
    const Clock done = (!(d >> 31) && m_writesDone > now) ? m_writesDone + 3 : now + 2;
    start(Mode::Write, d, s);
    m_readyAt = now;
    return done;
}

Clock Fifo::fblock(std::uint32_t d, std::uint32_t s, Clock now)
{
    sync(now);
    m_reloadAddr = s & kHubAddressMask;
    m_reloadBlocks = d & 0x3FFF;
    return now + 2;
}

void Fifo::advance(Clock at)
{
    m_addr = (m_addr + 1) & kHubAddressMask;
    if (--m_left == 0) {
        m_addr = m_reloadAddr;
        m_left = blockBytes(m_reloadBlocks);
        ++m_wraps;
        m_lastWrap = at;
    }
}

std::uint8_t Fifo::takeByte(Clock at)
{
    const std::uint8_t b = m_hub.readByte(m_addr);
    advance(at);
    return b;
}

void Fifo::putByte(std::uint8_t b, Clock at)
{
    m_hub.writeByte(m_addr, b);
    advance(at);
}

std::uint32_t Fifo::streamRead(Size size, Clock at)
{
    if (size == Size::Long && m_left > 4) { // the streamer's usual read: a long, no block wrap within it
        const std::uint32_t v = m_hub.readLong(m_addr);
        m_addr = (m_addr + 4) & kHubAddressMask;
        m_left -= 4;
        return v;
    }
    int bits = 0;
    return take(size, at, &bits);
}

std::uint32_t Fifo::take(Size size, Clock at, int *bits)
{
    *bits = size == Size::Byte ? 8 : size == Size::Word ? 16 : 32;
    switch (size) {
    case Size::Byte:
        return takeByte(at);
    case Size::Word: {
        std::uint32_t v = takeByte(at);
        return v | std::uint32_t(takeByte(at)) << 8;
    }
    case Size::Long: {
        if (m_left > 4) { // no block wrap within the long
            const std::uint32_t v = m_hub.readLong(m_addr);
            m_addr = (m_addr + 4) & kHubAddressMask;
            m_left -= 4;
            return v;
        }
        std::uint32_t v = 0;
        for (int i = 0; i < 4; ++i)
            v |= std::uint32_t(takeByte(at)) << (8 * i);
        return v;
    }
    case Size::Var:
    case Size::VarSigned: {
        // 7 bits a byte while bit 7 says more follows; the fourth byte gives 8.
        std::uint32_t v = 0;
        int n = 0;
        for (int i = 0; i < 4; ++i) {
            const std::uint8_t b = takeByte(at);
            if (i == 3) {
                v |= std::uint32_t(b) << n;
                n += 8;
                break;
            }
            v |= std::uint32_t(b & 0x7F) << n;
            n += 7;
            if (!(b & 0x80))
                break;
        }
        *bits = n;
        if (size == Size::VarSigned && (v >> (n - 1) & 1))
            v |= ~std::uint32_t(0) << n;
        return v;
    }
    }
    return 0;
}

void Fifo::streamWrite(Size size, std::uint32_t value, Clock at)
{
    const int bytes = size == Size::Byte ? 1 : size == Size::Word ? 2 : 4;
    for (int i = 0; i < bytes; ++i)
        putByte(std::uint8_t(value >> (8 * i)), at);
    m_writesDone = std::max(m_writesDone, at + kWriteDrain);
}

Fifo::Read Fifo::read(Size size, Clock now)
{
    sync(now);
    const Clock start = std::max(now, m_readyAt); // data not there yet: wait for it
    Read r;
    r.done = start + 2;
    int bits = 0;
    r.value = take(size, start, &bits);
    // WC: the top bit of the byte, word or long; RFVAR and RFVARS give C from
    // bit 31 of their result, so 0 for RFVAR (zero-extended) and the sign for
    // RFVARS (sign-extended).
    r.msb = (size == Size::Var || size == Size::VarSigned) ? r.value >> 31 : (r.value >> (bits - 1)) & 1;
    return r;
}

Clock Fifo::write(Size size, std::uint32_t value, Clock now)
{
    sync(now);
    streamWrite(size, value, now);
    return now + 2;
}

void Fifo::reset()
{
    m_mode = Mode::Idle;
    m_addr = m_left = m_reloadAddr = m_reloadBlocks = 0;
    m_readyAt = m_writesDone = m_lastWrap = 0;
    m_wraps = 0;
}

} // namespace kivo::sim
