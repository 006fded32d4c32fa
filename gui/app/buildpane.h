#pragma once
#include "platform/process.h"

#include <QPointer>
#include <QString>
#include <QStringDecoder>
#include <QWidget>
#include <optional>

class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QProcess;
class QPushButton;
class QSplitter;
class QStackedWidget;
class QTreeWidget;

namespace kivo {

class CKivoDoc;

// A line of the compiler's that names a problem: "file.c:12: error: text",
// "file.c:12: warning: text", or "error: text" without a place.
struct ToolMessage {
    QString file; // as printed; empty when the line names no file
    int line = 0;
    bool error = true;
    QString text;
};
std::optional<ToolMessage> ParseToolMessage(const QString &line);

// One run of a project's build or load script inside Kivo: the process, its
// output, the problems found in it and how it ended. The script runs in a
// process group of its own, so that Stop ends the compiler or loader too.
class CScriptRun : public QWidget
{
    Q_OBJECT
public:
    enum class State { Running, Finished, Failed, Stopped };

    // `terminal`: a load whose loader stays on as the board's terminal; its
    // input stays open for what the user sends.
    CScriptRun(bool load, CKivoDoc *doc, bool terminal, QWidget *parent = nullptr);
    ~CScriptRun() override;

    // Starts the script; the outcome of the start only.
    ProcessOutcome Start(const ProcessRequest &request);
    // Ends the process group; the run then ends as stopped.
    void Stop();
    // Stops and waits (a few seconds at most) until the process has ended.
    void StopAndWait();
    // Sends text to the process's input (the board, through the loader).
    void Send(const QString &text);

    bool IsLoad() const { return m_load; }
    bool IsTerminal() const { return m_terminal; }
    bool IsRunning() const { return m_state == State::Running; }
    State GetState() const { return m_state; }
    int ExitCode() const { return m_exitCode; }
    CKivoDoc *Document() const { return m_doc; }
    void ForgetDocument() { m_doc = nullptr; }
    QString ProjectName() const { return m_project; }
    QString Folder() const { return m_folder; }
    // The FlexSpin folder of the project when the run started.
    std::string FlexSpinPath() const { return m_flexSpinPath; }
    int Errors() const { return m_errors; }
    int Warnings() const { return m_warnings; }
    // "Compile running", "Compile finished: 0 errors, 2 warnings",
    // "Compile failed (exit 1)", "Load stopped".
    QString Summary() const;

    QPlainTextEdit *Output() const { return m_output; }
    QTreeWidget *Problems() const { return m_problems; }
    QPushButton *StopButton() const { return m_stopButton; }

signals:
    // Output meant for the Terminal pane.
    void terminalText(const QString &text);
    void ended(kivo::CScriptRun *run);
    // A problem was double-clicked: its file (absolute) and line.
    void problemChosen(const QString &file, int line);

private:
    void OnOutput();
    void OnFinished(int exitCode, bool crashed);
    void TakeLine(const QString &line);
    void ShowText(const QString &text);
    void ShowState();

    bool m_load;
    bool m_terminal;
    CKivoDoc *m_doc;
    QString m_project;
    QString m_folder;
    std::string m_flexSpinPath;
    QProcess *m_process = nullptr;
    qint64 m_pid = 0;
    QStringDecoder m_decoder{QStringDecoder::System};
    QString m_partial;         // the last line, not yet ended
    bool m_boardTalks = false; // the loader has handed over to the board
    bool m_stopAsked = false;
    State m_state = State::Running;
    int m_exitCode = 0;
    int m_errors = 0;
    int m_warnings = 0;
    QLabel *m_status;
    QPushButton *m_stopButton;
    QSplitter *m_split;
    QPlainTextEdit *m_output;
    QTreeWidget *m_problems;
};

// The "Build" pane: one entry per run, newest first, and the selected run's
// output, problems and Stop button.
class CBuildPane : public QWidget
{
    Q_OBJECT
public:
    explicit CBuildPane(QWidget *parent = nullptr);

    // A new run, listed first and selected.
    CScriptRun *AddRun(bool load, CKivoDoc *doc, bool terminal);
    // The project's run that has not ended yet, if any.
    CScriptRun *RunningFor(const CKivoDoc *doc) const;
    // The project closes: its runs stop and no longer refer to it.
    void ForgetDocument(const CKivoDoc *doc);
    // Newest first.
    QList<CScriptRun *> Runs() const;
    CScriptRun *Current() const;
    QListWidget *RunList() const { return m_list; }

private:
    void ShowEntry(CScriptRun *run);
    QListWidget *m_list;
    QStackedWidget *m_views;
};

// The "Terminal" pane: what the board sends through the loader's terminal,
// and a line to send to it, until the user stops the load.
class CTerminalPane : public QWidget
{
    Q_OBJECT
public:
    explicit CTerminalPane(QWidget *parent = nullptr);
    void Attach(CScriptRun *run);
    CScriptRun *Run() const { return m_run; }
    QPlainTextEdit *Screen() const { return m_screen; }
    QLineEdit *Input() const { return m_input; }
    QPushButton *StopButton() const { return m_stop; }

private:
    void Ended();
    QPointer<CScriptRun> m_run;
    QLabel *m_title;
    QPlainTextEdit *m_screen;
    QLineEdit *m_input;
    QPushButton *m_stop;
};

} // namespace kivo
