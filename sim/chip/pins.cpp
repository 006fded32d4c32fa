// Placeholder pins: plain digital I/O only, until the smart pins land.
#include "chip/pins.h"

#include "devices/device.h"

namespace kivo::sim {

struct Pins::Impl {
    std::array<std::uint64_t, 8> dir{}, out{};
    std::uint64_t allDir() const
    {
        std::uint64_t v = 0;
        for (auto d : dir)
            v |= d;
        return v;
    }
    std::uint64_t allOut() const
    {
        std::uint64_t v = 0;
        for (auto o : out)
            v |= o;
        return v;
    }
};

Pins::Pins(const TimeBase &time) : m_time(time), m_impl(std::make_unique<Impl>()) {}
Pins::~Pins() = default;

void Pins::setCogOutputs(int cog, std::uint64_t dir, std::uint64_t out, Clock)
{
    m_impl->dir[cog & 7] = dir;
    m_impl->out[cog & 7] = out;
}
void Pins::setCogDacs(int, std::uint32_t, Clock) {}
void Pins::wrpin(int, std::uint32_t, Clock) {}
void Pins::wxpin(int, std::uint32_t, Clock) {}
void Pins::wypin(int, std::uint32_t, Clock) {}
void Pins::akpin(int, Clock) {}
PinRead Pins::rdpin(int, Clock) { return {}; }
PinRead Pins::rqpin(int, Clock) { return {}; }
std::uint64_t Pins::in(Clock) { return m_impl->allDir() & m_impl->allOut(); }
void Pins::setFilter(int, int, int, Clock) {}
Clock Pins::nextChange(Clock) { return kNever; }
void Pins::advance(Clock) {}
void Pins::attach(std::shared_ptr<Device> device)
{
    device->connect(*this);
    m_devices.push_back(std::move(device));
}
bool Pins::level(int pin) const { return (m_impl->allDir() & m_impl->allOut()) >> pin & 1; }
double Pins::voltage(int pin) const { return level(pin) ? 3.3 : 0.0; }
bool Pins::driven(int pin) const { return m_impl->allDir() >> pin & 1; }
void Pins::drive(int, const ExternalDrive &, Clock) {}

} // namespace kivo::sim
