// Prefix handlers: ALTx (fields of the next instruction), AUGS/AUGD (the upper
// bits of its next immediate), SETQ/SETQ2 (its Q value). They shield the next
// instruction from interrupts.
#include "chip/exec.h"

namespace kivo::sim {

template <Op op> bool Cog::execAlt(std::uint32_t instr)
{
    const std::uint32_t d = dValue(instr), s = sValue(instr);
    std::uint32_t field;
    std::uint32_t n = 0;
    int nBits = 0;
    // ALTSx/ALTD/ALTR/ALTB replace the D field, ALTGx/ALTS the S field.
    constexpr bool dField = !(op == Op::ALTGN || op == Op::ALTGB || op == Op::ALTGW || op == Op::ALTS);
    if constexpr (op == Op::ALTSN || op == Op::ALTGN) {
        field = (d >> 3) + s;
        n = d & 7;
        nBits = 3;
    } else if constexpr (op == Op::ALTSB || op == Op::ALTGB) {
        field = (d >> 2) + s;
        n = d & 3;
        nBits = 2;
    } else if constexpr (op == Op::ALTSW || op == Op::ALTGW) {
        field = (d >> 1) + s;
        n = d & 1;
        nBits = 1;
    } else if constexpr (op == Op::ALTB) {
        field = (d >> 5) + s;
    } else {
        field = d + s;
    }
    field &= 0x1FF;
    if constexpr (op == Op::ALTR) {
        m_altR = int(field);
    } else {
        m_altActive = true;
        m_altClear = dField ? 0x3FE00u : 0x1FFu;
        m_altSet = dField ? field << 9 : field;
        if (nBits) {
            const std::uint32_t nmask = ((1u << nBits) - 1) << 19;
            m_altClear |= nmask;
            m_altSet |= n << 19;
        }
    }
    // S[17:9] sign-extended is added to D.
    const std::uint32_t inc = sx(s >> 9 & 0x1FF, 9);
    if (inc)
        writeReg(kivo::sim::dField(instr), d + inc);
    prefix();
    return true;
}
bool Cog::execALTSN(std::uint32_t i) { return execAlt<Op::ALTSN>(i); }
bool Cog::execALTGN(std::uint32_t i) { return execAlt<Op::ALTGN>(i); }
bool Cog::execALTSB(std::uint32_t i) { return execAlt<Op::ALTSB>(i); }
bool Cog::execALTGB(std::uint32_t i) { return execAlt<Op::ALTGB>(i); }
bool Cog::execALTSW(std::uint32_t i) { return execAlt<Op::ALTSW>(i); }
bool Cog::execALTGW(std::uint32_t i) { return execAlt<Op::ALTGW>(i); }
bool Cog::execALTR(std::uint32_t i) { return execAlt<Op::ALTR>(i); }
bool Cog::execALTD(std::uint32_t i) { return execAlt<Op::ALTD>(i); }
bool Cog::execALTS(std::uint32_t i) { return execAlt<Op::ALTS>(i); }
bool Cog::execALTB(std::uint32_t i) { return execAlt<Op::ALTB>(i); }

bool Cog::execALTI(std::uint32_t instr)
{
    const std::uint32_t d = dValue(instr), s = sValue(instr);
    std::uint32_t nd = d;
    auto stepField = [&](int shift, std::uint32_t maskSel, int mode) {
        // mode: 0 keep, 2 decrement, 3 increment (per the 3-bit field)
        const std::uint32_t bits = 9 - maskSel; // 000 = 9 bits .. 111 = 2 bits
        const std::uint32_t m = ((1u << bits) - 1) << shift;
        std::uint32_t v = nd >> shift;
        if (mode == 3)
            v += 1;
        else if (mode == 2)
            v -= 1;
        else
            return;
        nd = (nd & ~m) | ((v << shift) & m);
    };
    const std::uint32_t rrr = s >> 15 & 7, ddd = s >> 12 & 7, sss = s >> 9 & 7;
    const std::uint32_t RRR = s >> 6 & 7, DDD = s >> 3 & 7, SSS = s & 7;
    m_altClear = 0;
    m_altSet = 0;
    bool any = false;
    if (RRR == 1)
        m_altR = -2;
    else if (RRR >= 4 && RRR != 5)
        m_altR = int(d >> 19 & 0x1FF);
    if (RRR == 5) {
        m_altClear |= 0xFFFC0000u;
        m_altSet |= d & 0xFFFC0000u;
        any = true;
    }
    if (DDD & 4) {
        m_altClear |= 0x3FE00u;
        m_altSet |= d & 0x3FE00u;
        any = true;
    }
    if (SSS & 4) {
        m_altClear |= 0x1FFu;
        m_altSet |= d & 0x1FFu;
        any = true;
    }
    m_altActive = any;
    if (RRR == 2 || RRR == 3 || RRR == 6 || RRR == 7)
        stepField(19, rrr, (RRR & 1) ? 3 : 2);
    if ((DDD & 2))
        stepField(9, ddd, (DDD & 1) ? 3 : 2);
    if ((SSS & 2))
        stepField(0, sss, (SSS & 1) ? 3 : 2);
    if (nd != d)
        writeReg(dField(instr), nd);
    prefix();
    return true;
}

bool Cog::execSETQ(std::uint32_t instr)
{
    m_q = dImm(instr, immDAlone(instr));
    m_qFresh = 1;
    prefix();
    m_qDirect = true;
    return true;
}

bool Cog::execSETQ2(std::uint32_t instr)
{
    m_q = dImm(instr, immDAlone(instr));
    m_qFresh = 2;
    prefix();
    m_qDirect = true;
    return true;
}

bool Cog::execAUGS(std::uint32_t instr)
{
    m_augs = (instr & 0x7FFFFF) << 9;
    m_augsValid = true;
    prefix();
    return true;
}

bool Cog::execAUGD(std::uint32_t instr)
{
    m_augd = (instr & 0x7FFFFF) << 9;
    m_augdValid = true;
    prefix();
    return true;
}

} // namespace kivo::sim
