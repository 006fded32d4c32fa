#pragma once
// The person at the simulated board: while the monitor or the console has
// keyboard focus, the keys held go to the run's USB keyboard (as HID boot
// reports: modifiers and up to six usages, on each press and release); mouse
// moves and buttons over the monitor go to its USB mouse. The run takes them
// as commands on its own thread.
#include <QObject>

#include <cstdint>
#include <vector>

class QKeyEvent;
class QWidget;

namespace kivo {

namespace sim {
class LiveRun;
}

// The HID usage (keyboard page) of a Qt key, on the keypad or not; 0 for
// none. A modifier key (Shift, Control, Alt, Meta) has none and gives its bit
// in *modifier.
std::uint8_t HidUsageOfKey(int qtKey, bool keypad = false, std::uint8_t *modifier = nullptr);
// The HID modifier bits (left Control 0x01, Shift 0x02, Alt 0x04, GUI 0x08).
std::uint8_t HidModifiersOf(Qt::KeyboardModifiers modifiers);
// A usage's key as a person names it ("A", "Enter", "F5"); "" when unknown.
QString HidUsageName(std::uint8_t usage);

class CUsbInput : public QObject
{
public:
    explicit CUsbInput(QObject *parent) : QObject(parent) {}
    // Where the input goes; null between runs (the keys held are forgotten).
    void SetRun(sim::LiveRun *run);
    // Takes the keys while `w` has focus, and with `mouse` the mouse over it
    // and its children.
    void Watch(QWidget *w, bool mouse);
    // The keys held now, as the keyboard reports them.
    std::uint8_t Modifiers() const { return m_modifiers; }
    const std::vector<std::uint8_t> &Held() const { return m_held; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void Key(const QKeyEvent &event, bool press);
    void Release();

    sim::LiveRun *m_run = nullptr;
    std::uint8_t m_modifiers = 0;
    std::vector<std::uint8_t> m_held;
    bool m_mouseKnown = false;
    int m_mouseX = 0, m_mouseY = 0;
};

} // namespace kivo
