// The USB object on the simulated board: no device of its own; the device
// that --usb-* plugs in sits on the first USB object's port, at this D- pin.
#include "kinds/usbkbm/slots.h"
#include "model/text.h"
#include "run/kindboard.h"

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
};

} // namespace

const IKindBoard &UsbKbmBoard()
{
    static const UsbKbmBoardImpl board;
    return board;
}

} // namespace kivo::sim
