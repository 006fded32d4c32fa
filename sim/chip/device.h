#pragma once
// A device wired to some pins of the simulated board. The pins tell it when a
// pin it watches changes; it may drive its pins (Pins::drive) and ask to be
// woken at a clock of its own (a device's timer, a bit time).
#include "chip/time.h"

#include <string>
#include <vector>

namespace kivo::sim {

class Pins;

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

protected:
    Pins *m_pins = nullptr;
};

} // namespace kivo::sim
