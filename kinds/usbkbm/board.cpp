// The USB object on the simulated board: nothing wired here; the device that
// --usb-* plugs in sits on the first USB object's port.
#include "run/kindboard.h"

namespace kivo::sim {

const IKindBoard &UsbKbmBoard()
{
    static const PlainKindBoard<kUsbKbm> board;
    return board;
}

} // namespace kivo::sim
