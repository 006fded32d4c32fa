// Repository, DAC and ADC smart modes.
#include "chip/smartpin.h"

namespace kivo::sim
{

std::unique_ptr<SmartMode> makeAnalogMode(std::uint32_t, std::uint32_t)
{
    return nullptr;
}

} // namespace kivo::sim
