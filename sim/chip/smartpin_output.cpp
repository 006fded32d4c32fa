// Output smart modes: pulse/transition, NCO frequency and duty, PWM.
#include "chip/smartpin.h"

namespace kivo::sim
{

std::unique_ptr<SmartMode> makeOutputMode(std::uint32_t)
{
    return nullptr;
}

} // namespace kivo::sim
