// The DAC on the simulated board: a voltmeter on its pin.
#include "board/meters.h"
#include "kinds/dac/slots.h"
#include "model/text.h"
#include "run/kindboard.h"

#include <algorithm>
#include <cmath>

namespace kivo::sim {

namespace {

class DacBoardImpl : public IKindBoard
{
public:
    std::int32_t Code() const override { return kDAC; }
    bool wire(BoardWiring &wiring, ProjectBoard::Wired &w) const override
    {
        if (int pin = BoardWiring::firstPin(w); pin >= 0) {
            w.device = std::make_shared<Voltmeter>(pin);
            wiring.addAnalog(pin);
        }
        return true;
    }
    // The level the program writes, on the pin within one DAC step of the
    // mode's full scale: the start level, then (random mode) the last level
    // the loop printed, and the lowest and highest of them.
    Verdict verify(const VerifyView &v) const override
    {
        auto meter = std::dynamic_pointer_cast<Voltmeter>(v.wired.device);
        if (!meter)
            return Skip("no pin to measure");
        const CCodeObject &o = *v.wired.object;
        DacSlots slots(o);
        static const double kFullScale[4] = {3.3, 2.0, 3.3, 2.0};
        static const char *kMode[4] = {"990 Ohm, 3.3 V", "600 Ohm, 2.0 V", "123.7 Ohm, 3.3 V", "75 Ohm, 2.0 V"};
        const int drive = std::clamp(slots.Drive(), 0, 3);
        const double full = kFullScale[drive], step = full / 255;
        auto volts = [&](double level) { return level / 255 * full; };
        Json m = Json::object();
        m["firstVolts"] = Rounded(meter->first(), 4);
        m["lastVolts"] = Rounded(meter->last(), 4);
        m["lowestVolts"] = Rounded(meter->lowest(), 4);
        m["highestVolts"] = Rounded(meter->highest(), 4);
        const std::string mode = std::string(" (") + kMode[drive] + ")";
        if (!meter->measured())
            return Fail("level " + std::to_string(slots.Level()) + mode, "the pin never driven", m);
        auto near = [&](double measured, double level) { return std::fabs(measured - volts(level)) <= step; };
        if (!near(meter->first(), slots.Level()))
            return Fail("level " + std::to_string(slots.Level()) + ", " + Shown(volts(slots.Level()), 4) + " V" + mode,
                        Shown(meter->first(), 4) + " V", m);
        if (!slots.Random()) {
            if (!near(meter->last(), slots.Level()) || !near(meter->lowest(), slots.Level()) ||
                !near(meter->highest(), slots.Level()))
                return Fail("level " + std::to_string(slots.Level()) + " held" + mode,
                            Shown(meter->lowest(), 4) + ".." + Shown(meter->highest(), 4) + " V", m);
            return Pass("level " + std::to_string(slots.Level()) + " as " + Shown(meter->last(), 4) + " V" + mode, m);
        }
        auto printed = v.lines(o.m_strName + " level =");
        if (printed.empty())
            return Fail("random levels printed each loop", "no level printed", m);
        double lo = slots.Level(), hi = lo;
        for (const auto &l : printed) {
            lo = std::min(lo, NumberAfterEquals(l));
            hi = std::max(hi, NumberAfterEquals(l));
        }
        const double last = NumberAfterEquals(printed.back());
        if (!near(meter->last(), last))
            return Fail("the last level printed, " + Shown(last, 0) + ", as " + Shown(volts(last), 4) + " V" + mode,
                        Shown(meter->last(), 4) + " V", m);
        if (!near(meter->lowest(), lo) || !near(meter->highest(), hi))
            return Fail("levels " + Shown(lo, 0) + ".." + Shown(hi, 0) + " as " + Shown(volts(lo), 4) + ".." +
                            Shown(volts(hi), 4) + " V" + mode,
                        Shown(meter->lowest(), 4) + ".." + Shown(meter->highest(), 4) + " V", m);
        return Pass(Format("%zu levels printed, each on the pin", printed.size() + 1) + mode, m);
    }
};

} // namespace

const IKindBoard &DacBoard()
{
    static const DacBoardImpl board;
    return board;
}

} // namespace kivo::sim
