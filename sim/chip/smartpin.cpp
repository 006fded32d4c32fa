// Picks the mode object for a WRPIN's SSSSS field.
#include "chip/smartpin.h"

namespace kivo::sim {

namespace {

// A mode the simulator does not model: it keeps its registers and never raises IN.
class InertMode : public SmartMode
{
public:
    void start(SmartPin &, Clock) override {}
};

} // namespace

std::unique_ptr<SmartMode> makeSmartMode(std::uint32_t sssss, std::uint32_t modeWord)
{
    std::unique_ptr<SmartMode> m;
    if (sssss <= 3 || (sssss >= 0x18 && sssss <= 0x1A))
        m = makeAnalogMode(sssss, modeWord);
    else if (sssss <= 0x0A)
        m = makeOutputMode(sssss);
    else if (sssss <= 0x17)
        m = makeCounterMode(sssss);
    else if (sssss == 0x1B)
        m = makeUsbSmartMode();
    else
        m = makeSerialMode(sssss);
    if (!m)
        m = std::make_unique<InertMode>();
    return m;
}

} // namespace kivo::sim
