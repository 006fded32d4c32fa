// The real-time clock on the simulated board: one DS1339 on each bus a clock
// names; --set NAME.start='YYYY-MM-DD hh:mm:ss'.
#include "board/ds1339.h"
#include "board/i2c.h"
#include "kinds/rtc/slots.h"
#include "model/kivodoc.h"
#include "model/text.h"
#include "run/kindboard.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>

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

// Days of a date from a fixed origin (the proleptic Gregorian calendar);
// only differences count.
long long DaysOf(int y, int m, int d)
{
    y -= m <= 2;
    const long long era = y / 400, yoe = y - era * 400;
    const long long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    return era * 146097 + yoe * 365 + yoe / 4 - yoe / 100 + doy;
}

long long SecondsOf(const RtcTime &t)
{
    return DaysOf(t.year, t.month, t.mday) * 86400 + t.hour * 3600 + t.min * 60 + t.sec;
}

// The time Generate wrote into the program for the chip ("now.year = ...").
bool GeneratedTime(const std::string &source, RtcTime &t)
{
    int *fields[] = {&t.year, &t.month, &t.mday, &t.wday, &t.hour, &t.min, &t.sec};
    const char *names[] = {"year", "month", "mday", "wday", "hour", "min", "sec"};
    for (int i = 0; i < 7; i++) {
        std::smatch m;
        if (!std::regex_search(source, m, std::regex(std::string("now\\.") + names[i] + " = (\\d+);")))
            return false;
        *fields[i] = std::stoi(m[1]);
    }
    return true;
}

// The last time the program printed (" Thu Jan 01 12:00:03 2026").
bool LastPrintedTime(const std::string &console, RtcTime &t)
{
    static const std::regex line("^ [A-Z][a-z]{2} ([A-Z][a-z]{2}) (\\d\\d) (\\d\\d):(\\d\\d):(\\d\\d) (\\d{4})$");
    static const std::string months = "JanFebMarAprMayJunJulAugSepOctNovDec";
    bool found = false;
    for (const std::string &l : ConsoleLines(console)) {
        std::smatch m;
        if (!std::regex_match(l, m, line))
            continue;
        const auto month = months.find(m[1].str());
        if (month == std::string::npos || month % 3)
            continue;
        t = RtcTime{
            std::stoi(m[6]), int(month / 3) + 1, std::stoi(m[2]), std::stoi(m[3]), std::stoi(m[4]), std::stoi(m[5]), 1};
        found = true;
    }
    return found;
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
        w.target = c;
        w.observe = [c, busName] {
            Json j = c->observations();
            j["bus"] = busName;
            return j;
        };
        return true;
    }
    // With "set time" on, the chip gets the moment of generation; the time
    // the program prints follows the chip's as simulated time goes on.
    Verdict verify(const VerifyView &v) const override
    {
        auto chip = std::dynamic_pointer_cast<Ds1339>(v.wired.target);
        if (!chip)
            return Skip("its bus is not on the board");
        Json m = Json::object();
        std::string evidence;
        if (RtcSlots(*v.wired.object).SetTime()) {
            const std::filesystem::path main =
                std::filesystem::path(v.folder()) / (std::filesystem::path(v.doc.m_strPathName).stem().string() + ".c");
            std::ifstream f(main, std::ios::binary);
            const std::string source((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
            RtcTime generated;
            if (!GeneratedTime(source, generated))
                return Skip("the time of generation is not in " + main.filename().string());
            m["generated"] = generated.text();
            const auto &sets = chip->setTimes();
            if (sets.empty())
                return Fail("the time of generation, " + generated.text() + ", written to the chip", "no write", m);
            m["written"] = sets.front().time.text();
            if (!(sets.front().time == generated))
                return Fail("the time of generation, " + generated.text() + ", written to the chip",
                            sets.front().time.text() + " written", m);
            evidence = generated.text() + " written; ";
        }
        const Clock now = v.pins.now();
        const RtcTime shows = chip->timeAt(now);
        m["chipTime"] = shows.text();
        RtcTime printed;
        if (!LastPrintedTime(v.console, printed))
            return Fail("the time printed each loop", "no time printed", m);
        m["lastPrinted"] = printed.text();
        const long long behind = SecondsOf(shows) - SecondsOf(printed);
        if (behind < 0 || behind > 2)
            return Fail("the printed time following the chip's, " + shows.text(), "last printed " + printed.text(), m);
        return Pass(evidence + "printed " + printed.text() + " as the chip shows " + shows.text(), m);
    }
};

} // namespace

const IKindBoard &RtcBoard()
{
    static const RtcBoardImpl board;
    return board;
}

} // namespace kivo::sim
