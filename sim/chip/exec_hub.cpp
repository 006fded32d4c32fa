// Hub handlers: hub RAM reads and writes (with PTRx expressions and SETQ
// blocks), the LUT, and the hub's cog, clock and lock control. Their base
// clocks come from the table; the hub slot wait is added here.
#include "chip/cordic.h"
#include "chip/exec.h"
#include "chip/pins.h"

namespace kivo::sim {

// Hub address from S/#/PTRx with its update: `scale` bytes per index.
// Inlined: every hub access and LUT access works one out.
[[gnu::always_inline]] inline Cog::HubAddr Cog::hubAddr(std::uint32_t instr, std::uint32_t scale)
{
    HubAddr h;
    if (!immSBit(instr)) {
        h.addr = readReg(sField(instr));
        if (m_scaValid) {
            h.addr = m_scaValue;
            m_scaValid = false;
        }
        return h;
    }
    const bool aug = m_augsValid;
    std::uint32_t v = sImm(instr);
    if (!aug) {
        if (!(v & 0x100)) {
            h.addr = v;
            return h;
        }
        // %1SUPNNNNN: S = PTRB, U = update, P = post-modify.
        const int ptr = int(v >> 7 & 1);
        const bool upd = v >> 6 & 1;
        const std::uint32_t base = m_reg[kPTRA + std::uint32_t(ptr)];
        if (!upd) {
            h.addr = base + std::uint32_t(std::int32_t(sx(v, 6)) * std::int32_t(scale));
            return h;
        }
        std::int32_t idx = std::int32_t(sx(v, 5));
        if (idx == 0)
            idx = 16;
        const bool post = v >> 5 & 1;
        h.post = post;
        const std::uint32_t next = base + std::uint32_t(idx * std::int32_t(scale));
        h.addr = post ? base : next;
        h.ptr = ptr;
        h.ptrNew = next;
        h.update = true;
        h.dir = idx < 0 ? -1 : 1;
        return h;
    }
    if (!(v & 0x800000)) {
        h.addr = v;
        return h;
    }
    const int ptr = int(v >> 22 & 1);
    const bool upd = v >> 21 & 1;
    const bool post = v >> 20 & 1;
    h.post = post;
    const std::int32_t idx = std::int32_t(sx(v, 20));
    const std::uint32_t base = m_reg[kPTRA + std::uint32_t(ptr)];
    const std::uint32_t next = base + std::uint32_t(idx);
    if (!upd) {
        h.addr = next;
        return h;
    }
    h.addr = post ? base : next;
    h.ptr = ptr;
    h.ptrNew = next;
    h.update = true;
    h.dir = idx < 0 ? -1 : 1;
    return h;
}

// A block move (SETQ right before) moves PTRx by the block size; a
// pre-decrement then starts the block at the new PTRx (a stack pop).
void Cog::blockStart(HubAddr &h, std::uint32_t blockBytes)
{
    if (h.update && blockBytes && !h.post && h.dir < 0)
        h.addr = m_reg[kPTRA + std::uint32_t(h.ptr)] - blockBytes;
}

void Cog::applyPtr(const HubAddr &h, std::uint32_t blockBytes)
{
    if (!h.update)
        return;
    std::uint32_t v = h.ptrNew;
    if (blockBytes) {
        const std::uint32_t base = m_reg[kPTRA + std::uint32_t(h.ptr)];
        v = base + std::uint32_t(h.dir * std::int32_t(blockBytes));
    }
    m_reg[kPTRA + std::uint32_t(h.ptr)] = v;
}

// ---- hub RAM ----

template <Op op> bool Cog::execRead(std::uint32_t instr)
{
    constexpr std::uint32_t scale = op == Op::RDBYTE ? 1 : op == Op::RDWORD ? 2 : 4;
    const bool block = op == Op::RDLONG && m_qFresh != 0;
    const bool direct = m_qDirect;
    const int qKind = m_qFresh;
    HubAddr h = hubAddr(instr, scale);
    const std::uint32_t first = h.addr; // the slot waited for (before a block's pre-decrement)
    const int wait = hubWindowWait(first, m_time);
    if (block) {
        // SETQ: into registers, SETQ2: into the LUT; one more clock per long.
        const std::uint32_t n = (m_q & 0x1FF) + 1;
        if (direct)
            blockStart(h, 4 * n);
        m_cost += hubBlockWait(first, n, m_time); // before the writes, as for a single read
        for (std::uint32_t k = 0; k < n; ++k) {
            const std::uint32_t v = m_hub.readLong(h.addr + 4 * k);
            if (qKind == 2)
                lutWrite((dField(instr) + k) & 0x1FF, v);
            else
                writeReg((dField(instr) + k) & 0x1FF, v);
        }
        applyPtr(h, direct ? 4 * n : 0);
        return true;
    }
    const std::uint32_t v = scale == 1   ? m_hub.readByte(h.addr)
                            : scale == 2 ? m_hub.readWord(h.addr)
                                         : m_hub.readLong(h.addr);
    applyPtr(h, 0);
    m_cost += wait; // before the result: a read into OUTx reaches the pins after the whole read
    result(instr, v);
    flags(instr, v >> (scale * 8 - 1) & 1, v == 0);
    return true;
}
bool Cog::execRDBYTE(std::uint32_t i) { return execRead<Op::RDBYTE>(i); }
bool Cog::execRDWORD(std::uint32_t i) { return execRead<Op::RDWORD>(i); }
bool Cog::execRDLONG(std::uint32_t i) { return execRead<Op::RDLONG>(i); }

template <Op op> bool Cog::execWrite(std::uint32_t instr)
{
    constexpr std::uint32_t scale = op == Op::WRBYTE ? 1 : op == Op::WRWORD ? 2 : 4;
    const bool immD = op == Op::WMLONG ? false : immDPair(instr);
    const bool block = (op == Op::WRLONG || op == Op::WMLONG) && m_qFresh != 0;
    const bool direct = m_qDirect;
    const int qKind = m_qFresh;
    const std::uint32_t dv = dImm(instr, immD);
    HubAddr h = hubAddr(instr, scale);
    const std::uint32_t first = h.addr; // the slot waited for (before a block's pre-decrement)
    const int wait = hubWindowWait(first, m_time);
    auto put = [&](std::uint32_t addr, std::uint32_t v) {
        if constexpr (op == Op::WMLONG) {
            for (int b = 0; b < 4; ++b) // zero bytes are left as they are
                if (v >> (8 * b) & 0xFF)
                    m_hub.writeByte(addr + std::uint32_t(b), std::uint8_t(v >> (8 * b)));
        } else if constexpr (scale == 1) {
            m_hub.writeByte(addr, std::uint8_t(v));
        } else if constexpr (scale == 2) {
            m_hub.writeWord(addr, std::uint16_t(v));
        } else {
            m_hub.writeLong(addr, v);
        }
    };
    if (block) {
        const std::uint32_t n = (m_q & 0x1FF) + 1;
        if (direct)
            blockStart(h, 4 * n);
        for (std::uint32_t k = 0; k < n; ++k) {
            std::uint32_t v;
            if (immD)
                v = dv; // an immediate fills the block
            else
                v = qKind == 2 ? m_lut[(dField(instr) + k) & 0x1FF] : readReg((dField(instr) + k) & 0x1FF);
            put(h.addr + 4 * k, v);
        }
        applyPtr(h, direct ? 4 * n : 0);
        m_cost += hubBlockWait(first, n, m_time);
        return true;
    }
    put(h.addr, dv);
    applyPtr(h, 0);
    m_cost += wait;
    return true;
}
bool Cog::execWRBYTE(std::uint32_t i) { return execWrite<Op::WRBYTE>(i); }
bool Cog::execWRWORD(std::uint32_t i) { return execWrite<Op::WRWORD>(i); }
bool Cog::execWRLONG(std::uint32_t i) { return execWrite<Op::WRLONG>(i); }
bool Cog::execWMLONG(std::uint32_t i) { return execWrite<Op::WMLONG>(i); }

// ---- the LUT ----

bool Cog::execRDLUT(std::uint32_t instr)
{
    HubAddr h = hubAddr(instr, 1);
    const std::uint32_t v = lutRead(h.addr);
    applyPtr(h, 0);
    result(instr, v);
    m_q = v;
    flags(instr, v >> 31, v == 0);
    return true;
}

bool Cog::execWRLUT(std::uint32_t instr)
{
    const std::uint32_t dv = dImm(instr, immDPair(instr));
    HubAddr h = hubAddr(instr, 1);
    lutWrite(h.addr, dv);
    applyPtr(h, 0);
    return true;
}

bool Cog::execSETLUTS(std::uint32_t i)
{
    m_lutShare = dImm(i, immDAlone(i)) & 1;
    return true;
}

// ---- cogs, clock, locks: these wait for the cog's hub slot ----

bool Cog::execCOGINIT(std::uint32_t instr)
{
    const std::uint32_t dv = dImm(instr, immDPair(instr)), s = sValue(instr);
    const std::uint32_t ptra = m_qFresh == 1 ? m_q : 0;
    if (m_qFresh != 1)
        m_q = 0;
    const int wait = Cordic::slotWait(m_id, m_time);
    const int started = m_chip.coginit(int(dv & 15), dv, s, ptra, m_time + Clock(wait));
    if (wcBit(instr)) {
        m_c = started < 0;
        if (!immDPair(instr))
            writeReg(dField(instr), started < 0 ? 0xF : std::uint32_t(started));
    }
    m_cost += wait + (wcBit(instr) ? kResultClocks[std::size_t(Op::COGINIT)] : 0);
    return true;
}

bool Cog::execCOGID(std::uint32_t instr)
{
    const std::uint32_t dv = dImm(instr, immDAlone(instr));
    const int wait = Cordic::slotWait(m_id, m_time);
    if (wcBit(instr))
        m_c = m_chip.cogRunning(int(dv & 7));
    else if (!immDAlone(instr))
        writeReg(dField(instr), std::uint32_t(m_id));
    m_cost += wait;
    return true;
}

bool Cog::execCOGSTOP(std::uint32_t instr)
{
    const std::uint32_t dv = dImm(instr, immDAlone(instr));
    const int wait = Cordic::slotWait(m_id, m_time);
    m_cost += wait;
    m_chip.cogstop(int(dv & 7), m_time + Clock(wait));
    return true;
}

bool Cog::execHUBSET(std::uint32_t instr)
{
    const std::uint32_t dv = dImm(instr, immDAlone(instr));
    const int wait = Cordic::slotWait(m_id, m_time);
    m_cost += wait;
    const std::uint32_t kind = dv >> 28;
    if (dv >> 31) {
        m_chip.seedRandom(dv);
    } else if (kind == 0) {
        std::string problem;
        if (!m_chip.setClockMode(dv, m_time + Clock(wait), &problem))
            return faultHere(instr, problem.c_str());
    } else if (kind == 1) {
        return faultHere(instr, "HUBSET reboot: the simulator does not restart the chip");
    } else if (kind == 2) {
        m_chip.setProtection(dv);
    } else if (kind == 4) {
        m_pins.setFilter(int(dv >> 7 & 3), int(dv >> 5 & 3), int(dv & 31), m_time + Clock(wait));
    }
    return true;
}

bool Cog::execLOCKNEW(std::uint32_t instr)
{
    const int n = m_chip.lockNew();
    if (wcBit(instr))
        m_c = n < 0;
    writeReg(dField(instr), n < 0 ? 0xF : std::uint32_t(n));
    m_cost += Cordic::slotWait(m_id, m_time);
    return true;
}

bool Cog::execLOCKRET(std::uint32_t instr)
{
    m_chip.lockRet(int(dImm(instr, immDAlone(instr)) & 15));
    m_cost += Cordic::slotWait(m_id, m_time);
    return true;
}

bool Cog::execLOCKTRY(std::uint32_t instr)
{
    const bool got = m_chip.lockTry(m_id, int(dImm(instr, immDAlone(instr)) & 15), m_time);
    if (wcBit(instr))
        m_c = got;
    m_cost += Cordic::slotWait(m_id, m_time) + (wcBit(instr) ? kResultClocks[std::size_t(Op::LOCKTRY)] : 0);
    return true;
}

bool Cog::execLOCKREL(std::uint32_t instr)
{
    int owner = 0;
    const bool held = m_chip.lockRel(m_id, int(dImm(instr, immDAlone(instr)) & 15), &owner, m_time);
    if (wcBit(instr)) {
        m_c = held;
        if (!immDAlone(instr))
            writeReg(dField(instr), std::uint32_t(owner));
    }
    m_cost += Cordic::slotWait(m_id, m_time) + (wcBit(instr) ? kResultClocks[std::size_t(Op::LOCKREL)] : 0);
    return true;
}

bool Cog::execCOGATN(std::uint32_t i)
{
    m_chip.attention(dImm(i, immDAlone(i)) & 0xFF, m_id, m_time);
    return true;
}

// The quiet fast-path handlers of this file's plain ops.
Cog::FastHandler Cog::quietHubHandler(Op op)
{
    switch (op) {
        KIVO_QUIET(WMLONG)
        KIVO_QUIET(RDLUT)
        KIVO_QUIET(RDBYTE)
        KIVO_QUIET(RDWORD)
        KIVO_QUIET(RDLONG)
        KIVO_QUIET(WRLUT)
        KIVO_QUIET(WRBYTE)
        KIVO_QUIET(WRWORD)
        KIVO_QUIET(WRLONG)
        KIVO_QUIET(SETLUTS)
    default:
        return nullptr;
    }
}

} // namespace kivo::sim
