#include "objects/stubkind.h"

namespace kivo {

const IKind &NeopixelKind()
{
    static const StubKind kind(2, "neopixel");
    return kind;
}

} // namespace kivo
