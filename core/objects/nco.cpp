#include "objects/stubkind.h"

namespace kivo {

const IKind &NcoKind()
{
    static const StubKind kind(3, "nco");
    return kind;
}

} // namespace kivo
