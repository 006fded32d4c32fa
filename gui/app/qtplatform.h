#pragma once
#include "platform/messages.h"
#include "platform/process.h"

#include <QDialog>
#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

class QWidget;

namespace kivo {

// The system's three message boxes as real modal Qt message boxes: caption
// from CaptionOf, stop icon for errors, exclamation icon otherwise, one OK.
class CQtMessages : public IMessages
{
public:
    // The owner when no dialog or window is active.
    void SetFallbackOwner(QWidget *owner) { m_owner = owner; }
    void Show(MessageKind kind, const std::string &text) override;
    // Yes and No, No the default and the answer of Escape.
    bool Ask(MessageKind kind, const std::string &text) override;

private:
    QWidget *m_owner = nullptr;
};

// The modal wait while a script runs: the application paints but takes no
// input until the terminal window ends.
class CScriptWait : public QDialog
{
    Q_OBJECT
public:
    CScriptWait(const QString &script, QWidget *parent);
    void reject() override {} // Escape and the close box do not end the wait

    // For tests: a wait that is shown at the moment.
    static CScriptWait *Current();
};

// Runs the build and load scripts in a terminal window ($TERMINAL, else
// x-terminal-emulator, else xterm) in the project folder, waiting modally,
// or hands them to a starter that runs them inside Kivo without waiting.
// Requests that do not wait (FlexProp) start directly.
class CQtProcessRunner : public IProcessRunner
{
public:
    using ScriptStarter = std::function<ProcessOutcome(const ProcessRequest &)>;

    explicit CQtProcessRunner(IMessages &messages) : m_messages(messages) {}
    void SetOwner(QWidget *owner) { m_owner = owner; }
    // While set, scripts go to the starter instead of a terminal window.
    void SetScriptStarter(ScriptStarter starter) { m_starter = std::move(starter); }
    ProcessOutcome Run(const ProcessRequest &request) override;

    // The terminals tried, each as program and leading arguments.
    static std::vector<QStringList> TerminalCandidates();

private:
    IMessages &m_messages;
    SystemProcessRunner m_direct;
    QWidget *m_owner = nullptr;
    ScriptStarter m_starter;
};

} // namespace kivo
