// The digital pin on the simulated board: a logic probe that may drive the
// pin; --set NAME.input=0|1|none.
#include "board/meters.h"
#include "run/kindboard.h"

#include <optional>

namespace kivo::sim {

namespace {

class DigitalBoardImpl : public IKindBoard
{
public:
    std::int32_t Code() const override { return kDigital; }
    bool wire(BoardWiring &wiring, ProjectBoard::Wired &w) const override
    {
        int pin = BoardWiring::firstPin(w);
        if (pin < 0)
            return true;
        const CCodeObject &o = *w.object;
        std::optional<bool> input;
        if (auto *s = wiring.setting(o, "input")) {
            if (*s == "1" || *s == "high")
                input = true;
            else if (*s == "0" || *s == "low")
                input = false;
            else if (*s != "none" && *s != "float")
                return wiring.badSetting(o, "input", "0, 1 or none", *s);
        }
        w.device = std::make_shared<LogicProbe>(pin, input);
        return true;
    }
};

} // namespace

const IKindBoard &DigitalBoard()
{
    static const DigitalBoardImpl board;
    return board;
}

} // namespace kivo::sim
