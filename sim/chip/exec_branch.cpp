// Branch and stack handlers: jumps, calls and returns (the hardware stack,
// PTRA/PTRB stacks in hub RAM, PA/PB/PTRx links), REP and SKIP. A taken
// branch takes the table's clocks for its target (branch()).
#include "chip/exec.h"

namespace kivo::sim {

bool Cog::execPUSH(std::uint32_t i)
{
    push(dImm(i, immDAlone(i)));
    return true;
}

bool Cog::execPOP(std::uint32_t instr)
{
    const std::uint32_t v = pop();
    result(instr, v);
    flags(instr, v >> 31, v == 0);
    return true;
}

// JMP/CALL D: C = D[31], Z = D[30] by WC/WZ.
bool Cog::execJMP(std::uint32_t instr)
{
    const std::uint32_t d = dValue(instr);
    flags(instr, d >> 31, d >> 30 & 1);
    branch(d);
    return true;
}

bool Cog::execCALL(std::uint32_t instr)
{
    const std::uint32_t d = dValue(instr);
    push(callWord());
    enterCall();
    flags(instr, d >> 31, d >> 30 & 1);
    branch(d);
    return true;
}

// CALLA/CALLB: the return long goes to the PTRA/PTRB stack in hub RAM.
template <Op op> bool Cog::execCallPtr(std::uint32_t instr)
{
    const std::uint32_t d = dValue(instr);
    const std::uint32_t p = op == Op::CALLA ? kPTRA : kPTRB;
    m_hub.writeLong(m_reg[p], callWord());
    const int wait = Hub::slotWait(m_id, m_reg[p], m_time);
    m_reg[p] += 4;
    branch(d, op);
    m_cost += wait;
    flags(instr, d >> 31, d >> 30 & 1);
    return true;
}
bool Cog::execCALLA(std::uint32_t i) { return execCallPtr<Op::CALLA>(i); }
bool Cog::execCALLB(std::uint32_t i) { return execCallPtr<Op::CALLB>(i); }

bool Cog::execRET(std::uint32_t instr)
{
    if ((m_stack[0] & 0xFFFFF) == 0x1FF) {
        xbyte(); // a return to $1FF runs the next bytecode, without popping
        m_cost = kXbyteClocks;
        return true;
    }
    retTo(pop(), wcBit(instr), wzBit(instr));
    if (m_skipCallDepth > 0 && --m_skipCallDepth == 0) {
        m_skip = m_skipSaved;
        m_skipFast = m_skipSavedFast;
    }
    return true;
}

template <Op op> bool Cog::execRetPtr(std::uint32_t instr)
{
    const std::uint32_t p = op == Op::RETA ? kPTRA : kPTRB;
    m_reg[p] -= 4;
    const std::uint32_t w = m_hub.readLong(m_reg[p]);
    const int wait = Hub::slotWait(m_id, m_reg[p], m_time);
    retTo(w, wcBit(instr), wzBit(instr), op);
    m_cost += wait;
    return true;
}
bool Cog::execRETA(std::uint32_t i) { return execRetPtr<Op::RETA>(i); }
bool Cog::execRETB(std::uint32_t i) { return execRetPtr<Op::RETB>(i); }

// CALLD: the return long to D; RETIx/RESIx (CALLD through IRETx) end that
// interrupt.
bool Cog::execCALLD(std::uint32_t instr)
{
    const std::uint32_t s = sValue(instr);
    const std::uint32_t w = callWord();
    const std::uint32_t sF = sField(instr);
    if (!immSBit(instr) && sF >= 0x1F1 && sF <= 0x1F5 && (sF & 1))
        m_isrActive[std::size_t((0x1F5 - sF) / 2)] = false;
    // CALLD anyreg,INB WCZ (RETI0 among them) ends a debug ISR.
    if (m_debug.isr && !immSBit(instr) && sF == 0x1FF && wcBit(instr) && wzBit(instr)) {
        m_debug.isr = false;
        m_debug.pinsAtIn = false;
        m_hub.setDebugWriter(false);
    }
    result(instr, w);
    if (wcBit(instr))
        m_c = s >> 31 & 1;
    if (wzBit(instr))
        m_z = s >> 30 & 1;
    jumpS(instr, s);
    return true;
}

bool Cog::execCALLPA(std::uint32_t instr)
{
    const std::uint32_t dv = dImm(instr, immDPair(instr));
    const std::uint32_t s = sValue(instr);
    writeReg(kPA, dv);
    push(callWord());
    enterCall();
    jumpS(instr, s);
    return true;
}

bool Cog::execCALLPB(std::uint32_t instr)
{
    const std::uint32_t dv = dImm(instr, immDPair(instr));
    const std::uint32_t s = sValue(instr);
    writeReg(kPB, dv);
    push(callWord());
    enterCall();
    jumpS(instr, s);
    return true;
}

// DJZ..IJNZ: step D, then branch on the result.
template <Op op> bool Cog::execDjz(std::uint32_t instr)
{
    const std::uint32_t d = dValue(instr), s = sValue(instr);
    const std::uint32_t r = (op == Op::IJZ || op == Op::IJNZ) ? d + 1 : d - 1;
    result(instr, r);
    bool take;
    if constexpr (op == Op::DJZ || op == Op::IJZ)
        take = r == 0;
    else if constexpr (op == Op::DJNZ || op == Op::IJNZ)
        take = r != 0;
    else if constexpr (op == Op::DJF)
        take = r == 0xFFFFFFFFu;
    else
        take = r != 0xFFFFFFFFu;
    if (take)
        jumpS(instr, s);
    return true;
}
bool Cog::execDJZ(std::uint32_t i) { return execDjz<Op::DJZ>(i); }
bool Cog::execDJNZ(std::uint32_t i) { return execDjz<Op::DJNZ>(i); }
bool Cog::execDJF(std::uint32_t i) { return execDjz<Op::DJF>(i); }
bool Cog::execDJNF(std::uint32_t i) { return execDjz<Op::DJNF>(i); }
bool Cog::execIJZ(std::uint32_t i) { return execDjz<Op::IJZ>(i); }
bool Cog::execIJNZ(std::uint32_t i) { return execDjz<Op::IJNZ>(i); }

template <Op op> bool Cog::execTjz(std::uint32_t instr)
{
    const std::uint32_t d = dValue(instr), s = sValue(instr);
    bool take;
    if constexpr (op == Op::TJZ)
        take = d == 0;
    else if constexpr (op == Op::TJNZ)
        take = d != 0;
    else if constexpr (op == Op::TJF)
        take = d == 0xFFFFFFFFu;
    else if constexpr (op == Op::TJNF)
        take = d != 0xFFFFFFFFu;
    else if constexpr (op == Op::TJS)
        take = d >> 31;
    else if constexpr (op == Op::TJNS)
        take = !(d >> 31);
    else
        take = bool(d >> 31) != m_c; // TJV: overflow after an add/sub
    if (take)
        jumpS(instr, s);
    return true;
}
bool Cog::execTJZ(std::uint32_t i) { return execTjz<Op::TJZ>(i); }
bool Cog::execTJNZ(std::uint32_t i) { return execTjz<Op::TJNZ>(i); }
bool Cog::execTJF(std::uint32_t i) { return execTjz<Op::TJF>(i); }
bool Cog::execTJNF(std::uint32_t i) { return execTjz<Op::TJNF>(i); }
bool Cog::execTJS(std::uint32_t i) { return execTjz<Op::TJS>(i); }
bool Cog::execTJNS(std::uint32_t i) { return execTjz<Op::TJNS>(i); }
bool Cog::execTJV(std::uint32_t i) { return execTjz<Op::TJV>(i); }

bool Cog::execJMPREL(std::uint32_t instr)
{
    const std::uint32_t dv = dImm(instr, immDAlone(instr));
    branch(m_pc < 0x400 ? m_nextPc + dv : m_nextPc + (dv << 2));
    return true;
}

// #{\}A forms: absolute, or relative to the next instruction.
template <Op op> bool Cog::execAddrBranch(std::uint32_t instr)
{
    const std::uint32_t a = instr & 0xFFFFF;
    std::uint32_t target = a;
    if (instr >> 20 & 1) {
        const std::int32_t off = std::int32_t(sx(a, 20));
        // Branches in cog/LUT exec step A/4 instructions; LOC gives PC + A
        // as it stands (its result is an address, not an instruction count).
        target = m_pc < 0x400 && op != Op::LOC_A ? std::uint32_t(std::int32_t(m_nextPc) + off / 4)
                                                 : std::uint32_t(std::int32_t(m_nextPc) + off);
    }
    target &= 0xFFFFF;
    const std::uint32_t w = callWord();
    if constexpr (op == Op::JMP_A) {
        branch(target);
    } else if constexpr (op == Op::CALL_A) {
        push(w);
        enterCall();
        branch(target);
    } else if constexpr (op == Op::CALLA_A || op == Op::CALLB_A) {
        const std::uint32_t p = op == Op::CALLA_A ? kPTRA : kPTRB;
        const int wait = Hub::slotWait(m_id, m_reg[p], m_time);
        m_hub.writeLong(m_reg[p], w);
        m_reg[p] += 4;
        branch(target, op);
        m_cost += wait;
    } else if constexpr (op == Op::CALLD_A) {
        writeReg(kPA + (instr >> 21 & 3), w);
        branch(target);
    } else { // LOC
        writeReg(kPA + (instr >> 21 & 3), target);
    }
    return true;
}
bool Cog::execJMP_A(std::uint32_t i) { return execAddrBranch<Op::JMP_A>(i); }
bool Cog::execCALL_A(std::uint32_t i) { return execAddrBranch<Op::CALL_A>(i); }
bool Cog::execCALLA_A(std::uint32_t i) { return execAddrBranch<Op::CALLA_A>(i); }
bool Cog::execCALLB_A(std::uint32_t i) { return execAddrBranch<Op::CALLB_A>(i); }
bool Cog::execCALLD_A(std::uint32_t i) { return execAddrBranch<Op::CALLD_A>(i); }
bool Cog::execLOC_A(std::uint32_t i) { return execAddrBranch<Op::LOC_A>(i); }

// ---- REP / SKIP ----

bool Cog::execREP(std::uint32_t instr)
{
    const std::uint32_t dv = dImm(instr, immDPair(instr)), s = sValue(instr);
    const std::uint32_t n = dv & 0x1FF;
    if (n == 0)
        return true;
    m_repActive = true;
    m_repStart = m_nextPc;
    m_repEnd = m_pc < 0x400 ? (m_nextPc + n) & 0x3FF : (m_nextPc + 4 * n) & 0xFFFFF;
    m_repLeft = s;
    return true;
}

bool Cog::execSKIP(std::uint32_t instr)
{
    m_skip = dImm(instr, immDAlone(instr));
    m_skipFast = false;
    m_skipRun = 0;
    m_skipFirst = true;
    m_skipCallDepth = 0;
    return true;
}

bool Cog::execSKIPF(std::uint32_t instr)
{
    m_skip = dImm(instr, immDAlone(instr));
    m_skipFast = m_pc < 0x400; // hub exec: as SKIP
    m_skipRun = 0;
    m_skipFirst = true;
    m_skipCallDepth = 0;
    return true;
}

bool Cog::execEXECF(std::uint32_t instr)
{
    const std::uint32_t dv = dImm(instr, immDAlone(instr));
    m_skip = dv >> 10;
    m_skipFast = true;
    m_skipRun = 0;
    m_skipFirst = true;
    m_skipCallDepth = 0;
    branch(dv & 0x3FF);
    return true;
}

// The quiet fast-path handlers of this file's plain ops.
Cog::FastHandler Cog::quietBranchHandler(Op op)
{
    switch (op) {
        KIVO_QUIET(DJZ)
        KIVO_QUIET(DJNZ)
        KIVO_QUIET(DJF)
        KIVO_QUIET(DJNF)
        KIVO_QUIET(IJZ)
        KIVO_QUIET(IJNZ)
        KIVO_QUIET(TJZ)
        KIVO_QUIET(TJNZ)
        KIVO_QUIET(TJF)
        KIVO_QUIET(TJNF)
        KIVO_QUIET(TJS)
        KIVO_QUIET(TJNS)
        KIVO_QUIET(TJV)
        KIVO_QUIET(PUSH)
        KIVO_QUIET(POP)
        KIVO_QUIET(JMP)
        KIVO_QUIET(CALL)
        KIVO_QUIET(CALLA)
        KIVO_QUIET(CALLB)
        KIVO_QUIET(JMPREL)
        KIVO_QUIET(JMP_A)
        KIVO_QUIET(CALL_A)
        KIVO_QUIET(CALLA_A)
        KIVO_QUIET(CALLB_A)
        KIVO_QUIET(CALLD_A)
        KIVO_QUIET(LOC_A)
    default:
        return nullptr;
    }
}

} // namespace kivo::sim
