#pragma once
// A device wired to some pins of the simulated board. The pins tell it when a
// pin it watches changes; it may drive its pins (Pins::drive) and ask to be
// woken at a clock of its own (a device's timer, a bit time).
#include "chip/time.h"

#include <cstdint>
#include <string>
#include <vector>

namespace kivo::sim {

class Pins;

// A pin's level as a known periodic source drives it: an NCO's output, bit
// 31 of an accumulator that adds `y` every `period` clocks. From t0 on the
// level at t is bit 31 of z0 + y * floor((t - t0) / period) (mod 2^32),
// inverted when `inverted`. With y at most 2^31 the level flips each time
// that sum passes a multiple of 2^31: edge n is where it reaches n * 2^31.
struct PinTrain {
    Clock t0 = 0, period = 1;
    std::uint32_t z0 = 0, y = 1;
    bool inverted = false;

    std::uint64_t half(Clock t) const; // the multiples of 2^31 passed by t (t >= t0)
    bool level(Clock t) const { return ((half(t) & 1) != 0) != inverted; }
    bool rising(std::uint64_t n) const { return ((n & 1) != 0) != inverted; }
    Clock edge(std::uint64_t n) const; // the clock of edge n (n > half(t0))
    // The sum of the clocks of edges first, first + 2, ... (count of them).
    unsigned __int128 edgeSum(std::uint64_t first, std::uint64_t count) const;
};

class Device
{
public:
    virtual ~Device() = default;

    // The pins this device is connected to; changes on them reach pinChanged.
    virtual std::vector<int> pins() const = 0;
    // Called once when attached.
    virtual void connect(Pins &pins) { m_pins = &pins; }
    // A watched pin changed its level, drive or voltage at `at`.
    virtual void pinChanged(int pin, Clock at)
    {
        (void)pin;
        (void)at;
    }
    // The next clock at which the device acts of its own accord; kNever if none.
    virtual Clock nextEvent() const { return kNever; }
    // Act at `at` (called when nextEvent() comes due).
    virtual void run(Clock at) { (void)at; }
    // Called when the run ends, so that a device can close its last measurement.
    virtual void finish(Clock at) { (void)at; }

    // A device that measures a periodic signal from its description: while
    // all devices on a pin take trains and nothing else reads it, the pins
    // hand them the train instead of its edges.
    virtual bool takesTrains() const { return false; }
    // From `at` on `pin` follows `train` (its level at `at` is the wire's);
    // nullptr: it no longer does: the train's edges before `at` happened, the
    // wire's level is exact again and further edges come through pinChanged.
    virtual void pinTrain(int pin, const PinTrain *train, Clock at)
    {
        (void)pin;
        (void)train;
        (void)at;
    }

protected:
    Pins *m_pins = nullptr;
};

} // namespace kivo::sim
