// The Simple VGA object's card: the monitor's picture as drawn, scaled to fit
// with its aspect kept, its mode and rates; "No signal" until it syncs.
#include "board/vgamonitor.h"
#include "workspace/boardcard.h"

#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

namespace kivo {

namespace {

class CScreen : public QWidget
{
public:
    explicit CScreen(QWidget *parent) : QWidget(parent)
    {
        setMinimumSize(240, 180);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    }
    // Low enough to leave room for the other cards on a 768-line screen.
    QSize sizeHint() const override { return {400, 300}; }
    void setPicture(const QImage &image, const QString &caption)
    {
        m_image = image;
        m_caption = caption;
        update();
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        p.fillRect(rect(), Qt::black);
        if (!m_image.isNull()) {
            QSize s = m_image.size().scaled(size(), Qt::KeepAspectRatio);
            QRect r(QPoint((width() - s.width()) / 2, (height() - s.height()) / 2), s);
            p.setRenderHint(QPainter::SmoothPixmapTransform);
            p.drawImage(r, m_image);
        }
        if (!m_caption.isEmpty()) {
            p.setPen(QColor(200, 200, 200));
            p.drawText(rect(), Qt::AlignCenter, m_caption);
        }
    }

private:
    QImage m_image;
    QString m_caption;
};

class CSimpleVgaCard : public CBoardCard
{
public:
    CSimpleVgaCard(const CCodeObject &object, QWidget *parent) : CBoardCard(object, parent)
    {
        m_screen = new CScreen(this);
        Body()->addWidget(m_screen, 1);
        m_screen->setPicture({}, "No signal");
    }
    bool Wide() const override { return true; }
    void Show(const sim::LiveRun::Snapshot &snapshot, const Json &device) override
    {
        CBoardCard::Show(snapshot, device);
        const bool synced = Observed(device, "synced").is_boolean() && Observed(device, "synced").get<bool>();
        int count = 0;
        std::shared_ptr<const std::vector<std::uint8_t>> frame = Run() ? Run()->frame(&count) : nullptr;
        if (count != m_count || synced != m_synced) {
            m_count = count;
            m_synced = synced;
            m_picture = QImage();
            if (frame && synced) {
                constexpr int w = sim::VgaMonitor::kWidth, h = sim::VgaMonitor::kHeight;
                m_picture = QImage(frame->data(), w, h, w * 3, QImage::Format_RGB888).copy();
            }
            m_screen->setPicture(m_picture, !synced ? QString("No signal") : QString());
        }
        const Json &mode = Observed(device, "mode");
        QString text = "No signal";
        if (synced) {
            auto number = [&](const char *key) {
                const Json &v = Observed(device, key);
                return v.is_number() ? v.get<double>() : 0.0;
            };
            text =
                QString("%1, lines %2 kHz, frames %3 Hz")
                    .arg(mode.is_string() ? QString::fromStdString(mode.get<std::string>()) : QString("unknown mode"))
                    .arg(number("lineRateHz") / 1000, 0, 'f', 3)
                    .arg(number("frameRateHz"), 0, 'f', 2);
        }
        SetLabel(Readings(), text);
    }
    QImage Picture() const override { return m_picture; }

private:
    CScreen *m_screen;
    QImage m_picture;
    int m_count = -1;
    bool m_synced = false;
};

} // namespace

CBoardCard *MakeSimpleVgaCard(const CCodeObject &object, QWidget *parent) { return new CSimpleVgaCard(object, parent); }

} // namespace kivo
