#pragma once
#include "run/pinhistory.h"

#include <QWidget>

#include <limits>
#include <optional>
#include <vector>

class QLabel;
class QLineEdit;
class QPushButton;

namespace kivo {

namespace sim {
class LiveRun;
}

// The logic view of the "Simulated Board" tab: a rolling waveform of chosen
// pins (the project's by default) over the latest stretch of simulated time,
// the window ending at the run's present. A click sets the time cursor, the
// wheel and the buttons zoom, and "Save as VCD" writes the shown window.
class CLogicView : public QWidget
{
    Q_OBJECT
public:
    explicit CLogicView(QWidget *parent = nullptr);
    ~CLogicView() override;

    // The run shown (null: none). A pin choice made before carries over.
    void SetRun(sim::LiveRun *run);
    // Takes the run's latest history (the tab's refresh).
    void Refresh();

    // The window's length in simulated seconds, one of 1-2-5 steps from 1 µs to 10 s.
    double Span() const { return m_span; }
    void SetSpan(double seconds);
    void ZoomIn();
    void ZoomOut();
    double WindowEnd() const { return m_trace.until; }
    double WindowStart() const { return m_trace.until - m_span; }
    // The cursor's simulated time (NaN: none).
    void SetCursor(double seconds);
    double Cursor() const { return m_cursor; }

    // Pins as "12,16-19"; false, saying so, when the text is not a pin list.
    bool ChoosePins(const QString &text);
    // The shown window as a VCD file.
    bool SaveVcd(const QString &path, QString *error) const;

    const sim::LogicTrace &Trace() const { return m_trace; }
    QLineEdit *PinsEdit() const { return m_pins; }
    QPushButton *SaveButton() const { return m_save; }
    QLabel *CursorLabel() const { return m_cursorLabel; }
    QLabel *WindowLabel() const { return m_windowLabel; }
    QWidget *Canvas() const;

private:
    class WaveCanvas;
    friend class WaveCanvas;
    void OnSave();
    void ShowLabels();
    QString PinName(int pin) const;

    sim::LiveRun *m_run = nullptr;
    std::optional<std::vector<int>> m_chosen; // the user's choice, kept across runs
    sim::LogicTrace m_trace;
    std::vector<QString> m_names; // per trace pin
    double m_span = 1.0;
    double m_cursor = std::numeric_limits<double>::quiet_NaN();
    QLineEdit *m_pins;
    QLabel *m_windowLabel;
    QLabel *m_cursorLabel;
    QPushButton *m_zoomIn;
    QPushButton *m_zoomOut;
    QPushButton *m_save;
    WaveCanvas *m_canvas;
};

} // namespace kivo
