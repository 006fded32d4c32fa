#include "objects/stubkind.h"

namespace kivo {

const IKind &SimpleSoundKind()
{
    static const StubKind kind(5, "sound");
    return kind;
}

} // namespace kivo
