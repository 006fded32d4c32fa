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
};

} // namespace

const IKindBoard &NeopixelBoard()
{
    static const NeopixelBoardImpl board;
    return board;
}

} // namespace kivo::sim
