// The ADC on the simulated board: a voltage source on the pin it samples;
// --set NAME.volts=V.
#include "board/meters.h"
#include "kinds/adc/slots.h"
#include "model/text.h"
#include "run/kindboard.h"

#include <cmath>

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
    std::string change(ProjectBoard::Wired &w, const std::string &key, const std::string &value,
                       Clock at) const override
    {
        auto source = std::dynamic_pointer_cast<VoltageSource>(w.device);
        double volts = 0;
        if (key != "volts" || !source)
            return "object " + w.object->m_strName + " has no setting '" + key + "'";
        if (!ParseSetNumber(value, volts) || volts < 0 || volts > 3.3)
            return key + " takes 0 to 3.3, not '" + value + "'";
        source->setVolts(volts, at);
        return "";
    }
    // The calibrated reading within two counts of the source. A count is
    // VIO over the GIO..VIO span of the full count: n + 1 bits for sampling
    // and SINC2, 2n for SINC3, with a period of 2^n clocks.
    Verdict verify(const VerifyView &v) const override
    {
        auto source = std::dynamic_pointer_cast<VoltageSource>(v.wired.device);
        if (!source)
            return Skip("no pin to feed");
        const CCodeObject &o = *v.wired.object;
        AdcSlots slots(o);
        if (!slots.Calibrated())
            return Skip("the program prints the uncalibrated reading, whose counts the settings do not fix");
        const int n = slots.Exponent();
        const double full = slots.Filter() == 2 ? std::ldexp(1.0, 2 * n) : std::ldexp(1.0, n + 1);
        const double count = 3.3 / (0.8 * full), tolerance = 2 * count + 0.001;
        auto printed = v.lines("ADC " + o.m_strName + " calibrated reading =");
        Json m = Json::object();
        m["sourceVolts"] = source->volts();
        m["readings"] = printed.size();
        const std::string want = Shown(source->volts(), 3) + " V within " + Shown(tolerance, 4) + " V";
        if (printed.empty())
            return Fail("a reading of " + want, "no reading printed", m);
        const double read = NumberAfterEquals(printed.back());
        m["lastReading"] = read;
        if (std::fabs(read - source->volts()) > tolerance)
            return Fail("a reading of " + want, Shown(read, 4) + " V", m);
        return Pass("read " + Shown(read, 4) + " V of " + Shown(source->volts(), 3) + " V (" +
                        std::to_string(printed.size()) + " readings)",
                    m);
    }
};

} // namespace

const IKindBoard &AdcBoard()
{
    static const AdcBoardImpl board;
    return board;
}

} // namespace kivo::sim
