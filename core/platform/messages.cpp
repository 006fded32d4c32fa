#include "platform/messages.h"

namespace kivo {

const char *CaptionOf(MessageKind kind)
{
    switch (kind) {
    case MessageKind::Error:
        return "Error";
    case MessageKind::Warning:
        return "Warning";
    case MessageKind::Plain:
        break;
    }
    return kAppTitle;
}

} // namespace kivo
