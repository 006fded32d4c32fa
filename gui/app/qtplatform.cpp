#include "app/qtplatform.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QVBoxLayout>
#include <cerrno>

namespace kivo {

namespace {

QWidget *OwnerFor(QWidget *fallback)
{
    if (QWidget *w = QApplication::activeModalWidget())
        return w;
    if (QWidget *w = QApplication::activeWindow())
        return w;
    return fallback;
}

CScriptWait *g_currentWait = nullptr;

} // namespace

void CQtMessages::Show(MessageKind kind, const std::string &text)
{
    QMessageBox box(kind == MessageKind::Error ? QMessageBox::Critical : QMessageBox::Warning,
                    QString::fromUtf8(CaptionOf(kind)), QString::fromStdString(text), QMessageBox::Ok,
                    OwnerFor(m_owner));
    box.exec();
}

bool CQtMessages::Ask(MessageKind kind, const std::string &text)
{
    QMessageBox box(kind == MessageKind::Error ? QMessageBox::Critical : QMessageBox::Question,
                    QString::fromUtf8(CaptionOf(kind)), QString::fromStdString(text),
                    QMessageBox::Yes | QMessageBox::No, OwnerFor(m_owner));
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

CScriptWait::CScriptWait(const QString &script, QWidget *parent) : QDialog(parent)
{
    setWindowTitle(QString::fromUtf8(kAppTitle));
    setModal(true);
    setWindowFlag(Qt::WindowCloseButtonHint, false);
    auto *layout = new QVBoxLayout(this);
    auto *label = new QLabel(
        QString("Running %1 in a terminal window.\nKivo carries on when that window closes.").arg(script), this);
    layout->addWidget(label);
}

CScriptWait *CScriptWait::Current() { return g_currentWait; }

std::vector<QStringList> CQtProcessRunner::TerminalCandidates()
{
    std::vector<QStringList> out;
    QString terminal = qEnvironmentVariable("TERMINAL").trimmed();
    if (!terminal.isEmpty()) {
        QStringList words = QProcess::splitCommand(terminal);
        if (!words.isEmpty())
            out.push_back(words);
    }
    out.push_back({"x-terminal-emulator"});
    out.push_back({"xterm"});
    return out;
}

ProcessOutcome CQtProcessRunner::Run(const ProcessRequest &request)
{
    if (!request.wait)
        return m_direct.Run(request);
    if (m_starter)
        return m_starter(request);

    QString script =
        request.args.empty() ? QString::fromStdString(request.program) : QString::fromStdString(request.args.back());
    for (const QStringList &terminal : TerminalCandidates()) {
        QProcess process;
        process.setProcessChannelMode(QProcess::ForwardedChannels);
        process.setWorkingDirectory(QString::fromStdString(request.workingFolder));
        QStringList args = terminal.mid(1);
        args << "-e";
        // The generated scripts end with their own "Press Enter" pause, which
        // keeps the window open for the tool's last words: one prompt, not two.
        args << QString::fromStdString(request.program);
        for (auto &a : request.args)
            args << QString::fromStdString(a);
        process.start(terminal.first(), args);
        if (!process.waitForStarted())
            continue;

        CScriptWait wait(script, OwnerFor(m_owner));
        QObject::connect(&process, &QProcess::finished, &wait, [&wait] { wait.done(0); });
        g_currentWait = &wait;
        if (process.state() != QProcess::NotRunning)
            wait.exec();
        g_currentWait = nullptr;
        ProcessOutcome outcome;
        outcome.started = true;
        outcome.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : 128;
        return outcome;
    }
    m_messages.Show(MessageKind::Plain, "No terminal window could be opened to run " + script.toStdString() +
                                            ".  Set TERMINAL to your terminal program, or install xterm.");
    ProcessOutcome outcome;
    outcome.errorCode = ENOENT;
    return outcome;
}

} // namespace kivo
