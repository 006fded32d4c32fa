// Event and interrupt handlers: the CT, SE, pattern and other event flags
// (POLLxxx, WAITxxx, Jxxx/JNxxx), interrupt control, the counter, random
// numbers, WAITX, and the debug instructions the simulator refuses.
#include "chip/exec.h"
#include "chip/fifo.h"
#include "chip/pins.h"
#include "chip/streamer.h"

#include <algorithm>

namespace kivo::sim {

// WAITxxx: true when the wait has ended (event or timeout); otherwise the cog
// sleeps until the event may have come and runs the instruction again.
bool Cog::waitEvent(std::uint32_t instr, int ev)
{
    if (!m_waiting) {
        m_waitTimeout = kNever;
        if (m_qFresh == 1) {
            // SETQ gives a CT target that ends the wait.
            const std::uint32_t target = m_q;
            Clock at = (m_time & ~Clock(0xFFFFFFFFu)) | target;
            if (at <= m_time)
                at += Clock(1) << 32;
            m_waitTimeout = at;
        }
    }
    if (ev < 0 ? false : eventFlag(ev)) {
        clearEvent(ev);
        m_waiting = false;
        m_waitPins = 0;
        flags(instr, false, false);
        return true;
    }
    if (m_waitTimeout <= m_time) {
        m_waiting = false;
        m_waitPins = 0;
        flags(instr, true, true);
        return true;
    }
    Clock wake = std::min(ev < 0 ? kNever : eventWake(ev), m_waitTimeout);
    if (m_anyInt)
        wake = std::min(wake, interruptWake());
    if (wake <= m_time)
        wake = m_time + 1;
    if (wake == kNever)
        wake = kNever - 1; // asleep until another cog or a pin wakes it
    m_waiting = true;
    m_waitPins = ev < 0 ? 0 : eventPins(ev);
    if (m_anyInt) // an interrupt on a pin event ends the wait too
        for (int src : m_intSource)
            m_waitPins |= eventPins(src);
    m_time = wake;
    return false;
}

// The event is D[3:0] of the shared encoding (POLLxxx 0..15, WAITxxx 16..31);
// Jxxx/JNxxx give it in D[3:0] and the negation in D[4].
bool Cog::execPOLLINT(std::uint32_t instr)
{
    const int ev = int(dField(instr) & 15);
    const bool f = eventFlag(ev);
    clearEvent(ev);
    flags(instr, f, f);
    return true;
}
#define KIVO_POLL(name)                                                                                                \
    bool Cog::exec##name(std::uint32_t i) { return execPOLLINT(i); }
KIVO_POLL(POLLCT1)
KIVO_POLL(POLLCT2)
KIVO_POLL(POLLCT3)
KIVO_POLL(POLLSE1)
KIVO_POLL(POLLSE2)
KIVO_POLL(POLLSE3)
KIVO_POLL(POLLSE4)
KIVO_POLL(POLLPAT)
KIVO_POLL(POLLFBW)
KIVO_POLL(POLLXMT)
KIVO_POLL(POLLXFI)
KIVO_POLL(POLLXRO)
KIVO_POLL(POLLXRL)
KIVO_POLL(POLLATN)
KIVO_POLL(POLLQMT)
#undef KIVO_POLL

bool Cog::execWAITINT(std::uint32_t instr)
{
    waitEvent(instr, int(dField(instr) & 15));
    return true;
}
#define KIVO_WAIT(name)                                                                                                \
    bool Cog::exec##name(std::uint32_t i) { return execWAITINT(i); }
KIVO_WAIT(WAITCT1)
KIVO_WAIT(WAITCT2)
KIVO_WAIT(WAITCT3)
KIVO_WAIT(WAITSE1)
KIVO_WAIT(WAITSE2)
KIVO_WAIT(WAITSE3)
KIVO_WAIT(WAITSE4)
KIVO_WAIT(WAITPAT)
KIVO_WAIT(WAITFBW)
KIVO_WAIT(WAITXMT)
KIVO_WAIT(WAITXFI)
KIVO_WAIT(WAITXRO)
KIVO_WAIT(WAITXRL)
KIVO_WAIT(WAITATN)
#undef KIVO_WAIT

bool Cog::execJINT(std::uint32_t instr)
{
    const int ev = int(dField(instr) & 15);
    const bool negate = dField(instr) & 16;
    const std::uint32_t s = sValue(instr);
    const bool flag = eventFlag(ev);
    clearEvent(ev);
    if (flag != negate)
        jumpS(instr, s);
    return true;
}
#define KIVO_JEVENT(name)                                                                                              \
    bool Cog::exec##name(std::uint32_t i) { return execJINT(i); }
KIVO_JEVENT(JCT1)
KIVO_JEVENT(JCT2)
KIVO_JEVENT(JCT3)
KIVO_JEVENT(JSE1)
KIVO_JEVENT(JSE2)
KIVO_JEVENT(JSE3)
KIVO_JEVENT(JSE4)
KIVO_JEVENT(JPAT)
KIVO_JEVENT(JFBW)
KIVO_JEVENT(JXMT)
KIVO_JEVENT(JXFI)
KIVO_JEVENT(JXRO)
KIVO_JEVENT(JXRL)
KIVO_JEVENT(JATN)
KIVO_JEVENT(JQMT)
KIVO_JEVENT(JNINT)
KIVO_JEVENT(JNCT1)
KIVO_JEVENT(JNCT2)
KIVO_JEVENT(JNCT3)
KIVO_JEVENT(JNSE1)
KIVO_JEVENT(JNSE2)
KIVO_JEVENT(JNSE3)
KIVO_JEVENT(JNSE4)
KIVO_JEVENT(JNPAT)
KIVO_JEVENT(JNFBW)
KIVO_JEVENT(JNXMT)
KIVO_JEVENT(JNXFI)
KIVO_JEVENT(JNXRO)
KIVO_JEVENT(JNXRL)
KIVO_JEVENT(JNATN)
KIVO_JEVENT(JNQMT)
#undef KIVO_JEVENT

// ---- event sources ----

// SETSEn, ADDCTn and the interrupt controls: one handler per numbered op.
template <Op op> bool Cog::execNumbered(std::uint32_t instr)
{
    if constexpr (op >= Op::SETSE1 && op <= Op::SETSE4) {
        constexpr std::size_t n = std::size_t(op) - std::size_t(Op::SETSE1);
        m_se[n] = dImm(instr, immDAlone(instr)) & 0x1FF;
        m_flags &= ~(1u << (EvSe1 + int(n)));
        if ((m_se[n] >> 6) != 0) {
            const Clock at = m_time >= 3 ? m_time - 3 : 0;
            m_seLast[n] = m_pins.in(at) >> (m_se[n] & 63) & 1;
        }
    } else if constexpr (op >= Op::ADDCT1 && op <= Op::ADDCT3) {
        const std::uint32_t r = dValue(instr) + sValue(instr);
        result(instr, r);
        setCtTarget(int(op) - int(Op::ADDCT1), r);
    } else if constexpr (op >= Op::TRGINT1 && op <= Op::TRGINT3) {
        m_intPending[std::size_t(op) - std::size_t(Op::TRGINT1)] = true;
        m_anyInt = true;
    } else if constexpr (op >= Op::NIXINT1 && op <= Op::NIXINT3) {
        m_intPending[std::size_t(op) - std::size_t(Op::NIXINT1)] = false;
    } else {
        static_assert(op >= Op::SETINT1 && op <= Op::SETINT3);
        m_intSource[std::size_t(op) - std::size_t(Op::SETINT1)] = int(dImm(instr, immDAlone(instr)) & 15);
        m_anyInt =
            m_intSource[0] || m_intSource[1] || m_intSource[2] || m_intPending[0] || m_intPending[1] || m_intPending[2];
    }
    return true;
}
#define KIVO_NUMBERED(name)                                                                                            \
    bool Cog::exec##name(std::uint32_t i) { return execNumbered<Op::name>(i); }
KIVO_NUMBERED(SETSE1)
KIVO_NUMBERED(SETSE2)
KIVO_NUMBERED(SETSE3)
KIVO_NUMBERED(SETSE4)
KIVO_NUMBERED(ADDCT1)
KIVO_NUMBERED(ADDCT2)
KIVO_NUMBERED(ADDCT3)
KIVO_NUMBERED(TRGINT1)
KIVO_NUMBERED(TRGINT2)
KIVO_NUMBERED(TRGINT3)
KIVO_NUMBERED(NIXINT1)
KIVO_NUMBERED(NIXINT2)
KIVO_NUMBERED(NIXINT3)
KIVO_NUMBERED(SETINT1)
KIVO_NUMBERED(SETINT2)
KIVO_NUMBERED(SETINT3)
#undef KIVO_NUMBERED

bool Cog::execSETPAT(std::uint32_t instr)
{
    m_patMask = dImm(instr, immDPair(instr));
    m_patMatch = sValue(instr);
    m_patB = m_c;
    m_patEqual = m_z;
    m_flags &= ~(1u << EvPat);
    return true;
}

bool Cog::execALLOWI(std::uint32_t)
{
    m_stalli = false;
    return true;
}
bool Cog::execSTALLI(std::uint32_t)
{
    m_stalli = true;
    return true;
}

// ---- counter, random, waits ----

bool Cog::execGETCT(std::uint32_t instr)
{
    const Clock ct = m_time;
    result(instr, wcBit(instr) ? std::uint32_t(ct >> 32) : std::uint32_t(ct));
    if (wcBit(instr))
        prefix();
    return true;
}

bool Cog::execGETRND(std::uint32_t instr)
{
    const std::uint32_t r = m_chip.random(m_time) ^ std::rotl(m_rndState, m_id * 4);
    m_rndState = m_rndState * 1664525u + 1013904223u;
    if (!immSBit(instr))
        result(instr, r);
    flags(instr, r >> 31, r >> 30 & 1);
    return true;
}
// GETRND WC/WZ/WCZ: the flags only (I = 1, no D).
bool Cog::execGETRND_CZ(std::uint32_t instr) { return execGETRND(instr); }

// 2 + D clocks: D here, 2 from the table.
bool Cog::execWAITX(std::uint32_t instr)
{
    std::uint32_t dv = dImm(instr, immDAlone(instr));
    if (wcBit(instr) || wzBit(instr))
        dv &= m_chip.random(m_time);
    m_time += Clock(dv);
    flags(instr, false, false);
    return true;
}

// ---- debug ----

// BRK outside a debug ISR: the code for GETBRK and, when the last ISR asked
// for it (E), a debug interrupt. Inside: the next triggers. Nothing while
// HUBSET has not enabled debug interrupts for the cog.
bool Cog::execBRK(std::uint32_t i)
{
    const std::uint32_t dv = dImm(i, immDAlone(i));
    if (!m_chip.debugEnabled(m_id))
        return true;
    if (!m_debug.isr) {
        m_debug.code = dv & 0xFF;
        if (m_debug.arm >> 4 & 1)
            m_debug.pending = m_debug.watch = true;
        return true;
    }
    if (dv >> 9 & 1)
        return faultHere(i, "BRK: a debug interrupt on an event is not modelled (the documents do not say whether "
                            "the event's occurrence or its flag triggers it)");
    m_debug.arm = dv;
    m_debug.pinsAtIn = dv >> 11 & 1;
    m_debug.watch = (dv & 0x7FF) != 0;
    return true;
}

bool Cog::execGETBRK(std::uint32_t instr)
{
    const bool wc = wcBit(instr), wz = wzBit(instr);
    std::uint32_t d = 0;
    bool c = m_c, z = m_z;
    if (wc && wz) {
        // The cog's interrupt set-up, and inside a debug ISR the BRK code and
        // whether a COGINIT caused it.
        d = (m_streamer->running() ? 1u << 21 : 0) | (m_fifo->mode() == Fifo::Mode::Write ? 1u << 20 : 0);
        for (int ch = 0; ch < 3; ++ch) {
            d |= std::uint32_t(m_intSource[std::size_t(ch)] & 15) << (8 + 4 * ch);
            const std::uint32_t state = m_isrActive[std::size_t(ch)] ? 3 : m_intPending[std::size_t(ch)] ? 2 : 0;
            d |= state << (2 + 2 * ch);
        }
        d |= (m_stalli ? 2u : 0) | (m_startedHub ? 1u : 0);
        c = m_stalli;
        z = m_startedHub;
        if (m_debug.isr) {
            d |= m_debug.code << 24 | (m_debug.fromCoginit ? 1u << 23 : 0);
            c = m_debug.fromCoginit;
        }
    } else if (wc) {
        // The SKIP state and the 16 event flags (CT1..CT3 in bits 3..1).
        static constexpr int kBit[16] = {0, 3, 2, 1, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
        for (int ev = 0; ev < 16; ++ev)
            if (ev == EvInt ? (m_flags >> EvInt & 1) : eventFlag(ev))
                d |= 1u << kBit[ev];
        d |= std::uint32_t(std::min(m_skipCallDepth, 15)) << 28 | (m_skipFast ? 0 : 1u << 27) |
             (m_lutShare ? 1u << 26 : 0) | ((m_stack[0] & 0xFFFFF) == 0x1FF ? 1u << 25 : 0) |
             (m_xbyteMode & 0x1FF) << 16;
        c = m_skip & 1;
    } else {
        // The SKIP pattern; Z when none is queued.
        d = m_skip;
        z = d == 0;
    }
    writeReg(dField(instr), d);
    m_c = c;
    m_z = z;
    return true;
}

// COGBRK from inside a debug ISR: an asynchronous breakpoint in cog D.
bool Cog::execCOGBRK(std::uint32_t i)
{
    const std::uint32_t dv = dImm(i, immDAlone(i));
    if (m_debug.isr && (dv & 15) < 8 && int(dv & 15) != m_id)
        m_chip.cog(int(dv & 15)).asyncBreak(m_time);
    return true;
}

} // namespace kivo::sim
