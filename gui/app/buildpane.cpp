#include "app/buildpane.h"

#include "model/kivodoc.h"

#include <QApplication>
#include <QDir>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSplitter>
#include <QStackedWidget>
#include <QStyle>
#include <QTextCursor>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <unistd.h>

namespace kivo {

namespace {

// The generated scripts' pause; nobody can answer it here, so it is not shown.
const QString kPausePrompt = "Press Enter to continue . . . ";
// What loadp2 says when it hands over to the board's serial output.
const QString kTerminalMark = "terminal mode";
// Finished runs kept in the list.
constexpr int kKeptRuns = 20;

QString Counted(int n, const char *what) { return QString("%1 %2%3").arg(n).arg(what).arg(n == 1 ? "" : "s"); }

QFont FixedFont() { return QFontDatabase::systemFont(QFontDatabase::FixedFont); }

void AppendAtEnd(QPlainTextEdit *edit, const QString &text)
{
    QScrollBar *bar = edit->verticalScrollBar();
    const bool atEnd = bar->value() >= bar->maximum() - 2;
    QTextCursor c(edit->document());
    c.movePosition(QTextCursor::End);
    c.insertText(text);
    if (atEnd)
        bar->setValue(bar->maximum());
}

QIcon StateIcon(CScriptRun::State state)
{
    QStyle *s = QApplication::style();
    switch (state) {
    case CScriptRun::State::Running:
        return s->standardIcon(QStyle::SP_MediaPlay);
    case CScriptRun::State::Finished:
        return s->standardIcon(QStyle::SP_DialogApplyButton);
    case CScriptRun::State::Failed:
        return s->standardIcon(QStyle::SP_MessageBoxCritical);
    case CScriptRun::State::Stopped:
        return s->standardIcon(QStyle::SP_MediaStop);
    }
    return {};
}

void SignalGroup(qint64 pid, int sig)
{
    if (pid > 0)
        ::kill(-static_cast<pid_t>(pid), sig);
}

} // namespace

std::optional<ToolMessage> ParseToolMessage(const QString &line)
{
    // The place is everything up to ":<digits>:", so that a drive letter's
    // colon stays in the file name.
    static const QRegularExpression placed(R"(^(.+?):(\d+):\s*(error|warning)\s*:\s*(.*)$)",
                                           QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression bare(R"(^(error|warning)\s*:\s*(.*)$)", QRegularExpression::CaseInsensitiveOption);
    // FlexSpin closes a failed preprocessing with a line that sums up the
    // problems already listed; it is no problem of its own.
    static const QRegularExpression summary(R"(^error\s*:\s*\w+ errors\s*:?\s*$)",
                                            QRegularExpression::CaseInsensitiveOption);
    const QString trimmed = line.trimmed();
    if (summary.match(trimmed).hasMatch())
        return std::nullopt;
    if (auto m = placed.match(trimmed); m.hasMatch())
        return ToolMessage{m.captured(1), m.captured(2).toInt(), m.captured(3).toLower() == "error", m.captured(4)};
    if (auto m = bare.match(trimmed); m.hasMatch())
        return ToolMessage{QString(), 0, m.captured(1).toLower() == "error", m.captured(2)};
    return std::nullopt;
}

// ---- one run ----

CScriptRun::CScriptRun(bool load, CKivoDoc *doc, bool terminal, QWidget *parent)
    : QWidget(parent), m_load(load), m_terminal(terminal), m_doc(doc)
{
    setObjectName(load ? "loadRun" : "compileRun");
    if (doc) {
        m_project = QString::fromStdString(doc->GetProjectName());
        m_flexSpinPath = doc->m_strFlexSpinPath;
    }
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    auto *top = new QHBoxLayout;
    m_status = new QLabel(this);
    m_status->setObjectName("runStatus");
    QFont bold = m_status->font();
    bold.setBold(true);
    m_status->setFont(bold);
    top->addWidget(m_status, 1);
    m_stopButton = new QPushButton(QApplication::style()->standardIcon(QStyle::SP_MediaStop), "Stop", this);
    m_stopButton->setObjectName("stop");
    m_stopButton->setToolTip("End the script and the program it runs");
    connect(m_stopButton, &QPushButton::clicked, this, &CScriptRun::Stop);
    top->addWidget(m_stopButton);
    layout->addLayout(top);

    m_split = new QSplitter(Qt::Vertical, this);
    QSplitter *split = m_split;
    m_output = new QPlainTextEdit(split);
    m_output->setObjectName("output");
    m_output->setReadOnly(true);
    m_output->setFont(FixedFont());
    m_output->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_output->setMaximumBlockCount(20000);
    m_problems = new QTreeWidget(split);
    m_problems->setObjectName("problems");
    m_problems->setRootIsDecorated(false);
    m_problems->setHeaderLabels({"File", "Line", "Message"});
    m_problems->header()->setStretchLastSection(true);
    m_problems->setColumnWidth(0, 200);
    m_problems->setColumnWidth(1, 50);
    m_problems->setToolTip("Double-click a line to open its file");
    m_problems->hide();
    connect(m_problems, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem *item) {
        const QString file = item->data(0, Qt::UserRole).toString();
        if (!file.isEmpty())
            emit problemChosen(file, item->data(1, Qt::UserRole).toInt());
    });
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 1);
    layout->addWidget(split, 1);
    ShowState();
}

CScriptRun::~CScriptRun()
{
    if (m_process && m_process->state() != QProcess::NotRunning) {
        m_process->disconnect(this);
        SignalGroup(m_pid, SIGKILL);
        m_process->waitForFinished(1000);
    }
}

ProcessOutcome CScriptRun::Start(const ProcessRequest &request)
{
    m_folder = QString::fromStdString(request.workingFolder);
    m_process = new QProcess(this);
    m_process->setProcessChannelMode(QProcess::MergedChannels);
    m_process->setWorkingDirectory(m_folder);
    QStringList args;
    for (auto &a : request.args)
        args << QString::fromStdString(a);
    m_process->setProgram(QString::fromStdString(request.program));
    m_process->setArguments(args);
    // A group of its own: Stop reaches the compiler or loader, not only sh.
    m_process->setChildProcessModifier([] { ::setpgid(0, 0); });
    connect(m_process, &QProcess::readyReadStandardOutput, this, &CScriptRun::OnOutput);
    connect(m_process, &QProcess::finished, this,
            [this](int code, QProcess::ExitStatus status) { OnFinished(code, status == QProcess::CrashExit); });
    ShowText(QString("%1 %2 in %3\n").arg(m_process->program(), args.join(' '), QDir::toNativeSeparators(m_folder)));
    m_process->start(QIODevice::ReadWrite);
    ProcessOutcome outcome;
    if (!m_process->waitForStarted()) {
        m_process->disconnect(this);
        outcome.errorCode = QDir(m_folder).exists() ? ENOENT : ENOTDIR;
        ShowText(m_process->errorString() + "\n");
        m_state = State::Failed;
        m_exitCode = -1;
        ShowState();
        emit ended(this);
        return outcome;
    }
    m_pid = m_process->processId();
    // Nobody answers the script's pause; a terminal keeps its input for
    // the user until the pause shows.
    if (!m_terminal)
        m_process->closeWriteChannel();
    outcome.started = true;
    return outcome;
}

void CScriptRun::Stop()
{
    if (!IsRunning() || !m_process)
        return;
    m_stopAsked = true;
    SignalGroup(m_pid, SIGTERM);
    // A program that ignores the request is ended for good.
    QPointer<QProcess> process = m_process;
    const qint64 pid = m_pid;
    QTimer::singleShot(1500, this, [process, pid] {
        if (process && process->state() != QProcess::NotRunning)
            SignalGroup(pid, SIGKILL);
    });
}

void CScriptRun::StopAndWait()
{
    if (!IsRunning() || !m_process)
        return;
    Stop();
    if (!m_process->waitForFinished(1500)) {
        SignalGroup(m_pid, SIGKILL);
        m_process->waitForFinished(1500);
    }
}

void CScriptRun::Send(const QString &text)
{
    if (IsRunning() && m_process && m_process->isWritable())
        m_process->write(text.toLocal8Bit());
}

QString CScriptRun::Summary() const
{
    const QString what = m_load ? "Load" : "Compile";
    switch (m_state) {
    case State::Running:
        return what + " running";
    case State::Finished:
        if (m_load)
            return what + " finished";
        return QString("%1 finished: %2, %3").arg(what, Counted(m_errors, "error"), Counted(m_warnings, "warning"));
    case State::Failed:
        if (m_exitCode < 0)
            return what + " failed (not started)";
        return QString("%1 failed (exit %2)").arg(what).arg(m_exitCode);
    case State::Stopped:
        return what + " stopped";
    }
    return what;
}

void CScriptRun::OnOutput()
{
    QString text = m_decoder.decode(m_process->readAllStandardOutput());
    text.remove('\r');
    // Problems are read line by line.
    QString lines = m_partial + text;
    qsizetype start = 0;
    for (qsizetype nl; (nl = lines.indexOf('\n', start)) >= 0; start = nl + 1)
        TakeLine(lines.mid(start, nl - start));
    m_partial = lines.mid(start);
    // The script waits for Enter: its tool has ended, so its input closes.
    if (m_terminal && m_partial.endsWith(kPausePrompt))
        m_process->closeWriteChannel();
    text.remove(kPausePrompt);
    if (text.isEmpty())
        return;
    if (m_terminal)
        emit terminalText(text);
    if (!m_boardTalks) {
        ShowText(text);
        if (m_terminal && lines.contains(kTerminalMark, Qt::CaseInsensitive)) {
            m_boardTalks = true;
            ShowText("\n(The board's output continues in the Terminal pane.)\n");
        }
    }
}

void CScriptRun::TakeLine(const QString &line)
{
    if (m_boardTalks)
        return;
    std::optional<ToolMessage> m = ParseToolMessage(line);
    if (!m)
        return;
    ++(m->error ? m_errors : m_warnings);
    auto *item = new QTreeWidgetItem(m_problems);
    item->setIcon(0, QApplication::style()->standardIcon(m->error ? QStyle::SP_MessageBoxCritical
                                                                  : QStyle::SP_MessageBoxWarning));
    item->setText(0, m->file.isEmpty() ? QString() : QFileInfo(m->file).fileName());
    item->setText(1, m->line > 0 ? QString::number(m->line) : QString());
    item->setText(2, QString("%1: %2").arg(m->error ? "error" : "warning", m->text));
    if (!m->file.isEmpty()) {
        const QString path = QDir::cleanPath(QDir(m_folder).absoluteFilePath(m->file));
        item->setData(0, Qt::UserRole, path);
        item->setData(1, Qt::UserRole, m->line);
        item->setToolTip(0, QDir::toNativeSeparators(path));
    }
    item->setToolTip(2, item->text(2));
    if (m_problems->isHidden()) {
        m_problems->show();
        // The list comes in below the output with room for a few lines.
        const int total = m_split->height();
        const int list = std::min(total / 2, m_problems->sizeHintForRow(0) * 4 + m_problems->header()->height() + 8);
        m_split->setSizes({std::max(total - list, 1), std::max(list, 1)});
    }
}

void CScriptRun::OnFinished(int exitCode, bool crashed)
{
    OnOutput();
    if (!m_partial.isEmpty()) {
        TakeLine(m_partial);
        m_partial.clear();
    }
    if (m_stopAsked)
        m_state = State::Stopped;
    else if (!crashed && exitCode == 0)
        m_state = State::Finished;
    else
        m_state = State::Failed;
    m_exitCode = crashed ? 128 : exitCode;
    ShowText(QString("%1%2\n").arg(m_output->toPlainText().endsWith('\n') ? "" : "\n", Summary()));
    ShowState();
    emit ended(this);
}

void CScriptRun::ShowText(const QString &text) { AppendAtEnd(m_output, text); }

void CScriptRun::ShowState()
{
    QString project = m_project.isEmpty() ? QString() : m_project + ": ";
    m_status->setText(project + Summary());
    m_stopButton->setEnabled(IsRunning());
}

// ---- the Build pane ----

CBuildPane::CBuildPane(QWidget *parent) : QWidget(parent)
{
    setObjectName("buildPane");
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    auto *split = new QSplitter(Qt::Horizontal, this);
    m_list = new QListWidget(split);
    m_list->setObjectName("buildRuns");
    m_list->setToolTip("Compile and load runs, newest first");
    m_views = new QStackedWidget(split);
    auto *empty = new QLabel("Compile and Load show their output here.", m_views);
    empty->setAlignment(Qt::AlignCenter);
    empty->setEnabled(false);
    m_views->addWidget(empty);
    split->addWidget(m_list);
    split->addWidget(m_views);
    split->setStretchFactor(0, 0);
    split->setStretchFactor(1, 1);
    split->setSizes({240, 800});
    layout->addWidget(split);
    connect(m_list, &QListWidget::currentRowChanged, this, [this](int row) {
        QListWidgetItem *item = m_list->item(row);
        if (auto *run = item ? static_cast<CScriptRun *>(item->data(Qt::UserRole).value<void *>()) : nullptr)
            m_views->setCurrentWidget(run);
    });
}

CScriptRun *CBuildPane::AddRun(bool load, CKivoDoc *doc, bool terminal)
{
    auto *run = new CScriptRun(load, doc, terminal, m_views);
    m_views->addWidget(run);
    auto *item = new QListWidgetItem;
    item->setData(Qt::UserRole, QVariant::fromValue(static_cast<void *>(run)));
    m_list->insertItem(0, item);
    ShowEntry(run);
    connect(run, &CScriptRun::ended, this, [this, run] { ShowEntry(run); });
    // The oldest ended runs make room.
    for (int i = m_list->count() - 1; i >= kKeptRuns; --i) {
        auto *old = static_cast<CScriptRun *>(m_list->item(i)->data(Qt::UserRole).value<void *>());
        if (old->IsRunning())
            continue;
        delete m_list->takeItem(i);
        m_views->removeWidget(old);
        old->deleteLater();
    }
    m_list->setCurrentRow(0);
    m_views->setCurrentWidget(run);
    return run;
}

void CBuildPane::ShowEntry(CScriptRun *run)
{
    for (int i = 0; i < m_list->count(); ++i) {
        QListWidgetItem *item = m_list->item(i);
        if (item->data(Qt::UserRole).value<void *>() != run)
            continue;
        QString project = run->ProjectName().isEmpty() ? QString() : run->ProjectName() + ": ";
        item->setText(project + run->Summary());
        item->setIcon(StateIcon(run->GetState()));
        item->setToolTip(item->text());
    }
}

CScriptRun *CBuildPane::RunningFor(const CKivoDoc *doc) const
{
    for (CScriptRun *run : Runs())
        if (run->IsRunning() && run->Document() == doc)
            return run;
    return nullptr;
}

void CBuildPane::ForgetDocument(const CKivoDoc *doc)
{
    for (CScriptRun *run : Runs()) {
        if (run->Document() != doc)
            continue;
        run->Stop();
        run->ForgetDocument();
    }
}

QList<CScriptRun *> CBuildPane::Runs() const
{
    QList<CScriptRun *> out;
    for (int i = 0; i < m_list->count(); ++i)
        out << static_cast<CScriptRun *>(m_list->item(i)->data(Qt::UserRole).value<void *>());
    return out;
}

CScriptRun *CBuildPane::Current() const { return qobject_cast<CScriptRun *>(m_views->currentWidget()); }

// ---- the Terminal pane ----

CTerminalPane::CTerminalPane(QWidget *parent) : QWidget(parent)
{
    setObjectName("terminalPane");
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->setSpacing(2);
    m_title = new QLabel("Load P2 with the \"Terminal\" option on opens the board's terminal here.", this);
    m_title->setObjectName("terminalTitle");
    layout->addWidget(m_title);
    m_screen = new QPlainTextEdit(this);
    m_screen->setObjectName("terminalOutput");
    m_screen->setReadOnly(true);
    m_screen->setFont(FixedFont());
    m_screen->setMaximumBlockCount(20000);
    layout->addWidget(m_screen, 1);
    auto *row = new QHBoxLayout;
    m_input = new QLineEdit(this);
    m_input->setObjectName("terminalInput");
    m_input->setFont(FixedFont());
    m_input->setPlaceholderText("Type a line and press Enter to send it to the board");
    m_input->setEnabled(false);
    row->addWidget(m_input, 1);
    m_stop = new QPushButton(QApplication::style()->standardIcon(QStyle::SP_MediaStop), "Stop", this);
    m_stop->setObjectName("terminalStop");
    m_stop->setToolTip("End the loader and its terminal");
    m_stop->setEnabled(false);
    row->addWidget(m_stop);
    layout->addLayout(row);
    connect(m_input, &QLineEdit::returnPressed, this, [this] {
        if (m_run)
            m_run->Send(m_input->text() + "\n");
        m_input->clear();
    });
    connect(m_stop, &QPushButton::clicked, this, [this] {
        if (m_run)
            m_run->Stop();
    });
}

void CTerminalPane::Attach(CScriptRun *run)
{
    if (m_run)
        m_run->disconnect(this);
    m_run = run;
    m_screen->clear();
    m_title->setText(QString("%1: the board's terminal (loadp2 -t); Stop ends it").arg(run->ProjectName()));
    connect(run, &CScriptRun::terminalText, this, [this](const QString &text) { AppendAtEnd(m_screen, text); });
    connect(run, &CScriptRun::ended, this, &CTerminalPane::Ended);
    m_input->setEnabled(run->IsRunning());
    m_stop->setEnabled(run->IsRunning());
}

void CTerminalPane::Ended()
{
    m_input->setEnabled(false);
    m_stop->setEnabled(false);
    if (m_run) {
        AppendAtEnd(m_screen,
                    QString("%1[%2]\n").arg(m_screen->toPlainText().endsWith('\n') ? "" : "\n", m_run->Summary()));
        m_title->setText(QString("%1: %2").arg(m_run->ProjectName(), m_run->Summary()));
    }
}

} // namespace kivo
