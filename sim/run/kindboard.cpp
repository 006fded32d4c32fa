#include "run/kindboard.h"

#include "model/codeobject.h"
#include "model/kivodoc.h"

#include <array>
#include <cmath>
#include <cstdlib>
#include <iterator>

namespace kivo::sim {

namespace {

struct Entry {
    std::int32_t code;
    const IKindBoard &(*board)();
};

// Every kind code in order, each with its board part; a kind left out fails
// the build.
constexpr Entry kEntries[] = {
    {kSimpleVGA, SimpleVgaBoard},
    {kI2CBus, I2CBusBoard},
    {kNeopixel, NeopixelBoard},
    {kNCO, NcoBoard},
    {kRTC, RtcBoard},
    {kSimpleSound, SimpleSoundBoard},
    {kServo, ServoBoard},
    {kDigital, DigitalBoard},
    {kFilters, FiltersBoard},
    {kDAC, DacBoard},
    {kADC, AdcBoard},
    {kUsbKbm, UsbKbmBoard},
};
static_assert(std::size(kEntries) == kKindCodeCount, "every kind code needs its board part");
static_assert(
    [] {
        for (int i = 0; i < kKindCodeCount; ++i)
            if (kEntries[i].code != i)
                return false;
        return true;
    }(),
    "the board parts are listed by code");

} // namespace

const IKindBoard *FindKindBoard(std::int32_t code)
{
    static const auto boards = [] {
        std::array<const IKindBoard *, kKindCodeCount> b{};
        for (int i = 0; i < kKindCodeCount; ++i)
            b[std::size_t(i)] = &kEntries[i].board();
        return b;
    }();
    if (code < 0 || code >= kKindCodeCount)
        return nullptr;
    return boards[std::size_t(code)];
}

int PinNumber(const std::string &text)
{
    if (text.empty() || text.size() > 3)
        return -1;
    for (char c : text)
        if (c < '0' || c > '9')
            return -1;
    int v = std::atoi(text.c_str());
    return v <= 63 ? v : -1;
}

bool ParseSetNumber(const std::string &text, double &v)
{
    // Decimal only: strtod would take 0x10 for 16.
    if (text.empty() || text.find_first_not_of("0123456789.eE+-") != std::string::npos)
        return false;
    char *end = nullptr;
    v = std::strtod(text.c_str(), &end);
    return end && *end == 0 && std::isfinite(v);
}

const std::string *BoardWiring::setting(const CCodeObject &object, const std::string &key)
{
    for (auto &s : m_sets)
        if (s.name == object.m_strName && s.key == key) {
            s.used = true;
            return &s.value;
        }
    return nullptr;
}

bool BoardWiring::badSetting(const CCodeObject &object, const std::string &key, const std::string &takes,
                             const std::string &value)
{
    error = "--set " + object.m_strName + "." + key + " takes " + takes + ", not '" + value + "'";
    return false;
}

std::vector<int> BoardWiring::pinsOf(const std::string &name, const char *usage) const
{
    std::vector<int> p;
    for (int i = 0; i < kPinCount; i++)
        if (doc.m_strPinOwner[std::size_t(i)] == name && (!usage || doc.m_strPinUsage[std::size_t(i)] == usage))
            p.push_back(i);
    return p;
}

int BoardWiring::firstPin(const ProjectBoard::Wired &wired)
{
    return wired.pins.empty() ? PinNumber(wired.object->m_strPin) : wired.pins.front();
}

void BoardWiring::offerMonitor(const std::shared_ptr<VgaMonitor> &monitor)
{
    if (!m_monitor)
        m_monitor = monitor;
}

} // namespace kivo::sim
