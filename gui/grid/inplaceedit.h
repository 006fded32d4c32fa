#pragma once
// CInPlaceEdit: the edit box laid over a grid cell while it is edited.
#include <QLineEdit>

namespace kivo {

class CInPlaceEdit : public QLineEdit
{
    Q_OBJECT
public:
    // `cellRect` in the parent's coordinates; `rightEdge` is how far right
    // the box may grow. With `startedByTyping` the box holds `text` (the
    // typed character) and the arrow and page keys end the edit.
    CInPlaceEdit(QWidget *parent, const QRect &cellRect, int row, int col, const QString &text, bool startedByTyping,
                 const QFont &font, int margin, int rightEdge);

    int Row() const { return m_nRow; }
    int Col() const { return m_nCol; }
    bool StartedByTyping() const { return m_bStartedByTyping; }
    // Ends the edit once: editEnded() is sent and the box goes away.
    void EndEdit(bool keep, int key = 0, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
    // The keys that move the focus to another cell (when the edit lets them).
    static bool IsMoveKey(int key);

signals:
    // `key` is the key that ended the edit (0 for a focus loss or a call).
    void editEnded(int row, int col, const QString &text, bool keep, int key, Qt::KeyboardModifiers modifiers);

protected:
    bool event(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    void Grow();

    int m_nRow;
    int m_nCol;
    bool m_bStartedByTyping;
    bool m_bEnded = false;
    QRect m_Rect;
    int m_nRightEdge;
};

} // namespace kivo
