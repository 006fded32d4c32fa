// The digital pin on the simulated board: a logic probe that may drive the
// pin; --set NAME.input=0|1|none.
#include "board/meters.h"
#include "chip/pins.h"
#include "kinds/digital/slots.h"
#include "model/text.h"
#include "run/kindboard.h"

#include <optional>

namespace kivo::sim {

namespace {

// The WRPIN word the object's settings make: A input, filter, clocked I/O,
// inversions and the two drives (the chip's %AAAA_BBBB_FFF_M..M_TT_SSSSS_0).
std::uint32_t PromisedMode(const CCodeObject &o)
{
    DigitalSlots s(o);
    std::uint32_t m = std::uint32_t(s.InSource() & 7) << 28;
    if (s.InFilter() >= 1 && s.InFilter() <= 4)
        m |= std::uint32_t(3 + s.InFilter()) << 21;
    m |= std::uint32_t(s.Clocked() ? 1 : 0) << 16 | std::uint32_t(s.InvertIn() ? 1 : 0) << 15 |
         std::uint32_t(s.InvertOut() ? 1 : 0) << 14;
    m |= std::uint32_t(s.HighDrive() & 7) << 11 | std::uint32_t(s.LowDrive() & 7) << 8;
    return m;
}

// A mode word as the user chose it.
std::string ModeText(std::uint32_t m)
{
    static const char *drives[8] = {"fast", "1.5 kOhm", "15 kOhm", "150 kOhm", "1 mA", "100 uA", "10 uA", "float"};
    std::string t = Format("$%08X (high %s, low %s", unsigned(m), drives[m >> 11 & 7], drives[m >> 8 & 7]);
    if (m >> 15 & 1)
        t += ", input inverted";
    if (m >> 14 & 1)
        t += ", output inverted";
    if (m >> 16 & 1)
        t += ", clocked";
    if (m >> 21 & 4)
        t += Format(", filt%u", (m >> 21) & 3);
    return t + ")";
}

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
    std::string change(ProjectBoard::Wired &w, const std::string &key, const std::string &value,
                       Clock at) const override
    {
        auto probe = std::dynamic_pointer_cast<LogicProbe>(w.device);
        if (key != "input" || !probe)
            return "object " + w.object->m_strName + " has no setting '" + key + "'";
        if (value == "1" || value == "high")
            probe->setInput(true, at);
        else if (value == "0" || value == "low")
            probe->setInput(false, at);
        else if (value == "none" || value == "float")
            probe->setInput(std::nullopt, at);
        else
            return key + " takes 0, 1 or none, not '" + value + "'";
        return "";
    }
    // The pin's mode as set (drives, inversions, input), and the output
    // toggling once per loop when the loop toggles it.
    Verdict verify(const VerifyView &v) const override
    {
        auto probe = std::dynamic_pointer_cast<LogicProbe>(v.wired.device);
        if (!probe)
            return Skip("no pin to watch");
        const CCodeObject &o = *v.wired.object;
        DigitalSlots slots(o);
        const int pin = BoardWiring::firstPin(v.wired);
        const std::uint32_t promised = PromisedMode(o), mode = v.pins.modeWord(pin);
        Json m = Json::object();
        m["modeWord"] = mode;
        m["transitions"] = probe->transitions();
        if (mode != promised)
            return Fail("pin " + std::to_string(pin) + " in mode " + ModeText(promised), ModeText(mode), m);
        std::string evidence = "pin " + std::to_string(pin) + " in mode " + ModeText(mode);
        if (!slots.ToggleOut())
            return Pass(evidence, m);
        const bool floats = slots.HighDrive() == 7 && slots.LowDrive() == 7;
        if (floats)
            return Pass(evidence + "; toggling not checked: both drives float", m);
        auto printed = v.lines(o.m_strName + " IN =");
        if (probe->transitions() < 2)
            return Fail("the output toggling every loop",
                        Format("%llu transitions", (unsigned long long)probe->transitions()), m);
        if (slots.ShowIn() && printed.size() >= 2 &&
            (probe->transitions() + 1 < printed.size() || probe->transitions() > printed.size() + 1))
            return Fail(Format("a toggle in each of the %zu loops", printed.size()),
                        Format("%llu transitions", (unsigned long long)probe->transitions()), m);
        return Pass(evidence + Format("; %llu toggles", (unsigned long long)probe->transitions()), m);
    }
};

} // namespace

const IKindBoard &DigitalBoard()
{
    static const DigitalBoardImpl board;
    return board;
}

} // namespace kivo::sim
