#pragma once
// CTitleTip: the borderless pop-up that shows a clipped cell text in full.
// It takes no input: the pointer, clicks and keys belong to the grid below.
#include <QColor>
#include <QFont>
#include <QWidget>

namespace kivo {

class CGridCtrl;

class CTitleTip : public QWidget
{
    Q_OBJECT
public:
    explicit CTitleTip(CGridCtrl *grid);

    // Shows `text` with one space before and after it over `cellRect`
    // (global coordinates), as wide as that text needs, in the cell's
    // font and colours.
    void Show(const QRect &cellRect, const QString &text, const QFont &font, const QColor &fg, const QColor &bg);
    void Hide();
    // The text shown, spaces included.
    QString Text() const { return m_strText; }
    QRect CellRect() const { return m_CellRect; }

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void PassOn(QMouseEvent *event);

    CGridCtrl *m_pGrid;
    QString m_strText;
    QRect m_CellRect;
    QColor m_crFg;
    QColor m_crBg;
};

} // namespace kivo
