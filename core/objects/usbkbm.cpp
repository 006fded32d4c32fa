#include "objects/stubkind.h"

namespace kivo {

const IKind &UsbKbmKind()
{
    static const StubKind kind(11, "usb");
    return kind;
}

} // namespace kivo
