// Pin handlers: TESTP, DIR/OUT/FLT/DRV over pin spans, the smart pin
// WRPIN/WXPIN/WYPIN/RDPIN/RQPIN, and the scope pins.
#include "chip/exec.h"
#include "chip/pins.h"

namespace kivo::sim {

template <Op op> bool Cog::execTestPin(std::uint32_t instr)
{
    const std::uint32_t dv = dImm(instr, immDAlone(instr));
    const Clock at = m_time >= 2 ? m_time - 2 : 0;
    constexpr bool invert = op == Op::TESTPN || op == Op::TESTPN_AND || op == Op::TESTPN_OR || op == Op::TESTPN_XOR;
    const bool bit = bool(m_pins.in(at) >> (dv & 63) & 1) != invert;
    if (wcBit(instr))
        m_c = combineFlag<op>(m_c, bit);
    if (wzBit(instr))
        m_z = combineFlag<op>(m_z, bit);
    return true;
}
bool Cog::execTESTP(std::uint32_t i) { return execTestPin<Op::TESTP>(i); }
bool Cog::execTESTPN(std::uint32_t i) { return execTestPin<Op::TESTPN>(i); }
bool Cog::execTESTP_AND(std::uint32_t i) { return execTestPin<Op::TESTP_AND>(i); }
bool Cog::execTESTPN_AND(std::uint32_t i) { return execTestPin<Op::TESTPN_AND>(i); }
bool Cog::execTESTP_OR(std::uint32_t i) { return execTestPin<Op::TESTP_OR>(i); }
bool Cog::execTESTPN_OR(std::uint32_t i) { return execTestPin<Op::TESTPN_OR>(i); }
bool Cog::execTESTP_XOR(std::uint32_t i) { return execTestPin<Op::TESTP_XOR>(i); }
bool Cog::execTESTPN_XOR(std::uint32_t i) { return execTestPin<Op::TESTPN_XOR>(i); }

// DIRx/OUTx/FLTx/DRVx: the ops run in table order, 8 per group (L H C NC Z
// NZ RND NOT); FLT also clears DIR, DRV sets it. C/Z get the first pin's bit.
template <Op op> bool Cog::execPinOut(std::uint32_t instr)
{
    std::uint32_t dv = dImm(instr, immDAlone(instr));
    if (m_qFresh == 1)
        dv = (dv & ~0x7C0u) | (m_q << 6 & 0x7C0u);
    constexpr int k = int(op) - int(Op::DIRL);
    constexpr int group = k / 8; // 0 DIR, 1 OUT, 2 FLT, 3 DRV
    constexpr int how = k % 8;
    static_assert(k >= 0 && k < 32);
    const std::uint32_t rnd = how == 6 ? m_chip.random(m_time) : 0;
    bool firstBit = false, first = true;
    pinSpan(dv, [&](int pin) {
        const std::uint32_t port = pin >= 32 ? 1 : 0;
        const std::uint32_t bit = 1u << (pin & 31);
        std::uint32_t &dir = m_reg[0x1FA + port];
        std::uint32_t &out = m_reg[0x1FC + port];
        std::uint32_t &target = group == 0 ? dir : out;
        bool v;
        switch (how) {
        case 0:
            v = false;
            break;
        case 1:
            v = true;
            break;
        case 2:
            v = m_c;
            break;
        case 3:
            v = !m_c;
            break;
        case 4:
            v = m_z;
            break;
        case 5:
            v = !m_z;
            break;
        case 6:
            v = rnd >> (pin & 31) & 1;
            break;
        default:
            v = !(target & bit);
            break;
        }
        target = v ? target | bit : target & ~bit;
        if (group == 2)
            dir &= ~bit;
        else if (group == 3)
            dir |= bit;
        if (first) {
            firstBit = v;
            first = false;
        }
    });
    outputsChanged(cellsLand(), padsLand());
    if (wcBit(instr))
        m_c = firstBit;
    if (wzBit(instr))
        m_z = firstBit;
    return true;
}
#define KIVO_PIN_OUT(name)                                                                                             \
    bool Cog::exec##name(std::uint32_t i) { return execPinOut<Op::name>(i); }
KIVO_PIN_OUT(DIRL)
KIVO_PIN_OUT(DIRH)
KIVO_PIN_OUT(DIRC)
KIVO_PIN_OUT(DIRNC)
KIVO_PIN_OUT(DIRZ)
KIVO_PIN_OUT(DIRNZ)
KIVO_PIN_OUT(DIRRND)
KIVO_PIN_OUT(DIRNOT)
KIVO_PIN_OUT(OUTL)
KIVO_PIN_OUT(OUTH)
KIVO_PIN_OUT(OUTC)
KIVO_PIN_OUT(OUTNC)
KIVO_PIN_OUT(OUTZ)
KIVO_PIN_OUT(OUTNZ)
KIVO_PIN_OUT(OUTRND)
KIVO_PIN_OUT(OUTNOT)
KIVO_PIN_OUT(FLTL)
KIVO_PIN_OUT(FLTH)
KIVO_PIN_OUT(FLTC)
KIVO_PIN_OUT(FLTNC)
KIVO_PIN_OUT(FLTZ)
KIVO_PIN_OUT(FLTNZ)
KIVO_PIN_OUT(FLTRND)
KIVO_PIN_OUT(FLTNOT)
KIVO_PIN_OUT(DRVL)
KIVO_PIN_OUT(DRVH)
KIVO_PIN_OUT(DRVC)
KIVO_PIN_OUT(DRVNC)
KIVO_PIN_OUT(DRVZ)
KIVO_PIN_OUT(DRVNZ)
KIVO_PIN_OUT(DRVRND)
KIVO_PIN_OUT(DRVNOT)
#undef KIVO_PIN_OUT

// ---- smart pins ----

// S: the pin, with SETQ giving the span's extra pins.
static std::uint32_t smartPins(std::uint32_t s, int qFresh, std::uint32_t q)
{
    return qFresh == 1 ? (s & ~0x7C0u) | (q << 6 & 0x7C0u) : s;
}

bool Cog::execWRPIN(std::uint32_t instr)
{
    const std::uint32_t dv = dImm(instr, immDPair(instr));
    const std::uint32_t s = smartPins(sValue(instr), m_qFresh, m_q);
    const Clock at = m_time;
    if (immDPair(instr) && dField(instr) == 1 && !m_augdValid) // AKPIN
        pinSpan(s, [&](int pin) { m_pins.akpin(pin, at); });
    else
        pinSpan(s, [&](int pin) { m_pins.wrpin(pin, dv, at); });
    return true;
}

bool Cog::execWXPIN(std::uint32_t instr)
{
    const std::uint32_t dv = dImm(instr, immDPair(instr));
    const std::uint32_t s = smartPins(sValue(instr), m_qFresh, m_q);
    const Clock at = m_time;
    pinSpan(s, [&](int pin) { m_pins.wxpin(pin, dv, at); });
    return true;
}

bool Cog::execWYPIN(std::uint32_t instr)
{
    const std::uint32_t dv = dImm(instr, immDPair(instr));
    const std::uint32_t s = smartPins(sValue(instr), m_qFresh, m_q);
    const Clock at = m_time;
    pinSpan(s, [&](int pin) { m_pins.wypin(pin, dv, at); });
    return true;
}

bool Cog::execRDPIN(std::uint32_t instr)
{
    const PinRead r = m_pins.rdpin(int(sValue(instr) & 63), m_time);
    result(instr, r.z);
    if (wcBit(instr))
        m_c = r.c;
    return true;
}

bool Cog::execRQPIN(std::uint32_t instr)
{
    const PinRead r = m_pins.rqpin(int(sValue(instr) & 63), m_time);
    result(instr, r.z);
    if (wcBit(instr))
        m_c = r.c;
    return true;
}

bool Cog::execSETSCP(std::uint32_t i)
{
    m_chip.setScope(dImm(i, immDAlone(i)));
    return true;
}
bool Cog::execGETSCP(std::uint32_t i)
{
    result(i, m_chip.scope(m_time));
    return true;
}

} // namespace kivo::sim
