// CORDIC handlers: commands wait for the cog's hub slot, GETQX/GETQY for the
// result.
#include "chip/cordic.h"
#include "chip/exec.h"

namespace kivo::sim {

template <Op op> bool Cog::execCordic(std::uint32_t instr)
{
    constexpr CordicOp k = op == Op::QMUL      ? CordicOp::Mul
                           : op == Op::QDIV    ? CordicOp::Div
                           : op == Op::QFRAC   ? CordicOp::Frac
                           : op == Op::QSQRT   ? CordicOp::Sqrt
                           : op == Op::QROTATE ? CordicOp::Rotate
                           : op == Op::QVECTOR ? CordicOp::Vector
                           : op == Op::QLOG    ? CordicOp::Log
                                               : CordicOp::Exp;
    Clock end;
    if constexpr (op == Op::QLOG || op == Op::QEXP) {
        end = m_cordic.issue(m_id, k, dImm(instr, immDAlone(instr)), 0, 0, m_time);
    } else {
        const std::uint32_t dv = dImm(instr, immDPair(instr)), s = sValue(instr);
        // SETQ right before gives the third operand; otherwise it is 0.
        const std::uint32_t q = m_qFresh == 1 ? m_q : 0;
        if (m_qFresh != 1 && (op == Op::QDIV || op == Op::QFRAC || op == Op::QROTATE))
            m_q = 0;
        end = m_cordic.issue(m_id, k, dv, s, q, m_time);
    }
    waitUntil(end);
    return true;
}
bool Cog::execQMUL(std::uint32_t i) { return execCordic<Op::QMUL>(i); }
bool Cog::execQDIV(std::uint32_t i) { return execCordic<Op::QDIV>(i); }
bool Cog::execQFRAC(std::uint32_t i) { return execCordic<Op::QFRAC>(i); }
bool Cog::execQSQRT(std::uint32_t i) { return execCordic<Op::QSQRT>(i); }
bool Cog::execQROTATE(std::uint32_t i) { return execCordic<Op::QROTATE>(i); }
bool Cog::execQVECTOR(std::uint32_t i) { return execCordic<Op::QVECTOR>(i); }
bool Cog::execQLOG(std::uint32_t i) { return execCordic<Op::QLOG>(i); }
bool Cog::execQEXP(std::uint32_t i) { return execCordic<Op::QEXP>(i); }

bool Cog::execGETQX(std::uint32_t instr)
{
    const Cordic::Read r = m_cordic.get(m_id, false, m_time);
    if (r.empty)
        m_flags |= 1u << EvQmt;
    result(instr, r.value);
    flags(instr, r.value >> 31, r.value == 0);
    waitUntil(r.done);
    return true;
}

bool Cog::execGETQY(std::uint32_t instr)
{
    const Cordic::Read r = m_cordic.get(m_id, true, m_time);
    if (r.empty)
        m_flags |= 1u << EvQmt;
    result(instr, r.value);
    flags(instr, r.value >> 31, r.value == 0);
    waitUntil(r.done);
    return true;
}

} // namespace kivo::sim
