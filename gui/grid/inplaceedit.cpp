#include "grid/inplaceedit.h"

#include "grid/gridgeometry.h"

#include <QFocusEvent>
#include <QFontMetrics>
#include <QKeyEvent>

namespace kivo {

CInPlaceEdit::CInPlaceEdit(QWidget *parent, const QRect &cellRect, int row, int col, const QString &text,
                           bool startedByTyping, const QFont &font, int margin, int rightEdge)
    : QLineEdit(parent), m_nRow(row), m_nCol(col), m_bStartedByTyping(startedByTyping),
      m_Rect(cellRect.adjusted(0, 0, -1, -1)), m_nRightEdge(rightEdge)
{
    setFrame(false);
    setFont(font);
    // Line the text up with where the cell draws it.
    setTextMargins(std::max(margin - 2, 0), 0, 0, 0);
    setText(text);
    if (startedByTyping)
        deselect();
    else
        selectAll();
    setGeometry(m_Rect);
    connect(this, &QLineEdit::textChanged, this, &CInPlaceEdit::Grow);
    Grow();
}

void CInPlaceEdit::Grow()
{
    QFontMetrics fm(font());
    int width = InPlaceEditWidth(m_Rect.width(), fm.horizontalAdvance(text()), fm.horizontalAdvance(QLatin1Char(' ')),
                                 m_Rect.left(), m_nRightEdge);
    resize(width, m_Rect.height());
}

bool CInPlaceEdit::IsMoveKey(int key)
{
    switch (key) {
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
        return true;
    default:
        return false;
    }
}

void CInPlaceEdit::EndEdit(bool keep, int key, Qt::KeyboardModifiers modifiers)
{
    if (m_bEnded)
        return;
    m_bEnded = true;
    const QString value = text();
    hide();
    emit editEnded(m_nRow, m_nCol, value, keep, key, modifiers);
    deleteLater();
}

bool CInPlaceEdit::event(QEvent *e)
{
    // Tab would otherwise move the focus before keyPressEvent sees it; the
    // window's shortcuts must not take the keys the box acts on.
    if (e->type() == QEvent::KeyPress) {
        auto *ke = static_cast<QKeyEvent *>(e);
        if (ke->key() == Qt::Key_Tab || ke->key() == Qt::Key_Backtab) {
            EndEdit(true, ke->key(), ke->modifiers());
            return true;
        }
    } else if (e->type() == QEvent::ShortcutOverride) {
        auto *ke = static_cast<QKeyEvent *>(e);
        int key = ke->key();
        if (key == Qt::Key_Escape || key == Qt::Key_Return || key == Qt::Key_Enter || IsMoveKey(key)) {
            e->accept();
            return true;
        }
    }
    return QLineEdit::event(e);
}

void CInPlaceEdit::keyPressEvent(QKeyEvent *e)
{
    int key = e->key();
    switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        EndEdit(true, key, e->modifiers());
        return;
    case Qt::Key_Escape:
        EndEdit(false, key, e->modifiers());
        return;
    default:
        break;
    }
    if (IsMoveKey(key)) {
        if (m_bStartedByTyping || (e->modifiers() & Qt::ControlModifier)) {
            EndEdit(true, key, e->modifiers());
            return;
        }
        QLineEdit::keyPressEvent(e);
        e->accept(); // Up and Down must not reach the grid below
        return;
    }
    QLineEdit::keyPressEvent(e);
}

void CInPlaceEdit::focusOutEvent(QFocusEvent *e)
{
    QLineEdit::focusOutEvent(e);
    // The box's own context menu takes the focus for a moment only.
    if (e->reason() != Qt::PopupFocusReason)
        EndEdit(true);
}

} // namespace kivo
