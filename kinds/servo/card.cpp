// The servo's card: a dial at the angle the last pulse's width means (the
// driver's 600..2400 us over 0..180 degrees) and the width.
#include "workspace/boardcard.h"

#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace kivo {

namespace {

class CDial : public QWidget
{
public:
    explicit CDial(QWidget *parent) : QWidget(parent) { setFixedHeight(96); }
    void setAngle(double degrees)
    {
        if (degrees != m_degrees) {
            m_degrees = degrees;
            update();
        }
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const double r = std::min(width() / 2.0, height() - 8.0) - 4;
        const QPointF c(width() / 2.0, height() - 6.0);
        p.setPen(QPen(palette().color(QPalette::Mid), 2));
        p.setBrush(palette().color(QPalette::AlternateBase));
        p.drawPie(QRectF(c.x() - r, c.y() - r, 2 * r, 2 * r), 0, 180 * 16);
        // Ticks every 30 degrees.
        for (int a = 0; a <= 180; a += 30) {
            const double t = a * std::numbers::pi / 180;
            p.drawLine(c + QPointF(-std::cos(t), -std::sin(t)) * (r - 8), c + QPointF(-std::cos(t), -std::sin(t)) * r);
        }
        if (m_degrees >= 0) {
            const double t = m_degrees * std::numbers::pi / 180;
            p.setPen(QPen(palette().color(QPalette::Highlight), 3, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(c, c + QPointF(-std::cos(t), -std::sin(t)) * (r - 4));
        }
        p.setBrush(palette().color(QPalette::Text));
        p.setPen(Qt::NoPen);
        p.drawEllipse(c, 4, 4);
    }

private:
    double m_degrees = -1; // no pulse yet
};

class CServoCard : public CBoardCard
{
public:
    CServoCard(const CCodeObject &object, QWidget *parent) : CBoardCard(object, parent)
    {
        m_dial = new CDial(this);
        Body()->addWidget(m_dial);
    }
    void Show(const sim::LiveRun::Snapshot &snapshot, const Json &device) override
    {
        CBoardCard::Show(snapshot, device);
        const Json &width = Observed(device, "lastWidthUs"), &period = Observed(device, "periodMs");
        if (!width.is_number()) {
            m_dial->setAngle(-1);
            SetLabel(Readings(), device.is_null() ? QString() : QString("No pulse"));
            return;
        }
        const double us = width.get<double>(), degrees = std::clamp((us - 600) / 10, 0.0, 180.0);
        m_dial->setAngle(degrees);
        QString text = QString("%1 us, %2 degrees").arg(us, 0, 'f', 1).arg(degrees, 0, 'f', 1);
        if (period.is_number())
            text += QString(", every %1 ms").arg(period.get<double>(), 0, 'f', 3);
        SetLabel(Readings(), text);
    }

private:
    CDial *m_dial;
};

} // namespace

CBoardCard *MakeServoCard(const CCodeObject &object, QWidget *parent) { return new CServoCard(object, parent); }

} // namespace kivo
