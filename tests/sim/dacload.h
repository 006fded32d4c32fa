#pragma once
// A device on the four DAC pins 8..11 (cog 2's channels): it hears each
// change with the pin's voltage, puts a 75 Ohm load on 9..11 and at `loadAt`
// changes pin 10's to 150 Ohm, so that a load change falls inside a run.
#include "chip/device.h"
#include "chip/pins.h"
#include "chip/time.h"

#include <vector>

namespace kivo::sim::test {

class DacLoad : public Device
{
public:
    explicit DacLoad(Clock loadAt) : m_loadAt(loadAt) {}
    std::vector<int> pins() const override { return {8, 9, 10, 11}; }
    void connect(Pins &pins) override
    {
        Device::connect(pins);
        for (int p = 9; p <= 11; ++p)
            pins.drive(p, {Pins::ExternalDrive::PullDown, 75.0, 0.0}, pins.now(), this);
    }
    void pinChanged(int pin, Clock at) override { seen.push_back({pin, at, m_pins->voltage(pin)}); }
    Clock nextEvent() const override { return m_loadAt; }
    void run(Clock at) override
    {
        m_pins->drive(10, {Pins::ExternalDrive::PullDown, 150.0, 0.0}, at, this);
        m_loadAt = kNever;
    }
    struct Seen {
        int pin;
        Clock at;
        double volts;
        bool operator==(const Seen &) const = default;
    };
    std::vector<Seen> seen;

private:
    Clock m_loadAt;
};

} // namespace kivo::sim::test
