#pragma once
// The executor's private half: the generated clock tables and the operand,
// result and flag helpers the per-op handlers (chip/exec_*.cpp) share.
// Results and flags follow the Rev B/C silicon documentation's instruction
// descriptions.
#include "chip/chip.h"
#include "chip/cog.h"

#include <bit>

namespace kivo::sim {

#include "chip/isa/clocks.inc"

constexpr std::uint32_t kPA = 0x1F6, kPB = 0x1F7, kPTRA = 0x1F8, kPTRB = 0x1F9;

inline bool parity(std::uint32_t v) { return std::popcount(v) & 1; }
inline std::uint32_t sx(std::uint32_t v, int bits)
{
    return std::uint32_t(std::int32_t(v << (32 - bits)) >> (32 - bits));
}
inline bool condMet(unsigned cond, bool c, bool z) { return (cond >> (unsigned(c) * 2 + unsigned(z))) & 1; }

// Instruction fields.
inline bool wcBit(std::uint32_t instr) { return instr >> 20 & 1; }
inline bool wzBit(std::uint32_t instr) { return instr >> 19 & 1; }
inline bool immSBit(std::uint32_t instr) { return instr >> 18 & 1; }
inline bool immDPair(std::uint32_t instr) { return instr >> 19 & 1; }  // {#}D,{#}S forms
inline bool immDAlone(std::uint32_t instr) { return instr >> 18 & 1; } // {#}D alone
inline std::uint32_t dField(std::uint32_t instr) { return instr >> 9 & 0x1FF; }
inline std::uint32_t sField(std::uint32_t instr) { return instr & 0x1FF; }
inline std::uint32_t nField(std::uint32_t instr, int bits) { return instr >> 19 & ((1u << bits) - 1); }

// A tested bit into C or Z: written, or combined by AND/OR/XOR.
template <Op op> inline bool combineFlag(bool old, bool bit)
{
    if constexpr (op == Op::TESTB_AND || op == Op::TESTBN_AND || op == Op::TESTP_AND || op == Op::TESTPN_AND)
        return old && bit;
    else if constexpr (op == Op::TESTB_OR || op == Op::TESTBN_OR || op == Op::TESTP_OR || op == Op::TESTPN_OR)
        return old || bit;
    else if constexpr (op == Op::TESTB_XOR || op == Op::TESTBN_XOR || op == Op::TESTP_XOR || op == Op::TESTPN_XOR)
        return old != bit;
    else
        return bit;
}

// S[10:6] (or D[10:6]) more pins after S[5:0], wrapping within the port.
template <class F> inline void pinSpan(std::uint32_t v, F &&fn)
{
    const std::uint32_t first = v & 63;
    const std::uint32_t count = (v >> 6 & 31) + 1;
    for (std::uint32_t k = 0; k < count; ++k)
        fn(int((first & 32) | ((first + k) & 31)));
}

// S: immediate (with a pending AUGS) or register; an SCA/SCAS/XORO32/GETXACC
// result replaces the next S value.
[[gnu::always_inline]] inline std::uint32_t Cog::sImm(std::uint32_t instr)
{
    std::uint32_t v = sField(instr);
    if (m_augsValid) {
        v |= m_augs;
        m_augsValid = false;
    }
    return v;
}

[[gnu::always_inline]] inline std::uint32_t Cog::sValue(std::uint32_t instr)
{
    std::uint32_t v = immSBit(instr) ? sImm(instr) : readReg(sField(instr));
    if (m_scaValid) {
        v = m_scaValue;
        m_scaValid = false;
    }
    return v;
}

[[gnu::always_inline]] inline std::uint32_t Cog::dImm(std::uint32_t instr, bool imm)
{
    if (!imm)
        return readReg(dField(instr));
    std::uint32_t v = dField(instr);
    if (m_augdValid) {
        v |= m_augd;
        m_augdValid = false;
    }
    return v;
}

[[gnu::always_inline]] inline void Cog::result(std::uint32_t instr, std::uint32_t v)
{
    if (m_altR == -2)
        return;
    writeReg(m_altR >= 0 ? std::uint32_t(m_altR) : dField(instr), v);
}

[[gnu::always_inline]] inline void Cog::flags(std::uint32_t instr, bool c, bool z)
{
    if (wcBit(instr))
        m_c = c;
    if (wzBit(instr))
        m_z = z;
}

[[gnu::always_inline]] inline void Cog::logicResult(std::uint32_t instr, std::uint32_t r, bool write)
{
    if (write)
        result(instr, r);
    flags(instr, parity(r), r == 0);
}

// Branches are on the fast path: inline here, where the handlers see them.
inline int Cog::hubBranchWait(std::uint32_t target) const
{
    // The FIFO refills from the target's hub slot; a target off a long
    // boundary takes one clock more.
    return Hub::slotWait(m_id, target, m_time) + ((target & 3) ? 1 : 0);
}

inline int Cog::branchCost(std::uint32_t target, Op op) const
{
    if (target < 0x400)
        return kCogTakenClocks[std::size_t(op)];
    return kHubTakenClocks[std::size_t(op)] + hubBranchWait(target);
}

inline void Cog::branch(std::uint32_t target, Op op)
{
    target &= 0xFFFFF;
    m_nextPc = target;
    m_branched = true;
    m_cost = branchCost(target, op);
    m_repActive = false;
}

// So is every hub access.
inline int Cog::hubWindowWait(std::uint32_t addr, Clock at) const
{
    Clock t = at + Clock(Hub::slotWait(m_id, addr, at));
    if (m_pc >= 0x400)
        while (t >= m_hubFetch.busyFrom && t < m_hubFetch.busyTo)
            t += 8;
    return int(t - at);
}

// #S: relative 9-bit instruction count; register: absolute.
inline void Cog::jumpS(std::uint32_t instr, std::uint32_t s) { branch(immSBit(instr) ? relTarget9(s) : s); }

inline void Cog::prefix()
{
    m_prefixSeen = true;
    m_shield = true;
    m_qDirect = false;
}

// A call inside SKIP runs its subroutine unskipped: the pattern waits for
// the matching return.
inline void Cog::enterCall()
{
    if (m_skip) {
        m_skipSaved = m_skip;
        m_skipSavedFast = m_skipFast;
        m_skip = 0;
        m_skipCallDepth = 1;
    } else if (m_skipCallDepth) {
        ++m_skipCallDepth;
    }
}

// The instruction ends at `end` (a unit it waits for: the CORDIC, the FIFO,
// the streamer), when that is later than its base clocks.
inline void Cog::waitUntil(Clock end)
{
    if (end > m_time + Clock(m_cost))
        m_cost += int(end - m_time - Clock(m_cost));
}

// Cog::quietHandler's handlers. The promises below hold wherever runPlain
// calls them (predecode picks them only for such register fields); the
// sanitizer build checks them.
template <Op op, Cog::Handler h> [[gnu::flatten]] bool Cog::callQuiet(Cog &cog, std::uint32_t instr)
{
    constexpr unsigned regs = kRegisterFields[std::size_t(op)];
    if (!cog.quiet() || ((regs & 1) && dField(instr) >= 0x1F8) ||
        ((regs & 2) && !immSBit(instr) && sField(instr) >= 0x1F8))
        __builtin_unreachable();
    return (cog.*h)(instr);
}

#define KIVO_QUIET(name)                                                                                               \
    case Op::name:                                                                                                     \
        return &callQuiet<Op::name, &Cog::exec##name>;

} // namespace kivo::sim
