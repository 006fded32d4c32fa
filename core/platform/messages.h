#pragma once
#include <string>
#include <vector>

namespace kivo {

// The three message boxes of the system, each with a single OK button.
enum class MessageKind {
    Error,   // caption "Error", stop icon
    Warning, // caption "Warning", exclamation icon
    Plain,   // the application title as caption, exclamation icon
};

const char *CaptionOf(MessageKind kind);
constexpr const char *kAppTitle = "Kivo";

class IMessages
{
public:
    virtual ~IMessages() = default;
    // Shows the box and returns once the user has dismissed it.
    virtual void Show(MessageKind kind, const std::string &text) = 0;
};

struct ShownMessage {
    MessageKind kind;
    std::string text;
    bool operator==(const ShownMessage &) const = default;
};

// Keeps every message in order: for tests, and for front ends that print them.
class RecordingMessages : public IMessages
{
public:
    void Show(MessageKind kind, const std::string &text) override { shown.push_back({kind, text}); }
    std::vector<ShownMessage> shown;
};

} // namespace kivo
