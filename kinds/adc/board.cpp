// The ADC on the simulated board: a voltage source on the pin it samples;
// --set NAME.volts=V.
#include "board/meters.h"
#include "kinds/adc/slots.h"
#include "run/kindboard.h"

namespace kivo::sim {

namespace {

constexpr double kDefaultAdcVolts = 1.65;

class AdcBoardImpl : public IKindBoard
{
public:
    std::int32_t Code() const override { return kADC; }
    bool wire(BoardWiring &wiring, ProjectBoard::Wired &w) const override
    {
        int pin = BoardWiring::firstPin(w);
        if (pin < 0)
            return true;
        const CCodeObject &o = *w.object;
        // The source choice reads the pin itself, a neighbour or GIO.
        static const int kOffset[8] = {0, 1, 2, 3, 0, -3, -2, -1};
        int source = (pin + kOffset[AdcSlots(o).Source() & 7] + 64) & 63;
        double volts = kDefaultAdcVolts;
        if (auto *s = wiring.setting(o, "volts")) {
            if (!ParseSetNumber(*s, volts) || volts < 0 || volts > 3.3)
                return wiring.badSetting(o, "volts", "0 to 3.3", *s);
        }
        w.device = std::make_shared<VoltageSource>(source, volts);
        wiring.addAnalog(source);
        return true;
    }
};

} // namespace

const IKindBoard &AdcBoard()
{
    static const AdcBoardImpl board;
    return board;
}

} // namespace kivo::sim
