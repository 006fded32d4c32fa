// The I2C bus on the simulated board: the two lines with their pull-ups;
// --set NAME.pullup=OHMS.
#include "board/i2c.h"
#include "kinds/i2cbus/slots.h"
#include "run/kindboard.h"

namespace kivo::sim {

namespace {

// Board pull-ups when the bus object asks for none (the driver then floats
// the lines and relies on them).
constexpr double kBoardPullUpOhms = 4700;

class I2CBusBoardImpl : public IKindBoard
{
public:
    std::int32_t Code() const override { return kI2CBus; }
    bool wire(BoardWiring &wiring, ProjectBoard::Wired &w) const override
    {
        const CCodeObject &o = *w.object;
        I2CBusSlots slots(o);
        auto scl = wiring.pinsOf(o.m_strName, kI2cSclUsage), sda = wiring.pinsOf(o.m_strName, kI2cSdaUsage);
        int c = scl.empty() ? PinNumber(slots.SclPin()) : scl.front();
        int d = sda.empty() ? PinNumber(slots.SdaPin()) : sda.front();
        if (c < 0 || d < 0)
            return true;
        double pull = slots.PullUp() == 0 ? kBoardPullUpOhms : 0.0;
        if (auto *s = wiring.setting(o, "pullup")) {
            if (!ParseSetNumber(*s, pull) || pull < 0)
                return wiring.badSetting(o, "pullup", "ohms (0 for none)", *s);
        }
        auto bus = std::make_shared<I2cBus>(c, d, pull);
        wiring.buses[o.m_strName] = bus;
        w.device = bus;
        return true;
    }
};

} // namespace

const IKindBoard &I2CBusBoard()
{
    static const I2CBusBoardImpl board;
    return board;
}

} // namespace kivo::sim
