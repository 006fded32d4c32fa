// The filters object on the simulated board: a readout of the hub filters.
#include "board/meters.h"
#include "chip/pins.h"
#include "kinds/filters/slots.h"
#include "model/text.h"
#include "run/kindboard.h"

namespace kivo::sim {

namespace {

class FiltersBoardImpl : public IKindBoard
{
public:
    std::int32_t Code() const override { return kFilters; }
    bool wire(BoardWiring &, ProjectBoard::Wired &w) const override
    {
        w.device = std::make_shared<FilterReadout>();
        return true;
    }
    // The filters the object sets, with their lengths and taps as set.
    Verdict verify(const VerifyView &v) const override
    {
        static const int kSamples[4] = {2, 3, 5, 8};
        FiltersSlots slots(*v.wired.object);
        std::string evidence;
        Json m = Json::array();
        for (int n = 0; n < kFilterCount; n++) {
            const PinsFilter f = v.pins.filter(n);
            Json one = Json::object();
            one["filter"] = n;
            one["set"] = f.set;
            one["lengthCode"] = f.length;
            one["tap"] = f.tap;
            m.push_back(std::move(one));
            if (!slots.Set(n))
                continue;
            const int length = slots.Length(n) & 3, tap = slots.Tap(n) & 31;
            const std::string want = Format("filt%d of %d samples at tap %d", n, kSamples[length], tap);
            if (!f.set)
                return Fail(want, Format("filt%d never set", n), m);
            if (int(f.length) != length || int(f.tap) != tap)
                return Fail(want, Format("filt%d of %d samples at tap %d", n, kSamples[f.length & 3], int(f.tap)), m);
            evidence += (evidence.empty() ? "" : ", ") + want;
        }
        if (evidence.empty())
            return Skip("the object sets no filter");
        return Pass(evidence, m);
    }
};

} // namespace

const IKindBoard &FiltersBoard()
{
    static const FiltersBoardImpl board;
    return board;
}

} // namespace kivo::sim
