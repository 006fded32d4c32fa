#pragma once
// The whole simulated P2: hub RAM, eight cogs, the pins with their smart pins,
// the CORDIC, one global clock, and the scheduler that runs them.
//
// Typical use:
//   Chip chip;
//   std::string error;
//   if (!chip.loadImage(bytes, &error)) ...;     // hub $0, cog 0 starts at $0
//   Chip::StopReason r = chip.runForSeconds(10.0);
#include "chip/hub.h"
#include "chip/time.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace kivo::sim {

class Pins;
class Cog;

// One executed instruction, for traces.
struct TraceEntry {
    Clock clock = 0; // the clock the instruction started
    int cog = 0;
    std::uint32_t pc = 0;    // cog/LUT address ($000..$3FF) or hub address
    std::uint32_t instr = 0; // the instruction long
    bool executed = true;    // false when its condition failed or SKIP skipped it
    std::int64_t augs = -1;  // a pending AUGS/AUGD value the instruction may use, or -1
    std::int64_t augd = -1;
};

// A snapshot of one cog for tests and debuggers.
struct CogState {
    bool running = false;
    std::uint32_t pc = 0;
    bool c = false, z = false;
    bool hubExec = false;
};

class Chip
{
public:
    enum class StopReason {
        Limit,      // reached the requested clock or time
        AllStopped, // every cog has stopped
        Fault,      // an instruction the simulator cannot execute, or similar
        Stopped,    // requestStop() was called (by a hook or a device)
    };

    Chip();
    ~Chip();
    Chip(const Chip &) = delete;
    Chip &operator=(const Chip &) = delete;

    // Puts a FlexSpin .binary (or any raw image) at hub $0 and starts cog 0
    // in cog exec from $0, as the boot ROM does after a serial load. Fails
    // (message in *error) for an empty image or one larger than hub RAM.
    bool loadImage(const std::vector<std::uint8_t> &image, std::string *error = nullptr);
    // Starts cog `cog` as COGINIT would: registers $000..$1F7 from hub `addr`,
    // PTRA = ptra, PTRB = addr, in cog exec from $000.
    void startCog(int cog, std::uint32_t addr, std::uint32_t ptra = 0);

    // Runs until the clock reaches `clock` (or another stop reason).
    StopReason runUntil(Clock clock);
    // Runs for `seconds` more of simulated time (the program's own clock,
    // which HUBSET may change along the way).
    StopReason runForSeconds(double seconds);
    // Asks a running runUntil() to return after the current instruction.
    void requestStop() { m_stopRequested = true; }

    Clock now() const { return m_now; }
    double seconds() const;
    Hub &hub() { return m_hub; }
    const Hub &hub() const { return m_hub; }
    Pins &pins() { return *m_pins; }
    const Pins &pins() const { return *m_pins; }
    TimeBase &time() { return m_time; }
    const TimeBase &time() const { return m_time; }

    // The current clock mode (last HUBSET clock setting) and frequency in Hz.
    std::uint32_t clockMode() const { return m_clockMode; }
    double clockHz() const;
    // Crystal frequency the clock modes refer to (default 20 MHz, as on the
    // P2 Edge boards).
    void setCrystalHz(double hz) { m_crystalHz = hz; }

    // Seeds the chip's random sources: the hub PRNG (GETRND, DIRRND/OUTRND/
    // DRVRND, BITRND, WAITX WC/WZ), each cog's own GETRND share and the smart
    // pins' noise (dither, random outputs). Runs with the same seed (or none:
    // the fixed default) repeat exactly; other seeds give other runs. Call it
    // before running; it applies at once to cogs already started.
    void setSeed(std::uint64_t seed);

    // One call per executed (or skipped) instruction while set; slows the run.
    void setTraceHook(std::function<void(const TraceEntry &)> hook);

    // After StopReason::Fault: "cog 0, PC $00404: ..." and the like.
    const std::string &faultMessage() const { return m_fault; }

    // Cog access for tests and tools.
    CogState cogState(int cog) const;
    std::uint32_t cogRegister(int cog, std::uint32_t addr) const; // $000..$1FF
    void setCogRegister(int cog, std::uint32_t addr, std::uint32_t value);
    std::uint32_t lutRegister(int cog, std::uint32_t addr) const; // $000..$1FF
    bool cogRunning(int cog) const;
    int runningCogs() const;
    // Instructions executed since reset (all cogs), for benchmarks.
    std::uint64_t instructions() const;

    // ---- used by the cogs ----
    void fault(int cog, std::uint32_t pc, std::uint32_t instr, const std::string &what);
    // HUBSET's clock mode from `at` on; false (and why in *problem) for a PLL
    // setting above the chip's limit, which leaves the clock as it was.
    bool setClockMode(std::uint32_t mode, Clock at, std::string *problem = nullptr);
    // The silicon document's ceiling for the PLL ("can be pushed to 350 MHz").
    static constexpr double kMaxPllHz = 350e6;
    std::uint32_t random(Clock at);
    void seedRandom(std::uint32_t seed);
    // A cog's GETRND state on (re)start.
    std::uint32_t cogRandomStart(int cog) const;
    Cog &cog(int n) { return *m_cogs[std::size_t(n)]; }
    // COGINIT: returns the cog started, or -1 when no cog is free.
    int coginit(int requested, std::uint32_t flags, std::uint32_t addr, std::uint32_t ptra, Clock at);
    void cogstop(int n, Clock at);
    // Hub locks 0..15.
    int lockNew();
    void lockRet(int n);
    bool lockTry(int cog, int n, Clock at);             // true when this cog holds it
    bool lockRel(int cog, int n, int *owner, Clock at); // true when it was taken
    // HUBSET %0010: write protection and the debug interrupt enables (unless
    // an earlier one locked them).
    void setProtection(std::uint32_t d);
    bool debugEnabled(int cog) const { return m_debugEnables >> (cog & 15) & 1; }
    // SETSCP/GETSCP: the pins whose scope channels GETSCP reads.
    void setScope(std::uint32_t d) { m_scope = d; }
    std::uint32_t scope(Clock at);
    void traceInstruction(const TraceEntry &entry);
    // Another cog starts or wakes at `at`: the running cog keeps its shared
    // instructions before it.
    void cogWoken(Clock at);
    // COGATN: strobe the attention of the cogs in `mask`.
    void attention(std::uint32_t mask, int from, Clock at);

    struct Impl;

private:
    StopReason run(Clock limit);

    TimeBase m_time;
    Hub m_hub;
    std::unique_ptr<Pins> m_pins;
    std::array<std::unique_ptr<Cog>, 8> m_cogs;
    std::unique_ptr<Impl> m_impl;
    Clock m_now = 0;
    std::uint32_t m_clockMode = 0;
    double m_crystalHz = 20e6;
    std::string m_fault;
    bool m_stopRequested = false;
    std::uint32_t m_scope = 0;
    std::uint64_t m_seedMix = 0; // 0: the default states
    std::uint32_t m_debugEnables = 0;
    bool m_protectionLocked = false;
    Cog *m_current = nullptr; // the cog running a batch
    // The cogs' clocks as the scheduler last saw them: a batch changes only
    // its own cog's, unless a cog starts, stops or wakes another (then all
    // are read again).
    std::array<Clock, 8> m_cogTimes{};
    bool m_cogTimesStale = true;
    Clock m_streamQuiet = 0;   // no streamer acts before this clock
    Clock m_streamSkipped = 0; // the latest catch-up left to the streamers
};

} // namespace kivo::sim
