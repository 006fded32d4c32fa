#include "chip/cog.h"

#include "chip/chip.h"
#include "chip/cordic.h"
#include "chip/exec.h"
#include "chip/fifo.h"
#include "chip/pins.h"
#include "chip/pixel.h"
#include "chip/streamer.h"

#include <bit>
#include <cstdio>
#include <string>

namespace kivo::sim {

namespace {

constexpr Clock kLoadClocks = 534;
// An instruction whose condition fails, or SKIP passes over.
constexpr int kCancelledClocks = 2;
constexpr Clock kStartClocks = 30;

// Per-op operand traits, from the table's operand forms.
struct Traits {
    bool immS = false; // has {#}S (I bit 18)
    bool immD = false; // has {#}D (L bit 19, or bit 18 when D is the only operand)
    bool dAlone = false;
};

const std::array<Traits, std::size_t(Op::Count)> &traits()
{
    static const auto table = [] {
        std::array<Traits, std::size_t(Op::Count)> t{};
        int n = 0;
        const OpInfo *rows = opTable(&n);
        for (int i = 0; i < n; ++i) {
            Traits &tr = t[std::size_t(rows[i].op)];
            tr.immS = hasImmS(rows[i].operands);
            tr.immD = hasImmD(rows[i].operands);
            tr.dAlone = rows[i].operands == OperandForm::ImmD;
        }
        return t;
    }();
    return table;
}

constexpr std::uint32_t kDIRA = 0x1FA, kINA = 0x1FE;

// Whether the instruction's D or S register is in $1F8..$1FF (the pointers,
// the pins' DIR, OUT and IN, IJMP0/IRET0).
bool specialRegisters(Op op, std::uint32_t instr)
{
    const std::uint32_t dF = instr >> 9 & 0x1FF, sF = instr & 0x1FF;
    const unsigned regs = kRegisterFields[std::size_t(op)];
    return ((regs & 1) && dF >= 0x1F8) || ((regs & 2) && sF >= 0x1F8 && !(instr >> 18 & 1));
}

// The executor's handlers by op: in hub exec the FIFO ops fault instead.
using HandlerTable = std::array<bool (Cog::*)(std::uint32_t), std::size_t(Op::Count)>;

// The fast path runs the cog-exec handlers in hub exec too, so no plain op
// may be one that hub exec refuses.
static_assert([] {
    for (std::size_t i = 0; i < std::size_t(Op::Count); ++i)
        if (kPlainOps[i] && kFifoInUseInHubExec[i])
            return false;
    return true;
}());

} // namespace

Cog::Cog(Chip &chip, Hub &hub, Pins &pins, Cordic &cordic, int id)
    : m_chip(chip), m_hub(hub), m_pins(pins), m_cordic(cordic), m_id(id)
{
    m_fifo = std::make_unique<Fifo>(hub, id);
    m_streamer = std::make_unique<Streamer>(id, pins, *m_fifo, m_lut.data());
    m_streamer->setPinOutputHook([this](std::uint64_t, Clock at) { outputsChanged(at); });
    m_streamer->setScopeSource([this](Clock t) { return m_chip.scope(t); });
    (void)traits();
}

Cog::~Cog() = default;

void Cog::start(bool load, std::uint32_t addr, std::uint32_t ptra, Clock at)
{
    m_reg.fill(0);
    if (load)
        for (std::uint32_t i = 0; i < 0x1F8; ++i)
            m_reg[i] = m_hub.readLong(addr + 4 * i);
    m_reg[kPTRA] = ptra;
    m_reg[kPTRB] = addr;
    // The decode cache is keyed on raw values: store the complement of
    // what each long holds so that every entry decodes afresh.
    for (std::uint32_t i = 0; i < 512; ++i) {
        m_decoded[i].raw = ~m_reg[i];
        m_decoded[512 + i].raw = ~m_lut[i];
    }
    m_pc = load ? 0 : (addr & 0xFFFFF);
    m_startedHub = m_pc >= 0x400;
    m_reg[kINA] = 0x1F8; // IJMP0: the debug ISR entry routine
    m_debug = Debug{};
    if (m_chip.debugEnabled(m_id)) // a debug-enabled cog takes a debug interrupt on each COGINIT
        m_debug.pending = m_debug.watch = m_debug.coginitDue = true;
    m_c = m_z = false;
    m_stack.fill(0);
    m_augsValid = m_augdValid = false;
    m_q = 0;
    m_qFresh = 0;
    m_qDirect = false;
    m_altActive = false;
    m_altR = -1;
    m_scaValid = false;
    m_repActive = false;
    m_skip = 0;
    m_skipCallDepth = 0;
    m_xbyteMode = 0;
    m_xbyteOnce = -1;
    m_ctEventAt.fill(kNever);
    m_ct.fill(0);
    m_flags = 0;
    m_se.fill(0);
    m_intSource.fill(0);
    m_isrActive.fill(false);
    m_stalli = false;
    m_shield = false;
    m_anyInt = false;
    m_lutShare = false;
    m_waiting = false;
    m_waitPins = 0;
    m_dirOut = {0, 0};
    m_pixV = m_pixM = 0;
    m_fbwSeen = m_fifo->wraps();
    m_fifo->reset();
    m_streamer->reset(at);
    m_cordic.resetCog(m_id);
    m_streamerSince.fill(at);
    m_rndState = m_chip.cogRandomStart(m_id);
    // Start-up: loading 504 longs takes one per clock plus the pipeline
    // start; measured on a chip, COGINIT to the new cog's first GETCT is
    // 534..541 clocks by hub phase (the phase is in `at`).
    m_time = at + (load ? kLoadClocks : kStartClocks);
    if (m_pc >= 0x400)
        hubFetchReload(m_pc, m_time);
    m_running = true;
    m_restarted = m_inStep;
    outputsChanged(at);
    if (!m_inStep)
        m_chip.cogWoken(m_time);
}

void Cog::stop(Clock at)
{
    if (!m_running)
        return;
    m_running = false;
    // A stopped cog lets go of its pins; its registers keep their values.
    m_dirOut = {0, 0};
    m_pins.setCogOutputs(m_id, 0, 0, at);
    m_streamer->reset(at);
    m_cordic.resetCog(m_id);
}

void Cog::lutWriteFromPartner(std::uint32_t a, std::uint32_t v, Clock at)
{
    m_streamer->advance(at); // it reads the LUT lazily
    m_lut[a & 0x1FF] = v;
}

void Cog::attention(Clock at)
{
    m_flags |= 1u << EvAtn;
    if (m_running && m_waiting && m_time > at + 2)
        wake(at + 2);
}

void Cog::pinsTouched(std::uint64_t pins, Clock at)
{
    // Only writes that can reach the pins the wait reads.
    if (m_running && m_waitPins && m_time > at + 3 && (m_pins.reaching(m_waitPins) & pins))
        wake(at + 3);
}

void Cog::asyncBreak(Clock at)
{
    if (!(m_debug.arm >> 8 & 1) || m_debug.isr)
        return;
    m_debug.pending = m_debug.watch = true;
    if (m_running && m_waiting && m_time > at + 2)
        wake(at + 2);
}

void Cog::lockChanged(int lock, bool taken, Clock at)
{
    for (int n = 0; n < 4; ++n) {
        std::uint32_t cfg = m_se[std::size_t(n)];
        if ((cfg >> 6) != 0 || (cfg >> 4 & 3) == 0 || int(cfg & 15) != lock)
            continue;
        const int kind = int(cfg >> 4 & 3); // 1 rises, 2 falls, 3 changes
        if (kind == 3 || (kind == 1 && taken) || (kind == 2 && !taken)) {
            m_flags |= 1u << (EvSe1 + n);
            if (m_running && m_waiting && m_time > at + 2)
                wake(at + 2);
        }
    }
}

// ---- registers ----

std::uint32_t Cog::readIn(std::uint32_t a)
{
    if (m_debug.isr && !m_debug.pinsAtIn)
        return m_reg[a]; // IJMP0/IRET0 in a debug ISR
    const Clock at = m_time >= 3 ? m_time - 3 : 0;
    const std::uint64_t in = m_pins.in(at);
    return a == kINA ? std::uint32_t(in) : std::uint32_t(in >> 32);
}

void Cog::outputsChanged(Clock at, Clock padAt)
{
    if (!m_running) {
        m_pins.setCogOutputs(m_id, 0, 0, at, padAt);
        return;
    }
    m_dirOut[0] = std::uint64_t(m_reg[kDIRA]) | std::uint64_t(m_reg[kDIRA + 1]) << 32;
    m_dirOut[1] = std::uint64_t(m_reg[kDIRA + 2]) | std::uint64_t(m_reg[kDIRA + 3]) << 32;
    m_pins.setCogOutputs(m_id, m_dirOut[0], m_dirOut[1] | m_streamer->pinOutputs(), at, padAt);
}

void Cog::lutWrite(std::uint32_t a, std::uint32_t v)
{
    a &= 0x1FF;
    m_streamer->advance(m_time); // it reads the LUT lazily
    m_lut[a] = v;
    Cog &partner = m_chip.cog(m_id ^ 1);
    if (partner.lutShared() && partner.running())
        partner.lutWriteFromPartner(a, v, m_time);
    for (int n = 0; n < 4; ++n) {
        std::uint32_t cfg = m_se[std::size_t(n)];
        if ((cfg >> 4) == 0 && (cfg >> 2 & 3) == 1 && a == (0x1FC | (cfg & 3)))
            m_flags |= 1u << (EvSe1 + n);
    }
}

// ---- stack and branches ----

void Cog::push(std::uint32_t v)
{
    for (int i = 7; i > 0; --i)
        m_stack[std::size_t(i)] = m_stack[std::size_t(i - 1)];
    m_stack[0] = v;
}

std::uint32_t Cog::pop()
{
    std::uint32_t v = m_stack[0];
    for (int i = 0; i < 7; ++i)
        m_stack[std::size_t(i)] = m_stack[std::size_t(i + 1)];
    return v;
}

// ---- hub exec's FIFO ----
//
// The FIFO has cogs + 11 = 19 stages. In hub exec it loads whenever fewer
// than cogs + 7 = 15 are filled, then a few more, up to all 19: a long per
// clock once the cog's hub window meets the slice of the next long. While it
// loads it has the window, and a RDxxxx/WRxxxx waits for its slice to come
// round again (8 clocks later), so these take 9..26 and 3..20 clocks in hub
// exec against 9..16 and 3..10 in cog exec; block moves yield to it long by
// long. After a branch the FIFO loads all 19 stages; the first instruction
// issues 9 clocks into that load, so that the slowest RDLONG/WRLONG right
// after a branch meets the documents' 26 and 20.
namespace {
constexpr Clock kReloadLead = 9;
} // namespace

void Cog::hubFetchReload(std::uint32_t target, Clock firstIssue)
{
    m_hubFetch.next = (target & ~3u) + 4 * kFifoStages;
    m_hubFetch.level = kFifoStages;
    m_hubFetch.busyFrom = firstIssue >= kReloadLead ? firstIssue - kReloadLead : 0;
    m_hubFetch.busyTo = m_hubFetch.busyFrom + kFifoStages;
}

void Cog::hubFetchRefill(Clock at)
{
    const int n = kFifoStages - m_hubFetch.level;
    m_hubFetch.busyFrom = at + Clock(Hub::slotWait(m_id, m_hubFetch.next, at));
    m_hubFetch.busyTo = m_hubFetch.busyFrom + Clock(n);
    m_hubFetch.next += 4 * std::uint32_t(n);
    m_hubFetch.level = kFifoStages;
}

int Cog::hubBlockWait(std::uint32_t addr, std::uint32_t n, Clock at) const
{
    Clock t = at + Clock(Hub::slotWait(m_id, addr, at));
    if (m_pc < 0x400 || t >= m_hubFetch.busyTo || t + n <= m_hubFetch.busyFrom)
        return int(t - at) + int(n - 1);
    for (std::uint32_t k = 0; k < n; ++k) {
        while (t >= m_hubFetch.busyFrom && t < m_hubFetch.busyTo)
            t += 8;
        if (k + 1 < n)
            ++t;
    }
    return int(t - at);
}

void Cog::retTo(std::uint32_t word, bool wc, bool wz, Op op)
{
    if (wc)
        m_c = word >> 31 & 1;
    if (wz)
        m_z = word >> 30 & 1;
    branch(word, op);
}

std::uint32_t Cog::relTarget9(std::uint32_t s) const
{
    const std::int32_t off = std::int32_t(sx(s, 9));
    return m_pc < 0x400 ? (std::uint32_t(std::int32_t(m_nextPc) + off) & 0x3FF)
                        : std::uint32_t(std::int32_t(m_nextPc) + off * 4);
}

bool Cog::faultHere(std::uint32_t instr, const char *what)
{
    m_chip.fault(m_id, m_pc, instr, what);
    m_running = false;
    return false;
}

// ---- events ----

void Cog::setCtTarget(int n, std::uint32_t target)
{
    m_ct[std::size_t(n)] = target;
    m_flags &= ~(1u << (EvCt1 + n));
    // The comparator passes when CT[31:0] reaches the target: the next clock
    // (after this instruction) with that low word.
    const Clock from = m_time + 2;
    const std::uint32_t low = std::uint32_t(from);
    Clock at = (from & ~Clock(0xFFFFFFFFu)) | target;
    if (target < low)
        at += Clock(1) << 32;
    m_ctEventAt[std::size_t(n)] = at;
}

bool Cog::pinEventNow(int n)
{
    const std::uint32_t cfg = m_se[std::size_t(n)];
    const int kind = int(cfg >> 6 & 7);
    if (kind == 0)
        return false;
    const int pin = int(cfg & 63);
    const Clock at = m_time >= 3 ? m_time - 3 : 0;
    const bool level = m_pins.in(at) >> pin & 1;
    const bool last = m_seLast[std::size_t(n)];
    m_seLast[std::size_t(n)] = level;
    switch (kind) {
    case 1:
        return level && !last;
    case 2:
        return !level && last;
    case 3:
        return level != last;
    case 4:
    case 5:
        return !level;
    default:
        return level;
    }
}

bool Cog::eventFlag(int ev)
{
    switch (ev) {
    case EvCt1:
    case EvCt2:
    case EvCt3: {
        const std::size_t n = std::size_t(ev - EvCt1);
        if (m_ctEventAt[n] <= m_time) {
            m_flags |= 1u << ev;
            m_ctEventAt[n] += Clock(1) << 32;
        }
        break;
    }
    case EvSe1:
    case EvSe2:
    case EvSe3:
    case EvSe4:
        if (pinEventNow(ev - EvSe1))
            m_flags |= 1u << ev;
        break;
    case EvPat: {
        const Clock at = m_time >= 3 ? m_time - 3 : 0;
        const std::uint64_t in = m_pins.in(at);
        const std::uint32_t port = m_patB ? std::uint32_t(in >> 32) : std::uint32_t(in);
        if (((port & m_patMask) == m_patMatch) == m_patEqual)
            m_flags |= 1u << ev;
        break;
    }
    case EvFbw:
        if (m_fifo->wraps() != m_fbwSeen)
            m_flags |= 1u << ev;
        break;
    case EvXmt:
    case EvXfi:
    case EvXro:
    case EvXrl: {
        m_streamer->advance(m_time);
        const std::size_t k = std::size_t(ev - EvXmt);
        if (m_streamer->occurred(StreamerEvent(int(k)), m_streamerSince[k]))
            m_flags |= 1u << ev;
        break;
    }
    default:
        break;
    }
    return m_flags >> ev & 1;
}

void Cog::clearEvent(int ev)
{
    m_flags &= ~(1u << ev);
    if (ev == EvFbw)
        m_fbwSeen = m_fifo->wraps();
    if (ev >= EvXmt && ev <= EvXrl)
        m_streamerSince[std::size_t(ev - EvXmt)] = m_time;
}

Clock Cog::eventWake(int ev)
{
    switch (ev) {
    case EvCt1:
    case EvCt2:
    case EvCt3:
        return m_ctEventAt[std::size_t(ev - EvCt1)];
    case EvSe1:
    case EvSe2:
    case EvSe3:
    case EvSe4: {
        const std::uint32_t cfg = m_se[std::size_t(ev - EvSe1)];
        if ((cfg >> 6) == 0)
            return kNever; // LUT and lock events come from other instructions
        [[fallthrough]];
    }
    case EvPat: {
        // The cog sees IN three clocks late: a change after the clock it
        // sampled shows three clocks after it happens, even one that came
        // before the cog's own clock.
        const Clock sampled = m_time >= 3 ? m_time - 3 : 0;
        Clock c = m_pins.nextChange(sampled, eventPins(ev));
        return c == kNever ? kNever : c + 3;
    }
    case EvFbw:
    case EvXmt:
    case EvXfi:
    case EvXro:
    case EvXrl: {
        Clock c = m_streamer->nextEvent(m_time);
        return c == kNever ? kNever : c + 1;
    }
    default:
        return kNever;
    }
}

std::uint64_t Cog::eventPins(int ev) const
{
    if (ev >= EvSe1 && ev <= EvSe4) {
        const std::uint32_t cfg = m_se[std::size_t(ev - EvSe1)];
        return (cfg >> 6) == 0 ? 0 : std::uint64_t(1) << (cfg & 63);
    }
    if (ev == EvPat)
        return m_patB ? std::uint64_t(m_patMask) << 32 : m_patMask;
    return 0;
}

Clock Cog::interruptWake()
{
    Clock wake = kNever;
    for (int ch = 0; ch < 3; ++ch) {
        if (m_intPending[std::size_t(ch)])
            return m_time;
        if (m_intSource[std::size_t(ch)])
            wake = std::min(wake, eventWake(m_intSource[std::size_t(ch)]));
    }
    return wake;
}

// ---- the debug interrupt ----

namespace {

// The execute-only ROM at $1F8..$1FF a debug ISR runs: save $000..$00F to
// the cog's hub area and load the debugger from the one above it, jump to
// $000; at $1FD restore $000..$00F and return (RETI0). The hub addresses are
// wider than S: the ROM's WRLONG/RDLONG take them as if after AUGS.
constexpr std::uint32_t kRomSetq = 0xFD641E28u;   // SETQ #$0F
constexpr std::uint32_t kRomWrlong = 0xFC640000u; // WRLONG 0,#addr
constexpr std::uint32_t kRomRdlong = 0xFB040000u; // RDLONG 0,#addr
constexpr std::uint32_t kRomJmp0 = 0xFD800000u;   // JMP #$000
constexpr std::uint32_t kRomReti0 = 0xFB3BFFFFu;  // CALLD INB,INB WCZ

std::uint32_t debugSaveArea(int cog) { return 0xFF800u + (std::uint32_t(~cog & 15) << 7); }

} // namespace

void Cog::checkDebug()
{
    if (m_debug.isr || m_shield || m_repActive || m_altActive || m_augsValid || m_augdValid || m_qFresh)
        return;
    bool due = m_debug.pending;
    if (!due && (m_debug.arm >> 10 & 1)) // K: the breakpoint address
        due = m_pc == (m_debug.arm >> 12 & 0xFFFFF);
    if (!due)
        return;
    // CALLD IRET0,IJMP0 WCZ into the pipeline; triggers are set again by a
    // BRK inside the ISR.
    m_reg[kINA + 1] = (m_c ? 0x80000000u : 0) | (m_z ? 0x40000000u : 0) | m_pc;
    m_pc = m_reg[kINA] & 0xFFFFF;
    m_time += branchCost(m_pc);
    m_debug.isr = true;
    m_debug.fromCoginit = m_debug.coginitDue;
    m_debug.coginitDue = false;
    m_debug.pending = false;
    m_debug.arm = 0;
    m_debug.pinsAtIn = false;
    m_debug.watch = false;
    m_hub.setDebugWriter(true);
}

// Single steps: a debug interrupt after each instruction of the code the
// last BRK chose (A: outside interrupts, B/C/D: in the INT1/2/3 ISR).
void Cog::debugAfterStep(bool wasIsr)
{
    if (wasIsr || m_debug.isr || !(m_debug.arm & 15))
        return;
    int level = 0;
    for (int ch = 0; ch < 3 && level == 0; ++ch)
        if (m_isrActive[std::size_t(ch)])
            level = ch + 1;
    if (m_debug.arm >> level & 1)
        m_debug.pending = m_debug.watch = true;
}

void Cog::checkInterrupts()
{
    if (m_debug.isr)
        return; // the debug ISR has them all waiting
    if (m_stalli || m_shield || m_repActive || m_altActive || m_augsValid || m_augdValid || m_qFresh)
        return;
    for (int ch = 0; ch < 3; ++ch) {
        // INT1 (ch 0) is highest; a channel may interrupt only lower ones.
        bool blocked = false;
        for (int k = 0; k <= ch; ++k)
            if (m_isrActive[std::size_t(k)])
                blocked = true;
        const int src = m_intSource[std::size_t(ch)];
        if (src != 0 && eventFlag(src)) {
            m_intPending[std::size_t(ch)] = true;
            clearEvent(src);
        }
        if (blocked || !m_intPending[std::size_t(ch)])
            continue;
        m_intPending[std::size_t(ch)] = false;
        m_isrActive[std::size_t(ch)] = true;
        m_flags |= 1u << EvInt;
        // CALLD IRETx, IJMPx: IJMP3=$1F0 IRET3=$1F1, IJMP2=$1F2 ... IJMP1=$1F4.
        const std::uint32_t ijmp = 0x1F4 - 2 * std::uint32_t(ch);
        m_reg[ijmp + 1] = (m_c ? 0x80000000u : 0) | (m_z ? 0x40000000u : 0) | m_pc;
        m_pc = m_reg[ijmp] & 0xFFFFF;
        m_time += branchCost(m_pc);
        if (m_pc >= 0x400)
            hubFetchReload(m_pc, m_time);
        if (m_debug.arm >> (5 + ch) & 1) // F/G/H: a debug interrupt on entering this ISR
            m_debug.pending = m_debug.watch = true;
        return;
    }
}

// ---- the run loop ----

void Cog::trace(std::uint32_t pc, std::uint32_t instr, bool executed)
{
    TraceEntry e;
    e.clock = m_time;
    e.cog = m_id;
    e.pc = pc;
    e.instr = instr;
    e.executed = executed;
    e.augs = m_augsValid ? std::int64_t(m_augs) : -1;
    e.augd = m_augdValid ? std::int64_t(m_augd) : -1;
    m_chip.traceInstruction(e);
}

void Cog::xbyte()
{
    // Fetch the bytecode from the FIFO, look up its EXECF long in the LUT
    // by the mode's table, PA = bytecode, PB = the FIFO pointer, optional
    // C/Z from the index, then EXECF. The stack keeps $1FF on top.
    const std::uint32_t mode = m_xbyteOnce >= 0 ? std::uint32_t(m_xbyteOnce) : m_xbyteMode;
    m_xbyteOnce = -1;
    m_streamer->advance(m_time);
    const std::uint32_t b = m_fifo->read(Fifo::Size::Byte, m_time).value & 0xFF;
    std::uint32_t index = b, addr = 0;
    const bool high = mode >> 1 & 1;
    switch (mode >> 2 & 3) {
    case 0: { // 8 bits, with %BBBB compressing the upper sets of 16
        const std::uint32_t base = (mode >> 8 & 1) << 8, sets = mode >> 4 & 15;
        if (sets == 0 || (b >> 4) < sets) {
            index = b;
            addr = base | b;
        } else {
            index = (b >> 4) - sets;
            addr = base | sets << 4 | index;
        }
        break;
    }
    case 1:
        if (mode >> 4 & 1) { // 6 bits
            index = high ? b >> 2 : b & 0x3F;
            addr = (mode >> 6 & 7) << 6 | index;
        } else { // 7 bits
            index = high ? b >> 1 : b & 0x7F;
            addr = (mode >> 7 & 3) << 7 | index;
        }
        break;
    case 2: // 5 bits
        index = high ? b >> 3 : b & 0x1F;
        addr = (mode >> 5 & 15) << 5 | index;
        break;
    default: // 4 bits
        index = high ? b >> 4 : b & 0xF;
        addr = (mode >> 4 & 31) << 4 | index;
        break;
    }
    m_reg[0x1F6] = b;
    const std::uint32_t d = m_lut[addr & 0x1FF];
    m_reg[0x1F7] = m_fifo->pointer();
    if (mode & 1) {
        m_c = index >> 1 & 1;
        m_z = index & 1;
    }
    m_skip = d >> 10;
    m_skipFast = true;
    m_skipRun = 0;
    m_skipFirst = true;
    m_skipCallDepth = 0;
    m_nextPc = d & 0x3FF;
    m_branched = true;
    m_repActive = false;
}

void Cog::wake(Clock at)
{
    m_time = at;
    m_chip.cogWoken(at);
}

bool Cog::run(Clock until, Clock sharedUntil)
{
    m_sharedUntil = sharedUntil;
    m_hub.setDebugWriter(m_debug.isr);
    while (m_running && m_time < until) {
        if (quiet()) {
            // A branch to the other exec mode goes on in the other loop.
            const Step s = m_pc < 0x400 ? runPlain<false>(until) : runPlain<true>(until);
            if (s == Step::Fault)
                return false;
            if (s == Step::Yield || m_time >= until)
                break;
            if (s == Step::Switched)
                continue;
        }
        const Step s = step();
        if (s == Step::Fault)
            return false;
        if (s == Step::Yield)
            break;
    }
    return true;
}

inline Cog::Handler Cog::handler(Op op, bool hubExec)
{
    static constexpr HandlerTable kCogExec = {
#define KIVO_OP(name) &Cog::exec##name,
#include "chip/isa/ops.inc"
#undef KIVO_OP
        &Cog::execInvalid,
    };
    static constexpr HandlerTable kHubExec = [] {
        HandlerTable t = kCogExec;
        for (std::size_t i = 0; i < t.size(); ++i)
            if (kFifoInUseInHubExec[i])
                t[i] = &Cog::execFifoInHubExec;
        return t;
    }();
    return (hubExec ? kHubExec : kCogExec)[std::size_t(op)];
}

Cog::FastHandler Cog::fastHandler(Op op)
{
    static constexpr std::array<FastHandler, std::size_t(Op::Count)> kTable = {
#define KIVO_OP(name) &Cog::callHandler<&Cog::exec##name>,
#include "chip/isa/ops.inc"
#undef KIVO_OP
        &Cog::callHandler<&Cog::execInvalid>,
    };
    return kTable[std::size_t(op)];
}

Cog::FastHandler Cog::quietHandler(Op op)
{
    if (FastHandler h = quietAluHandler(op))
        return h;
    if (FastHandler h = quietBranchHandler(op))
        return h;
    return quietHubHandler(op);
}

bool Cog::quietWherePlain(Op op) { return !kPlainOps[std::size_t(op)] || quietHandler(op); }

void Cog::decodeOp(Decoded &d, std::uint32_t instr, bool hubExec)
{
    d.op = decode(instr);
    const std::size_t i = std::size_t(d.op);
    // A shared op, or one on the special registers, runs only before the
    // other cogs' clock; RDLUT only while the paired cog may write the LUT.
    const bool special = specialRegisters(d.op, instr);
    d.waits = special || (kSharedOps[i] && d.op != Op::RDLUT) ? Waits::Always
              : d.op == Op::RDLUT                             ? Waits::WhileLutShared
                                                              : Waits::No;
    d.cost = std::uint8_t(hubExec ? kHubClocks[i] : kCogClocks[i]);
    // _RET_ (condition 0) is step()'s, except on NOP (all zero). No plain op
    // is one hub exec refuses (the FIFO's). The quiet handler where the
    // register fields allow.
    const bool plain = kPlainOps[i] && (instr >> 28 != 0 || d.op == Op::NOP);
    FastHandler quiet = plain && !special ? quietHandler(d.op) : nullptr;
    d.fast = quiet ? quiet : plain ? fastHandler(d.op) : nullptr;
}

void Cog::predecode(Decoded &d, std::uint32_t instr)
{
    d.raw = instr;
    decodeOp(d, instr, false);
}

void Cog::hubPredecode(HubDecoded &h, std::uint32_t pc, std::uint32_t instr)
{
    h.addr = pc;
    h.raw = instr;
    decodeOp(h, instr, true);
}

inline Cog::HubDecoded &Cog::hubDecoded(std::uint32_t pc, std::uint32_t instr)
{
    HubDecoded &h = m_hubDecoded[(pc >> 2) & 4095];
    if (h.addr != pc || h.raw != instr) [[unlikely]]
        hubPredecode(h, pc, instr);
    return h;
}

template <bool HubExec> Cog::Step Cog::runPlain(Clock until)
{
    // What step() does for a plain op when quiet() holds; plain ops leave
    // quiet() true, so it is not looked at again. Counted locally: the
    // count is only read between batches.
    std::uint64_t executed = 0;
    Step result = Step::Done;
    while (m_time < until) {
        const std::uint32_t pc = m_pc;
        std::uint32_t instr;
        const Decoded *d;
        if constexpr (!HubExec) {
            instr = pc < 0x200 ? m_reg[pc] : m_lut[pc - 0x200];
            Decoded &c = m_decoded[pc];
            if (c.raw != instr) [[unlikely]]
                predecode(c, instr);
            d = &c;
        } else {
            instr = m_hub.readLong(pc);
            d = &hubDecoded(pc, instr);
        }
        // step() yields here too (quiet: no interrupt or debug entry first).
        // Most ops wait for nobody: that test comes first.
        if (d->waits != Waits::No && m_time >= m_sharedUntil && yieldsFor(d->waits)) {
            result = Step::Yield;
            break;
        }
        const FastHandler fast = d->fast;
        if (!fast)
            break;
        if constexpr (HubExec) {
            m_nextPc = (pc + 4) & 0xFFFFF;
            // In hub exec a branch to the next long reloads the FIFO too.
            m_branched = false;
            hubFetchConsume(m_time); // run or cancelled, it takes its long from the FIFO
        } else {
            m_nextPc = (pc + 1) & 0x3FF;
        }
        const unsigned cond = instr >> 28;
        if (cond == 0xF || cond == 0 || condMet(cond, m_c, m_z)) { // condition 0 here: NOP
            m_cost = d->cost;
            if (!fast(*this, instr)) [[unlikely]] {
                result = Step::Fault;
                break;
            }
            ++executed;
            m_time += Clock(m_cost);
        } else {
            m_time += kCancelledClocks;
        }
        m_pc = m_nextPc;
        if constexpr (HubExec) {
            // Sequential hub exec can run on into cog RAM past $FFFFF.
            if (m_branched || m_pc < 0x400) [[unlikely]] {
                if (m_branched && m_pc >= 0x400)
                    hubFetchReload(m_pc, m_time);
                if (m_pc < 0x400) {
                    result = Step::Switched;
                    break;
                }
            }
        } else if (m_pc >= 0x400) [[unlikely]] {
            // Only a branch leaves cog and LUT RAM.
            hubFetchReload(m_pc, m_time);
            result = Step::Switched;
            break;
        }
    }
    m_executed += executed;
    return result;
}

// SKIP/SKIPF: the instruction is skipped when the pattern's LSB is set.
bool Cog::skipped(std::uint32_t pc, std::uint32_t instr)
{
    const bool skipIt = m_skip & 1;
    m_skip >>= 1;
    if (!skipIt) {
        m_skipRun = 0;
        m_skipFirst = false;
        return false;
    }
    if (m_tracing)
        trace(pc, instr, false);
    // SKIPF steps over (no clocks) except the first after SKIPF and every
    // 8th in a row; SKIP cancels (2 clocks).
    ++m_skipRun;
    int cost = kCancelledClocks;
    if (m_skipFast && pc < 0x400 && !m_skipFirst && (m_skipRun % 8) != 0)
        cost = 0;
    m_skipFirst = false;
    m_time += Clock(cost);
    m_pc = m_nextPc;
    if (m_repActive && m_pc == m_repEnd) {
        if (m_repLeft == 0 || --m_repLeft != 0)
            m_pc = m_repStart;
        else
            m_repActive = false;
    }
    return true;
}

// An instruction whose condition fails.
void Cog::cancel(std::uint32_t instr, Op op)
{
    // It still takes its AUG value if it would use one.
    const Traits &t = traits()[std::size_t(op)];
    if (m_augsValid && t.immS && (instr >> 18 & 1))
        m_augsValid = false;
    if (m_augdValid && t.immD && (instr >> (t.dAlone ? 18 : 19) & 1))
        m_augdValid = false;
    m_qFresh = 0;
    m_qDirect = false;
    m_altR = -1;
    m_scaValid = false;
    m_shield = false;
}

// _RET_: return after an instruction that did not branch.
void Cog::retPrefix(Op op)
{
    if ((m_stack[0] & 0xFFFFF) == 0x1FF) {
        // A return to $1FF runs XBYTE; _RET_ SETQ/SETQ2 set its mode.
        if (op == Op::SETQ)
            m_xbyteMode = m_q & 0x1FF;
        else if (op == Op::SETQ2)
            m_xbyteOnce = int(m_q & 0x1FF);
        xbyte();
        m_cost += kXbyteClocks - kRetCogClocks;
        return;
    }
    const std::uint32_t w = pop();
    m_nextPc = w & 0xFFFFF;
    m_branched = true;
    m_cost += m_nextPc < 0x400 ? kRetCogClocks : kRetHubClocks + hubBranchWait(m_nextPc);
    m_repActive = false;
    if (m_skipCallDepth > 0 && --m_skipCallDepth == 0) {
        m_skip = m_skipSaved;
        m_skipFast = m_skipSavedFast;
    }
}

Cog::Step Cog::step()
{
    const bool wasIsr = m_debug.isr;
    if (m_debug.watch) [[unlikely]] {
        const std::uint32_t before = m_pc;
        checkDebug();
        if (m_pc != before || m_debug.isr != wasIsr) {
            m_waiting = false;
            m_waitPins = 0;
        }
    }
    if (m_anyInt) [[unlikely]] {
        // A waiting cog takes interrupts too; the wait runs again after RETI.
        const bool waiting = m_waiting;
        const std::uint32_t before = m_pc;
        m_waiting = false;
        checkInterrupts();
        if (m_pc == before)
            m_waiting = waiting;
        else
            m_waitPins = 0;
    }
    const std::uint32_t pc = m_pc;
    std::uint32_t instr;
    Op op;
    bool waits;
    if (pc < 0x400) {
        instr = pc < 0x200 ? m_reg[pc] : m_lut[pc - 0x200];
        if (pc >= 0x1F8 && pc < 0x200 && m_debug.isr) [[unlikely]] {
            static constexpr std::uint32_t kRom[8] = {kRomSetq, kRomWrlong, kRomSetq,   kRomRdlong,
                                                      kRomJmp0, kRomSetq,   kRomRdlong, kRomReti0};
            instr = kRom[pc - 0x1F8];
            const std::uint32_t area = debugSaveArea(m_id) + (pc == 0x1FB ? 0x40 : 0);
            if (pc == 0x1F9 || pc == 0x1FB || pc == 0x1FE) {
                instr |= area & 0x1FF;
                m_augs = area & ~0x1FFu;
                m_augsValid = true;
            }
        }
        Decoded &d = m_decoded[pc];
        if (d.raw != instr) [[unlikely]]
            predecode(d, instr);
        op = d.op;
        waits = yieldsFor(d.waits);
        m_nextPc = (pc + 1) & 0x3FF;
    } else {
        instr = m_hub.readLong(pc);
        const HubDecoded &h = hubDecoded(pc, instr);
        op = h.op;
        waits = yieldsFor(h.waits);
        m_nextPc = (pc + 4) & 0xFFFFF;
    }
    // Shared effects wait for the other cogs to catch up: an instruction that
    // touches them, or the pin/pointer registers, runs only before the next
    // other cog's clock.
    if (m_time >= m_sharedUntil && (waits || m_anyInt || m_altActive))
        return Step::Yield;
    // In hub exec every instruction, run, cancelled or skipped, takes a long
    // from the FIFO (a WAITxxx looking again does not).
    if (pc >= 0x400 && !m_waiting)
        hubFetchConsume(m_time);
    if (m_altActive) [[unlikely]] {
        instr = (instr & ~m_altClear) | m_altSet;
        op = decode(instr);
        m_altActive = false;
    }
    m_branched = false;
    m_prefixSeen = false;
    m_cost = kCancelledClocks;

    if (m_skip && !m_isrActive[0] && !m_isrActive[1] && !m_isrActive[2] && !m_debug.isr && skipped(pc, instr))
        [[unlikely]]
        return Step::Done;

    const unsigned cond = instr >> 28;
    const bool execute = op == Op::NOP || cond == 0 || condMet(cond, m_c, m_z);
    if (m_tracing) [[unlikely]]
        trace(pc, instr, execute);
    if (!execute) {
        // BRK asks for its debug interrupt whatever its condition.
        if (op == Op::BRK && !m_debug.isr && (m_debug.arm >> 4 & 1))
            m_debug.pending = m_debug.watch = true;
        cancel(instr, op);
    } else {
        m_shield = false;
        const bool hubExec = pc >= 0x400;
        m_cost = hubExec ? kHubClocks[std::size_t(op)] : kCogClocks[std::size_t(op)];
        m_inStep = true;
        const bool ok = (this->*handler(op, hubExec))(instr);
        m_inStep = false;
        if (!ok)
            return Step::Fault;
        if (m_restarted) {
            m_restarted = false;
            return Step::Done;
        }
        if (m_waiting)
            return Step::Done; // re-executed when its wait may end
        ++m_executed;
        if (!m_prefixSeen) {
            m_qFresh = 0;
            m_qDirect = false;
            m_altR = -1;
        }
        if (cond == 0 && op != Op::NOP && !m_branched)
            retPrefix(op);
    }
    m_time += Clock(m_cost);
    m_pc = m_nextPc;
    if (m_branched && m_pc >= 0x400)
        hubFetchReload(m_pc, m_time);
    if (m_debug.arm) [[unlikely]]
        debugAfterStep(wasIsr);
    if (m_repActive && !m_branched && m_pc == m_repEnd) {
        if (m_repLeft == 0 || --m_repLeft != 0) {
            m_pc = m_repStart;
            if (m_repStart >= 0x400) {
                m_time += kHubTakenClocks[std::size_t(Op::JMP)]; // the hidden jump back in hub exec
                hubFetchReload(m_pc, m_time);
            }
        } else {
            m_repActive = false;
        }
    }
    return Step::Done;
}

} // namespace kivo::sim
