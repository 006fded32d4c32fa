#pragma once
#include <QString>

namespace kivo {

// A tab view that takes ribbon commands (ids in app/commands.h) while it is
// the active tab: the clipboard and print commands go to the pin view this
// way. It says when what it offers changes by a signal of its own, which the
// main frame follows (the pin view's editCommandsChanged).
class ICommandTarget
{
public:
    virtual ~ICommandTarget() = default;
    // Whether the command can run now (for enabling its button).
    virtual bool IsCommandEnabled(const QString &id) const = 0;
    // Runs the command; false when the view does not handle it.
    virtual bool OnCommand(const QString &id) = 0;
};

} // namespace kivo
