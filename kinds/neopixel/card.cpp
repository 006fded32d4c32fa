// The LED string's card: a row of LEDs in the colours last latched, and the
// count of timing violations.
#include "workspace/boardcard.h"

#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

namespace kivo {

namespace {

// The LEDs, wrapped into rows as wide as the card.
class CLedRow : public QWidget
{
public:
    explicit CLedRow(QWidget *parent) : QWidget(parent) { setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed); }
    void setColours(std::vector<QColor> colours)
    {
        const bool rows = colours.size() != m_colours.size();
        m_colours = std::move(colours);
        if (rows)
            updateGeometry();
        update();
    }
    const std::vector<QColor> &colours() const { return m_colours; }
    QSize sizeHint() const override { return {240, heightForWidth(240)}; }
    QSize minimumSizeHint() const override { return {kPitch * 4, kPitch}; }
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int w) const override
    {
        const int perRow = std::max(1, w / kPitch);
        return std::max(1, int((m_colours.size() + std::size_t(perRow) - 1) / std::size_t(perRow))) * kPitch;
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const int perRow = std::max(1, width() / kPitch);
        p.setPen(QPen(palette().color(QPalette::Mid), 1));
        for (std::size_t i = 0; i < m_colours.size(); i++) {
            const int x = int(i % std::size_t(perRow)) * kPitch, y = int(i / std::size_t(perRow)) * kPitch;
            p.setBrush(m_colours[i]);
            p.drawEllipse(QRectF(x + 2.5, y + 2.5, kPitch - 5, kPitch - 5));
        }
    }

private:
    static constexpr int kPitch = 20;
    std::vector<QColor> m_colours;
};

// "#RRGGBB", or "#RRGGBBWW" for a part with a white LED (shown added).
QColor LedColour(const std::string &text)
{
    bool ok = false;
    const unsigned v = QString::fromStdString(text).mid(1).toUInt(&ok, 16);
    if (!ok)
        return Qt::black;
    if (text.size() == 9) {
        const int w = int(v & 0xFF);
        return QColor(std::min(255, int(v >> 24) + w), std::min(255, int(v >> 16 & 0xFF) + w),
                      std::min(255, int(v >> 8 & 0xFF) + w));
    }
    return QColor(int(v >> 16 & 0xFF), int(v >> 8 & 0xFF), int(v & 0xFF));
}

class CNeopixelCard : public CBoardCard
{
public:
    CNeopixelCard(const CCodeObject &object, QWidget *parent) : CBoardCard(object, parent)
    {
        m_leds = new CLedRow(this);
        Body()->addWidget(m_leds);
    }
    void Show(const sim::LiveRun::Snapshot &snapshot, const Json &device) override
    {
        CBoardCard::Show(snapshot, device);
        const Json &colours = Observed(device, "colours");
        std::vector<QColor> shown;
        if (colours.is_array())
            for (const Json &c : colours)
                shown.push_back(c.is_string() ? LedColour(c.get<std::string>()) : QColor(Qt::black));
        if (shown != m_leds->colours())
            m_leds->setColours(std::move(shown));
        const Json &latches = Observed(device, "latchCount"), &violations = Observed(device, "violationCount");
        const Json &part = Observed(device, "part");
        SetLabel(Readings(),
                 device.is_null()
                     ? QString()
                     : QString("%1 LEDs (%2), %3 latches, %4 timing violations")
                           .arg(shown.size())
                           .arg(part.is_string() ? QString::fromStdString(part.get<std::string>()) : QString("-"))
                           .arg(latches.is_number() ? latches.get<long long>() : 0)
                           .arg(violations.is_number() ? violations.get<long long>() : 0));
    }
    QImage Picture() const override
    {
        const auto &colours = m_leds->colours();
        if (colours.empty())
            return {};
        QImage row(int(colours.size()), 1, QImage::Format_RGB32);
        for (std::size_t i = 0; i < colours.size(); i++)
            row.setPixelColor(int(i), 0, colours[i]);
        return row;
    }

private:
    CLedRow *m_leds;
};

} // namespace

CBoardCard *MakeNeopixelCard(const CCodeObject &object, QWidget *parent) { return new CNeopixelCard(object, parent); }

} // namespace kivo
