// The USB object on the simulated board: no device of its own; the device
// that --usb-* (or verify) plugs in sits on the first USB object's port, at
// this D- pin.
#include "board/usb_device.h"
#include "kinds/usbkbm/slots.h"
#include "model/text.h"
#include "run/kindboard.h"

#include <set>

namespace kivo::sim {

namespace {

class UsbKbmBoardImpl : public PlainKindBoard<kUsbKbm>
{
public:
    int usbDmPin(const CCodeObject &o) const override
    {
        UsbKbmSlots u(o);
        if (u.Config() == kUsbAdapter) // activity, enable, D-, D+ per port
            return SmallInt(u.BasePin()) + 4 * SmallInt(u.Port()) + 2;
        return TextToInt(u.DmPin());
    }
    // A keyboard that types a word when the program prints what it types,
    // else a mouse that moves when it prints the mouse's position.
    void verifyDevice(const CCodeObject &o, UsbRunOptions &usb) const override
    {
        UsbKbmSlots u(o);
        if (u.OutKeyboard()) {
            usb.device = "keyboard";
            usb.keys = kTyped;
        } else if (u.OutMouse()) {
            usb.device = "mouse";
            usb.moves = {{5, 3, 0}, {5, 3, 0}, {-2, 4, 0}, {7, -1, 0}};
        }
    }
    // The device enumerates; the typed text arrives in the program's output
    // (keyboard output on), else a mouse move changes the printed position.
    Verdict verify(const VerifyView &v) const override
    {
        UsbKbmSlots u(*v.wired.object);
        auto device = dynamic_cast<const UsbDevice *>(v.usb);
        if (!device)
            return Skip("no USB device plugged into its port");
        Json m = device->observations();
        if (!device->configured())
            return Fail(
                "a USB device enumerated on D- pin " + std::to_string(usbDmPin(*v.wired.object)),
                Format("%d enumerations, address %d, not configured", device->enumerations(), device->address()), m);
        const std::string what = device->what();
        if (u.OutKeyboard() && what.find("keyboard") != std::string::npos) {
            std::string spaced;
            for (char c : std::string(kTyped))
                spaced += std::string(" ") + c;
            // The program prints "Keyboard input : " and then " %c" a key.
            if (v.console.find("Keyboard input : " + spaced) == std::string::npos)
                return Fail("the typed \"" + std::string(kTyped) + "\" in the output as \"Keyboard input : " + spaced +
                                "\"",
                            "not printed", m);
            return Pass(what + " enumerated; the typed \"" + std::string(kTyped) + "\" printed", m);
        }
        if (u.OutMouse() && what.find("mouse") != std::string::npos) {
            std::set<std::string> positions;
            for (const auto &l : v.lines("USB mouse " + v.wired.object->m_strName + " position = "))
                positions.insert(l);
            if (positions.size() < 2)
                return Fail("the printed mouse position changing as the mouse moves",
                            Format("%zu distinct positions printed", positions.size()), m);
            return Pass(what + Format(" enumerated; %zu positions printed", positions.size()), m);
        }
        return Pass(what + " enumerated; the program prints nothing of it", m);
    }

private:
    static constexpr const char *kTyped = "kivo";
};

} // namespace

const IKindBoard &UsbKbmBoard()
{
    static const UsbKbmBoardImpl board;
    return board;
}

} // namespace kivo::sim
