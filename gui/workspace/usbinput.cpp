#include "workspace/usbinput.h"

#include "run/liverun.h"

#include <QEvent>
#include <QKeyEvent>
#include <QKeySequence>
#include <QMouseEvent>
#include <QPalette>
#include <QVariant>
#include <QWidget>

#include <algorithm>
#include <utility>

namespace kivo {

namespace {

struct KeyUsage {
    int key;
    std::uint8_t usage;
    const char *name; // null: the key's character names it
};

// The keys that are not letters or digits, on a US layout. A shifted symbol
// is the key it is typed on (Shift goes in the modifiers).
constexpr KeyUsage kKeys[] = {
    {Qt::Key_Return, 0x28, "Enter"},
    {Qt::Key_Enter, 0x28, nullptr}, // outside the keypad
    {Qt::Key_Escape, 0x29, "Esc"},
    {Qt::Key_Backspace, 0x2A, "Backspace"},
    {Qt::Key_Tab, 0x2B, "Tab"},
    {Qt::Key_Backtab, 0x2B, nullptr},
    {Qt::Key_Space, 0x2C, "Space"},
    {Qt::Key_Minus, 0x2D, "-"},
    {Qt::Key_Underscore, 0x2D, nullptr},
    {Qt::Key_Equal, 0x2E, "="},
    {Qt::Key_Plus, 0x2E, nullptr},
    {Qt::Key_BracketLeft, 0x2F, "["},
    {Qt::Key_BraceLeft, 0x2F, nullptr},
    {Qt::Key_BracketRight, 0x30, "]"},
    {Qt::Key_BraceRight, 0x30, nullptr},
    {Qt::Key_Backslash, 0x31, "\\"},
    {Qt::Key_Bar, 0x31, nullptr},
    {Qt::Key_Semicolon, 0x33, ";"},
    {Qt::Key_Colon, 0x33, nullptr},
    {Qt::Key_Apostrophe, 0x34, "'"},
    {Qt::Key_QuoteDbl, 0x34, nullptr},
    {Qt::Key_QuoteLeft, 0x35, "`"},
    {Qt::Key_AsciiTilde, 0x35, nullptr},
    {Qt::Key_Comma, 0x36, ","},
    {Qt::Key_Less, 0x36, nullptr},
    {Qt::Key_Period, 0x37, "."},
    {Qt::Key_Greater, 0x37, nullptr},
    {Qt::Key_Slash, 0x38, "/"},
    {Qt::Key_Question, 0x38, nullptr},
    {Qt::Key_Exclam, 0x1E, nullptr},
    {Qt::Key_At, 0x1F, nullptr},
    {Qt::Key_NumberSign, 0x20, nullptr},
    {Qt::Key_Dollar, 0x21, nullptr},
    {Qt::Key_Percent, 0x22, nullptr},
    {Qt::Key_AsciiCircum, 0x23, nullptr},
    {Qt::Key_Ampersand, 0x24, nullptr},
    {Qt::Key_Asterisk, 0x25, nullptr},
    {Qt::Key_ParenLeft, 0x26, nullptr},
    {Qt::Key_ParenRight, 0x27, nullptr},
    {Qt::Key_CapsLock, 0x39, "Caps Lock"},
    {Qt::Key_Print, 0x46, "Print Screen"},
    {Qt::Key_ScrollLock, 0x47, "Scroll Lock"},
    {Qt::Key_Pause, 0x48, "Pause"},
    {Qt::Key_Insert, 0x49, "Insert"},
    {Qt::Key_Home, 0x4A, "Home"},
    {Qt::Key_PageUp, 0x4B, "Page Up"},
    {Qt::Key_Delete, 0x4C, "Delete"},
    {Qt::Key_End, 0x4D, "End"},
    {Qt::Key_PageDown, 0x4E, "Page Down"},
    {Qt::Key_Right, 0x4F, "Right"},
    {Qt::Key_Left, 0x50, "Left"},
    {Qt::Key_Down, 0x51, "Down"},
    {Qt::Key_Up, 0x52, "Up"},
    {Qt::Key_NumLock, 0x53, "Num Lock"},
    {Qt::Key_Menu, 0x65, "Menu"},
};

constexpr struct {
    int key;
    std::uint8_t bit;
} kModifierKeys[] = {
    {Qt::Key_Control, 0x01}, {Qt::Key_Shift, 0x02}, {Qt::Key_Alt, 0x04}, {Qt::Key_AltGr, 0x40}, {Qt::Key_Meta, 0x08},
};

// The keypad's own keys (Num Lock on), after its digits 1..9 at 0x59.
constexpr std::pair<int, std::uint8_t> kKeypad[] = {
    {Qt::Key_Slash, 0x54}, {Qt::Key_Asterisk, 0x55}, {Qt::Key_Minus, 0x56},  {Qt::Key_Plus, 0x57},
    {Qt::Key_Enter, 0x58}, {Qt::Key_0, 0x62},        {Qt::Key_Period, 0x63},
};

// The property that holds a watched monitor's own background.
constexpr const char *kTinted = "usbInputBase";

} // namespace

std::uint8_t HidUsageOfKey(int key, bool keypad, std::uint8_t *modifier)
{
    if (modifier)
        *modifier = 0;
    if (keypad) {
        if (key >= Qt::Key_1 && key <= Qt::Key_9)
            return std::uint8_t(0x59 + (key - Qt::Key_1));
        for (const auto &[k, usage] : kKeypad)
            if (k == key)
                return usage;
    }
    if (key >= Qt::Key_A && key <= Qt::Key_Z)
        return std::uint8_t(0x04 + (key - Qt::Key_A));
    if (key >= Qt::Key_1 && key <= Qt::Key_9)
        return std::uint8_t(0x1E + (key - Qt::Key_1));
    if (key == Qt::Key_0)
        return 0x27;
    if (key >= Qt::Key_F1 && key <= Qt::Key_F12)
        return std::uint8_t(0x3A + (key - Qt::Key_F1));
    for (const KeyUsage &k : kKeys)
        if (k.key == key)
            return k.usage;
    for (const auto &m : kModifierKeys)
        if (m.key == key && modifier)
            *modifier = m.bit;
    return 0;
}

std::uint8_t HidModifiersOf(Qt::KeyboardModifiers modifiers)
{
    std::uint8_t bits = 0;
    if (modifiers & Qt::ControlModifier)
        bits |= 0x01;
    if (modifiers & Qt::ShiftModifier)
        bits |= 0x02;
    if (modifiers & Qt::AltModifier)
        bits |= 0x04;
    if (modifiers & Qt::MetaModifier)
        bits |= 0x08;
    return bits;
}

QString HidUsageName(std::uint8_t usage)
{
    if (usage >= 0x04 && usage <= 0x1D)
        return QString(QChar('A' + (usage - 0x04)));
    if (usage >= 0x1E && usage <= 0x26)
        return QString(QChar('1' + (usage - 0x1E)));
    if (usage == 0x27)
        return "0";
    if (usage >= 0x3A && usage <= 0x45)
        return QString("F%1").arg(usage - 0x3A + 1);
    if (usage >= 0x59 && usage <= 0x62)
        return QString("Keypad %1").arg((usage - 0x59 + 1) % 10);
    for (const auto &[key, u] : kKeypad)
        if (u == usage)
            return "Keypad " + QKeySequence(key).toString();
    for (const KeyUsage &k : kKeys)
        if (k.usage == usage && k.name)
            return k.name;
    return {};
}

void CUsbInput::SetRun(sim::LiveRun *run)
{
    m_run = run;
    m_modifiers = 0;
    m_held.clear();
    m_mouseKnown = false;
}

void CUsbInput::Watch(QWidget *w, bool mouse)
{
    w->installEventFilter(this);
    if (!mouse)
        return;
    w->setProperty(kTinted, w->palette().color(QPalette::Base));
    // The mouse reaches the child under it first.
    for (QWidget *child : w->findChildren<QWidget *>()) {
        child->setMouseTracking(true);
        child->installEventFilter(this);
    }
    w->setMouseTracking(true);
}

bool CUsbInput::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease: {
        const auto *key = static_cast<QKeyEvent *>(event);
        // Tab and Backtab keep moving the focus, so the tab works from the keyboard.
        if (key->key() != Qt::Key_Tab && key->key() != Qt::Key_Backtab && !key->isAutoRepeat())
            Key(*key, event->type() == QEvent::KeyPress);
        break;
    }
    case QEvent::FocusIn:
    case QEvent::FocusOut: {
        if (event->type() == QEvent::FocusOut)
            Release();
        // The monitor shows that it takes the keys: its frame takes on the
        // highlight's tint while it has the focus.
        auto *w = qobject_cast<QWidget *>(watched);
        const QVariant base = w ? w->property(kTinted) : QVariant();
        if (base.isValid()) {
            QColor tint = base.value<QColor>();
            if (event->type() == QEvent::FocusIn) {
                const QColor h = w->palette().color(QPalette::Highlight);
                tint.setRgb((tint.red() * 3 + h.red()) / 4, (tint.green() * 3 + h.green()) / 4,
                            (tint.blue() * 3 + h.blue()) / 4);
            }
            QPalette p = w->palette();
            p.setColor(QPalette::Base, tint);
            w->setPalette(p);
        }
        break;
    }
    case QEvent::MouseMove:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease: {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        const QPoint at = mouse->globalPosition().toPoint();
        const int dx = m_mouseKnown ? at.x() - m_mouseX : 0, dy = m_mouseKnown ? at.y() - m_mouseY : 0;
        m_mouseKnown = true;
        m_mouseX = at.x();
        m_mouseY = at.y();
        const Qt::MouseButtons b = mouse->buttons();
        const int buttons =
            (b & Qt::LeftButton ? 1 : 0) | (b & Qt::RightButton ? 2 : 0) | (b & Qt::MiddleButton ? 4 : 0);
        if (m_run && (dx || dy || event->type() != QEvent::MouseMove))
            m_run->usbMouse(dx, dy, buttons);
        break;
    }
    case QEvent::Leave:
        m_mouseKnown = false;
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

void CUsbInput::Key(const QKeyEvent &event, bool press)
{
    std::uint8_t modifier = 0;
    const std::uint8_t usage = HidUsageOfKey(event.key(), event.modifiers().testFlag(Qt::KeypadModifier), &modifier);
    if (!usage && !modifier)
        return;
    // The event's modifiers, but a modifier key's own bit as the key is now.
    m_modifiers = std::uint8_t((HidModifiersOf(event.modifiers()) & ~modifier) | (press ? modifier : 0));
    const auto at = std::find(m_held.begin(), m_held.end(), usage);
    if (usage && press && at == m_held.end() && m_held.size() < 6)
        m_held.push_back(usage);
    else if (usage && !press && at != m_held.end())
        m_held.erase(at);
    if (m_run)
        m_run->usbKeys(m_modifiers, m_held);
}

// Focus gone: nothing stays held down.
void CUsbInput::Release()
{
    if (!m_modifiers && m_held.empty())
        return;
    m_modifiers = 0;
    m_held.clear();
    if (m_run)
        m_run->usbKeys(0, {});
}

} // namespace kivo
