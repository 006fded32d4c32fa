#include "workspace/simboardtab.h"

#include "model/kivodoc.h"
#include "run/liverun.h"
#include "run/projectrun.h"
#include "workspace/boardcard.h"
#include "workspace/logicview.h"
#include "workspace/usbinput.h"

#include <QFile>
#include <QFileDialog>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QSplitter>
#include <QTextCursor>
#include <QTimer>
#include <QVBoxLayout>

namespace kivo {

namespace {

QString StateText(sim::LiveRun::State state)
{
    switch (state) {
    case sim::LiveRun::State::Running:
        return "Running";
    case sim::LiveRun::State::Paused:
        return "Paused";
    case sim::LiveRun::State::Ended:
        return "Ended";
    case sim::LiveRun::State::Stopped:
        break;
    }
    return "Stopped";
}

} // namespace

CSimBoardTab::CSimBoardTab(CKivoDoc &doc, QWidget *parent) : QWidget(parent), m_doc(doc), m_timer(new QTimer(this))
{
    connect(m_timer, &QTimer::timeout, this, &CSimBoardTab::Refresh);
    m_timer->setInterval(kRefreshMs);
}

CSimBoardTab &CSimBoardTab::Built() const
{
    // Made once, when first shown or used: a project opens on another tab,
    // and its window comes up sooner without this one's widgets.
    auto *self = const_cast<CSimBoardTab *>(this);
    if (!m_runButton)
        self->Build();
    return *self;
}

void CSimBoardTab::setVisible(bool visible)
{
    if (visible)
        Built();
    QWidget::setVisible(visible);
}

void CSimBoardTab::Build()
{
    auto *layout = new QVBoxLayout(this);

    auto *controls = new QHBoxLayout;
    m_runButton = new QPushButton("&Run", this);
    m_pauseButton = new QPushButton("&Pause", this);
    m_restartButton = new QPushButton("R&estart", this);
    m_stopButton = new QPushButton("S&top", this);
    m_runButton->setToolTip("Run the compiled program on the simulated board (Ctrl+R)");
    m_restartButton->setToolTip("Start the chip again from reset");
    for (QPushButton *b : {m_runButton, m_pauseButton, m_restartButton, m_stopButton})
        controls->addWidget(b);
    controls->addSpacing(16);
    m_state = new QLabel(this);
    m_time = new QLabel(this);
    m_speed = new QLabel(this);
    m_state->setMinimumWidth(70);
    m_time->setMinimumWidth(190);
    m_time->setToolTip("Simulated time since reset");
    m_speed->setToolTip("Simulated time per real time: below 100% the host cannot keep up");
    for (QLabel *l : {m_state, m_time, m_speed})
        controls->addWidget(l);
    controls->addStretch(1);
    layout->addLayout(controls);

    // What stops the run or keeps it from starting, with Compile when that helps.
    m_messageBar = new QWidget(this);
    auto *bar = new QHBoxLayout(m_messageBar);
    bar->setContentsMargins(0, 0, 0, 0);
    m_message = new QLabel(m_messageBar);
    m_message->setWordWrap(true);
    m_message->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_compileButton = new QPushButton("&Compile", m_messageBar);
    bar->addWidget(m_message, 1);
    bar->addWidget(m_compileButton);
    m_messageBar->hide();
    layout->addWidget(m_messageBar);

    auto *consoleBox = new QGroupBox("Console (pins 62 and 63)", this);
    auto *consoleLayout = new QVBoxLayout(consoleBox);
    m_console = new QPlainTextEdit(consoleBox);
    m_console->setReadOnly(true);
    m_console->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_console->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_console->setMaximumBlockCount(20000);
    consoleLayout->addWidget(m_console, 1);
    auto *inputRow = new QHBoxLayout;
    m_input = new QLineEdit(consoleBox);
    m_input->setPlaceholderText("Text to send to the program (Enter sends it with a line end)");
    auto *send = new QPushButton("Send", consoleBox);
    auto *clear = new QPushButton("Clear", consoleBox);
    auto *save = new QPushButton("Save...", consoleBox);
    inputRow->addWidget(m_input, 1);
    for (QPushButton *b : {send, clear, save})
        inputRow->addWidget(b);
    consoleLayout->addLayout(inputRow);
    // The objects' cards, two to a row (a wide one takes a row).
    m_cardArea = new QScrollArea(this);
    m_cardArea->setWidgetResizable(true);
    m_cardArea->setFrameShape(QFrame::NoFrame);
    auto *cards = new QWidget(m_cardArea);
    m_cardGrid = new QGridLayout(cards);
    m_cardGrid->setContentsMargins(0, 0, 4, 0);
    m_cardGrid->setSpacing(6);
    m_cardArea->setWidget(cards);
    auto *split = new QSplitter(Qt::Horizontal, this);
    split->addWidget(m_cardArea);
    split->addWidget(consoleBox);
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 2);
    split->setSizes({600, 400});
    // The logic view below the devices and the console.
    auto *logicBox = new QGroupBox("Logic", this);
    auto *logicLayout = new QVBoxLayout(logicBox);
    m_logic = new CLogicView(logicBox);
    logicLayout->addWidget(m_logic);
    auto *rows = new QSplitter(Qt::Vertical, this);
    rows->addWidget(split);
    rows->addWidget(logicBox);
    rows->setStretchFactor(0, 3);
    rows->setStretchFactor(1, 2);
    // On a small screen with the Build pane open the tab scrolls, rather
    // than making the window taller than the screen.
    auto *body = new QScrollArea(this);
    body->setWidgetResizable(true);
    body->setFrameShape(QFrame::NoFrame);
    body->setWidget(rows);
    layout->addWidget(body, 1);

    connect(m_runButton, &QPushButton::clicked, this, [this] {
        if (m_run && m_run->snapshot().state == sim::LiveRun::State::Paused)
            m_run->run();
        else
            Start();
        UpdateButtons();
    });
    connect(m_pauseButton, &QPushButton::clicked, this, &CSimBoardTab::Pause);
    connect(m_restartButton, &QPushButton::clicked, this, [this] { Start(); });
    connect(m_stopButton, &QPushButton::clicked, this, &CSimBoardTab::Stop);
    connect(m_compileButton, &QPushButton::clicked, this, &CSimBoardTab::compileRequested);
    connect(m_input, &QLineEdit::returnPressed, this, &CSimBoardTab::SendInput);
    connect(send, &QPushButton::clicked, this, &CSimBoardTab::SendInput);
    connect(clear, &QPushButton::clicked, m_console, &QPlainTextEdit::clear);
    connect(save, &QPushButton::clicked, this, &CSimBoardTab::OnSave);
    m_usbInput = new CUsbInput(this);
    m_usbInput->Watch(m_console, false);

    setTabOrder(m_runButton, m_pauseButton);
    setTabOrder(m_pauseButton, m_restartButton);
    setTabOrder(m_restartButton, m_stopButton);
    // The cards are made when the tab is shown or run.
    Refresh();
}

// The run's thread ends here, after its current slice.
CSimBoardTab::~CSimBoardTab() = default;

bool CSimBoardTab::Start()
{
    Built();
    // The program may have been compiled again: each start reads it anew.
    m_timer->stop();
    for (CBoardCard *card : m_cards)
        card->Attach(nullptr);
    m_logic->SetRun(nullptr);
    m_usbInput->SetRun(nullptr);
    m_run.reset();
    SyncCards();
    auto run = std::make_unique<sim::LiveRun>();
    std::vector<std::string> sets;
    for (CBoardCard *card : m_cards) {
        card->BeforeStart(sets);
        card->BeforeOpen(*run);
    }
    run->setStartSettings(std::move(sets));
    std::string error;
    if (!run->openProject(m_doc, &error)) {
        const bool compile = sim::CheckProjectBinary(m_doc, nullptr, nullptr) != sim::BinaryState::Ready;
        ShowMessage(QString::fromStdString(error), true, compile);
        Refresh();
        return false;
    }
    m_messageBar->hide();
    m_run = std::move(run);
    for (CBoardCard *card : m_cards)
        card->Attach(m_run.get());
    m_logic->SetRun(m_run.get());
    m_usbInput->SetRun(m_run.get());
    m_run->run();
    m_timer->start();
    Refresh();
    return true;
}

void CSimBoardTab::Pause()
{
    Built();
    if (m_run)
        m_run->pause();
    Refresh();
}

void CSimBoardTab::Stop()
{
    Built();
    if (m_run)
        m_run->stop();
    Refresh();
}

bool CSimBoardTab::IsRunning() const { return m_run && m_run->snapshot().state == sim::LiveRun::State::Running; }

void CSimBoardTab::ShowMessage(const QString &text, bool problem, bool offerCompile)
{
    m_message->setText(text);
    m_message->setStyleSheet(problem ? "color: #b00000;" : "");
    m_compileButton->setVisible(offerCompile);
    m_messageBar->show();
}

void CSimBoardTab::Refresh()
{
    const sim::LiveRun::Snapshot s = m_run ? m_run->snapshot() : sim::LiveRun::Snapshot{};
    if (m_run) {
        if (s.generation != m_generation) {
            m_generation = s.generation;
            m_console->clear();
            m_shown = 0;
            m_decoder.resetState();
        }
        if (s.consoleEnd > m_shown) {
            const std::string bytes = m_run->console(m_shown);
            QString text = m_decoder.decode(QByteArrayView(bytes.data(), qsizetype(bytes.size())));
            m_shown = s.consoleEnd;
            text.remove('\r');
            QTextCursor end(m_console->document());
            end.movePosition(QTextCursor::End);
            end.insertText(text);
            m_console->moveCursor(QTextCursor::End);
            m_console->ensureCursorVisible();
        }
        ShowCards(s);
        m_logic->Refresh();
        if (s.state == sim::LiveRun::State::Ended) {
            m_timer->stop();
            ShowMessage(QString::fromStdString(s.ended), !s.fault.empty(), false);
        }
    }
    m_state->setText(StateText(s.state));
    m_time->setText(QString("Simulated time: %1 s").arg(s.seconds, 0, 'f', 3));
    const bool measured = s.state == sim::LiveRun::State::Running && s.speed > 0;
    m_speed->setText(QString("Speed: %1").arg(measured ? QString("%1%").arg(s.speed, 0, 'f', 0) : QString("-")));
    UpdateButtons();
}

CBoardCard *CSimBoardTab::Card(const std::string &objectName) const
{
    for (CBoardCard *card : m_cards)
        if (card->ObjectName() == objectName)
            return card;
    return nullptr;
}

void CSimBoardTab::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!m_run)
        SyncCards();
}

void CSimBoardTab::SyncCards()
{
    std::vector<std::pair<std::string, std::int32_t>> objects;
    for (const auto &o : m_doc.m_objList)
        objects.emplace_back(o->m_strName, o->m_nKind);
    if (objects == m_cardsFor && !m_cards.empty())
        return;
    m_cardsFor = objects;
    for (CBoardCard *card : m_cards)
        delete card;
    m_cards.clear();
    while (QLayoutItem *item = m_cardGrid->takeAt(0))
        delete item;
    QWidget *holder = m_cardArea->widget();
    int row = 0, column = 0;
    for (const auto &o : m_doc.m_objList) {
        CBoardCard *card = MakeBoardCard(*o, holder);
        if (card->Wide() && column > 0) {
            row++;
            column = 0;
        }
        m_cardGrid->addWidget(card, row, column, 1, card->Wide() ? 2 : 1);
        column += card->Wide() ? 2 : 1;
        if (column >= 2) {
            row++;
            column = 0;
        }
        m_cards.push_back(card);
        // The monitor takes the focus for the USB keyboard, and the mouse.
        if (card->Kind() == kSimpleVGA) {
            card->setFocusPolicy(Qt::StrongFocus);
            m_usbInput->Watch(card, true);
        }
    }
    m_cardGrid->setRowStretch(row + 1, 1);
    m_cardGrid->setColumnStretch(0, 1);
    m_cardGrid->setColumnStretch(1, 1);
    // Tab order: the run's buttons, each card's controls, the console's input.
    QWidget *last = m_stopButton;
    for (CBoardCard *card : m_cards)
        for (QWidget *w : card->findChildren<QWidget *>())
            if (w->parentWidget() == card && (w->focusPolicy() & Qt::TabFocus)) {
                setTabOrder(last, w);
                last = w;
            }
    setTabOrder(last, m_input);
}

void CSimBoardTab::ShowCards(const sim::LiveRun::Snapshot &snapshot)
{
    static const Json none;
    for (CBoardCard *card : m_cards) {
        const Json *entry = &none;
        if (snapshot.board.is_array())
            for (const Json &o : snapshot.board)
                if (o.value("name", "") == card->ObjectName()) {
                    entry = &o;
                    break;
                }
        card->Show(snapshot, *entry);
    }
}

void CSimBoardTab::UpdateButtons()
{
    using State = sim::LiveRun::State;
    const State state = m_run ? m_run->snapshot().state : State::Stopped;
    m_pauseButton->setEnabled(state == State::Running);
    m_stopButton->setEnabled(state == State::Running || state == State::Paused);
    m_restartButton->setEnabled(m_run != nullptr);
    m_runButton->setEnabled(state != State::Running);
}

void CSimBoardTab::SendInput()
{
    if (!m_run)
        return;
    m_run->send(m_input->text().toUtf8().toStdString() + "\r");
    m_input->clear();
}

bool CSimBoardTab::SaveConsole(const QString &path) const
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    const QByteArray bytes = Built().m_console->toPlainText().toUtf8();
    return file.write(bytes) == bytes.size() && file.flush();
}

void CSimBoardTab::OnSave()
{
    const QString path = QFileDialog::getSaveFileName(this, "Save Console", QString(), "Text files (*.txt)");
    if (!path.isEmpty() && !SaveConsole(path))
        ShowMessage("The console cannot be saved to " + path + ".", true, false);
}

} // namespace kivo
