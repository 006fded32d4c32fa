#include "platform/messages.h"

#include "platform/result.h"

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

void ShowResult(IMessages &messages, const Result &result)
{
    if (!result.text.empty())
        messages.Show(MessageKind::Plain, result.text);
}

} // namespace kivo
