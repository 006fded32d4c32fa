// FIFO and streamer handlers. In hub exec the FIFO fetches the instructions:
// the table marks the ops that use it, and they fault there.
#include "chip/exec.h"
#include "chip/fifo.h"
#include "chip/streamer.h"

namespace kivo::sim {

bool Cog::execFifoInHubExec(std::uint32_t instr)
{
    const Op op = decode(instr);
    if (op >= Op::RFBYTE && op <= Op::RFVARS)
        return faultHere(instr, "FIFO read in hub exec (the FIFO is busy with instruction fetch)");
    if (op >= Op::WFBYTE && op <= Op::WFLONG)
        return faultHere(instr, "FIFO write in hub exec (the FIFO is busy with instruction fetch)");
    return faultHere(instr, "FIFO instruction in hub exec (the FIFO is busy with instruction fetch)");
}

bool Cog::execRDFAST(std::uint32_t instr)
{
    const std::uint32_t dv = dImm(instr, immDPair(instr)), s = sValue(instr);
    m_streamer->advance(m_time);
    const Clock end = m_fifo->rdfast(dv, s, m_time);
    m_flags &= ~(1u << EvFbw);
    m_fbwSeen = m_fifo->wraps();
    waitUntil(end);
    return true;
}

bool Cog::execWRFAST(std::uint32_t instr)
{
    const std::uint32_t dv = dImm(instr, immDPair(instr)), s = sValue(instr);
    m_streamer->advance(m_time);
    const Clock end = m_fifo->wrfast(dv, s, m_time);
    m_flags &= ~(1u << EvFbw);
    m_fbwSeen = m_fifo->wraps();
    waitUntil(end);
    return true;
}

bool Cog::execFBLOCK(std::uint32_t instr)
{
    const std::uint32_t dv = dImm(instr, immDPair(instr)), s = sValue(instr);
    m_streamer->advance(m_time);
    const Clock end = m_fifo->fblock(dv, s, m_time);
    m_flags &= ~(1u << EvFbw);
    m_fbwSeen = m_fifo->wraps();
    waitUntil(end);
    return true;
}

template <Op op> bool Cog::execFifoRead(std::uint32_t instr)
{
    constexpr Fifo::Size size = op == Op::RFBYTE   ? Fifo::Size::Byte
                                : op == Op::RFWORD ? Fifo::Size::Word
                                : op == Op::RFLONG ? Fifo::Size::Long
                                : op == Op::RFVAR  ? Fifo::Size::Var
                                                   : Fifo::Size::VarSigned;
    m_streamer->advance(m_time);
    const Fifo::Read r = m_fifo->read(size, m_time);
    result(instr, r.value);
    flags(instr, r.msb, r.value == 0);
    waitUntil(r.done);
    return true;
}
bool Cog::execRFBYTE(std::uint32_t i) { return execFifoRead<Op::RFBYTE>(i); }
bool Cog::execRFWORD(std::uint32_t i) { return execFifoRead<Op::RFWORD>(i); }
bool Cog::execRFLONG(std::uint32_t i) { return execFifoRead<Op::RFLONG>(i); }
bool Cog::execRFVAR(std::uint32_t i) { return execFifoRead<Op::RFVAR>(i); }
bool Cog::execRFVARS(std::uint32_t i) { return execFifoRead<Op::RFVARS>(i); }

bool Cog::execWFBYTE(std::uint32_t i)
{
    const std::uint32_t dv = dImm(i, immDAlone(i));
    m_streamer->advance(m_time);
    waitUntil(m_fifo->write(Fifo::Size::Byte, dv, m_time));
    return true;
}
bool Cog::execWFWORD(std::uint32_t i)
{
    const std::uint32_t dv = dImm(i, immDAlone(i));
    m_streamer->advance(m_time);
    waitUntil(m_fifo->write(Fifo::Size::Word, dv, m_time));
    return true;
}
bool Cog::execWFLONG(std::uint32_t i)
{
    const std::uint32_t dv = dImm(i, immDAlone(i));
    m_streamer->advance(m_time);
    waitUntil(m_fifo->write(Fifo::Size::Long, dv, m_time));
    return true;
}

bool Cog::execGETPTR(std::uint32_t i)
{
    result(i, m_fifo->pointer());
    return true;
}

// ---- the streamer ----

template <Op op> bool Cog::execStreamer(std::uint32_t instr)
{
    constexpr StreamerCmd kind = op == Op::XINIT   ? StreamerCmd::Init
                                 : op == Op::XZERO ? StreamerCmd::Zero
                                                   : StreamerCmd::Cont;
    const std::uint32_t dv = dImm(instr, immDPair(instr)), s = sValue(instr);
    const Clock end = m_streamer->command(kind, dv, s, m_qFresh == 1, m_q, m_time);
    for (int k = 0; k < 3; ++k)
        m_streamerSince[std::size_t(k)] = m_time;
    m_flags &= ~((1u << EvXmt) | (1u << EvXfi) | (1u << EvXro));
    waitUntil(end); // a command waits for the one before to hand over
    return true;
}
bool Cog::execXINIT(std::uint32_t i) { return execStreamer<Op::XINIT>(i); }
bool Cog::execXZERO(std::uint32_t i) { return execStreamer<Op::XZERO>(i); }
bool Cog::execXCONT(std::uint32_t i) { return execStreamer<Op::XCONT>(i); }

bool Cog::execSETDACS(std::uint32_t i)
{
    m_streamer->setDacs(dImm(i, immDAlone(i)), m_time);
    return true;
}
bool Cog::execSETXFRQ(std::uint32_t i)
{
    m_streamer->setFrequency(dImm(i, immDAlone(i)), m_time);
    return true;
}

// GETXACC: the Goertzel cosine sum to D, the sine sum to the next S (and Q).
bool Cog::execGETXACC(std::uint32_t instr)
{
    const Streamer::Acc a = m_streamer->getxacc(m_time);
    result(instr, a.cos);
    m_q = a.sin;
    m_scaValid = true;
    m_scaValue = a.sin;
    prefix();
    return true;
}

bool Cog::execSETCY(std::uint32_t i)
{
    m_streamer->setColor(ColorReg::Cy, dImm(i, immDAlone(i)), m_time);
    return true;
}
bool Cog::execSETCI(std::uint32_t i)
{
    m_streamer->setColor(ColorReg::Ci, dImm(i, immDAlone(i)), m_time);
    return true;
}
bool Cog::execSETCQ(std::uint32_t i)
{
    m_streamer->setColor(ColorReg::Cq, dImm(i, immDAlone(i)), m_time);
    return true;
}
bool Cog::execSETCFRQ(std::uint32_t i)
{
    m_streamer->setColor(ColorReg::Cfrq, dImm(i, immDAlone(i)), m_time);
    return true;
}
bool Cog::execSETCMOD(std::uint32_t i)
{
    m_streamer->setColor(ColorReg::Cmod, dImm(i, immDAlone(i)), m_time);
    return true;
}

} // namespace kivo::sim
