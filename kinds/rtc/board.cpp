// The real-time clock on the simulated board: one DS1339 on each bus a clock
// names; --set NAME.start='YYYY-MM-DD hh:mm:ss'.
#include "board/ds1339.h"
#include "board/i2c.h"
#include "kinds/rtc/slots.h"
#include "run/kindboard.h"

#include <cstdio>
#include <cstring>

namespace kivo::sim {

namespace {

bool ParseDateTime(const std::string &text, RtcTime &t)
{
    // Exactly YYYY-MM-DD hh:mm:ss (or a T between): no signs, spaces or short fields.
    const char *shape = "dddd-dd-dd dd:dd:dd";
    if (text.size() != std::strlen(shape))
        return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (shape[i] == 'd' ? c < '0' || c > '9' : c != shape[i] && !(i == 10 && c == 'T'))
            return false;
    }
    int y, mo, d, h, mi, s;
    std::sscanf(text.c_str(), "%4d-%2d-%2d%*c%2d:%2d:%2d", &y, &mo, &d, &h, &mi, &s);
    const bool leap = y % 4 == 0 && (y % 100 != 0 || y % 400 == 0);
    const int monthDays[] = {31, leap ? 29 : 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (y < 2000 || y > 2199 || mo < 1 || mo > 12 || d < 1 || d > monthDays[mo - 1] || h > 23 || mi > 59 || s > 59)
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
