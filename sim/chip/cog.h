#pragma once
// One cog: 512 registers, 512 LUT longs, the hardware stack, the ALTx/AUGx/
// SETQ state, REP, SKIP/SKIPF, events and interrupts. Instructions are
// predecoded (the op of each cog/LUT long is cached beside its raw value) and
// dispatched through a table of one small handler per op (chip/exec_*.cpp,
// by family); the cog runs a batch of instructions up to a clock the
// scheduler gives it.
#include "chip/hub.h"
#include "chip/isa.h"
#include "chip/time.h"

#include <array>
#include <cstdint>
#include <memory>

namespace kivo::sim {

class Chip;
class Pins;
class Cordic;
class Fifo;
class Streamer;

class Cog
{
public:
    Cog(Chip &chip, Hub &hub, Pins &pins, Cordic &cordic, int id);
    ~Cog();
    Cog(const Cog &) = delete;
    Cog &operator=(const Cog &) = delete;

    // COGINIT: `load` copies $000..$1F7 from hub `addr` and starts at $000;
    // otherwise starts at `addr`. PTRB = addr, PTRA = ptra.
    void start(bool load, std::uint32_t addr, std::uint32_t ptra, Clock at);
    void stop(Clock at);

    // Runs instructions that start before `until`; instructions that touch
    // what other cogs or the pins see only while they start before
    // `sharedUntil` (the next other cog's clock), so that those effects stay
    // in clock order across cogs. Returns false on a fault.
    bool run(Clock until, Clock sharedUntil = kNever);

    bool running() const { return m_running; }
    // The clock at which the next instruction starts (kNever when stopped).
    Clock time() const { return m_running ? m_time : kNever; }
    int id() const { return m_id; }

    std::uint32_t pc() const { return m_pc; }
    bool c() const { return m_c; }
    bool z() const { return m_z; }
    std::uint32_t reg(std::uint32_t a) const { return m_reg[a & 0x1FF]; }
    void setReg(std::uint32_t a, std::uint32_t v) { m_reg[a & 0x1FF] = v; }
    std::uint32_t lut(std::uint32_t a) const { return m_lut[a & 0x1FF]; }
    // A write by the paired cog while this cog shares its LUT (SETLUTS #1).
    void lutWriteFromPartner(std::uint32_t a, std::uint32_t v, Clock at);
    bool lutShared() const { return m_lutShare; }

    std::uint64_t outputsDir() const { return m_dirOut[0]; }
    std::uint64_t outputsOut() const { return m_dirOut[1]; }

    // A cog or a streamer wrote to `pins` at `at` (Pins::onCogWrite): a cog
    // waiting for a pin event looks again.
    void pinsTouched(std::uint64_t pins, Clock at);
    // The running cog ends its shared instructions before `clock` (another
    // cog woke up then).
    void limitShared(Clock clock)
    {
        if (clock < m_sharedUntil)
            m_sharedUntil = clock;
    }
    // Attention from another cog (COGATN).
    void attention(Clock at);
    // COGBRK from another cog's debug ISR.
    void asyncBreak(Clock at);
    // A hub lock changed state (for SETSEn lock events).
    void lockChanged(int lock, bool taken, Clock at);

    // Instructions executed, for benchmarks and the chip's total.
    std::uint64_t executed() const { return m_executed; }

    // Whether the fast path has a handler compiled for the quiet state for
    // `op`, where it runs the op at all (each exec_*.cpp lists its own).
    static bool quietWherePlain(Op op);

    // Trace every instruction (slow path).
    void setTracing(bool on) { m_tracing = on; }

    // The cog's own share of GETRND (Chip::setSeed).
    void seedRandom(std::uint32_t state) { m_rndState = state; }

    Fifo &fifo() { return *m_fifo; }
    Streamer &streamer() { return *m_streamer; }

private:
    // A cog/LUT long as decoded: keyed on its raw value, so that a write to
    // the long makes it decode afresh when it next runs.
    using FastHandler = bool (*)(Cog &, std::uint32_t instr);
    // Whether an instruction runs only before the other cogs' clock: a shared
    // op, or one that reads or writes $1F8..$1FF (the pointers, pins and
    // IJMP0/IRET0); RDLUT only while the paired cog may write the LUT.
    enum class Waits : std::uint8_t { No, Always, WhileLutShared };
    // What both decode caches keep of an instruction.
    struct Decoded {
        std::uint32_t raw = 0xFFFFFFFFu; // the long as decoded
        Op op = Op::Invalid;
        Waits waits = Waits::Always;
        std::uint8_t cost = 0;      // its base clocks in the cache's exec mode
        FastHandler fast = nullptr; // the fast path's handler; nullptr: step()'s
    };
    void decodeOp(Decoded &d, std::uint32_t instr, bool hubExec);
    static_assert(sizeof(Decoded) == 16, "a power of two: the fast path indexes the cache by PC");
    void predecode(Decoded &d, std::uint32_t instr);
    enum Event : int {
        EvInt = 0,
        EvCt1,
        EvCt2,
        EvCt3,
        EvSe1,
        EvSe2,
        EvSe3,
        EvSe4,
        EvPat,
        EvFbw,
        EvXmt,
        EvXfi,
        EvXro,
        EvXrl,
        EvAtn,
        EvQmt
    };

    // Done: step() takes the next instruction; Switched (the fast path's):
    // a branch crossed between cog and hub exec, the other fast loop goes on.
    enum class Step { Done, Switched, Yield, Fault };
    Step step();
    // Nothing pending that changes how the next instruction runs: no prefix
    // state, SKIP, REP, wait, interrupt, debug ISR or trace. Plain ops keep it so.
    bool quiet() const
    {
        return !m_debug.watch && !m_debug.isr && !m_debug.arm && !m_anyInt && !m_altActive && !m_skip && !m_tracing &&
               !m_repActive && !m_waiting && !m_shield && !m_augsValid && !m_augdValid && !m_scaValid && !m_qFresh &&
               !m_qDirect && m_altR == -1;
    }
    // The fast path: plain ops in cog/LUT exec and in hub exec while quiet()
    // holds, up to the first instruction step() has to take (Done), one it
    // would yield at, or a branch to the other exec mode (Switched).
    template <bool HubExec> Step runPlain(Clock until);
    void wake(Clock at);
    void trace(std::uint32_t pc, std::uint32_t instr, bool executed);
    void xbyte();
    bool faultHere(std::uint32_t instr, const char *what);

    // The executor: one handler per op (the table of them follows the op
    // list), returning false on a fault. The base clocks are set from the
    // instruction table before a handler runs; handlers add only the waits.
    using Handler = bool (Cog::*)(std::uint32_t instr);
#define KIVO_OP(name) bool exec##name(std::uint32_t instr);
#include "chip/isa/ops.inc"
#undef KIVO_OP
    bool execInvalid(std::uint32_t instr);
    static Handler handler(Op op, bool hubExec);
    // A handler as a plain function for the fast path.
    template <Handler h> static bool callHandler(Cog &cog, std::uint32_t instr) { return (cog.*h)(instr); }
    static FastHandler fastHandler(Op op);
    // The fast path's handler for a plain op whose register fields name
    // ordinary registers (below $1F8), run while quiet() holds: the op's own
    // handler, compiled knowing those facts, so that the prefix, ALTx and pin
    // register paths drop out of it. Each exec_*.cpp makes those of its ops
    // (quiet*Handler); nullptr where there is none.
    template <Op op, Handler h> static bool callQuiet(Cog &cog, std::uint32_t instr);
    static FastHandler quietHandler(Op op);
    static FastHandler quietAluHandler(Op op);
    static FastHandler quietBranchHandler(Op op);
    static FastHandler quietHubHandler(Op op);
    bool skipped(std::uint32_t pc, std::uint32_t instr);
    void cancel(std::uint32_t instr, Op op);
    void retPrefix(Op op);
    bool execFifoInHubExec(std::uint32_t instr);
    // Families of ops that differ by one step, instantiated per op.
    template <Op op> bool execShift(std::uint32_t instr);
    template <Op op> bool execAdd(std::uint32_t instr);
    template <Op op> bool execSub(std::uint32_t instr);
    template <Op op> bool execForce(std::uint32_t instr);
    template <Op op> bool execSum(std::uint32_t instr);
    template <Op op> bool execTestBit(std::uint32_t instr);
    template <Op op> bool execBit(std::uint32_t instr);
    template <Op op> bool execMux(std::uint32_t instr);
    template <Op op> bool execNeg(std::uint32_t instr);
    template <Op op> bool execSetField(std::uint32_t instr);
    template <Op op> bool execGetField(std::uint32_t instr);
    template <Op op> bool execRolField(std::uint32_t instr);
    template <Op op> bool execPix(std::uint32_t instr);
    template <Op op> bool execAlt(std::uint32_t instr);
    template <Op op> bool execDjz(std::uint32_t instr);
    template <Op op> bool execTjz(std::uint32_t instr);
    template <Op op> bool execCallPtr(std::uint32_t instr);
    template <Op op> bool execRetPtr(std::uint32_t instr);
    template <Op op> bool execAddrBranch(std::uint32_t instr);
    template <Op op> bool execRead(std::uint32_t instr);
    template <Op op> bool execWrite(std::uint32_t instr);
    template <Op op> bool execTestPin(std::uint32_t instr);
    template <Op op> bool execPinOut(std::uint32_t instr);
    template <Op op> bool execCordic(std::uint32_t instr);
    template <Op op> bool execFifoRead(std::uint32_t instr);
    template <Op op> bool execNumbered(std::uint32_t instr);
    template <Op op> bool execStreamer(std::uint32_t instr);

    // Operands and results (chip/exec.h).
    std::uint32_t sImm(std::uint32_t instr);
    std::uint32_t sValue(std::uint32_t instr);
    std::uint32_t dValue(std::uint32_t instr) { return readReg(instr >> 9 & 0x1FF); }
    std::uint32_t dImm(std::uint32_t instr, bool imm);
    void result(std::uint32_t instr, std::uint32_t v);
    void flags(std::uint32_t instr, bool c, bool z);
    void logicResult(std::uint32_t instr, std::uint32_t r, bool write);
    void jumpS(std::uint32_t instr, std::uint32_t s);
    void prefix();
    void enterCall();
    void waitUntil(Clock end);
    bool waitEvent(std::uint32_t instr, int ev);
    struct HubAddr {
        std::uint32_t addr = 0;
        int ptr = -1; // PTRA/PTRB updated
        std::uint32_t ptrNew = 0;
        bool update = false;
        bool post = false;
        std::int32_t dir = 0; // sign of the update (for block moves)
    };
    HubAddr hubAddr(std::uint32_t instr, std::uint32_t scale);
    void blockStart(HubAddr &h, std::uint32_t blockBytes);
    void applyPtr(const HubAddr &h, std::uint32_t blockBytes);

    std::uint32_t readReg(std::uint32_t a)
    {
        if (a < 0x1FE) [[likely]]
            return m_reg[a];
        return readIn(a);
    }
    void writeReg(std::uint32_t a, std::uint32_t v)
    {
        m_reg[a] = v;
        if (a >= 0x1FA && a < 0x1FE) [[unlikely]]
            outputsChanged(cellsLand(), padsLand());
    }
    // A DIR/OUT write reaches the smart-pin cells a clock after the
    // instruction ends and the pads three clocks after it: a 2-clock DRVH
    // issued at clock 0 resets or starts a smart pin at clock 3 (before the
    // next WYPIN lands at 4) and drives the pin from clock 5.
    Clock cellsLand() const { return m_time + Clock(m_cost) + 1; }
    Clock padsLand() const { return m_time + Clock(m_cost) + 3; }
    std::uint32_t readIn(std::uint32_t a);
    void outputsChanged(Clock at) { outputsChanged(at, at); }
    void outputsChanged(Clock at, Clock padAt);
    std::uint32_t lutRead(std::uint32_t a) const { return m_lut[a & 0x1FF]; }
    void lutWrite(std::uint32_t a, std::uint32_t v);

    void push(std::uint32_t v);
    std::uint32_t pop();
    void branch(std::uint32_t target, Op op = Op::JMP);
    std::uint32_t relTarget9(std::uint32_t s) const;
    // What a call saves: C, Z and the return address.
    std::uint32_t callWord() const { return (m_c ? 0x80000000u : 0) | (m_z ? 0x40000000u : 0) | (m_nextPc & 0xFFFFF); }
    void retTo(std::uint32_t word, bool wc, bool wz, Op op = Op::RET);
    int branchCost(std::uint32_t target, Op op = Op::JMP) const;
    int hubBranchWait(std::uint32_t target) const;
    // Hub exec: the FIFO fetching instructions (see hubFetch* in cog.cpp).
    void hubFetchReload(std::uint32_t target, Clock firstIssue);
    // An instruction takes a long from the FIFO; below the refill level,
    // once the last burst is over, it loads the rest.
    void hubFetchConsume(Clock at)
    {
        if (--m_hubFetch.level < kFifoRefillBelow && at >= m_hubFetch.busyTo) [[unlikely]]
            hubFetchRefill(at);
    }
    void hubFetchRefill(Clock at);
    static constexpr int kFifoStages = 19, kFifoRefillBelow = 15;
    // Clocks from `at` until the cog's hub window reaches the slice of
    // `addr` on a clock the FIFO leaves free (in hub exec it takes priority).
    int hubWindowWait(std::uint32_t addr, Clock at) const;
    // The same for a block of `n` longs from `addr`: clocks until the last
    // long has moved, from `at` (n - 1 more than hubWindowWait without the FIFO).
    int hubBlockWait(std::uint32_t addr, std::uint32_t n, Clock at) const;
    // XBYTE: a RET (or _RET_) to $1FF runs the next bytecode in 8 clocks.
    static constexpr int kXbyteClocks = 8;

    // Events
    bool eventFlag(int ev);
    void clearEvent(int ev);
    Clock eventWake(int ev);
    std::uint64_t eventPins(int ev) const; // the pins whose IN the event reads
    void setCtTarget(int n, std::uint32_t target);
    bool pinEventNow(int n);
    void checkInterrupts();
    // The debug interrupt: entry when a trigger is due, the step it watches.
    void checkDebug();
    void debugAfterStep(bool wasIsr);
    Clock interruptWake();

    Chip &m_chip;
    Hub &m_hub;
    Pins &m_pins;
    Cordic &m_cordic;
    int m_id;
    std::unique_ptr<Fifo> m_fifo;
    std::unique_ptr<Streamer> m_streamer;

    std::array<std::uint32_t, 512> m_reg{};
    std::array<std::uint32_t, 512> m_lut{};
    std::array<Decoded, 1024> m_decoded{};

    // Hub exec's decode cache, keyed on the address and the raw long: the
    // long is read from hub RAM for every instruction, so code that changes
    // while it runs decodes afresh.
    struct HubDecoded : Decoded {
        std::uint32_t addr = 0xFFFFFFFFu;
    };
    HubDecoded &hubDecoded(std::uint32_t pc, std::uint32_t instr);
    void hubPredecode(HubDecoded &h, std::uint32_t pc, std::uint32_t instr);
    std::array<HubDecoded, 4096> m_hubDecoded{};

    bool m_running = false;
    Clock m_sharedUntil = kNever;
    bool m_inStep = false;
    bool m_restarted = false; // COGINIT of this cog from its own instruction
    bool m_tracing = false;
    Clock m_time = 0;
    std::uint32_t m_pc = 0;
    std::uint32_t m_nextPc = 0;
    bool m_c = false, m_z = false;
    bool m_branched = false;
    std::uint64_t m_executed = 0;
    int m_cost = 2;

    std::array<std::uint32_t, 8> m_stack{};

    // Prefix state for the next instruction(s).
    bool m_augsValid = false, m_augdValid = false;
    std::uint32_t m_augs = 0, m_augd = 0;
    std::uint32_t m_q = 0;
    int m_qFresh = 0;       // 1: SETQ, 2: SETQ2 came right before (ALTx/AUGx in between allowed)
    bool m_qDirect = false; // ... and nothing in between (block PTRx update)
    bool m_altActive = false;
    std::uint32_t m_altClear = 0, m_altSet = 0; // bits of the next instruction replaced
    int m_altR = -1;                            // result register override (-2: no write)
    bool m_prefixSeen = false;                  // this instruction was an ALTx/AUGx/SETQ prefix
    bool m_scaValid = false;                    // SCA/SCAS/GETXACC value for the next S
    std::uint32_t m_scaValue = 0;
    bool m_waiting = false; // a WAITxxx is waiting; it runs again at m_time
    Clock m_waitTimeout = kNever;
    std::uint64_t m_waitPins = 0; // ... for an event on these pins' IN

    // REP
    bool m_repActive = false;
    std::uint32_t m_repStart = 0, m_repEnd = 0;
    std::uint32_t m_repLeft = 0; // iterations left, 0 = for ever
    // SKIP/SKIPF
    std::uint32_t m_skip = 0;
    bool m_skipFast = false;
    int m_skipRun = 0;
    bool m_skipFirst = false; // the next instruction comes right after SKIPF/EXECF
    std::uint32_t m_skipSaved = 0;
    bool m_skipSavedFast = false;
    int m_skipCallDepth = 0;
    // XBYTE: the mode (SETQ value) and a one-bytecode mode (SETQ2), -1 none
    std::uint32_t m_xbyteMode = 0;
    int m_xbyteOnce = -1;

    // Events
    std::array<Clock, 3> m_ctEventAt{kNever, kNever, kNever};
    std::array<std::uint32_t, 3> m_ct{};
    std::uint32_t m_flags = 0; // latched event flags (bits by Event)
    std::array<std::uint32_t, 4> m_se{};
    std::array<bool, 4> m_seLast{};
    std::uint32_t m_patMask = 0, m_patMatch = 0;
    bool m_patB = false, m_patEqual = false;
    std::uint64_t m_fbwSeen = 0;
    std::array<Clock, 4> m_streamerSince{};

    // Interrupts
    std::array<int, 3> m_intSource{}; // for INT1..INT3
    std::array<bool, 3> m_isrActive{};
    bool m_stalli = false;
    bool m_shield = false;
    std::array<bool, 3> m_intPending{};
    bool m_anyInt = false;

    // Hub exec's FIFO: the next long it fetches, the longs it holds (counting
    // those of the burst under way), and the clocks [from, to) of that burst,
    // when it uses the cog's hub window.
    struct HubFetch {
        std::uint32_t next = 0;
        int level = 0;
        Clock busyFrom = 0, busyTo = 0;
    } m_hubFetch;

    // The debug interrupt. `arm`: the last BRK in a debug ISR (bits L..A, the
    // address or event above them), cleared on entry; `watch`: a trigger may
    // be due, so step() looks.
    struct Debug {
        bool isr = false;
        bool watch = false;
        bool pending = false;
        bool coginitDue = false;  // the COGINIT's debug interrupt is still to come
        bool fromCoginit = false; // the present ISR is the COGINIT's
        bool pinsAtIn = false;    // BRK's L: INA/INB read the pins inside the ISR
        std::uint32_t arm = 0;
        std::uint32_t code = 0; // the last BRK code outside the ISR
    } m_debug;
    bool m_startedHub = false;

    // An instruction runs only once the other cogs have caught up when it
    // touches what they share; RDLUT too while the LUT is shared.
    bool yieldsFor(Waits w) const { return w == Waits::Always || (w == Waits::WhileLutShared && m_lutShare); }
    bool m_lutShare = false;
    std::array<std::uint64_t, 2> m_dirOut{}; // DIR (both ports), OUT
    std::uint32_t m_rndState = 0;
    std::uint32_t m_pixV = 0, m_pixM = 0;
};

} // namespace kivo::sim
