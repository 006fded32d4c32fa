#include "objects/stubkind.h"

namespace kivo {

const IKind &FiltersKind()
{
    static const StubKind kind(8, "filters");
    return kind;
}

} // namespace kivo
