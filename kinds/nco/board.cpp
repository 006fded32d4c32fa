// The NCO on the simulated board: a frequency counter on its pin.
#include "board/meters.h"
#include "kinds/nco/slots.h"
#include "model/text.h"
#include "run/kindboard.h"

#include <cmath>
#include <cstdlib>

namespace kivo::sim {

namespace {

class NcoBoardImpl : public IKindBoard
{
public:
    std::int32_t Code() const override { return kNCO; }
    bool wire(BoardWiring &, ProjectBoard::Wired &w) const override
    {
        if (int pin = BoardWiring::firstPin(w); pin >= 0)
            w.device = std::make_shared<FrequencyCounter>(pin);
        return true;
    }
    // The frequency the editor showed as resulting, within twice the
    // counter's resolution (its first and last edges each fall within a
    // clock), at 50 % duty.
    Verdict verify(const VerifyView &v) const override
    {
        auto counter = std::dynamic_pointer_cast<FrequencyCounter>(v.wired.device);
        if (!counter)
            return Skip("no output pin to measure");
        const double promised = std::atof(NcoSlots(*v.wired.object).Resulting().c_str());
        Json m = Json::object();
        m["frequencyHz"] = Rounded(counter->frequency(), 6);
        m["duty"] = Rounded(counter->duty(), 4);
        m["promisedHz"] = promised;
        const std::string want = Shown(promised, 6) + " Hz at 50 % duty";
        if (counter->rises() < 3)
            return Fail(want,
                        Format("%llu rising edges on pin %d", (unsigned long long)counter->rises(),
                               BoardWiring::firstPin(v.wired)),
                        m);
        const double got = counter->frequency(), tolerance = 2 * counter->resolution() + 1e-6;
        const std::string measured = Shown(got, 6) + " Hz at " + Shown(counter->duty() * 100, 1) + " % duty";
        if (std::fabs(got - promised) > tolerance || std::fabs(counter->duty() - 0.5) > 0.01)
            return Fail(want, measured, m);
        return Pass(measured + " (within " + Shown(tolerance, 6) + " Hz)", m);
    }
};

} // namespace

const IKindBoard &NcoBoard()
{
    static const NcoBoardImpl board;
    return board;
}

} // namespace kivo::sim
