#pragma once
// The CORDIC solver in the hub: one pipelined unit shared by the eight cogs.
//
// Timing model (matches the chip-measured anchors):
//  - A command waits for its cog's slot. Cog c has its slot on the clocks t
//    with (t - c) & 7 == 0, the clocks at which it faces hub slice 0 (the same
//    phase as the hub slot rule in hub.h). So one command per 8 clocks per cog.
//  - The issuing instruction (QMUL .. QEXP) ends 2 clocks after the hand-off:
//    2..9 clocks in all.
//  - A result is "ready" kReadyDelay clocks after the hand-off: a GETQX/GETQY
//    that starts at or after that clock takes 2 clocks; one that starts
//    earlier waits and ends at ready + 2 (QMUL + GETQX = 60..67 clocks).
//  - Each cog has one result register pair. Every result that arrives
//    overwrites it, so results not read before the next one arrives are lost.
//    GETQX and GETQY each keep their own place in the cog's result sequence:
//    each returns the latest arrived result it has not read yet, or waits for
//    the oldest one in flight. A new command forgets unread results that
//    arrived before it was handed off.
//  - GETQX/GETQY with nothing unread and nothing in flight take 2 clocks,
//    return the last result again and set the cog's QMT event.
//
// Arithmetic: QMUL, QDIV, QFRAC and QSQRT are exact. QROTATE and QVECTOR run a
// shift-and-add CORDIC with guard bits; QLOG and QEXP are bit-serial
// fixed-point. kTrigLsb / kLogLsb state the bound against the exact value.
#include "chip/time.h"

#include <array>
#include <cstdint>

namespace kivo::sim {

enum class CordicOp { Mul, Div, Frac, Sqrt, Rotate, Vector, Log, Exp };

struct CordicValue {
    std::uint32_t x = 0;
    std::uint32_t y = 0;
};

class Cordic
{
public:
    static constexpr int kReadyDelay = 58; // hand-off to the first 2-clock GETQx
    static constexpr int kIssueClocks = 2; // the issuing instruction after hand-off
    static constexpr int kTrigLsb = 1;     // QROTATE/QVECTOR: |error| <= 1 LSB
    static constexpr int kLogLsb = 1;      // QLOG/QEXP: |error| <= 1 LSB

    // The result of one command, computed at once (no timing).
    //   Mul    x,y = low, high of d * s
    //   Div    {q:d} / s: x = quotient, y = remainder
    //   Frac   {d:q} / s: x = quotient, y = remainder
    //   Sqrt   x = floor(sqrt({s:d})), y = 0
    //   Rotate (d, q) rotated by angle s (2^32 = a full turn): x, y
    //   Vector (x = d, y = s) signed: x = length, y = angle
    //   Log    x = log2(d) in 5.27 fixed point, rounded (d = 0 gives 0; the
    //          top value, 31.99999999966, saturates to $FFFF_FFFF)
    //   Exp    x = 2^(d / 2^27), rounded
    // A divisor of 0, or a quotient that does not fit 32 bits, gives what a
    // 32-step restoring divider gives: by zero, x = $FFFF_FFFF and y = the
    // low 32 bits of the dividend.
    static CordicValue compute(CordicOp op, std::uint32_t d, std::uint32_t s, std::uint32_t q);

    // Clocks (0..7) from `now` until cog `cog` reaches its slot.
    static int slotWait(int cog, Clock now) { return int((Clock(cog) - now) & 7); }

    // Issues a command from an instruction starting at `now`; `q` is the
    // SETQ value (0 without SETQ). Returns the clock at which the issuing
    // instruction ends and the cog may go on.
    Clock issue(int cog, CordicOp op, std::uint32_t d, std::uint32_t s, std::uint32_t q, Clock now);

    struct Read {
        std::uint32_t value = 0;
        Clock done = 0;     // the clock at which the GETQx instruction ends
        bool empty = false; // nothing unread nor in flight: the cog sets QMT
    };
    // GETQX (y = false) or GETQY (y = true) starting at `now`.
    Read get(int cog, bool y, Clock now);

    // The clock at which the oldest result of `cog` still in flight becomes
    // ready, kNever when none is; for a scheduler that sleeps until then.
    Clock readyAt(int cog, Clock now) const;
    // Whether `cog` has results unread or in flight (for POLLQMT-like tests).
    bool pending(int cog, Clock now) const;
    // The earliest ready clock after `now` over all cogs, or kNever.
    Clock nextEvent(Clock now) const;

    // A cog (re)starts or stops: its results and commands are dropped.
    void resetCog(int cog);

private:
    static constexpr int kDepth = 16; // results per cog kept (at most ~8 fly)
    struct Entry {
        Clock ready = 0;
        CordicValue value;
    };
    struct CogQueue {
        std::array<Entry, kDepth> ring{};
        std::uint64_t issued = 0; // commands handed off so far
        std::uint64_t readX = 0;  // index of the next result GETQX may return
        std::uint64_t readY = 0;
        CordicValue last; // result register when everything is read
        const Entry &at(std::uint64_t i) const { return ring[i % kDepth]; }
        Entry &at(std::uint64_t i) { return ring[i % kDepth]; }
        // Results [0, n) have arrived by `now`.
        std::uint64_t arrived(Clock now) const;
    };
    std::array<CogQueue, 8> m_cogs{};
};

} // namespace kivo::sim
