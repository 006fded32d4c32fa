#pragma once
// The USB device a project run plugs into a USB object's port, from the
// --usb-* options of `kivo-cli simulate`.
#include "board/instrument.h"

#include <array>
#include <memory>
#include <string>
#include <vector>

namespace kivo::sim {

struct UsbRunOptions {
    std::string device;                    // "", "keyboard", "mouse", "mouse-fs"
    std::string keys;                      // text the keyboard types
    std::vector<std::array<int, 3>> moves; // mouse reports: dx, dy, buttons
    double unplugAt = -1, replugAt = -1;   // the cable, in seconds
    bool any() const { return !device.empty() || !keys.empty() || !moves.empty(); }
};

// Option parsers for the command line; each returns "" or the problem.
std::string ParseUsbDevice(UsbRunOptions &o, const std::string &v);
std::string ParseUsbKeys(UsbRunOptions &o, const std::string &v);   // \n \t \b \e \\ escapes
std::string ParseUsbMouse(UsbRunOptions &o, const std::string &v);  // DX,DY,BUTTONS[;...]
std::string ParseUsbUnplug(UsbRunOptions &o, const std::string &v); // T1:T2
// The options together: a keyboard and a mouse at once need a hub, which the
// simulated board does not have.
std::string CheckUsbOptions(const UsbRunOptions &o);

// The device for a USB object whose D- is on dmPin; null when none is asked for.
std::shared_ptr<Instrument> MakeUsbDevice(const UsbRunOptions &o, int dmPin, std::string *error);

} // namespace kivo::sim
