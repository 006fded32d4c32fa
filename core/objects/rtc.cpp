#include "objects/stubkind.h"

namespace kivo {

const IKind &RtcKind()
{
    static const StubKind kind(4, "rtc");
    return kind;
}

} // namespace kivo
