#include "objects/stubkind.h"

namespace kivo {

const IKind &I2CBusKind()
{
    static const StubKind kind(1, "i2c");
    return kind;
}

} // namespace kivo
