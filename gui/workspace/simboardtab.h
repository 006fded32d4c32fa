#pragma once
#include "json.h"
#include "run/liverun.h"

#include <QStringDecoder>
#include <QWidget>

#include <cstdint>
#include <memory>
#include <vector>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTimer;
class QGridLayout;
class QScrollArea;

namespace kivo {

class CBoardCard;
class CKivoDoc;
class CLogicView;
class CUsbInput;
namespace sim {
class LiveRun;
}

// The "Simulated Board" tab: the project's compiled program running on the
// simulated board, with Run, Pause, Restart and Stop, the simulated time and
// the speed, the console and a fault when one ends the run. The run goes on
// in a thread of its own; a timer on this thread shows its snapshots. One run
// per tab; closing the tab ends it within a moment.
class CSimBoardTab : public QWidget
{
    Q_OBJECT
public:
    explicit CSimBoardTab(CKivoDoc &doc, QWidget *parent = nullptr);
    ~CSimBoardTab() override;

    // Starts the project's program from reset. False when there is no
    // up-to-date program: the tab then says so and offers Compile.
    bool Start();
    void Pause();
    void Stop();
    bool IsRunning() const;
    // The run, while there is one (for tests).
    sim::LiveRun *Run() const { return m_run.get(); }

    // How often the tab shows the run's state.
    static constexpr int kRefreshMs = 40;

    QPushButton *RunButton() const { return Built().m_runButton; }
    QPushButton *PauseButton() const { return Built().m_pauseButton; }
    QPushButton *RestartButton() const { return Built().m_restartButton; }
    QPushButton *StopButton() const { return Built().m_stopButton; }
    QPushButton *CompileButton() const { return Built().m_compileButton; }
    QLabel *TimeLabel() const { return Built().m_time; }
    QLabel *SpeedLabel() const { return Built().m_speed; }
    QLabel *Message() const { return Built().m_message; }
    QPlainTextEdit *Console() const { return Built().m_console; }
    QLineEdit *Input() const { return Built().m_input; }
    // One card per object, in the project's order, showing its device live.
    const std::vector<CBoardCard *> &Cards() const { return m_cards; }
    CBoardCard *Card(const std::string &objectName) const;

    CLogicView *Logic() const { return Built().m_logic; }
    // Keys and mouse for the run's USB device.
    CUsbInput *UsbInput() const { return Built().m_usbInput; }

    // Writes the console's text to `path`; false when it cannot.
    bool SaveConsole(const QString &path) const;

    void setVisible(bool visible) override;

signals:
    // The user asked for Compile, the program being missing or stale; the
    // main window compiles and calls Start() when the build succeeds.
    void compileRequested();

private:
    void Refresh();
    void ShowMessage(const QString &text, bool problem, bool offerCompile);
    void SendInput();
    void OnSave();
    void UpdateButtons();
    // The cards of the project's objects as they are now (made anew when
    // the objects changed).
    void SyncCards();
    void ShowCards(const sim::LiveRun::Snapshot &snapshot);
    void showEvent(QShowEvent *event) override;
    // The widgets: made when the tab is first shown or used (Built()).
    void Build();
    CSimBoardTab &Built() const;

    CKivoDoc &m_doc;
    std::unique_ptr<sim::LiveRun> m_run;
    std::uint64_t m_shown = 0; // console bytes shown
    QStringDecoder m_decoder{QStringDecoder::Utf8};
    int m_generation = 0;
    QTimer *m_timer;
    QPushButton *m_runButton = nullptr;
    QPushButton *m_pauseButton = nullptr;
    QPushButton *m_restartButton = nullptr;
    QPushButton *m_stopButton = nullptr;
    QLabel *m_state = nullptr;
    QLabel *m_time = nullptr;
    QLabel *m_speed = nullptr;
    QWidget *m_messageBar = nullptr;
    QLabel *m_message = nullptr;
    QPushButton *m_compileButton = nullptr;
    QPlainTextEdit *m_console = nullptr;
    QLineEdit *m_input = nullptr;
    QScrollArea *m_cardArea = nullptr;
    QGridLayout *m_cardGrid = nullptr;
    std::vector<CBoardCard *> m_cards;
    std::vector<std::pair<std::string, std::int32_t>> m_cardsFor; // the objects the cards were made for
    CLogicView *m_logic = nullptr;
    CUsbInput *m_usbInput = nullptr;
};

} // namespace kivo
