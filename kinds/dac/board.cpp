// The DAC on the simulated board: a voltmeter on its pin.
#include "board/meters.h"
#include "run/kindboard.h"

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
};

} // namespace

const IKindBoard &DacBoard()
{
    static const DacBoardImpl board;
    return board;
}

} // namespace kivo::sim
