#include "board/usb_board.h"

#include "board/usb_device.h"

#include <cstdlib>

namespace kivo::sim {

namespace {

bool ParseNumber(const std::string &s, double *v)
{
    // Decimal only: strtod would take 0x10 for 16.
    char *end = nullptr;
    *v = std::strtod(s.c_str(), &end);
    return !s.empty() && *end == 0 && s.find_first_not_of("0123456789.eE+-") == std::string::npos && *v >= 0 &&
           *v < 1e6;
}

bool ParseInt(const std::string &s, int *v)
{
    char *end = nullptr;
    long n = std::strtol(s.c_str(), &end, 10);
    if (s.empty() || *end || n < -100000 || n > 100000)
        return false;
    *v = int(n);
    return true;
}

std::string Kind(const UsbRunOptions &o)
{
    if (!o.device.empty())
        return o.device;
    return !o.keys.empty() ? "keyboard" : "mouse";
}

} // namespace

std::string ParseUsbDevice(UsbRunOptions &o, const std::string &v)
{
    if (v != "keyboard" && v != "mouse" && v != "mouse-fs")
        return "--usb-device takes keyboard, mouse or mouse-fs, not '" + v + "'";
    o.device = v;
    return "";
}

std::string ParseUsbKeys(UsbRunOptions &o, const std::string &v)
{
    std::string text;
    for (std::size_t i = 0; i < v.size(); ++i) {
        char c = v[i];
        if (c == '\\' && i + 1 < v.size()) {
            char e = v[++i];
            c = e == 'n' ? '\n' : e == 't' ? '\t' : e == 'b' ? '\b' : e == 'e' ? '\x1B' : e == '\\' ? '\\' : 0;
            if (!c)
                return std::string("--usb-keys knows the escapes \\n \\t \\b \\e \\\\, not \\") + e;
        }
        std::uint8_t mods, usage;
        if (!UsbDevice::KeyFor(c, &mods, &usage))
            return "--usb-keys: the keyboard has no key for the character code " + std::to_string(int(std::uint8_t(c)));
        text.push_back(c);
    }
    if (text.empty())
        return "--usb-keys needs some text to type";
    o.keys = text;
    return "";
}

std::string ParseUsbMouse(UsbRunOptions &o, const std::string &v)
{
    std::vector<std::array<int, 3>> moves;
    std::size_t start = 0;
    while (start <= v.size()) {
        std::size_t end = v.find(';', start);
        if (end == std::string::npos)
            end = v.size();
        std::string item = v.substr(start, end - start);
        std::array<int, 3> m{};
        std::size_t c1 = item.find(','), c2 = c1 == std::string::npos ? c1 : item.find(',', c1 + 1);
        if (c2 == std::string::npos || !ParseInt(item.substr(0, c1), &m[0]) ||
            !ParseInt(item.substr(c1 + 1, c2 - c1 - 1), &m[1]) || !ParseInt(item.substr(c2 + 1), &m[2]) ||
            m[0] < -127 || m[0] > 127 || m[1] < -127 || m[1] > 127 || m[2] < 0 || m[2] > 7)
            return "--usb-mouse takes DX,DY,BUTTONS[;...] with DX and DY in -127..127 and BUTTONS 0..7, not '" + item +
                   "'";
        moves.push_back(m);
        start = end + 1;
    }
    o.moves = moves;
    return "";
}

std::string ParseUsbUnplug(UsbRunOptions &o, const std::string &v)
{
    std::size_t colon = v.find(':');
    double a = 0, b = 0;
    if (colon == std::string::npos || !ParseNumber(v.substr(0, colon), &a) || !ParseNumber(v.substr(colon + 1), &b) ||
        !(b > a))
        return "--usb-unplug takes T1:T2, seconds with T1 < T2, not '" + v + "'";
    o.unplugAt = a;
    o.replugAt = b;
    return "";
}

std::string CheckUsbOptions(const UsbRunOptions &o)
{
    if (!o.keys.empty() && !o.moves.empty())
        return "--usb-keys and --usb-mouse together need a USB hub, which the simulated board does not have: "
               "give one device";
    if (!o.keys.empty() && !o.device.empty() && o.device != "keyboard")
        return "--usb-keys needs the keyboard, not --usb-device " + o.device;
    if (!o.moves.empty() && o.device == "keyboard")
        return "--usb-mouse needs a mouse, not --usb-device keyboard";
    if (o.unplugAt >= 0 && !o.any())
        return "--usb-unplug needs a USB device (--usb-device, --usb-keys or --usb-mouse)";
    return "";
}

std::shared_ptr<Instrument> MakeUsbDevice(const UsbRunOptions &o, int dmPin, std::string *error)
{
    if (!o.any())
        return nullptr;
    if (std::string problem = CheckUsbOptions(o); !problem.empty()) {
        if (error)
            *error = problem;
        return nullptr;
    }
    if (dmPin < 0 || dmPin > 62) {
        if (error)
            *error = "the USB object's D- pin " + std::to_string(dmPin) + " is not a pin of a pair";
        return nullptr;
    }
    std::string kind = Kind(o);
    auto k = kind == "keyboard" ? UsbDevice::Kind::Keyboard
             : kind == "mouse"  ? UsbDevice::Kind::Mouse
                                : UsbDevice::Kind::MouseFullSpeed;
    auto d = std::make_shared<UsbDevice>(k, dmPin);
    if (!o.keys.empty() && !d->typeText(o.keys, 0.05, 0.05, error))
        return nullptr;
    if (!o.moves.empty())
        d->move(o.moves, 0.02);
    if (o.unplugAt >= 0)
        d->setUnplug(o.unplugAt, o.replugAt);
    return d;
}

} // namespace kivo::sim
