#pragma once
// Synthetic input for the grid tests (delivered straight to the widgets, so
// no window system is needed).
#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>
#include <QWidget>

namespace kivo::test {

inline void Mouse(QWidget *w, QEvent::Type type, QPoint pt, Qt::MouseButton button = Qt::LeftButton,
                  Qt::KeyboardModifiers mods = Qt::NoModifier)
{
    Qt::MouseButtons buttons = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button);
    if (type == QEvent::MouseMove && button == Qt::NoButton)
        buttons = Qt::NoButton;
    QMouseEvent e(type, QPointF(pt), QPointF(w->mapToGlobal(pt)), button, buttons, mods);
    QApplication::sendEvent(w, &e);
}

inline void Click(QWidget *w, QPoint pt, Qt::KeyboardModifiers mods = Qt::NoModifier)
{
    Mouse(w, QEvent::MouseButtonPress, pt, Qt::LeftButton, mods);
    Mouse(w, QEvent::MouseButtonRelease, pt, Qt::LeftButton, mods);
}

inline void DoubleClick(QWidget *w, QPoint pt)
{
    Click(w, pt);
    Mouse(w, QEvent::MouseButtonPress, pt);
    Mouse(w, QEvent::MouseButtonDblClick, pt);
    Mouse(w, QEvent::MouseButtonRelease, pt);
}

inline void Hover(QWidget *w, QPoint pt) { Mouse(w, QEvent::MouseMove, pt, Qt::NoButton); }

inline void Key(QWidget *w, int key, Qt::KeyboardModifiers mods = Qt::NoModifier, const QString &text = QString())
{
    QKeyEvent press(QEvent::KeyPress, key, mods, text);
    QApplication::sendEvent(w, &press);
    QKeyEvent release(QEvent::KeyRelease, key, mods, text);
    QApplication::sendEvent(w, &release);
}

inline void Type(QWidget *w, QChar c) { Key(w, c.toUpper().unicode(), Qt::NoModifier, QString(c)); }

inline void Wheel(QWidget *w, QPoint pt, int notches)
{
    QWheelEvent e(QPointF(pt), QPointF(w->mapToGlobal(pt)), QPoint(), QPoint(0, 120 * notches), Qt::NoButton,
                  Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(w, &e);
}

// Lets deleteLater() take effect.
inline void FlushDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

} // namespace kivo::test
