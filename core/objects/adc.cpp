#include "objects/stubkind.h"

namespace kivo {

const IKind &AdcKind()
{
    static const StubKind kind(10, "adc");
    return kind;
}

} // namespace kivo
