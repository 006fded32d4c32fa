#pragma once
// A cog's streamer: its NCO, the single-level command buffer, every mode of
// the silicon documentation, the cog's four DAC channels (SETDACS background
// with the dddd override) and the colourspace converter in front of them.
//
// The streamer is lazy: advance(to) runs it up to a clock, emitting its
// outputs with their own clocks: the DAC channels go to Pins::setCogDacs, the
// 64-bit pin-output bus (OR-ed with the cog's OUTA/OUTB by the cog) to the
// hook set by setPinOutputHook. The cog calls advance(now) before anything
// that touches what the streamer uses (LUT writes, RDFAST/WRFAST/RFxxx/
// WFxxx, SETDACS, SETC*, X*, pins) and the scheduler advances every streamer
// before it advances the pins or stops a run.
//
// NCO: on every clock of an active command phase = (phase & $7FFF_FFFF) +
// freq; a result with bit 31 set is a rollover, which moves the command one
// step on. A command's first value goes out on its first clock; its count
// (D[15:0]) is the number of rollovers it lasts ($FFFF: for ever, until a
// buffered command takes over at the next rollover).
#include "chip/pixel.h"
#include "chip/time.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>

namespace kivo::sim {

class Pins;
class Fifo;

enum class StreamerCmd { Init, Zero, Cont }; // XINIT (XSTOP = XINIT #0,#0), XZERO, XCONT
enum class StreamerEvent { Xmt, Xfi, Xro, Xrl };
enum class ColorReg { Cy, Ci, Cq, Cfrq, Cmod };

class Streamer
{
public:
    // `lut` is the cog's 512-long lookup RAM (read, never written).
    Streamer(int cog, Pins &pins, Fifo &fifo, const std::uint32_t *lut);

    // XINIT/XZERO/XCONT from an instruction starting at `now`; `q` is the
    // SETQ value right before it (hasQ), which sets the NCO frequency on the
    // command's first clock. Returns the clock at which the instruction ends:
    // XZERO/XCONT wait while the buffer is full, until the running command's
    // last clock.
    Clock command(StreamerCmd kind, std::uint32_t d, std::uint32_t s, bool hasQ, std::uint32_t q, Clock now);
    void setFrequency(std::uint32_t freq, Clock now);            // SETXFRQ
    void setDacs(std::uint32_t dacs, Clock now);                 // SETDACS
    void setColor(ColorReg reg, std::uint32_t value, Clock now); // SETCY..SETCMOD
    // GETXACC: {cosine accumulation (D), sine accumulation (next S)}; clears.
    struct Acc {
        std::uint32_t cos = 0, sin = 0;
    };
    Acc getxacc(Clock now);

    // Runs the streamer up to and including clock `to`. Called before every
    // pin action for all eight streamers: while nothing is due before `to`
    // (an idle streamer, or no rollover yet) only the clock moves on.
    void advance(Clock to)
    {
        if (m_skipped && m_now < *m_skipped)
            m_now = *m_skipped;
        if (to < m_quietUntil && !m_advancing) {
            m_now = std::max(m_now, to);
            return;
        }
        advanceSlow(to);
    }
    // The earliest clock after `now` at which the streamer's outputs may
    // change or one of its events may occur, kNever when idle.
    Clock nextEvent(Clock now) const;

    // Events: whether `e` occurred in (since, now] (advance(now) first), and
    // a clock no later than its next occurrence, kNever if none is due.
    bool occurred(StreamerEvent e, Clock since) const;
    Clock nextOccurrence(StreamerEvent e, Clock now) const;

    // The streamer's 64-bit pin-output bus changes (value, from clock).
    void setPinOutputHook(std::function<void(std::uint64_t out, Clock at)> hook) { m_pinHook = std::move(hook); }
    // Also told every DAC change (as sent to Pins::setCogDacs), for
    // recorders and tests.
    void setDacHook(std::function<void(std::uint32_t dacs, Clock at)> hook) { m_dacHook = std::move(hook); }
    // Four 8-bit SCOPE channels (SETSCP) for the ADC capture modes.
    void setScopeSource(std::function<std::uint32_t(Clock at)> scope) { m_scope = std::move(scope); }

    // Nothing happens before this clock but time passing.
    Clock quietUntil() const { return m_quietUntil; }
    // The scheduler may skip advance() calls that come before every
    // streamer's quietUntil(): it then keeps the latest skipped clock in
    // *skipped, and sets *quiet to 0 whenever this streamer's own quiet
    // clock moves below it (see Chip).
    void shareQuiet(const Clock *skipped, Clock *quiet)
    {
        m_skipped = skipped;
        m_quietShared = quiet;
    }

    bool running() const;
    std::uint64_t pinOutputs() const { return m_pinOut; }
    std::uint32_t dacOutputs() const { return m_dacOut; } // as sent to the pins
    // A cog (re)start: stopped, frequency $8000_0000, DACs 0, converter off.
    void reset(Clock now);

    struct Impl;
    ~Streamer();
    Streamer(const Streamer &) = delete;
    Streamer &operator=(const Streamer &) = delete;

private:
    void advanceSlow(Clock to);
    // Brings m_quietUntil up to date when a change of the streamer's state
    // ends; while it runs, every advance takes the full path.
    struct Changing {
        explicit Changing(Streamer &s) : self(s)
        {
            self.m_changing++;
            self.setQuiet(0);
        }
        ~Changing()
        {
            if (--self.m_changing == 0)
                self.requiet();
        }
        Streamer &self;
    };
    void requiet();
    void setQuiet(Clock c)
    {
        m_quietUntil = c;
        if (m_quietShared && c < *m_quietShared)
            *m_quietShared = c;
    }

    Clock m_now = 0;        // the streamer has run through this clock
    Clock m_quietUntil = 0; // nothing happens before this clock but time passing
    bool m_advancing = false;
    int m_changing = 0;
    const Clock *m_skipped = nullptr;
    Clock *m_quietShared = nullptr;
    int m_cog;
    Pins &m_pins;
    Fifo &m_fifo;
    const std::uint32_t *m_lut;
    std::function<void(std::uint64_t, Clock)> m_pinHook;
    std::function<void(std::uint32_t, Clock)> m_dacHook;
    std::function<std::uint32_t(Clock)> m_scope;
    std::uint64_t m_pinOut = 0;
    std::uint32_t m_dacOut = 0;
    std::unique_ptr<Impl> m_impl;
};

} // namespace kivo::sim
