#include "objects/stubkind.h"

namespace kivo {

const IKind &SimpleVgaKind()
{
    static const StubKind kind(0, "vga");
    return kind;
}

} // namespace kivo
