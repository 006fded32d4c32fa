#include "objects/stubkind.h"

namespace kivo {

const IKind &DacKind()
{
    static const StubKind kind(9, "dac");
    return kind;
}

} // namespace kivo
