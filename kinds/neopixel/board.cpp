// The LED string on the simulated board: a chain of the chosen LED part.
#include "board/ledchain.h"
#include "kinds/neopixel/slots.h"
#include "model/text.h"
#include "run/kindboard.h"

#include <algorithm>
#include <cstdlib>

namespace kivo::sim {

namespace {

class NeopixelBoardImpl : public IKindBoard
{
public:
    std::int32_t Code() const override { return kNeopixel; }
    bool wire(BoardWiring &, ProjectBoard::Wired &w) const override
    {
        NeopixelSlots slots(*w.object);
        int count = TextToInt(slots.LedCount());
        int pin = BoardWiring::firstPin(w);
        if (pin >= 0)
            w.device = std::make_shared<LedChain>(pin, std::clamp(count, 0, 100000), LedPartFor(slots.Type()));
        return true;
    }
    // The string's length of LEDs latched, each in the object's colour (in
    // random mode every latch a full frame), and every bit within the part's
    // timing windows.
    Verdict verify(const VerifyView &v) const override
    {
        auto chain = std::dynamic_pointer_cast<LedChain>(v.wired.device);
        if (!chain)
            return Skip("no data pin to watch");
        NeopixelSlots slots(*v.wired.object);
        const LedPart part = LedPartFor(slots.Type());
        const long count = std::clamp(TextToInt(slots.LedCount()), 0, 100000);
        const bool random = slots.Random();
        std::uint32_t colour =
            std::uint32_t(slots.Red()) << 16 | std::uint32_t(slots.Green()) << 8 | std::uint32_t(slots.Blue());
        if (part.bits == 32)
            colour <<= 8;
        Json m = Json::object();
        m["latchCount"] = chain->latchCount();
        m["violationCount"] = chain->violationCount();
        m["leds"] = long(chain->shown().size());
        const std::string want =
            Format("%ld LEDs latched", count) + (random ? " in full frames" : Format(" in #%06X", unsigned(colour)));
        if (chain->latchCount() == 0 || chain->latches().empty())
            return Fail(want, "no latch", m);
        const long frameBits = count * part.bits;
        for (const auto &l : chain->latches())
            if (l.bits != frameBits)
                return Fail(want, Format("a latch after %ld bits, not %ld", l.bits, frameBits), m);
        if (chain->violationCount())
            return Fail("every bit within the " + part.timings.front().part + " timing windows",
                        Format("%llu violations, the first: ", (unsigned long long)chain->violationCount()) +
                            chain->violations().front().text,
                        m);
        if (!random) {
            const auto &shown = chain->shown();
            for (std::size_t i = 0; i < shown.size(); i++)
                if (shown[i] != colour)
                    return Fail(want, Format("LED %zu in #%06X", i, unsigned(shown[i])), m);
        } else if (chain->latchCount() < 2) {
            return Fail(want + ", changing", "one latch", m);
        }
        return Pass(Format("%llu latches of %ld LEDs", (unsigned long long)chain->latchCount(), count) +
                        (random ? std::string(", each a full frame") : Format(" in #%06X", unsigned(colour))) +
                        ", no timing violation",
                    m);
    }
};

} // namespace

const IKindBoard &NeopixelBoard()
{
    static const NeopixelBoardImpl board;
    return board;
}

} // namespace kivo::sim
