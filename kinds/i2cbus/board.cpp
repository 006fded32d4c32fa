// The I2C bus on the simulated board: the two lines with their pull-ups;
// --set NAME.pullup=OHMS.
#include "board/i2c.h"
#include "kinds/i2cbus/slots.h"
#include "kinds/rtc/slots.h"
#include "model/kivodoc.h"
#include "model/text.h"
#include "run/kindboard.h"

#include <cstdlib>
#include <set>
#include <sstream>

namespace kivo::sim {

namespace {

// The 8-bit addresses the last complete scan of the bus on these pins
// printed; false when the console holds no complete scan of it.
bool LastScan(const std::string &console, int scl, int sda, std::set<int> &found)
{
    const std::string title = Format("I2C Bus Scan SDA=%d, SCL=%d:", sda, scl);
    bool inScan = false, complete = false;
    std::set<int> current;
    for (const std::string &line : ConsoleLines(console)) {
        if (line == title) {
            inScan = true;
            current.clear();
        } else if (inScan && line.rfind("Devices =", 0) == 0) {
            inScan = false;
            complete = true;
            found = current;
        } else if (inScan && line.size() > 3 && line[2] == ' ' && line.rfind("   ", 0) != 0) {
            std::istringstream row(line.substr(3));
            std::string cell;
            while (row >> cell)
                if (cell != "..")
                    current.insert(int(std::strtol(cell.c_str(), nullptr, 16)));
        }
    }
    return complete;
}

std::string AddressList(const std::set<int> &a)
{
    if (a.empty())
        return "no device";
    std::string s;
    for (int x : a)
        s += (s.empty() ? "" : " ") + Format("$%02X", unsigned(x));
    return s;
}

// Board pull-ups when the bus object asks for none (the driver then floats
// the lines and relies on them).
constexpr double kBoardPullUpOhms = 4700;

class I2CBusBoardImpl : public IKindBoard
{
public:
    std::int32_t Code() const override { return kI2CBus; }
    bool wire(BoardWiring &wiring, ProjectBoard::Wired &w) const override
    {
        const CCodeObject &o = *w.object;
        I2CBusSlots slots(o);
        auto scl = wiring.pinsOf(o.m_strName, kI2cSclUsage), sda = wiring.pinsOf(o.m_strName, kI2cSdaUsage);
        int c = scl.empty() ? PinNumber(slots.SclPin()) : scl.front();
        int d = sda.empty() ? PinNumber(slots.SdaPin()) : sda.front();
        if (c < 0 || d < 0)
            return true;
        double pull = slots.PullUp() == 0 ? kBoardPullUpOhms : 0.0;
        if (auto *s = wiring.setting(o, "pullup")) {
            if (!ParseSetNumber(*s, pull) || pull < 0)
                return wiring.badSetting(o, "pullup", "ohms (0 for none)", *s);
        }
        auto bus = std::make_shared<I2cBus>(c, d, pull);
        wiring.buses[o.m_strName] = bus;
        w.device = bus;
        return true;
    }
    // The scan prints every device on the bus (the clock chip an RTC puts
    // on it) and no other; SCL never faster than the object's speed.
    Verdict verify(const VerifyView &v) const override
    {
        auto bus = std::dynamic_pointer_cast<I2cBus>(v.wired.device);
        if (!bus)
            return Skip("no pins for the bus");
        const CCodeObject &o = *v.wired.object;
        I2CBusSlots slots(o);
        std::set<int> expected;
        for (const auto &x : v.doc.m_objList)
            if (x->m_nKind == kRTC && RtcSlots(*x).Bus() == o.m_strName)
                expected.insert(0x68 << 1); // the DS1339, in the scan's 8-bit form
        const double speedHz = std::atof(slots.Speed().c_str()) * 1000;
        Json m = Json::object();
        m["maxSclHz"] = Rounded(bus->maxSclHz(), 1);
        m["speedHz"] = speedHz;
        if (bus->maxSclHz() > speedHz * 1.01)
            return Fail("SCL at most " + Shown(speedHz / 1000, 1) + " kHz",
                        "SCL at " + Shown(bus->maxSclHz() / 1000, 1) + " kHz", m);
        const std::string clock = "SCL at most " + Shown(bus->maxSclHz() / 1000, 1) + " kHz";
        if (!slots.Scan())
            return bus->transactionCount() ? Pass(clock + "; the bus scans nothing", m)
                                           : Skip("nothing uses the bus: no scan, no clock on it");
        std::set<int> found;
        if (!LastScan(v.console, bus->pins()[0], bus->pins()[1], found))
            return Fail("a scan listing " + AddressList(expected), "no complete scan printed", m);
        Json list = Json::array();
        for (int a : found)
            list.push_back(a);
        m["scanned"] = std::move(list);
        if (found != expected)
            return Fail("a scan listing " + AddressList(expected), "a scan listing " + AddressList(found), m);
        return Pass("the scan lists " + AddressList(found) + "; " + clock, m);
    }
};

} // namespace

const IKindBoard &I2CBusBoard()
{
    static const I2CBusBoardImpl board;
    return board;
}

} // namespace kivo::sim
