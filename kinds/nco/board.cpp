// The NCO on the simulated board: a frequency counter on its pin.
#include "board/meters.h"
#include "run/kindboard.h"

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
};

} // namespace

const IKindBoard &NcoBoard()
{
    static const NcoBoardImpl board;
    return board;
}

} // namespace kivo::sim
