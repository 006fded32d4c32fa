#pragma once
// A device that measures what the program does on its pins and reports it:
// the meters, probes and models a project run wires to its objects.
#include "chip/device.h"
#include "chip/pins.h"
#include "json.h"

#include <string>

namespace kivo::sim {

class Instrument : public Device
{
public:
    // What the device is, for the report ("frequency counter").
    virtual std::string what() const = 0;
    // Its observations so far, as report fields.
    virtual Json observations() const = 0;

protected:
    double seconds(Clock at) const { return m_pins ? m_pins->time().seconds(at) : 0.0; }
    // The length of [from, to] in seconds (exact across clock changes).
    double span(Clock from, Clock to) const { return seconds(to) - seconds(from); }
};

// Round to a fixed number of decimals, so reports stay readable.
double Rounded(double v, int decimals);

} // namespace kivo::sim
