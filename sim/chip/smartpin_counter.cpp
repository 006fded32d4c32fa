// Counting and timing smart modes: quadrature, edges, highs, states, periods.
#include "chip/smartpin.h"

namespace kivo::sim
{

std::unique_ptr<SmartMode> makeCounterMode(std::uint32_t)
{
    return nullptr;
}

} // namespace kivo::sim
