// The Simple Sound object on the simulated board: nothing wired; --wav
// records its two pins.
#include "kinds/simplesound/slots.h"
#include "model/text.h"
#include "run/kindboard.h"

namespace kivo::sim {

namespace {

class SimpleSoundBoardImpl : public IKindBoard
{
public:
    std::int32_t Code() const override { return kSimpleSound; }
    bool playsSound() const override { return true; }
    bool soundPins(const CCodeObject &o, int *left, int *right) const override
    {
        SimpleSoundSlots slots(o);
        const int l = TextToInt(slots.LeftPin()), r = TextToInt(slots.RightPin());
        if (l < 0 || l > 63 || r < 0 || r > 63)
            return false;
        *left = l;
        *right = r;
        return true;
    }
};

} // namespace

const IKindBoard &SimpleSoundBoard()
{
    static const SimpleSoundBoardImpl board;
    return board;
}

} // namespace kivo::sim
