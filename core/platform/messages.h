#pragma once
#include <string>
#include <vector>

namespace kivo {

struct Result;

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
    // A question with Yes and No; true for Yes. Hosts that cannot ask show
    // the text and answer No.
    virtual bool Ask(MessageKind kind, const std::string &text)
    {
        Show(kind, text);
        return false;
    }
};

// How the front ends tell a core result: its text, when there is one, in a
// plain box.
void ShowResult(IMessages &messages, const Result &result);

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
    bool Ask(MessageKind kind, const std::string &text) override
    {
        asked.push_back({kind, text});
        return answer;
    }
    std::vector<ShownMessage> shown;
    std::vector<ShownMessage> asked;
    bool answer = false; // what every question is answered
};

} // namespace kivo
