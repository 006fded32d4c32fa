#pragma once
// The 64 I/O pins with their smart pins, as the cogs see them. The pins advance
// lazily from event to event, so smart-pin counters and devices cost nothing
// between changes. Clocks the cogs pass:
//  - setCogOutputs: the clocks the change reaches the smart-pin cells (DIR's
//    reset, OUT as an input: issue + 3 for a 2-clock instruction, so a DIRH's
//    smart pin runs when the next WYPIN lands) and the pads (the driven
//    wire: three clocks after the instruction ends, issue + 5);
//  - wrpin/wxpin/wypin/akpin/rdpin/rqpin: the instruction's issue clock; the
//    writes and RDPIN's acknowledge land two clocks later (so IN drops two
//    clocks after an acknowledge), RDPIN/RQPIN read Z at the issue clock;
//  - in(): the clock whose pin state the cog samples (INA: issue - 3, TESTP:
//    issue - 2).
// Writes that land after the pins' present clock wait in a queue, so a read
// at an earlier clock still sees the earlier state. A read at a clock before
// now() sees now().
#include "chip/time.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace kivo::sim {

class Device;
class TimeBase;

// What RDPIN/RQPIN return: Z and the C flag the mode gives.
struct PinRead {
    std::uint32_t z = 0;
    bool c = false;
};

// One of HUBSET's four digital filters: length code 0..3 (2, 3, 5 or 8
// flip-flops) and tap 0..31 (a sample every 2^tap clocks).
struct PinsFilter {
    int length = 0;
    int tap = 0;
    bool set = false; // a HUBSET set it (else the reset default)
};

class Pins
{
public:
    explicit Pins(const TimeBase &time);
    ~Pins();
    Pins(const Pins &) = delete;
    Pins &operator=(const Pins &) = delete;

    // ---- the cogs ----
    // One cog's DIR and OUT registers, both ports: the smart-pin cells take
    // them from `at` on, the pads drive them from `padAt` on. The pins see
    // the OR over all cogs (and the streamers' outputs, which the cog ORs in).
    void setCogOutputs(int cog, std::uint64_t dir, std::uint64_t out, Clock at, Clock padAt);
    void setCogOutputs(int cog, std::uint64_t dir, std::uint64_t out, Clock at)
    {
        setCogOutputs(cog, dir, out, at, at);
    }
    // One cog's four 8-bit DAC channels (SETDACS, streamer), from `at` on.
    void setCogDacs(int cog, std::uint32_t dacs, Clock at);
    // A run of such changes in clock order (a streamer's pixels): the same
    // as setCogDacs for each in turn, with less work per change.
    struct DacStep {
        Clock at;
        std::uint32_t dacs;
    };
    void setCogDacs(int cog, const DacStep *steps, std::size_t count);

    void wrpin(int pin, std::uint32_t mode, Clock at);
    void wxpin(int pin, std::uint32_t x, Clock at);
    void wypin(int pin, std::uint32_t y, Clock at);
    void akpin(int pin, Clock at);
    PinRead rdpin(int pin, Clock at); // acknowledges
    PinRead rqpin(int pin, Clock at); // does not

    // IN of all 64 pins as a cog reads it at `at` (the smart pin's IN flag in
    // smart modes, else the pin's logic input after the A/B selectors, filters
    // and logic).
    std::uint64_t in(Clock at);

    // The state of the smart pins' noise source (dither, random outputs);
    // any value (0 is replaced by a fixed non-zero one).
    void setSeed(std::uint64_t seed);

    // HUBSET's four digital filters: length code 0..3 (2, 3, 5, 8 flip-flops)
    // and tap 0..31.
    void setFilter(int n, int lengthCode, int tap, Clock at);
    PinsFilter filter(int n) const;
    // SETSCP/GETSCP: the low bytes of the Z of the four pins of a block
    // (block 0..15 = pins 4*block..4*block+3), pin 4*block in bits 7:0.
    std::uint32_t scope(int block, Clock at);

    // The earliest clock after `now` at which in() or anything a device
    // watches may change without a cog acting; kNever when nothing is due.
    // The scheduler never jumps past it while a cog waits on a pin.
    Clock nextChange(Clock now);
    // The same for IN of the given pins only (a waiting cog's pin or pattern).
    Clock nextChange(Clock now, std::uint64_t pins);
    // The pins whose state may reach IN of `pins`: the pins their inputs
    // select, the even pin an odd pin follows, and every pin of a device on
    // one of them (a device answers on its own pins).
    std::uint64_t reaching(std::uint64_t pins);
    // Brings smart pins and devices up to `to`.
    void advance(Clock to);
    // Cog operations queued to land later (and done ones not yet dropped):
    // the scheduler brings the pins forward when they pile up.
    std::size_t queuedWrites() const;
    // The clock the pins have been brought to. Calls with an earlier clock
    // act at this one: give the pins clocks in non-decreasing order.
    Clock now() const;

    // Called with a clock before the pins act at it (every entry above that
    // takes a clock, and drive/scope), so that lazy producers of pin
    // changes (the streamers) can deliver theirs up to that clock first. Not
    // called again while it runs.
    void setCatchUp(std::function<void(Clock at)> catchUp);

    // Every write the cogs (or their streamers) give the pins: the pins it
    // may change (DIR/OUT bits that moved, the pin of a WRPIN, WXPIN, WYPIN,
    // AKPIN or RDPIN, DAC channel pins; all for a filter change) and the
    // clock it was given at. A cog waiting on a pin looks again then.
    void onCogWrite(std::function<void(std::uint64_t pins, Clock at)> listener);

    // Every word an async serial transmit pin (%11110) sends: the pin, the
    // word (LSB first on the wire), its bit count, and the clock its start
    // bit begins.
    void onAsyncTx(std::function<void(int pin, std::uint32_t word, int bits, Clock at)> listener);
    // Every change of a pin's voltage (a dithering DAC reports its mean level,
    // once per sample period; a cog DAC channel each time it changes).
    void onVoltage(std::function<void(int pin, double volts, Clock at)> listener);

    // ---- the board ----
    void attach(std::shared_ptr<Device> device);
    const std::vector<std::shared_ptr<Device>> &devices() const { return m_devices; }
    const TimeBase &time() const { return m_time; }

    // Pin state for devices and recorders, as of now(). A free-running smart
    // output (NCO, PWM, pulse) that no device watches and no pin's input
    // selects is not worked out edge by edge: watch a pin to see its edges.
    bool level(int pin) const;     // the logic level on the wire
    double voltage(int pin) const; // volts on the wire (DAC levels, pulls)
    bool driven(int pin) const;    // the chip drives the pin (output enabled)
    // A pin's configuration as the cogs left it.
    std::uint32_t modeWord(int pin) const; // WRPIN
    std::uint32_t xValue(int pin) const;   // WXPIN
    std::uint32_t yValue(int pin) const;   // WYPIN
    bool smartRunning(int pin) const;      // smart mode set and out of reset
    bool cogDir(int pin) const;            // DIR OR-ed over the cogs, as the pad has it
    bool cogOut(int pin) const;            // OUT OR-ed over the cogs, as the pad has it

    // A device's drive onto a pin, from `at` on (see device.h). Each source
    // (a device, a resistor: any distinct pointer) has one drive per pin; the
    // wire sums them with the chip's own drive, so a Low source beats a
    // pull-up (wired-AND) and a load divides a DAC's voltage.
    struct ExternalDrive {
        enum Kind { None, Low, High, PullUp, PullDown, Voltage } kind = None;
        double ohms = 0;  // pull resistance, or the source's resistance
        double volts = 0; // for Voltage
    };
    // Low and High with ohms 0 are stiff (10 Ω). PullDown with a resistance
    // is also how a device puts a load on a pin (a 75 Ω monitor input).
    void drive(int pin, const ExternalDrive &d, Clock at, const void *source = nullptr);

private:
    struct Impl;
    const TimeBase &m_time;
    std::unique_ptr<Impl> m_impl;
    std::vector<std::shared_ptr<Device>> m_devices;
};

} // namespace kivo::sim
