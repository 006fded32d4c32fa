// The servo on the simulated board: a pulse meter on its pin.
#include "board/meters.h"
#include "run/kindboard.h"

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
};

} // namespace

const IKindBoard &ServoBoard()
{
    static const ServoBoardImpl board;
    return board;
}

} // namespace kivo::sim
