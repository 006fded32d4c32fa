// The real-time clock on the simulated board: one DS1339 on each bus a clock
// names; --set NAME.start='YYYY-MM-DD hh:mm:ss'.
#include "board/ds1339.h"
#include "board/i2c.h"
#include "kinds/rtc/slots.h"
#include "run/kindboard.h"

#include <cstdio>

namespace kivo::sim {

namespace {

bool ParseDateTime(const std::string &text, RtcTime &t)
{
    int y, mo, d, h, mi, s, n = 0;
    if (std::sscanf(text.c_str(), "%d-%d-%d %d:%d:%d%n", &y, &mo, &d, &h, &mi, &s, &n) != 6 ||
        std::size_t(n) != text.size())
        if (std::sscanf(text.c_str(), "%d-%d-%dT%d:%d:%d%n", &y, &mo, &d, &h, &mi, &s, &n) != 6 ||
            std::size_t(n) != text.size())
            return false;
    if (y < 2000 || y > 2199 || mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || s > 59 || h < 0 ||
        mi < 0 || s < 0)
        return false;
    t = RtcTime{y, mo, d, h, mi, s, 1};
    // Day of the week (Sunday = 1), from Zeller's congruence.
    int mm = mo < 3 ? mo + 12 : mo, yy = mo < 3 ? y - 1 : y;
    int k = yy % 100, j = yy / 100;
    int zeller = (d + 13 * (mm + 1) / 5 + k + k / 4 + j / 4 + 5 * j) % 7; // 0 = Saturday
    t.wday = (zeller + 6) % 7 + 1;
    return true;
}

class RtcBoardImpl : public IKindBoard
{
public:
    std::int32_t Code() const override { return kRTC; }
    // Once every bus is wired.
    bool wireLate(BoardWiring &wiring, ProjectBoard::Wired &w) const override
    {
        const CCodeObject &o = *w.object;
        const std::string &busName = RtcSlots(o).Bus();
        auto bus = wiring.buses.find(busName);
        if (bus == wiring.buses.end())
            return true;
        auto &chip = wiring.clocks[busName];
        if (!chip) {
            RtcTime start = Ds1339::kStartTime;
            if (auto *s = wiring.setting(o, "start")) {
                if (!ParseDateTime(*s, start))
                    return wiring.badSetting(o, "start", "a date and time 'YYYY-MM-DD hh:mm:ss'", *s);
            }
            chip = std::make_shared<Ds1339>(wiring.time, start);
            bus->second->addTarget(chip);
        }
        std::shared_ptr<Ds1339> c = chip;
        w.observe = [c, busName] {
            Json j = c->observations();
            j["bus"] = busName;
            return j;
        };
        return true;
    }
};

} // namespace

const IKindBoard &RtcBoard()
{
    static const RtcBoardImpl board;
    return board;
}

} // namespace kivo::sim
