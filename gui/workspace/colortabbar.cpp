#include "workspace/colortabbar.h"

#include <QPainter>
#include <QPainterPath>
#include <QStyleOptionTab>

namespace kivo {

namespace {

// Soft colours in the order the tabs take them.
const QColor kAutoColours[] = {QColor(190, 215, 250), QColor(200, 240, 190), QColor(255, 220, 170),
                               QColor(230, 200, 245), QColor(250, 240, 160), QColor(180, 235, 235),
                               QColor(250, 200, 200)};

bool OnBottom(QTabBar::Shape s) { return s == QTabBar::RoundedSouth || s == QTabBar::TriangularSouth; }

} // namespace

CColorTabBar::CColorTabBar(QWidget *parent) : QTabBar(parent)
{
    setDrawBase(false);
    setExpanding(false);
    connect(this, &QTabBar::currentChanged, this, [this] { ShowCloseButtonOnCurrentOnly(); });
}

void CColorTabBar::SetAutoColors(bool on)
{
    m_autoColors = on;
    update();
}

void CColorTabBar::SetTabBackground(int index, QColor colour)
{
    m_colours[index] = colour;
    update();
}

void CColorTabBar::SetActiveTabBackground(QColor colour)
{
    m_activeColour = colour;
    update();
}

QColor CColorTabBar::TabBackground(int index) const
{
    if (index == currentIndex() && m_activeColour.isValid())
        return m_activeColour;
    if (auto it = m_colours.find(index); it != m_colours.end())
        return *it;
    if (m_autoColors)
        return kAutoColours[index % int(std::size(kAutoColours))];
    return palette().color(QPalette::Button);
}

QSize CColorTabBar::tabSizeHint(int index) const
{
    QSize s = QTabBar::tabSizeHint(index);
    return QSize(s.width() + 12, std::max(s.height(), fontMetrics().height() + 10));
}

void CColorTabBar::tabInserted(int index)
{
    QTabBar::tabInserted(index);
    ShowCloseButtonOnCurrentOnly();
}

void CColorTabBar::tabRemoved(int index)
{
    QTabBar::tabRemoved(index);
    ShowCloseButtonOnCurrentOnly();
}

void CColorTabBar::ShowCloseButtonOnCurrentOnly()
{
    for (int i = 0; i < count(); ++i)
        for (auto side : {QTabBar::LeftSide, QTabBar::RightSide})
            if (QWidget *b = tabButton(i, side))
                b->setVisible(i == currentIndex());
}

void CColorTabBar::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const bool bottom = OnBottom(shape());
    const QColor line = palette().color(QPalette::Dark);
    // The edge the tabs stand on.
    p.setPen(line);
    if (bottom)
        p.drawLine(0, 0, width(), 0);
    else
        p.drawLine(0, height() - 1, width(), height() - 1);

    for (int i = 0; i < count(); ++i) {
        QRectF r = tabRect(i).adjusted(1, 0, -1, 0);
        const bool current = i == currentIndex();
        if (!current)
            r = bottom ? r.adjusted(0, 0, 0, -3) : r.adjusted(0, 3, 0, 0);
        QColor fill = TabBackground(i);
        QLinearGradient g(r.topLeft(), r.bottomLeft());
        g.setColorAt(bottom ? 1 : 0, fill.lighter(108));
        g.setColorAt(bottom ? 0 : 1, fill);
        QPainterPath path;
        const qreal radius = 4;
        if (bottom) {
            path.moveTo(r.topLeft());
            path.lineTo(r.left(), r.bottom() - radius);
            path.quadTo(r.left(), r.bottom(), r.left() + radius, r.bottom());
            path.lineTo(r.right() - radius, r.bottom());
            path.quadTo(r.right(), r.bottom(), r.right(), r.bottom() - radius);
            path.lineTo(r.topRight());
        } else {
            path.moveTo(r.bottomLeft());
            path.lineTo(r.left(), r.top() + radius);
            path.quadTo(r.left(), r.top(), r.left() + radius, r.top());
            path.lineTo(r.right() - radius, r.top());
            path.quadTo(r.right(), r.top(), r.right(), r.top() + radius);
            path.lineTo(r.bottomRight());
        }
        p.setPen(QPen(current ? line.darker(130) : line, 1));
        p.setBrush(g);
        p.drawPath(path);

        QStyleOptionTab opt;
        initStyleOption(&opt, i);
        QRectF textRect = r.adjusted(6, 0, -6, 0);
        if (QWidget *b = tabButton(i, QTabBar::RightSide); b && b->isVisible())
            textRect.setRight(b->geometry().left() - 2);
        QFont f = font();
        f.setBold(current);
        p.setFont(f);
        p.setPen(isTabEnabled(i) ? QColor(20, 20, 30) : palette().color(QPalette::Disabled, QPalette::Text));
        p.drawText(textRect, Qt::AlignCenter | Qt::TextShowMnemonic, opt.text);
    }
}

} // namespace kivo
