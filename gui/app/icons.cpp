#include "app/icons.h"

#include "app/commands.h"
#include "app/looks.h"

#include <QIconEngine>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPolygonF>
#include <cmath>
#include <functional>
#include <initializer_list>
#include <utility>

namespace kivo {

namespace {

using Drawing = std::function<void(QPainter &)>;

// Paints a drawing made on a 32 x 32 canvas into any size; the disabled
// form is the same drawing in grey, faded.
class PaintedIcon : public QIconEngine
{
public:
    explicit PaintedIcon(Drawing draw) : m_draw(std::move(draw)) {}
    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State) override
    {
        QImage image = Render(rect.size() * painter->device()->devicePixelRatioF(), mode);
        image.setDevicePixelRatio(painter->device()->devicePixelRatioF());
        painter->drawImage(rect, image);
    }
    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State) override
    {
        return QPixmap::fromImage(Render(size, mode));
    }
    QIconEngine *clone() const override { return new PaintedIcon(m_draw); }

private:
    QImage Render(QSize size, QIcon::Mode mode) const
    {
        QImage image(size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        if (size.isEmpty())
            return image;
        {
            QPainter p(&image);
            p.setRenderHint(QPainter::Antialiasing);
            qreal side = std::min(size.width(), size.height());
            p.translate((size.width() - side) / 2, (size.height() - side) / 2);
            p.scale(side / 32.0, side / 32.0);
            m_draw(p);
        }
        if (mode == QIcon::Disabled) {
            for (int y = 0; y < image.height(); ++y) {
                auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
                for (int x = 0; x < image.width(); ++x) {
                    int a = qAlpha(line[x]);
                    int g = qGray(line[x]);
                    int fadedA = a * 2 / 5;
                    int fadedG = a ? std::min(fadedA, g * fadedA / a) : 0;
                    line[x] = qRgba(fadedG, fadedG, fadedG, fadedA);
                }
            }
        }
        return image;
    }
    Drawing m_draw;
};

QIcon Make(Drawing d) { return QIcon(new PaintedIcon(std::move(d))); }

QPen Outline(QColor c, qreal w = 1.6)
{
    QPen pen(c, w);
    pen.setJoinStyle(Qt::RoundJoin);
    pen.setCapStyle(Qt::RoundCap);
    return pen;
}

const QColor kInk(40, 48, 64);

// ---- object kinds ----

void DrawVga(QPainter &p)
{
    p.setPen(Outline(kInk));
    p.setBrush(QColor(70, 90, 120));
    p.drawRoundedRect(QRectF(3, 4, 26, 18), 2, 2);
    QLinearGradient g(5, 6, 27, 20);
    g.setColorAt(0, QColor(90, 200, 255));
    g.setColorAt(0.5, QColor(120, 230, 140));
    g.setColorAt(1, QColor(255, 120, 110));
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawRect(QRectF(5.5, 6.5, 21, 13));
    p.setPen(Outline(kInk));
    p.setBrush(QColor(150, 160, 175));
    p.drawRect(QRectF(13, 22, 6, 4));
    p.drawRoundedRect(QRectF(8, 26, 16, 3), 1, 1);
}

void DrawI2C(QPainter &p)
{
    // Two bus wires, SCL as a clock and SDA as data, with a device on them.
    p.setPen(Outline(QColor(30, 110, 200), 2));
    QPolygonF scl;
    for (int i = 0; i < 6; ++i) {
        qreal x = 3 + i * 4.4;
        scl << QPointF(x, 12) << QPointF(x, 6) << QPointF(x + 2.2, 6) << QPointF(x + 2.2, 12);
    }
    p.drawPolyline(scl);
    p.setPen(Outline(QColor(220, 120, 20), 2));
    QPolygonF sda;
    sda << QPointF(3, 22) << QPointF(9, 22) << QPointF(11, 16) << QPointF(17, 16) << QPointF(19, 22) << QPointF(23, 22)
        << QPointF(25, 16) << QPointF(29, 16);
    p.drawPolyline(sda);
    p.setPen(Outline(kInk, 1.2));
    p.setBrush(QColor(60, 60, 70));
    p.drawRect(QRectF(11, 24.5, 10, 5));
}

void DrawNeopixel(QPainter &p)
{
    const QColor colours[] = {QColor(255, 60, 60), QColor(60, 220, 80), QColor(60, 120, 255), QColor(255, 210, 40)};
    p.setPen(Outline(kInk, 1.4));
    p.drawLine(QPointF(2, 16), QPointF(30, 16));
    for (int i = 0; i < 4; ++i) {
        QRadialGradient g(QPointF(5 + i * 7.3, 14.5), 4);
        g.setColorAt(0, Qt::white);
        g.setColorAt(1, colours[i]);
        p.setBrush(g);
        p.drawEllipse(QPointF(5 + i * 7.3, 16), 3.3, 3.3);
    }
}

void DrawNco(QPainter &p)
{
    p.setPen(Outline(QColor(120, 130, 140), 1));
    p.drawLine(QPointF(2, 26), QPointF(30, 26));
    p.setPen(Outline(QColor(0, 150, 110), 2.4));
    QPolygonF wave;
    wave << QPointF(2, 24);
    for (int i = 0; i < 4; ++i) {
        qreal x = 4 + i * 7;
        wave << QPointF(x, 24) << QPointF(x, 8) << QPointF(x + 3.5, 8) << QPointF(x + 3.5, 24);
    }
    wave << QPointF(30, 24);
    p.drawPolyline(wave);
}

void DrawRtc(QPainter &p)
{
    p.setPen(Outline(kInk, 1.8));
    p.setBrush(QColor(255, 250, 235));
    p.drawEllipse(QPointF(16, 16), 13, 13);
    for (int i = 0; i < 12; ++i) {
        qreal a = i * M_PI / 6;
        p.drawLine(QPointF(16 + 10.5 * std::sin(a), 16 - 10.5 * std::cos(a)),
                   QPointF(16 + 12 * std::sin(a), 16 - 12 * std::cos(a)));
    }
    p.setPen(Outline(kInk, 2.2));
    p.drawLine(QPointF(16, 16), QPointF(16, 7.5));
    p.setPen(Outline(QColor(200, 40, 40), 1.8));
    p.drawLine(QPointF(16, 16), QPointF(22.5, 19.5));
}

void DrawSound(QPainter &p)
{
    p.setPen(Outline(kInk, 1.4));
    p.setBrush(QColor(90, 100, 120));
    QPolygonF speaker;
    speaker << QPointF(3, 12) << QPointF(9, 12) << QPointF(16, 5) << QPointF(16, 27) << QPointF(9, 20)
            << QPointF(3, 20);
    p.drawPolygon(speaker);
    p.setBrush(Qt::NoBrush);
    p.setPen(Outline(QColor(40, 130, 220), 2));
    p.drawArc(QRectF(13, 10, 8, 12), -60 * 16, 120 * 16);
    p.drawArc(QRectF(12, 6, 14, 20), -60 * 16, 120 * 16);
    p.drawArc(QRectF(11, 2, 20, 28), -60 * 16, 120 * 16);
}

void DrawServo(QPainter &p)
{
    p.setPen(Outline(kInk, 1.4));
    p.setBrush(QColor(40, 90, 170));
    p.drawRoundedRect(QRectF(3, 12, 22, 15), 2, 2);
    p.setBrush(QColor(30, 70, 140));
    p.drawRect(QRectF(1, 16, 26, 3));
    // The horn, turned a little, on its hub.
    p.save();
    p.translate(11, 12);
    p.rotate(-25);
    p.setBrush(Qt::white);
    QPainterPath horn;
    horn.addRoundedRect(QRectF(-2.5, -3, 20, 6), 3, 3);
    p.drawPath(horn);
    p.restore();
    p.setBrush(QColor(220, 220, 220));
    p.drawEllipse(QPointF(11, 12), 3.2, 3.2);
}

void DrawDigital(QPainter &p)
{
    p.setPen(Outline(kInk, 1.4));
    p.setBrush(QColor(200, 170, 60));
    p.drawRect(QRectF(3, 13, 9, 6));
    p.setPen(Outline(QColor(200, 60, 60), 2.2));
    QPolygonF bits;
    bits << QPointF(14, 24) << QPointF(17, 24) << QPointF(17, 8) << QPointF(23, 8) << QPointF(23, 24) << QPointF(26, 24)
         << QPointF(26, 8) << QPointF(30, 8);
    p.drawPolyline(bits);
}

void DrawFilter(QPainter &p)
{
    p.setPen(Outline(kInk, 1.4));
    QLinearGradient g(4, 4, 28, 4);
    g.setColorAt(0, QColor(120, 190, 255));
    g.setColorAt(1, QColor(40, 110, 210));
    p.setBrush(g);
    QPolygonF funnel;
    funnel << QPointF(3, 5) << QPointF(29, 5) << QPointF(19, 17) << QPointF(19, 27) << QPointF(13, 29)
           << QPointF(13, 17);
    p.drawPolygon(funnel);
    p.setPen(Outline(Qt::white, 1.4));
    p.drawLine(QPointF(8, 9), QPointF(24, 9));
}

void DrawDac(QPainter &p)
{
    p.setPen(Outline(QColor(120, 130, 140), 1));
    p.drawLine(QPointF(3, 28), QPointF(29, 28));
    p.drawLine(QPointF(3, 28), QPointF(3, 3));
    p.setPen(Outline(QColor(150, 70, 200), 2.2));
    QPolygonF steps;
    steps << QPointF(4, 26);
    for (int i = 0; i < 6; ++i)
        steps << QPointF(4 + i * 4.2, 26 - i * 4) << QPointF(8.2 + i * 4.2, 26 - i * 4);
    p.drawPolyline(steps);
}

void DrawAdc(QPainter &p)
{
    p.setPen(Outline(QColor(120, 130, 140), 1));
    p.drawLine(QPointF(2, 16), QPointF(30, 16));
    p.setPen(Outline(QColor(0, 140, 190), 2));
    QPainterPath sine;
    for (int i = 0; i <= 56; ++i) {
        qreal x = 2 + i * 0.5;
        qreal y = 16 - 10 * std::sin((x - 2) / 28 * 2 * M_PI);
        if (i == 0)
            sine.moveTo(x, y);
        else
            sine.lineTo(x, y);
    }
    p.setBrush(Qt::NoBrush);
    p.drawPath(sine);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(230, 90, 30));
    for (int i = 0; i < 8; ++i) {
        qreal x = 3.5 + i * 3.5;
        p.drawEllipse(QPointF(x, 16 - 10 * std::sin((x - 2) / 28 * 2 * M_PI)), 1.5, 1.5);
    }
}

void DrawUsb(QPainter &p)
{
    // The USB trident over a keyboard.
    p.setPen(Outline(kInk, 1.2));
    p.setBrush(QColor(230, 232, 236));
    p.drawRoundedRect(QRectF(2, 19, 28, 11), 2, 2);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(90, 100, 115));
    for (int r = 0; r < 2; ++r)
        for (int c = 0; c < 6; ++c)
            p.drawRect(QRectF(4.5 + c * 4, 21 + r * 3.5, 2.6, 2.4));
    p.setPen(Outline(QColor(30, 90, 190), 1.8));
    p.setBrush(QColor(30, 90, 190));
    p.drawLine(QPointF(16, 16), QPointF(16, 4));
    p.drawLine(QPointF(16, 12), QPointF(11, 9));
    p.drawLine(QPointF(16, 10), QPointF(21, 7));
    p.drawEllipse(QPointF(11, 8.5), 1.5, 1.5);
    p.drawRect(QRectF(20, 5.5, 2.6, 2.6));
    p.drawPolygon(QPolygonF() << QPointF(13.5, 5) << QPointF(18.5, 5) << QPointF(16, 1.5));
}

// ---- the application and the ribbon ----

void DrawApp(QPainter &p)
{
    // A P2-style chip with pins on every side and a K on it.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(200, 160, 60));
    for (int i = 0; i < 5; ++i) {
        qreal o = 7.5 + i * 4;
        p.drawRect(QRectF(o, 1, 2, 5));
        p.drawRect(QRectF(o, 26, 2, 5));
        p.drawRect(QRectF(1, o, 5, 2));
        p.drawRect(QRectF(26, o, 5, 2));
    }
    QLinearGradient g(5, 5, 27, 27);
    g.setColorAt(0, QColor(60, 70, 90));
    g.setColorAt(1, QColor(20, 25, 35));
    p.setBrush(g);
    p.setPen(Outline(QColor(10, 10, 20), 1));
    p.drawRoundedRect(QRectF(5, 5, 22, 22), 2.5, 2.5);
    p.setPen(Outline(QColor(120, 220, 255), 3));
    p.drawLine(QPointF(12, 10), QPointF(12, 22));
    p.drawLine(QPointF(21, 10), QPointF(13.5, 16));
    p.drawLine(QPointF(14.5, 15.5), QPointF(21, 22));
}

void DrawPage(QPainter &p, qreal x = 7, qreal y = 3, qreal w = 18, qreal h = 26)
{
    p.setPen(Outline(kInk, 1.2));
    p.setBrush(Qt::white);
    QPolygonF page;
    page << QPointF(x, y) << QPointF(x + w - 6, y) << QPointF(x + w, y + 6) << QPointF(x + w, y + h)
         << QPointF(x, y + h);
    p.drawPolygon(page);
    p.drawPolyline(QPolygonF() << QPointF(x + w - 6, y) << QPointF(x + w - 6, y + 6) << QPointF(x + w, y + 6));
}

void DrawNew(QPainter &p)
{
    DrawPage(p);
    p.setPen(Outline(QColor(250, 190, 20), 2));
    p.drawLine(QPointF(23, 19), QPointF(23, 29));
    p.drawLine(QPointF(18, 24), QPointF(28, 24));
}

void DrawOpen(QPainter &p)
{
    p.setPen(Outline(QColor(150, 110, 20), 1.2));
    p.setBrush(QColor(240, 200, 90));
    p.drawPolygon(QPolygonF() << QPointF(2, 8) << QPointF(11, 8) << QPointF(13, 10) << QPointF(26, 10)
                              << QPointF(26, 26) << QPointF(2, 26));
    p.setBrush(QColor(255, 225, 130));
    p.drawPolygon(QPolygonF() << QPointF(6, 14) << QPointF(30, 14) << QPointF(26, 26) << QPointF(2, 26));
}

void DrawSave(QPainter &p)
{
    p.setPen(Outline(kInk, 1.2));
    p.setBrush(QColor(60, 100, 170));
    p.drawPolygon(QPolygonF() << QPointF(4, 4) << QPointF(25, 4) << QPointF(28, 7) << QPointF(28, 28)
                              << QPointF(4, 28));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(8, 4, 15, 9));
    p.setBrush(QColor(200, 205, 215));
    p.drawRect(QRectF(9, 18, 14, 10));
}

void DrawPrint(QPainter &p)
{
    DrawPage(p, 9, 2, 14, 12);
    p.setPen(Outline(kInk, 1.2));
    p.setBrush(QColor(150, 155, 165));
    p.drawRoundedRect(QRectF(3, 12, 26, 11), 2, 2);
    p.setBrush(Qt::white);
    p.drawRect(QRectF(9, 19, 14, 10));
    p.setBrush(QColor(80, 200, 80));
    p.setPen(Qt::NoPen);
    p.drawEllipse(QPointF(25, 15.5), 1.3, 1.3);
}

void DrawGenerate(QPainter &p)
{
    // A page of code with a spark: code written for you.
    DrawPage(p, 4, 3, 18, 26);
    p.setPen(Outline(QColor(40, 120, 200), 1.6));
    p.drawLine(QPointF(8, 12), QPointF(16, 12));
    p.drawLine(QPointF(10, 16), QPointF(18, 16));
    p.drawLine(QPointF(10, 20), QPointF(15, 20));
    p.drawLine(QPointF(8, 24), QPointF(13, 24));
    p.setPen(Outline(QColor(200, 120, 0), 1));
    p.setBrush(QColor(255, 200, 30));
    p.drawPolygon(QPolygonF() << QPointF(26, 8) << QPointF(20, 19) << QPointF(25, 19) << QPointF(22, 30)
                              << QPointF(30, 16) << QPointF(25, 16) << QPointF(29, 8));
}

void DrawCompile(QPainter &p)
{
    // A hammer on a brick.
    p.setPen(Outline(kInk, 1.2));
    p.setBrush(QColor(190, 90, 60));
    p.drawRect(QRectF(3, 22, 26, 7));
    p.save();
    p.translate(16, 13);
    p.rotate(-35);
    p.setBrush(QColor(160, 110, 60));
    p.drawRect(QRectF(-1.5, -2, 3, 14));
    p.setBrush(QColor(130, 140, 155));
    p.drawRoundedRect(QRectF(-7, -7, 14, 6), 1, 1);
    p.restore();
}

void DrawLoad(QPainter &p)
{
    // An arrow down onto a chip.
    p.setPen(Outline(QColor(10, 10, 20), 1));
    p.setBrush(QColor(40, 45, 60));
    p.drawRoundedRect(QRectF(6, 19, 20, 10), 2, 2);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(200, 160, 60));
    for (int i = 0; i < 4; ++i)
        p.drawRect(QRectF(8.5 + i * 4.5, 29, 2, 2.5));
    p.setBrush(QColor(40, 170, 80));
    p.setPen(Outline(QColor(20, 110, 50), 1));
    p.drawPolygon(QPolygonF() << QPointF(13, 2) << QPointF(19, 2) << QPointF(19, 10) << QPointF(24, 10)
                              << QPointF(16, 18) << QPointF(8, 10) << QPointF(13, 10));
}

void DrawEditor(QPainter &p)
{
    DrawPage(p, 3, 3, 18, 26);
    p.save();
    p.translate(22, 18);
    p.rotate(40);
    p.setPen(Outline(kInk, 1.1));
    p.setBrush(QColor(250, 200, 40));
    p.drawRect(QRectF(-2.5, -12, 5, 16));
    p.setBrush(QColor(240, 200, 160));
    p.drawPolygon(QPolygonF() << QPointF(-2.5, 4) << QPointF(2.5, 4) << QPointF(0, 9));
    p.restore();
}

void DrawPaste(QPainter &p)
{
    p.setPen(Outline(kInk, 1.2));
    p.setBrush(QColor(190, 140, 80));
    p.drawRoundedRect(QRectF(4, 5, 20, 24), 2, 2);
    p.setBrush(QColor(170, 175, 185));
    p.drawRoundedRect(QRectF(9, 2, 10, 5), 1.5, 1.5);
    DrawPage(p, 14, 12, 15, 18);
}

void DrawCut(QPainter &p)
{
    p.setPen(Outline(kInk, 1.6));
    p.drawLine(QPointF(10, 3), QPointF(20, 21));
    p.drawLine(QPointF(22, 3), QPointF(12, 21));
    p.setBrush(Qt::NoBrush);
    p.setPen(Outline(QColor(200, 40, 40), 2));
    p.drawEllipse(QPointF(10, 25), 4, 4);
    p.drawEllipse(QPointF(22, 25), 4, 4);
}

void DrawCopy(QPainter &p)
{
    DrawPage(p, 4, 3, 15, 19);
    DrawPage(p, 13, 10, 15, 19);
}

void DrawSelectAll(QPainter &p)
{
    QPen pen = Outline(kInk, 1.4);
    pen.setDashPattern({2, 1.5});
    p.setPen(pen);
    p.setBrush(QColor(180, 210, 250, 160));
    p.drawRect(QRectF(4, 5, 24, 22));
}

void DrawInsert(QPainter &p)
{
    p.setPen(Outline(kInk, 1.2));
    p.setBrush(QColor(230, 235, 245));
    p.drawRect(QRectF(4, 6, 20, 20));
    p.setPen(Outline(QColor(30, 150, 60), 2.6));
    p.drawLine(QPointF(24, 14), QPointF(24, 28));
    p.drawLine(QPointF(17, 21), QPointF(31, 21));
}

void DrawFind(QPainter &p)
{
    p.setPen(Outline(kInk, 2));
    p.setBrush(QColor(200, 230, 255, 180));
    p.drawEllipse(QPointF(13, 13), 8, 8);
    p.setPen(Outline(QColor(110, 70, 30), 3.5));
    p.drawLine(QPointF(19, 19), QPointF(28, 28));
}

// A curved arrow turning left (undo) or, mirrored, right (redo).
void DrawTurnArrow(QPainter &p, bool mirrored)
{
    if (mirrored) {
        p.translate(32, 0);
        p.scale(-1, 1);
    }
    QPainterPath path;
    path.moveTo(26, 26);
    path.cubicTo(26, 14, 20, 10, 9, 12);
    p.setPen(Outline(QColor(30, 100, 190), 3.2));
    p.setBrush(Qt::NoBrush);
    p.drawPath(path);
    QPainterPath head;
    head.moveTo(3, 12);
    head.lineTo(12, 5);
    head.lineTo(12, 19);
    head.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(30, 100, 190));
    p.drawPath(head);
}

void DrawWindows(QPainter &p)
{
    for (int i = 0; i < 3; ++i) {
        qreal o = i * 5;
        p.setPen(Outline(kInk, 1.1));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(3 + o, 3 + o, 17, 14));
        p.setBrush(QColor(60, 110, 200));
        p.drawRect(QRectF(3 + o, 3 + o, 17, 3.5));
    }
}

void DrawAbout(QPainter &p)
{
    p.setPen(Outline(QColor(20, 70, 160), 1.2));
    p.setBrush(QColor(50, 120, 220));
    p.drawEllipse(QPointF(16, 16), 13, 13);
    p.setPen(Qt::white);
    QFont f("Sans");
    f.setPixelSize(20);
    f.setBold(true);
    p.setFont(f);
    p.drawText(QRectF(3, 3, 26, 26), Qt::AlignCenter, "?");
}

void DrawStyle(QPainter &p)
{
    const QColor c[] = {QColor(80, 130, 220), QColor(60, 60, 60), QColor(190, 195, 205), QColor(80, 190, 200)};
    p.setPen(Outline(kInk, 1));
    for (int i = 0; i < 4; ++i) {
        p.setBrush(c[i]);
        p.drawRect(QRectF(4 + (i % 2) * 12, 4 + (i / 2) * 12, 11, 11));
    }
}

} // namespace

QIcon KindIcon(int kind)
{
    static const Drawing drawings[] = {DrawVga,   DrawI2C,     DrawNeopixel, DrawNco, DrawRtc, DrawSound,
                                       DrawServo, DrawDigital, DrawFilter,   DrawDac, DrawAdc, DrawUsb};
    if (kind < 0 || kind >= int(std::size(drawings)))
        return QIcon();
    return Make(drawings[kind]);
}

QIcon AppIcon() { return Make(DrawApp); }

QIcon CommandIcon(const QString &id)
{
    using namespace cmd;
    auto is = [&id](std::initializer_list<const char *> ids) {
        for (const char *one : ids)
            if (id == QLatin1String(one))
                return true;
        return false;
    };
    if (is({kFileNew, kFileNewFrame, kWindowNew}))
        return Make(DrawNew);
    if (is({kFileOpen}))
        return Make(DrawOpen);
    if (is({kFileSave, kFileSaveAs}))
        return Make(DrawSave);
    if (is({kFilePrint, kFileQuickPrint, kFilePrintPreview, kFilePrintSetup}))
        return Make(DrawPrint);
    if (is({kProjectGenerate}))
        return Make(DrawGenerate);
    if (is({kProjectCompile}))
        return Make(DrawCompile);
    if (is({kProjectLoad}))
        return Make(DrawLoad);
    if (is({kProjectFlexProp}))
        return Make(DrawEditor);
    // A chip with a run arrow on it, or with a tick for Verify.
    auto chip = [](QPainter &p) {
        p.setPen(Outline(kInk));
        p.setBrush(QColor(70, 70, 80));
        p.drawRoundedRect(QRectF(6, 6, 20, 20), 2, 2);
        for (int i = 0; i < 4; i++) {
            const qreal at = 9 + i * 4.6;
            p.drawLine(QPointF(at, 2), QPointF(at, 6));
            p.drawLine(QPointF(at, 26), QPointF(at, 30));
            p.drawLine(QPointF(2, at), QPointF(6, at));
            p.drawLine(QPointF(26, at), QPointF(30, at));
        }
    };
    if (is({kProjectSimulate}))
        return Make([chip](QPainter &p) {
            chip(p);
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(60, 200, 90));
            p.drawPolygon(QPolygonF({QPointF(12, 10), QPointF(23, 16), QPointF(12, 22)}));
        });
    if (is({kProjectVerify}))
        return Make([chip](QPainter &p) {
            chip(p);
            p.setPen(QPen(QColor(60, 200, 90), 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
            p.setBrush(Qt::NoBrush);
            p.drawPolyline(QPolygonF({QPointF(10.5, 16.5), QPointF(14.5, 20.5), QPointF(21.5, 11.5)}));
        });
    if (is({kEditPaste}))
        return Make(DrawPaste);
    if (is({kEditCut}))
        return Make(DrawCut);
    if (is({kEditCopy}))
        return Make(DrawCopy);
    if (is({kEditSelectAll}))
        return Make(DrawSelectAll);
    if (is({kEditInsertObject}))
        return Make(DrawInsert);
    if (is({kEditFind, kEditFindNext, kEditReplace}))
        return Make(DrawFind);
    if (is({kWindowManage}))
        return Make(DrawWindows);
    if (is({kEditUndo}))
        return Make([](QPainter &p) { DrawTurnArrow(p, false); });
    if (is({kEditRedo}))
        return Make([](QPainter &p) { DrawTurnArrow(p, true); });
    if (is({kHelpAbout}))
        return Make(DrawAbout);
    if (id == LookCommand(kDefaultLook))
        return Make(DrawStyle);
    if (is({kFileClose}))
        return Make([](QPainter &p) {
            DrawPage(p);
            p.setPen(Outline(QColor(190, 40, 40), 2.4));
            p.drawLine(QPointF(19, 19), QPointF(27, 27));
            p.drawLine(QPointF(27, 19), QPointF(19, 27));
        });
    if (is({kFileExit}))
        return Make([](QPainter &p) {
            p.setPen(Outline(QColor(190, 40, 40), 3));
            p.drawLine(QPointF(8, 8), QPointF(24, 24));
            p.drawLine(QPointF(24, 8), QPointF(8, 24));
        });
    return QIcon();
}

} // namespace kivo
