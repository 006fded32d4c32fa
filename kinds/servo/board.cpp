// The servo on the simulated board: a pulse meter on its pin.
#include "board/meters.h"
#include "kinds/servo/slots.h"
#include "model/kivodoc.h"
#include "model/text.h"
#include "run/kindboard.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace kivo::sim {

namespace {

class ServoBoardImpl : public IKindBoard
{
public:
    std::int32_t Code() const override { return kServo; }
    bool wire(BoardWiring &, ProjectBoard::Wired &w) const override
    {
        if (int pin = BoardWiring::firstPin(w); pin >= 0)
            w.device = std::make_shared<PulseMeter>(pin);
        return true;
    }
    // 20 ms periods; the first pulse the start position; every pulse within
    // the driver's 600..2400 us; a fixed position held, random moves ending
    // where the program last printed.
    Verdict verify(const VerifyView &v) const override
    {
        auto meter = std::dynamic_pointer_cast<PulseMeter>(v.wired.device);
        if (!meter)
            return Skip("no pin to measure");
        ServoSlots slots(*v.wired.object);
        const bool us = slots.InMicroseconds();
        const double start =
            std::clamp(us ? std::atof(slots.Microseconds().c_str()) : 600 + 10 * std::atof(slots.Degrees().c_str()),
                       600.0, 2400.0);
        Json m = Json::object();
        m["pulses"] = meter->pulses();
        m["firstWidthUs"] = Rounded(meter->firstWidthUs(), 3);
        m["lastWidthUs"] = Rounded(meter->lastWidthUs(), 3);
        m["minWidthUs"] = Rounded(meter->minWidthUs(), 3);
        m["maxWidthUs"] = Rounded(meter->maxWidthUs(), 3);
        m["periodMs"] = Rounded(meter->lastPeriodMs(), 6);
        if (meter->pulses() < 3)
            return Fail("pulses every 20 ms", Format("%llu pulses", (unsigned long long)meter->pulses()), m);
        if (std::fabs(meter->lastPeriodMs() - 20.0) > 0.01)
            return Fail("a period of 20 ms", Shown(meter->lastPeriodMs(), 4) + " ms", m);
        constexpr double kUs = 0.05;
        if (std::fabs(meter->firstWidthUs() - start) > kUs)
            return Fail("a first pulse of " + Shown(start, 1) + " us", Shown(meter->firstWidthUs(), 2) + " us", m);
        if (meter->minWidthUs() < 600 - kUs || meter->maxWidthUs() > 2400 + kUs)
            return Fail("pulses within 600..2400 us",
                        Shown(meter->minWidthUs(), 2) + ".." + Shown(meter->maxWidthUs(), 2) + " us", m);
        if (!slots.Random()) {
            if (std::fabs(meter->lastWidthUs() - start) > kUs)
                return Fail("the position held at " + Shown(start, 1) + " us",
                            "a last pulse of " + Shown(meter->lastWidthUs(), 2) + " us", m);
            return Pass(Format("%llu pulses of ", (unsigned long long)meter->pulses()) + Shown(start, 1) +
                            " us every " + Shown(meter->lastPeriodMs(), 3) + " ms",
                        m);
        }
        // The program prints each position it moved to; with one servo the
        // last printed is the last pulse.
        int servos = 0;
        for (const auto &o : v.doc.m_objList)
            servos += o->m_nKind == kServo;
        auto printed = v.lines("Servo Position =");
        if (servos == 1 && !printed.empty()) {
            const double last = us ? NumberAfterEquals(printed.back()) : 600 + 10 * NumberAfterEquals(printed.back());
            if (std::fabs(meter->lastWidthUs() - last) > kUs)
                return Fail("the last printed position, " + Shown(last, 1) + " us",
                            "a last pulse of " + Shown(meter->lastWidthUs(), 2) + " us", m);
        }
        if (meter->widths().size() < 2)
            return Fail("random moves", "the pulse stayed at " + Shown(meter->firstWidthUs(), 2) + " us", m);
        return Pass("started at " + Shown(start, 1) + " us, moved within " + Shown(meter->minWidthUs(), 2) + ".." +
                        Shown(meter->maxWidthUs(), 2) + " us every " + Shown(meter->lastPeriodMs(), 3) + " ms",
                    m);
    }
};

} // namespace

const IKindBoard &ServoBoard()
{
    static const ServoBoardImpl board;
    return board;
}

} // namespace kivo::sim
