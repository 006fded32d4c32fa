#pragma once

namespace kivo {

// A tab view that takes ribbon commands (CommandId) while it is the active
// tab: the clipboard and print commands go to the pin view this way.
class ICommandTarget
{
public:
    virtual ~ICommandTarget() = default;
    // Whether the command can run now (for enabling its button).
    virtual bool IsCommandEnabled(int id) const = 0;
    // Runs the command; false when the view does not handle it.
    virtual bool OnCommand(int id) = 0;
};

} // namespace kivo
