// The Simple VGA object on the simulated board: a monitor on its five pins.
#include "board/vgamonitor.h"
#include "kinds/simplevga/slots.h"
#include "run/kindboard.h"

namespace kivo::sim {

namespace {

class SimpleVgaBoardImpl : public IKindBoard
{
public:
    std::int32_t Code() const override { return kSimpleVGA; }
    bool wire(BoardWiring &wiring, ProjectBoard::Wired &w) const override
    {
        const CCodeObject &o = *w.object;
        auto hs = wiring.pinsOf(o.m_strName, kVgaHSyncUsage);
        int base = hs.empty() ? PinNumber(SimpleVgaSlots(o).BasePin()) : hs.front();
        if (base < 0 || base > 59)
            return true;
        auto mon = std::make_shared<VgaMonitor>(base);
        wiring.offerMonitor(mon);
        for (int i = 0; i < 4; i++)
            wiring.addAnalog(base + i);
        w.device = mon;
        return true;
    }
};

} // namespace

const IKindBoard &SimpleVgaBoard()
{
    static const SimpleVgaBoardImpl board;
    return board;
}

} // namespace kivo::sim
