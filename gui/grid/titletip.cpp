#include "grid/titletip.h"

#include "grid/gridctrl.h"

#include <QApplication>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

namespace kivo {

CTitleTip::CTitleTip(CGridCtrl *grid)
    : QWidget(grid,
              Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowTransparentForInput | Qt::WindowDoesNotAcceptFocus),
      m_pGrid(grid)
{
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFocusPolicy(Qt::NoFocus);
    setMouseTracking(true);
}

void CTitleTip::Show(const QRect &cellRect, const QString &text, const QFont &font, const QColor &fg, const QColor &bg)
{
    m_strText = QLatin1Char(' ') + text + QLatin1Char(' ');
    m_CellRect = cellRect;
    m_crFg = fg;
    m_crBg = bg;
    setFont(font);
    QFontMetrics fm(font);
    int width = std::max(fm.horizontalAdvance(m_strText), cellRect.width() - 1);
    setGeometry(cellRect.left(), cellRect.top(), width, cellRect.height() - 1);
    update();
    show();
}

void CTitleTip::Hide()
{
    if (isVisible())
        hide();
    m_CellRect = QRect();
}

void CTitleTip::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.fillRect(rect(), m_crBg);
    // A thin border sets the tip off from the cells and the header it covers.
    p.setPen(palette().color(QPalette::Shadow));
    p.drawRect(rect().adjusted(0, 0, -1, -1));
    p.setPen(m_crFg);
    p.setFont(font());
    p.drawText(rect(), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, m_strText);
}

// Where the window system still hands the tip some input, it goes on to
// the grid underneath.
void CTitleTip::PassOn(QMouseEvent *e)
{
    QWidget *target = m_pGrid->viewport();
    QPointF local = target->mapFromGlobal(e->globalPosition());
    QMouseEvent copy(e->type(), local, e->scenePosition(), e->globalPosition(), e->button(), e->buttons(),
                     e->modifiers());
    QCoreApplication::sendEvent(target, &copy);
}

void CTitleTip::mousePressEvent(QMouseEvent *e)
{
    Hide();
    m_pGrid->PressFromTitleTip(e);
}

void CTitleTip::mouseReleaseEvent(QMouseEvent *e) { PassOn(e); }

void CTitleTip::mouseDoubleClickEvent(QMouseEvent *e)
{
    Hide();
    PassOn(e);
}

void CTitleTip::mouseMoveEvent(QMouseEvent *e)
{
    if (!m_CellRect.contains(e->globalPosition().toPoint()))
        Hide();
    PassOn(e);
}

void CTitleTip::wheelEvent(QWheelEvent *e)
{
    Hide();
    QCoreApplication::sendEvent(m_pGrid->viewport(), e);
}

void CTitleTip::keyPressEvent(QKeyEvent *e)
{
    Hide();
    QCoreApplication::sendEvent(m_pGrid, e);
}

} // namespace kivo
