#include "objects/stubkind.h"

namespace kivo {

const IKind &DigitalKind()
{
    static const StubKind kind(7, "digital");
    return kind;
}

} // namespace kivo
