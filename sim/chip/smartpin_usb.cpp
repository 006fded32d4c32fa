// The USB smart mode (%11011): a placeholder until the USB mode lands; the pair
// keeps its registers and raises no IN.
#include "chip/smartpin.h"

namespace kivo::sim
{

std::unique_ptr<SmartMode> makeUsbSmartMode()
{
    return nullptr;
}

} // namespace kivo::sim
